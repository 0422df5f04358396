#include "CClientBridge.h"
#include "CKwListModel.h"
#include "CReserveDlg.h"
#include "ViewsTestSupport.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QDialog>
#include <QHeaderView>
#include <QRadioButton>
#include <QSignalSpy>

#include <ctime>

using namespace vttest;

namespace {

constexpr MacAddress kMacA{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
constexpr MacAddress kMacB{0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F};

/// A document, a list whose worker talks to agents on loopback, and those agents.
struct Lab {
    CDoc doc;
    quint16 wPort = 0;
    std::vector<std::unique_ptr<Agent>> agents;
    std::unique_ptr<CKwList> pList;

    using Agents = std::vector<std::pair<const char*, const char*>>;
    Lab() : Lab(Agents{}) {}
    explicit Lab(const Agents& agentSpecs, const char* pszSearch = "127.0.0.3")
    {
        std::vector<const char*> addresses;
        for (const auto& spec : agentSpecs)
            addresses.push_back(spec.first);
        wPort = PickPort(addresses);
        vtsettings::WriteInt("Interface", "IP Port", wPort);
        for (const auto& [pszAddress, pszName] : agentSpecs)
            agents.push_back(std::make_unique<Agent>(pszAddress, static_cast<quint16>(wPort + 1), pszName));
        CKwList::SetClientHooksForTesting(LoopbackHooks(wPort, Ip(pszSearch)));
    }
    ~Lab()
    {
        pList.reset();
        CKwList::SetClientHooksForTesting(std::nullopt);
    }
    Lab(const Lab&) = delete;
    Lab& operator=(const Lab&) = delete;

    bool Start()
    {
        if (wPort == 0)
            return false;
        for (const auto& pAgent : agents)
            if (!pAgent->IsBound())
                return false;
        pList = std::make_unique<CKwList>(&doc);
        if (!pList->Create())
            return false;
        pList->OnInitialUpdate();
        return WaitIdle(doc);
    }
    Agent& agent(std::size_t i) { return *agents.at(i); }
    QString Text(int nRow, int nColumn) const
    {
        return pList->Model()->index(nRow, nColumn).data().toString();
    }
    int Image(int nRow) const { return pList->Model()->index(nRow, 0).data(CKwListModel::ImageRole).toInt(); }
};

CReserve DailyAt(int nHour, int nMinute, std::uint16_t wType, std::uint16_t wForce)
{
    std::tm tm{};
    tm.tm_year = 124;
    tm.tm_mon = 2;
    tm.tm_mday = 5;
    tm.tm_hour = nHour;
    tm.tm_min = nMinute;
    tm.tm_isdst = -1;
    CReserve rec;
    rec.Set(1, ReserveDaily, 0, 0, std::mktime(&tm), wType, wForce);
    return rec;
}

VtTime LocalTime(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond)
{
    std::tm tm{};
    tm.tm_year = nYear - 1900;
    tm.tm_mon = nMonth - 1;
    tm.tm_mday = nDay;
    tm.tm_hour = nHour;
    tm.tm_min = nMinute;
    tm.tm_sec = nSecond;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

void Select(CKwList& list, std::initializer_list<int> rows)
{
    list.clearSelection();
    for (int nRow : rows)
        list.selectionModel()->select(list.Model()->index(nRow, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

} // namespace

class TestKwList : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void rowTextsAndPicturesForRosterAndGroup();
    void updateRowsRewritesOnlyChangedCells();
    void sortingFlipsOnSecondClick();
    void timersFollowTheSettings();
    void powerOffSendsTheShutdownWords();
    void successfulOperationPollsTheWholeRoster();
    void unknownAnswerAppendsRowOnlyWithRosterShown();
    void fullRosterReportsAndRegistersNothing();
    void sixteenCharacterNameChangesOnlyTheMac();
    void pcFoundByMacMovesToItsNewAddress();
    void dueReservationFiresOnce();
    void reserveGivesEverySelectedPcTheSameRecords();
    void workerErrorWhileModalShowsNothing();
    void workerExitIsReported();

private:
    std::unique_ptr<FakeArp> m_pArp;
};

void TestKwList::init()
{
    // A still clock: no reservation of a test falls due unless the test moves it.
    vtclock::SetClockForTesting([] { return LocalTime(2024, 3, 5, 12, 0, 0); });
    m_pArp = std::make_unique<FakeArp>();
    vtsettings::WriteInt("Settings", "Type", 0);
    vtsettings::WriteInt("Settings", "Interval", 60);
}

void TestKwList::cleanup()
{
    m_pArp.reset();
    vtclock::SetClockForTesting({});
}

void TestKwList::rowTextsAndPicturesForRosterAndGroup()
{
    Lab lab;
    CKw* pNoIp = AddPc(lab.doc, "noip", nullptr);
    CKw* pUp = AddPc(lab.doc, "up", "10.0.0.5", kMacA, Ip("10.0.0.255"));
    CKw* pTimed = AddPc(lab.doc, "timed", "10.0.0.6");
    lab.doc.SetPcStatus(pUp, 0);
    lab.doc.SetPcReserves(pTimed, DailyAt(22, 0, OP_SHUTDOWN, 1), CReserve());
    CGroup* pGroup = lab.doc.AddGroup("G");
    lab.doc.AddToGroup(pGroup, pUp->m_nId);
    lab.doc.AddToGroup(pGroup, pTimed->m_nId);
    lab.doc.AddToGroup(pGroup, 77); // no such PC: no row
    QVERIFY(lab.Start());
    CKwList& list = *lab.pList;
    QAbstractItemModelTester tester(list.Model(), QAbstractItemModelTester::FailureReportingMode::QtTest);

    QCOMPARE(list.Model()->rowCount(), 3);
    const QStringList headers{QStringLiteral("PC name"),
                              QStringLiteral("IP address"),
                              QStringLiteral("Status"),
                              QStringLiteral("MAC address"),
                              QStringLiteral("Broadcast address"),
                              QStringLiteral("next shutdown time"),
                              QStringLiteral("next wake up time")};
    for (int c = 0; c < headers.size(); ++c)
        QCOMPARE(list.Model()->headerData(c, Qt::Horizontal).toString(), headers[c]);
    QCOMPARE(lab.Text(0, 1), QStringLiteral("Unknown"));
    QCOMPARE(lab.Text(0, 2), QStringLiteral("Unknown"));
    QCOMPARE(lab.Text(0, 3), QStringLiteral("Unknown"));
    QCOMPARE(lab.Text(0, 4), QStringLiteral("255.255.255.255"));
    QCOMPARE(lab.Image(0), 1);
    QCOMPARE(lab.Text(1, 1), QStringLiteral("10.0.0.5"));
    QCOMPARE(lab.Text(1, 2), QStringLiteral("Now operating"));
    QCOMPARE(lab.Text(1, 3), QStringLiteral("00-11-22-33-44-55"));
    QCOMPARE(lab.Text(1, 4), QStringLiteral("10.0.0.255"));
    QCOMPARE(lab.Image(1), 0);
    QVERIFY(lab.Text(2, 5).endsWith(QStringLiteral("22:00 - FS")));
    QCOMPARE(lab.Text(2, 6), QString());
    QCOMPARE(lab.Image(2), 3);
    Q_UNUSED(pNoIp);

    // A group shows its members with member pictures and the group's reservations.
    lab.doc.SetGroupReserves(pGroup, CReserve(), DailyAt(7, 30, OP_WAKEUP, 0));
    lab.doc.SetCurrent(pGroup, nullptr);
    QCOMPARE(list.CurrentGroup(), pGroup);
    QCOMPARE(list.Model()->rowCount(), 2);
    QCOMPARE(lab.Image(0), 4);
    QCOMPARE(lab.Image(1), 5);
    for (int r = 0; r < 2; ++r) {
        QCOMPARE(lab.Text(r, 5), QString());
        QVERIFY(lab.Text(r, 6).endsWith(QStringLiteral("07:30")));
    }
    bool bEnabled = false;
    QVERIFY(list.OnUpdateCommand(ID_MANUAL_REGISTRATION, &bEnabled) && bEnabled);
    bEnabled = true;
    Select(list, {0});
    QVERIFY(list.OnUpdateCommand(ID_RESERVE, &bEnabled));
    QVERIFY(!bEnabled); // reservations of a group are set in the tree

    CGroup* pEmpty = lab.doc.AddGroup("empty");
    lab.doc.SetCurrent(pEmpty, nullptr);
    QCOMPARE(list.Model()->rowCount(), 0);
    QVERIFY(list.OnUpdateCommand(ID_EDIT_SELECT_ALL, &bEnabled));
    QVERIFY(!bEnabled);
}

void TestKwList::updateRowsRewritesOnlyChangedCells()
{
    Lab lab;
    for (int i = 0; i < 5; ++i)
        AddPc(lab.doc, "pc", "10.0.0.9");
    QVERIFY(lab.Start());
    CKwList& list = *lab.pList;
    QSignalSpy spy(list.Model(), &QAbstractItemModel::dataChanged);
    list.UpdateRows();
    QCOMPARE(spy.count(), 0);

    CKw* pThird = std::next(lab.doc.m_pcs.begin(), 2)->get();
    lab.doc.SetPcStatus(pThird, 0); // picture (column 0) and status (column 2)
    list.UpdateRows();
    QCOMPARE(spy.count(), 2);
    for (const QList<QVariant>& args : spy) {
        const auto from = args.at(0).value<QModelIndex>();
        const auto to = args.at(1).value<QModelIndex>();
        QCOMPARE(from.row(), 2);
        QCOMPARE(to.row(), 2);
        QCOMPARE(from.column(), to.column());
        QVERIFY(from.column() == 0 || from.column() == 2);
    }
    QCOMPARE(lab.Text(2, 2), QStringLiteral("Now operating"));
    QCOMPARE(lab.Image(2), 0);
}

void TestKwList::sortingFlipsOnSecondClick()
{
    Lab lab;
    AddPc(lab.doc, "bravo", "10.0.0.10");
    AddPc(lab.doc, "alpha", "10.0.0.9");
    AddPc(lab.doc, "charlie", "9.0.0.200");
    QVERIFY(lab.Start());
    CKwList& list = *lab.pList;
    QAbstractItemModelTester tester(list.Model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    auto names = [&] {
        QStringList out;
        for (int r = 0; r < list.Model()->rowCount(); ++r)
            out << lab.Text(r, 0);
        return out.join(QLatin1Char(','));
    };
    Select(list, {0}); // bravo stays selected whatever the order
    list.horizontalHeader()->sectionClicked(0);
    QCOMPARE(names(), QStringLiteral("alpha,bravo,charlie"));
    list.horizontalHeader()->sectionClicked(0);
    QCOMPARE(names(), QStringLiteral("charlie,bravo,alpha"));
    QVERIFY(list.SortDescending());
    list.horizontalHeader()->sectionClicked(1); // addresses as numbers, ascending again
    QCOMPARE(names(), QStringLiteral("charlie,alpha,bravo"));
    QVERIFY(!list.SortDescending());
    QCOMPARE(list.SelectedRecords().size(), std::size_t{1});
    QCOMPARE(list.SelectedRecords().front()->m_strName, std::string("bravo"));

    // A PC registered later is the last row; a new fill restores roster order.
    list.InsertPcRow(AddPc(lab.doc, "aaa", "1.1.1.1"));
    QCOMPARE(names(), QStringLiteral("charlie,alpha,bravo,aaa"));
    list.FillList();
    QCOMPARE(names(), QStringLiteral("bravo,alpha,charlie,aaa"));
}

void TestKwList::timersFollowTheSettings()
{
    {
        vtsettings::WriteInt("Settings", "Type", 2);
        vtsettings::WriteInt("Settings", "Interval", 30);
        Lab lab;
        QVERIFY(lab.Start());
        QCOMPARE(lab.pList->ReportType(), 2);
        QCOMPARE(lab.pList->PeriodicTimerPeriod(), 30000);
        QVERIFY(lab.pList->IsCheckTimerActive());
        lab.pList->RestartPeriodicTimer(0, 30);
        QCOMPARE(lab.pList->PeriodicTimerPeriod(), 0);
        lab.pList->RestartPeriodicTimer(2, 60);
        QCOMPARE(lab.pList->PeriodicTimerPeriod(), 60000);
    }
    {
        vtsettings::WriteInt("Settings", "Type", 0);
        Lab lab;
        QVERIFY(lab.Start());
        QCOMPARE(lab.pList->PeriodicTimerPeriod(), 0);
        QVERIFY(lab.pList->IsCheckTimerActive());
    }
    {
        // Mode 1 polls once at start-up.
        vtsettings::WriteInt("Settings", "Type", 1);
        Lab lab(Lab::Agents{{"127.0.0.2", "one"}});
        AddPc(lab.doc, "one", "127.0.0.2");
        QVERIFY(lab.Start());
        QTRY_COMPARE(lab.agent(0).Count(0), 1);
        QTRY_COMPARE(lab.Text(0, 2), QStringLiteral("Now operating"));
        QCOMPARE(lab.pList->PeriodicTimerPeriod(), 0);
    }
}

void TestKwList::powerOffSendsTheShutdownWords()
{
    Lab lab(Lab::Agents{{"127.0.0.2", "a"}, {"127.0.0.3", "b"}});
    AddPc(lab.doc, "a", "127.0.0.2");
    AddPc(lab.doc, "nothing", nullptr);
    AddPc(lab.doc, "b", "127.0.0.3");
    QVERIFY(lab.Start());
    CKwList& list = *lab.pList;
    bool bEnabled = true;
    QVERIFY(list.OnUpdateCommand(ID_POWER_OFF, &bEnabled));
    QVERIFY(!bEnabled); // nothing selected
    Select(list, {0, 1});

    const struct {
        int id;
        std::uint16_t wCommand, wForce;
    } cases[] = {{ID_POWER_OFF, 4, 0},         {ID_FORCED_POWER_OFF, 4, 1}, {ID_SHUTDOWN, 4, 0},
                 {ID_FORCIBLE_SHUTDOWN, 4, 1}, {ID_REBOOT, 2, 0},           {ID_FORCIBLE_REBOOT, 2, 1}};
    for (const auto& c : cases) {
        lab.agent(0).m_requests.clear();
        QVERIFY(WaitIdle(lab.doc));
        QVERIFY(list.OnUpdateCommand(c.id, &bEnabled));
        QVERIFY(bEnabled);
        lab.agent(0).m_bAnswer = false; // no completion refresh to wait for
        list.OnCommand(c.id);
        QTRY_COMPARE(lab.agent(0).m_requests.size(), std::size_t{1});
        QCOMPARE(lab.agent(0).m_requests[0].wCommand, c.wCommand);
        QCOMPARE(lab.agent(0).m_requests[0].wForce, c.wForce);
        QVERIFY(WaitIdle(lab.doc));
    }
    QCOMPARE(lab.agent(1).m_requests.size(), std::size_t{0}); // not selected
    QTest::qWait(400);                                        // any refresh has run
}

void TestKwList::successfulOperationPollsTheWholeRoster()
{
    Lab lab(Lab::Agents{{"127.0.0.2", "a"}, {"127.0.0.3", "b"}});
    AddPc(lab.doc, "a", "127.0.0.2");
    AddPc(lab.doc, "b", "127.0.0.3");
    QVERIFY(lab.Start());
    CKwList& list = *lab.pList;
    CGroup* pGroup = lab.doc.AddGroup("only a");
    lab.doc.AddToGroup(pGroup, lab.doc.m_pcs.front()->m_nId);
    lab.doc.SetCurrent(pGroup, nullptr);
    Select(list, {0});
    list.OnCommand(ID_REBOOT);
    QTRY_COMPARE(lab.agent(0).Count(2), 1);
    // The exchange ends without error: Refresh polls every PC, also those not shown.
    QTRY_COMPARE(lab.agent(1).Count(0), 1);
    QCOMPARE(lab.agent(0).Count(0), 1);
    QVERIFY(WaitIdle(lab.doc));
    QCOMPARE(lab.doc.m_pcs.back()->m_nStatus, 0);
    QTest::qWait(500);
    QCOMPARE(lab.agent(1).Count(0), 1); // once
}

void TestKwList::unknownAnswerAppendsRowOnlyWithRosterShown()
{
    Lab lab(Lab::Agents{{"127.0.0.3", "newcomer"}});
    AddPc(lab.doc, "known", "10.0.0.1");
    m_pArp->table[Ip("127.0.0.3")] = kMacB;
    QVERIFY(lab.Start());
    CKwList& list = *lab.pList;
    QVERIFY(lab.doc.m_pClient->RequestSearch()); // sent to 127.0.0.3 only
    QTRY_COMPARE(lab.doc.m_pcs.size(), std::size_t{2});
    QCOMPARE(list.Model()->rowCount(), 2);
    QCOMPARE(lab.Text(1, 0), QStringLiteral("newcomer"));
    QCOMPARE(lab.Text(1, 1), QStringLiteral("127.0.0.3"));
    QCOMPARE(lab.Text(1, 3), QStringLiteral("0A-1B-2C-3D-4E-5F"));
    QCOMPARE(lab.Text(1, 4), QStringLiteral("255.255.255.255"));
    QCOMPARE(lab.doc.m_pcs.back()->m_nStatus, 1);
    QVERIFY(WaitIdle(lab.doc));

    // With a group shown the newcomer is registered but gets no row.
    lab.doc.DeletePc(lab.doc.m_pcs.back().get());
    list.FillList();
    CGroup* pGroup = lab.doc.AddGroup("G");
    lab.doc.SetCurrent(pGroup, nullptr);
    QVERIFY(lab.doc.m_pClient->RequestSearch());
    QTRY_COMPARE(lab.doc.m_pcs.size(), std::size_t{2});
    QVERIFY(WaitIdle(lab.doc));
    QCOMPARE(list.Model()->rowCount(), 0);
}

void TestKwList::fullRosterReportsAndRegistersNothing()
{
    MessageLog log;
    Lab lab(Lab::Agents{{"127.0.0.3", "one too many"}});
    for (int i = 0; i < 254; ++i)
        lab.doc.AddPc("pc", Ip("10.9.0.0") + static_cast<std::uint32_t>(i) + 1, kMacA.data(), 0xFFFFFFFFu);
    QVERIFY(lab.Start());
    QCOMPARE(lab.pList->Model()->rowCount(), 254);
    QVERIFY(lab.doc.m_pClient->RequestSearch());
    QTRY_COMPARE(log.entries.size(), std::size_t{1});
    QCOMPARE(log.Last(), QStringLiteral("Unexpected error occurred."));
    QCOMPARE(log.entries.back().icon, QMessageBox::Warning);
    QVERIFY(WaitIdle(lab.doc));
    QCOMPARE(lab.doc.m_pcs.size(), std::size_t{254});
    QCOMPARE(lab.pList->Model()->rowCount(), 254);
}

void TestKwList::sixteenCharacterNameChangesOnlyTheMac()
{
    Lab lab(Lab::Agents{{"127.0.0.2", "ABCDEFGHIJKLMNOP"}});
    CKw* pPc = AddPc(lab.doc, "alpha", "127.0.0.2");
    lab.doc.SetPcStatus(pPc, 0);
    m_pArp->table[Ip("127.0.0.2")] = kMacA;
    QVERIFY(lab.Start());

    // The worker drops the reply, so the list hears "no answer": the name stays.
    lab.pList->OnCommand(ID_REFRESH);
    QTRY_COMPARE(pPc->m_nStatus, 1);
    QVERIFY(WaitIdle(lab.doc));
    QCOMPARE(pPc->m_strName, std::string("alpha"));
    QCOMPARE(pPc->m_mac, kMacA);
    QCOMPARE(lab.Text(0, 2), QStringLiteral("Unknown"));

    // An answer record carrying such a name changes neither name nor status.
    lab.doc.SetPcStatus(pPc, 0);
    m_pArp->table[Ip("127.0.0.2")] = kMacB;
    std::vector<std::string> records{"127.0.0.2      ABCDEFGHIJKLMNOP"};
    lab.pList->SetResultSourceForTesting([&] {
        std::string str = records.empty() ? std::string() : records.back();
        if (!records.empty())
            records.pop_back();
        return str;
    });
    lab.pList->OnClientMessage(WM_CLIENT_PCSTATUS, 1, 1);
    QCOMPARE(pPc->m_strName, std::string("alpha"));
    QCOMPARE(pPc->m_nStatus, 0);
    QCOMPARE(pPc->m_mac, kMacB);
    QCOMPARE(lab.doc.m_pcs.size(), std::size_t{1});
    lab.pList->SetResultSourceForTesting({});
}

void TestKwList::pcFoundByMacMovesToItsNewAddress()
{
    Lab lab;
    CKw* pPc = AddPc(lab.doc, "beta", "10.0.0.9", kMacB);
    QVERIFY(lab.Start());
    m_pArp->table[Ip("127.0.0.4")] = kMacB;
    std::string strRecord = "127.0.0.4      beta2";
    lab.pList->SetResultSourceForTesting([&] { return std::exchange(strRecord, std::string()); });
    lab.doc.SetModifiedFlag(false);
    // Through the bridge, as the worker would report it.
    lab.pList->Bridge()->OnClientMessage(WM_CLIENT_PCSTATUS, 1, 1);
    QTRY_COMPARE(pPc->m_dwIp, Ip("127.0.0.4"));
    QCOMPARE(pPc->m_strName, std::string("beta2"));
    QVERIFY(lab.doc.IsModified());
    QCOMPARE(lab.doc.m_pcs.size(), std::size_t{1});
    QCOMPARE(lab.Text(0, 1), QStringLiteral("127.0.0.4"));
    QCOMPARE(lab.Text(0, 0), QStringLiteral("beta2"));

    // Loopback, broadcast and unparsable addresses are ignored.
    for (const char* psz : {"127.0.0.1      x", "255.255.255.255x", "garbage        x"}) {
        strRecord = psz;
        lab.pList->OnClientMessage(WM_CLIENT_PCSTATUS, 1, 1);
    }
    QCOMPARE(lab.doc.m_pcs.size(), std::size_t{1});
}

void TestKwList::dueReservationFiresOnce()
{
    VtTime now = LocalTime(2024, 3, 5, 21, 59, 30);
    vtclock::SetClockForTesting([&now] { return now; });
    Lab lab(Lab::Agents{{"127.0.0.2", "a"}});
    CKw* pPc = AddPc(lab.doc, "a", "127.0.0.2");
    lab.doc.SetPcReserves(pPc, DailyAt(22, 0, OP_SHUTDOWN, 1), CReserve());
    lab.agent(0).m_bAnswer = false;
    QVERIFY(lab.Start());
    QCOMPARE(lab.Text(0, 5), QStringLiteral("2024/03/05  22:00 - FS"));
    QCOMPARE(lab.Image(0), 3);

    now = LocalTime(2024, 3, 5, 22, 0, 5);
    lab.pList->FireDueReservations();
    QTRY_COMPARE(lab.agent(0).Count(4), 1);
    QCOMPARE(lab.agent(0).m_requests.front().wForce, std::uint16_t{1});
    QCOMPARE(lab.Text(0, 5), QStringLiteral("2024/03/06  22:00 - FS"));
    QVERIFY(WaitIdle(lab.doc));
    QTest::qWait(1500); // the check timer ticks again
    lab.pList->FireDueReservations();
    QVERIFY(WaitIdle(lab.doc));
    QCOMPARE(lab.agent(0).Count(4), 1);
}

void TestKwList::reserveGivesEverySelectedPcTheSameRecords()
{
    Lab lab;
    CKw* pFirst = AddPc(lab.doc, "1", "10.0.0.1");
    AddPc(lab.doc, "2", "10.0.0.2");
    AddPc(lab.doc, "3", "10.0.0.3");
    lab.doc.SetPcReserves(pFirst, DailyAt(6, 15, OP_REBOOT, 0), CReserve());
    QVERIFY(lab.Start());
    CKwList& list = *lab.pList;
    Select(list, {0, 1, 2});
    bool bPreset = false;
    OnNextModal<CReserveDlg>([&](CReserveDlg* pDlg) {
        bPreset = pDlg->findChild<QRadioButton*>(QStringLiteral("reboot"))->isChecked() &&
                  pDlg->findChild<QRadioButton*>(QStringLiteral("set"))->isChecked();
        pDlg->findChild<QRadioButton*>(QStringLiteral("shutdown"))->click();
        pDlg->accept();
    });
    list.OnCommand(ID_RESERVE);
    QVERIFY(bPreset);
    for (const auto& pPc : lab.doc.m_pcs) {
        QCOMPARE(pPc->m_reserveOff.m_wType, OP_SHUTDOWN);
        QCOMPARE(pPc->m_reserveOff.m_timeNext, pFirst->m_reserveOff.m_timeNext);
    }
    for (int r = 0; r < 3; ++r) {
        QVERIFY(lab.Text(r, 5).endsWith(QStringLiteral("06:15 - S")));
        QCOMPARE(lab.Image(r), 3);
    }

    OnNextModal<CReserveDlg>([](CReserveDlg* pDlg) {
        pDlg->findChild<QRadioButton*>(QStringLiteral("release"))->click();
        pDlg->reject();
    });
    list.OnCommand(ID_RESERVE);
    QVERIFY(lab.doc.m_pcs.back()->m_reserveOff.m_bSet);
}

void TestKwList::workerErrorWhileModalShowsNothing()
{
    MessageLog log;
    Lab lab(Lab::Agents{{"127.0.0.2", "a"}});
    AddPc(lab.doc, "a", "127.0.0.2");
    QVERIFY(lab.Start());
    QUdpSocket blocker; // the server port is taken: the poll ends with 10048
    QVERIFY(blocker.bind(QHostAddress::AnyIPv4, lab.wPort, QAbstractSocket::DontShareAddress));

    QDialog modal;
    modal.setModal(true);
    modal.show();
    QTRY_VERIFY(QApplication::activeModalWidget() == &modal);
    lab.pList->OnCommand(ID_REFRESH);
    QVERIFY(WaitIdle(lab.doc));
    QTest::qWait(100);
    QVERIFY(log.entries.empty());
    modal.hide();
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);

    lab.pList->OnCommand(ID_REFRESH);
    QTRY_COMPARE(log.entries.size(), std::size_t{1});
    QCOMPARE(log.Last(), QStringLiteral("Error\nError code:10048"));
    QCOMPARE(log.entries.back().icon, QMessageBox::Warning);
    QCOMPARE(lab.agent(0).m_requests.size(), std::size_t{0});
}

void TestKwList::workerExitIsReported()
{
    MessageLog log;
    Lab lab;
    QVERIFY(lab.Start());
    QDialog modal;
    modal.setModal(true);
    modal.show();
    lab.pList->Bridge()->OnClientMessage(WM_CLIENT_EXIT, -1, 0);
    QTRY_COMPARE(log.entries.size(), std::size_t{1});
    QCOMPARE(log.Last(), QStringLiteral("Data transfer stopped due to error."));
    modal.hide();

    // Reports still queued when the worker is stopped are dropped.
    lab.pList->Bridge()->OnClientMessage(WM_CLIENT_EXIT, -1, 0);
    lab.pList->Bridge()->DiscardPending();
    QTest::qWait(50);
    QCOMPARE(log.entries.size(), std::size_t{1});
}

VT_VIEWS_TEST_MAIN(TestKwList)
#include "tst_kwlist.moc"
