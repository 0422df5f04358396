#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/// @brief The agent's side of the datagram protocol: checksums, parsing a server's request
/// and building the two kinds of reply. Addresses are held in host byte order and written
/// to the wire in network byte order.
namespace vtagent {

inline constexpr std::size_t kHeaderSize = 24;
inline constexpr std::size_t kMaxSearchList = 253;
inline constexpr char kMagic[7] = {'K', 'W', 'V', 'T', 'V', '1', '0'};

/// Byte sum of the datagram without offsets 16 to 19, wrapping at 32 bits.
std::uint32_t Checksum(const std::uint8_t* pData, std::size_t nLength);
void SetChecksum(std::uint8_t* pData, std::size_t nLength);
bool VerifyChecksum(const std::uint8_t* pData, std::size_t nLength);

enum class RequestType { Invalid, Search, Status, Operate };

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

/// Request as the server builds it; used by tests and tools that play the server.
std::vector<std::uint8_t> BuildRequest(std::uint32_t dwId, std::uint16_t wCommand, std::uint16_t wForce,
                                       std::uint32_t dwParam, const std::vector<std::uint32_t>& addresses);
/// Reply to a search or status request: the name from offset 20, NUL-terminated, at least 24 bytes.
std::vector<std::uint8_t> BuildNameReply(std::uint32_t dwId, const std::string& strName);
/// Reply to an operation request: exactly 24 bytes carrying the result code.
std::vector<std::uint8_t> BuildOperateReply(std::uint32_t dwId, std::uint16_t wCommand, std::uint16_t wForce,
                                            std::uint32_t dwResult);

/// Wake-on-LAN magic packet check; the MAC is taken from bytes 6 to 11 when present.
bool IsMagicPacket(const std::uint8_t* pData, std::size_t nLength);
std::string FormatMac(const std::uint8_t* pData, std::size_t nLength);

std::string FormatAddress(std::uint32_t dwHost);
bool ParseAddress(const std::string& strText, std::uint32_t& dwHost);
std::string JsonEscape(const std::string& strText);

std::uint32_t ReadLe32(const std::uint8_t* p);
std::uint16_t ReadLe16(const std::uint8_t* p);
void WriteLe32(std::uint8_t* p, std::uint32_t dwValue);
void WriteLe16(std::uint8_t* p, std::uint16_t wValue);

} // namespace vtagent
