#include "CMainFrame.h"
#include "CRegisterDlg.h"
#include "CSelectGroupDlg.h"
#include "CSettingsDlg.h"
#include "FlowsTestSupport.h"

#include <QButtonGroup>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>

using namespace vttest;
using namespace vtflows;

namespace {

constexpr MacAddress kMacA{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};

void FillRegistration(CRegisterDlg* pDlg, const QString& strName, const QString& strIp)
{
    pDlg->findChild<QLineEdit*>(QStringLiteral("editName"))->setText(strName);
    pDlg->findChild<QLineEdit*>(QStringLiteral("editIp"))->setText(strIp);
}

/// Runs the next registration dialog: fills name and address and presses OK (twice
/// at most, so a refusal never leaves it open).
void RegisterNext(const QString& strName, const QString& strIp, std::vector<unsigned>* pRefusals = nullptr)
{
    OnNextModal<CRegisterDlg>([=](CRegisterDlg* pDlg) {
        pDlg->m_fnMessage = [pRefusals](unsigned nId) {
            if (pRefusals)
                pRefusals->push_back(nId);
        };
        FillRegistration(pDlg, strName, strIp);
        pDlg->accept();
        if (pDlg->isVisible())
            pDlg->reject();
    });
}

/// What the Options command put into the Settings dialog.
struct Preset {
    std::uint32_t dwInterface = 1;
    unsigned nPort = 0;
    int nReportType = -1;
    int nInterval = -1;
    static Preset Of(const CSettingsDlg& dlg)
    {
        return {dlg.m_dwInterface, dlg.m_nPort, dlg.m_nReportType, dlg.m_nInterval};
    }
    bool operator==(const Preset&) const = default;
};

QString PcName(int n)
{
    return QStringLiteral("pc%1").arg(n);
}

} // namespace

class TestFlowsRegistration : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void manualRegistrationUpToTheLimit();
    void registrationWhileGroupShownAddsToRosterOnly();
    void editSettingsReplacesAddressesOnly();
    void rosterDeleteAsksForGroupedPcs_data();
    void rosterDeleteAsksForGroupedPcs();
    void groupDeleteTakesPcsOutOfThatGroupOnly();
    void deleteKeyGoesToTheActiveView();
    void addSelectedToGroupRules();
    void addToGroupStopsAtFirstRefusal();
    void autoRegistrationRegistersAnswers();
    void optionsWritesFourSettingsInOrder();
    void optionsCancelWritesNothing();
    void storedOutOfRangeValuesGiveDefaults();

private:
    std::unique_ptr<FakeLookup> m_pLookup;
};

void TestFlowsRegistration::init()
{
    PrepareEnvironment();
    m_pLookup = std::make_unique<FakeLookup>();
}

void TestFlowsRegistration::cleanup()
{
    m_pLookup.reset();
    CKwList::SetSettingWriterForTesting({});
    vtclock::SetClockForTesting({});
}

void TestFlowsRegistration::manualRegistrationUpToTheLimit()
{
    Desk desk;
    for (int i = 1; i <= 253; ++i)
        AddPc(desk.doc, PcName(i).toUtf8().constData(),
              QStringLiteral("127.1.0.%1").arg(i).toLatin1().constData());
    QVERIFY(desk.Start());
    QCOMPARE(desk.pList->Model()->rowCount(), 253);
    QVERIFY(desk.Enabled(ID_MANUAL_REGISTRATION));

    // A duplicate address is refused by the dialog; Cancel then registers nothing.
    std::vector<unsigned> refusals;
    RegisterNext(QStringLiteral("dup"), QStringLiteral("127.1.0.7"), &refusals);
    desk.pList->OnCommand(ID_MANUAL_REGISTRATION);
    QCOMPARE(refusals, std::vector<unsigned>{1028});
    QCOMPARE(desk.doc.m_pcs.size(), std::size_t{253});

    m_pLookup->arp[Ip("127.1.1.254")] = kMacA;
    RegisterNext(QStringLiteral("last"), QStringLiteral("127.1.1.254"));
    desk.pList->OnCommand(ID_MANUAL_REGISTRATION);
    QCOMPARE(desk.doc.m_pcs.size(), std::size_t{254});
    const CKw* pNew = desk.doc.m_pcs.back().get();
    QCOMPARE(pNew->m_dwIp, Ip("127.1.1.254")); // host byte order in the record
    QCOMPARE(pNew->m_dwBroadcast, 0xFFFFFFFFu);
    QCOMPARE(pNew->m_mac, kMacA);
    QCOMPARE(pNew->m_nStatus, 1);
    QCOMPARE(desk.pList->Model()->rowCount(), 254);
    QCOMPARE(desk.Text(253, CKwListModel::ColIp), QStringLiteral("127.1.1.254"));
    QCOMPARE(desk.Text(253, CKwListModel::ColStatus), QStringLiteral("Unknown"));

    QVERIFY(!desk.Enabled(ID_MANUAL_REGISTRATION));
    QVERIFY(!desk.Enabled(ID_AUTO_REGISTRATION));
    desk.pList->OnCommand(ID_MANUAL_REGISTRATION); // opens nothing when full
    QVERIFY(QApplication::activeModalWidget() == nullptr);
}

