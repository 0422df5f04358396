#include "CKwList.h"

#include "CClientBridge.h"
#include "CGpTree.h"
#include "CKwListModel.h"
#include "CRegisterDlg.h"
#include "CReserveDlg.h"
#include "CSelectGroupDlg.h"
#include "CSettingsDlg.h"
#include "UiText.h"
#include "ViewSupport.h"
#include "app/Settings.h"
#include "app/StringTable.h"
#include "net/AddressLookup.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QtEndian>

#include <algorithm>
#include <utility>

namespace {

constexpr std::uint32_t kLoopback = 0x7F000001u;
constexpr std::uint32_t kNoAddress = 0xFFFFFFFFu;
constexpr std::size_t kMaxAgentName = 15;
constexpr int kColumnUnits[CKwListModel::kColumnCount] = {15, 10, 5, 15, 10, 15, 15};
constexpr std::size_t kMaxMembers = 254;
const QPoint kDragHotSpot(21, 11);
constexpr int kColumnSaveDelayMs = 500;
constexpr int kRefreshTries = 100; // 50 ms apart

std::optional<ClientHooks>& HooksOverride()
{
    static std::optional<ClientHooks> hooks;
    return hooks;
}

CKwList::SettingWriter& SettingWriterOverride()
{
    static CKwList::SettingWriter fn;
    return fn;
}

void WriteSetting(const char* section, const char* key, int nValue)
{
    if (SettingWriterOverride())
        SettingWriterOverride()(section, key, nValue);
    else
        vtsettings::WriteInt(section, key, nValue);
}

bool IsUsableIp(std::uint32_t dwIp)
{
    return dwIp != 0 && dwIp != kNoAddress;
}

QChar WidestOf(const QFontMetrics& metrics, QStringView chars)
{
    QChar widest = chars.front();
    for (QChar ch : chars)
        if (metrics.horizontalAdvance(ch) > metrics.horizontalAdvance(widest))
            widest = ch;
    return widest;
}

/// The widest texts each column can show besides names: full addresses, MAC
/// addresses and reservation times written with the font's widest digits.
QStringList SampleTexts(int nColumn, const QFontMetrics& metrics)
{
    const QString d(WidestOf(metrics, u"0123456789"));
    const QString x(WidestOf(metrics, u"0123456789ABCDEF"));
    const QString strIp = QStringList(4, d.repeated(3)).join(QLatin1Char('.'));
    const QString strTime = d.repeated(4) + u'/' + d.repeated(2) + u'/' + d.repeated(2) +
                            QStringLiteral("  ") + d.repeated(2) + u':' + d.repeated(2);
    switch (nColumn) {
    case CKwListModel::ColIp:
        return {strIp, S(2054)};
    case CKwListModel::ColStatus:
        return {S(2054), S(2055)};
    case CKwListModel::ColMac:
        return {QStringList(6, x.repeated(2)).join(QLatin1Char('-')), S(2054)};
    case CKwListModel::ColBroadcast:
        return {strIp};
    case CKwListModel::ColNextOff:
        return {strTime + QStringLiteral(" - FL"), strTime + QStringLiteral(" - FR"),
                strTime + QStringLiteral(" - FS")};
    case CKwListModel::ColNextOn:
        return {strTime};
    default:
        return {};
    }
}

} // namespace

/// Full-row selection: the focus frame goes round the whole current row (drawn by the
/// list), not round the one cell that holds the current index.
class CKwList::RowFocusDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* pPainter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        QStyleOptionViewItem opt(option);
        opt.state &= ~QStyle::State_HasFocus;
        QStyledItemDelegate::paint(pPainter, opt, index);
    }
};

