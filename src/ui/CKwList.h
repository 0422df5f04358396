#pragma once

#include "CGpTree.h"
#include "Commands.h"
#include "ViewSupport.h"
#include "model/CDoc.h"
#include "net/CKwvtClient.h"

#include <QPointer>
#include <QTableView>
#include <QTimer>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class CClientBridge;
class CKwListModel;
class QMenu;

/// @brief The PC list (right pane): the whole roster or the members of the current
/// group, the power operations, Wake-on-LAN, Refresh and Reserve on the selected PCs,
/// and the handling of everything the communication worker reports.
///
/// Creating the list starts the worker through the document; destroying it stops the
/// worker. A periodic status timer (mode 2) and a one-second reservation check run on
/// the user-interface thread.
///
/// Rows are registered, edited, deleted and added to groups here, and dragged onto a
/// group of the tree: while a drag runs the list holds the mouse and tells the tree
/// under the cursor DragEnter, DragOver, DragLeave and Drop, in that order.
class CKwList : public QTableView, public CDocView, public CCommandTarget {
    Q_OBJECT
public:
    explicit CKwList(CDoc* pDoc, QWidget* pParent = nullptr);
    ~CKwList() override;
    CKwList(const CKwList&) = delete;
    CKwList& operator=(const CKwList&) = delete;

    /// Starts the communication worker; false when it cannot be started.
    bool Create();
    void OnInitialUpdate();
    void OnUpdate(CDocView* pSender, int nHint, CGroup* pGroup) override;
    bool OnUpdateCommand(int id, bool* pEnabled) override;
    bool OnCommand(int id) override;

    // Rows
    void FillList();
    int InsertPcRow(CKw* pPc);
    int InsertMemberRow(std::int32_t nId);
    void UpdateRows();
    CGroup* CurrentGroup() const { return m_pCurrent; }
    CKwListModel* Model() const { return m_pModel; }
    /// Records of the selected rows, first row first.
    std::vector<CKw*> SelectedRecords() const;
    /// Selected row numbers, ascending.
    std::vector<int> SelectedRows() const;

    // Sorting (a header click)
    void OnColumnClick(int nColumn);
    /// Widths that fit every header and the widest text each column can show, in the
    /// current font; never narrower than the classic widths in average characters.
    std::vector<int> ComputedColumnWidths() const;
    std::vector<int> ColumnWidths() const;
    /// The text shown in the empty list while no PC is registered; empty otherwise.
    QString EmptyHint() const;
    /// Where the focus frame of the current row is drawn (viewport coordinates).
    QRect RowFocusRect() const;
    int SortColumn() const { return m_nSortColumn; }
    bool SortDescending() const { return m_bSortDescending; }

    // Timers
    int ReportType() const { return m_nReportType; }
    int Interval() const { return m_nInterval; }
    /// Takes a new status report mode and interval and restarts the periodic timer.
    void RestartPeriodicTimer(int nReportType, int nInterval);
    /// Period of the running periodic timer in milliseconds, 0 when none runs.
    int PeriodicTimerPeriod() const;
    bool IsCheckTimerActive() const;

    // Operations
    /// Sends a confirmed operation (its operation word) to the selected PCs; a busy worker
    /// delays it.
    void OperateSelected(std::uint32_t dwWord);
    void WakeSelected();
    void Refresh();
    void ReserveSelected();
    /// The one-second check: sends what has come due (the worker must be idle).
    void FireDueReservations();

    // Registration and editing
    void ManualRegistration();
    void AutoRegistration();
    void EditSettings();
    void DeleteSelected();
    void AddToGroup();
    /// Adds the selected PCs to `pGroup`; false after a refusal that was reported.
    bool AddSelectedToGroup(CGroup* pGroup);
    /// Settings dialog; on OK its settings are stored and the timer restarted.
    void Options();
    /// The "ListContext" popup, items enabled by this list's rules.
    QMenu* BuildContextMenu(QWidget* pParent);

    // Dragging rows onto a group of the tree (screen coordinates)
    void BeginDrag(QPoint globalPos);
    void DragMoveTo(QPoint globalPos);
    /// Ends a running drag: with `bDrop` the tree's marked group gets the selection.
    void EndDrag(bool bDrop);
    bool IsDragging() const { return m_bDragging; }
    CGpTree* DropTarget() const { return m_pDropTarget; }
    /// The group tree of this window at a screen point, or null.
    CGpTree* DropTargetAt(QPoint globalPos) const;

    /// One report of the worker, on the user-interface thread.
    void OnClientMessage(int nMsg, qintptr wParam, qintptr lParam);
    CClientBridge* Bridge() const { return m_pBridge; }

    // Test seams
    /// Used by Create() instead of the document's default worker when set.
    static void SetClientHooksForTesting(std::optional<ClientHooks> hooks);
    /// Where result records come from; empty = the worker's PopResult.
    void SetResultSourceForTesting(std::function<std::string()> fn) { m_fnPopResult = std::move(fn); }
    using SettingWriter = std::function<void(const char* section, const char* key, int nValue)>;
    /// Where Options writes its settings; empty = vtsettings::WriteInt.
    static void SetSettingWriterForTesting(SettingWriter fn);

signals:
    /// Selection or worker state changed: command enabling should be re-evaluated.
    void commandStateChanged();

protected:
    bool event(QEvent* pEvent) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void focusOutEvent(QFocusEvent* pEvent) override;
    void contextMenuEvent(QContextMenuEvent* pEvent) override;
    void paintEvent(QPaintEvent* pEvent) override;

private:
    class RowFocusDelegate;

    void ApplyColumnWidths(const std::vector<int>& widths);
    void SaveColumnWidths();
    void UpdateEmptyHint();
    vtview::OperationTarget SelectionTarget() const;
    bool WorkerIdle() const;
    bool WorkerBusy() const;
    std::string PopResult();
    void PostRefresh();
    void RefreshWhenIdle(int nTriesLeft);
    void OnPcStatus(qintptr wParam, qintptr lParam);
    void OnOperated(qintptr wParam, qintptr lParam);
    void ShowWorkerError(qintptr nCode);
    void OnPeriodicTimer();
    void OnCheckTimer();
    int NextSelectedRow(int nAfter) const;
    bool HasSelection() const;

    CDoc* m_pDoc;
    CKwListModel* m_pModel;
    CClientBridge* m_pBridge = nullptr;
    CGroup* m_pCurrent = nullptr;
    QTimer m_periodicTimer;
    QTimer m_checkTimer;
    int m_nReportType;
    int m_nInterval;
    int m_nSortColumn = -1;
    bool m_bSortDescending = false;
    std::function<std::string()> m_fnPopResult;
    QPoint m_ptMouse;
    QPoint m_ptDrag;
    bool m_bDragging = false;
    QPointer<CGpTree> m_pDropTarget;
    bool m_bSkipContextMenu = false;
    bool m_bHintShown = false;
    QTimer m_columnSaveTimer;
};
