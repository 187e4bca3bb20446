// Stands in for the text editor the help button starts. It notes how it was started, its
// command line and the show-window value it was given, in help-record.txt in its current
// directory, which it shares with the program that started it. It writes only once the
// check releases it, or after a bounded wait: a launcher that waited for the editor to end
// would find the record already there.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string utf8(const wchar_t *text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string result(size > 0 ? size - 1 : 0, '\0');
    if (size > 1)
        WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
    return result;
}

} // namespace

int main()
{
    HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, L"crtest-help-release");
    const bool released = release && WaitForSingleObject(release, 15000) == WAIT_OBJECT_0;

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    const std::string show = (startup.dwFlags & STARTF_USESHOWWINDOW)
            ? std::to_string(startup.wShowWindow)
            : std::string("none");

    // Written aside and renamed, so the check never reads half a record.
    FILE *record = std::fopen("help-record.tmp", "wb");
    if (!record)
        return 1;
    std::fprintf(record, "command %s\nshow %s\n%s\n", utf8(GetCommandLineW()).c_str(),
                 show.c_str(), released ? "released" : "not released");
    std::fclose(record);
    return MoveFileExW(L"help-record.tmp", L"help-record.txt", MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
