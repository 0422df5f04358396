#include "SystemdPower.h"

#include "InhibitorLocks.h"
#include "Ipv4Net.h"

#include <utility>

namespace vtagentd {

namespace {

std::string Joined(const std::vector<std::string>& words)
{
    std::string strLine;
    for (const std::string& str : words)
        strLine += (strLine.empty() ? "" : " ") + str;
    return strLine;
}

std::string Failure(const std::vector<std::string>& argv, const ChildProcesses::Result& result)
{
    switch (result.outcome) {
    case ChildProcesses::Outcome::Exited:
        return Joined(argv) + " ended with " + std::to_string(result.nStatus);
    case ChildProcesses::Outcome::Killed:
        return Joined(argv) + " was killed by signal " + std::to_string(result.nStatus);
    case ChildProcesses::Outcome::StillRunning:
        return Joined(argv) + " did not finish in time";
    case ChildProcesses::Outcome::NotStarted:
        break;
    }
    return "cannot run " + Joined(argv);
}

} // namespace

SystemdPower::SystemdPower(bool bDryRun, ChildProcesses& children, LogSink log, std::string strSystemctl,
                           std::string strBusctl, std::chrono::milliseconds wait)
    : m_bDryRun(bDryRun), m_children(children), m_log(std::move(log)),
      m_strSystemctl(std::move(strSystemctl)), m_strBusctl(std::move(strBusctl)), m_wait(wait)
{
}

std::vector<std::string> SystemdPower::CommandLine(const PowerOperation& op, bool bDryRun) const
{
    std::vector<std::string> argv = {m_strSystemctl};
    if (bDryRun)
        argv.emplace_back("--dry-run");
    // The agent decides about locks itself; systemctl's own check would also refuse while
    // anyone else is logged in, which on a lab PC is nearly always.
    argv.emplace_back("--check-inhibitors=no");
    argv.push_back("--message=Veltrane Server at " + Ipv4Text(op.dwSender) + " asked for " +
                   std::string(op.bForce ? "a forcible " : "a ") + std::string(op.Word()));
    argv.emplace_back(op.bReboot ? "reboot" : "poweroff");
    return argv;
}

std::uint32_t SystemdPower::CheckInhibitors(const PowerOperation& op)
{
    const auto argv = ListInhibitorsCommand(m_strBusctl);
    std::string strOut;
    const auto result = m_children.Capture(argv, m_wait, strOut);
    if (result.outcome != ChildProcesses::Outcome::Exited || result.nStatus != 0) {
        m_log("cannot list the inhibitor locks for a " + std::string(op.Word()) + ": " +
              Failure(argv, result));
        return kResultNotStarted;
    }
    const auto locks = ParseInhibitorLocks(strOut);
    if (!locks) {
        m_log("cannot list the inhibitor locks for a " + std::string(op.Word()) +
              ": unexpected output from " + m_strBusctl);
        return kResultNotStarted;
    }
    for (const InhibitorLock& lock : *locks) {
        if (lock.BlocksShutdown()) {
            m_log("a " + std::string(op.Word()) + " is held back by \"" + lock.strWho + "\" (uid " +
                  std::to_string(lock.ulUid) + ", pid " + std::to_string(lock.ulPid) + "): " + lock.strWhy);
            return kResultRefused;
        }
    }
    return kResultAccepted;
}

std::uint32_t SystemdPower::Prepare(const PowerOperation& op)
{
    if (m_bDryRun) {
        m_log(std::string("dry run: would ") + (op.bForce ? "" : "check the inhibitor locks, then ") +
              "run " + Joined(CommandLine(op, false)));
        return kResultAccepted;
    }
    if (!op.bForce)
        return CheckInhibitors(op);
    const auto argv = CommandLine(op, true);
    const auto result = m_children.Run(argv, m_wait, true, true);
    if (result.outcome == ChildProcesses::Outcome::Exited && result.nStatus == 0)
        return kResultAccepted;
    m_log("a forcible " + std::string(op.Word()) + " cannot start: " + Failure(argv, result));
    return kResultNotStarted;
}

void SystemdPower::CarryOut(const PowerOperation& op)
{
    if (m_bDryRun)
        return;
    const auto argv = CommandLine(op, false);
    if (m_children.Start(argv) < 0)
        m_log("cannot run " + Joined(argv));
}

} // namespace vtagentd
