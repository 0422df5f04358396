#pragma once

#include "net/Datagram.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

/// @brief The agent's side of the protocol: reading a server's request and building the
/// two kinds of reply. Shared by the real agent and the simulator, so both speak the same
/// bytes as the server's own builders and acceptance test in Datagram.h.
namespace vtdgram {

/// A search lists the PCs found so far; a full list of 253 means the 254th is being sought.
inline constexpr std::size_t kMaxSearchList = 253;

enum class RequestType { Invalid, Search, Status, Operate };

/// A request as an agent reads it. Reading never fails: a field the datagram is too short
/// to hold keeps its default, and anything out of shape leaves the type Invalid.
struct AgentRequest {
    std::size_t nLength = 0;
    std::uint8_t cKind = 0;  ///< 0 when the datagram is shorter than 8 bytes
    bool bHasHeader = false; ///< at least 24 bytes: the fields below were read
    std::uint32_t dwId = 0;
    std::uint16_t wCommand = 0;
    std::uint16_t wForce = 0;
    std::uint32_t dwParam = 0;
    std::vector<std::uint32_t> addresses; ///< network order, as listed (at most 254 are read)
    RequestType type = RequestType::Invalid;

    bool IsValid() const { return type != RequestType::Invalid; }
    /// dwIp in network order.
    bool Lists(std::uint32_t dwIp) const;
};

/// Valid only when the whole datagram is one well-formed request: magic, 'C', checksum, a
/// list ended by a zero word with nothing after it, list kind 0 with no operation (search)
/// or list kind 1 naming exactly one address (status when the command is 0, else operation).
AgentRequest ParseAgentRequest(const std::uint8_t* p, std::size_t nLen);

/// Reply to a search or status request: the name from offset 20, zero-terminated, at least
/// 24 bytes. The name is written as given; keeping it to 15 characters is the caller's job.
std::vector<std::uint8_t> BuildNameReply(std::uint32_t dwId, std::string_view name);
/// Reply to an operation request: exactly 24 bytes, the result code at offset 20.
std::vector<std::uint8_t> BuildOperateReply(std::uint32_t dwId, std::uint16_t wCommand, std::uint16_t wForce,
                                            std::uint32_t dwResult);

} // namespace vtdgram
