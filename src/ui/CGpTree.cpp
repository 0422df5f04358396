#include "CGpTree.h"

#include "CReserveDlg.h"
#include "UiText.h"
#include "ViewSupport.h"
#include "net/CKwvtClient.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include <algorithm>

class CGpTree::NameDelegate final : public QStyledItemDelegate {
public:
    explicit NameDelegate(CGpTree* pTree) : QStyledItemDelegate(pTree), m_pTree(pTree) {}
    /// The tree is being destroyed: editors closed from now on concern nobody.
    void Detach() { m_pTree = nullptr; }

    QWidget* createEditor(QWidget* pParent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override
    {
        QWidget* pEditor = QStyledItemDelegate::createEditor(pParent, option, index);
        if (!m_pTree)
            return pEditor;
        m_pTree->m_pEditor = qobject_cast<QLineEdit*>(pEditor);
        emit m_pTree->commandStateChanged();
        return pEditor;
    }

    void destroyEditor(QWidget* pEditor, const QModelIndex& index) const override
    {
        QStyledItemDelegate::destroyEditor(pEditor, index);
        if (!m_pTree)
            return;
        if (m_pTree->m_pEditor == pEditor)
            m_pTree->m_pEditor = nullptr;
        emit m_pTree->commandStateChanged();
    }

    void setModelData(QWidget* pEditor, QAbstractItemModel*, const QModelIndex& index) const override
    {
        if (auto* pLine = qobject_cast<QLineEdit*>(pEditor); pLine && m_pTree)
            m_pTree->OnEndLabelEdit(m_pTree->itemFromIndex(index), pLine->text());
    }

private:
    CGpTree* m_pTree;
};

CGpTree::CGpTree(CDoc* pDoc, QWidget* pParent) : QTreeWidget(pParent), m_pDoc(pDoc)
{
    setColumnCount(1);
    header()->hide();
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIconSize(QSize(18, 17));
    m_pDelegate = new NameDelegate(this);
    setItemDelegate(m_pDelegate);
    connect(this, &QTreeWidget::itemSelectionChanged, this, &CGpTree::OnSelectionChanged);
    m_pDoc->AddView(this);
}

CGpTree::~CGpTree()
{
    // The base classes still close editors and drop the selection after this point.
    m_pDelegate->Detach();
    disconnect(this, &QTreeWidget::itemSelectionChanged, this, &CGpTree::OnSelectionChanged);
    m_pDoc->RemoveView(this);
}

std::pair<int, int> CGpTree::GroupImage(const CGroup* pGroup)
{
    const bool bPending =
        pGroup->m_reserveOff.m_timeNext != kNoTime || pGroup->m_reserveOn.m_timeNext != kNoTime;
    return bPending ? std::pair{4, 2} : std::pair{3, 1};
}

CGroup* CGpTree::GroupOf(const QTreeWidgetItem* pItem)
{
    return pItem ? static_cast<CGroup*>(pItem->data(0, Qt::UserRole).value<void*>()) : nullptr;
}

QTreeWidgetItem* CGpTree::ItemOf(const CGroup* pGroup) const
{
    if (!m_pRoot || !pGroup)
        return nullptr;
    for (int i = 0; i < m_pRoot->childCount(); ++i)
        if (GroupOf(m_pRoot->child(i)) == pGroup)
            return m_pRoot->child(i);
    return nullptr;
}

CGroup* CGpTree::SelectedGroup() const
{
    const QList<QTreeWidgetItem*> items = selectedItems();
    return items.isEmpty() ? nullptr : GroupOf(items.first());
}

int CGpTree::ItemCount() const
{
    return m_pRoot ? 1 + m_pRoot->childCount() : 0;
}

bool CGpTree::WorkerIdle() const
{
    return m_pDoc->m_pClient && !m_pDoc->m_pClient->m_bBusy;
}

bool CGpTree::WorkerBusy() const
{
    return m_pDoc->m_pClient && m_pDoc->m_pClient->m_bBusy;
}

void CGpTree::SetGroupImage(QTreeWidgetItem* pItem)
{
    const auto [nImage, nSelected] = GroupImage(GroupOf(pItem));
    pItem->setIcon(0, vtview::TreeIcon(nImage, nSelected));
    pItem->setData(0, ImageRole, nImage);
    pItem->setData(0, SelectedImageRole, nSelected);
}

QTreeWidgetItem* CGpTree::AddGroupItem(CGroup* pGroup)
{
    auto* pItem = new QTreeWidgetItem(m_pRoot, QStringList{QString::fromStdString(pGroup->m_strName)});
    pItem->setData(0, Qt::UserRole, QVariant::fromValue<void*>(pGroup));
    pItem->setFlags(pItem->flags() | Qt::ItemIsEditable);
    SetGroupImage(pItem);
    return pItem;
}

void CGpTree::OnInitialUpdate()
{
    setUpdatesEnabled(false);
    m_bFilling = true;
    m_pDropItem = nullptr;
    clear();
    m_pRoot = new QTreeWidgetItem(this, QStringList{S(2048)});
    m_pRoot->setData(0, Qt::UserRole, QVariant::fromValue<void*>(nullptr));
    m_pRoot->setIcon(0, vtview::TreeIcon(0, 0));
    m_pRoot->setData(0, ImageRole, 0);
    m_pRoot->setData(0, SelectedImageRole, 0);
    m_pRoot->setFlags(m_pRoot->flags() & ~Qt::ItemIsEditable);
    for (const auto& pGroup : m_pDoc->m_groups)
        AddGroupItem(pGroup.get());
    expandItem(m_pRoot);
    m_bFilling = false;
    setCurrentItem(m_pRoot);
    OnSelectionChanged();
    setUpdatesEnabled(true);
    viewport()->update();
}

void CGpTree::OnUpdate(CDocView*, int nHint, CGroup* pGroup)
{
    if (nHint != 0)
        return;
    if (QTreeWidgetItem* pItem = ItemOf(pGroup))
        setCurrentItem(pItem);
}

void CGpTree::OnSelectionChanged()
{
    if (m_bFilling)
        return;
    m_pDoc->SetCurrent(SelectedGroup(), this);
    emit commandStateChanged();
}

bool CGpTree::OnUpdateCommand(int id, bool* pEnabled)
{
    const bool bAnyItem = !selectedItems().isEmpty();
    const bool bGroup = SelectedGroup() != nullptr;
    switch (id) {
    case ID_CREATE_GROUP:
        *pEnabled = ItemCount() >= 1 && ItemCount() <= 100;
        return true;
    case ID_CHANGE_NAME:
        *pEnabled = vtview::IsActiveView(this) && bGroup;
        return true;
    case ID_DELETE:
        *pEnabled = m_pEditor || (!WorkerBusy() && bGroup);
        return true;
    case ID_RESERVE:
        *pEnabled = bGroup;
        return true;
    case ID_EDIT_SELECT_ALL:
        *pEnabled = m_pEditor != nullptr;
        return true;
    case ID_REBOOT:
    case ID_FORCIBLE_REBOOT:
    case ID_SHUTDOWN:
    case ID_POWER_OFF:
    case ID_FORCIBLE_SHUTDOWN:
    case ID_FORCED_POWER_OFF:
        *pEnabled = WorkerIdle() && bAnyItem && HasTargets();
        return true;
    case ID_WAKE_UP:
        *pEnabled = !WorkerBusy() && bAnyItem && HasTargets();
        return true;
    default:
        return false;
    }
}

bool CGpTree::OnCommand(int id)
{
    if (const auto word = OperationWordOf(id)) {
        const std::vector<CKw*> targets = Targets();
        if (!WorkerIdle() || targets.empty())
            return true;
        vtview::OperationTarget target;
        target.nCount = static_cast<int>(targets.size());
        if (targets.size() == 1)
            target.strOnlyPc = QString::fromStdString(targets.front()->m_strName);
        if (const CGroup* pGroup = SelectedGroup()) {
            target.kind = vtview::OperationTarget::Group;
            target.strGroup = QString::fromStdString(pGroup->m_strName);
        } else {
            target.kind = vtview::OperationTarget::Roster;
        }
        if (vtview::ConfirmOperation(window(), id, target))
            OperateSelection(*word);
        return true;
    }
    switch (id) {
    case ID_CREATE_GROUP:
        CreateGroup();
        return true;
    case ID_CHANGE_NAME:
        ChangeName();
        return true;
    case ID_DELETE:
        DeleteGroup();
        return true;
    case ID_RESERVE:
        ReserveGroup();
        return true;
    case ID_EDIT_SELECT_ALL:
        if (m_pEditor)
            m_pEditor->selectAll();
        return true;
    case ID_WAKE_UP:
        WakeSelection();
        return true;
    default:
        return false;
    }
}

void CGpTree::CreateGroup()
{
    if (!m_pRoot)
        return;
    CGroup* pGroup = m_pDoc->AddGroup(vtstr::LoadString(2049));
    if (!pGroup) {
        vtview::Message(window(), S(1026), QMessageBox::Warning);
        return;
    }
    QTreeWidgetItem* pItem = AddGroupItem(pGroup);
    setCurrentItem(pItem);
    scrollToItem(pItem);
    editItem(pItem, 0);
}

void CGpTree::ChangeName()
{
    const QList<QTreeWidgetItem*> items = selectedItems();
    if (!items.isEmpty() && GroupOf(items.first()))
        editItem(items.first(), 0);
}

void CGpTree::OnEndLabelEdit(QTreeWidgetItem* pItem, const QString& strText)
{
    CGroup* pGroup = GroupOf(pItem);
    if (!pGroup)
        return;
    const QByteArray bytes = strText.toUtf8();
    if (bytes.isEmpty() || bytes.size() > kMaxNameBytes) {
        // The editor is still closing: report once it is gone.
        QMetaObject::invokeMethod(
            this, [this] { vtview::Message(window(), S(1036), QMessageBox::Information); },
            Qt::QueuedConnection);
        return;
    }
    pGroup->m_strName = bytes.toStdString();
    m_pDoc->SetModifiedFlag(true);
    pItem->setText(0, strText);
}

void CGpTree::DeleteGroup()
{
    if (m_pEditor) {
        m_pEditor->del();
        return;
    }
    const QList<QTreeWidgetItem*> items = selectedItems();
    CGroup* pGroup = items.isEmpty() ? nullptr : GroupOf(items.first());
    if (WorkerBusy() || !pGroup)
        return;
    if (vtview::Message(window(), S(1539), QMessageBox::Question, QMessageBox::Yes | QMessageBox::No) !=
        QMessageBox::Yes)
        return;
    QTreeWidgetItem* pItem = items.first();
    const int nIndex = m_pRoot->indexOfChild(pItem);
    QTreeWidgetItem* pNext = m_pRoot->child(nIndex + 1);
    if (!pNext)
        pNext = nIndex > 0 ? m_pRoot->child(nIndex - 1) : m_pRoot;
    setCurrentItem(pNext);
    if (m_pDropItem == pItem)
        m_pDropItem = nullptr;
    delete pItem;
    m_pDoc->DeleteGroup(pGroup);
    emit commandStateChanged();
}

void CGpTree::ReserveGroup()
{
    const QList<QTreeWidgetItem*> items = selectedItems();
    CGroup* pGroup = items.isEmpty() ? nullptr : GroupOf(items.first());
    if (!pGroup)
        return;
    CReserveDlg dlg(window());
    dlg.m_reserveOff.Assign(pGroup->m_reserveOff);
    dlg.m_reserveOn.Assign(pGroup->m_reserveOn);
    if (dlg.exec() != QDialog::Accepted)
        return;
    m_pDoc->SetGroupReserves(pGroup, dlg.m_reserveOff, dlg.m_reserveOn);
    if (QTreeWidgetItem* pItem = ItemOf(pGroup))
        SetGroupImage(pItem);
    m_pDoc->UpdateAllViews(this, 1, nullptr);
}

std::vector<CKw*> CGpTree::Targets() const
{
    std::vector<CKw*> targets;
    const QList<QTreeWidgetItem*> items = selectedItems();
    if (items.isEmpty())
        return targets;
    if (const CGroup* pGroup = GroupOf(items.first())) {
        for (std::int32_t nId : pGroup->m_members)
            if (CKw* pPc = m_pDoc->FindPcById(nId))
                targets.push_back(pPc);
    } else {
        for (const auto& pPc : m_pDoc->m_pcs)
            targets.push_back(pPc.get());
    }
    return targets;
}

bool CGpTree::HasTargets() const
{
    const QList<QTreeWidgetItem*> items = selectedItems();
    if (items.isEmpty())
        return false;
    const CGroup* pGroup = GroupOf(items.first());
    if (!pGroup)
        return !m_pDoc->m_pcs.empty();
    return std::any_of(pGroup->m_members.begin(), pGroup->m_members.end(),
                       [this](std::int32_t nId) { return m_pDoc->FindPcById(nId) != nullptr; });
}

int CGpTree::ReadableWidth() const
{
    ensurePolished();
    QStyleOptionViewItem opt;
    initViewItemOption(&opt);
    opt.features = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
    opt.decorationSize = iconSize();
    opt.text = S(2048);
    const int nItem = style()->sizeFromContents(QStyle::CT_ItemViewItem, &opt, QSize(), this).width();
    // Room for the scroll bar too, so that many groups do not cut the text.
    const int nScrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, verticalScrollBar());
    return indentation() + nItem + nScrollBar + 2 * frameWidth();
}

