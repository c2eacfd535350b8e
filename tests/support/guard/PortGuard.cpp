// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The test run's guard of the machine's serial ports. No test may open a real
// /dev/ttyS*, /dev/ttyUSB* or /dev/ttyACM* node: an open raises DTR and RTS on
// whatever hangs there, and on the development machines ttyS0 is the console.
//
//   rennzeit_port_guard start <state folder> [<device folder>]
//   rennzeit_port_guard stop <state folder>
//
// start leaves a watcher running in the background (its own session, so the
// test runner does not wait for it) and returns once every node of the three
// families is watched; stop ends it and fails, naming each node and when it
// was opened, if any was. The watcher sees opens through inotify (IN_OPEN),
// which asks the kernel about a path without opening it: the guard itself
// never opens a node. Nodes that appear meanwhile (an adapter plugged in) are
// watched from then on. The watcher ends by itself when the process that
// started it (the test runner) has gone, so an interrupted run leaves nothing
// behind.
//
// A stop that finds no watcher, or one that did not end properly, fails too:
// then nobody can tell whether a node was opened. CTest's --repeat runs the
// start and the stop several times: a start by the same runner keeps the
// watcher (and what it saw), a stop after a stop gives the same verdict.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr const char* kFamilies[] = { "ttyS", "ttyUSB", "ttyACM" };
// A run that never stops its guard (a crashed runner whose parent lives on)
// must not leave it forever.
constexpr auto kLongestRun = std::chrono::hours(12);
constexpr auto kStartWait = std::chrono::seconds(10);
constexpr auto kStopWait = std::chrono::seconds(10);

struct StateFiles {
    std::string pid, runner, report, status, log;
    explicit StateFiles(const std::string& folder)
        : pid(folder + "/guard.pid")
        , runner(folder + "/runner")
        , report(folder + "/opened")
        , status(folder + "/status")
        , log(folder + "/guard.log")
    {
    }
};

bool IsGuardedName(const char* name)
{
    for (const char* family : kFamilies) {
        const size_t n = std::strlen(family);
        if (std::strncmp(name, family, n) != 0 || name[n] == '\0')
            continue;
        if (std::all_of(name + n, name + std::strlen(name), [](char c) { return c >= '0' && c <= '9'; }))
            return true;
    }
    return false;
}

std::string ReadFile(const std::string& path)
{
    std::string text;
    if (FILE* f = std::fopen(path.c_str(), "re")) {
        char buffer[4096];
        size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            text.append(buffer, got);
        std::fclose(f);
    }
    return text;
}

