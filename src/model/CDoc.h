#pragma once

#include "model/CGroup.h"
#include "model/CKw.h"

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

class CArchive;
class CKwvtClient;
class IClientReceiver;

/// A view of the document: the group tree and the PC list implement it.
class CDocView {
public:
    virtual ~CDocView() = default;
    /// hint 0: the current selection changed to `pGroup` (null = whole roster);
    /// hint 1: reservations changed, update rows in place.
    virtual void OnUpdate(CDocView* pSender, int nHint, CGroup* pGroup) = 0;
};

enum class SaveResult {
    Saved,   ///< written (or nothing to write)
    Refused, ///< not a regular file, or read-only to this process: flag dropped, not written
    Failed,  ///< could not be written: the document stays modified
};

/// @brief The program's single document: owns every PC and group, the selection that
/// links the two views, and the communication worker.
///
/// Every roster change goes through an operation here and marks the document
/// modified; the window saves it at the next idle moment. Operations never show
/// messages: they refuse with a null or false result and the views report.
class CDoc final {
public:
    static constexpr std::size_t kMaxPcs = 254;
    static constexpr std::size_t kMaxGroups = 100;

    CDoc();
    ~CDoc();
    CDoc(const CDoc&) = delete;
    CDoc& operator=(const CDoc&) = delete;

    // PC table
    CKw* AddPc(const std::string& strName, std::uint32_t dwIp, const std::uint8_t* pMac,
               std::uint32_t dwBroadcast);
    void DeletePc(CKw* pPc);
    CKw* FindPcById(std::int32_t nId) const;
    CKw* FindPcByIp(std::uint32_t dwIp) const;
    CKw* FindPcByMac(const std::uint8_t* pMac) const;
    std::string GetPcName(const CKw* pPc) const;
    void RenamePc(CKw* pPc, const std::string& strName);
    void SetPcStatus(CKw* pPc, std::int32_t nStatus);
    void SetPcMac(CKw* pPc, const std::uint8_t* pMac);
    void SetPcReserves(CKw* pPc, const CReserve& off, const CReserve& on);
    bool IsInAnyGroup(const CKw* pPc) const;

    // Group table
    CGroup* AddGroup(const std::string& strName);
    void DeleteGroup(CGroup* pGroup);
    bool AddToGroup(CGroup* pGroup, std::int32_t nId);
    void RemoveFromGroup(CGroup* pGroup, std::int32_t nId);
    void SetGroupReserves(CGroup* pGroup, const CReserve& off, const CReserve& on);

    // Selection and views
    void SetCurrent(CGroup* pGroup, CDocView* pSender);
    void AddView(CDocView* pView);
    void RemoveView(CDocView* pView);
    void UpdateAllViews(CDocView* pSender, int nHint, CGroup* pGroup);
    const std::vector<CDocView*>& Views() const { return m_views; }

    // Worker
    bool StartClient(IClientReceiver* pReceiver);
    void StopClient();

    // Due reservations (addresses in network byte order; broadcasts in host order)
    bool CollectDueShutdowns(std::vector<std::uint32_t>& addresses, std::vector<std::uint32_t>& codes);
    bool CollectDueWakeups(std::vector<std::uint8_t>& macs, std::vector<std::uint32_t>& broadcasts);

    /// Text of the status bar's activity pane (empty while the worker is idle).
    std::string GetActivityText() const;

    // Modified flag
    bool IsModified() const { return m_bModified; }
    void SetModifiedFlag(bool bModified = true);
    /// Called when the flag turns from clear to set (the window schedules a save).
    std::function<void()> m_fnModified;

    // Contents and file
    void DeleteContents();
    void Serialize(CArchive& ar);
    void SetPathName(const std::string& strPath) { m_strPathName = strPath; }
    const std::string& GetPathName() const { return m_strPathName; }
    /// Reads the data file at `strPath` (a 0-byte file is an empty roster). Anything but
    /// a regular file (or a link to one) is not opened. On failure the roster is empty
    /// again and the result is false.
    bool OnOpenDocument(const std::string& strPath);
    /// The reading half of OnOpenDocument: replaces the roster with the file image in
    /// `pData` (0 bytes = empty roster). On failure the roster is empty, result false.
    bool LoadFromBytes(const std::uint8_t* pData, std::size_t nSize);
    /// The file image of the whole roster, as DoFileSave writes it.
    std::vector<std::uint8_t> SaveToBytes();
    /// Writes the whole roster to the path (vtdatafile::Write). A directory, anything else
    /// that is not a regular file, or a file this process may not write -> Refused (flag
    /// cleared, nothing written).
    SaveResult DoFileSave();
    /// DoFileSave when modified; Saved when nothing is pending.
    SaveResult SaveModified();

    std::list<std::unique_ptr<CKw>> m_pcs;
    std::list<std::unique_ptr<CGroup>> m_groups;
    CGroup* m_pCurrent = nullptr;
    CKwvtClient* m_pClient = nullptr;
    std::int32_t m_nFileVersion = 1;

private:
    bool m_bModified = false;
    std::string m_strPathName;
    std::vector<CDocView*> m_views;
};
