#include "CMainFrame.h"

#include <algorithm>
#include <QLineEdit> // before CGpTree.h, which uses it in an inline function

#include "CGpTree.h"
#include "CKwList.h"
#include "CServerApp.h"
#include "Commands.h"
#include "UiText.h"
#include "app/Settings.h"
#include "model/CDoc.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QToolBar>
#include <QUrl>

namespace {

constexpr int kTrayTimerMs = 1000;
constexpr int kUpdateTimerMs = 200;
constexpr int kSaveRetryMs = 5000;
constexpr int kTreeWidth = 150;
constexpr int kListWidth = 200;

std::optional<bool>& TrayOverride()
{
    static std::optional<bool> bAvailable;
    return bAvailable;
}

QString FirstLine(const QString& str)
{
    return str.section(QLatin1Char('\n'), 0, 0);
}

} // namespace

CMainFrame::CMainFrame(CDoc* pDoc, CCommandTarget* pApp, QWidget* pParent)
    : QMainWindow(pParent)
    , m_pDoc(pDoc)
    , m_pApp(pApp)
    , m_bJapaneseMenu(vtstr::CurrentLanguage() == vtstr::Language::Japanese)
{
    setWindowTitle(FirstLine(S(128)));
    m_bTray = StartsInTray(vtsettings::ReadInt("Window", "Tray", 0), TrayAvailable());

    m_pSplitter = new QSplitter(Qt::Horizontal, this);
    m_pTree = new CGpTree(m_pDoc, m_pSplitter);
    m_pList = new CKwList(m_pDoc, m_pSplitter);
    m_pSplitter->addWidget(m_pTree);
    m_pSplitter->addWidget(m_pList);
    m_pSplitter->setStretchFactor(1, 1);
    m_pSplitter->setSizes({std::max(kTreeWidth, m_pTree->ReadableWidth()), kListWidth});
    m_pSplitter->setChildrenCollapsible(false);
    setCentralWidget(m_pSplitter);
    m_pActiveView = m_pTree;

    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    CreateTray();

    connect(qApp, &QApplication::focusChanged, this, &CMainFrame::OnFocusChanged);
    connect(m_pTree, &CGpTree::commandStateChanged, this, &CMainFrame::OnTick);
    connect(m_pList, &CKwList::commandStateChanged, this, &CMainFrame::OnTick);
    SetCommandRouter([this](int id) { DoCommand(id); });

    m_pDoc->m_fnModified = [this] { ScheduleSave(); };
    m_retryTimer.setInterval(kSaveRetryMs);
    connect(&m_retryTimer, &QTimer::timeout, this, &CMainFrame::SaveNow);

    m_trayTimer.setInterval(kTrayTimerMs);
    connect(&m_trayTimer, &QTimer::timeout, this, &CMainFrame::OnTrayTimer);
    m_trayTimer.start();
    m_updateTimer.setInterval(kUpdateTimerMs);
    connect(&m_updateTimer, &QTimer::timeout, this, &CMainFrame::OnTick);
    m_updateTimer.start();

    RestorePlacement();
    RestoreBarState();
    OnTick();
}

CMainFrame::~CMainFrame()
{
    m_trayTimer.stop();
    m_updateTimer.stop();
    m_retryTimer.stop();
    m_pDoc->m_fnModified = nullptr;
    SetCommandRouter(nullptr);
    disconnect(qApp, &QApplication::focusChanged, this, &CMainFrame::OnFocusChanged);
    if (m_pTray)
        m_pTray->hide();
}

bool CMainFrame::Create()
{
    if (!m_pList->Create())
        return false;
    m_pTree->OnInitialUpdate();
    m_pList->OnInitialUpdate();
    m_pTray->show();
    OnTick();
    return true;
}

void CMainFrame::ShowAtStartUp()
{
    if (m_bTray)
        return;
    show();
    m_pTree->setFocus(Qt::OtherFocusReason);
}

QAction* CMainFrame::AddCommand(QMenu* pMenu, int id, const QString& strText, const QKeySequence& key)
{
    auto* pAction = new QAction(strText, this);
    const QString strPrompt = S(static_cast<unsigned>(id));
    pAction->setStatusTip(FirstLine(strPrompt));
    const QString strTip = strPrompt.section(QLatin1Char('\n'), 1, 1);
    if (!strTip.isEmpty())
        pAction->setToolTip(strTip);
    if (!key.isEmpty())
        pAction->setShortcut(key);
    pAction->setIconVisibleInMenu(false);
    connect(pAction, &QAction::triggered, this, [this, id] { DoCommand(id); });
    if (pMenu)
        pMenu->addAction(pAction);
    m_actions[id] = pAction;
    return pAction;
}