void CGpTree::OperateSelection(std::uint32_t dwWord)
{
    const std::vector<CKw*> targets = Targets();
    if (targets.empty())
        return;
    auto [addresses, codes] = vtview::OperationLists(targets, dwWord);
    vtview::SendConfirmedOperation(this, m_pDoc, std::move(addresses), std::move(codes),
                                   [this] { emit commandStateChanged(); });
}

void CGpTree::WakeSelection()
{
    if (WorkerBusy() || selectedItems().isEmpty())
        return;
    const std::vector<CKw*> targets = Targets();
    if (targets.empty())
        return;
    std::vector<std::uint8_t> macs;
    std::vector<std::uint32_t> broadcasts;
    for (const CKw* pPc : targets) {
        std::uint8_t mac[6];
        pPc->GetMac(mac);
        if (!IsUsableMac(mac))
            continue;
        macs.insert(macs.end(), mac, mac + 6);
        broadcasts.push_back(pPc->m_dwBroadcast);
    }
    CKwvtClient::WakeUp(macs, broadcasts);
}

QMenu* CGpTree::BuildContextMenu(QWidget* pParent)
{
    auto* pMenu = new QMenu(pParent);
    auto add = [&](const QString& strText, int id) { vtview::AddCommandItem(pMenu, this, strText, id); };
    const bool bPowerOff = IsPowerOffEnabled();
    add(tr("Create Group"), ID_CREATE_GROUP);
    add(tr("Delete"), ID_DELETE);
    pMenu->addSeparator();
    add(tr("Reboot"), ID_REBOOT);
    add(tr("Shutdown"), ID_SHUTDOWN);
    if (bPowerOff)
        add(tr("Powoer OFF"), ID_POWER_OFF);
    pMenu->addSeparator();
    add(tr("Forcible Reboot"), ID_FORCIBLE_REBOOT);
    add(tr("Forcible Shutdown"), ID_FORCIBLE_SHUTDOWN);
    if (bPowerOff)
        add(tr("Power OFF"), ID_FORCED_POWER_OFF);
    pMenu->addSeparator();
    add(tr("Wake up"), ID_WAKE_UP);
    pMenu->addSeparator();
    add(tr("Reserve"), ID_RESERVE);
    return pMenu;
}

