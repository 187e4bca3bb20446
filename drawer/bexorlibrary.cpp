#include "bexorlibrary.h"

std::unique_ptr<BexorLibrary> BexorLibrary::load(const QString &name, QString *error,
                                                 TrialLoad *trial)
{
    DriverFunctions functions;
    std::string reason;
    if (!loadDriver(name.toStdString(), &functions, &reason, trial)) {
        *error = QString::fromStdString(reason);
        return nullptr;
    }
    return std::unique_ptr<BexorLibrary>(
            new BexorLibrary(functions, QString::fromStdString(loadedFileOf(functions))));
}
