// Stands in for the text editor the help button starts. It notes how it was started, its
// command line and the show-window value it was given, in help-record.txt in its current
// directory, which it shares with the program that started it. It writes only once the
// check releases it, or after a bounded wait: a launcher that waited for the editor to end
// would find the record already there.
#include <windows.h>

#include <cstdio>

int main()
{
    HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, L"crtest-help-release");
    const bool released = release && WaitForSingleObject(release, 15000) == WAIT_OBJECT_0;

    STARTUPINFOW startup{};
    GetStartupInfoW(&startup);

    // Written aside and renamed, so the check never reads half a record.
    FILE *record = std::fopen("help-record.tmp", "wb");
    if (!record)
        return 1;
    // The show-window value, or -1 if none was given.
    std::fprintf(record, "command %s\nshow %d\n%s\n", GetCommandLineA(),
                 startup.dwFlags & STARTF_USESHOWWINDOW ? startup.wShowWindow : -1,
                 released ? "released" : "not released");
    std::fclose(record);
    return MoveFileExW(L"help-record.tmp", L"help-record.txt", MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
