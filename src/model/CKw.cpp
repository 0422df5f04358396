#include "model/CKw.h"

#include "app/StringTable.h"
#include "model/CDoc.h"
#include "model/CGroup.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {
constexpr std::uint32_t kStrUnknown = 2054;
constexpr std::uint32_t kStrOperating = 2055;
constexpr std::int32_t kStatusUnknown = 1;
constexpr std::int32_t kLastOldFileId = 255;
} // namespace

std::string IpToText(std::uint32_t dwHostOrder)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", (dwHostOrder >> 24) & 0xFFu, (dwHostOrder >> 16) & 0xFFu,
                  (dwHostOrder >> 8) & 0xFFu, dwHostOrder & 0xFFu);
    return buf;
}

bool IsUsableMac(const std::uint8_t* pMac)
{
    return std::any_of(pMac, pMac + 6, [](std::uint8_t b) { return b != 0; });
}

std::string MacToText(const std::uint8_t* pMac)
{
    char buf[18];
    std::snprintf(buf, sizeof buf, "%02X-%02X-%02X-%02X-%02X-%02X", pMac[0], pMac[1], pMac[2], pMac[3],
                  pMac[4], pMac[5]);
    return buf;
}

std::string CKw::GetIpText() const
{
    if (m_dwIp == 0xFFFFFFFFu || m_dwIp == 0)
        return vtstr::LoadString(kStrUnknown);
    return IpToText(m_dwIp);
}

std::string CKw::GetStatusText() const
{
    return vtstr::LoadString(m_nStatus == kStatusUnknown ? kStrUnknown : kStrOperating);
}

std::string CKw::GetMacText() const
{
    if (!IsUsableMac(m_mac.data()))
        return vtstr::LoadString(kStrUnknown);
    return MacToText(m_mac.data());
}

std::string CKw::GetBroadcastText() const
{
    return IpToText(m_dwBroadcast);
}

std::array<std::string, kListColumns> CKw::GetListTexts(const CGroup* pGroup) const
{
    const CReserve& off = pGroup ? pGroup->m_reserveOff : m_reserveOff;
    const CReserve& on = pGroup ? pGroup->m_reserveOn : m_reserveOn;
    return {m_strName,          GetIpText(),      GetStatusText(), GetMacText(),
            GetBroadcastText(), off.FormatNext(), on.FormatNext()};
}

int CKw::GetImageIndex() const
{
    int n = m_nStatus == kStatusUnknown ? 1 : 0;
    if (m_reserveOff.m_timeNext != kNoTime || m_reserveOn.m_timeNext != kNoTime)
        n += 2;
    return n;
}

void CKw::GetMac(std::uint8_t* pMac) const
{
    std::memcpy(pMac, m_mac.data(), m_mac.size());
}

void CKw::SetMac(const std::uint8_t* pMac)
{
    std::memcpy(m_mac.data(), pMac, m_mac.size());
}

void CKw::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        ar.WriteI32(m_nId);
        ar.WriteString(m_strName);
        ar.WriteU32(m_dwIp);
        ar.WriteI32(m_nStatus);
        for (std::uint8_t b : m_mac)
            ar.WriteU8(b);
        ar.WriteU32(m_dwBroadcast);
        m_reserveOff.Serialize(ar);
        m_reserveOn.Serialize(ar);
        return;
    }

    if (ar.GetFileVersion() != 0) {
        m_nId = ar.ReadI32();
        m_strName = ar.ReadString();
        m_dwIp = ar.ReadU32();
        m_nStatus = ar.ReadI32();
        for (std::uint8_t& b : m_mac)
            b = ar.ReadU8();
        m_dwBroadcast = ar.ReadU32();
        m_reserveOff.Serialize(ar);
        m_reserveOn.Serialize(ar);
        return;
    }

    // The earlier layout has no id: take the smallest one the document has not handed
    // out yet (records read before this one count).
    std::int32_t nId = 0;
    if (const CDoc* pDoc = ar.GetDocument()) {
        while (nId < kLastOldFileId && pDoc->FindPcById(nId))
            ++nId;
    }
    m_nId = nId;
    m_strName = ar.ReadString();
    m_dwIp = ar.ReadU32();
    m_nStatus = ar.ReadI32();
    m_reserveOff.Serialize(ar);
}
