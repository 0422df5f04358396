#include "CKwList.h"

#include "CClientBridge.h"
#include "CKwListModel.h"
#include "CReserveDlg.h"
#include "UiText.h"
#include "ViewSupport.h"
#include "app/Settings.h"
#include "app/StringTable.h"
#include "net/AddressLookup.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QtEndian>

#include <algorithm>

namespace {

constexpr std::uint32_t kLoopback = 0x7F000001u;
constexpr std::uint32_t kNoAddress = 0xFFFFFFFFu;
constexpr std::size_t kMaxAgentName = 15;
constexpr int kColumnUnits[CKwListModel::kColumnCount] = {15, 10, 5, 15, 10, 15, 15};

std::optional<ClientHooks>& HooksOverride()
{
    static std::optional<ClientHooks> hooks;
    return hooks;
}

bool IsUsableIp(std::uint32_t dwIp)
{
    return dwIp != 0 && dwIp != kNoAddress;
}

} // namespace

CKwList::CKwList(CDoc* pDoc, QWidget* pParent)
    : QTableView(pParent), m_pDoc(pDoc), m_pModel(new CKwListModel(this)),
      m_nReportType(vtsettings::ReportType()), m_nInterval(vtsettings::Interval())
{
    setModel(m_pModel);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setIconSize(QSize(18, 16));
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(std::max(fontMetrics().height(), 16) + 4);
    QHeaderView* pHeader = horizontalHeader();
    pHeader->setSectionsClickable(true);
    pHeader->setHighlightSections(false);
    pHeader->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    pHeader->setStretchLastSection(false);
    const int nUnit = fontMetrics().averageCharWidth() + 1;
    for (int i = 0; i < CKwListModel::kColumnCount; ++i)
        pHeader->resizeSection(i, kColumnUnits[i] * nUnit);
    connect(pHeader, &QHeaderView::sectionClicked, this, &CKwList::OnColumnClick);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &CKwList::commandStateChanged);

    m_periodicTimer.setTimerType(Qt::CoarseTimer);
    connect(&m_periodicTimer, &QTimer::timeout, this, &CKwList::OnPeriodicTimer);
    connect(&m_checkTimer, &QTimer::timeout, this, &CKwList::OnCheckTimer);

    m_pDoc->AddView(this);
}

CKwList::~CKwList()
{
    disconnect(selectionModel(), nullptr, this, nullptr);
    m_periodicTimer.stop();
    m_checkTimer.stop();
    if (m_pDoc->m_pClient)
        m_pDoc->StopClient();
    m_pDoc->RemoveView(this);
}

void CKwList::SetClientHooksForTesting(std::optional<ClientHooks> hooks)
{
    HooksOverride() = std::move(hooks);
}

bool CKwList::Create()
{
    if (!m_pBridge) {
        m_pBridge = new CClientBridge(this);
        connect(m_pBridge, &CClientBridge::clientMessage, this, &CKwList::OnClientMessage);
    }
    if (m_pDoc->m_pClient)
        return true;
    if (HooksOverride()) {
        m_pDoc->m_pClient = CKwvtClient::Start(m_pBridge, *HooksOverride());
        return m_pDoc->m_pClient != nullptr;
    }
    return m_pDoc->StartClient(m_pBridge);
}

void CKwList::OnInitialUpdate()
{
    OnUpdate(nullptr, 0, m_pDoc->m_pCurrent);
    RestartPeriodicTimer(m_nReportType, m_nInterval);
    m_checkTimer.start(1000);
    if (m_nReportType == 1)
        QMetaObject::invokeMethod(
            this, [this] { StartupRefresh(100); }, Qt::QueuedConnection);
}

void CKwList::StartupRefresh(int nTriesLeft)
{
    // The worker is busy until its thread first waits for work; the start-up poll
    // waits for that moment instead of being lost to it.
    const CKwvtClient* pClient = m_pDoc->m_pClient;
    if (pClient && pClient->m_bBusy && pClient->m_nRequest == REQ_NONE && nTriesLeft > 0) {
        QTimer::singleShot(50, this, [this, nTriesLeft] { StartupRefresh(nTriesLeft - 1); });
        return;
    }
    OnCommand(ID_REFRESH);
}

