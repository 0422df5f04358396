#include "net/Datagram.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vtdgram {

namespace {

bool IsUtf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t nMore = 0;
        if (c < 0x80)
            nMore = 0;
        else if (c >= 0xC2 && c <= 0xDF)
            nMore = 1;
        else if (c >= 0xE0 && c <= 0xEF)
            nMore = 2;
        else if (c >= 0xF0 && c <= 0xF4)
            nMore = 3;
        else
            return false;
        if (nMore > 0 && i + nMore >= s.size())
            return false;
        for (std::size_t k = 1; k <= nMore; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += nMore + 1;
    }
    return true;
}

std::string Latin1ToUtf8(std::string_view s)
{
    std::string out;
    out.reserve(s.size() * 2);
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out.push_back(ch);
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::vector<std::uint8_t> RequestHeader(std::size_t nLen, std::uint32_t dwId, std::uint16_t wCommand,
                                        std::uint16_t wForce, std::uint32_t dwParam)
{
    auto buf = BuildHeader(nLen, kKindRequest, dwId, wCommand, wForce);
    WriteU32(buf.data(), nLen, kOffParam, dwParam);
    return buf;
}

std::vector<std::uint8_t> SingleTargetRequest(std::uint32_t dwId, std::uint16_t wCommand,
                                              std::uint16_t wForce, std::uint32_t dwIp)
{
    auto buf = RequestHeader(kRequestSize, dwId, wCommand, wForce, 1);
    std::memcpy(buf.data() + kHeaderSize, &dwIp, 4);
    SetChecksum(buf.data(), buf.size());
    return buf;
}

} // namespace

std::uint16_t ReadU16(const std::uint8_t* p, std::size_t nLen, std::size_t nOff)
{
    if (!p || nOff > nLen || nLen - nOff < 2)
        return 0;
    return static_cast<std::uint16_t>(p[nOff] | (p[nOff + 1] << 8));
}

std::uint32_t ReadU32(const std::uint8_t* p, std::size_t nLen, std::size_t nOff)
{
    if (!p || nOff > nLen || nLen - nOff < 4)
        return 0;
    return static_cast<std::uint32_t>(p[nOff]) | (static_cast<std::uint32_t>(p[nOff + 1]) << 8) |
           (static_cast<std::uint32_t>(p[nOff + 2]) << 16) | (static_cast<std::uint32_t>(p[nOff + 3]) << 24);
}

void WriteU16(std::uint8_t* p, std::size_t nLen, std::size_t nOff, std::uint16_t v)
{
    if (!p || nOff > nLen || nLen - nOff < 2)
        return;
    p[nOff] = static_cast<std::uint8_t>(v & 0xFF);
    p[nOff + 1] = static_cast<std::uint8_t>(v >> 8);
}

