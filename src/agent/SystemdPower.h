#pragma once

#include "ChildProcesses.h"
#include "CommandPower.h"
#include "PowerControl.h"

namespace vtagentd {

/// @brief Operations carried out through systemd. A plain one is held back while logind
/// lists a block-mode inhibitor lock on shutdown (a user's "don't shut down now"); a
/// logged-in user does not hold it back, nor does a delay-mode lock, which logind waits
/// for itself. A forcible one ignores every lock; a dry run of its systemctl call tells
/// before the reply whether it can start. Either way, systemctl then runs with
/// --check-inhibitors=no once the reply has left.
class SystemdPower final : public PowerControl {
public:
    SystemdPower(bool bDryRun, ChildProcesses& children, LogSink log, std::string strSystemctl = "systemctl",
                 std::string strBusctl = "busctl", std::chrono::milliseconds wait = kActionWait);

    std::uint32_t Prepare(const PowerOperation& op) override;
    void CarryOut(const PowerOperation& op) override;

    /// The systemctl command line for an operation; bDryRun makes it the check made before the reply.
    std::vector<std::string> CommandLine(const PowerOperation& op, bool bDryRun) const;

private:
    std::uint32_t CheckInhibitors(const PowerOperation& op);

    bool m_bDryRun;
    ChildProcesses& m_children;
    LogSink m_log;
    std::string m_strSystemctl;
    std::string m_strBusctl;
    std::chrono::milliseconds m_wait;
};

} // namespace vtagentd
