#include "helplauncher.h"

#ifdef _WIN32
#  include <windows.h>

bool startHelpEditor(std::string *command)
{
    wchar_t commandLine[] = L"NOTEPAD.EXE Readme.Txt";
    *command = "NOTEPAD.EXE Readme.Txt";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    // The editor opens beside the utility without taking the focus from it.
    startup.wShowWindow = SW_SHOWNOACTIVATE;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}
#else
#  include <QCoreApplication>
#  include <QDir>
#  include <QFileInfo>
#  include <QProcess>

namespace {

const QString ReadmeName = QStringLiteral("Readme.Txt");

// xdg-open's exit statuses, as its manual gives them.
QString meaningOf(int status)
{
    switch (status) {
    case 1:
        return QStringLiteral("it did not understand its command line");
    case 2:
        return QStringLiteral("the file does not exist");
    case 3:
        return QStringLiteral("no program is set up to open text files, "
                              "or a program it needs is missing");
    case 4:
        return QStringLiteral("the program set up to open text files could not open it");
    default:
        return QStringLiteral("it gave no reason");
    }
}

} // namespace

QString helpFile(const QString &programDir)
{
    if (QFileInfo::exists(ReadmeName))
        return ReadmeName;
    for (const QString &folder : {programDir, programDir + QStringLiteral("/../share/crtest")}) {
        const QString candidate = QDir(folder).filePath(ReadmeName);
        if (QFileInfo::exists(candidate))
            return QDir::cleanPath(candidate);
    }
    return ReadmeName;
}

void startHelpEditor(const QString &programDir, std::function<void(const QString &)> failed)
{
    const QString file = helpFile(programDir);
    const QString command = QStringLiteral("xdg-open ") + file;
    // Owned by the application, so a test can see when it is gone; it deletes itself once
    // xdg-open has ended, and stays behind unharmed if the utility ends first.
    auto *process = new QProcess(QCoreApplication::instance());
    process->setStandardOutputFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, command, failed](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart)
                             return;
                         failed(QStringLiteral("the command \"%1\" could not be started.")
                                        .arg(command));
                         process->deleteLater();
                     });
    QObject::connect(
            process, &QProcess::finished, process,
            [process, command, failed](int status, QProcess::ExitStatus exit) {
                const QString said = QString::fromLocal8Bit(process->readAllStandardError())
                                             .trimmed()
                                             .left(500);
                process->deleteLater();
                if (exit == QProcess::NormalExit && status == 0)
                    return;
                QString why = exit == QProcess::CrashExit
                        ? QStringLiteral("\"%1\" ended abnormally.").arg(command)
                        : QStringLiteral("\"%1\" ended with status %2: %3.")
                                  .arg(command)
                                  .arg(status)
                                  .arg(meaningOf(status));
                if (!said.isEmpty())
                    why += QStringLiteral("\nIt said: ") + said;
                failed(why);
            });
    process->start(QStringLiteral("xdg-open"), {file});
}
#endif
