#include "model/CGroup.h"

#include "model/CDoc.h"

#include <algorithm>
#include <new>

bool CGroup::AddMember(std::int32_t nId)
{
    if (m_members.size() >= kMaxMembers || IsMember(nId))
        return false;
    try {
        m_members.push_back(nId);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void CGroup::RemoveMember(std::int32_t nId)
{
    const auto it = std::find(m_members.begin(), m_members.end(), nId);
    if (it != m_members.end())
        m_members.erase(it);
}

bool CGroup::IsMember(std::int32_t nId) const
{
    return std::find(m_members.begin(), m_members.end(), nId) != m_members.end();
}

void CGroup::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        ar.WriteString(m_strName);
        ar.WriteI32(static_cast<std::int32_t>(m_members.size()));
        for (std::int32_t nId : m_members)
            ar.WriteI32(nId);
        m_reserveOff.Serialize(ar);
        m_reserveOn.Serialize(ar);
        return;
    }

    m_strName = ar.ReadString();
    const std::int32_t nCount = ar.ReadI32();
    const std::size_t n = nCount > 0 ? static_cast<std::size_t>(nCount) : 0;
    if (n > ar.Remaining() / 4)
        throw CArchiveException("member count exceeds the archive");
    m_members.clear();

    if (ar.GetFileVersion() != 0) {
        m_members.reserve(n);
        for (std::size_t i = 0; i < n; ++i)
            m_members.push_back(ar.ReadI32());
        m_reserveOff.Serialize(ar);
        m_reserveOn.Serialize(ar);
        return;
    }

    // The earlier layout names members by address; the PCs are all read by now.
    const CDoc* pDoc = ar.GetDocument();
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t dwIp = ar.ReadU32();
        if (const CKw* pPc = pDoc ? pDoc->FindPcByIp(dwIp) : nullptr)
            m_members.push_back(pPc->m_nId);
    }
    m_reserveOff.Serialize(ar);
}
