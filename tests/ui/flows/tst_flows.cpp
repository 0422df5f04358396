#include "../ViewsTestSupport.h"

using namespace vttest;

namespace {

constexpr MacAddress kMacA{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};

/// PCs "pc0"... on 127.1.0.1...
void AddPcs(CDoc& doc, int nCount)
{
    for (int i = 0; i < nCount; ++i)
        AddPc(doc, qPrintable(QStringLiteral("pc%1").arg(i)),
              qPrintable(QStringLiteral("127.1.0.%1").arg(i + 1)));
}

/// The settings Options writes: interface, port, type, interval, whether operations ask first.
QString Stored()
{
    return QString::asprintf("%u %d %d %d %d", vtsettings::InterfaceAddress(), vtsettings::Port(),
                             vtsettings::ReportType(), vtsettings::Interval(),
                             int(vtsettings::ConfirmOperation()));
}

/// The same as the Settings dialog shows them when Options opens it; the dialog is then
/// edited and cancelled.
QString Preset(CKwList& list)
{
    QString strPreset;
    ModalDriver driver({[&strPreset](QDialog* pModal) {
        auto* pDlg = qobject_cast<CSettingsDlg*>(pModal);
        auto* pConfirm = pDlg->findChild<QCheckBox*>(QStringLiteral("checkConfirm"));
        strPreset = QString::asprintf("%u %u %d %d %d", pDlg->m_dwInterface, pDlg->m_nPort,
                                      pDlg->m_nReportType, pDlg->m_nInterval, pConfirm->isChecked() ? 1 : 0);
        SetText(pDlg, "editInterval", "10");
        pConfirm->toggle();
        pDlg->reject();
    }});
    list.OnCommand(ID_OPTIONS);
    return strPreset;
}

/// What the tree heard: E(nter), O(ver), L(eave) and D(rop), a bar after each L and D.
QString Heard(const QSignalSpy& spy)
{
    QString str;
    for (const QList<QVariant>& args : spy) {
        const int n = args.at(0).toInt() - CGpTree::WM_TREE_DRAGENTER;
        str += QLatin1String("EOLD").at(n) + QLatin1String(n >= 2 ? "|" : "");
    }
    return str.chopped(1);
}

} // namespace

class TestFlows : public QObject {
    Q_OBJECT
private slots:
    void init() { ResetEnvironment(); }
    void registrationUpToTheLimitWithAGroupShown();
    void rosterDeleteAsksForGroupedPcs_data();
    void rosterDeleteAsksForGroupedPcs();
    void addToGroupAndDeleteFromAGroup();
    void optionsPresetsAndWritesItsSettings();
    void contextMenuAndDragOntoGroups();
};

void TestFlows::registrationUpToTheLimitWithAGroupShown()
{
    Desk desk;
    AddPcs(desk.doc, 253);
    CGroup* pGroup = desk.doc.AddGroup("lab");
    desk.doc.AddToGroup(pGroup, desk.doc.m_pcs.front()->m_nId);
    desk.arp[Ip("127.1.1.254")] = kMacA;
    QVERIFY(desk.Start());
    desk.Show(pGroup);

    // Registered while a group is shown: on the roster only.
    QVERIFY(Enabled(*desk.pList, ID_MANUAL_REGISTRATION));
    ModalDriver driver({[](QDialog* pModal) {
        auto* pDlg = qobject_cast<CRegisterDlg*>(pModal);
        SetText(pDlg, "editName", "last");
        SetText(pDlg, "editIp", "127.1.1.254");
        pDlg->accept();
        QVERIFY(QTest::qWaitFor([pDlg] { return !pDlg->IsLookingUp(); }, 5000));
        if (pDlg->isVisible())
            pDlg->reject(); // refused
    }});
    desk.pList->OnCommand(ID_MANUAL_REGISTRATION);
    QCOMPARE(desk.Column(0), QStringLiteral("pc0"));
    QCOMPARE(pGroup->m_members.size(), std::size_t{1});
    QCOMPARE(desk.doc.m_pcs.back()->m_dwIp, Ip("127.1.1.254")); // host byte order in the record
    desk.Show(nullptr);
    QCOMPARE(desk.pList->Model()->rowCount(), 254);
    QCOMPARE(desk.Text(253, CKwListModel::ColName) + desk.Text(253, CKwListModel::ColMac),
             QStringLiteral("last00-11-22-33-44-55"));

    // The 254th was the last.
    QVERIFY(!Enabled(*desk.pList, ID_MANUAL_REGISTRATION) && !Enabled(*desk.pList, ID_AUTO_REGISTRATION));
    desk.pList->OnCommand(ID_MANUAL_REGISTRATION); // opens nothing
    QCOMPARE(driver.m_seen.size(), 1);
}

