#include "../ViewsTestSupport.h"
#include "CClientBridge.h"

#include <QAbstractItemModelTester>
#include <QDialog>
#include <QHeaderView>

using namespace vttest;

namespace {

constexpr MacAddress kMacA{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
constexpr MacAddress kMacB{0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F};

/// Picture and every text of a row.
QString Row(const Desk& desk, int nRow)
{
    QStringList cells{QString::number(desk.Image(nRow))};
    for (int c = 0; c < CKwListModel::kColumnCount; ++c)
        cells << desk.Text(nRow, c);
    return cells.join(QLatin1Char('|'));
}

/// Feeds the list one answer record as if the worker had reported it.
void Report(Desk& desk, std::string strRecord)
{
    desk.pList->SetResultSourceForTesting([&strRecord] { return std::exchange(strRecord, std::string()); });
    desk.pList->OnClientMessage(WM_CLIENT_PCSTATUS, 1, 1);
    desk.pList->SetResultSourceForTesting({});
}

} // namespace

class TestKwList : public QObject {
    Q_OBJECT
private slots:
    void init() { ResetEnvironment(); }
    void rowTextsAndPicturesForRosterAndGroup();
    void sortingFlipsOnSecondClick();
    void operationsSendTheirWordsThenPollTheRoster();
    void unknownAnswerAppendsRowOnlyWithRosterShown();
    void fullRosterReportsAndRegistersNothing();
    void answersChangeNamesAndAddresses();
    void dueReservationFiresOnce();
    void workerReportsWhileModal();
};

void TestKwList::rowTextsAndPicturesForRosterAndGroup()
{
    Desk desk;
    AddPc(desk.doc, "noip", nullptr);
    CKw* pUp = AddPc(desk.doc, "up", "10.0.0.5", kMacA);
    CKw* pTimed = AddPc(desk.doc, "timed", "10.0.0.6");
    pUp->m_dwBroadcast = Ip("10.0.0.255");
    desk.doc.SetPcStatus(pUp, 0);
    desk.doc.SetPcReserves(pTimed, Daily(22, 0, OP_SHUTDOWN, 1), CReserve());
    CGroup* pGroup = desk.doc.AddGroup("G");
    for (std::int32_t nId : {pUp->m_nId, pTimed->m_nId, 77}) // 77: no such PC, no row
        desk.doc.AddToGroup(pGroup, nId);
    QVERIFY(desk.Start());
    QAbstractItemModelTester tester(desk.pList->Model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    QStringList headers;
    for (int c = 0; c < CKwListModel::kColumnCount; ++c)
        headers << desk.pList->Model()->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(headers.join(QLatin1Char('|')), QStringLiteral("PC name|IP address|Status|MAC address|Broadcast "
                                                            "address|next shutdown time|next wake up time"));
    QCOMPARE(desk.pList->Model()->rowCount(), 3);
    QCOMPARE(Row(desk, 0), QStringLiteral("1|noip|Unknown|Unknown|Unknown|255.255.255.255||"));
    QCOMPARE(Row(desk, 1), QStringLiteral("0|up|10.0.0.5|Now operating|00-11-22-33-44-55|10.0.0.255||"));
    QCOMPARE(Row(desk, 2),
             QStringLiteral("3|timed|10.0.0.6|Unknown|Unknown|255.255.255.255|2024/03/05  22:00 - FS|"));

    // A group shows its members with member pictures and the group's reservations.
    desk.doc.SetGroupReserves(pGroup, CReserve(), Daily(7, 30, OP_WAKEUP));
    desk.Show(pGroup);
    QCOMPARE(desk.pList->Model()->rowCount(), 2);
    QCOMPARE(Row(desk, 0),
             QStringLiteral("4|up|10.0.0.5|Now operating|00-11-22-33-44-55|10.0.0.255||2024/03/06  07:30"));
    QCOMPARE(Row(desk, 1),
             QStringLiteral("5|timed|10.0.0.6|Unknown|Unknown|255.255.255.255||2024/03/06  07:30"));
    QVERIFY(Enabled(*desk.pList, ID_MANUAL_REGISTRATION));
    desk.Select({0});
    QVERIFY(!Enabled(*desk.pList, ID_RESERVE)); // a group's reservations are set in the tree
}

void TestKwList::sortingFlipsOnSecondClick()
{
    Desk desk;
    AddPc(desk.doc, "bravo", "10.0.0.10");
    AddPc(desk.doc, "alpha", "10.0.0.9");
    AddPc(desk.doc, "charlie", "9.0.0.200");
    QVERIFY(desk.Start());
    QHeaderView* pHeader = desk.pList->horizontalHeader();
    desk.Select({0}); // bravo stays selected whatever the order
    pHeader->sectionClicked(0);
    QCOMPARE(desk.Column(0), QStringLiteral("alpha,bravo,charlie"));
    pHeader->sectionClicked(0);
    QCOMPARE(desk.Column(0), QStringLiteral("charlie,bravo,alpha"));
    pHeader->sectionClicked(1); // addresses as numbers, ascending again
    QCOMPARE(desk.Column(0), QStringLiteral("charlie,alpha,bravo"));
    QCOMPARE(desk.pList->SelectedRows(), std::vector<int>{2});
}

void TestKwList::operationsSendTheirWordsThenPollTheRoster()
{
    Desk desk({Agent("127.0.0.2", "a", true), Agent("127.0.0.3", "b")});
    CGroup* pGroup = desk.doc.AddGroup("a and nothing");
    desk.doc.AddToGroup(pGroup, AddPc(desk.doc, "a", "127.0.0.2")->m_nId);
    desk.doc.AddToGroup(pGroup, AddPc(desk.doc, "nothing", nullptr)->m_nId);
    CKw* pB = AddPc(desk.doc, "b", "127.0.0.3");
    QVERIFY(desk.Start());
    desk.Show(pGroup);
    desk.Select({0, 1});

    // Each operation that ends without error is followed by a poll of every PC, shown or not.
    for (int id : {ID_POWER_OFF, ID_FORCED_POWER_OFF, ID_SHUTDOWN, ID_FORCIBLE_SHUTDOWN, ID_REBOOT,
                   ID_FORCIBLE_REBOOT}) {
        QVERIFY(Enabled(*desk.pList, id));
        const qsizetype nBefore = desk.Received("127.0.0.2").size();
        desk.pList->OnCommand(id);
        QTRY_COMPARE(desk.Received("127.0.0.2").size(), nBefore + 2);
        QVERIFY(WaitIdle(desk.doc));
    }
    // Power OFF is a shutdown (4), the forced one 4 + 65536.
    QCOMPARE(desk.Received("127.0.0.2").join(QLatin1Char(',')),
             QStringLiteral("4/0,status,4/1,status,4/0,status,4/1,status,2/0,status,2/1,status"));
    QCOMPARE(desk.Received("127.0.0.3"), QStringList(6, QStringLiteral("status")));
    QCOMPARE(pB->m_nStatus, 0);
    QVERIFY(desk.log.texts.isEmpty());
}

void TestKwList::unknownAnswerAppendsRowOnlyWithRosterShown()
{
    Desk desk({Agent("127.0.0.3", "newcomer")});
    AddPc(desk.doc, "known", "10.0.0.1");
    CGroup* pGroup = desk.doc.AddGroup("G");
    desk.arp[Ip("127.0.0.3")] = kMacB;
    QVERIFY(desk.Start());
    desk.pList->OnCommand(ID_AUTO_REGISTRATION); // searches 127.0.0.3 only
    QVERIFY(!Enabled(*desk.pList, ID_AUTO_REGISTRATION) && !Enabled(*desk.pList, ID_DELETE)); // busy
    QTRY_COMPARE(desk.doc.m_pcs.size(), std::size_t{2});
    QCOMPARE(Row(desk, 1),
             QStringLiteral("0|newcomer|127.0.0.3|Now operating|0A-1B-2C-3D-4E-5F|255.255.255.255||"));
    QVERIFY(WaitIdle(desk.doc));
    QCOMPARE(desk.Received("127.0.0.3").first(), QStringLiteral("search"));

    // With a group shown the newcomer is registered but gets no row.
    desk.doc.DeletePc(desk.doc.m_pcs.back().get());
    desk.Show(pGroup);
    desk.pList->OnCommand(ID_AUTO_REGISTRATION);
    QTRY_COMPARE(desk.doc.m_pcs.size(), std::size_t{2});
    QVERIFY(WaitIdle(desk.doc));
    QCOMPARE(desk.pList->Model()->rowCount(), 0);
}

void TestKwList::fullRosterReportsAndRegistersNothing()
{
    Desk desk({Agent("127.0.0.3", "one too many")});
    for (std::uint32_t i = 1; i <= 254; ++i)
        desk.doc.AddPc("pc", Ip("10.9.0.0") + i, kMacA.data(), 0xFFFFFFFFu);
    QVERIFY(desk.Start());
    QVERIFY(desk.doc.m_pClient->RequestSearch());
    QTRY_COMPARE(desk.log.texts, QStringList{QStringLiteral("Unexpected error occurred.")});
    QCOMPARE(desk.log.icons.back(), QMessageBox::Warning);
    QVERIFY(WaitIdle(desk.doc));
    QCOMPARE(desk.doc.m_pcs.size(), std::size_t{254});
    QCOMPARE(desk.pList->Model()->rowCount(), 254);
}

void TestKwList::answersChangeNamesAndAddresses()
{
    Desk desk;
    CKw* pAlpha = AddPc(desk.doc, "alpha", "127.0.0.2");
    CKw* pBeta = AddPc(desk.doc, "beta", "10.0.0.9", kMacB);
    desk.doc.SetPcStatus(pAlpha, 0);
    desk.arp[Ip("127.0.0.2")] = kMacA;
    desk.arp[Ip("127.0.0.4")] = kMacB;
    QVERIFY(desk.Start());
    desk.doc.SetModifiedFlag(false);

    // A 16-character name (one too many) changes nothing but the MAC.
    Report(desk, "127.0.0.2      ABCDEFGHIJKLMNOP");
    QCOMPARE(pAlpha->m_strName, std::string("alpha"));
    QCOMPARE(pAlpha->m_nStatus, 0);
    QCOMPARE(pAlpha->m_mac, kMacA);

    // An unknown address with a known MAC: that PC has moved.
    Report(desk, "127.0.0.4      beta2");
    QCOMPARE(pBeta->m_dwIp, Ip("127.0.0.4"));
    QVERIFY(desk.doc.IsModified());
    QCOMPARE(Row(desk, 1), QStringLiteral("1|beta2|127.0.0.4|Unknown|0A-1B-2C-3D-4E-5F|255.255.255.255||"));

    // Loopback, broadcast and unparsable addresses are ignored.
    for (const char* psz : {"127.0.0.1      x", "255.255.255.255x", "garbage        x"})
        Report(desk, psz);
    QCOMPARE(desk.doc.m_pcs.size(), std::size_t{2});
}

void TestKwList::dueReservationFiresOnce()
{
    VtTime now = March(5, 21, 59, 30);
    vtclock::SetClockForTesting([&now] { return now; });
    Desk desk({Agent("127.0.0.2", "a", true)});
    CKw* pPc = AddPc(desk.doc, "a", "127.0.0.2");
    desk.doc.SetPcReserves(pPc, Daily(22, 0, OP_SHUTDOWN, 1), CReserve());
    QVERIFY(desk.Start());
    now = March(5, 22, 0, 5);
    desk.pList->FireDueReservations();
    QTRY_COMPARE(desk.Received("127.0.0.2"), (QStringList{QStringLiteral("4/1"), QStringLiteral("status")}));
    QCOMPARE(desk.Text(0, CKwListModel::ColNextOff), QStringLiteral("2024/03/06  22:00 - FS"));
    QTest::qWait(1500); // the check timer ticks again
    desk.pList->FireDueReservations();
    QVERIFY(WaitIdle(desk.doc));
    QCOMPARE(desk.Received("127.0.0.2").size(), 2);
}

void TestKwList::workerReportsWhileModal()
{
    Desk desk;
    AddPc(desk.doc, "a", "127.0.0.2");
    QVERIFY(desk.Start());
    QUdpSocket blocker; // the server port is taken: the poll ends with 10048
    QVERIFY(blocker.bind(QHostAddress::AnyIPv4, desk.wPort, QAbstractSocket::DontShareAddress));

    // An error is not shown while a modal dialog is open; the worker's end is.
    QDialog modal;
    modal.setModal(true);
    modal.show();
    QTRY_VERIFY(QApplication::activeModalWidget() == &modal);
    desk.pList->OnCommand(ID_REFRESH);
    QVERIFY(WaitIdle(desk.doc));
    desk.pList->Bridge()->OnClientMessage(WM_CLIENT_EXIT, -1, 0);
    QTRY_COMPARE(desk.log.texts, QStringList{QStringLiteral("Data transfer stopped due to error.")});
    modal.hide();
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);

    desk.pList->OnCommand(ID_REFRESH);
    QTRY_COMPARE(desk.log.texts.size(), 2);
    QCOMPARE(desk.log.texts.back(), QStringLiteral("Error\nError code:10048"));
    QCOMPARE(desk.log.icons.back(), QMessageBox::Warning);

    // Reports still queued when the worker is stopped are dropped.
    desk.pList->Bridge()->OnClientMessage(WM_CLIENT_EXIT, -1, 0);
    desk.pList->Bridge()->DiscardPending();
    QTest::qWait(50);
    QCOMPARE(desk.log.texts.size(), 2);
}

VT_VIEWS_TEST_MAIN(TestKwList)
#include "tst_kwlist.moc"
