#include "bexorlibrary.h"

#include <QFileInfo>

namespace {
// The loader keeps a relative path as it was given (LD_LIBRARY_PATH=sim): it is relative
// to the folder the program started in, which a report read elsewhere does not know.
QString absoluteFile(const QString &file)
{
    return file.isEmpty() ? file : QFileInfo(file).absoluteFilePath();
}
} // namespace

std::unique_ptr<BexorLibrary> BexorLibrary::load(const QString &name, QString *error)
{
    DriverFunctions functions;
    std::string reason;
    if (!loadDriver(name.toStdString(), &functions, &reason)) {
        *error = QString::fromStdString(reason);
        return nullptr;
    }
    return std::unique_ptr<BexorLibrary>(
            new BexorLibrary(functions, absoluteFile(QString::fromStdString(loadedFileOf(functions)))));
}