void CMainFrame::CreateMenus()
{
    QMenuBar* pBar = menuBar();

    QMenu* pFile = pBar->addMenu(tr("&File"));
    AddCommand(pFile, ID_APP_EXIT, tr("E&xit"));

    QMenu* pEdit = pBar->addMenu(tr("&Edit"));
    AddCommand(pEdit, ID_EDIT_SELECT_ALL, tr("Select &All\tCtrl+A"), QKeySequence(Qt::CTRL | Qt::Key_A));
    pEdit->addSeparator();
    AddCommand(pEdit, ID_MANUAL_REGISTRATION, tr("&Manual Registration"));
    AddCommand(pEdit, ID_AUTO_REGISTRATION, tr("Auto &Registration"));
    pEdit->addSeparator();
    AddCommand(pEdit, ID_CREATE_GROUP, tr("Create &Group"), QKeySequence(Qt::CTRL | Qt::Key_N));
    AddCommand(pEdit, ID_ADD_TO_GROUP, tr("Add &to Group"));
    pEdit->addSeparator();
    AddCommand(pEdit, ID_EDIT_SETTINGS, tr("Edit &Settings"));
    pEdit->addSeparator();
    AddCommand(pEdit, ID_CHANGE_NAME, tr("Change &Name\tF2"), QKeySequence(Qt::Key_F2));
    AddCommand(pEdit, ID_DELETE, tr("&Delete\tDelete"), QKeySequence(Qt::Key_Delete));

    QMenu* pView = pBar->addMenu(tr("&View"));
    AddCommand(pView, ID_VIEW_TOOLBAR, tr("&Tool Bar"))->setCheckable(true);
    AddCommand(pView, ID_VIEW_STATUS_BAR, tr("&Status Bar"))->setCheckable(true);
    pView->addSeparator();
    AddCommand(pView, ID_TASK_TRAY, tr("Task Tra&y\tCtrl+V"), QKeySequence(Qt::CTRL | Qt::Key_V));
    pView->addSeparator();
    AddCommand(pView, ID_REFRESH, tr("&Refresh\tF5"), QKeySequence(Qt::Key_F5));

    QMenu* pOperation = pBar->addMenu(tr("&Operation"));
    AddCommand(pOperation, ID_REBOOT, tr("Re&boot"));
    AddCommand(pOperation, ID_SHUTDOWN, tr("&Shutdown"));
    if (m_bJapaneseMenu)
        AddCommand(pOperation, ID_POWER_OFF, tr("&Power OFF"));
    pOperation->addSeparator();
    AddCommand(pOperation, ID_FORCIBLE_REBOOT, tr("Forcible Reboot"));
    AddCommand(pOperation, ID_FORCIBLE_SHUTDOWN, tr("Forcible Shutdown"));
    if (m_bJapaneseMenu)
        AddCommand(pOperation, ID_FORCED_POWER_OFF, tr("Forced Power OFF"));
    pOperation->addSeparator();
    AddCommand(pOperation, ID_WAKE_UP, tr("&Wake up"));
    pOperation->addSeparator();
    AddCommand(pOperation, ID_RESERVE, tr("&Reserve"));

    QMenu* pSettings = pBar->addMenu(tr("&Settings"));
    AddCommand(pSettings, ID_PASSWORD, tr("&Password"));
    AddCommand(pSettings, ID_OPTIONS, tr("&Options"));

    QMenu* pHelp = pBar->addMenu(tr("&Help"));
    AddCommand(pHelp, m_bJapaneseMenu ? ID_HELP_CONTENTS_J : ID_HELP_CONTENTS_E, tr("&Contents"));
    AddCommand(pHelp, ID_APP_ABOUT, tr("&About"));

    for (QMenu* pMenu : {pFile, pEdit, pView, pOperation, pSettings, pHelp}) {
        connect(pMenu, &QMenu::aboutToShow, this, [this] {
            UpdateCommandStates();
            ApplyPowerOffVisibility();
        });
    }
    ApplyPowerOffVisibility();

    // The pane keys have no menu item.
    addAction(AddCommand(nullptr, ID_NEXT_PANE, QString(), QKeySequence(Qt::Key_F6)));
    addAction(AddCommand(nullptr, ID_PREV_PANE, QString(), QKeySequence(Qt::SHIFT | Qt::Key_F6)));
}