void TestFlowsRegistration::registrationWhileGroupShownAddsToRosterOnly()
{
    Desk desk;
    AddPc(desk.doc, "member", "127.1.0.1");
    CGroup* pGroup = desk.doc.AddGroup("lab");
    desk.doc.AddToGroup(pGroup, desk.doc.m_pcs.front()->m_nId);
    QVERIFY(desk.Start());
    desk.Show(pGroup);
    QCOMPARE(desk.pList->CurrentGroup(), pGroup);

    RegisterNext(QStringLiteral("newcomer"), QStringLiteral("127.1.0.2"));
    desk.pList->OnCommand(ID_MANUAL_REGISTRATION);
    QCOMPARE(desk.doc.m_pcs.size(), std::size_t{2});
    QCOMPARE(desk.pList->Model()->rowCount(), 1);
    QCOMPARE(pGroup->m_members.size(), std::size_t{1});

    desk.Show(nullptr);
    QCOMPARE(desk.pList->Model()->rowCount(), 2);
    QCOMPARE(desk.Text(1, CKwListModel::ColName), QStringLiteral("newcomer"));
}

void TestFlowsRegistration::editSettingsReplacesAddressesOnly()
{
    Desk desk;
    CKw* pFirst = AddPc(desk.doc, "first", "127.1.0.1", kMacA);
    AddPc(desk.doc, "second", "127.1.0.2");
    CGroup* pGroup = desk.doc.AddGroup("lab");
    desk.doc.AddToGroup(pGroup, pFirst->m_nId);
    desk.doc.SetPcStatus(pFirst, 0);
    QVERIFY(desk.Start());
    QVERIFY(!desk.Enabled(ID_EDIT_SETTINGS));
    desk.Select({0});
    QVERIFY(desk.Enabled(ID_EDIT_SETTINGS));
    desk.doc.SetModifiedFlag(false);

    // Cancel changes nothing.
    QStringList shown;
    OnNextModal<CRegisterDlg>([&shown](CRegisterDlg* pDlg) {
        for (const char* psz : {"editName", "editIp", "editMac5"})
            shown << pDlg->findChild<QLineEdit*>(QLatin1String(psz))->text();
        pDlg->reject();
    });
    desk.pList->OnCommand(ID_EDIT_SETTINGS);
    QCOMPARE(shown,
             (QStringList{QStringLiteral("first"), QStringLiteral("127.1.0.1"), QStringLiteral("55")}));
    QVERIFY(!desk.doc.IsModified());

    // The address of another registered PC is allowed here.
    OnNextModal<CRegisterDlg>([](CRegisterDlg* pDlg) {
        FillRegistration(pDlg, QStringLiteral("renamed"), QStringLiteral("127.1.0.2"));
        pDlg->findChild<QLineEdit*>(QStringLiteral("editMac0"))->setText(QStringLiteral("aa"));
        pDlg->findChild<QLineEdit*>(QStringLiteral("editBroadcast"))
            ->setText(QStringLiteral("127.1.255.255"));
        pDlg->accept();
        if (pDlg->isVisible())
            pDlg->reject();
    });
    desk.pList->OnCommand(ID_EDIT_SETTINGS);
    QCOMPARE(pFirst->m_strName, std::string("renamed"));
    QCOMPARE(pFirst->m_dwIp, Ip("127.1.0.2"));
    QCOMPARE(pFirst->m_dwBroadcast, Ip("127.1.255.255"));
    QCOMPARE(pFirst->m_mac, (MacAddress{0xAA, 0x11, 0x22, 0x33, 0x44, 0x55}));
    QCOMPARE(pFirst->m_nStatus, 0);
    QVERIFY(pGroup->IsMember(pFirst->m_nId));
    QVERIFY(desk.doc.IsModified());
    QCOMPARE(desk.Text(0, CKwListModel::ColName), QStringLiteral("renamed"));
    QCOMPARE(desk.Text(0, CKwListModel::ColBroadcast), QStringLiteral("127.1.255.255"));
    QCOMPARE(desk.Text(0, CKwListModel::ColMac), QStringLiteral("AA-11-22-33-44-55"));
}