CKwList::CKwList(CDoc* pDoc, QWidget* pParent)
    : QTableView(pParent), m_pDoc(pDoc), m_pModel(new CKwListModel(this)),
      m_nReportType(vtsettings::ReportType()), m_nInterval(vtsettings::Interval())
{
    setModel(m_pModel);
    setItemDelegate(new RowFocusDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setIconSize(QSize(18, 16));
    setDragEnabled(true); // only to get startDrag(); the drag itself is ours
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(std::max(fontMetrics().height(), 16) + 4);
    QHeaderView* pHeader = horizontalHeader();
    pHeader->setSectionsClickable(true);
    pHeader->setHighlightSections(false);
    pHeader->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    pHeader->setStretchLastSection(false);
    pHeader->setSortIndicatorShown(true);
    pHeader->setSortIndicator(-1, Qt::AscendingOrder);
    ensurePolished();
    const std::vector<int> stored = vtsettings::ColumnWidths(CKwListModel::kColumnCount);
    ApplyColumnWidths(stored.empty() ? ComputedColumnWidths() : stored);
    m_columnSaveTimer.setSingleShot(true);
    m_columnSaveTimer.setInterval(kColumnSaveDelayMs);
    connect(&m_columnSaveTimer, &QTimer::timeout, this, &CKwList::SaveColumnWidths);
    // Connected once the widths are set: only the operator's own resizing is stored.
    connect(pHeader, &QHeaderView::sectionResized, &m_columnSaveTimer, qOverload<>(&QTimer::start));
    connect(pHeader, &QHeaderView::sectionClicked, this, &CKwList::OnColumnClick);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &CKwList::commandStateChanged);
    connect(this, &CKwList::commandStateChanged, this, &CKwList::UpdateEmptyHint);

    m_periodicTimer.setTimerType(Qt::CoarseTimer);
    connect(&m_periodicTimer, &QTimer::timeout, this, &CKwList::OnPeriodicTimer);
    connect(&m_checkTimer, &QTimer::timeout, this, &CKwList::OnCheckTimer);

    m_pDoc->AddView(this);
}

CKwList::~CKwList()
{
    if (m_bDragging) {
        m_bDragging = false;
        QApplication::restoreOverrideCursor();
        if (QWidget::mouseGrabber() == viewport())
            viewport()->releaseMouse();
    }
    disconnect(selectionModel(), nullptr, this, nullptr);
    if (m_columnSaveTimer.isActive())
        SaveColumnWidths();
    m_periodicTimer.stop();
    m_checkTimer.stop();
    if (m_pDoc->m_pClient)
        m_pDoc->StopClient();
    m_pDoc->RemoveView(this);
}

void CKwList::SetSettingWriterForTesting(SettingWriter fn)
{
    SettingWriterOverride() = std::move(fn);
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
            this, [this] { RefreshWhenIdle(kRefreshTries); }, Qt::QueuedConnection);
}