void CMainFrame::CreateToolBar()
{
    m_pToolBar = new QToolBar(tr("Tool Bar"), this);
    m_pToolBar->setObjectName(QStringLiteral("ToolBar"));
    m_pToolBar->setIconSize(QSize(16, 16));
    m_pToolBar->setMovable(true);
    m_pToolBar->setFloatable(true);
    m_pToolBar->setAllowedAreas(Qt::AllToolBarAreas);
    addToolBar(Qt::TopToolBarArea, m_pToolBar);

    const struct {
        int id;
        const char* icon;
    } buttons[] = {
        {ID_AUTO_REGISTRATION, "auto_registration"},
        {0, nullptr},
        {ID_CREATE_GROUP, "create_group"},
        {ID_ADD_TO_GROUP, "add_to_group"},
        {ID_REFRESH, "refresh"},
        {0, nullptr},
        {ID_DELETE, "delete"},
        {0, nullptr},
        {ID_REBOOT, "reboot"},
        {ID_SHUTDOWN, "shutdown"},
        {ID_WAKE_UP, "wake_up"},
    };
    for (const auto& button : buttons) {
        if (!button.icon) {
            m_pToolBar->addSeparator();
            continue;
        }
        QAction* pAction = m_actions.at(button.id);
        pAction->setIcon(QIcon(QStringLiteral(":/shell/%1.svg").arg(QLatin1String(button.icon))));
        m_pToolBar->addAction(pAction);
    }
}

void CMainFrame::CreateStatusBar()
{
    QStatusBar* pStatus = statusBar();
    m_pActivity = new QLabel(pStatus);
    // Sized by the 24-hyphen string, but never narrower than the busy texts it shows:
    // in a proportional font the hyphens are narrower than those texts.
    const QFontMetrics metrics = m_pActivity->fontMetrics();
    int nWidth = metrics.horizontalAdvance(S(59142));
    for (unsigned id : {2057u, 2058u, 2059u})
        nWidth = std::max(nWidth, metrics.horizontalAdvance(S(id)));
    m_pActivity->setFixedWidth(nWidth + 2 * m_pActivity->margin() + 8);
    pStatus->addPermanentWidget(m_pActivity);
    connect(pStatus, &QStatusBar::messageChanged, this, [pStatus](const QString& strMessage) {
        if (strMessage.isEmpty())
            pStatus->showMessage(S(57345));
    });
    pStatus->showMessage(S(57345));
}

void CMainFrame::CreateTray()
{
    m_pTray = new QSystemTrayIcon(QIcon(QStringLiteral(":/shell/tray.svg")), this);
    m_pTray->setToolTip(S(57344));

    m_pTrayMenu = new QMenu(this);
    QAction* pExit = m_pTrayMenu->addAction(S(129));
    m_pTrayMenu->addSeparator();
    m_pTrayMenu->addAction(S(130));
    connect(pExit, &QAction::triggered, this, [this] {
        if (!QApplication::activeModalWidget())
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    });
    // No menu while a dialog waits for an answer: the dialog comes forward instead.
    connect(m_pTrayMenu, &QMenu::aboutToShow, this, [this] {
        if (QWidget* pModal = QApplication::activeModalWidget()) {
            pModal->raise();
            pModal->activateWindow();
            QTimer::singleShot(0, m_pTrayMenu, &QMenu::close);
        }
    });
    m_pTray->setContextMenu(m_pTrayMenu);
    connect(m_pTray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            ToggleTray(true);
    });
}

void CMainFrame::ApplyPowerOffVisibility()
{
    for (int id : {ID_POWER_OFF, ID_FORCED_POWER_OFF}) {
        if (QAction* pAction = Action(id))
            pAction->setVisible(IsPowerOffEnabled());
    }
}