void TestFlows::rosterDeleteAsksForGroupedPcs_data()
{
    // The PCs selected ("g": in a group), the answers (Yes, No, Cancel) to 1537 and then to
    // each 1536, and the roster left.
    QTest::addColumn<QString>("strCase");
    QTest::newRow("no at the grouped middle one") << "-g- YN outsider,pc1";
    QTest::newRow("no at the first question") << "-g- N outsider,pc0,pc1,pc2";
    QTest::newRow("cancel keeps what follows") << "-g-g YC outsider,pc1,pc2,pc3";
    QTest::newRow("yes to every question") << "gg- YYY outsider";
}

void TestFlows::rosterDeleteAsksForGroupedPcs()
{
    QFETCH(QString, strCase);
    const QString grouped = strCase.section(u' ', 0, 0), answers = strCase.section(u' ', 1, 1),
                  left = strCase.section(u' ', 2, 2);
    Desk desk;
    AddPc(desk.doc, "outsider", "127.1.0.99");
    AddPcs(desk.doc, static_cast<int>(grouped.size()));
    CGroup* pGroup = desk.doc.AddGroup("lab");
    std::vector<int> rows;
    for (int i = 0; i < grouped.size(); ++i) {
        rows.push_back(i + 1);
        if (grouped[i] == QLatin1Char('g'))
            desk.doc.AddToGroup(pGroup, desk.doc.m_pcs.front()->m_nId + i + 1);
    }
    QVERIFY(desk.Start());
    desk.Select(rows);
    for (QChar c : answers)
        desk.log.answers.push_back(c == QLatin1Char('Y')   ? QMessageBox::Yes
                                   : c == QLatin1Char('N') ? QMessageBox::No
                                                           : QMessageBox::Cancel);
    desk.pList->OnCommand(ID_DELETE);
    QCOMPARE(desk.log.texts, QStringList{S(1537)} + QStringList(answers.size() - 1, S(1536)));
    QVERIFY(answers.size() == 1 || (desk.log.buttons.back() & QMessageBox::Cancel));
    QCOMPARE(desk.Column(0), left);
    QCOMPARE(desk.doc.m_pcs.size(), static_cast<std::size_t>(left.count(QLatin1Char(',')) + 1));
    for (std::int32_t nId : pGroup->m_members)
        QVERIFY(desk.doc.FindPcById(nId));
}

void TestFlows::addToGroupAndDeleteFromAGroup()
{
    Desk desk;
    AddPcs(desk.doc, 4);
    const std::int32_t a = desk.doc.m_pcs.front()->m_nId, b = a + 1, c = a + 2;
    CGroup* pShown = desk.doc.AddGroup("shown");
    CGroup* pOther = desk.doc.AddGroup("other");
    CGroup* pFull = desk.doc.AddGroup("full");
    CGroup* pLast = desk.doc.AddGroup("last");
    desk.doc.AddToGroup(pShown, b);
    for (std::int32_t nId = 1000; nId < 1254; ++nId)
        pFull->m_members.push_back(nId); // ids of PCs loaded once and gone since
    QVERIFY(desk.Start());
    desk.Select({0, 1, 2});
    desk.pList->setFocus(); // the command belongs to the active view

    // Every group offered in order; already-members are skipped without a word; the
    // full group refuses with 1029 and the groups after it are left alone.
    std::vector<CGroup*> offered;
    QList<QImage> pictures;
    ModalDriver driver({[&offered, &pictures](QDialog* pDlg) {
        offered = qobject_cast<CSelectGroupDlg*>(pDlg)->m_groupList;
        auto* pList = pDlg->findChild<QListWidget*>(QStringLiteral("listGroups"));
        for (QIcon::Mode mode : {QIcon::Normal, QIcon::Selected})
            pictures << pList->item(3)->icon().pixmap(pList->iconSize(), mode).toImage();
        for (int nRow : {3, 0, 1, 2}) // taken in the list's order, not in the order picked
            pList->item(nRow)->setSelected(true);
        pDlg->accept();
    }});
    desk.pList->OnCommand(ID_ADD_TO_GROUP);
    QCOMPARE(offered, (std::vector<CGroup*>{pShown, pOther, pFull, pLast}));
    // The tree's group picture (coloured screens), selected or not.
    const QImage picture =
        desk.pTree->ItemOf(pLast)->icon(0).pixmap(QSize(18, 17), QIcon::Selected).toImage();
    QCOMPARE(pictures, (QList<QImage>{picture, picture}));
    QCOMPARE(pShown->m_members, (std::vector<std::int32_t>{b, a, c}));
    QCOMPARE(pOther->m_members, (std::vector<std::int32_t>{a, b, c}));
    QCOMPARE(desk.log.texts, QStringList{S(1029)});
    QCOMPARE(desk.log.icons.back(), QMessageBox::Information);
    QVERIFY(pLast->m_members.empty());

    // Deleting with a group shown takes the PCs out of that group only, after a question.
    desk.Show(pShown);
    desk.Select({0, 2});
    desk.log.answers = {QMessageBox::No};
    desk.pList->OnCommand(ID_DELETE);
    QCOMPARE(pShown->m_members.size(), std::size_t{3});
    desk.pList->OnCommand(ID_DELETE); // Yes
    QCOMPARE(desk.log.texts, (QStringList{S(1029), S(1538), S(1538)}));
    QCOMPARE(desk.Column(0), QStringLiteral("pc0"));
    QCOMPARE(pShown->m_members, std::vector<std::int32_t>{a});
    QCOMPARE(desk.doc.m_pcs.size(), std::size_t{4});
    QCOMPARE(pOther->m_members.size(), std::size_t{3});
}

