#pragma once

#include <QMainWindow>
#include <QRect>
#include <QTimer>

#include <map>
#include <optional>

class CCommandTarget;
class CDoc;
class CGpTree;
class CKwList;
class QAction;
class QLabel;
class QMenu;
class QSplitter;
class QSystemTrayIcon;
class QToolBar;

/// @brief The program's only top-level window: menu, tool bar, status bar, the group
/// tree and the PC list side by side, and the task tray icon.
///
/// Every command is offered to the active view, then the other view, then handled
/// here or by the application. The frame also saves the document whenever it
/// changes, and keeps its position and tray state in the settings.
class CMainFrame final : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CMainFrame)
public:
    /// Stored window placement ("Window" section); right/bottom are exclusive.
    struct Placement {
        int sLeft = -1, sTop = -1, sRight = -1, sBottom = -1;
        int x = -1, y = -1, cx = -1, cy = -1;
    };

    CMainFrame(CDoc* pDoc, CCommandTarget* pApp, QWidget* pParent = nullptr);
    ~CMainFrame() override;

    /// Starts the views (the list starts the communication worker); false on failure.
    bool Create();
    /// Shows the frame unless it is to stay in the tray.
    void ShowAtStartUp();

    /// Enters or leaves the tray; refused (the open dialog comes forward) while a
    /// modal dialog is open. `bStore` writes Window/"Tray".
    void ToggleTray(bool bStore);
    bool IsInTray() const { return m_bTray; }

    /// Offers `id` to the views, the frame and the application; disabled commands
    /// are ignored.
    void DoCommand(int id);
    /// Whether anyone handles `id` and, if so, whether it is enabled now.
    bool IsCommandEnabled(int id);
    void UpdateCommandStates();

    /// Help > Contents: opens the help file of command 32792 / 32791 beside the program.
    void OpenHelp(int id);

    QAction* Action(int id) const;
    CGpTree* Tree() const { return m_pTree; }
    CKwList* List() const { return m_pList; }
    QToolBar* ToolBar() const { return m_pToolBar; }
    QLabel* ActivityPane() const { return m_pActivity; }
    QSystemTrayIcon* TrayIcon() const { return m_pTray; }
    QSplitter* Splitter() const { return m_pSplitter; }

    /// The geometry to restore, when the stored placement fits the work area.
    static std::optional<QRect> RestoredGeometry(const QRect& workArea, const Placement& placement);
    /// A stored "Tray" only hides the window where there is a tray to bring it back.
    static bool StartsInTray(int nStoredTray, bool bTrayAvailable);
    static bool TaskTrayEnabled(bool bTrayAvailable);
    /// Replaces the desktop's answer (tests); std::nullopt asks the desktop again.
    static void SetTrayAvailableForTesting(std::optional<bool> bAvailable);
    static bool TrayAvailable();

signals:
    /// The frame accepted a close: the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* pEvent) override;
    void showEvent(QShowEvent* pEvent) override;

private:
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void CreateTray();
    QAction* AddCommand(QMenu* pMenu, int id, const QString& strText, const QKeySequence& key = {});
    void ApplyPowerOffVisibility();
    void RestorePlacement();
    void SavePlacement();
    void SaveBarState();
    void RestoreBarState();
    bool FrameCommandEnabled(int id, bool* pEnabled) const;
    bool FrameCommand(int id);
    QWidget* ActiveViewWidget() const;
    void FocusOtherPane();
    void OnFocusChanged(QWidget* pOld, QWidget* pNow);
    void OnTrayTimer();
    void OnTick();
    void ScheduleSave();
    void SaveNow();
    bool SaveBeforeClose();

    CDoc* m_pDoc;
    CCommandTarget* m_pApp;
    bool m_bJapaneseMenu;
    bool m_bTray = false;

    QSplitter* m_pSplitter = nullptr;
    CGpTree* m_pTree = nullptr;
    CKwList* m_pList = nullptr;
    CCommandTarget* m_pActiveView = nullptr;
    QToolBar* m_pToolBar = nullptr;
    QLabel* m_pActivity = nullptr;
    QSystemTrayIcon* m_pTray = nullptr;
    QMenu* m_pTrayMenu = nullptr;
    std::map<int, QAction*> m_actions;

    QTimer m_trayTimer;
    QTimer m_updateTimer;
    QTimer m_retryTimer;
    bool m_bSavePosted = false;
    bool m_bSaving = false;
    bool m_bSaveFailReported = false;
    std::optional<QSize> m_pendingFrameSize;
};
