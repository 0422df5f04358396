#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace vtagentd {

/// @brief Starts the programs that carry operations out, waits a bounded time for them, and
/// reaps those that outlive the wait, so that no child is left a zombie.
class ChildProcesses final {
public:
    enum class Outcome { Exited, Killed, StillRunning, NotStarted };
    struct Result {
        Outcome outcome = Outcome::NotStarted;
        int nStatus = 0; ///< exit status when Exited, signal number when Killed
    };

    ChildProcesses() = default;
    ChildProcesses(const ChildProcesses&) = delete;
    ChildProcesses& operator=(const ChildProcesses&) = delete;

    /// argv[0] is searched in PATH when it holds no slash. Standard input is /dev/null;
    /// standard output too when bQuiet; standard error is the agent's. -1 when it cannot start.
    pid_t Start(const std::vector<std::string>& argv, bool bQuiet = false);
    /// Waits up to `wait` for the child to end. A child still running is reaped later.
    Result WaitFor(pid_t pid, std::chrono::milliseconds wait);
    /// Start, then WaitFor; a check that outlives the wait (bKillLate) is killed.
    Result Run(const std::vector<std::string>& argv, std::chrono::milliseconds wait, bool bQuiet = false,
               bool bKillLate = false);
    /// Run with standard output read into strOut (at most kMaxCapture bytes kept); a child
    /// that outlives the wait is killed.
    Result Capture(const std::vector<std::string>& argv, std::chrono::milliseconds wait, std::string& strOut);
    /// Reaps every child that has ended since; returns how many are still running.
    std::size_t ReapFinished();

    static constexpr std::size_t kMaxCapture = 256 * 1024;

private:
    pid_t Spawn(const std::vector<std::string>& argv, int nStdout);

    std::vector<pid_t> m_running;
};

} // namespace vtagentd
