#include "model/CDoc.h"

#include "app/StringTable.h"
#include "model/CArchive.h"
#include "model/DataFile.h"
#include "net/CKwvtClient.h"
#include "net/Datagram.h"

#include <QtCore/QtEndian>

#include <algorithm>
#include <new>
#include <unordered_set>

namespace {
constexpr std::int32_t kVersionMarker = -1;
constexpr std::int32_t kCurrentVersion = 1;
constexpr std::int32_t kLastId = 254;

// Smallest encoded size of one record (tag + body), by file version: a count that
// promises more records than the bytes left can hold is refused before anything is
// built for it.
constexpr std::size_t kMinPcBytes[2] = {2 + 1 + 4 + 4 + 20, 2 + 4 + 1 + 4 + 4 + 6 + 4 + 24 + 24};
constexpr std::size_t kMinGroupBytes[2] = {2 + 1 + 4 + 20, 2 + 1 + 4 + 24 + 24};

constexpr std::uint32_t kStrSearching = 2057;
constexpr std::uint32_t kStrPolling = 2058;
constexpr std::uint32_t kStrOperating = 2059;

bool IsUsableIp(std::uint32_t dwIp)
{
    return dwIp != 0 && dwIp != 0xFFFFFFFFu && dwIp != 0x7F000001u;
}

std::uint32_t ShutdownCode(const CReserve& r)
{
    return vtdgram::OperationWord(r.m_wType, r.m_wForce);
}

std::size_t CheckedCount(const CArchive& ar, std::int32_t nCount, std::size_t nMinBytes)
{
    if (nCount <= 0)
        return 0;
    const auto n = static_cast<std::size_t>(nCount);
    if (n > ar.Remaining() / nMinBytes)
        throw CArchiveException("record count exceeds the archive");
    return n;
}
} // namespace

CDoc::CDoc() = default;

CDoc::~CDoc()
{
    StopClient();
}

