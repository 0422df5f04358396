// The main frame (menus, tool bar, placement, tray, help, languages) and the two
// password dialogs.

#include "ShellTestSupport.h"

class TestShellFrame final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    CDoc m_doc;

    std::unique_ptr<CMainFrame> MakeFrame() { return std::make_unique<CMainFrame>(&m_doc, nullptr); }

private slots:
    void init()
    {
        ResetShell();
        m_doc.DeleteContents();
        vtshell::InitShellResources();
        CServerApp::SetExecutablePathForTesting(m_dir.path() + QStringLiteral("/vtserver"));
        m_doc.SetPathName((m_dir.path() + QStringLiteral("/vtserver.DAT")).toStdString());
        SetPowerOffEnabled(false);
        CMainFrame::SetTrayAvailableForTesting(true);
    }

    void passwordChange_data()
    {
        QTest::addColumn<QStringList>("typed"); // current password, old, new, confirmation
        QTest::addColumn<int>("nFocus");        // -1 accepted, 0 old box, 2 confirmation box
        QTest::addColumn<QString>("strResult");
        QTest::newRow("wrong old") << L({"OLD", "old2", "NEW", "NEW"}) << 0 << "OLD";
        QTest::newRow("confirmation differs") << L({"OLD", "old", "new", "newx"}) << 2 << "OLD";
        QTest::newRow("cleared") << L({"OLD", "old", "", ""}) << -1 << "";
        QTest::newRow("first, 20 characters at most")
            << L({"", "", "abcdefghijklmnopqrstuvwxyz", "ABCDEFGHIJKLMNOPQRSTUV"}) << -1
            << "ABCDEFGHIJKLMNOPQRST";
    }

    void passwordChange()
    {
        QFETCH(QStringList, typed);
        QFETCH(int, nFocus);
        QFETCH(QString, strResult);
        vtsettings::WriteString("Settings", "Pass", EncodePassword(typed[0].toStdString()));
        ModalDriver driver({[&typed, nFocus](QDialog* pModal) {
            auto* pDlg = qobject_cast<CPasswordSetDlg*>(pModal);
            QVERIFY(pDlg);
            const QList<QLineEdit*> edits = {pDlg->OldEdit(), pDlg->NewEdit(), pDlg->ConfirmEdit()};
            for (int i = 0; i < 3; ++i) {
                QCOMPARE(edits[i]->echoMode(), QLineEdit::Password);
                edits[i]->insert(typed[i + 1]); // as pasted; the prompt test types
            }
            QTest::keyClick(pDlg->ConfirmEdit(), Qt::Key_Return);
            if (nFocus < 0)
                return;
            QCOMPARE(pDlg->focusWidget(), edits[nFocus]);
            QVERIFY(!edits[nFocus]->text().isEmpty());
            QCOMPARE(edits[nFocus]->selectedText(), edits[nFocus]->text());
            pDlg->reject(); // nothing is written then
        }});
        CServerApp::OnPassword(nullptr);
        QCOMPARE(driver.m_seen, L({"CPasswordSetDlg"}));
        QCOMPARE(g_messages, nFocus < 0 ? QStringList() : L({"Incorrect passward."}));
        QCOMPARE(g_icons, QList<QMessageBox::Icon>(g_messages.size(), QMessageBox::Information));
        QCOMPARE(vtsettings::ReadString("Settings", "Pass", "?"), EncodePassword(strResult.toStdString()));
    }

    void menusToolBarAndDialogs_data()
    {
        QTest::addColumn<bool>("bJapanese");
        QTest::addColumn<bool>("bPowerOff");
        QTest::newRow("English") << false << false;
        QTest::newRow("Japanese, Power OFF 0") << true << false;
        QTest::newRow("Japanese, Power OFF 1") << true << true;
    }

    // The help of the language; the Power OFF items, only in the Japanese menu, when switched on;
    // no text left in English; every dialog keeps the size its contents ask for, with room for
    // each text (the busy text too), also when the wake-up tab hides its type box.
    void menusToolBarAndDialogs()
    {
        QFETCH(bool, bJapanese);
        QFETCH(bool, bPowerOff);
        UseLanguage(bJapanese ? vtstr::Language::Japanese : vtstr::Language::English);
        SetPowerOffEnabled(bPowerOff);
        auto pFrame = MakeFrame();
        const CMainFrame& frame = *pFrame;
        QVERIFY(frame.Action(bJapanese ? ID_HELP_CONTENTS_J : ID_HELP_CONTENTS_E));
        QVERIFY(!frame.Action(bJapanese ? ID_HELP_CONTENTS_E : ID_HELP_CONTENTS_J));
        pFrame->show();
        QVERIFY(QTest::qWaitForWindowExposed(pFrame.get()));
        QVERIFY(frame.Splitter()->sizes().value(0) >= std::max(150, frame.Tree()->ReadableWidth()));
        emit frame.menuBar()->actions().at(3)->menu()->aboutToShow();
        for (int id : {int(ID_POWER_OFF), int(ID_FORCED_POWER_OFF)})
            QCOMPARE(frame.Action(id) && frame.Action(id)->isVisible(), bPowerOff);

        QStringList texts{frame.List()->EmptyHint()};
        for (int c = 0; c < CKwListModel::kColumnCount; ++c)
            texts << frame.List()->Model()->headerData(c, Qt::Horizontal).toString();
        QList<QAction*> actions = frame.menuBar()->actions() + frame.TrayIcon()->contextMenu()->actions() +
                                  frame.Tree()->BuildContextMenu(pFrame.get())->actions() +
                                  frame.List()->BuildContextMenu(pFrame.get())->actions();
        for (qsizetype i = 0; i < actions.size(); ++i) { // the list grows by the submenus' items
            texts << actions[i]->text() << actions[i]->toolTip() << actions[i]->statusTip();
            if (actions[i]->menu())
                actions += actions[i]->menu()->actions();
        }
        CPasswordDlg prompt;
        CPasswordSetDlg change;
        CRegisterDlg reg;
        CSettingsDlg settings;
        CSelectGroupDlg select;
        CReserveDlg reserve;
        CAboutDlg about;
        for (QDialog* pDlg :
             std::initializer_list<QDialog*>{&prompt, &change, &reg, &settings, &select, &reserve, &about}) {
            const char* pClass = pDlg->metaObject()->className();
            texts << pDlg->windowTitle();
            for (QWidget* pChild : pDlg->findChildren<QWidget*>()) {
                if (auto* pLabel = qobject_cast<QLabel*>(pChild))
                    texts << pLabel->text();
                if (auto* pButton = qobject_cast<QAbstractButton*>(pChild))
                    texts << pButton->text();
                if (auto* pBox = qobject_cast<QGroupBox*>(pChild))
                    texts << pBox->title();
                if (auto* pTabs = qobject_cast<QTabBar*>(pChild))
                    texts << pTabs->tabText(0) << pTabs->tabText(1);
            }
            pDlg->show();
            QVERIFY(QTest::qWaitForWindowExposed(pDlg));
            const Qt::WindowFlags flags = pDlg->windowFlags();
            QVERIFY2(!(flags & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint)) &&
                         (flags & Qt::WindowCloseButtonHint),
                     pClass);
            const QSize size = pDlg->size();
            QVERIFY2(pDlg->minimumSize() == size && pDlg->maximumSize() == size, pClass);
            if (pDlg == &reg)
                reg.findChild<QLabel*>(QStringLiteral("labelBusy"))->show();
            QApplication::processEvents();
            for (QWidget* pChild : pDlg->findChildren<QWidget*>()) {
                if (pChild->isVisible() &&
                    (qobject_cast<QLabel*>(pChild) || qobject_cast<QAbstractButton*>(pChild)))
                    QVERIFY2(pChild->width() >= pChild->minimumSizeHint().width(),
                             qPrintable(pChild->objectName()));
            }
            if (pDlg == &reserve) {
                reserve.SelectTab(1);
                QVERIFY(!reserve.findChild<QWidget*>(QStringLiteral("typeBox"))->isVisible());
                QApplication::processEvents();
            }
            pDlg->resize(size + QSize(200, 100));
            QVERIFY2(pDlg->size() == size, pClass);
            pDlg->hide();
        }
        // Left in English: a letter and nothing beyond ASCII, other than the "O K" both share.
        texts = texts.filter(QRegularExpression(QStringLiteral("^[\\t -~]*[A-Za-z][\\t -~]*$")));
        texts.removeAll(QStringLiteral("O K"));
        QVERIFY2(texts.isEmpty() == bJapanese, qPrintable(texts.join(u'|')));
    }

    void placementRule_data()
    {
        QTest::addColumn<QRect>("stored"); // the work area is (0, 30) 1280 x 770
        QTest::addColumn<bool>("bSameWorkArea");
        QTest::addColumn<bool>("bRestored");
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
        const int nRight = bSameWorkArea ? 1280 : 1281;
        const CMainFrame::Placement p{0,          30,         nRight,         800,
                                      stored.x(), stored.y(), stored.width(), stored.height()};
        const auto rect = CMainFrame::RestoredGeometry(QRect(0, 30, 1280, 770), p);
        QCOMPARE(rect.value_or(QRect()), bRestored ? stored : QRect());
    }

    void placementIsStoredAndRestored()
    {
        const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
        QRect first;
        for (int nRun = 0; nRun < 2; ++nRun) {
            auto pFrame = MakeFrame();
            if (nRun == 0)
                pFrame->setGeometry(work.x() + 10, work.y() + 20, 320, 240);
            pFrame->show();
            QVERIFY(QTest::qWaitForWindowExposed(pFrame.get()));
            if (nRun == 1)
                QTRY_COMPARE(pFrame->frameGeometry(), first);
            first = pFrame->frameGeometry();
            QVERIFY(pFrame->close());
        }
        QCOMPARE(vtsettings::ReadInt("Window", "sRight", -1), work.right() + 1);
        QCOMPARE(vtsettings::ReadInt("Window", "cx", -1), first.width());
    }

    void tray()
    {
        // Without a desktop tray the window shows however it was left, and Task Tray is off.
        vtsettings::WriteInt("Window", "Tray", 1);
        std::unique_ptr<CMainFrame> pFrame;
        for (bool bTray : {false, true}) {
            CMainFrame::SetTrayAvailableForTesting(bTray);
            pFrame.reset();
            pFrame = MakeFrame();
            QVERIFY(pFrame->Create());
            pFrame->ShowAtStartUp();
            pFrame->UpdateCommandStates();
            QVERIFY(pFrame->IsInTray() == bTray && pFrame->Action(ID_TASK_TRAY)->isEnabled() == bTray);
            if (!bTray)
                pFrame->DoCommand(ID_TASK_TRAY); // should it arrive all the same
            QCOMPARE(pFrame->isVisible(), !bTray);
            QCOMPARE(vtsettings::ReadInt("Window", "Tray", -1), 1);
        }
        pFrame->ToggleTray(true); // what a double click does
        QVERIFY(pFrame->isVisible() && pFrame->ToolBar()->isVisible());
        QCOMPARE(vtsettings::ReadInt("Window", "Tray", -1), 0);

        // A modal dialog open: nothing is hidden, the state is still written.
        QDialog modal;
        modal.setWindowModality(Qt::ApplicationModal);
        modal.show();
        vtsettings::WriteInt("Window", "Tray", 7);
        pFrame->ToggleTray(true);
        QVERIFY(pFrame->isVisible());
        QCOMPARE(vtsettings::ReadInt("Window", "Tray", -1), 0);
        modal.close();

        // The tray host goes away while the window is in the tray: the window comes back.
        pFrame->DoCommand(ID_TASK_TRAY);
        QTest::qWait(1200); // a tray timer tick with the tray still there
        QVERIFY(!pFrame->isVisible());
        QCOMPARE(vtsettings::ReadInt("Window", "Tray", -1), 1);
        CMainFrame::SetTrayAvailableForTesting(false);
        QTRY_VERIFY_WITH_TIMEOUT(pFrame->isVisible(), 3000);
        QVERIFY(!pFrame->IsInTray() && pFrame->ToolBar()->isVisible());
        QCOMPARE(vtsettings::ReadInt("Window", "Tray", -1), 0);

        QSignalSpy closed(pFrame.get(), &CMainFrame::closed);
        pFrame->TrayIcon()->contextMenu()->actions().first()->trigger();
        QTRY_COMPARE(closed.count(), 1);
    }

    // The view used before Task Tray has the focus and the commands (Reboot, Change Name, Add to
    // Group) again after a double click on the icon, though another window took over meanwhile
    // and, on some desktops, the hidden window's focus moved on to the other view.
    void restoreFromTrayKeepsTheActiveView()
    {
        const std::uint8_t mac[6] = {};
        m_doc.AddPc("pc0", 0x7F000102u, mac, 0xFFFFFFFFu);
        CGroup* pGroup = m_doc.AddGroup("lab");
        m_doc.AddToGroup(pGroup, m_doc.m_pcs.front()->m_nId);
        for (const auto& [bListActive, pszEnabled] : {std::pair{false, "110"}, std::pair{true, "101"}}) {
            auto pFrame = MakeFrame();
            QVERIFY(pFrame->Create());
            pFrame->ShowAtStartUp();
            QVERIFY(QTest::qWaitForWindowActive(pFrame.get()));
            pFrame->Tree()->setCurrentItem(pFrame->Tree()->ItemOf(pGroup));
            pFrame->List()->selectRow(0);
            QWidget* pUsed = bListActive ? static_cast<QWidget*>(pFrame->List()) : pFrame->Tree();
            QWidget* pOther = bListActive ? static_cast<QWidget*>(pFrame->Tree()) : pFrame->List();
            pUsed->setFocus();
            QTRY_COMPARE(QApplication::focusWidget(), pUsed);

            pFrame->DoCommand(ID_TASK_TRAY);
            QWidget elsewhere;
            elsewhere.show();
            elsewhere.activateWindow();
            QTRY_COMPARE(QApplication::activeWindow(), &elsewhere);
            pOther->setFocus();
            emit qApp->focusChanged(pUsed,
                                    pOther); // as X11 reports it before the frame loses the input focus
            pFrame->ToggleTray(true);        // the double click
            QTRY_COMPARE(QApplication::activeWindow(), pFrame.get());
            QTRY_COMPARE(QApplication::focusWidget(), pUsed);
            pFrame->UpdateCommandStates();
            QCOMPARE(QString::asprintf("%d%d%d", pFrame->Action(ID_REBOOT)->isEnabled(),
                                       pFrame->Action(ID_CHANGE_NAME)->isEnabled(),
                                       pFrame->Action(ID_ADD_TO_GROUP)->isEnabled()),
                     QLatin1String(pszEnabled));
            QVERIFY(pFrame->close());
        }
    }

    void helpFileMissing()
    {
        auto pFrame = MakeFrame();
        pFrame->DoCommand(ID_HELP_CONTENTS_E);
        pFrame->OpenHelp(ID_HELP_CONTENTS_J);
        QCOMPARE(g_messages, L({"Cannot find HELP File!", "ヘルプファイルが見つかりませんでした"}));
        QCOMPARE(g_icons[0], QMessageBox::NoIcon);
    }
};

VT_SHELL_TEST_MAIN(TestShellFrame)
#include "tst_shell_frame.moc"
