#pragma once

#include "ChildProcesses.h"
#include "CommandPower.h"
#include "PowerControl.h"

namespace vtagentd {

/// @brief Operations carried out through systemd: a plain one respects inhibitor locks and
/// other users' sessions (systemctl's own check), a forcible one ignores them. Before the
/// reply, the same systemctl call with --dry-run tells whether it would be refused.
class SystemdPower final : public PowerControl {
public:
    SystemdPower(bool bDryRun, ChildProcesses& children, LogSink log, std::string strSystemctl = "systemctl",
                 std::chrono::milliseconds wait = kActionWait);

    std::uint32_t Prepare(const PowerOperation& op) override;
    void CarryOut(const PowerOperation& op) override;

    /// The systemctl command line for an operation; bDryRun makes it the check made before the reply.
    std::vector<std::string> CommandLine(const PowerOperation& op, bool bCheckInhibitors, bool bDryRun) const;

private:
    bool Passes(const PowerOperation& op, bool bCheckInhibitors,
                std::chrono::steady_clock::time_point deadline);

    bool m_bDryRun;
    ChildProcesses& m_children;
    LogSink m_log;
    std::string m_strSystemctl;
    std::chrono::milliseconds m_wait;
};

} // namespace vtagentd
