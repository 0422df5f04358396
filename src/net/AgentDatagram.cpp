#include "net/AgentDatagram.h"

#include <algorithm>
#include <cstring>

namespace vtdgram {

bool AgentRequest::Lists(std::uint32_t dwIp) const
{
    return std::find(addresses.begin(), addresses.end(), dwIp) != addresses.end();
}

AgentRequest ParseAgentRequest(const std::uint8_t* p, std::size_t nLen)
{
    AgentRequest req;
    if (!p)
        return req;
    req.nLength = nLen;
    if (nLen > kOffKind)
        req.cKind = p[kOffKind];
    if (nLen < kHeaderSize)
        return req;
    req.bHasHeader = true;
    req.dwId = ReadU32(p, nLen, kOffId);
    req.wCommand = ReadU16(p, nLen, kOffCommand);
    req.wForce = ReadU16(p, nLen, kOffForce);
    req.dwParam = ReadU32(p, nLen, kOffParam);

    // The list runs to its zero word or to the end of the datagram, whichever comes first;
    // reading stops one past the longest list a search may carry.
    bool bTerminated = false;
    std::size_t nOff = kHeaderSize;
    for (; nLen - nOff >= 4; nOff += 4) {
        std::uint32_t dwIp = 0;
        std::memcpy(&dwIp, p + nOff, 4);
        if (dwIp == 0) {
            bTerminated = true;
            break;
        }
        if (req.addresses.size() > kMaxSearchList)
            break;
        req.addresses.push_back(dwIp);
    }

    if (std::memcmp(p, kMagic, sizeof(kMagic)) != 0 || req.cKind != kKindRequest || !VerifyChecksum(p, nLen))
        return req;
    if (!bTerminated || nOff + 4 != nLen)
        return req;
    if (req.dwParam == 0) {
        if (req.wCommand != 0 || req.wForce != 0 || req.addresses.size() > kMaxSearchList)
            return req;
        req.type = RequestType::Search;
    } else if (req.dwParam == 1 && req.addresses.size() == 1) {
        if (req.wCommand == 0 && req.wForce != 0)
            return req;
        req.type = req.wCommand == 0 ? RequestType::Status : RequestType::Operate;
    }
    return req;
}

std::vector<std::uint8_t> BuildNameReply(std::uint32_t dwId, std::string_view name)
{
    auto buf = BuildHeader(std::max(kHeaderSize, kOffParam + name.size() + 1), kKindReply, dwId, 0, 0);
    std::copy(name.begin(), name.end(), buf.begin() + kOffParam);
    SetChecksum(buf.data(), buf.size());
    return buf;
}

std::vector<std::uint8_t> BuildOperateReply(std::uint32_t dwId, std::uint16_t wCommand, std::uint16_t wForce,
                                            std::uint32_t dwResult)
{
    auto buf = BuildHeader(kHeaderSize, kKindReply, dwId, wCommand, wForce);
    WriteU32(buf.data(), buf.size(), kOffParam, dwResult);
    SetChecksum(buf.data(), buf.size());
    return buf;
}

} // namespace vtdgram
