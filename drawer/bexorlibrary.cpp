#include "bexorlibrary.h"

std::unique_ptr<BexorLibrary> BexorLibrary::load(DriverLoad &load, QString *error)
{
    DriverFunctions functions;
    std::string reason;
    if (!load.finish(&functions, &reason)) {
        *error = QString::fromStdString(reason);
        return nullptr;
    }
    return std::unique_ptr<BexorLibrary>(
            new BexorLibrary(functions, QString::fromStdString(loadedFileOf(functions))));
}

std::unique_ptr<BexorLibrary> BexorLibrary::load(const QString &name, QString *error)
{
    DriverLoad whole(name.toStdString());
    return load(whole, error);
}