void CKwList::OnUpdate(CDocView*, int nHint, CGroup*)
{
    if (nHint == 0) {
        m_pCurrent = m_pDoc->m_pCurrent;
        FillList();
    } else if (nHint == 1) {
        UpdateRows();
    }
}

void CKwList::FillList()
{
    std::vector<CKw*> records;
    if (m_pCurrent) {
        records.reserve(m_pCurrent->m_members.size());
        for (std::int32_t nId : m_pCurrent->m_members)
            records.push_back(m_pDoc->FindPcById(nId));
    } else {
        records.reserve(m_pDoc->m_pcs.size());
        for (const auto& pPc : m_pDoc->m_pcs)
            records.push_back(pPc.get());
    }
    setUpdatesEnabled(false);
    m_pModel->Reset(m_pCurrent, records);
    setUpdatesEnabled(true);
    viewport()->update();
    emit commandStateChanged();
}

int CKwList::InsertPcRow(CKw* pPc)
{
    return pPc ? m_pModel->Append(pPc) : -1;
}

int CKwList::InsertMemberRow(std::int32_t nId)
{
    CKw* pPc = m_pDoc->FindPcById(nId);
    return pPc ? m_pModel->Append(pPc) : -1;
}

void CKwList::UpdateRows()
{
    m_pModel->UpdateRows();
}