void TestFlows::optionsPresetsAndWritesItsSettings()
{
    vtsettings::WriteInt("Settings", "Type", 2);
    vtsettings::WriteInt("Interface", "IP Address", 0x0A000001); // not offered: O K writes Auto
    Desk desk;
    QVERIFY(desk.Start());
    QCOMPARE(desk.pList->PeriodicTimerPeriod(), 60000);
    QCOMPARE(Preset(*desk.pList), QStringLiteral("167772161 47311 2 60 1"));
    desk.pList->RestartPeriodicTimer(1, 45); // the view's fields, not the store, preset the dialog
    QCOMPARE(Preset(*desk.pList), QStringLiteral("167772161 47311 1 45 1"));
    QCOMPARE(Stored(), QStringLiteral("167772161 47311 2 60 1"));

    // Not asking before operations is switched off and on again here.
    for (bool bAsk : {false, true}) {
        {
            ModalDriver driver({[bAsk](QDialog* pDlg) {
                SetText(pDlg, "editPort", "9200");
                pDlg->findChild<QRadioButton*>(QStringLiteral("radioPeriodic"))->setChecked(true);
                SetText(pDlg, "editInterval", "30");
                pDlg->findChild<QCheckBox*>(QStringLiteral("checkConfirm"))->setChecked(bAsk);
                pDlg->accept();
            }});
            desk.pList->OnCommand(ID_OPTIONS);
        }
        QCOMPARE(Stored(), QStringLiteral("0 9200 2 30 %1").arg(int(bAsk)));
        QCOMPARE(Preset(*desk.pList), Stored());
    }
    QCOMPARE(desk.pList->PeriodicTimerPeriod(), 30000);
}

