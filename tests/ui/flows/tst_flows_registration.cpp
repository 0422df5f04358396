#include "../ViewsTestSupport.h"
#include "CMainFrame.h"
#include "CRegisterDlg.h"
#include "CSelectGroupDlg.h"
#include "CSettingsDlg.h"

#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>

using namespace vttest;

namespace {

constexpr MacAddress kMacA{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};

/// Runs the next registration dialog: fills it in and presses OK, then Cancel should
/// OK have been refused; the refusals are recorded.
void RegisterNext(const char* pszName, const char* pszIp, std::vector<unsigned>* pRefusals = nullptr,
                  const char* pszMac0 = "")
{
    OnNextModal<CRegisterDlg>([=](CRegisterDlg* pDlg) {
        pDlg->m_fnMessage = [pRefusals](unsigned nId) { pRefusals ? pRefusals->push_back(nId) : void(); };
        SetText(pDlg, "editName", pszName);
        SetText(pDlg, "editIp", pszIp);
        if (*pszMac0)
            SetText(pDlg, "editMac0", pszMac0);
        pDlg->accept();
        if (pDlg->isVisible())
            pDlg->reject();
    });
}

/// PCs "pc0"... on 127.1.0.1...
void AddPcs(CDoc& doc, int nCount)
{
    for (int i = 0; i < nCount; ++i)
        AddPc(doc, qPrintable(QStringLiteral("pc%1").arg(i)), qPrintable(QStringLiteral("127.1.0.%1").arg(i + 1)));
}

QString Names(const CDoc& doc)
{
    QStringList names;
    for (const auto& pPc : doc.m_pcs)
        names << QString::fromStdString(pPc->m_strName);
    return names.join(QLatin1Char(','));
}

/// What Options puts into the Settings dialog (interface, port, type, interval); the
/// dialog is then edited and cancelled.
QString Preset(CKwList& list)
{
    QString strPreset;
    OnNextModal<CSettingsDlg>([&strPreset](CSettingsDlg* pDlg) {
        strPreset = QStringLiteral("%1 %2 %3 %4")
                        .arg(pDlg->m_dwInterface)
                        .arg(pDlg->m_nPort)
                        .arg(pDlg->m_nReportType)
                        .arg(pDlg->m_nInterval);
        SetText(pDlg, "editInterval", "10");
        pDlg->reject();
    });
    list.OnCommand(ID_OPTIONS);
    return strPreset;
}

} // namespace

class TestFlowsRegistration : public QObject {
    Q_OBJECT
private slots:
    void init() { ResetEnvironment(); }
    void manualRegistrationUpToTheLimit();
    void registrationWhileGroupShownAddsToRosterOnly();
    void editSettingsKeepsGroupsAndStatus();
    void rosterDeleteAsksForGroupedPcs_data();
    void rosterDeleteAsksForGroupedPcs();
    void groupDeleteTakesPcsOutOfThatGroupOnly();
    void deleteKeyGoesToTheActiveView();
    void addToGroupRules();
    void optionsWritesFourSettingsCancelNone();
    void storedOutOfRangeValuesGiveDefaults();
};

void TestFlowsRegistration::manualRegistrationUpToTheLimit()
{
    Desk desk;
    AddPcs(desk.doc, 253);
    QVERIFY(desk.Start());
    QVERIFY(Enabled(*desk.pList, ID_MANUAL_REGISTRATION));

    // A duplicate address is refused by the dialog; Cancel then registers nothing.
    std::vector<unsigned> refusals;
    RegisterNext("dup", "127.1.0.7", &refusals);
    desk.pList->OnCommand(ID_MANUAL_REGISTRATION);
    QCOMPARE(refusals, std::vector<unsigned>{1028});
    QCOMPARE(desk.doc.m_pcs.size(), std::size_t{253});

    desk.arp[Ip("127.1.1.254")] = kMacA;
    RegisterNext("last", "127.1.1.254");
    desk.pList->OnCommand(ID_MANUAL_REGISTRATION);
    QCOMPARE(desk.doc.m_pcs.size(), std::size_t{254});
    QCOMPARE(desk.doc.m_pcs.back()->m_dwIp, Ip("127.1.1.254")); // host byte order in the record
    QCOMPARE(desk.pList->Model()->rowCount(), 254);
    QCOMPARE(desk.Text(253, CKwListModel::ColIp) + desk.Text(253, CKwListModel::ColMac),
             QStringLiteral("127.1.1.25400-11-22-33-44-55"));

    QVERIFY(!Enabled(*desk.pList, ID_MANUAL_REGISTRATION));
    QVERIFY(!Enabled(*desk.pList, ID_AUTO_REGISTRATION));
    desk.pList->OnCommand(ID_MANUAL_REGISTRATION); // opens nothing when full
    QVERIFY(QApplication::activeModalWidget() == nullptr);
}