void TestFlowsRegistration::rosterDeleteAsksForGroupedPcs_data()
{
    // Four PCs selected, the ones marked grouped belong to a group; the answers given
    // to 1537 and then to each 1536; the names left afterwards.
    QTest::addColumn<QList<bool>>("grouped");
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<QStringList>("left");
    QTest::addColumn<int>("questions");
    const int yes = QMessageBox::Yes, no = QMessageBox::No, cancel = QMessageBox::Cancel;
    QTest::newRow("no at the grouped middle one")
        << QList<bool>{false, true, false} << QList<int>{yes, no} << QStringList{QStringLiteral("pc1")} << 2;
    QTest::newRow("no at the first question")
        << QList<bool>{false, true, false} << QList<int>{no}
        << QStringList{QStringLiteral("pc0"), QStringLiteral("pc1"), QStringLiteral("pc2")} << 1;
    QTest::newRow("cancel keeps what follows")
        << QList<bool>{false, true, false, true} << QList<int>{yes, cancel}
        << QStringList{QStringLiteral("pc1"), QStringLiteral("pc2"), QStringLiteral("pc3")} << 2;
    QTest::newRow("yes to every question")
        << QList<bool>{true, true, false} << QList<int>{yes, yes, yes} << QStringList{} << 3;
}

