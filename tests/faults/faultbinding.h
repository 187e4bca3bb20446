// The fault driver bound as the program binds a driver, and its script, reached through the
// loader and reset to a healthy controller: runs share the loaded library.
#pragma once

#include "bexorlibrary.h"
#include "faultscript.h"

#include <QFile>

#include <dlfcn.h>

inline const QString DriverDir = QStringLiteral(FAULT_DRIVER_DIR);

// Every record filled: the shown ones with plausible values, the others with bytes that
// would show up if an offset slipped.
inline QByteArray healthyBlock()
{
    QByteArray block(106, char(0xEE));
    block.replace(46, 16, QByteArray("SN-FAULT-000042\0", 16)).replace(62, 8, "20240131");
    block.replace(70, 4, "B3.2").replace(82, 8, "20240215");
    return block.replace(98, 8, QByteArray::fromHex("04030201FFFFFFFF"));
}

struct FaultBinding
{
    QString error;
    std::unique_ptr<BexorLibrary> library;
    FaultScript unmapped; // stands in for a file the loader never mapped
    FaultScript *script = &unmapped;

    explicit FaultBinding(const QString &path = DriverDir + "/libfaultdriver.so")
        : library(BexorLibrary::load(path, &error))
    {
        void *handle = dlopen(QFile::encodeName(path).constData(), RTLD_LAZY | RTLD_NOLOAD);
        if (void *found = handle ? dlsym(handle, "faultScript") : nullptr)
            script = static_cast<FaultScript *>(found);
        *script = FaultScript();
        script->block = healthyBlock().toStdString();
    }
};
