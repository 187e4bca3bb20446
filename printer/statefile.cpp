#include "statefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

constexpr std::size_t MaxFileSize = 4096;

// The text of the file without its last line, which is the check of that text: a file cut
// short, a flipped bit or a hand edit is found, never taken for counts.
std::string body(const PrinterState &s)
{
    char text[256];
    std::snprintf(text, sizeof text,
                  "crtest-printer-state 1\ninstalled %s\ngood %" PRIu32 "\nfailed %" PRIu32
                  "\nnext-pulse %" PRId64 " %" PRId64 "\n",
                  s.installed.c_str(), s.good, s.failed, s.nextPulse[0], s.nextPulse[1]);
    return text;
}

std::string check(const std::string &text)
{
    uint64_t hash = 0xcbf29ce484222325u; // FNV-1a
    for (const unsigned char c : text)
        hash = (hash ^ c) * 0x100000001b3u;
    char line[32];
    std::snprintf(line, sizeof line, "check %016" PRIx64 "\n", hash);
    return line;
}

bool validDate(const std::string &date)
{
    if (date.size() != 8)
        return false;
    for (const char c : date)
        if (c < '0' || c > '9')
            return false;
    return true;
}

bool writeAll(int fd, const std::string &text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    return true;
}

// mkdir -p, private to the user: the counts are nobody else's to change.
bool makeFolder(const std::string &folder)
{
    for (std::size_t slash = 1; slash != std::string::npos;) {
        slash = folder.find('/', slash + 1);
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

} // namespace

StateFile::StateFile(std::string folder, const std::string &device) : m_folder(std::move(folder))
{
    // The device path, every byte but letters, digits and '-' written as %XX: two paths never
    // share a name, and no name can climb out of the folder.
    std::string name = "printer-";
    for (const unsigned char c : device) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-') {
            name += char(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            name += escaped;
        }
    }
    if (!m_folder.empty())
        m_path = m_folder + '/' + name + ".state";
}

StateFile::Load StateFile::load(PrinterState &state) const
{
    if (m_path.empty())
        return Load::Missing;
    const int fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? Load::Missing : Load::Damaged;
    std::string text(MaxFileSize + 1, '\0');
    std::size_t size = 0;
    for (ssize_t n; size < text.size()
                    && (n = ::read(fd, text.data() + size, text.size() - size)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return Load::Damaged;
        }
        size += std::size_t(n);
    }
    ::close(fd);
    text.resize(size);

    const std::size_t last = text.rfind("check ");
    if (size > MaxFileSize || last == std::string::npos || text.substr(last) != check(text.substr(0, last)))
        return Load::Damaged;
    PrinterState read;
    char installed[16] = {};
    if (std::sscanf(text.c_str(),
                    "crtest-printer-state 1\ninstalled %15s\ngood %" SCNu32 "\nfailed %" SCNu32
                    "\nnext-pulse %" SCNd64 " %" SCNd64,
                    installed, &read.good, &read.failed, &read.nextPulse[0], &read.nextPulse[1])
        != 5)
        return Load::Damaged;
    read.installed = installed;
    // Only the one way of writing each value is taken.
    if (!validDate(read.installed) || body(read) != text.substr(0, last))
        return Load::Damaged;
    state = read;
    return Load::Read;
}

bool StateFile::save(const PrinterState &state, std::string &why) const
{
    if (m_path.empty()) {
        why = "no folder to keep them in: neither BEXOR_PRINTER_STATE_DIR nor HOME is set";
        return false;
    }
    if (!makeFolder(m_folder)) {
        why = m_folder + ": " + std::strerror(errno);
        return false;
    }
    const std::string text = body(state) + check(body(state));
    const std::string beside = m_path + ".new";
    const int fd = ::open(beside.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        why = beside + ": " + std::strerror(errno);
        return false;
    }
    const bool written = writeAll(fd, text) && ::fsync(fd) == 0;
    const int error = errno;
    if (::close(fd) != 0 || !written || ::rename(beside.c_str(), m_path.c_str()) != 0) {
        why = m_path + ": " + std::strerror(written ? errno : error);
        ::unlink(beside.c_str());
        return false;
    }
    // The rename itself is only lasting once the folder is on disk.
    const int folder = ::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

std::string stateFolder()
{
    const auto absolute = [](const char *value) { return value && value[0] == '/'; };
    if (const char *dir = std::getenv("BEXOR_PRINTER_STATE_DIR"); dir && *dir)
        return dir;
    // A relative XDG_STATE_HOME counts as unset, as the freedesktop base directories have it.
    if (const char *xdg = std::getenv("XDG_STATE_HOME"); absolute(xdg))
        return std::string(xdg) + "/crtest-printer";
    if (const char *home = std::getenv("HOME"); absolute(home))
        return std::string(home) + "/.local/state/crtest-printer";
    return {};
}

std::string today()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char date[16] = {};
    if (::localtime_r(&now, &local))
        std::strftime(date, sizeof date, "%Y%m%d", &local);
    return date;
}
