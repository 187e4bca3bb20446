#include "helplauncher.h"

#ifdef Q_OS_WIN
#  include <windows.h>
#else
#  include <QProcess>
#endif

bool startHelpEditor(QString *command)
{
#ifdef Q_OS_WIN
    wchar_t commandLine[] = L"NOTEPAD.EXE Readme.Txt";
    *command = QString::fromWCharArray(commandLine);
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
#else
    const QString program = QStringLiteral("xdg-open");
    const QStringList arguments{QStringLiteral("Readme.Txt")};
    *command = program + QLatin1Char(' ') + arguments.join(QLatin1Char(' '));
    return QProcess::startDetached(program, arguments);
#endif
}
