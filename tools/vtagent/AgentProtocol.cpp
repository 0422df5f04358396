#include "AgentProtocol.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vtagent {

bool Request::Lists(std::uint32_t dwHost) const
{
    return std::find(addresses.begin(), addresses.end(), dwHost) != addresses.end();
}

Request ParseRequest(const std::uint8_t* pData, std::size_t nLength)
{
    const vtdgram::AgentRequest parsed = vtdgram::ParseAgentRequest(pData, nLength);
    Request req;
    req.nLength = parsed.nLength;
    req.cKind = static_cast<char>(parsed.cKind);
    req.dwId = parsed.dwId;
    req.wCommand = parsed.wCommand;
    req.wForce = parsed.wForce;
    req.dwParam = parsed.dwParam;
    req.bHasHeader = parsed.bHasHeader;
    for (const std::uint32_t dwIp : parsed.addresses)
        req.addresses.push_back(ntohl(dwIp));
    req.type = parsed.type;
    req.bValid = parsed.IsValid();
    return req;
}

std::vector<std::uint8_t> BuildRequest(std::uint32_t dwId, std::uint16_t wCommand, std::uint16_t wForce,
                                       std::uint32_t dwParam, const std::vector<std::uint32_t>& addresses)
{
    // A search request already has the layout of any request with a list: fill in the rest.
    std::vector<std::uint32_t> listed;
    for (const std::uint32_t dwHost : addresses)
        listed.push_back(htonl(dwHost));
    auto bytes = vtdgram::BuildSearchRequest(listed);
    vtdgram::WriteU32(bytes.data(), bytes.size(), vtdgram::kOffId, dwId);
    vtdgram::WriteU16(bytes.data(), bytes.size(), vtdgram::kOffCommand, wCommand);
    vtdgram::WriteU16(bytes.data(), bytes.size(), vtdgram::kOffForce, wForce);
    vtdgram::WriteU32(bytes.data(), bytes.size(), vtdgram::kOffParam, dwParam);
    vtdgram::SetChecksum(bytes.data(), bytes.size());
    return bytes;
}

bool IsMagicPacket(const std::uint8_t* pData, std::size_t nLength)
{
    return nLength == vtdgram::kWakePacketSize &&
           std::memcmp(pData, vtdgram::BuildWakePacket(pData + 6).data(), nLength) == 0;
}

std::string FormatMac(const std::uint8_t* pData, std::size_t nLength)
{
    if (nLength < 12)
        return {};
    char szText[18];
    std::snprintf(szText, sizeof szText, "%02X-%02X-%02X-%02X-%02X-%02X", pData[6], pData[7], pData[8],
                  pData[9], pData[10], pData[11]);
    return szText;
}

std::string FormatAddress(std::uint32_t dwHost)
{
    char szText[16];
    std::snprintf(szText, sizeof szText, "%u.%u.%u.%u", dwHost >> 24, (dwHost >> 16) & 0xFF,
                  (dwHost >> 8) & 0xFF, dwHost & 0xFF);
    return szText;
}

bool ParseAddress(const std::string& strText, std::uint32_t& dwHost)
{
    std::uint32_t dwValue = 0;
    std::size_t nPos = 0;
    for (int nPart = 0; nPart < 4; ++nPart) {
        if (nPart > 0) {
            if (nPos >= strText.size() || strText[nPos] != '.')
                return false;
            ++nPos;
        }
        std::size_t nDigits = 0;
        unsigned nOctet = 0;
        while (nPos < strText.size() && strText[nPos] >= '0' && strText[nPos] <= '9' && nDigits < 3) {
            nOctet = nOctet * 10 + unsigned(strText[nPos] - '0');
            ++nPos;
            ++nDigits;
        }
        if (nDigits == 0 || nOctet > 255)
            return false;
        dwValue = dwValue << 8 | nOctet;
    }
    if (nPos != strText.size())
        return false;
    dwHost = dwValue;
    return true;
}

std::string JsonEscape(const std::string& strText)
{
    std::string strOut;
    strOut.reserve(strText.size() + 2);
    for (const char ch : strText) {
        const auto uch = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            strOut += '\\';
            strOut += ch;
        } else if (uch < 0x20) {
            char szEscape[8];
            std::snprintf(szEscape, sizeof szEscape, "\\u%04x", uch);
            strOut += szEscape;
        } else {
            strOut += ch;
        }
    }
    return strOut;
}

} // namespace vtagent
