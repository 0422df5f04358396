#include "SystemdPower.h"

#include "Ipv4Net.h"

#include <algorithm>
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

} // namespace

SystemdPower::SystemdPower(bool bDryRun, ChildProcesses& children, LogSink log, std::string strSystemctl,
                           std::chrono::milliseconds wait)
    : m_bDryRun(bDryRun), m_children(children), m_log(std::move(log)),
      m_strSystemctl(std::move(strSystemctl)), m_wait(wait)
{
}

std::vector<std::string> SystemdPower::CommandLine(const PowerOperation& op, bool bCheckInhibitors,
                                                   bool bDryRun) const
{
    std::vector<std::string> argv = {m_strSystemctl};
    if (bDryRun)
        argv.emplace_back("--dry-run");
    argv.emplace_back(bCheckInhibitors ? "--check-inhibitors=yes" : "--check-inhibitors=no");
    argv.push_back("--message=Veltrane Server at " + Ipv4Text(op.dwSender) + " asked for " +
                   std::string(op.bForce ? "a forcible " : "a ") + std::string(op.Word()));
    argv.emplace_back(op.bReboot ? "reboot" : "poweroff");
    return argv;
}

bool SystemdPower::Passes(const PowerOperation& op, bool bCheckInhibitors,
                          std::chrono::steady_clock::time_point deadline)
{
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    const auto result = m_children.Run(CommandLine(op, bCheckInhibitors, true),
                                       std::max(left, std::chrono::milliseconds(0)), true, true);
    return result.outcome == ChildProcesses::Outcome::Exited && result.nStatus == 0;
}

std::uint32_t SystemdPower::Prepare(const PowerOperation& op)
{
    if (m_bDryRun) {
        m_log("dry run: would run " + Joined(CommandLine(op, !op.bForce, false)));
        return kResultAccepted;
    }
    // Both checks together stay within one wait, so the reply is still in time.
    const auto deadline = std::chrono::steady_clock::now() + m_wait;
    if (Passes(op, !op.bForce, deadline))
        return kResultAccepted;
    // A plain operation that would pass as a forcible one is held back by policy alone.
    if (!op.bForce && Passes(op, false, deadline))
        return kResultRefused;
    return kResultNotStarted;
}

void SystemdPower::CarryOut(const PowerOperation& op)
{
    if (m_bDryRun)
        return;
    const auto argv = CommandLine(op, !op.bForce, false);
    if (m_children.Start(argv) < 0)
        m_log("cannot run " + Joined(argv));
}

} // namespace vtagentd