void TestFlows::contextMenuAndDragOntoGroups()
{
    Desk desk;
    AddPc(desk.doc, "pc0", "127.1.0.1");
    AddPc(desk.doc, "pc1", "127.1.0.2");
    CGroup* pFirst = desk.doc.AddGroup("first");
    CGroup* pSecond = desk.doc.AddGroup("second");
    QVERIFY(desk.Start());
    auto at = [&desk](CGroup* pGroup) { return desk.TreePoint(desk.pTree->ItemOf(pGroup)); };
    auto drag = [&desk](const std::vector<int>& rows, QPoint to) {
        desk.Select(rows);
        desk.pList->BeginDrag(desk.ListPoint(rows.front()));
        desk.pList->DragMoveTo(to);
    };
    // The context menu: what needs a selection; then, with one, every item and the Power OFF ones.
    QCOMPARE(
        MenuText(desk.pList->BuildContextMenu(nullptr)),
        QStringLiteral("Manual Registration|Auto Registration|!Edit Settings|!Delete|-|!Reboot|!Shutdown|-|"
                       "!Forcible Reboot|!Forcible Shutdown|-|!Wake up|-|!Reserve|-|Refresh"));
    SetPowerOffEnabled(true);
    desk.Select({0});
    const QString strMenu = MenuText(desk.pList->BuildContextMenu(nullptr));
    QVERIFY2(!strMenu.contains(u'!') && strMenu.count(QStringLiteral("Power OFF")) == 2, qPrintable(strMenu));
    desk.pList->clearSelection();

    desk.pList->setFocus();
    QSignalSpy spy(desk.pTree, &CGpTree::dragDropMessage);
    desk.pList->BeginDrag(desk.ListPoint(0));
    QVERIFY(!desk.pList->IsDragging()); // nothing selected, nothing to drag

    drag({0}, at(pFirst));
    QCOMPARE(QWidget::mouseGrabber(), desk.pList->viewport());
    QCOMPARE(desk.pTree->DropTargetItem(), desk.pTree->ItemOf(pFirst));
    desk.pList->DragMoveTo(at(pFirst)); // standing still says nothing
    desk.pList->DragMoveTo(at(pSecond));
    desk.pList->DragMoveTo(desk.TreePoint(desk.pTree->RootItem()));
    QCOMPARE(desk.pTree->DropTargetItem(), nullptr); // the root takes nothing
    desk.pList->DragMoveTo(desk.ListPoint(1));
    desk.pList->DragMoveTo(at(pFirst));
    desk.pList->EndDrag(true);
    QCOMPARE(Heard(spy), QStringLiteral("EOOL|ED"));
    QCOMPARE(pFirst->m_members, std::vector<std::int32_t>{desk.doc.m_pcs.front()->m_nId});

    // Esc cancels: the mouse is free, nothing is added, the selection stays.
    drag({0, 1}, at(pSecond));
    QTest::keyClick(desk.pList, Qt::Key_Escape);
    QVERIFY(!desk.pList->IsDragging() && !QApplication::overrideCursor());
    QCOMPARE(QWidget::mouseGrabber(), nullptr);
    QCOMPARE(desk.pTree->DropTargetItem(), nullptr);
    QVERIFY(pSecond->m_members.empty());

    // By the mouse: a press, then a move past the drag distance; the selection stays.
    QWindow* pWindow = desk.pHost->windowHandle();
    auto inWindow = [&desk](QPoint global) { return desk.pHost->mapFromGlobal(global); };
    const QPoint start = desk.ListPoint(0);
    const int nFar = QApplication::startDragDistance() + 5;
    QTest::mousePress(pWindow, Qt::LeftButton, {}, inWindow(start));
    QTest::mouseMove(pWindow, inWindow(start + QPoint(2, 1)));
    QVERIFY(!desk.pList->IsDragging());
    QTest::mouseMove(pWindow, inWindow(start + QPoint(nFar, 0)));
    QTest::mouseMove(pWindow, inWindow(start + QPoint(nFar + 1, 1)));
    QVERIFY(desk.pList->IsDragging());
    QTest::mouseMove(pWindow, inWindow(at(pSecond)));
    QTest::mouseRelease(pWindow, Qt::LeftButton, {}, inWindow(at(pSecond)));
    const std::int32_t nPc0 = desk.doc.m_pcs.front()->m_nId;
    QCOMPARE(pSecond->m_members, (std::vector<std::int32_t>{nPc0, nPc0 + 1}));
    QCOMPARE(desk.pList->SelectedRows(), (std::vector<int>{0, 1}));

    // Drops on the root and on the group shown add nothing (the full group would complain).
    drag({0, 1}, desk.TreePoint(desk.pTree->RootItem()));
    desk.pList->EndDrag(true);
    for (std::int32_t nId = 1000; pFirst->m_members.size() < 254; ++nId)
        pFirst->m_members.push_back(nId);
    desk.Show(pFirst);
    drag({0}, at(pFirst));
    desk.pList->EndDrag(true);
    QCOMPARE(Heard(spy), QStringLiteral("EOOL|ED|EL|ED|ED|ED"));
    QCOMPARE(pFirst->m_members.size(), std::size_t{254});
    QCOMPARE(pSecond->m_members.size(), std::size_t{2});
    QVERIFY(desk.log.texts.isEmpty());
}

VT_SHELL_TEST_MAIN(TestFlows)
#include "tst_flows.moc"