bool WriteFile(const std::string& path, const std::string& text)
{
    FILE* f = std::fopen(path.c_str(), "we");
    if (!f)
        return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

std::string Now()
{
    timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local {};
    localtime_r(&ts.tv_sec, &local);
    char text[64];
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(text + n, sizeof text - n, ".%03ld", ts.tv_nsec / 1000000);
    return text;
}

// The guard of that state folder, if it runs: a stale pid file must not make
// us signal a process that merely got the same number.
pid_t RunningGuard(const StateFiles& files, const std::string& folder)
{
    const pid_t pid = static_cast<pid_t>(std::atol(ReadFile(files.pid).c_str()));
    if (pid <= 0 || ::kill(pid, 0) != 0)
        return 0;
    std::string cmdline = ReadFile("/proc/" + std::to_string(pid) + "/cmdline");
    std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
    return cmdline.find("port_guard") != std::string::npos && cmdline.find(folder) != std::string::npos ? pid : 0;
}

class Watcher {
public:
    Watcher(std::string devFolder, const StateFiles& files, pid_t runner)
        : m_dev(std::move(devFolder))
        , m_files(files)
        , m_runner(runner)
    {
    }

    // Watches the folder and every guarded node in it; false with the reason
    // in the log when it cannot.
    bool Begin()
    {
        m_inotify = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        if (m_inotify < 0)
            return Fail("inotify_init1");
        if (inotify_add_watch(m_inotify, m_dev.c_str(), IN_CREATE | IN_MOVED_TO | IN_ONLYDIR) < 0)
            return Fail("watching " + m_dev);
        DIR* dir = ::opendir(m_dev.c_str());
        if (!dir)
            return Fail("reading " + m_dev);
        while (const dirent* entry = ::readdir(dir)) {
            if (IsGuardedName(entry->d_name))
                WatchNode(entry->d_name);
        }
        ::closedir(dir);
        m_report = ::open(m_files.report.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
        if (m_report < 0)
            return Fail("creating " + m_files.report);
        return true;
    }

    std::string Watched() const
    {
        std::string names;
        for (const auto& [wd, name] : m_nodes)
            names += (names.empty() ? "" : " ") + name;
        return names.empty() ? "no node yet" : names;
    }

    // Until SIGTERM (a stop), the runner's end or the longest run.
    int Run()
    {
        sigset_t term;
        sigemptyset(&term);
        sigaddset(&term, SIGTERM);
        sigaddset(&term, SIGINT);
        sigprocmask(SIG_BLOCK, &term, nullptr);
        const int signals = signalfd(-1, &term, SFD_CLOEXEC);
        const int runner = static_cast<int>(::syscall(SYS_pidfd_open, m_runner, 0));
        const auto until = std::chrono::steady_clock::now() + kLongestRun;
        for (;;) {
            pollfd fds[3] = { { m_inotify, POLLIN, 0 }, { signals, POLLIN, 0 }, { runner, POLLIN, 0 } };
            // Without a pidfd the runner is looked at every second.
            const int rc = ::poll(fds, 3, 1000);
            if (rc < 0 && errno != EINTR)
                return Finish("poll failed: " + std::string(std::strerror(errno)), 1);
            Drain();
            if (fds[1].revents & POLLIN)
                return Finish("stopped", 0);
            const bool runnerGone = runner >= 0 ? (fds[2].revents & POLLIN) != 0 : ::kill(m_runner, 0) != 0;
            if (runnerGone)
                return Finish("ended: the test runner has gone", 0);
            if (std::chrono::steady_clock::now() > until)
                return Finish("ended: ran for 12 hours", 0);
        }
    }

private:
    void WatchNode(const std::string& name)
    {
        const std::string path = m_dev + "/" + name;
        // A link named like a node is followed: an open through it opens the
        // node it leads to.
        const int wd = inotify_add_watch(m_inotify, path.c_str(), IN_OPEN);
        if (wd >= 0)
            m_nodes[wd] = path;
    }

    void Drain()
    {
        alignas(inotify_event) char buffer[16 * 1024];
        for (;;) {
            const ssize_t got = ::read(m_inotify, buffer, sizeof buffer);
            if (got <= 0)
                return;
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                if ((event->mask & (IN_CREATE | IN_MOVED_TO)) && event->len > 0 && IsGuardedName(event->name))
                    WatchNode(event->name);
                if (event->mask & IN_Q_OVERFLOW)
                    Record("(events lost: the queue overflowed; a node may have been opened)");
                if (!(event->mask & IN_OPEN))
                    continue;
                const auto node = m_nodes.find(event->wd);
                if (node != m_nodes.end())
                    Record(node->second);
            }
        }
    }

    void Record(const std::string& what)
    {
        const std::string line = Now() + " " + what + "\n";
        [[maybe_unused]] const ssize_t written = ::write(m_report, line.data(), line.size());
    }

    bool Fail(const std::string& what)
    {
        WriteFile(m_files.log, what + ": " + std::strerror(errno) + "\n");
        return false;
    }

    int Finish(const std::string& how, int code)
    {
        ::close(m_report);
        WriteFile(m_files.status, how + "\n");
        return code;
    }

    std::string m_dev;
    StateFiles m_files;
    pid_t m_runner;
    int m_inotify = -1;
    int m_report = -1;
    std::map<int, std::string> m_nodes;
};

int Start(const std::string& folder, const std::string& devFolder)
{
    ::mkdir(folder.c_str(), 0755);
    const StateFiles files(folder);
    const pid_t runner = ::getppid();
    if (const pid_t running = RunningGuard(files, folder)) {
        if (std::atol(ReadFile(files.runner).c_str()) == runner) {
            std::printf("port guard: already watching for this test run\n");
            return 0;
        }
        // Left by another run.
        ::kill(running, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    for (const std::string* path : { &files.pid, &files.runner, &files.report, &files.status, &files.log })
        ::unlink(path->c_str());
    WriteFile(files.runner, std::to_string(runner) + "\n");
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) {
        std::perror("port guard: pipe");
        return 1;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        std::perror("port guard: fork");
        return 1;
    }
    if (child == 0) {
        ::close(ready[0]);
        ::setsid();
        // Nothing of the runner's output pipes: it waits for them to close.
        const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        for (int fd = 0; fd <= 2; ++fd)
            ::dup2(null, fd);
        for (int fd = 3; fd < 1024; ++fd) {
            if (fd != ready[1])
                ::close(fd);
        }
        Watcher watcher(devFolder, files, runner);
        std::string message = "F";
        if (watcher.Begin() && WriteFile(files.pid, std::to_string(::getpid()) + "\n"))
            message = "R" + watcher.Watched();
        [[maybe_unused]] const ssize_t written = ::write(ready[1], message.data(), message.size());
        ::close(ready[1]);
        if (message[0] != 'R')
            _exit(1);
        _exit(watcher.Run());
    }
    ::close(ready[1]);
    std::string message;
    char buffer[4096];
    pollfd p { ready[0], POLLIN, 0 };
    const auto until = std::chrono::steady_clock::now() + kStartWait;
    while (std::chrono::steady_clock::now() < until) {
        if (::poll(&p, 1, 100) <= 0)
            continue;
        const ssize_t got = ::read(ready[0], buffer, sizeof buffer);
        if (got <= 0)
            break;
        message.append(buffer, static_cast<size_t>(got));
    }
    if (message.empty() || message[0] != 'R') {
        std::fprintf(stderr, "port guard: could not watch %s: %s", devFolder.c_str(), ReadFile(files.log).c_str());
        return 1;
    }
    std::printf("port guard: watching %s for opens of %s\n", devFolder.c_str(), message.c_str() + 1);
    return 0;
}

// What the watcher saw, once it has ended properly.
int Verdict(const StateFiles& files)
{
    const std::string opened = ReadFile(files.report);
    if (!opened.empty()) {
        std::fprintf(stderr, "port guard: a real serial port of this machine was opened while the tests ran:\n%s",
            opened.c_str());
        return 1;
    }
    std::printf("port guard: no serial port of this machine was opened\n");
    return 0;
}

int Stop(const std::string& folder)
{
    const StateFiles files(folder);
    const pid_t guard = RunningGuard(files, folder);
    if (guard == 0) {
        const std::string status = ReadFile(files.status);
        if (status == "stopped\n")
            return Verdict(files); // a repeated stop: nothing ran since the first
        std::fprintf(stderr,
            "port guard: no guard runs for %s (%s): nobody can tell whether a serial port was opened\n", folder.c_str(),
            status.empty() ? "it was never started" : status.substr(0, status.size() - 1).c_str());
        return 2;
    }
    ::kill(guard, SIGTERM);
    // The status is written after the last event was read: the report is whole.
    const auto until = std::chrono::steady_clock::now() + kStopWait;
    std::string status;
    while (status.empty() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        status = ReadFile(files.status);
    }
    ::unlink(files.pid.c_str());
    if (status != "stopped\n") {
        std::fprintf(
            stderr, "port guard: the guard did not end properly (%s)\n", status.empty() ? "no answer" : status.c_str());
        return 2;
    }
    return Verdict(files);
}

} // namespace

int main(int argc, char** argv)
{
    const std::string action = argc > 1 ? argv[1] : "";
    if (action == "start" && (argc == 3 || argc == 4))
        return Start(argv[2], argc == 4 ? argv[3] : "/dev");
    if (action == "stop" && argc == 3)
        return Stop(argv[2]);
    std::fprintf(stderr, "usage: %s start <state folder> [<device folder>] | stop <state folder>\n", argv[0]);
    return 2;
}