void TestFlowsRegistration::registrationWhileGroupShownAddsToRosterOnly()
{
    Desk desk;
    AddPcs(desk.doc, 1);
    CGroup* pGroup = desk.doc.AddGroup("lab");
    desk.doc.AddToGroup(pGroup, desk.doc.m_pcs.front()->m_nId);
    QVERIFY(desk.Start());
    desk.Show(pGroup);
    RegisterNext("newcomer", "127.1.0.2");
    desk.pList->OnCommand(ID_MANUAL_REGISTRATION);
    QCOMPARE(desk.Column(0), QStringLiteral("pc0"));
    QCOMPARE(pGroup->m_members.size(), std::size_t{1});
    desk.Show(nullptr);
    QCOMPARE(desk.Column(0), QStringLiteral("pc0,newcomer"));
}

void TestFlowsRegistration::editSettingsKeepsGroupsAndStatus()
{
    Desk desk;
    AddPcs(desk.doc, 2);
    CKw* pFirst = desk.doc.m_pcs.front().get();
    desk.doc.SetPcMac(pFirst, kMacA.data());
    desk.doc.SetPcStatus(pFirst, 0);
    desk.doc.AddToGroup(desk.doc.AddGroup("lab"), pFirst->m_nId);
    QVERIFY(desk.Start());
    QVERIFY(!Enabled(*desk.pList, ID_EDIT_SETTINGS));
    desk.Select({0});
    desk.doc.SetModifiedFlag(false);
    OnNextModal<CRegisterDlg>([](CRegisterDlg* pDlg) { pDlg->reject(); });
    desk.pList->OnCommand(ID_EDIT_SETTINGS);
    QVERIFY(!desk.doc.IsModified());

    // The address of another registered PC is allowed here.
    RegisterNext("renamed", "127.1.0.2", nullptr, "aa");
    desk.pList->OnCommand(ID_EDIT_SETTINGS);
    QVERIFY(desk.doc.IsModified());
    QVERIFY(desk.doc.m_groups.front()->IsMember(pFirst->m_nId));
    QCOMPARE(pFirst->m_dwIp, Ip("127.1.0.2"));
    QCOMPARE(desk.Column(CKwListModel::ColName) + desk.Column(CKwListModel::ColStatus) +
                 desk.Column(CKwListModel::ColMac),
             QStringLiteral("renamed,pc1Now operating,UnknownAA-11-22-33-44-55,Unknown"));
}

void TestFlowsRegistration::rosterDeleteAsksForGroupedPcs_data()
{
    // Selected PCs (those marked grouped belong to a group), the answers to 1537 and
    // then to each 1536, the roster left and the number of questions.
    QTest::addColumn<QList<bool>>("grouped");
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<QString>("left");
    QTest::addColumn<int>("questions");
    const int yes = QMessageBox::Yes, no = QMessageBox::No, cancel = QMessageBox::Cancel;
    QTest::newRow("no at the grouped middle one")
        << QList<bool>{false, true, false} << QList<int>{yes, no} << QStringLiteral("outsider,pc1") << 2;
    QTest::newRow("no at the first question")
        << QList<bool>{false, true, false} << QList<int>{no} << QStringLiteral("outsider,pc0,pc1,pc2") << 1;
    QTest::newRow("cancel keeps what follows")
        << QList<bool>{false, true, false, true} << QList<int>{yes, cancel} << QStringLiteral("outsider,pc1,pc2,pc3")
        << 2;
    QTest::newRow("yes to every question")
        << QList<bool>{true, true, false} << QList<int>{yes, yes, yes} << QStringLiteral("outsider") << 3;
}