CKw* CDoc::AddPc(const std::string& strName, std::uint32_t dwIp, const std::uint8_t* pMac,
                 std::uint32_t dwBroadcast)
{
    if (m_pcs.size() >= kMaxPcs)
        return nullptr;
    std::int32_t nId = 0;
    while (FindPcById(nId)) {
        if (++nId > kLastId)
            return nullptr;
    }
    try {
        auto pPc = std::make_unique<CKw>();
        pPc->m_nId = nId;
        pPc->m_strName = strName;
        pPc->m_dwIp = dwIp;
        pPc->m_nStatus = 1;
        if (pMac)
            pPc->SetMac(pMac);
        pPc->m_dwBroadcast = dwBroadcast;
        CKw* p = pPc.get();
        m_pcs.push_back(std::move(pPc));
        SetModifiedFlag();
        return p;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void CDoc::DeletePc(CKw* pPc)
{
    const auto it = std::find_if(m_pcs.begin(), m_pcs.end(), [pPc](const auto& p) { return p.get() == pPc; });
    if (it == m_pcs.end())
        return;
    for (const auto& pGroup : m_groups)
        pGroup->RemoveMember(pPc->m_nId);
    m_pcs.erase(it);
    SetModifiedFlag();
}

CKw* CDoc::FindPcById(std::int32_t nId) const
{
    for (const auto& p : m_pcs)
        if (p->m_nId == nId)
            return p.get();
    return nullptr;
}

CKw* CDoc::FindPcByIp(std::uint32_t dwIp) const
{
    for (const auto& p : m_pcs)
        if (p->m_dwIp == dwIp)
            return p.get();
    return nullptr;
}

CKw* CDoc::FindPcByMac(const std::uint8_t* pMac) const
{
    for (const auto& p : m_pcs)
        if (std::equal(p->m_mac.begin(), p->m_mac.end(), pMac))
            return p.get();
    return nullptr;
}

std::string CDoc::GetPcName(const CKw* pPc) const
{
    return pPc->m_strName;
}

void CDoc::RenamePc(CKw* pPc, const std::string& strName)
{
    if (pPc->m_strName == strName)
        return;
    pPc->m_strName = strName;
    SetModifiedFlag();
}

void CDoc::SetPcStatus(CKw* pPc, std::int32_t nStatus)
{
    if (pPc->m_nStatus == nStatus)
        return;
    pPc->m_nStatus = nStatus;
    SetModifiedFlag();
}

void CDoc::SetPcMac(CKw* pPc, const std::uint8_t* pMac)
{
    // Every status reply hands the MAC back: only a new one is worth rewriting the file.
    if (std::equal(pPc->m_mac.begin(), pPc->m_mac.end(), pMac))
        return;
    pPc->SetMac(pMac);
    SetModifiedFlag();
}

void CDoc::SetPcReserves(CKw* pPc, const CReserve& off, const CReserve& on)
{
    pPc->m_reserveOff.Assign(off);
    pPc->m_reserveOn.Assign(on);
    SetModifiedFlag();
}

bool CDoc::IsInAnyGroup(const CKw* pPc) const
{
    return std::any_of(m_groups.begin(), m_groups.end(),
                       [pPc](const auto& g) { return g->IsMember(pPc->m_nId); });
}

CGroup* CDoc::AddGroup(const std::string& strName)
{
    if (m_groups.size() >= kMaxGroups)
        return nullptr;
    try {
        auto pGroup = std::make_unique<CGroup>();
        pGroup->m_strName = strName;
        CGroup* p = pGroup.get();
        m_groups.push_back(std::move(pGroup));
        SetModifiedFlag();
        return p;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void CDoc::DeleteGroup(CGroup* pGroup)
{
    const auto it =
        std::find_if(m_groups.begin(), m_groups.end(), [pGroup](const auto& g) { return g.get() == pGroup; });
    if (it == m_groups.end())
        return;
    // The views would otherwise keep showing a group that no longer exists.
    if (m_pCurrent == pGroup)
        SetCurrent(nullptr, nullptr);
    m_groups.erase(it);
    SetModifiedFlag();
}

bool CDoc::AddToGroup(CGroup* pGroup, std::int32_t nId)
{
    if (!pGroup->AddMember(nId))
        return false;
    SetModifiedFlag();
    return true;
}

void CDoc::RemoveFromGroup(CGroup* pGroup, std::int32_t nId)
{
    pGroup->RemoveMember(nId);
    SetModifiedFlag();
}

void CDoc::SetGroupReserves(CGroup* pGroup, const CReserve& off, const CReserve& on)
{
    pGroup->m_reserveOff.Assign(off);
    pGroup->m_reserveOn.Assign(on);
    SetModifiedFlag();
}

void CDoc::SetCurrent(CGroup* pGroup, CDocView* pSender)
{
    if (pGroup == m_pCurrent)
        return;
    m_pCurrent = pGroup;
    UpdateAllViews(pSender, 0, pGroup);
}

void CDoc::AddView(CDocView* pView)
{
    if (pView && std::find(m_views.begin(), m_views.end(), pView) == m_views.end())
        m_views.push_back(pView);
}

void CDoc::RemoveView(CDocView* pView)
{
    m_views.erase(std::remove(m_views.begin(), m_views.end(), pView), m_views.end());
}

void CDoc::UpdateAllViews(CDocView* pSender, int nHint, CGroup* pGroup)
{
    // A copy, so that a view may detach itself while it is being told.
    const std::vector<CDocView*> views = m_views;
    for (CDocView* pView : views)
        if (pView != pSender)
            pView->OnUpdate(pSender, nHint, pGroup);
}

bool CDoc::StartClient(IClientReceiver* pReceiver)
{
    StopClient();
    m_pClient = CKwvtClient::Start(pReceiver);
    return m_pClient != nullptr;
}

void CDoc::StopClient()
{
    if (!m_pClient)
        return;
    CKwvtClient* pClient = m_pClient;
    m_pClient = nullptr;
    pClient->Stop();
}

bool CDoc::CollectDueShutdowns(std::vector<std::uint32_t>& addresses, std::vector<std::uint32_t>& codes)
{
    addresses.clear();
    codes.clear();
    std::unordered_set<std::uint32_t> listed;
    for (const auto& pPc : m_pcs) {
        const std::uint32_t dwCode = ShutdownCode(pPc->m_reserveOff);
        if (pPc->m_reserveOff.IsDue() && IsUsableIp(pPc->m_dwIp)) {
            const std::uint32_t dwNet = qToBigEndian(pPc->m_dwIp);
            addresses.push_back(dwNet);
            codes.push_back(dwCode);
            listed.insert(dwNet);
        }
    }
    for (const auto& pGroup : m_groups) {
        const std::uint32_t dwCode = ShutdownCode(pGroup->m_reserveOff);
        if (!pGroup->m_reserveOff.IsDue())
            continue;
        for (std::int32_t nId : pGroup->m_members) {
            const CKw* pPc = FindPcById(nId);
            if (!pPc || !IsUsableIp(pPc->m_dwIp))
                continue;
            const std::uint32_t dwNet = qToBigEndian(pPc->m_dwIp);
            if (listed.insert(dwNet).second) {
                addresses.push_back(dwNet);
                codes.push_back(dwCode);
            }
        }
    }
    addresses.shrink_to_fit();
    codes.shrink_to_fit();
    return !addresses.empty();
}

bool CDoc::CollectDueWakeups(std::vector<std::uint8_t>& macs, std::vector<std::uint32_t>& broadcasts)
{
    macs.clear();
    broadcasts.clear();
    const auto add = [&](const CKw& pc) {
        if (!IsUsableMac(pc.m_mac.data()))
            return;
        macs.insert(macs.end(), pc.m_mac.begin(), pc.m_mac.end());
        broadcasts.push_back(pc.m_dwBroadcast);
    };
    for (const auto& pPc : m_pcs)
        if (pPc->m_reserveOn.IsDue())
            add(*pPc);
    for (const auto& pGroup : m_groups) {
        if (!pGroup->m_reserveOn.IsDue())
            continue;
        for (std::int32_t nId : pGroup->m_members)
            if (const CKw* pPc = FindPcById(nId))
                add(*pPc);
    }
    macs.shrink_to_fit();
    broadcasts.shrink_to_fit();
    return !broadcasts.empty();
}

std::string CDoc::GetActivityText() const
{
    if (!m_pClient || !m_pClient->m_bBusy)
        return {};
    switch (m_pClient->m_nRequest.load()) {
    case REQ_SEARCH:
        return vtstr::LoadString(kStrSearching);
    case REQ_STATUS:
        return vtstr::LoadString(kStrPolling);
    case REQ_OPERATE:
        return vtstr::LoadString(kStrOperating);
    default:
        return {};
    }
}

void CDoc::SetModifiedFlag(bool bModified)
{
    const bool bWas = m_bModified;
    m_bModified = bModified;
    if (bModified && !bWas && m_fnModified)
        m_fnModified();
}

void CDoc::DeleteContents()
{
    SetCurrent(nullptr, nullptr);
    while (!m_pcs.empty())
        m_pcs.pop_back();
    while (!m_groups.empty())
        m_groups.pop_back();
}

void CDoc::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        ar.WriteI32(kVersionMarker);
        ar.WriteI32(kCurrentVersion);
        ar.WriteI32(static_cast<std::int32_t>(m_pcs.size()));
        for (const auto& pPc : m_pcs) {
            ar.WriteObjectTag(CKw::kClass);
            pPc->Serialize(ar);
        }
        ar.WriteI32(static_cast<std::int32_t>(m_groups.size()));
        for (const auto& pGroup : m_groups) {
            ar.WriteObjectTag(CGroup::kClass);
            pGroup->Serialize(ar);
        }
        return;
    }

    // Any negative first value is a version marker; otherwise it is the PC count of
    // a file of the earlier layout.
    std::int32_t nCount = ar.ReadI32();
    if (nCount < 0) {
        m_nFileVersion = ar.ReadI32();
        nCount = ar.ReadI32();
    } else {
        m_nFileVersion = 0;
    }
    const int nLayout = m_nFileVersion == 0 ? 0 : 1;

    const std::size_t nPcs = CheckedCount(ar, nCount, kMinPcBytes[nLayout]);
    for (std::size_t i = 0; i < nPcs; ++i) {
        ar.ReadObjectTag(CKw::kClass);
        auto pPc = std::make_unique<CKw>();
        pPc->Serialize(ar);
        m_pcs.push_back(std::move(pPc));
    }

    const std::size_t nGroups = CheckedCount(ar, ar.ReadI32(), kMinGroupBytes[nLayout]);
    for (std::size_t i = 0; i < nGroups; ++i) {
        ar.ReadObjectTag(CGroup::kClass);
        auto pGroup = std::make_unique<CGroup>();
        pGroup->Serialize(ar);
        m_groups.push_back(std::move(pGroup));
    }
}

bool CDoc::LoadFromBytes(const std::uint8_t* pData, std::size_t nSize)
{
    DeleteContents();
    if (nSize != 0) {
        try {
            CArchive ar(pData, nSize, this);
            Serialize(ar);
        } catch (const std::exception&) {
            // Emptied and clean, so that no save can put the empty roster over the file.
            DeleteContents();
            SetModifiedFlag(false);
            return false;
        }
    }
    SetModifiedFlag(false);
    return true;
}

std::vector<std::uint8_t> CDoc::SaveToBytes()
{
    std::vector<std::uint8_t> bytes;
    CArchive ar(bytes);
    Serialize(ar);
    return bytes;
}

bool CDoc::OnOpenDocument(const std::string& strPath)
{
    std::vector<std::uint8_t> bytes;
    bool bRead = false;
    try {
        bRead = vtdatafile::ReadAll(strPath, bytes);
    } catch (const std::exception&) {
        bRead = false;
    }
    if (!bRead) {
        DeleteContents();
        SetModifiedFlag(false);
        return false;
    }
    return LoadFromBytes(bytes.data(), bytes.size());
}

SaveResult CDoc::DoFileSave()
{
    if (m_strPathName.empty())
        return SaveResult::Failed;
    // Only a regular file is ever replaced, and only one this process may write.
    const vtdatafile::Kind kind = vtdatafile::Probe(m_strPathName);
    if (kind == vtdatafile::Kind::Directory || kind == vtdatafile::Kind::Other ||
        (kind == vtdatafile::Kind::Regular && !vtdatafile::MayWrite(m_strPathName))) {
        SetModifiedFlag(false);
        return SaveResult::Refused;
    }
    try {
        const std::vector<std::uint8_t> bytes = SaveToBytes();
        if (!vtdatafile::Write(m_strPathName, bytes.data(), bytes.size()))
            return SaveResult::Failed;
    } catch (const std::exception&) {
        return SaveResult::Failed;
    }
    SetModifiedFlag(false);
    return SaveResult::Saved;
}

SaveResult CDoc::SaveModified()
{
    return m_bModified ? DoFileSave() : SaveResult::Saved;
}
