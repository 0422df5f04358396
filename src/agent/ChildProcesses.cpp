#include "ChildProcesses.h"

#include <fcntl.h>
#include <poll.h>
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
constexpr auto kExitGrace = std::chrono::milliseconds(50);
// Standard output of a child: the agent's own, /dev/null, or else the descriptor given.
constexpr int kInheritOutput = -1;
constexpr int kDiscardOutput = -2;

ChildProcesses::Result FromStatus(int nWaitStatus)
{
    if (WIFEXITED(nWaitStatus))
        return {ChildProcesses::Outcome::Exited, WEXITSTATUS(nWaitStatus)};
    return {ChildProcesses::Outcome::Killed, WIFSIGNALED(nWaitStatus) ? WTERMSIG(nWaitStatus) : 0};
}

} // namespace

pid_t ChildProcesses::Start(const std::vector<std::string>& argv, bool bQuiet)
{
    return Spawn(argv, bQuiet ? kDiscardOutput : kInheritOutput);
}

pid_t ChildProcesses::Spawn(const std::vector<std::string>& argv, int nStdout)
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
    if (nStdout == kDiscardOutput)
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    else if (nStdout >= 0)
        posix_spawn_file_actions_adddup2(&actions, nStdout, STDOUT_FILENO);
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

ChildProcesses::Result ChildProcesses::Capture(const std::vector<std::string>& argv,
                                               std::chrono::milliseconds wait, std::string& strOut)
{
    strOut.clear();
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return {};
    const pid_t pid = Spawn(argv, pipeFds[1]);
    ::close(pipeFds[1]);
    if (pid < 0) {
        ::close(pipeFds[0]);
        return {};
    }
    const auto deadline = std::chrono::steady_clock::now() + wait;
    // Read until the child closes its end, so a long output cannot fill the pipe and stall it.
    char buf[4096];
    bool bOpen = true;
    while (bOpen) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            break;
        pollfd pfd{pipeFds[0], POLLIN, 0};
        const int nReady = ::poll(&pfd, 1, static_cast<int>(left));
        if (nReady < 0 && errno != EINTR)
            break;
        if (nReady <= 0)
            continue;
        const ssize_t nGot = ::read(pipeFds[0], buf, sizeof buf);
        if (nGot < 0 && errno == EINTR)
            continue;
        if (nGot <= 0)
            bOpen = false;
        else if (strOut.size() < kMaxCapture)
            strOut.append(buf, std::min(static_cast<std::size_t>(nGot), kMaxCapture - strOut.size()));
    }
    ::close(pipeFds[0]);
    // A child that has just closed its output may take a moment more to end.
    const auto minimum = bOpen ? std::chrono::milliseconds(0) : kExitGrace;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    const Result result = WaitFor(pid, std::max(left, minimum));
    if (result.outcome == Outcome::StillRunning)
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
