#pragma once

#include "AgentCore.h"
#include "ChildProcesses.h"
#include "PowerControl.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vtagentd {

/// @brief The agent's UDP socket and its loop: every datagram goes to the core, its reply
/// leaves from the address the request reached, and only then is an operation started.
class AgentServer final {
public:
    AgentServer(AgentCore& core, PowerControl& power, ChildProcesses& children, LogSink log);
    ~AgentServer();
    AgentServer(const AgentServer&) = delete;
    AgentServer& operator=(const AgentServer&) = delete;

    /// dwBind in host order, 0 for every address (broadcasts included).
    bool Open(std::uint32_t dwBind, std::uint16_t wPort, std::string& strError);
    /// Serves until nStopFd becomes readable.
    void Run(int nStopFd);

private:
    void Drain();
    void Send(const std::vector<std::uint8_t>& bytes, std::uint32_t dwTo, std::uint16_t wToPort,
              std::uint32_t dwFrom);

    AgentCore& m_core;
    PowerControl& m_power;
    ChildProcesses& m_children;
    LogSink m_log;
    int m_fd = -1;
    bool m_bBoundToAll = true;
    std::vector<std::uint8_t> m_buffer;
};

} // namespace vtagentd