void CKwList::RefreshWhenIdle(int nTriesLeft)
{
    // The worker is busy until its thread first waits for work, or while it carries out a
    // request taken meanwhile (a reservation, say); the poll waits for it instead of being lost.
    if (WorkerBusy() && nTriesLeft > 0) {
        QTimer::singleShot(50, this, [this, nTriesLeft] { RefreshWhenIdle(nTriesLeft - 1); });
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
    horizontalHeader()->setSortIndicator(m_nSortColumn,
                                         m_bSortDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

std::vector<int> CKwList::ComputedColumnWidths() const
{
    QStyleOptionViewItem base;
    initViewItemOption(&base);
    base.features = QStyleOptionViewItem::HasDisplay;
    const QFontMetrics metrics(base.font);
    const int nUnit = metrics.averageCharWidth() + 1;
    std::vector<int> widths;
    for (int nColumn = 0; nColumn < CKwListModel::kColumnCount; ++nColumn) {
        int nWidth = kColumnUnits[nColumn] * nUnit;
        if (nColumn == CKwListModel::ColName) {
            // Computer names are mostly capitals and digits, wider than the average
            // character; the picture comes on top of the name.
            const QString strTypical = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
            const int nChars = static_cast<int>(strTypical.size());
            const int nTypical = (metrics.horizontalAdvance(strTypical) + nChars - 1) / nChars;
            QStyleOptionViewItem opt(base);
            opt.features = QStyleOptionViewItem::HasDecoration;
            opt.decorationSize = iconSize();
            nWidth = std::max(nWidth, static_cast<int>(kMaxAgentName) * nTypical) +
                     style()->sizeFromContents(QStyle::CT_ItemViewItem, &opt, QSize(), this).width();
        }
        nWidth = std::max(nWidth, horizontalHeader()->sectionSizeHint(nColumn));
        for (const QString& strSample : SampleTexts(nColumn, metrics)) {
            QStyleOptionViewItem opt(base);
            opt.text = strSample;
            nWidth = std::max(
                nWidth, style()->sizeFromContents(QStyle::CT_ItemViewItem, &opt, QSize(), this).width());
        }
        widths.push_back(nWidth);
    }
    return widths;
}

std::vector<int> CKwList::ColumnWidths() const
{
    std::vector<int> widths;
    for (int i = 0; i < CKwListModel::kColumnCount; ++i)
        widths.push_back(columnWidth(i));
    return widths;
}

void CKwList::ApplyColumnWidths(const std::vector<int>& widths)
{
    for (int i = 0; i < CKwListModel::kColumnCount && i < static_cast<int>(widths.size()); ++i)
        horizontalHeader()->resizeSection(i, widths[static_cast<std::size_t>(i)]);
}

void CKwList::SaveColumnWidths()
{
    m_columnSaveTimer.stop();
    vtsettings::WriteColumnWidths(ColumnWidths());
}

QString CKwList::EmptyHint() const
{
    if (!m_pDoc->m_pcs.empty())
        return {};
    return tr("No PCs are registered yet.\nAdd them with Edit > Auto Registration (search the network) "
              "or Edit > Manual Registration.");
}

void CKwList::UpdateEmptyHint()
{
    if (m_bHintShown != !EmptyHint().isEmpty())
        viewport()->update();
}

QRect CKwList::RowFocusRect() const
{
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return {};
    const QHeaderView* pHeader = horizontalHeader();
    const int nFirst = pHeader->logicalIndex(0);
    const int nLast = pHeader->logicalIndex(pHeader->count() - 1);
    return visualRect(m_pModel->index(current.row(), nFirst)) |
           visualRect(m_pModel->index(current.row(), nLast));
}

void CKwList::paintEvent(QPaintEvent* pEvent)
{
    QTableView::paintEvent(pEvent);
    QPainter painter(viewport());
    if (hasFocus() && currentIndex().isValid()) {
        QStyleOptionFocusRect opt;
        opt.initFrom(this);
        opt.rect = RowFocusRect();
        opt.state |= QStyle::State_KeyboardFocusChange | QStyle::State_Item;
        const bool bSelected = selectionModel()->isRowSelected(currentIndex().row(), QModelIndex());
        opt.backgroundColor = palette().color(bSelected ? QPalette::Highlight : QPalette::Base);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &opt, &painter, this);
    }
    const QString strHint = EmptyHint();
    m_bHintShown = !strHint.isEmpty();
    if (m_bHintShown) {
        painter.setPen(palette().color(QPalette::PlaceholderText));
        const int nMargin = fontMetrics().height();
        painter.drawText(viewport()->rect().adjusted(nMargin, nMargin, -nMargin, -nMargin),
                         Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, strHint);
    }
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
    case ID_MANUAL_REGISTRATION:
        *pEnabled = m_pDoc->m_pcs.size() < CDoc::kMaxPcs;
        return true;
    case ID_AUTO_REGISTRATION:
        *pEnabled = WorkerIdle() && m_pDoc->m_pcs.size() < CDoc::kMaxPcs;
        return true;
    case ID_EDIT_SETTINGS:
    case ID_DELETE:
        *pEnabled = !WorkerBusy() && bSelected;
        return true;
    case ID_ADD_TO_GROUP:
        *pEnabled = vtview::IsActiveView(this) && bSelected && !m_pDoc->m_groups.empty();
        return true;
    case ID_OPTIONS:
        *pEnabled = true;
        return true;
    default:
        return false;
    }
}

vtview::OperationTarget CKwList::SelectionTarget() const
{
    const std::vector<CKw*> records = SelectedRecords();
    vtview::OperationTarget target;
    target.kind = vtview::OperationTarget::Selection;
    target.nCount = static_cast<int>(records.size());
    if (records.size() == 1)
        target.strOnlyPc = QString::fromStdString(records.front()->m_strName);
    return target;
}

bool CKwList::OnCommand(int id)
{
    if (const auto word = OperationWordOf(id)) {
        if (WorkerIdle() && HasSelection() && vtview::ConfirmOperation(window(), id, SelectionTarget()))
            OperateSelected(*word);
        return true;
    }
    switch (id) {
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
        ManualRegistration();
        return true;
    case ID_AUTO_REGISTRATION:
        AutoRegistration();
        return true;
    case ID_EDIT_SETTINGS:
        EditSettings();
        return true;
    case ID_DELETE:
        DeleteSelected();
        return true;
    case ID_ADD_TO_GROUP:
        AddToGroup();
        return true;
    case ID_OPTIONS:
        Options();
        return true;
    default:
        return false;
    }
}

void CKwList::OperateSelected(std::uint32_t dwWord)
{
    if (!HasSelection())
        return;
    auto [addresses, codes] = vtview::OperationLists(SelectedRecords(), dwWord);
    vtview::SendConfirmedOperation(this, m_pDoc, std::move(addresses), std::move(codes),
                                   [this] { emit commandStateChanged(); });
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
        QMetaObject::invokeMethod(
            this, [this] { RefreshWhenIdle(kRefreshTries); }, Qt::QueuedConnection);
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
    // The worker held the name to 15 bytes as received; converted to UTF-8 it may take more
    // bytes, so count characters here.
    const auto nNameChars = std::count_if(strName.begin(), strName.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    });
    const bool bNameUsable = !strName.empty() && static_cast<std::size_t>(nNameChars) <= kMaxAgentName;

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
    m_pDoc->SetPcStatus(pNew, 0); // it has just answered
    if (!m_pCurrent)
        InsertPcRow(pNew);
}

