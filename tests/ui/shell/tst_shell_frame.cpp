// The main frame (menus, tool bar, placement, tray, help, languages) and the two
// password dialogs.

#include "ShellTestSupport.h"

#include "CGpTree.h"
#include "CKwList.h"
#include "CMainFrame.h"
#include "CPasswordDlg.h"
#include "CPasswordSetDlg.h"
#include "Commands.h"
#include "Translations.h"
#include "UiText.h"
#include "app/Password.h"
#include "model/CDoc.h"

#include <QAction>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QToolBar>

namespace {

constexpr int kSeparator = 0;

/// Ids of a menu's or tool bar's visible items, 0 for a separator.
QList<int> Layout(const QList<QAction*>& actions, const CMainFrame& frame)
{
    QList<int> ids;
    for (QAction* pAction : actions) {
        if (pAction->isSeparator()) {
            ids.append(kSeparator);
            continue;
        }
        if (!pAction->isVisible())
            continue;
        for (int id : {57665, 57642, 32771, 32772, 32773, 32774, 32794, 32775, 32776, 59392, 59393, 32777, 32778,
                       32780, 32781, 32782, 32784, 32785, 32786, 32793, 32787, 32789, 32788, 32792, 32791, 57664}) {
            if (frame.Action(id) == pAction)
                ids.append(id);
        }
    }
    return ids;
}

QMenu* Popup(const CMainFrame& frame, int nIndex)
{
    return frame.menuBar()->actions().at(nIndex)->menu();
}

QString ButtonText(QWidget* pDialog, QDialogButtonBox::ButtonRole role)
{
    auto* pBox = pDialog->findChild<QDialogButtonBox*>();
    for (QAbstractButton* pButton : pBox->buttons()) {
        if (pBox->buttonRole(pButton) == role)
            return pButton->text();
    }
    return {};
}

/// Switches the whole program's language for one test.
struct LanguageScope {
    explicit LanguageScope(vtstr::Language lang)
    {
        vtstr::SetLanguage(lang);
        vtshell::InstallTranslations(lang);
    }
    ~LanguageScope()
    {
        vtstr::SetLanguage(vtstr::Language::English);
        vtshell::InstallTranslations(vtstr::Language::English);
    }
    LanguageScope(const LanguageScope&) = delete;
    LanguageScope& operator=(const LanguageScope&) = delete;
};

void StorePlacement(const QRect& work, const QRect& frame)
{
    vtsettings::WriteInt("Window", "sLeft", work.x());
    vtsettings::WriteInt("Window", "sTop", work.y());
    vtsettings::WriteInt("Window", "sRight", work.x() + work.width());
    vtsettings::WriteInt("Window", "sBottom", work.y() + work.height());
    vtsettings::WriteInt("Window", "x", frame.x());
    vtsettings::WriteInt("Window", "y", frame.y());
    vtsettings::WriteInt("Window", "cx", frame.width());
    vtsettings::WriteInt("Window", "cy", frame.height());
}

} // namespace

class UrlRecorder final : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.append(url); }
};

class TestShellFrame final : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_pDir;
    std::unique_ptr<CDoc> m_pDoc;

    std::unique_ptr<CMainFrame> MakeFrame()
    {
        return std::make_unique<CMainFrame>(m_pDoc.get(), nullptr);
    }