std::vector<int> CKwList::SelectedRows() const
{
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::vector<CKw*> CKwList::SelectedRecords() const
{
    std::vector<CKw*> records;
    for (int nRow : SelectedRows())
        if (CKw* pPc = m_pModel->Record(nRow))
            records.push_back(pPc);
    return records;
}

void CKwList::OnColumnClick(int nColumn)
{
    if (nColumn != m_nSortColumn) {
        m_nSortColumn = nColumn;
        m_bSortDescending = false;
    } else {
        m_bSortDescending = !m_bSortDescending;
    }
    m_pModel->SortRows(m_nSortColumn, m_bSortDescending);
}

void CKwList::RestartPeriodicTimer(int nReportType, int nInterval)
{
    m_nReportType = nReportType;
    m_nInterval = nInterval;
    m_periodicTimer.stop();
    if (m_nReportType == 2)
        m_periodicTimer.start(m_nInterval * 1000);
}

int CKwList::PeriodicTimerPeriod() const
{
    return m_periodicTimer.isActive() ? m_periodicTimer.interval() : 0;
}

bool CKwList::IsCheckTimerActive() const
{
    return m_checkTimer.isActive();
}

void CKwList::OnPeriodicTimer()
{
    if (m_nReportType == 2 && WorkerIdle())
        PostRefresh();
}

void CKwList::OnCheckTimer()
{
    if (WorkerIdle())
        FireDueReservations();
}

bool CKwList::WorkerIdle() const
{
    return m_pDoc->m_pClient && !m_pDoc->m_pClient->m_bBusy;
}

bool CKwList::WorkerBusy() const
{
    return m_pDoc->m_pClient && m_pDoc->m_pClient->m_bBusy;
}

void CKwList::PostRefresh()
{
    QMetaObject::invokeMethod(
        this, [this] { OnCommand(ID_REFRESH); }, Qt::QueuedConnection);
}

bool CKwList::OnUpdateCommand(int id, bool* pEnabled)
{
    const bool bSelected = selectionModel()->hasSelection();
    switch (id) {
    case ID_REBOOT:
    case ID_FORCIBLE_REBOOT:
    case ID_SHUTDOWN:
    case ID_FORCIBLE_SHUTDOWN:
    case ID_POWER_OFF:
    case ID_FORCED_POWER_OFF:
        *pEnabled = WorkerIdle() && bSelected;
        return true;
    case ID_WAKE_UP:
        *pEnabled = !WorkerBusy() && bSelected;
        return true;
    case ID_REFRESH:
        *pEnabled = WorkerIdle() && !m_pDoc->m_pcs.empty();
        return true;
    case ID_EDIT_SELECT_ALL:
        *pEnabled = m_pModel->rowCount() > 0;
        return true;
    case ID_RESERVE:
        *pEnabled = !m_pCurrent && bSelected;
        return true;
    // Registration, editing, grouping and options are served by the registration flows.
    case ID_MANUAL_REGISTRATION:
    case ID_AUTO_REGISTRATION:
    case ID_EDIT_SETTINGS:
    case ID_DELETE:
    case ID_ADD_TO_GROUP:
    case ID_OPTIONS:
    default:
        return false;
    }
}

bool CKwList::OnCommand(int id)
{
    switch (id) {
    case ID_REBOOT:
        OperateSelected(OP_REBOOT, 0);
        return true;
    case ID_FORCIBLE_REBOOT:
        OperateSelected(OP_REBOOT, 1);
        return true;
    case ID_SHUTDOWN:
    case ID_POWER_OFF:
        OperateSelected(OP_SHUTDOWN, 0);
        return true;
    case ID_FORCIBLE_SHUTDOWN:
    case ID_FORCED_POWER_OFF:
        OperateSelected(OP_SHUTDOWN, 1);
        return true;
    case ID_WAKE_UP:
        WakeSelected();
        return true;
    case ID_REFRESH:
        Refresh();
        return true;
    case ID_EDIT_SELECT_ALL:
        if (m_pModel->rowCount() > 0)
            selectAll();
        return true;
    case ID_RESERVE:
        ReserveSelected();
        return true;
    case ID_MANUAL_REGISTRATION:
    case ID_AUTO_REGISTRATION:
    case ID_EDIT_SETTINGS:
    case ID_DELETE:
    case ID_ADD_TO_GROUP:
    case ID_OPTIONS:
    default:
        return false;
    }
}

void CKwList::OperateSelected(std::uint16_t wOperation, std::uint16_t wForce)
{
    if (!WorkerIdle() || !selectionModel()->hasSelection())
        return;
    std::vector<std::uint32_t> addresses;
    std::vector<std::uint32_t> codes;
    const std::uint32_t dwCode = (static_cast<std::uint32_t>(wForce) << 16) | wOperation;
    for (CKw* pPc : SelectedRecords()) {
        if (!IsUsableIp(pPc->m_dwIp))
            continue;
        addresses.push_back(qToBigEndian(pPc->m_dwIp));
        codes.push_back(dwCode);
    }
    m_pDoc->m_pClient->RequestOperate(addresses, codes);
    emit commandStateChanged();
}

void CKwList::WakeSelected()
{
    if (WorkerBusy() || !selectionModel()->hasSelection())
        return;
    std::vector<std::uint8_t> macs;
    std::vector<std::uint32_t> broadcasts;
    for (CKw* pPc : SelectedRecords()) {
        if (!IsUsableMac(pPc->m_mac.data()))
            continue;
        macs.insert(macs.end(), pPc->m_mac.begin(), pPc->m_mac.end());
        broadcasts.push_back(pPc->m_dwBroadcast);
    }
    CKwvtClient::WakeUp(macs, broadcasts);
}

void CKwList::Refresh()
{
    if (!WorkerIdle() || m_pDoc->m_pcs.empty())
        return;
    std::vector<std::uint32_t> addresses;
    for (const auto& pPc : m_pDoc->m_pcs)
        if (IsUsableIp(pPc->m_dwIp))
            addresses.push_back(qToBigEndian(pPc->m_dwIp));
    m_pDoc->m_pClient->RequestStatus(addresses);
    emit commandStateChanged();
}

void CKwList::ReserveSelected()
{
    const std::vector<CKw*> records = SelectedRecords();
    if (m_pCurrent || records.empty())
        return;
    CReserveDlg dlg(window());
    dlg.m_reserveOff.Assign(records.front()->m_reserveOff);
    dlg.m_reserveOn.Assign(records.front()->m_reserveOn);
    if (dlg.exec() != QDialog::Accepted)
        return;
    for (CKw* pPc : records)
        m_pDoc->SetPcReserves(pPc, dlg.m_reserveOff, dlg.m_reserveOn);
    UpdateRows();
}

void CKwList::FireDueReservations()
{
    if (!WorkerIdle())
        return;
    std::vector<std::uint32_t> addresses;
    std::vector<std::uint32_t> codes;
    const bool bShutdowns = m_pDoc->CollectDueShutdowns(addresses, codes);
    if (bShutdowns)
        m_pDoc->m_pClient->RequestOperate(addresses, codes);
    std::vector<std::uint8_t> macs;
    std::vector<std::uint32_t> broadcasts;
    if (m_pDoc->CollectDueWakeups(macs, broadcasts)) {
        CKwvtClient::WakeUp(macs, broadcasts);
        UpdateRows();
    } else if (bShutdowns) {
        UpdateRows();
    }
    if (bShutdowns)
        emit commandStateChanged();
}

std::string CKwList::PopResult()
{
    if (m_fnPopResult)
        return m_fnPopResult();
    return m_pDoc->m_pClient ? m_pDoc->m_pClient->PopResult() : std::string();
}

void CKwList::OnClientMessage(int nMsg, qintptr wParam, qintptr lParam)
{
    switch (nMsg) {
    case WM_CLIENT_PCSTATUS:
        OnPcStatus(wParam, lParam);
        break;
    case WM_CLIENT_OPERATED:
        OnOperated(wParam, lParam);
        break;
    case WM_CLIENT_EXIT:
        vtview::Message(window(), S(1038), QMessageBox::Warning);
        break;
    default:
        break;
    }
    if (wParam == 0)
        emit commandStateChanged();
}

void CKwList::ShowWorkerError(qintptr nCode)
{
    if (nCode != 0 && !vtview::IsModalOpen())
        vtview::Message(window(),
                        QString::fromStdString(vtstr::FormatError(static_cast<std::uint32_t>(nCode))),
                        QMessageBox::Warning);
}

void CKwList::OnOperated(qintptr wParam, qintptr lParam)
{
    if (wParam == 1) {
        PopResult(); // per-PC results are not shown
        return;
    }
    if (lParam == 0)
        PostRefresh();
    else
        ShowWorkerError(lParam);
}

void CKwList::OnPcStatus(qintptr wParam, qintptr lParam)
{
    if (wParam == 0) {
        ShowWorkerError(lParam);
        return;
    }
    const std::string strRecord = PopResult();
    std::string strAddress = strRecord.substr(0, std::min<std::size_t>(strRecord.size(), 15));
    strAddress = strAddress.substr(0, strAddress.find(' '));
    const std::uint32_t dwIp = vtlookup::ParseIp(strAddress).value_or(kNoAddress);
    const std::string strName = strRecord.size() > 15 ? strRecord.substr(15) : std::string();
    if (dwIp == 0 || dwIp == kLoopback || dwIp == kNoAddress)
        return;

    const auto mac = vtlookup::Arp(dwIp);
    const MacAddress macBytes = mac.value_or(MacAddress{});
    const bool bNameUsable = !strName.empty() && strName.size() <= kMaxAgentName;

    if (CKw* pPc = m_pDoc->FindPcByIp(dwIp)) {
        if (mac)
            m_pDoc->SetPcMac(pPc, macBytes.data());
        if (lParam == 1) {
            if (!bNameUsable)
                return;
            m_pDoc->RenamePc(pPc, strName);
            m_pDoc->SetPcStatus(pPc, 0);
        } else {
            m_pDoc->SetPcStatus(pPc, 1);
        }
        // Only this record changed, so only its rows can differ.
        m_pModel->UpdateRecord(pPc);
        return;
    }

    if (!bNameUsable)
        return;
    if (mac) {
        if (CKw* pMoved = m_pDoc->FindPcByMac(macBytes.data())) {
            pMoved->m_strName = strName;
            pMoved->m_dwIp = dwIp;
            m_pDoc->SetModifiedFlag(true);
            m_pModel->UpdateRecord(pMoved);
            return;
        }
    }
    CKw* pNew = m_pDoc->AddPc(strName, dwIp, macBytes.data(), kNoAddress);
    if (!pNew) {
        if (!vtview::IsModalOpen())
            vtview::Message(window(), S(1026), QMessageBox::Warning);
        return;
    }
    if (!m_pCurrent)
        InsertPcRow(pNew);
}
