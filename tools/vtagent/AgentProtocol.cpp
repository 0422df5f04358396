#include "AgentProtocol.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vtagent {

std::uint32_t ReadLe32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

std::uint16_t ReadLe16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

void WriteLe32(std::uint8_t* p, std::uint32_t dwValue)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(dwValue >> (8 * i));
}

void WriteLe16(std::uint8_t* p, std::uint16_t wValue)
{
    p[0] = static_cast<std::uint8_t>(wValue);
    p[1] = static_cast<std::uint8_t>(wValue >> 8);
}

static std::uint32_t ReadBe32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
           std::uint32_t(p[3]);
}

static void WriteBe32(std::uint8_t* p, std::uint32_t dwValue)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(dwValue >> (24 - 8 * i));
}

std::uint32_t Checksum(const std::uint8_t* pData, std::size_t nLength)
{
    std::uint32_t dwSum = 0;
    for (std::size_t i = 0; i < nLength; ++i) {
        if (i < 16 || i > 19)
            dwSum += pData[i];
    }
    return dwSum;
}

void SetChecksum(std::uint8_t* pData, std::size_t nLength)
{
    if (nLength >= 20)
        WriteLe32(pData + 16, Checksum(pData, nLength));
}

bool VerifyChecksum(const std::uint8_t* pData, std::size_t nLength)
{
    return nLength >= 20 && ReadLe32(pData + 16) == Checksum(pData, nLength);
}

bool Request::Lists(std::uint32_t dwHost) const
{
    return std::find(addresses.begin(), addresses.end(), dwHost) != addresses.end();
}

Request ParseRequest(const std::uint8_t* pData, std::size_t nLength)
{
    Request req;
    req.nLength = nLength;
    if (nLength >= 8)
        req.cKind = static_cast<char>(pData[7]);
    if (nLength < kHeaderSize)
        return req;
    req.bHasHeader = true;
    req.dwId = ReadLe32(pData + 8);
    req.wCommand = ReadLe16(pData + 12);
    req.wForce = ReadLe16(pData + 14);
    req.dwParam = ReadLe32(pData + 20);

    // The list runs to its zero word or to the end of the datagram, whichever comes first.
    bool bTerminated = false;
    std::size_t nOffset = kHeaderSize;
    for (; nOffset + 4 <= nLength; nOffset += 4) {
        const std::uint32_t dwAddress = ReadBe32(pData + nOffset);
        if (dwAddress == 0) {
            bTerminated = true;
            break;
        }
        if (req.addresses.size() > kMaxSearchList)
            break;
        req.addresses.push_back(dwAddress);
    }

    if (std::memcmp(pData, kMagic, sizeof kMagic) != 0 || req.cKind != 'C' || !VerifyChecksum(pData, nLength))
        return req;
    // Nothing may follow the terminating zero word.
    if (!bTerminated || nOffset + 4 != nLength)
        return req;
    if (req.dwParam == 0) {
        if (req.wCommand != 0 || req.wForce != 0 || req.addresses.size() > kMaxSearchList)
            return req;
        req.type = RequestType::Search;
    } else if (req.dwParam == 1) {
        if (req.addresses.size() != 1)
            return req;
        req.type = req.wCommand == 0 ? RequestType::Status : RequestType::Operate;
        if (req.type == RequestType::Status && req.wForce != 0)
            return req;
    } else {
        return req;
    }
    req.bValid = true;
    return req;
}

std::vector<std::uint8_t> BuildRequest(std::uint32_t dwId, std::uint16_t wCommand, std::uint16_t wForce,
                                       std::uint32_t dwParam, const std::vector<std::uint32_t>& addresses)
{
    std::vector<std::uint8_t> bytes(kHeaderSize + 4 * addresses.size() + 4, 0);
    std::memcpy(bytes.data(), kMagic, sizeof kMagic);
    bytes[7] = 'C';
    WriteLe32(&bytes[8], dwId);
    WriteLe16(&bytes[12], wCommand);
    WriteLe16(&bytes[14], wForce);
    WriteLe32(&bytes[20], dwParam);
    for (std::size_t i = 0; i < addresses.size(); ++i)
        WriteBe32(&bytes[kHeaderSize + 4 * i], addresses[i]);
    SetChecksum(bytes.data(), bytes.size());
    return bytes;
}

static std::vector<std::uint8_t> ReplyHeader(std::size_t nLength, std::uint32_t dwId, std::uint16_t wCommand,
                                             std::uint16_t wForce)
{
    std::vector<std::uint8_t> bytes(nLength, 0);
    std::memcpy(bytes.data(), kMagic, sizeof kMagic);
    bytes[7] = 'R';
    WriteLe32(&bytes[8], dwId);
    WriteLe16(&bytes[12], wCommand);
    WriteLe16(&bytes[14], wForce);
    return bytes;
}

std::vector<std::uint8_t> BuildNameReply(std::uint32_t dwId, const std::string& strName)
{
    auto bytes = ReplyHeader(std::max(kHeaderSize, 20 + strName.size() + 1), dwId, 0, 0);
    std::memcpy(&bytes[20], strName.data(), strName.size());
    SetChecksum(bytes.data(), bytes.size());
    return bytes;
}

std::vector<std::uint8_t> BuildOperateReply(std::uint32_t dwId, std::uint16_t wCommand, std::uint16_t wForce,
                                            std::uint32_t dwResult)
{
    auto bytes = ReplyHeader(kHeaderSize, dwId, wCommand, wForce);
    WriteLe32(&bytes[20], dwResult);
    SetChecksum(bytes.data(), bytes.size());
    return bytes;
}

bool IsMagicPacket(const std::uint8_t* pData, std::size_t nLength)
{
    if (nLength != 102)
        return false;
    for (int i = 0; i < 6; ++i) {
        if (pData[i] != 0xFF)
            return false;
    }
    for (int nCopy = 1; nCopy < 16; ++nCopy) {
        if (std::memcmp(pData + 6, pData + 6 + 6 * nCopy, 6) != 0)
            return false;
    }
    return true;
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