void CGpTree::contextMenuEvent(QContextMenuEvent* pEvent)
{
    if (QTreeWidgetItem* pItem = itemAt(viewport()->mapFromGlobal(QCursor::pos())))
        setCurrentItem(pItem);
    QMenu* pMenu = BuildContextMenu(this);
    QAction* pChosen = pMenu->exec(QCursor::pos());
    const int id = pChosen ? pChosen->data().toInt() : 0;
    delete pMenu;
    if (id != 0)
        RouteCommand(id);
    pEvent->accept();
}

void CGpTree::focusInEvent(QFocusEvent* pEvent)
{
    m_bFocusClick = 1;
    QTreeWidget::focusInEvent(pEvent);
}

void CGpTree::mousePressEvent(QMouseEvent* pEvent)
{
    if (pEvent->button() == Qt::LeftButton || pEvent->button() == Qt::RightButton) {
        if (m_bFocusClick) {
            setEditTriggers(QAbstractItemView::NoEditTriggers);
            m_bFocusClick = 0;
        } else {
            setEditTriggers(QAbstractItemView::SelectedClicked);
        }
    }
    QTreeWidget::mousePressEvent(pEvent);
}

void CGpTree::MarkDropTarget(QTreeWidgetItem* pItem)
{
    if (pItem == m_pDropItem)
        return;
    if (m_pDropItem) {
        m_pDropItem->setData(0, Qt::BackgroundRole, QVariant());
        m_pDropItem->setData(0, Qt::ForegroundRole, QVariant());
    }
    m_pDropItem = pItem;
    if (m_pDropItem) {
        m_pDropItem->setBackground(0, palette().brush(QPalette::Active, QPalette::Highlight));
        m_pDropItem->setForeground(0, palette().brush(QPalette::Active, QPalette::HighlightedText));
    }
}

void CGpTree::MarkAt(QPoint globalPos)
{
    QTreeWidgetItem* pItem = itemAt(viewport()->mapFromGlobal(globalPos));
    MarkDropTarget(pItem && pItem != m_pRoot ? pItem : nullptr);
}

void CGpTree::DragEnter(QPoint globalPos)
{
    emit dragDropMessage(WM_TREE_DRAGENTER);
    MarkAt(globalPos);
}

void CGpTree::DragOver(QPoint globalPos)
{
    emit dragDropMessage(WM_TREE_DRAGOVER);
    MarkAt(globalPos);
}

void CGpTree::DragLeave()
{
    emit dragDropMessage(WM_TREE_DRAGLEAVE);
    MarkDropTarget(nullptr);
}

CGroup* CGpTree::Drop()
{
    emit dragDropMessage(WM_TREE_DROP);
    if (!m_pDropItem || m_pDropItem == m_pRoot)
        return nullptr;
    CGroup* pGroup = GroupOf(m_pDropItem);
    MarkDropTarget(nullptr);
    return pGroup;
}