void TestFlowsRegistration::rosterDeleteAsksForGroupedPcs()
{
    QFETCH(QList<bool>, grouped);
    QFETCH(QList<int>, answers);
    QFETCH(QString, left);
    QFETCH(int, questions);
    Desk desk;
    AddPc(desk.doc, "outsider", "127.1.0.99");
    AddPcs(desk.doc, static_cast<int>(grouped.size()));
    CGroup* pGroup = desk.doc.AddGroup("lab");
    for (int i = 0; i < grouped.size(); ++i)
        if (grouped[i])
            desk.doc.AddToGroup(pGroup, std::next(desk.doc.m_pcs.begin(), i + 1)->get()->m_nId);
    QVERIFY(desk.Start());
    for (int i = 1; i <= grouped.size(); ++i)
        desk.pList->selectionModel()->select(desk.pList->Model()->index(i, 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
    for (int answer : answers)
        desk.log.answers.push_back(static_cast<QMessageBox::StandardButton>(answer));
    desk.pList->OnCommand(ID_DELETE);

    QCOMPARE(desk.log.texts, QStringList{S(1537)} + QStringList(questions - 1, S(1536)));
    QVERIFY(questions == 1 || (desk.log.buttons.back() & QMessageBox::Cancel));
    QCOMPARE(Names(desk.doc), left);
    QCOMPARE(desk.Column(0), left);
    for (std::int32_t nId : pGroup->m_members)
        QVERIFY(desk.doc.FindPcById(nId));
}

void TestFlowsRegistration::groupDeleteTakesPcsOutOfThatGroupOnly()
{
    Desk desk;
    AddPcs(desk.doc, 4);
    CGroup* pShown = desk.doc.AddGroup("shown");
    CGroup* pOther = desk.doc.AddGroup("other");
    for (const auto& pPc : desk.doc.m_pcs) {
        desk.doc.AddToGroup(pShown, pPc->m_nId);
        desk.doc.AddToGroup(pOther, pPc->m_nId);
    }
    QVERIFY(desk.Start());
    desk.Show(pShown);
    desk.Select({0, 2, 3});
    desk.log.answers = {QMessageBox::No};
    desk.pList->OnCommand(ID_DELETE);
    QCOMPARE(pShown->m_members.size(), std::size_t{4});
    desk.pList->OnCommand(ID_DELETE); // Yes
    QCOMPARE(desk.log.texts, (QStringList{S(1538), S(1538)}));
    QCOMPARE(desk.Column(0), QStringLiteral("pc1"));
    QCOMPARE(pShown->m_members, std::vector<std::int32_t>{desk.doc.m_pcs.front()->m_nId + 1});
    QCOMPARE(Names(desk.doc), QStringLiteral("pc0,pc1,pc2,pc3"));
    QCOMPARE(pOther->m_members.size(), std::size_t{4});
}

void TestFlowsRegistration::deleteKeyGoesToTheActiveView()
{
    // A group shown with its member selected: both views could delete something.
    Desk desk; // its lookups, hooks and message log only
    QTemporaryDir dir;
    desk.doc.SetPathName(dir.filePath(QStringLiteral("flows.DAT")).toStdString());
    AddPcs(desk.doc, 1);
    CGroup* pGroup = desk.doc.AddGroup("lab");
    desk.doc.AddToGroup(pGroup, desk.doc.m_pcs.front()->m_nId);
    desk.doc.SetModifiedFlag(false);
    CMainFrame::SetTrayAvailableForTesting(false);
    {
        CMainFrame frame(&desk.doc, nullptr);
        QVERIFY(frame.Create());
        frame.show();
        QVERIFY(QTest::qWaitForWindowActive(&frame) && WaitIdle(desk.doc));
        frame.Tree()->setCurrentItem(frame.Tree()->ItemOf(pGroup));
        frame.List()->selectRow(0);
        frame.List()->setFocus();
        desk.log.answers = {QMessageBox::No, QMessageBox::No};
        QTest::keyClick(frame.List(), Qt::Key_Delete);
        frame.Tree()->setFocus();
        QTest::keyClick(frame.Tree(), Qt::Key_Delete);
        QCOMPARE(desk.log.texts, (QStringList{S(1538), S(1539)}));
    }
    CMainFrame::SetTrayAvailableForTesting(std::nullopt);
}

void TestFlowsRegistration::addToGroupRules()
{
    Desk desk;
    AddPcs(desk.doc, 3);
    const std::int32_t a = desk.doc.m_pcs.front()->m_nId, b = a + 1, c = a + 2;
    CGroup* pTarget = desk.doc.AddGroup("target");
    CGroup* pFull = desk.doc.AddGroup("full");
    CGroup* pLast = desk.doc.AddGroup("last");
    desk.doc.AddToGroup(pTarget, b);
    for (std::int32_t nId = 1000; nId < 1254; ++nId)
        pFull->m_members.push_back(nId); // ids of PCs loaded once and gone since
    QVERIFY(desk.Start());
    desk.Select({0, 1, 2});
    desk.pTree->setFocus();
    QVERIFY(!Enabled(*desk.pList, ID_ADD_TO_GROUP)); // only while the list is the active view
    desk.pList->setFocus();
    QVERIFY(Enabled(*desk.pList, ID_ADD_TO_GROUP));

    // Every group offered in order; already-members are skipped without a word; the
    // full group refuses with 1029 and the groups after it are left alone.
    std::vector<CGroup*> offered;
    OnNextModal<CSelectGroupDlg>([&offered](CSelectGroupDlg* pDlg) {
        offered = pDlg->m_groupList;
        pDlg->findChild<QListWidget*>(QStringLiteral("listGroups"))->selectAll();
        pDlg->accept();
    });
    desk.pList->OnCommand(ID_ADD_TO_GROUP);
    QCOMPARE(offered, (std::vector<CGroup*>{pTarget, pFull, pLast}));
    QCOMPARE(pTarget->m_members, (std::vector<std::int32_t>{b, a, c}));
    QCOMPARE(desk.log.texts, QStringList{S(1029)});
    QCOMPARE(desk.log.icons.back(), QMessageBox::Information);
    QVERIFY(pLast->m_members.empty());

    // Also from a group view; the group shown is no target at all.
    desk.Show(pTarget);
    desk.Select({1});
    QVERIFY(!desk.pList->AddSelectedToGroup(pFull));
    QCOMPARE(pFull->m_members.size(), std::size_t{254});
    pTarget->m_members.resize(254, 2000);
    QVERIFY(desk.pList->AddSelectedToGroup(pTarget));
    QCOMPARE(desk.log.texts, (QStringList{S(1029), S(1029)}));
}

void TestFlowsRegistration::optionsWritesFourSettingsCancelNone()
{
    vtsettings::WriteInt("Interface", "IP Port", 9100);
    vtsettings::WriteInt("Settings", "Interval", 300);
    Desk desk;
    QVERIFY(desk.Start());
    desk.pList->RestartPeriodicTimer(1, 45); // the view's fields, not the store, preset the dialog
    QStringList writes;
    CKwList::SetSettingWriterForTesting([&writes](const char* section, const char* key, int nValue) {
        writes << QStringLiteral("%1/%2=%3").arg(QLatin1String(section), QLatin1String(key)).arg(nValue);
        vtsettings::WriteInt(section, key, nValue);
    });
    QCOMPARE(Preset(*desk.pList), QStringLiteral("0 9100 1 45"));
    QVERIFY(writes.isEmpty());
    QCOMPARE(desk.pList->Interval(), 45);

    OnNextModal<CSettingsDlg>([](CSettingsDlg* pDlg) {
        SetText(pDlg, "editPort", "9200");
        pDlg->findChild<QRadioButton*>(QStringLiteral("radioPeriodic"))->setChecked(true);
        SetText(pDlg, "editInterval", "30");
        pDlg->accept();
        if (pDlg->isVisible())
            pDlg->reject();
    });
    desk.pList->OnCommand(ID_OPTIONS);
    QCOMPARE(writes.join(QLatin1Char(' ')), QStringLiteral("Interface/IP Address=0 Interface/IP Port=9200 "
                                                           "Settings/Type=2 Settings/Interval=30"));
    QCOMPARE(desk.pList->PeriodicTimerPeriod(), 30000);
    QCOMPARE(vtsettings::Port(), 9200);

    // Mode 0 stops the periodic poll; the check timer goes on.
    OnNextModal<CSettingsDlg>([](CSettingsDlg* pDlg) {
        pDlg->findChild<QRadioButton*>(QStringLiteral("radioNotUsed"))->setChecked(true);
        pDlg->accept();
    });
    desk.pList->OnCommand(ID_OPTIONS);
    QCOMPARE(desk.pList->PeriodicTimerPeriod(), 0);
    QVERIFY(desk.pList->IsCheckTimerActive());
    QCOMPARE(vtsettings::ReportType(), 0);
}

void TestFlowsRegistration::storedOutOfRangeValuesGiveDefaults()
{
    vtsettings::WriteInt("Settings", "Type", 2);
    vtsettings::WriteInt("Settings", "Interval", 0);
    vtsettings::WriteInt("Interface", "IP Port", 65535);
    Desk desk;
    QVERIFY(desk.Start());
    QCOMPARE(desk.pList->PeriodicTimerPeriod(), 60000);
    QCOMPARE(Preset(*desk.pList), QStringLiteral("0 9000 2 60"));
}

VT_VIEWS_TEST_MAIN(TestFlowsRegistration)
#include "tst_flows_registration.moc"