QAction* CMainFrame::Action(int id) const
{
    const auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::OnFocusChanged(QWidget*, QWidget* pNow)
{
    // A hidden frame's focus may be moved on by the window system; the operator's
    // choice of view is what counts when the frame comes back.
    if (!pNow || m_bTray || !isVisible())
        return;
    if (pNow == m_pTree || m_pTree->isAncestorOf(pNow))
        m_pActiveView = m_pTree;
    else if (pNow == m_pList || m_pList->isAncestorOf(pNow))
        m_pActiveView = m_pList;
}

QWidget* CMainFrame::ActiveViewWidget() const
{
    return m_pActiveView == static_cast<CCommandTarget*>(m_pList) ? static_cast<QWidget*>(m_pList)
                                                                  : static_cast<QWidget*>(m_pTree);
}

void CMainFrame::FocusOtherPane()
{
    QWidget* pTarget = m_pActiveView == static_cast<CCommandTarget*>(m_pTree) ? static_cast<QWidget*>(m_pList)
                                                                               : static_cast<QWidget*>(m_pTree);
    pTarget->setFocus(Qt::OtherFocusReason);
    m_pActiveView = pTarget == m_pList ? static_cast<CCommandTarget*>(m_pList) : static_cast<CCommandTarget*>(m_pTree);
}

bool CMainFrame::FrameCommandEnabled(int id, bool* pEnabled) const
{
    switch (id) {
    case ID_TASK_TRAY:
        *pEnabled = TaskTrayEnabled(TrayAvailable());
        return true;
    case ID_APP_EXIT:
    case ID_VIEW_TOOLBAR:
    case ID_VIEW_STATUS_BAR:
    case ID_HELP_CONTENTS_E:
    case ID_HELP_CONTENTS_J:
    case ID_NEXT_PANE:
    case ID_PREV_PANE:
        *pEnabled = true;
        return true;
    default:
        return false;
    }
}

bool CMainFrame::FrameCommand(int id)
{
    switch (id) {
    case ID_APP_EXIT:
        close();
        return true;
    case ID_TASK_TRAY:
        ToggleTray(true);
        return true;
    case ID_VIEW_TOOLBAR:
        m_pToolBar->setVisible(m_pToolBar->isHidden());
        UpdateCommandStates();
        return true;
    case ID_VIEW_STATUS_BAR:
        statusBar()->setVisible(statusBar()->isHidden());
        UpdateCommandStates();
        return true;
    case ID_HELP_CONTENTS_E:
    case ID_HELP_CONTENTS_J:
        OpenHelp(id);
        return true;
    case ID_NEXT_PANE:
    case ID_PREV_PANE:
        FocusOtherPane();
        return true;
    default:
        return false;
    }
}

bool CMainFrame::IsCommandEnabled(int id)
{
    CCommandTarget* pOther = m_pActiveView == static_cast<CCommandTarget*>(m_pTree)
                                 ? static_cast<CCommandTarget*>(m_pList)
                                 : static_cast<CCommandTarget*>(m_pTree);
    bool bEnabled = false;
    for (CCommandTarget* pTarget : {m_pActiveView, pOther}) {
        if (pTarget->OnUpdateCommand(id, &bEnabled))
            return bEnabled;
    }
    if (FrameCommandEnabled(id, &bEnabled))
        return bEnabled;
    if (m_pApp && m_pApp->OnUpdateCommand(id, &bEnabled))
        return bEnabled;
    return false;
}

void CMainFrame::DoCommand(int id)
{
    if (!IsCommandEnabled(id))
        return;
    CCommandTarget* pOther = m_pActiveView == static_cast<CCommandTarget*>(m_pTree)
                                 ? static_cast<CCommandTarget*>(m_pList)
                                 : static_cast<CCommandTarget*>(m_pTree);
    for (CCommandTarget* pTarget : {m_pActiveView, pOther}) {
        if (pTarget->OnCommand(id))
            return;
    }
    if (FrameCommand(id))
        return;
    if (m_pApp)
        m_pApp->OnCommand(id);
}

void CMainFrame::UpdateCommandStates()
{
    for (const auto& [id, pAction] : m_actions)
        pAction->setEnabled(IsCommandEnabled(id));
    m_actions.at(ID_VIEW_TOOLBAR)->setChecked(!m_pToolBar->isHidden());
    m_actions.at(ID_VIEW_STATUS_BAR)->setChecked(!statusBar()->isHidden());
}

void CMainFrame::OnTick()
{
    UpdateCommandStates();
    m_pActivity->setText(QString::fromStdString(m_pDoc->GetActivityText()));
}

// --- Task tray -------------------------------------------------------------

bool CMainFrame::StartsInTray(int nStoredTray, bool bTrayAvailable)
{
    return nStoredTray != 0 && bTrayAvailable;
}

bool CMainFrame::TaskTrayEnabled(bool bTrayAvailable)
{
    return bTrayAvailable;
}

void CMainFrame::SetTrayAvailableForTesting(std::optional<bool> bAvailable)
{
    TrayOverride() = bAvailable;
}

bool CMainFrame::TrayAvailable()
{
    if (TrayOverride())
        return *TrayOverride();
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void CMainFrame::ToggleTray(bool bStore)
{
    QWidget* pModal = QApplication::activeModalWidget();
    const bool bRefused = !m_bTray && (pModal || !TrayAvailable());
    if (!bRefused) {
        if (m_bTray) {
            m_pToolBar->show();
            show();
            if (isMinimized())
                setWindowState(windowState() & ~Qt::WindowMinimized);
            ActiveViewWidget()->setFocus(Qt::ActiveWindowFocusReason);
        } else {
            hide();
        }
        m_bTray = !isVisible();
    }
    if (!m_bTray) {
        QWidget* pFront = pModal ? pModal : this;
        pFront->raise();
        pFront->activateWindow();
    }
    if (bStore)
        vtsettings::WriteInt("Window", "Tray", m_bTray ? 1 : 0);
}

void CMainFrame::OnTrayTimer()
{
    // Without a tray host nothing could bring the hidden frame back.
    if (m_bTray && !TrayAvailable()) {
        ToggleTray(true);
        return;
    }
    if (m_pTray && !m_pTray->isVisible())
        m_pTray->show();
}

// --- Help ------------------------------------------------------------------

void CMainFrame::OpenHelp(int id)
{
    const bool bJapanese = id == ID_HELP_CONTENTS_J;
    const QString strExe = CServerApp::ExecutablePath();
    bool bOpened = false;
    if (!strExe.isEmpty()) {
        const QString strFile = QFileInfo(strExe).absoluteDir().filePath(
            bJapanese ? QStringLiteral("VeltraneJ.chm") : QStringLiteral("VeltraneE.chm"));
        bOpened = QFileInfo(strFile).isFile() && QDesktopServices::openUrl(QUrl::fromLocalFile(strFile));
    }
    if (!bOpened) {
        vtshell::ShowMessage(this,
                             bJapanese ? QString::fromUtf8("ヘルプファイルが見つかりませんでした")
                                       : QStringLiteral("Cannot find HELP File!"),
                             QMessageBox::NoIcon);
    }
}

// --- Placement -------------------------------------------------------------

std::optional<QRect> CMainFrame::RestoredGeometry(const QRect& workArea, const Placement& p)
{
    const int nRight = workArea.x() + workArea.width();
    const int nBottom = workArea.y() + workArea.height();
    if (p.sLeft != workArea.x() || p.sTop != workArea.y() || p.sRight != nRight || p.sBottom != nBottom)
        return std::nullopt;
    if (p.x < 0 || p.y < 0 || p.x >= nRight || p.y >= nBottom)
        return std::nullopt;
    if (p.cx < 32 || p.cy < 32 || p.cx >= workArea.width() || p.cy >= workArea.height())
        return std::nullopt;
    return QRect(p.x, p.y, p.cx, p.cy);
}

void CMainFrame::RestorePlacement()
{
    resize(760, 520);
    const QScreen* pScreen = QGuiApplication::primaryScreen();
    if (!pScreen)
        return;
    // Like a desktop's own default placement: three quarters of the work area, so the
    // seven columns fit on a first start.
    const QSize area = pScreen->availableGeometry().size();
    resize(size().expandedTo(area * 3 / 4).boundedTo(area));
    Placement p;
    p.sLeft = vtsettings::ReadInt("Window", "sLeft", -1);
    p.sTop = vtsettings::ReadInt("Window", "sTop", -1);
    p.sRight = vtsettings::ReadInt("Window", "sRight", -1);
    p.sBottom = vtsettings::ReadInt("Window", "sBottom", -1);
    p.x = vtsettings::ReadInt("Window", "x", -1);
    p.y = vtsettings::ReadInt("Window", "y", -1);
    p.cx = vtsettings::ReadInt("Window", "cx", -1);
    p.cy = vtsettings::ReadInt("Window", "cy", -1);
    const auto rect = RestoredGeometry(pScreen->availableGeometry(), p);
    if (!rect)
        return;
    // The stored size includes the window frame, which is known only once shown.
    move(rect->topLeft());
    resize(rect->size());
    m_pendingFrameSize = rect->size();
}

void CMainFrame::showEvent(QShowEvent* pEvent)
{
    QMainWindow::showEvent(pEvent);
    if (!m_pendingFrameSize)
        return;
    QTimer::singleShot(250, this, [this] {
        if (!m_pendingFrameSize)
            return;
        const QSize margins = frameGeometry().size() - size();
        if (margins.width() > 0 || margins.height() > 0)
            resize(*m_pendingFrameSize - margins);
        m_pendingFrameSize.reset();
    });
}

void CMainFrame::SavePlacement()
{
    if (isMinimized() || isMaximized())
        return;
    const QScreen* pScreen = QGuiApplication::primaryScreen();
    if (!pScreen)
        return;
    const QRect work = pScreen->availableGeometry();
    vtsettings::WriteInt("Window", "sLeft", work.x());
    vtsettings::WriteInt("Window", "sTop", work.y());
    vtsettings::WriteInt("Window", "sRight", work.x() + work.width());
    vtsettings::WriteInt("Window", "sBottom", work.y() + work.height());
    const QRect frame = frameGeometry();
    vtsettings::WriteInt("Window", "x", frame.x());
    vtsettings::WriteInt("Window", "y", frame.y());
    vtsettings::WriteInt("Window", "cx", frame.width());
    vtsettings::WriteInt("Window", "cy", frame.height());
}

void CMainFrame::SaveBarState()
{
    vtsettings::WriteBytes("ToolBar", "State", saveState());
    vtsettings::WriteInt("ToolBar", "StatusBar", statusBar()->isHidden() ? 0 : 1);
}

void CMainFrame::RestoreBarState()
{
    const QByteArray state = vtsettings::ReadBytes("ToolBar", "State");
    if (!state.isEmpty())
        restoreState(state);
    if (vtsettings::ReadInt("ToolBar", "StatusBar", 1) == 0)
        statusBar()->hide();
}

// --- Saving ----------------------------------------------------------------

void CMainFrame::ScheduleSave()
{
    if (m_bSavePosted)
        return;
    m_bSavePosted = true;
    QTimer::singleShot(0, this, [this] {
        m_bSavePosted = false;
        SaveNow();
    });
}

void CMainFrame::SaveNow()
{
    if (m_bSaving || !m_pDoc->IsModified())
        return;
    m_bSaving = true;
    const SaveResult result = m_pDoc->SaveModified();
    switch (result) {
    case SaveResult::Saved:
        m_bSaveFailReported = false;
        m_retryTimer.stop();
        break;
    case SaveResult::Refused:
        m_bSaveFailReported = false;
        m_retryTimer.stop();
        vtshell::ShowMessage(this, S(1037), QMessageBox::Warning);
        break;
    case SaveResult::Failed:
        if (!m_retryTimer.isActive())
            m_retryTimer.start();
        if (!m_bSaveFailReported) {
            m_bSaveFailReported = true;
            vtshell::ShowMessage(this,
                                 tr("The roster could not be saved to %1.")
                                     .arg(QDir::toNativeSeparators(QString::fromStdString(m_pDoc->GetPathName()))),
                                 QMessageBox::Warning);
        }
        break;
    }
    m_bSaving = false;
    // A change made while a message was on screen found the save busy.
    if (result != SaveResult::Failed && m_pDoc->IsModified())
        ScheduleSave();
}

bool CMainFrame::SaveBeforeClose()
{
    switch (m_pDoc->SaveModified()) {
    case SaveResult::Saved:
        return true;
    case SaveResult::Refused:
        vtshell::ShowMessage(this, S(1037), QMessageBox::Warning);
        return true;
    case SaveResult::Failed:
        break;
    }
    m_bSaveFailReported = true;
    if (!m_retryTimer.isActive())
        m_retryTimer.start();
    vtshell::ShowMessage(this,
                         tr("The roster could not be saved to %1.")
                             .arg(QDir::toNativeSeparators(QString::fromStdString(m_pDoc->GetPathName()))),
                         QMessageBox::Warning);
    return false;
}

void CMainFrame::closeEvent(QCloseEvent* pEvent)
{
    SaveBarState();
    SavePlacement();
    if (m_bSaving || !SaveBeforeClose()) {
        pEvent->ignore();
        return;
    }
    m_trayTimer.stop();
    m_updateTimer.stop();
    m_retryTimer.stop();
    m_pTray->hide();
    pEvent->accept();
    emit closed();
}