void TestFlowsRegistration::rosterDeleteAsksForGroupedPcs()
{
    QFETCH(QList<bool>, grouped);
    QFETCH(QList<int>, answers);
    QFETCH(QStringList, left);
    QFETCH(int, questions);

    Desk desk;
    AddPc(desk.doc, "outsider", "127.1.0.99");
    CGroup* pGroup = desk.doc.AddGroup("lab");
    for (int i = 0; i < grouped.size(); ++i) {
        CKw* pPc = AddPc(desk.doc, PcName(i).toUtf8().constData(),
                         QStringLiteral("127.1.0.%1").arg(i + 1).toLatin1().constData());
        if (grouped[i])
            desk.doc.AddToGroup(pGroup, pPc->m_nId);
    }
    QVERIFY(desk.Start());
    std::vector<int> rows;
    for (int i = 0; i < grouped.size(); ++i)
        rows.push_back(i + 1);
    desk.pList->clearSelection();
    for (int nRow : rows)
        desk.pList->selectionModel()->select(desk.pList->Model()->index(nRow, 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);

    MessageScript messages;
    for (int answer : answers)
        messages.answers.push_back(static_cast<QMessageBox::StandardButton>(answer));
    desk.pList->OnCommand(ID_DELETE);

    QCOMPARE(static_cast<int>(messages.entries.size()), questions);
    QCOMPARE(messages.Ids().front(), 1537u);
    for (std::size_t i = 1; i < messages.entries.size(); ++i) {
        QCOMPARE(messages.Ids()[i], 1536u);
        QVERIFY(messages.entries[i].buttons & QMessageBox::Cancel);
    }
    QStringList names;
    for (const auto& pPc : desk.doc.m_pcs)
        names << QString::fromStdString(pPc->m_strName);
    QCOMPARE(names, QStringList{QStringLiteral("outsider")} + left);
    QCOMPARE(desk.pList->Model()->rowCount(), static_cast<int>(desk.doc.m_pcs.size()));
    for (int nRow = 0; nRow < desk.pList->Model()->rowCount(); ++nRow)
        QCOMPARE(desk.Text(nRow, CKwListModel::ColName), names[nRow]);
    for (std::int32_t nId : pGroup->m_members)
        QVERIFY(desk.doc.FindPcById(nId));
}

void TestFlowsRegistration::groupDeleteTakesPcsOutOfThatGroupOnly()
{
    Desk desk;
    for (int i = 0; i < 4; ++i)
        AddPc(desk.doc, PcName(i).toUtf8().constData(),
              QStringLiteral("127.1.0.%1").arg(i + 1).toLatin1().constData());
    CGroup* pShown = desk.doc.AddGroup("shown");
    CGroup* pOther = desk.doc.AddGroup("other");
    for (const auto& pPc : desk.doc.m_pcs) {
        desk.doc.AddToGroup(pShown, pPc->m_nId);
        desk.doc.AddToGroup(pOther, pPc->m_nId);
    }
    QVERIFY(desk.Start());
    desk.Show(pShown);
    desk.Select({0, 2, 3});

    MessageScript messages;
    messages.answers = {QMessageBox::No};
    desk.pList->OnCommand(ID_DELETE);
    QCOMPARE(messages.Ids(), std::vector<unsigned>{1538});
    QCOMPARE(pShown->m_members.size(), std::size_t{4});

    desk.pList->OnCommand(ID_DELETE); // Yes
    QCOMPARE(messages.Ids(), (std::vector<unsigned>{1538, 1538}));
    QCOMPARE(pShown->m_members, std::vector<std::int32_t>{desk.doc.m_pcs.front()->m_nId + 1});
    QCOMPARE(desk.pList->Model()->rowCount(), 1);
    QCOMPARE(desk.Text(0, CKwListModel::ColName), QStringLiteral("pc1"));
    QCOMPARE(desk.doc.m_pcs.size(), std::size_t{4});
    QCOMPARE(pOther->m_members.size(), std::size_t{4});
}

void TestFlowsRegistration::deleteKeyGoesToTheActiveView()
{
    // A group shown with its member selected: both views could delete something.
    CDoc doc;
    QTemporaryDir dir;
    doc.SetPathName(dir.filePath(QStringLiteral("flows.DAT")).toStdString());
    CKw* pPc = AddPc(doc, "pc", "127.1.0.1");
    CGroup* pGroup = doc.AddGroup("lab");
    doc.AddToGroup(pGroup, pPc->m_nId);
    doc.SetModifiedFlag(false);
    CMainFrame::SetTrayAvailableForTesting(false);
    const quint16 wPort = PickPort({});
    CKwList::SetClientHooksForTesting(LoopbackHooks(wPort, Ip("127.0.0.3")));
    {
        CMainFrame frame(&doc, nullptr);
        QVERIFY(frame.Create());
        frame.show();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        QVERIFY(WaitIdle(doc));
        frame.Tree()->setCurrentItem(frame.Tree()->ItemOf(pGroup));
        frame.List()->selectRow(0);
        frame.List()->setFocus();

        MessageScript messages;
        messages.answers = {QMessageBox::No, QMessageBox::No};
        QTest::keyClick(frame.List(), Qt::Key_Delete);
        QCOMPARE(messages.Ids(), std::vector<unsigned>{1538});

        frame.Tree()->setFocus();
        QTest::keyClick(frame.Tree(), Qt::Key_Delete);
        QCOMPARE(messages.Ids(), (std::vector<unsigned>{1538, 1539}));
        QCOMPARE(pGroup->m_members.size(), std::size_t{1});
    }
    CKwList::SetClientHooksForTesting(std::nullopt);
    CMainFrame::SetTrayAvailableForTesting(std::nullopt);
}

void TestFlowsRegistration::addSelectedToGroupRules()
{
    Desk desk;
    for (int i = 0; i < 3; ++i)
        AddPc(desk.doc, PcName(i).toUtf8().constData(),
              QStringLiteral("127.1.0.%1").arg(i + 1).toLatin1().constData());
    const std::int32_t a = desk.doc.m_pcs.front()->m_nId, b = a + 1, c = a + 2;
    CGroup* pTarget = desk.doc.AddGroup("target");
    CGroup* pFull = desk.doc.AddGroup("full");
    desk.doc.AddToGroup(pTarget, b);
    for (std::int32_t nId = 1000; nId < 1254; ++nId)
        pFull->m_members.push_back(nId); // ids of PCs loaded once and gone since
    QVERIFY(desk.Start());
    MessageScript messages;

    // Already-members are skipped without a word.
    desk.Select({0, 1, 2});
    QVERIFY(desk.pList->AddSelectedToGroup(pTarget));
    QCOMPARE(pTarget->m_members, (std::vector<std::int32_t>{b, a, c}));
    QVERIFY(messages.entries.empty());

    // A full group refuses with 1029, whether the roster or a group is shown.
    QVERIFY(!desk.pList->AddSelectedToGroup(pFull));
    QCOMPARE(messages.Ids(), std::vector<unsigned>{1029});
    QCOMPARE(messages.entries.back().icon, QMessageBox::Information);
    desk.Show(pTarget);
    desk.Select({1});
    QVERIFY(!desk.pList->AddSelectedToGroup(pFull));
    QCOMPARE(messages.Ids(), (std::vector<unsigned>{1029, 1029}));
    QCOMPARE(pFull->m_members.size(), std::size_t{254});

    // The group shown is no target at all.
    pTarget->m_members.resize(254, 2000);
    QVERIFY(desk.pList->AddSelectedToGroup(pTarget));
    QCOMPARE(messages.entries.size(), std::size_t{2});
}

void TestFlowsRegistration::addToGroupStopsAtFirstRefusal()
{
    Desk desk;
    AddPc(desk.doc, "pc0", "127.1.0.1");
    AddPc(desk.doc, "pc1", "127.1.0.2");
    CGroup* pFirst = desk.doc.AddGroup("first");
    CGroup* pFull = desk.doc.AddGroup("full");
    CGroup* pLast = desk.doc.AddGroup("last");
    for (std::int32_t nId = 1000; nId < 1254; ++nId)
        pFull->m_members.push_back(nId);
    QVERIFY(desk.Start());

    desk.Select({0, 1});
    desk.pTree->setFocus();
    QVERIFY(!desk.Enabled(ID_ADD_TO_GROUP)); // only while the list is the active view
    desk.pList->setFocus();
    QVERIFY(desk.Enabled(ID_ADD_TO_GROUP));
    desk.pList->clearSelection();
    QVERIFY(!desk.Enabled(ID_ADD_TO_GROUP));
    desk.Select({0, 1});

    MessageScript messages;
    std::vector<CGroup*> offered;
    OnNextModal<CSelectGroupDlg>([&offered](CSelectGroupDlg* pDlg) {
        offered = pDlg->m_groupList;
        auto* pList = pDlg->findChild<QListWidget*>(QStringLiteral("listGroups"));
        for (int i = 0; i < pList->count(); ++i)
            pList->item(i)->setSelected(true);
        pDlg->accept();
    });
    desk.pList->OnCommand(ID_ADD_TO_GROUP);
    QCOMPARE(offered, (std::vector<CGroup*>{pFirst, pFull, pLast}));
    QCOMPARE(pFirst->m_members.size(), std::size_t{2});
    QCOMPARE(messages.Ids(), std::vector<unsigned>{1029});
    QVERIFY(pLast->m_members.empty());
}

void TestFlowsRegistration::autoRegistrationRegistersAnswers()
{
    Desk desk(Desk::Agents{{"127.0.0.3", "AGENT3"}});
    AddPc(desk.doc, "known", "127.1.0.1");
    m_pLookup->arp[Ip("127.0.0.3")] = kMacA;
    QVERIFY(desk.Start());
    QVERIFY(desk.Enabled(ID_AUTO_REGISTRATION));

    desk.pList->OnCommand(ID_AUTO_REGISTRATION);
    QVERIFY(desk.doc.m_pClient->m_bBusy);
    QVERIFY(!desk.Enabled(ID_AUTO_REGISTRATION));
    QVERIFY(!desk.Enabled(ID_DELETE));
    QTRY_COMPARE_WITH_TIMEOUT(desk.doc.m_pcs.size(), std::size_t{2}, 5000);
    QVERIFY(WaitIdle(desk.doc));
    const CKw* pFound = desk.doc.m_pcs.back().get();
    QCOMPARE(pFound->m_strName, std::string("AGENT3"));
    QCOMPARE(pFound->m_dwIp, Ip("127.0.0.3"));
    QCOMPARE(pFound->m_mac, kMacA);
    QCOMPARE(pFound->m_nStatus, 1);
    QCOMPARE(desk.pList->Model()->rowCount(), 2);
    QVERIFY(desk.agents.at(0)->Count(0) >= 1); // a search, not a status poll
}

void TestFlowsRegistration::optionsWritesFourSettingsInOrder()
{
    vtsettings::WriteInt("Interface", "IP Port", 9100);
    vtsettings::WriteInt("Settings", "Interval", 300);
    Desk desk;
    QVERIFY(desk.Start());
    desk.pList->RestartPeriodicTimer(1, 45); // the view's fields, not the store, preset the dialog

    std::vector<std::tuple<std::string, std::string, int>> writes;
    CKwList::SetSettingWriterForTesting([&writes](const char* section, const char* key, int nValue) {
        writes.emplace_back(section, key, nValue);
        vtsettings::WriteInt(section, key, nValue);
    });
    Preset preset;
    OnNextModal<CSettingsDlg>([&preset](CSettingsDlg* pDlg) {
        preset = Preset::Of(*pDlg);
        pDlg->findChild<QLineEdit*>(QStringLiteral("editPort"))->setText(QStringLiteral("9200"));
        pDlg->findChild<QRadioButton*>(QStringLiteral("radioPeriodic"))->setChecked(true);
        pDlg->findChild<QLineEdit*>(QStringLiteral("editInterval"))->setText(QStringLiteral("30"));
        pDlg->accept();
        if (pDlg->isVisible())
            pDlg->reject();
    });
    desk.pList->OnCommand(ID_OPTIONS);
    QCOMPARE(preset, (Preset{0, 9100, 1, 45}));
    using W = std::tuple<std::string, std::string, int>;
    QCOMPARE(writes, (std::vector<W>{W{"Interface", "IP Address", 0}, W{"Interface", "IP Port", 9200},
                                     W{"Settings", "Type", 2}, W{"Settings", "Interval", 30}}));
    QCOMPARE(desk.pList->ReportType(), 2);
    QCOMPARE(desk.pList->Interval(), 30);
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
    QCOMPARE(vtsettings::Interval(), 30);
}

void TestFlowsRegistration::optionsCancelWritesNothing()
{
    vtsettings::WriteInt("Settings", "Type", 2);
    Desk desk;
    QVERIFY(desk.Start());
    QVERIFY(desk.Enabled(ID_OPTIONS));
    int nWrites = 0;
    CKwList::SetSettingWriterForTesting([&nWrites](const char*, const char*, int) { ++nWrites; });
    OnNextModal<CSettingsDlg>([](CSettingsDlg* pDlg) {
        pDlg->findChild<QLineEdit*>(QStringLiteral("editInterval"))->setText(QStringLiteral("10"));
        pDlg->reject();
    });
    desk.pList->OnCommand(ID_OPTIONS);
    QCOMPARE(nWrites, 0);
    QCOMPARE(desk.pList->Interval(), 60);
    QCOMPARE(desk.pList->PeriodicTimerPeriod(), 60000);
}

void TestFlowsRegistration::storedOutOfRangeValuesGiveDefaults()
{
    vtsettings::WriteInt("Settings", "Type", 2);
    vtsettings::WriteInt("Settings", "Interval", 0);
    vtsettings::WriteInt("Interface", "IP Port", 65535);
    Desk desk;
    QVERIFY(desk.Start());
    QCOMPARE(desk.pList->Interval(), 60);
    QCOMPARE(desk.pList->PeriodicTimerPeriod(), 60000);
    Preset preset;
    OnNextModal<CSettingsDlg>([&preset](CSettingsDlg* pDlg) {
        preset = Preset::Of(*pDlg);
        pDlg->reject();
    });
    desk.pList->OnCommand(ID_OPTIONS);
    QCOMPARE(preset, (Preset{0, 9000, 2, 60}));
}

VT_VIEWS_TEST_MAIN(TestFlowsRegistration)
#include "tst_flows_registration.moc"
