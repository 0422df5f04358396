#pragma once

#include "HostAddresses.h"
#include "Ipv4Net.h"
#include "PowerControl.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vtagentd {

/// @brief The agent's decisions, free of sockets: which datagram gets which reply, which
/// operation is carried out, who may ask, and the limits that keep a flood harmless.
///
/// The caller sends the reply and then carries out the operation, in that order. Addresses
/// are in host byte order; time is passed in, so tests can move it.
class AgentCore final {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr auto kRepeatWindow = std::chrono::seconds(10);
    static constexpr auto kDeniedLogInterval = std::chrono::seconds(60);
    static constexpr int kRepliesPerSecond = 100;
    static constexpr std::size_t kMaxRemembered = 256; ///< operations and denied senders, each

    struct Answer {
        std::vector<std::uint8_t> reply; ///< empty: nothing to send
        std::optional<PowerOperation> carryOut;
    };

    /// An empty allow list means the networks of this PC's own interfaces.
    AgentCore(std::string strName, std::vector<Ipv4Net> allow, bool bVerbose, HostAddresses& host,
              PowerControl& power, LogSink log);

    Answer Handle(const std::uint8_t* p, std::size_t nLen, std::uint32_t dwSender, std::uint16_t wSenderPort,
                  Clock::time_point now);

private:
    struct Done {
        Clock::time_point at;
        std::uint32_t dwSender;
        std::uint32_t dwId;
        std::uint16_t wCommand;
        std::uint16_t wForce;
        std::uint32_t dwResult;
    };

    bool IsAllowed(std::uint32_t dwSender);
    bool IsOwn(std::uint32_t dwHost);
    void NoteDenied(std::uint32_t dwSender, Clock::time_point now);
    bool TakeReplyToken(Clock::time_point now);

    std::string m_strName;
    std::vector<Ipv4Net> m_allow;
    bool m_bVerbose;
    HostAddresses& m_host;
    PowerControl& m_power;
    LogSink m_log;

    std::deque<Done> m_done; ///< operations of the last 10 s, oldest first
    std::map<std::uint32_t, Clock::time_point> m_denied;
    double m_dTokens = kRepliesPerSecond;
    Clock::time_point m_tokensAt{};
};

} // namespace vtagentd
