#include "ChildProcesses.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

extern char** environ;

namespace vtagentd {

namespace {

constexpr auto kPollStep = std::chrono::milliseconds(5);

ChildProcesses::Result FromStatus(int nWaitStatus)
{
    if (WIFEXITED(nWaitStatus))
        return {ChildProcesses::Outcome::Exited, WEXITSTATUS(nWaitStatus)};
    return {ChildProcesses::Outcome::Killed, WIFSIGNALED(nWaitStatus) ? WTERMSIG(nWaitStatus) : 0};
}

} // namespace

pid_t ChildProcesses::Start(const std::vector<std::string>& argv, bool bQuiet)
{
    if (argv.empty())
        return -1;
    std::vector<char*> args;
    for (const std::string& str : argv)
        args.push_back(const_cast<char*>(str.c_str()));
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (bQuiet)
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    // The agent blocks its stop signals to read them from a descriptor; its children must not.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (const int nSignal : {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGCHLD})
        sigaddset(&defaults, nSignal);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    const int nError = argv[0].find('/') == std::string::npos
                           ? ::posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ)
                           : ::posix_spawn(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (nError != 0)
        return -1;
    m_running.push_back(pid);
    return pid;
}

ChildProcesses::Result ChildProcesses::WaitFor(pid_t pid, std::chrono::milliseconds wait)
{
    const auto it = std::find(m_running.begin(), m_running.end(), pid);
    if (pid <= 0 || it == m_running.end())
        return {};
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (true) {
        int nWaitStatus = 0;
        const pid_t done = ::waitpid(pid, &nWaitStatus, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) {
            m_running.erase(std::find(m_running.begin(), m_running.end(), pid));
            return done == pid ? FromStatus(nWaitStatus) : Result{Outcome::Killed, 0};
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return {Outcome::StillRunning, 0};
        std::this_thread::sleep_for(kPollStep);
    }
}

ChildProcesses::Result ChildProcesses::Run(const std::vector<std::string>& argv,
                                           std::chrono::milliseconds wait, bool bQuiet, bool bKillLate)
{
    const pid_t pid = Start(argv, bQuiet);
    if (pid < 0)
        return {};
    const Result result = WaitFor(pid, wait);
    if (result.outcome == Outcome::StillRunning && bKillLate)
        ::kill(pid, SIGKILL);
    return result;
}

std::size_t ChildProcesses::ReapFinished()
{
    std::erase_if(m_running, [](pid_t pid) {
        int nWaitStatus = 0;
        const pid_t done = ::waitpid(pid, &nWaitStatus, WNOHANG);
        return done == pid || (done < 0 && errno == ECHILD);
    });
    return m_running.size();
}

} // namespace vtagentd
