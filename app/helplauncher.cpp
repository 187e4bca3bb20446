#include "helplauncher.h"

#ifdef _WIN32
#  include <windows.h>
#else
#  include <QProcess>
#endif

bool startHelpEditor(std::string *command)
{
#ifdef _WIN32
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
#else
    *command = "xdg-open Readme.Txt";
    return QProcess::startDetached(QStringLiteral("xdg-open"), {QStringLiteral("Readme.Txt")});
#endif
}
