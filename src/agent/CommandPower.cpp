#include "CommandPower.h"

#include <utility>

namespace vtagentd {

CommandPower::CommandPower(std::string strCommand, bool bDryRun, ChildProcesses& children, LogSink log,
                           std::chrono::milliseconds wait)
    : m_strCommand(std::move(strCommand)), m_bDryRun(bDryRun), m_children(children), m_log(std::move(log)),
      m_wait(wait)
{
}

std::uint32_t CommandPower::Prepare(const PowerOperation& op)
{
    const std::string strWords = std::string(op.Word()) + ' ' + std::string(op.Mode());
    if (m_bDryRun) {
        m_log("dry run: would run " + m_strCommand + ' ' + strWords);
        return kResultAccepted;
    }
    // The words go in as positional parameters, so CMD keeps its own quoting.
    const auto result = m_children.Run({"/bin/sh", "-c", m_strCommand + " \"$@\"", "vtagentd",
                                        std::string(op.Word()), std::string(op.Mode())},
                                       m_wait);
    switch (result.outcome) {
    case ChildProcesses::Outcome::Exited:
        return static_cast<std::uint32_t>(result.nStatus);
    case ChildProcesses::Outcome::StillRunning:
        m_log("the action command for " + strWords + " is still running after " +
              std::to_string(m_wait.count()) + " ms: taken as started");
        return kResultAccepted;
    case ChildProcesses::Outcome::Killed:
        m_log("the action command for " + strWords + " was killed by signal " +
              std::to_string(result.nStatus));
        return kResultNotStarted;
    case ChildProcesses::Outcome::NotStarted:
        break;
    }
    m_log("the action command for " + strWords + " could not be started");
    return kResultNotStarted;
}

void CommandPower::CarryOut(const PowerOperation&)
{
    // The command did its work before the reply: its exit status was the answer.
}

} // namespace vtagentd