bool CKwList::HasSelection() const
{
    return selectionModel()->hasSelection();
}

int CKwList::NextSelectedRow(int nAfter) const
{
    const int nRows = m_pModel->rowCount();
    for (int nRow = std::max(nAfter + 1, 0); nRow < nRows; ++nRow)
        if (selectionModel()->isRowSelected(nRow, QModelIndex()))
            return nRow;
    return -1;
}

void CKwList::ManualRegistration()
{
    if (m_pDoc->m_pcs.size() >= CDoc::kMaxPcs)
        return;
    CRegisterDlg dlg(window());
    dlg.m_pDoc = m_pDoc;
    if (dlg.exec() != QDialog::Accepted)
        return;
    CKw* pNew = m_pDoc->AddPc(dlg.m_strName, dlg.IpHostOrder(), dlg.m_mac.data(), dlg.BroadcastHostOrder());
    if (!pNew) {
        vtview::Message(window(), S(1026), QMessageBox::Warning);
        return;
    }
    if (!m_pCurrent)
        InsertPcRow(pNew);
    emit commandStateChanged();
}

void CKwList::AutoRegistration()
{
    if (!WorkerIdle() || m_pDoc->m_pcs.size() >= CDoc::kMaxPcs)
        return;
    m_pDoc->m_pClient->RequestSearch();
    emit commandStateChanged();
}

void CKwList::EditSettings()
{
    const int nRow = NextSelectedRow(-1);
    CKw* pPc = m_pModel->Record(nRow);
    if (!pPc)
        return;
    CRegisterDlg dlg(window());
    dlg.m_pPc = pPc;
    if (dlg.exec() != QDialog::Accepted)
        return;
    pPc->m_strName = dlg.m_strName;
    pPc->m_dwIp = dlg.IpHostOrder();
    pPc->m_mac = dlg.m_mac;
    pPc->m_dwBroadcast = dlg.BroadcastHostOrder();
    m_pDoc->SetModifiedFlag(true);
    UpdateRows();
}

