// A program a benchmark starts, plain POSIX: its environment changed as asked, its standard
// output thrown away, its standard error kept to show when it breaks, and on request a pipe
// on its descriptor 3 for the launch probe's reports. Reaping it gives its processor time
// and peak resident memory.
#pragma once

#include "timing.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

extern char **environ;

[[noreturn]] inline void fail(const std::string &why)
{
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, why.c_str());
    std::exit(1);
}

class Process
{
public:
    // argv[0] is the program's path; set holds NAME=value entries that replace NAME, drop
    // names to take away.
    Process(const std::vector<std::string> &argv, const std::vector<std::string> &set,
            const std::vector<std::string> &drop = {}, bool report = false)
        : m_name(argv.at(0))
    {
        std::vector<std::string> env;
        for (char **e = environ; *e; ++e) {
            const std::string entry = *e;
            const std::string name = entry.substr(0, entry.find('='));
            bool keep = true;
            for (const std::string &other : set)
                keep = keep && other.compare(0, name.size() + 1, name + '=') != 0;
            for (const std::string &other : drop)
                keep = keep && other != name;
            if (keep)
                env.push_back(entry);
        }
        env.insert(env.end(), set.begin(), set.end());

        int pipeFds[2] = {-1, -1};
        m_errors = memfd_create("standard error", MFD_CLOEXEC);
        if (m_errors < 0 || (report && pipe2(pipeFds, O_CLOEXEC) != 0))
            fail("cannot make the descriptors for " + m_name);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, m_errors, 2);
        if (report)
            posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 3);
        std::vector<char *> args, envp;
        for (const std::string &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        for (const std::string &e : env)
            envp.push_back(const_cast<char *>(e.c_str()));
        envp.push_back(nullptr);
        started = Clock::now();
        if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0)
            fail("cannot start " + m_name);
        posix_spawn_file_actions_destroy(&actions);
        if (report)
            close(pipeFds[1]);
        m_report = pipeFds[0];
    }
    ~Process()
    {
        if (!m_reaped)
            reap(true);
        close(m_errors);
    }
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;

    pid_t pid = -1;
    Clock::time_point started, ended;
    double cpuMs = 0, peakMiB = 0;

    // The next line on descriptor 3, or nothing if the program ended or stayed silent.
    std::optional<std::string> readLine(int timeoutMs)
    {
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto newline = m_buffered.find('\n');
            if (newline != std::string::npos) {
                std::string line = m_buffered.substr(0, newline);
                m_buffered.erase(0, newline + 1);
                return line;
            }
            const double left = msBetween(Clock::now(), deadline);
            pollfd p{m_report, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, int(left) + 1) < 0)
                return std::nullopt;
            char chunk[512];
            if (p.revents == 0)
                continue;
            const ssize_t n = read(m_report, chunk, sizeof chunk);
            if (n <= 0)
                return std::nullopt;
            m_buffered.append(chunk, size_t(n));
        }
    }

    // Waits for the program's end, killing it first if asked; returns its wait status.
    int reap(bool kill)
    {
        if (kill)
            ::kill(pid, SIGKILL);
        rusage usage{};
        while (wait4(pid, &m_status, 0, &usage) < 0 && errno == EINTR) { }
        ended = Clock::now();
        m_reaped = true;
        cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
                + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
        peakMiB = usage.ru_maxrss / 1024.0;
        if (m_report >= 0)
            close(m_report);
        m_report = -1;
        return m_status;
    }
    bool endedCleanly() const
    {
        return m_reaped && WIFEXITED(m_status) && WEXITSTATUS(m_status) == 0;
    }

    // What the program wrote to its standard error.
    std::string errors() const
    {
        std::string text;
        char chunk[65536];
        for (ssize_t n; (n = pread(m_errors, chunk, sizeof chunk, off_t(text.size()))) > 0;)
            text.append(chunk, size_t(n));
        return text;
    }

    // Ends the benchmark: the program did not do what is measured.
    [[noreturn]] void broken(const std::string &what)
    {
        if (!m_reaped)
            reap(true);
        fail(m_name + ": " + what + " (wait status " + std::to_string(m_status) + ")\n"
             + errors());
    }

private:
    std::string m_name;
    int m_errors = -1, m_report = -1, m_status = 0;
    bool m_reaped = false;
    std::string m_buffered;
};