void WriteU32(std::uint8_t* p, std::size_t nLen, std::size_t nOff, std::uint32_t v)
{
    if (!p || nOff > nLen || nLen - nOff < 4)
        return;
    for (int i = 0; i < 4; ++i)
        p[nOff + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
}

std::uint32_t ComputeChecksum(const std::uint8_t* p, std::size_t nLen)
{
    std::uint32_t sum = 0;
    if (!p)
        return sum;
    for (std::size_t i = 0; i < nLen; ++i) {
        if (i >= kOffChecksum && i < kOffChecksum + 4)
            continue;
        sum += p[i];
    }
    return sum;
}

void SetChecksum(std::uint8_t* p, std::size_t nLen)
{
    if (nLen < kOffChecksum + 4)
        return;
    WriteU32(p, nLen, kOffChecksum, ComputeChecksum(p, nLen));
}

bool VerifyChecksum(const std::uint8_t* p, std::size_t nLen)
{
    if (!p || nLen < kOffChecksum + 4)
        return false;
    return ReadU32(p, nLen, kOffChecksum) == ComputeChecksum(p, nLen);
}

bool IsValidReply(const std::uint8_t* p, std::size_t nLen)
{
    if (!p || nLen < kHeaderSize)
        return false;
    if (std::memcmp(p, kMagic, sizeof(kMagic)) != 0)
        return false;
    if (p[kOffKind] != kKindReply)
        return false;
    if (!VerifyChecksum(p, nLen))
        return false;
    if (ReadU16(p, nLen, kOffCommand) != 0)
        return nLen == kHeaderSize;
    return p[nLen - 1] == 0;
}

std::vector<std::uint8_t> BuildHeader(std::size_t nLen, std::uint8_t cKind, std::uint32_t dwId,
                                      std::uint16_t wCommand, std::uint16_t wForce)
{
    std::vector<std::uint8_t> buf(nLen, 0);
    std::memcpy(buf.data(), kMagic, sizeof(kMagic));
    buf[kOffKind] = cKind;
    WriteU32(buf.data(), nLen, kOffId, dwId);
    WriteU16(buf.data(), nLen, kOffCommand, wCommand);
    WriteU16(buf.data(), nLen, kOffForce, wForce);
    return buf;
}

std::vector<std::uint8_t> BuildSearchRequest(const std::vector<std::uint32_t>& found)
{
    const std::size_t nLen = kHeaderSize + 4 * found.size() + 4;
    auto buf = RequestHeader(nLen, 0, 0, 0, 0);
    if (!found.empty())
        std::memcpy(buf.data() + kHeaderSize, found.data(), 4 * found.size());
    SetChecksum(buf.data(), buf.size());
    return buf;
}

std::vector<std::uint8_t> BuildStatusRequest(std::uint32_t dwId, std::uint32_t dwIp)
{
    return SingleTargetRequest(dwId, 0, 0, dwIp);
}

std::vector<std::uint8_t> BuildOperateRequest(std::uint32_t dwId, std::uint32_t dwOperation,
                                              std::uint32_t dwIp)
{
    return SingleTargetRequest(dwId, static_cast<std::uint16_t>(dwOperation & 0xFFFF),
                               static_cast<std::uint16_t>(dwOperation >> 16), dwIp);
}

std::optional<std::string> ReplyName(const std::uint8_t* p, std::size_t nLen)
{
    if (!p || nLen < kOffParam)
        return std::nullopt;
    std::size_t nEnd = kOffParam;
    while (nEnd < nLen && p[nEnd] != 0)
        ++nEnd;
    if (nEnd - kOffParam > kMaxNameLength)
        return std::nullopt;
    std::string_view raw(reinterpret_cast<const char*>(p + kOffParam), nEnd - kOffParam);
    if (IsUtf8(raw))
        return std::string(raw);
    return Latin1ToUtf8(raw);
}

bool IsExcludedSender(std::uint32_t dwIp)
{
    std::uint8_t b[4];
    std::memcpy(b, &dwIp, 4);
    const bool bZero = b[0] == 0 && b[1] == 0 && b[2] == 0 && b[3] == 0;
    const bool bAll = b[0] == 255 && b[1] == 255 && b[2] == 255 && b[3] == 255;
    const bool bLoop = b[0] == 127 && b[1] == 0 && b[2] == 0 && b[3] == 1;
    return bZero || bAll || bLoop;
}

bool MatchesRequest(const std::uint8_t* pReply, std::size_t nLen, const std::uint8_t* pRequest,
                    std::size_t nRequestLen, std::uint32_t dwSender)
{
    if (!pRequest || nRequestLen < kHeaderSize || !IsValidReply(pReply, nLen))
        return false;
    if (ReadU32(pReply, nLen, kOffId) != ReadU32(pRequest, nRequestLen, kOffId) ||
        ReadU16(pReply, nLen, kOffCommand) != ReadU16(pRequest, nRequestLen, kOffCommand) ||
        ReadU16(pReply, nLen, kOffForce) != ReadU16(pRequest, nRequestLen, kOffForce))
        return false;
    return !IsExcludedSender(dwSender);
}

std::string IpText(std::uint32_t dwIp)
{
    std::uint8_t b[4];
    std::memcpy(b, &dwIp, 4);
    char text[16];
    std::snprintf(text, sizeof(text), "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    return text;
}

std::string MakeRecord(std::uint32_t dwIp, std::string_view text)
{
    std::string strRecord = IpText(dwIp);
    strRecord.resize(kRecordField, ' ');
    strRecord.append(text);
    return strRecord;
}

std::string AnsweredRecord(std::uint32_t dwIp, const std::string& strName)
{
    return MakeRecord(dwIp, strName.empty() ? IpText(dwIp) : strName);
}

std::string SilentRecord(std::uint32_t dwIp)
{
    return MakeRecord(dwIp, {});
}

std::string OperatedRecord(std::uint32_t dwIp, std::uint32_t dwCode)
{
    return MakeRecord(dwIp, std::to_string(dwCode));
}

std::optional<std::string> AcceptSearchReply(const std::uint8_t* pReply, std::size_t nLen,
                                             const std::uint8_t* pRequest, std::size_t nRequestLen,
                                             std::uint32_t dwSender, const std::vector<std::uint32_t>& found)
{
    if (!MatchesRequest(pReply, nLen, pRequest, nRequestLen, dwSender))
        return std::nullopt;
    auto name = ReplyName(pReply, nLen);
    if (!name)
        return std::nullopt;
    if (std::find(found.begin(), found.end(), dwSender) != found.end())
        return std::nullopt;
    return AnsweredRecord(dwSender, *name);
}

std::optional<StatusMatch> AcceptStatusReply(const std::uint8_t* pReply, std::size_t nLen,
                                             const std::uint8_t* pRequest, std::size_t nRequestLen,
                                             std::uint32_t dwSender,
                                             const std::vector<std::uint32_t>& targets)
{
    if (!MatchesRequest(pReply, nLen, pRequest, nRequestLen, dwSender))
        return std::nullopt;
    auto name = ReplyName(pReply, nLen);
    if (!name)
        return std::nullopt;
    const auto it = std::find(targets.begin(), targets.end(), dwSender);
    if (it == targets.end())
        return std::nullopt;
    return StatusMatch{static_cast<std::size_t>(it - targets.begin()), AnsweredRecord(dwSender, *name)};
}

std::optional<std::string> AcceptOperateReply(const std::uint8_t* pReply, std::size_t nLen,
                                              const std::uint8_t* pRequest, std::size_t nRequestLen,
                                              std::uint32_t dwSender,
                                              const std::vector<std::uint32_t>& targets)
{
    if (!MatchesRequest(pReply, nLen, pRequest, nRequestLen, dwSender))
        return std::nullopt;
    const std::uint32_t dwCode = ReadU32(pReply, nLen, kOffParam);
    if (dwCode == 0)
        return std::nullopt;
    if (std::find(targets.begin(), targets.end(), dwSender) == targets.end())
        return std::nullopt;
    return OperatedRecord(dwSender, dwCode);
}

void MoveOwnAddressesLast(std::vector<std::uint32_t>& addresses, std::vector<std::uint32_t>& codes,
                          const std::vector<std::uint32_t>& own)
{
    const std::size_t n = addresses.size();
    std::vector<std::uint32_t> newAddresses(n);
    std::vector<std::uint32_t> newCodes(n);
    std::size_t nFront = 0;
    std::size_t nBack = n;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t dwCode = i < codes.size() ? codes[i] : 0;
        const bool bOwn = std::find(own.begin(), own.end(), addresses[i]) != own.end();
        const std::size_t nAt = bOwn ? --nBack : nFront++;
        newAddresses[nAt] = addresses[i];
        newCodes[nAt] = dwCode;
    }
    addresses = std::move(newAddresses);
    codes = std::move(newCodes);
}

std::array<std::uint8_t, kWakePacketSize> BuildWakePacket(const std::uint8_t* pMac)
{
    std::array<std::uint8_t, kWakePacketSize> packet{};
    std::fill_n(packet.begin(), 6, 0xFF);
    for (std::size_t i = 0; i < 16; ++i)
        std::memcpy(packet.data() + 6 + 6 * i, pMac, 6);
    return packet;
}

} // namespace vtdgram
