#pragma once

#include "ChildProcesses.h"
#include "PowerControl.h"

#include <chrono>

namespace vtagentd {

/// How long an action or a check may keep the reply waiting: well under the server's 3 s
/// quiet time, so the reply still counts.
inline constexpr std::chrono::milliseconds kActionWait{2000};

/// @brief Operations carried out by the administrator's own command, run by /bin/sh as
/// `CMD reboot|shutdown plain|force`; its exit status is the result code.
class CommandPower final : public PowerControl {
public:
    CommandPower(std::string strCommand, bool bDryRun, ChildProcesses& children, LogSink log,
                 std::chrono::milliseconds wait = kActionWait);

    std::uint32_t Prepare(const PowerOperation& op) override;
    void CarryOut(const PowerOperation& op) override;

private:
    std::string m_strCommand;
    bool m_bDryRun;
    ChildProcesses& m_children;
    LogSink m_log;
    std::chrono::milliseconds m_wait;
};

} // namespace vtagentd