private slots:
    void initTestCase()
    {
        vtshell::InitShellResources();
    }

    void init()
    {
        ResetShellSettings();
        SetPowerOffEnabled(false);
        CMainFrame::SetTrayAvailableForTesting(std::nullopt);
        m_pDir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_pDir->isValid());
        CServerApp::SetExecutablePathForTesting(m_pDir->path() + QStringLiteral("/vtserver"));
        m_pDoc = std::make_unique<CDoc>();
        m_pDoc->SetPathName((m_pDir->path() + QStringLiteral("/vtserver.DAT")).toStdString());
    }

    void cleanup()
    {
        m_pDoc.reset();
        CServerApp::SetExecutablePathForTesting(QString());
        CMainFrame::SetTrayAvailableForTesting(std::nullopt);
    }

    // --- password boxes --------------------------------------------------

    void passwordBoxesAreMaskedUpperCaseAndLimited()
    {
        CPasswordDlg prompt;
        CPasswordSetDlg change;
        for (QLineEdit* pEdit : {prompt.PasswordEdit(), change.OldEdit(), change.NewEdit(), change.ConfirmEdit()}) {
            QCOMPARE(pEdit->echoMode(), QLineEdit::Password);
            QTest::keyClicks(pEdit, QStringLiteral("abcdefghijklmnopqrstuvwxyz"));
            QCOMPARE(pEdit->text(), QStringLiteral("ABCDEFGHIJKLMNOPQRST"));
            pEdit->clear();
            pEdit->insert(QStringLiteral("mixed Case 1"));
            QCOMPARE(pEdit->text(), QStringLiteral("MIXED CASE 1"));
        }
    }

    void passwordChangeChecks_data()
    {
        QTest::addColumn<QString>("strCurrent");
        QTest::addColumn<QString>("strOld");
        QTest::addColumn<QString>("strNew");
        QTest::addColumn<QString>("strConfirm");
        QTest::addColumn<int>("nFocus"); // -1 accepted, 0 old box, 2 confirmation box
        QTest::addColumn<QString>("strResult");

        QTest::newRow("wrong old") << "OLD" << "old2" << "NEW" << "NEW" << 0 << "OLD";
        QTest::newRow("old given, none set") << "" << "x" << "" << "" << 0 << "";
        QTest::newRow("confirmation differs") << "OLD" << "old" << "new" << "newx" << 2 << "OLD";
        QTest::newRow("changed") << "OLD" << "old" << "new" << "NEW" << -1 << "NEW";
        QTest::newRow("first password") << "" << "" << "abc" << "abc" << -1 << "ABC";
        QTest::newRow("cleared") << "OLD" << "old" << "" << "" << -1 << "";
    }

    void passwordChangeChecks()
    {
        QFETCH(QString, strCurrent);
        QFETCH(QString, strOld);
        QFETCH(QString, strNew);
        QFETCH(QString, strConfirm);
        QFETCH(int, nFocus);
        QFETCH(QString, strResult);

        MessageLog log;
        CPasswordSetDlg dlg;
        dlg.m_strCurrent = strCurrent;
        dlg.show();
        QTest::keyClicks(dlg.OldEdit(), strOld);
        QTest::keyClicks(dlg.NewEdit(), strNew);
        QTest::keyClicks(dlg.ConfirmEdit(), strConfirm);
        QTest::keyClick(dlg.ConfirmEdit(), Qt::Key_Return);

        QCOMPARE(dlg.m_strCurrent, strResult);
        if (nFocus < 0) {
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
            QVERIFY(log.entries.isEmpty());
            return;
        }
        QVERIFY(dlg.isVisible());
        QCOMPARE(log.entries.size(), 1);
        QCOMPARE(log.entries[0].strText, QStringLiteral("Incorrect passward."));
        QCOMPARE(log.entries[0].icon, QMessageBox::Information);
        QLineEdit* pExpected = nFocus == 0 ? dlg.OldEdit() : dlg.ConfirmEdit();
        QCOMPARE(dlg.focusWidget(), pExpected);
        QVERIFY(!pExpected->text().isEmpty());
        QCOMPARE(pExpected->selectedText(), pExpected->text());
    }

    void passwordCommandWritesOnlyOnOk()
    {
        vtsettings::WriteString("Settings", "Pass", EncodePassword("OLD"));
        const auto fill = [](const QString& strOld, const QString& strNew) {
            return [strOld, strNew](QWidget* pModal) {
                auto* pDlg = qobject_cast<CPasswordSetDlg*>(pModal);
                QVERIFY(pDlg);
                QTest::keyClicks(pDlg->OldEdit(), strOld);
                QTest::keyClicks(pDlg->NewEdit(), strNew);
                QTest::keyClicks(pDlg->ConfirmEdit(), strNew);
                QTest::keyClick(pDlg->ConfirmEdit(), Qt::Key_Return);
            };
        };
        {
            // A failed check, then Cancel: nothing written.
            MessageLog log;
            ModalDriver driver({fill(QStringLiteral("bad"), QStringLiteral("x")),
                                [](QWidget* pModal) { QTest::keyClick(pModal, Qt::Key_Escape); }});
            // The dialog stays the same modal widget after the failure: drive it twice.
            QTimer::singleShot(400, [] {
                if (QWidget* pModal = QApplication::activeModalWidget())
                    QTest::keyClick(pModal, Qt::Key_Escape);
            });
            CServerApp::OnPassword(nullptr);
            QCOMPARE(log.entries.size(), 1);
            QCOMPARE(vtsettings::ReadString("Settings", "Pass", "?"), EncodePassword("OLD"));
        }
        {
            ModalDriver driver({fill(QStringLiteral("old"), QStringLiteral("new pw"))});
            CServerApp::OnPassword(nullptr);
            QCOMPARE(vtsettings::ReadString("Settings", "Pass", "?"), EncodePassword("NEW PW"));
        }
    }

    // --- menus, tool bar, status bar --------------------------------------

    void englishMenusAndToolBar()
    {
        auto pFrame = MakeFrame();
        QCOMPARE(pFrame->windowTitle(), QStringLiteral("Veltrane Server"));
        QStringList titles;
        for (QAction* pAction : pFrame->menuBar()->actions())
            titles << pAction->text();
        QCOMPARE(titles, QStringList({QStringLiteral("&File"), QStringLiteral("&Edit"), QStringLiteral("&View"),
                                      QStringLiteral("&Operation"), QStringLiteral("&Settings"),
                                      QStringLiteral("&Help")}));

        const CMainFrame& frame = *pFrame;
        QCOMPARE(Layout(Popup(frame, 0)->actions(), frame), QList<int>({57665}));
        QCOMPARE(Layout(Popup(frame, 1)->actions(), frame),
                 QList<int>({57642, 0, 32771, 32772, 0, 32773, 32774, 0, 32794, 0, 32775, 32776}));
        QCOMPARE(Layout(Popup(frame, 2)->actions(), frame), QList<int>({59392, 59393, 0, 32777, 0, 32778}));
        QCOMPARE(Layout(Popup(frame, 3)->actions(), frame),
                 QList<int>({32780, 32781, 0, 32784, 32785, 0, 32793, 0, 32787}));
        QCOMPARE(Layout(Popup(frame, 4)->actions(), frame), QList<int>({32789, 32788}));
        QCOMPARE(Layout(Popup(frame, 5)->actions(), frame), QList<int>({32792, 57664}));
        QVERIFY(!frame.Action(ID_POWER_OFF));
        QVERIFY(!frame.Action(ID_FORCED_POWER_OFF));

        QCOMPARE(frame.Action(ID_EDIT_SELECT_ALL)->text(), QStringLiteral("Select &All\tCtrl+A"));
        QCOMPARE(frame.Action(ID_EDIT_SELECT_ALL)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_A));
        QCOMPARE(frame.Action(ID_CREATE_GROUP)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
        QCOMPARE(frame.Action(ID_CHANGE_NAME)->shortcut(), QKeySequence(Qt::Key_F2));
        QCOMPARE(frame.Action(ID_DELETE)->shortcut(), QKeySequence(Qt::Key_Delete));
        QCOMPARE(frame.Action(ID_TASK_TRAY)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_V));
        QCOMPARE(frame.Action(ID_REFRESH)->shortcut(), QKeySequence(Qt::Key_F5));

        QCOMPARE(frame.Action(ID_TASK_TRAY)->statusTip(), QStringLiteral("Convert main window to tray icon."));
        QCOMPARE(frame.Action(ID_TASK_TRAY)->toolTip(), QStringLiteral("Task Tray"));
        QCOMPARE(frame.Action(ID_HELP_CONTENTS_E)->statusTip(), QStringLiteral("Displays \"Help\"."));

        QToolBar* pBar = frame.ToolBar();
        QCOMPARE(pBar->iconSize(), QSize(16, 16));
        QVERIFY(pBar->isMovable());
        QCOMPARE(Layout(pBar->actions(), frame),
                 QList<int>({32772, 0, 32773, 32774, 32778, 0, 32776, 0, 32780, 32781, 32793}));
        for (QAction* pAction : pBar->actions())
            QVERIFY(pAction->isSeparator() || !pAction->icon().isNull());

        const QFontMetrics metrics(frame.ActivityPane()->font());
        QVERIFY(frame.ActivityPane()->width() >= metrics.horizontalAdvance(S(59142)));
        QCOMPARE(frame.ActivityPane()->text(), QString());
    }

    void japaneseMenusAndDialogs()
    {
        LanguageScope japanese(vtstr::Language::Japanese);
        auto pFrame = MakeFrame();
        QStringList titles;
        for (QAction* pAction : pFrame->menuBar()->actions())
            titles << pAction->text();
        QCOMPARE(titles, QStringList({QString::fromUtf8("ファイル(&F)"), QString::fromUtf8("編集(&E)"),
                                      QString::fromUtf8("表示(&V)"), QString::fromUtf8("操作(&O)"),
                                      QString::fromUtf8("設定(&S)"), QString::fromUtf8("ヘルプ(&H)")}));
        QCOMPARE(pFrame->Action(ID_APP_EXIT)->text(), QString::fromUtf8("終了(&X)"));
        QCOMPARE(pFrame->Action(ID_APP_EXIT)->statusTip(), QString::fromUtf8("プログラムの終了"));
        QCOMPARE(pFrame->Action(ID_TASK_TRAY)->text(), QString::fromUtf8("トレイアイコン化(&Y)\tCtrl+V"));
        QCOMPARE(pFrame->Action(ID_MANUAL_REGISTRATION)->text(), QString::fromUtf8("手動登録(&M) ..."));
        QVERIFY(!pFrame->Action(ID_HELP_CONTENTS_E));
        QCOMPARE(pFrame->Action(ID_HELP_CONTENTS_J)->text(), QString::fromUtf8("目次(&C)"));
        QCOMPARE(pFrame->Action(ID_HELP_CONTENTS_J)->statusTip(), QString::fromUtf8("ヘルプを表示します"));
        QCOMPARE(pFrame->TrayIcon()->contextMenu()->actions().first()->text(), QString::fromUtf8("終了(&X)"));

        CPasswordDlg prompt;
        QCOMPARE(prompt.windowTitle(), QString::fromUtf8("パスワードの確認"));
        QCOMPARE(ButtonText(&prompt, QDialogButtonBox::RejectRole), QString::fromUtf8("終了"));
        QCOMPARE(ButtonText(&prompt, QDialogButtonBox::AcceptRole), QStringLiteral("O K"));
        CPasswordSetDlg change;
        QCOMPARE(change.windowTitle(), QString::fromUtf8("パスワードの設定"));
        QCOMPARE(ButtonText(&change, QDialogButtonBox::RejectRole), QString::fromUtf8("ｷｬﾝｾﾙ"));
    }

    void powerOffItemsFollowTheSetting_data()
    {
        QTest::addColumn<bool>("bEnabled");
        QTest::newRow("0") << false;
        QTest::newRow("1") << true;
    }

    void powerOffItemsFollowTheSetting()
    {
        QFETCH(bool, bEnabled);
        LanguageScope japanese(vtstr::Language::Japanese);
        SetPowerOffEnabled(bEnabled);
        auto pFrame = MakeFrame();
        QMenu* pOperation = Popup(*pFrame, 3);
        emit pOperation->aboutToShow();
        const QList<int> ids = Layout(pOperation->actions(), *pFrame);
        if (bEnabled) {
            QCOMPARE(ids, QList<int>({32780, 32781, 32782, 0, 32784, 32785, 32786, 0, 32793, 0, 32787}));
            QCOMPARE(pFrame->Action(ID_POWER_OFF)->text(), QString::fromUtf8("パワーＯＦＦ(&P)"));
            QCOMPARE(pFrame->Action(ID_FORCED_POWER_OFF)->text(), QString::fromUtf8("強制パワーＯＦＦ"));
        } else {
            QCOMPARE(ids, QList<int>({32780, 32781, 0, 32784, 32785, 0, 32793, 0, 32787}));
        }
    }

    void commandRoutingAndPanes()
    {
        auto pFrame = MakeFrame();
        QVERIFY(pFrame->Create());
        pFrame->show();
        QVERIFY(QTest::qWaitForWindowExposed(pFrame.get()));
        pFrame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(pFrame.get()));

        QVERIFY(pFrame->IsCommandEnabled(ID_APP_EXIT));
        QVERIFY(pFrame->IsCommandEnabled(ID_VIEW_TOOLBAR));
        QVERIFY(!pFrame->IsCommandEnabled(12345));
        // No application object: its commands have no handler.
        QVERIFY(!pFrame->IsCommandEnabled(ID_PASSWORD));

        RouteCommand(ID_VIEW_STATUS_BAR);
        QVERIFY(pFrame->statusBar()->isHidden());
        QVERIFY(!pFrame->Action(ID_VIEW_STATUS_BAR)->isChecked());
        pFrame->DoCommand(ID_VIEW_STATUS_BAR);
        QVERIFY(!pFrame->statusBar()->isHidden());
        pFrame->Action(ID_VIEW_TOOLBAR)->trigger();
        QVERIFY(pFrame->ToolBar()->isHidden());
        pFrame->Action(ID_VIEW_TOOLBAR)->trigger();
        QVERIFY(!pFrame->ToolBar()->isHidden());

        pFrame->Tree()->setFocus();
        QTRY_VERIFY(pFrame->Tree()->hasFocus());
        QTest::keyClick(pFrame.get(), Qt::Key_F6);
        QTRY_VERIFY(pFrame->List()->hasFocus());
        QTest::keyClick(pFrame.get(), Qt::Key_F6, Qt::ShiftModifier);
        QTRY_VERIFY(pFrame->Tree()->hasFocus());
        QVERIFY(pFrame->Splitter()->sizes().first() > 0);
    }

    void toolBarAndStatusBarStateSurviveARestart()
    {
        {
            auto pFrame = MakeFrame();
            pFrame->show();
            pFrame->DoCommand(ID_VIEW_STATUS_BAR);
            pFrame->addToolBar(Qt::LeftToolBarArea, pFrame->ToolBar());
            QVERIFY(pFrame->close());
        }
        auto pFrame = MakeFrame();
        QVERIFY(pFrame->statusBar()->isHidden());
        QCOMPARE(pFrame->toolBarArea(pFrame->ToolBar()), Qt::LeftToolBarArea);
    }

    // --- placement --------------------------------------------------------

    void placementRule_data()
    {
        QTest::addColumn<QRect>("stored");
        QTest::addColumn<bool>("bSameWorkArea");
        QTest::addColumn<bool>("bRestored");
        const QRect work(0, 30, 1280, 770);
        QTest::newRow("32 x 32") << QRect(0, 30, 32, 32) << true << true;
        QTest::newRow("31 wide") << QRect(0, 30, 31, 32) << true << false;
        QTest::newRow("31 high") << QRect(0, 30, 32, 31) << true << false;
        QTest::newRow("one less than the work area") << QRect(10, 40, 1279, 769) << true << true;
        QTest::newRow("as wide as the work area") << QRect(10, 40, 1280, 300) << true << false;
        QTest::newRow("as high as the work area") << QRect(10, 40, 300, 770) << true << false;
        QTest::newRow("negative x") << QRect(-1, 40, 300, 300) << true << false;
        QTest::newRow("left of the right edge") << QRect(1279, 40, 300, 300) << true << true;
        QTest::newRow("at the right edge") << QRect(1280, 40, 300, 300) << true << false;
        QTest::newRow("at the bottom edge") << QRect(10, 800, 300, 300) << true << false;
        QTest::newRow("other work area") << QRect(10, 40, 300, 300) << false << false;
    }

    void placementRule()
    {
        QFETCH(QRect, stored);
        QFETCH(bool, bSameWorkArea);
        QFETCH(bool, bRestored);
        const QRect work(0, 30, 1280, 770);
        CMainFrame::Placement p;
        p.sLeft = work.x();
        p.sTop = work.y();
        p.sRight = work.x() + work.width() + (bSameWorkArea ? 0 : 1);
        p.sBottom = work.y() + work.height();
        p.x = stored.x();
        p.y = stored.y();
        p.cx = stored.width();
        p.cy = stored.height();
        const auto rect = CMainFrame::RestoredGeometry(work, p);
        QCOMPARE(rect.has_value(), bRestored);
        if (bRestored)
            QCOMPARE(*rect, stored);
        QVERIFY(!CMainFrame::RestoredGeometry(work, CMainFrame::Placement{}));
    }

    void placementIsRestoredAndStored()
    {
        const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect stored(work.x() + 10, work.y() + 20, 320, 240);
        StorePlacement(work, stored);
        {
            auto pFrame = MakeFrame();
            pFrame->show();
            QVERIFY(QTest::qWaitForWindowExposed(pFrame.get()));
            QCOMPARE(pFrame->frameGeometry().topLeft(), stored.topLeft());
            QTRY_COMPARE(pFrame->frameGeometry().size(), stored.size());
            pFrame->move(work.x() + 30, work.y() + 40);
            QVERIFY(pFrame->close());
        }
        QCOMPARE(vtsettings::ReadInt("Window", "x", -1), work.x() + 30);
        QCOMPARE(vtsettings::ReadInt("Window", "y", -1), work.y() + 40);
        QCOMPARE(vtsettings::ReadInt("Window", "cx", -1), 320);
        QCOMPARE(vtsettings::ReadInt("Window", "sRight", -1), work.x() + work.width());

        // Too narrow: the default size stays.
        StorePlacement(work, QRect(stored.topLeft(), QSize(31, 240)));
        auto pFrame = MakeFrame();
        QVERIFY(pFrame->width() != 31);
    }

    // --- tray -------------------------------------------------------------

    void trayRule()
    {
        QVERIFY(CMainFrame::StartsInTray(1, true));
        QVERIFY(!CMainFrame::StartsInTray(1, false));
        QVERIFY(!CMainFrame::StartsInTray(0, true));
        QVERIFY(CMainFrame::TaskTrayEnabled(true));
        QVERIFY(!CMainFrame::TaskTrayEnabled(false));
    }

    void storedTrayWithoutADesktopTrayShowsTheWindow()
    {
        CMainFrame::SetTrayAvailableForTesting(false);
        vtsettings::WriteInt("Window", "Tray", 1);
        auto pFrame = MakeFrame();
        pFrame->ShowAtStartUp();
        QVERIFY(pFrame->isVisible());
        QVERIFY(!pFrame->IsInTray());
        pFrame->UpdateCommandStates();
        QVERIFY(!pFrame->Action(ID_TASK_TRAY)->isEnabled());
        pFrame->DoCommand(ID_TASK_TRAY);
        QVERIFY(pFrame->isVisible());
        QCOMPARE(vtsettings::ReadInt("Window", "Tray", -1), 1); // untouched
    }

    void storedTrayStartsHiddenAndToggles()
    {
        CMainFrame::SetTrayAvailableForTesting(true);
        vtsettings::WriteInt("Window", "Tray", 1);
        auto pFrame = MakeFrame();
        QVERIFY(pFrame->Create());
        pFrame->ShowAtStartUp();
        QVERIFY(!pFrame->isVisible());
        QVERIFY(pFrame->IsInTray());

        pFrame->ToggleTray(true); // what a double click does
        QVERIFY(pFrame->isVisible());
        QVERIFY(pFrame->ToolBar()->isVisible());
        QCOMPARE(vtsettings::ReadInt("Window", "Tray", -1), 0);

        pFrame->DoCommand(ID_TASK_TRAY);
        QVERIFY(!pFrame->isVisible());
        QCOMPARE(vtsettings::ReadInt("Window", "Tray", -1), 1);
        pFrame->ToggleTray(true);
        QVERIFY(pFrame->isVisible());

        // A modal dialog open: nothing is hidden, the state is still written.
        QDialog modal;
        modal.setWindowModality(Qt::ApplicationModal);
        modal.show();
        QCOMPARE(QApplication::activeModalWidget(), &modal);
        vtsettings::WriteInt("Window", "Tray", 7);
        pFrame->ToggleTray(true);
        QVERIFY(pFrame->isVisible());
        QCOMPARE(vtsettings::ReadInt("Window", "Tray", -1), 0);
        modal.close();

        QCOMPARE(pFrame->TrayIcon()->toolTip(), QStringLiteral("VT Server"));
        const QList<QAction*> menu = pFrame->TrayIcon()->contextMenu()->actions();
        QCOMPARE(menu.size(), 3);
        QCOMPARE(menu[0]->text(), QStringLiteral("Exit(&X)"));
        QVERIFY(menu[1]->isSeparator());
        QCOMPARE(menu[2]->text(), QStringLiteral("Cancel"));

        // The tray menu's Exit closes like File > Exit, storing the position.
        QSignalSpy closed(pFrame.get(), &CMainFrame::closed);
        menu[0]->trigger();
        QTRY_COMPARE(closed.count(), 1);
        QVERIFY(vtsettings::ReadInt("Window", "cx", -1) > 0);
    }

    // --- help -------------------------------------------------------------

    void helpFileMissingOrPresent()
    {
        MessageLog log;
        auto pFrame = MakeFrame();
        pFrame->DoCommand(ID_HELP_CONTENTS_E);
        QCOMPARE(log.entries.size(), 1);
        QCOMPARE(log.entries[0].strText, QStringLiteral("Cannot find HELP File!"));
        QCOMPARE(log.entries[0].icon, QMessageBox::NoIcon);
        pFrame->OpenHelp(ID_HELP_CONTENTS_J);
        QCOMPARE(log.entries.size(), 2);
        QCOMPARE(log.entries[1].strText, QString::fromUtf8("ヘルプファイルが見つかりませんでした"));

        // Present beside the program: handed to the desktop.
        UrlRecorder opener;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &opener, "open");
        const QString strHelp = m_pDir->path() + QStringLiteral("/VeltraneE.chm");
        QFile file(strHelp);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        pFrame->OpenHelp(ID_HELP_CONTENTS_E);
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(log.entries.size(), 2);
        QCOMPARE(opener.urls, QList<QUrl>({QUrl::fromLocalFile(strHelp)}));
    }
};

VT_SHELL_TEST_MAIN(TestShellFrame)
#include "tst_shell_frame.moc"
