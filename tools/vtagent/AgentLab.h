#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

/// @brief A lab of simulated PC agents on local addresses, served by one thread.
///
/// Each agent owns a UDP socket bound to its address at the agent port and answers search,
/// status and operation requests as a real agent would, with optional misbehaviour for tests.
/// Search listeners take a search sent to an address no agent owns (a loopback broadcast,
/// say) and let every agent answer it from its own socket. Wake-on-LAN listeners only log.
namespace vtagent {

struct AgentSpec {
    std::uint32_t dwAddress = 0; ///< host order; 0 binds to every address and answers from the local one
    std::string strName;
    bool bSilent = false;
    bool bTwice = false;
    bool bWrongId = false;
    bool bLongName = false; ///< reports a 16-character name, one more than a server accepts
    bool bNameEmpty = false;
    int nLateMs = 0;
    std::uint32_t dwResultCode = 0;

    std::string ReplyName() const;
};

struct Endpoint {
    std::uint32_t dwAddress = 0; ///< host order
    std::uint16_t wPort = 0;
};

struct LabConfig {
    std::vector<AgentSpec> agents;
    std::uint16_t wAgentPort = 9001;
    std::vector<std::uint32_t> searchListen; ///< host order
    std::vector<Endpoint> wolListen;
    std::string strLogPath;   ///< empty: no log; "-": standard output
    std::string strReadyFile; ///< written once every socket is bound
    double dDurationSec = 0;  ///< 0: until stopped
};

class AgentLab final {
public:
    explicit AgentLab(LabConfig config);
    ~AgentLab();
    AgentLab(const AgentLab&) = delete;
    AgentLab& operator=(const AgentLab&) = delete;

    /// Binds every socket and opens the log; false with a message when anything fails.
    bool Open(std::string& strError);
    /// Serves until Stop or the configured duration; Open must have succeeded.
    void Run();
    /// Open, then Run on a thread of its own.
    bool Start(std::string& strError);
    /// Makes Run return soon. Safe from any thread and from a signal handler.
    void Stop();
    /// Waits for the thread that Start began.
    void Join();

    std::uint64_t DatagramsReceived() const;
    std::uint64_t RepliesSent() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_pImpl;
};

} // namespace vtagent
