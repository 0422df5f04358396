#pragma once

#include "Commands.h"
#include "model/CDoc.h"

#include <QLineEdit>
#include <QPointer>
#include <QTreeWidget>

#include <utility>

class QMenu;

/// @brief The group tree (left pane): the root "PC in Network" for the whole roster
/// and one item per group. Its selection is the document's current selection.
///
/// Groups are created, renamed, deleted and given reservations here; operations and
/// Wake-on-LAN go to every PC of the roster or of one group. It is also the drop
/// target when rows of the PC list are dragged onto a group.
class CGpTree : public QTreeWidget, public CDocView, public CCommandTarget {
    Q_OBJECT
public:
    /// Item data roles: the picture index shown normally and while selected.
    static constexpr int ImageRole = Qt::UserRole + 1;
    static constexpr int SelectedImageRole = Qt::UserRole + 2;
    static constexpr int kMaxItems = 101;
    static constexpr int kMaxNameBytes = 64;
    /// What dragDropMessage reports, one per drop-target call.
    enum DropMessage { WM_TREE_DRAGENTER = 1324, WM_TREE_DRAGOVER, WM_TREE_DRAGLEAVE, WM_TREE_DROP };

    explicit CGpTree(CDoc* pDoc, QWidget* pParent = nullptr);
    ~CGpTree() override;
    CGpTree(const CGpTree&) = delete;
    CGpTree& operator=(const CGpTree&) = delete;

    void OnInitialUpdate();
    void OnUpdate(CDocView* pSender, int nHint, CGroup* pGroup) override;
    bool OnUpdateCommand(int id, bool* pEnabled) override;
    bool OnCommand(int id) override;

    /// (image, selected image): 3/1 without a pending reservation, 4/2 with one.
    static std::pair<int, int> GroupImage(const CGroup* pGroup);
    QTreeWidgetItem* RootItem() const { return m_pRoot; }
    QTreeWidgetItem* ItemOf(const CGroup* pGroup) const;
    static CGroup* GroupOf(const QTreeWidgetItem* pItem);
    CGroup* SelectedGroup() const;
    /// The label editor while a group name is being edited, else null.
    QLineEdit* LabelEditor() const { return m_pEditor; }

    void CreateGroup();
    void ChangeName();
    void DeleteGroup();
    void ReserveGroup();
    /// Sends a confirmed operation (its operation word) to the selected item's PCs; a busy
    /// worker delays it.
    void OperateSelection(std::uint32_t dwWord);
    void WakeSelection();
    /// Width the pane needs to show the root's text whole, in the current font.
    int ReadableWidth() const;
    /// The "TreeContext" popup, items enabled by this tree's rules.
    QMenu* BuildContextMenu(QWidget* pParent);

    // Drop target for rows dragged from the PC list (points in screen coordinates).
    void DragEnter(QPoint globalPos);
    void DragOver(QPoint globalPos);
    void DragLeave();
    /// The marked group (the mark is removed), or null when none or the root.
    CGroup* Drop();
    QTreeWidgetItem* DropTargetItem() const { return m_pDropItem; }

signals:
    /// Selection or state changed: command enabling should be re-evaluated.
    void commandStateChanged();
    /// A drop-target call arrived (DragEnter ... Drop), in the order they came.
    void dragDropMessage(int nMessage);

protected:
    void focusInEvent(QFocusEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void contextMenuEvent(QContextMenuEvent* pEvent) override;

private:
    class NameDelegate;
    friend class NameDelegate;

    bool WorkerIdle() const;
    bool WorkerBusy() const;
    void SetGroupImage(QTreeWidgetItem* pItem);
    QTreeWidgetItem* AddGroupItem(CGroup* pGroup);
    void OnSelectionChanged();
    void OnEndLabelEdit(QTreeWidgetItem* pItem, const QString& strText);
    void MarkDropTarget(QTreeWidgetItem* pItem);
    void MarkAt(QPoint globalPos);
    std::vector<CKw*> Targets() const;
    /// The selected item stands for at least one PC.
    bool HasTargets() const;
    int ItemCount() const;

    CDoc* m_pDoc;
    NameDelegate* m_pDelegate;
    QTreeWidgetItem* m_pRoot = nullptr;
    QTreeWidgetItem* m_pDropItem = nullptr;
    QPointer<QLineEdit> m_pEditor;
    int m_bFocusClick = 1;
    bool m_bFilling = false;
};
