#pragma once

#include "net/AgentDatagram.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/// @brief The simulator's view of a server's request, for its JSON log, over the agent side
/// of the protocol in the core. Addresses are held in host byte order here.
namespace vtagent {

using vtdgram::BuildNameReply;
using vtdgram::BuildOperateReply;
using vtdgram::RequestType;
using vtdgram::SetChecksum;
using vtdgram::VerifyChecksum;

struct Request {
    std::size_t nLength = 0;
    char cKind = 0; ///< 0 when the datagram is too short to carry one
    std::uint32_t dwId = 0;
    std::uint16_t wCommand = 0;
    std::uint16_t wForce = 0;
    std::uint32_t dwParam = 0;
    bool bHasHeader = false;              ///< at least 24 bytes, so the fields above were read
    std::vector<std::uint32_t> addresses; ///< the listed addresses, host order
    RequestType type = RequestType::Invalid;
    bool bValid = false;

    bool Lists(std::uint32_t dwHost) const;
};

/// Never fails: what cannot be read stays at its default and the request is invalid.
Request ParseRequest(const std::uint8_t* pData, std::size_t nLength);

/// Request as the server builds it, with any list kind; used by tests that play the server.
std::vector<std::uint8_t> BuildRequest(std::uint32_t dwId, std::uint16_t wCommand, std::uint16_t wForce,
                                       std::uint32_t dwParam, const std::vector<std::uint32_t>& addresses);

/// Wake-on-LAN magic packet check; the MAC is taken from bytes 6 to 11 when present.
bool IsMagicPacket(const std::uint8_t* pData, std::size_t nLength);
std::string FormatMac(const std::uint8_t* pData, std::size_t nLength);

std::string FormatAddress(std::uint32_t dwHost);
bool ParseAddress(const std::string& strText, std::uint32_t& dwHost);
std::string JsonEscape(const std::string& strText);

} // namespace vtagent
