#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// @brief The bytes of the agent protocol: building requests, the checksum, the
/// acceptance test for replies and the result record texts.
///
/// Pure functions over byte buffers; every read is checked against the length given.
/// Multi-byte integers are little-endian on the wire; IPv4 addresses are passed around
/// as 32-bit words in network byte order (their bytes in memory are the address bytes).
namespace vtdgram {

inline constexpr char kMagic[7] = {'K', 'W', 'V', 'T', 'V', '1', '0'};
inline constexpr std::uint8_t kKindRequest = 'C';
inline constexpr std::uint8_t kKindReply = 'R';

inline constexpr std::size_t kOffKind = 7;
inline constexpr std::size_t kOffId = 8;
inline constexpr std::size_t kOffCommand = 12;
inline constexpr std::size_t kOffForce = 14;
inline constexpr std::size_t kOffChecksum = 16;
inline constexpr std::size_t kOffParam = 20;
inline constexpr std::size_t kHeaderSize = 24;
inline constexpr std::size_t kRequestSize = 32; ///< status and operation requests
inline constexpr std::size_t kReceiveBuffer = 2048;
inline constexpr std::size_t kMaxNameLength = 15;
inline constexpr std::size_t kRecordField = 15;
inline constexpr std::size_t kWakePacketSize = 102;

inline constexpr std::uint16_t OP_REBOOT = 2;
inline constexpr std::uint16_t OP_SHUTDOWN = 4;

/// The operation word an operation request carries: (force << 16) | command.
constexpr std::uint32_t OperationWord(std::uint16_t wCommand, std::uint16_t wForce)
{
    return (std::uint32_t{wForce} << 16) | wCommand;
}

std::uint16_t ReadU16(const std::uint8_t* p, std::size_t nLen, std::size_t nOff);
std::uint32_t ReadU32(const std::uint8_t* p, std::size_t nLen, std::size_t nOff);
void WriteU16(std::uint8_t* p, std::size_t nLen, std::size_t nOff, std::uint16_t v);
void WriteU32(std::uint8_t* p, std::size_t nLen, std::size_t nOff, std::uint32_t v);

/// Byte sum over everything but offsets 16..19, 32-bit wrap-around.
std::uint32_t ComputeChecksum(const std::uint8_t* p, std::size_t nLen);
/// Stores the checksum at offset 16; does nothing to a buffer shorter than 20 bytes.
void SetChecksum(std::uint8_t* p, std::size_t nLen);
bool VerifyChecksum(const std::uint8_t* p, std::size_t nLen);
/// Length, magic, 'R', checksum, and the length rule of the reply's kind.
bool IsValidReply(const std::uint8_t* p, std::size_t nLen);

/// A datagram of nLen zero bytes (at least the header's 24) with the magic, the kind ('C'
/// or 'R'), the id, the command and the force flag written; the rest and the checksum are
/// the caller's.
std::vector<std::uint8_t> BuildHeader(std::size_t nLen, std::uint8_t cKind, std::uint32_t dwId,
                                      std::uint16_t wCommand, std::uint16_t wForce);

/// Search request listing the PCs found so far (network order), ended by four zero bytes.
std::vector<std::uint8_t> BuildSearchRequest(const std::vector<std::uint32_t>& found);
/// 32-byte status request for one PC.
std::vector<std::uint8_t> BuildStatusRequest(std::uint32_t dwId, std::uint32_t dwIp);
/// 32-byte operation request; dwOperation is (force << 16) | command.
std::vector<std::uint8_t> BuildOperateRequest(std::uint32_t dwId, std::uint32_t dwOperation,
                                              std::uint32_t dwIp);

/// Name carried by a search or status reply; nullopt when longer than 15 characters.
/// Bytes that are not UTF-8 are taken as Latin-1.
std::optional<std::string> ReplyName(const std::uint8_t* p, std::size_t nLen);

/// A sender that may never answer: 0.0.0.0, 127.0.0.1, 255.255.255.255.
bool IsExcludedSender(std::uint32_t dwIp);
/// Valid reply whose id, command and force equal the request header's, from a usable sender.
bool MatchesRequest(const std::uint8_t* pReply, std::size_t nLen, const std::uint8_t* pRequest,
                    std::size_t nRequestLen, std::uint32_t dwSender);

std::string IpText(std::uint32_t dwIp);
/// The address padded with blanks to 15 characters, then the text.
std::string MakeRecord(std::uint32_t dwIp, std::string_view text);
/// Record of a PC that answered a search or status poll: its name, or its address again.
std::string AnsweredRecord(std::uint32_t dwIp, const std::string& strName);
std::string SilentRecord(std::uint32_t dwIp);
std::string OperatedRecord(std::uint32_t dwIp, std::uint32_t dwCode);

/// Search: a record when the reply answers the request and its sender is not listed yet.
std::optional<std::string> AcceptSearchReply(const std::uint8_t* pReply, std::size_t nLen,
                                             const std::uint8_t* pRequest, std::size_t nRequestLen,
                                             std::uint32_t dwSender, const std::vector<std::uint32_t>& found);

struct StatusMatch {
    std::size_t nIndex; ///< first entry equal to the sender
    std::string strRecord;
};
/// Status poll: the target answered (entries already answered are 0 and never match).
std::optional<StatusMatch> AcceptStatusReply(const std::uint8_t* pReply, std::size_t nLen,
                                             const std::uint8_t* pRequest, std::size_t nRequestLen,
                                             std::uint32_t dwSender,
                                             const std::vector<std::uint32_t>& targets);

/// Operation: a record for a nonzero result code from one of the targets.
std::optional<std::string> AcceptOperateReply(const std::uint8_t* pReply, std::size_t nLen,
                                              const std::uint8_t* pRequest, std::size_t nRequestLen,
                                              std::uint32_t dwSender,
                                              const std::vector<std::uint32_t>& targets);

/// Targets whose address is one of the local host's move to the back, the first of them
/// last; every operation word moves with its address.
void MoveOwnAddressesLast(std::vector<std::uint32_t>& addresses, std::vector<std::uint32_t>& codes,
                          const std::vector<std::uint32_t>& own);

/// Wake-on-LAN magic packet: six 0xFF, then the MAC sixteen times.
std::array<std::uint8_t, kWakePacketSize> BuildWakePacket(const std::uint8_t* pMac);

} // namespace vtdgram