void CKwList::DeleteSelected()
{
    if (WorkerBusy() || !HasSelection())
        return;
    const auto ask = [this](unsigned nId, QMessageBox::StandardButtons buttons) {
        return vtview::Message(window(), S(nId), QMessageBox::Question, buttons);
    };
    if (m_pCurrent) {
        if (ask(1538, QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
            return;
        CGroup* pGroup = m_pCurrent;
        for (int nRow = NextSelectedRow(-1); nRow >= 0; nRow = NextSelectedRow(nRow - 1)) {
            const std::int32_t nId = m_pModel->Record(nRow)->m_nId;
            m_pModel->Remove(nRow);
            m_pDoc->RemoveFromGroup(pGroup, nId);
        }
    } else {
        if (ask(1537, QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
            return;
        for (int nRow = NextSelectedRow(-1); nRow >= 0;) {
            CKw* pPc = m_pModel->Record(nRow);
            if (m_pDoc->IsInAnyGroup(pPc)) {
                const auto answer = ask(1536, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
                if (answer == QMessageBox::No) {
                    nRow = NextSelectedRow(nRow);
                    continue;
                }
                if (answer != QMessageBox::Yes)
                    break;
            }
            m_pModel->Remove(nRow);
            m_pDoc->DeletePc(pPc);
            nRow = NextSelectedRow(nRow - 1);
        }
    }
    emit commandStateChanged();
}

void CKwList::AddToGroup()
{
    if (!vtview::IsActiveView(this) || !HasSelection() || m_pDoc->m_groups.empty())
        return;
    CSelectGroupDlg dlg(window());
    for (const auto& pGroup : m_pDoc->m_groups)
        dlg.m_groupList.push_back(pGroup.get());
    if (dlg.exec() != QDialog::Accepted)
        return;
    for (CGroup* pGroup : dlg.m_groupList)
        if (!AddSelectedToGroup(pGroup))
            break;
}

bool CKwList::AddSelectedToGroup(CGroup* pGroup)
{
    if (!pGroup || pGroup == m_pCurrent)
        return true;
    for (CKw* pPc : SelectedRecords()) {
        if (pGroup->IsMember(pPc->m_nId))
            continue;
        if (pGroup->m_members.size() >= kMaxMembers) {
            vtview::Message(window(), S(1029), QMessageBox::Information);
            return false;
        }
        if (!m_pDoc->AddToGroup(pGroup, pPc->m_nId)) {
            vtview::Message(window(), S(1026), QMessageBox::Warning);
            return false;
        }
    }
    return true;
}

void CKwList::Options()
{
    CSettingsDlg dlg(window());
    dlg.m_dwInterface = vtsettings::InterfaceAddress();
    dlg.m_nPort = static_cast<unsigned>(vtsettings::Port());
    dlg.m_nReportType = m_nReportType;
    dlg.m_nInterval = m_nInterval;
    dlg.m_bConfirmOperation = vtsettings::ConfirmOperation();
    if (dlg.exec() != QDialog::Accepted)
        return;
    // Stored as a signed 32-bit number, as the other integer settings.
    WriteSetting("Interface", "IP Address", static_cast<int>(dlg.m_dwInterface));
    WriteSetting("Interface", "IP Port", static_cast<int>(dlg.m_nPort));
    WriteSetting("Settings", "Type", dlg.m_nReportType);
    WriteSetting("Settings", "Interval", dlg.m_nInterval);
    WriteSetting("Settings", "ConfirmOperation", dlg.m_bConfirmOperation ? 1 : 0);
    RestartPeriodicTimer(dlg.m_nReportType, dlg.m_nInterval);
}

QMenu* CKwList::BuildContextMenu(QWidget* pParent)
{
    auto* pMenu = new QMenu(pParent);
    auto add = [&](const QString& strText, int id) { vtview::AddCommandItem(pMenu, this, strText, id); };
    const bool bPowerOff = IsPowerOffEnabled();
    add(tr("Manual Registration"), ID_MANUAL_REGISTRATION);
    add(tr("Auto Registration"), ID_AUTO_REGISTRATION);
    add(tr("Edit Settings"), ID_EDIT_SETTINGS);
    add(tr("Delete"), ID_DELETE);
    pMenu->addSeparator();
    add(tr("Reboot"), ID_REBOOT);
    add(tr("Shutdown"), ID_SHUTDOWN);
    if (bPowerOff)
        add(tr("Power OFF", "plain"), ID_POWER_OFF);
    pMenu->addSeparator();
    add(tr("Forcible Reboot"), ID_FORCIBLE_REBOOT);
    add(tr("Forcible Shutdown"), ID_FORCIBLE_SHUTDOWN);
    if (bPowerOff)
        add(tr("Power OFF", "forcible"), ID_FORCED_POWER_OFF);
    pMenu->addSeparator();
    add(tr("Wake up"), ID_WAKE_UP);
    pMenu->addSeparator();
    add(tr("Reserve"), ID_RESERVE);
    pMenu->addSeparator();
    add(tr("Refresh"), ID_REFRESH);
    return pMenu;
}

void CKwList::contextMenuEvent(QContextMenuEvent* pEvent)
{
    pEvent->accept();
    if (m_bDragging || std::exchange(m_bSkipContextMenu, false))
        return;
    QMenu* pMenu = BuildContextMenu(this);
    QAction* pChosen = pMenu->exec(QCursor::pos());
    const int id = pChosen ? pChosen->data().toInt() : 0;
    delete pMenu;
    if (id != 0)
        RouteCommand(id);
}

CGpTree* CKwList::DropTargetAt(QPoint globalPos) const
{
    for (QWidget* p = QApplication::widgetAt(globalPos); p; p = p->parentWidget()) {
        if (auto* pTree = qobject_cast<CGpTree*>(p))
            return pTree->window() == window() ? pTree : nullptr;
        if (p->isWindow())
            break;
    }
    return nullptr;
}

void CKwList::BeginDrag(QPoint globalPos)
{
    if (m_bDragging || !HasSelection())
        return;
    const QPixmap pix = vtview::DragPixmap();
    QApplication::setOverrideCursor(QCursor(pix, kDragHotSpot.x(), kDragHotSpot.y()));
    viewport()->grabMouse();
    CGpTree* pTarget = DropTargetAt(globalPos);
    if (pTarget)
        pTarget->DragEnter(globalPos);
    m_ptDrag = globalPos;
    m_bDragging = true;
    m_pDropTarget = pTarget;
}

void CKwList::DragMoveTo(QPoint globalPos)
{
    if (!m_bDragging || globalPos == m_ptDrag)
        return;
    CGpTree* pTarget = DropTargetAt(globalPos);
    if (pTarget != m_pDropTarget) {
        if (m_pDropTarget)
            m_pDropTarget->DragLeave();
        if (pTarget)
            pTarget->DragEnter(globalPos);
        m_pDropTarget = pTarget;
    } else if (pTarget) {
        pTarget->DragOver(globalPos);
    }
    m_ptDrag = globalPos;
}

void CKwList::EndDrag(bool bDrop)
{
    if (!m_bDragging)
        return;
    // Cleared first, so that giving the mouse back is not taken for a cancel.
    m_bDragging = false;
    QApplication::restoreOverrideCursor();
    if (QWidget::mouseGrabber() == viewport())
        viewport()->releaseMouse();
    const QPointer<CGpTree> pTarget = m_pDropTarget;
    m_pDropTarget = nullptr;
    if (!pTarget)
        return;
    if (!bDrop) {
        pTarget->DragLeave();
        return;
    }
    if (CGroup* pGroup = pTarget->Drop())
        AddSelectedToGroup(pGroup);
}

void CKwList::startDrag(Qt::DropActions)
{
    BeginDrag(m_ptMouse);
}

void CKwList::mousePressEvent(QMouseEvent* pEvent)
{
    if (!m_bDragging) {
        m_bSkipContextMenu = false;
        QTableView::mousePressEvent(pEvent);
        return;
    }
    if (pEvent->button() == Qt::RightButton) {
        DragMoveTo(pEvent->globalPosition().toPoint());
        EndDrag(false);
        m_bSkipContextMenu = true;
    }
    pEvent->accept();
}

void CKwList::mouseMoveEvent(QMouseEvent* pEvent)
{
    if (!m_bDragging) {
        m_ptMouse = pEvent->globalPosition().toPoint(); // where a drag begins
        QTableView::mouseMoveEvent(pEvent);
        return;
    }
    if (QWidget::mouseGrabber() != viewport()) {
        // Somebody else took the mouse.
        DragMoveTo(pEvent->globalPosition().toPoint());
        EndDrag(false);
        QTableView::mouseMoveEvent(pEvent);
        return;
    }
    DragMoveTo(pEvent->globalPosition().toPoint());
    pEvent->accept();
}

void CKwList::mouseReleaseEvent(QMouseEvent* pEvent)
{
    if (!m_bDragging) {
        QTableView::mouseReleaseEvent(pEvent);
        return;
    }
    if (pEvent->button() == Qt::LeftButton) {
        DragMoveTo(pEvent->globalPosition().toPoint());
        EndDrag(true);
    }
    pEvent->accept();
}

bool CKwList::event(QEvent* pEvent)
{
    // While dragging, every key comes here instead of triggering a shortcut.
    // The type is tested first: child events arrive while the members are still
    // being constructed.
    if (pEvent->type() == QEvent::ShortcutOverride && m_bDragging) {
        pEvent->accept();
        return true;
    }
    return QTableView::event(pEvent);
}

void CKwList::keyPressEvent(QKeyEvent* pEvent)
{
    if (m_bDragging && (pEvent->key() == Qt::Key_Escape || !pEvent->text().isEmpty())) {
        DragMoveTo(QCursor::pos());
        EndDrag(false);
        pEvent->accept();
        return;
    }
    QTableView::keyPressEvent(pEvent);
}

void CKwList::focusOutEvent(QFocusEvent* pEvent)
{
    // Another window or a popup took over: the drag cannot go on.
    if (m_bDragging) {
        DragMoveTo(QCursor::pos());
        EndDrag(false);
    }
    QTableView::focusOutEvent(pEvent);
}
