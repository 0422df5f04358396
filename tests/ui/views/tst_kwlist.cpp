#include "../ViewsTestSupport.h"
#include "CClientBridge.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QDialog>
#include <QHeaderView>
#include <QPainter>
#include <QPushButton>

using namespace vttest;

namespace {

constexpr MacAddress kMacA{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
constexpr MacAddress kMacB{0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F};
constexpr MacAddress kMacWide{0xDD, 0xDD, 0xDD, 0xDD, 0xDD, 0xDD};
// Servers of the tests that ask before operating listen here; their agents one above.
constexpr quint16 kFirstPort = 43000;
constexpr int kPorts = 1000;

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

/// The region where two pictures differ (empty when they are the same).
QRect Difference(const QImage& a, const QImage& b)
{
    QRect rect;
    for (int y = 0; y < std::min(a.height(), b.height()); ++y)
        for (int x = 0; x < std::min(a.width(), b.width()); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                rect |= QRect(x, y, 1, 1);
    return rect;
}

void ClickHeader(CKwList& list, int nColumn)
{
    QHeaderView* pHeader = list.horizontalHeader();
    const QPoint pt(pHeader->sectionViewportPosition(nColumn) + pHeader->sectionSize(nColumn) / 2,
                    pHeader->height() / 2);
    QTest::mouseClick(pHeader->viewport(), Qt::LeftButton, {}, pt);
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
    void columnsFitTheirTextsInBothLanguages_data();
    void columnsFitTheirTextsInBothLanguages();
    void operatorWidthsAreKeptAndStored();
    void storedWidthsFallBackWhenGarbled_data();
    void storedWidthsFallBackWhenGarbled();
    void focusFramesTheWholeRow();
    void emptyRosterShowsAHint_data();
    void emptyRosterShowsAHint();
    void questionTexts_data();
    void questionTexts();
    void operatorOperationsAskFirst_data();
    void operatorOperationsAskFirst();
    void dontAskAgainIsStoredAndHonoured();
    void confirmedOperationWaitsForTheWorker_data();
    void confirmedOperationWaitsForTheWorker();
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
    const QHeaderView* pHeader = desk.pList->horizontalHeader();
    desk.Select({0}); // bravo stays selected whatever the order
    QCOMPARE(pHeader->sortIndicatorSection(), -1);
    // The sorted column shows the indicator in the direction of the sort.
    const struct {
        int nColumn;
        const char* pszNames;
        Qt::SortOrder order;
    } clicks[] = {{0, "alpha,bravo,charlie", Qt::AscendingOrder},
                  {0, "charlie,bravo,alpha", Qt::DescendingOrder},
                  {1, "charlie,alpha,bravo", Qt::AscendingOrder}}; // addresses as numbers
    for (const auto& click : clicks) {
        ClickHeader(*desk.pList, click.nColumn);
        QCOMPARE(desk.Column(0), QLatin1String(click.pszNames));
        QVERIFY(pHeader->isSortIndicatorShown());
        QCOMPARE(pHeader->sortIndicatorSection(), click.nColumn);
        QCOMPARE(pHeader->sortIndicatorOrder(), click.order);
    }
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
    QCOMPARE(desk.log.texts, QStringList({QStringLiteral("Power off 2 selected PCs?"),
                                          QStringLiteral("Forcibly power off 2 selected PCs?"),
                                          QStringLiteral("Shut down 2 selected PCs?"),
                                          QStringLiteral("Forcibly shut down 2 selected PCs?"),
                                          QStringLiteral("Reboot 2 selected PCs?"),
                                          QStringLiteral("Forcibly reboot 2 selected PCs?")}));

    // The worker reports an operation's end a moment before it takes new work; the poll that
    // follows waits for that moment instead of being lost to it.
    const qsizetype nBefore = desk.Received("127.0.0.3").size();
    desk.doc.m_pClient->m_bBusy = true;
    desk.pList->OnClientMessage(WM_CLIENT_OPERATED, 0, 0);
    QTest::qWait(200);
    QCOMPARE(desk.Received("127.0.0.3").size(), nBefore);
    desk.doc.m_pClient->m_bBusy = false;
    QTRY_COMPARE(desk.Received("127.0.0.3").size(), nBefore + 1);
    QVERIFY(WaitIdle(desk.doc));
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
    QVERIFY(desk.log.texts.isEmpty()); // a reservation never asks
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

void TestKwList::columnsFitTheirTextsInBothLanguages_data()
{
    QTest::addColumn<bool>("bJapanese");
    QTest::newRow("English") << false;
    QTest::newRow("Japanese") << true;
}

void TestKwList::columnsFitTheirTextsInBothLanguages()
{
    QFETCH(bool, bJapanese);
    UseLanguage(bJapanese ? vtstr::Language::Japanese : vtstr::Language::English);
    Desk desk;
    CKw* pWide = AddPc(desk.doc, "LAB-PC-ROOM-254", "208.208.208.208", kMacWide);
    desk.doc.SetPcStatus(pWide, 0);
    desk.doc.SetPcReserves(pWide, Daily(22, 0, OP_SHUTDOWN, 1), Daily(8, 8, OP_WAKEUP));
    AddPc(desk.doc, "nothing known", nullptr);
    QVERIFY(desk.Start());
    const CKwList& list = *desk.pList;
    const QHeaderView* pHeader = list.horizontalHeader();
    const QFontMetrics cells(list.font());
    const QFontMetrics headers(pHeader->font());
    const int units[CKwListModel::kColumnCount] = {15, 10, 5, 15, 10, 15, 15};
    for (int c = 0; c < CKwListModel::kColumnCount; ++c) {
        const int nWidth = list.columnWidth(c);
        const QString strHeader = list.Model()->headerData(c, Qt::Horizontal).toString();
        QVERIFY2(nWidth >= units[c] * (cells.averageCharWidth() + 1), qPrintable(strHeader));
        // The header with room for the sort indicator, and every cell, whole.
        QVERIFY2(nWidth > headers.horizontalAdvance(strHeader) && nWidth >= pHeader->sectionSizeHint(c),
                 qPrintable(strHeader));
        for (int nRow = 0; nRow < list.Model()->rowCount(); ++nRow) {
            const QModelIndex index = list.Model()->index(nRow, c);
            QVERIFY2(nWidth > cells.horizontalAdvance(index.data().toString()) &&
                         nWidth >= list.sizeHintForIndex(index).width(),
                     qPrintable(index.data().toString()));
        }
    }
    QCOMPARE(desk.Text(0, CKwListModel::ColStatus), S(2055));
    QCOMPARE(desk.Text(0, CKwListModel::ColNextOff), QStringLiteral("2024/03/05  22:00 - FS"));
}

void TestKwList::operatorWidthsAreKeptAndStored()
{
    std::vector<int> widths;
    {
        Desk desk;
        CGroup* pGroup = desk.doc.AddGroup("G");
        QVERIFY(desk.Start());
        QHeaderView* pHeader = desk.pList->horizontalHeader();
        pHeader->resizeSection(CKwListModel::ColIp, 222); // what a drag of the border does
        desk.Show(pGroup);
        desk.Show(nullptr);
        QCOMPARE(desk.pList->columnWidth(CKwListModel::ColIp), 222);
        QTRY_COMPARE(vtsettings::ColumnWidths(CKwListModel::kColumnCount), desk.pList->ColumnWidths());
        pHeader->resizeSection(CKwListModel::ColMac, 61); // closing at once keeps it too
        widths = desk.pList->ColumnWidths();
    }
    QCOMPARE(vtsettings::ColumnWidths(CKwListModel::kColumnCount), widths);
    Desk next;
    QVERIFY(next.Start());
    QCOMPARE(next.pList->ColumnWidths(), widths);
}

void TestKwList::storedWidthsFallBackWhenGarbled_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("bTaken");
    QTest::newRow("seven widths") << QStringLiteral("90 91 92 93 94 95 96") << true;
    QTest::newRow("not numbers") << QStringLiteral("wide narrow") << false;
    QTest::newRow("too few") << QStringLiteral("90 91 92") << false;
    QTest::newRow("too many") << QStringLiteral("90 91 92 93 94 95 96 97") << false;
    QTest::newRow("a zero width") << QStringLiteral("0 91 92 93 94 95 96") << false;
    QTest::newRow("trailing text") << QStringLiteral("90 91 92 93 94 95 96px") << false;
    QTest::newRow("a list") << QStringLiteral("90,91,92,93,94,95,96") << false;
}

void TestKwList::storedWidthsFallBackWhenGarbled()
{
    QFETCH(QString, stored);
    QFETCH(bool, bTaken);
    vtsettings::WriteString("Window", "Columns", stored.toStdString());
    Desk desk;
    QVERIFY(desk.Start());
    const std::vector<int> expected =
        bTaken ? std::vector<int>{90, 91, 92, 93, 94, 95, 96} : desk.pList->ComputedColumnWidths();
    QCOMPARE(desk.pList->ColumnWidths(), expected);
    QTest::qWait(700); // the widths the program chose are not written back
    QCOMPARE(QString::fromStdString(vtsettings::ReadString("Window", "Columns", "")), stored);
}

void TestKwList::focusFramesTheWholeRow()
{
    Desk desk;
    AddPc(desk.doc, "a", "10.0.0.1");
    AddPc(desk.doc, "b", "10.0.0.2");
    QVERIFY(desk.Start());
    CKwList& list = *desk.pList;
    const QModelIndex current = list.Model()->index(1, CKwListModel::ColMac);
    list.selectionModel()->setCurrentIndex(current, QItemSelectionModel::NoUpdate);

    // The cells leave the focus out ...
    QStyleOptionViewItem opt;
    opt.initFrom(&list);
    opt.rect = QRect(QPoint(0, 0), list.visualRect(current).size());
    opt.features = QStyleOptionViewItem::HasDisplay;
    opt.text = current.data().toString();
    const auto paintCell = [&](QStyle::State extra) {
        QImage image(opt.rect.size(), QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        QStyleOptionViewItem cell(opt);
        cell.state |= extra;
        list.itemDelegate()->paint(&painter, cell, current);
        return image;
    };
    QCOMPARE(paintCell(QStyle::State_HasFocus), paintCell({}));

    // ... and the list frames the row across every column.
    list.setFocus();
    QTRY_VERIFY(list.hasFocus());
    const QImage focused = list.viewport()->grab().toImage();
    desk.pTree->setFocus();
    QTRY_VERIFY(!list.hasFocus());
    const QRect frame = Difference(focused, list.viewport()->grab().toImage());
    const QRect cell = list.visualRect(current);
    QVERIFY(!frame.isEmpty());
    QVERIFY(frame.left() < cell.left() && frame.right() > cell.right());
    QVERIFY(frame.top() >= cell.top() - 2 && frame.bottom() <= cell.bottom() + 2);
    QCOMPARE(list.RowFocusRect().left(), list.visualRect(list.Model()->index(1, 0)).left());
}

void TestKwList::emptyRosterShowsAHint_data()
{
    QTest::addColumn<bool>("bJapanese");
    QTest::addColumn<QString>("strHint");
    QTest::newRow("English") << false
                             << QStringLiteral(
                                    "No PCs are registered yet.\nAdd them with Edit > Auto Registration "
                                    "(search the network) or Edit > Manual Registration.");
    QTest::newRow("Japanese")
        << true
        << QString::fromUtf8("PCはまだ登録されていません。\n［編集］→［自動登録］（ネットワークを検索）または"
                             "［編集］→［手動登録］で追加してください。");
}

void TestKwList::emptyRosterShowsAHint()
{
    QFETCH(bool, bJapanese);
    QFETCH(QString, strHint);
    UseLanguage(bJapanese ? vtstr::Language::Japanese : vtstr::Language::English);
    Desk desk;
    CGroup* pGroup = desk.doc.AddGroup("G");
    QVERIFY(desk.Start());
    const auto blank = [&desk] {
        const QImage image = desk.pList->viewport()->grab().toImage();
        const QRgb base = image.pixel(0, 0);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) != base)
                    return false;
        return true;
    };
    // A hint painted over the empty list, never a row.
    QCOMPARE(desk.pList->EmptyHint(), strHint);
    QCOMPARE(desk.pList->Model()->rowCount(), 0);
    QVERIFY(!blank());
    desk.Show(pGroup); // still nothing registered
    QVERIFY(!blank());

    // An empty group of a roster that has PCs shows nothing at all.
    AddPc(desk.doc, "a", "10.0.0.1");
    desk.pList->FillList();
    QVERIFY(desk.pList->EmptyHint().isEmpty());
    QTRY_VERIFY(blank());
    desk.Show(nullptr);
    desk.Select({0});
    desk.log.answers = {QMessageBox::Yes};
    desk.pList->OnCommand(ID_DELETE);
    QVERIFY(desk.doc.m_pcs.empty());
    QTRY_VERIFY(!blank()); // the last one deleted: the hint again
}

void TestKwList::questionTexts_data()
{
    using T = vtview::OperationTarget;
    QTest::addColumn<bool>("bJapanese");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("nCount");
    QTest::addColumn<QString>("strText");
    const struct {
        int id;
        int kind;
        int nCount;
        const char* pszEnglish;
        const char* pszJapanese;
    } rows[] = {
        {ID_SHUTDOWN, T::Group, 38, "Shut down 38 PCs in \u201cLab A\u201d?",
         "「Lab A」の38台のPCをシャットダウンしますか？"},
        {ID_SHUTDOWN, T::Roster, 120, "Shut down all 120 PCs?", "全120台のPCをシャットダウンしますか？"},
        {ID_REBOOT, T::Selection, 3, "Reboot 3 selected PCs?", "選択した3台のPCをリブートしますか？"},
        {ID_FORCIBLE_REBOOT, T::Selection, 1, "Forcibly reboot \u201cPC-007\u201d?",
         "「PC-007」を強制リブートしますか？"},
        {ID_FORCIBLE_SHUTDOWN, T::Group, 1, "Forcibly shut down \u201cPC-007\u201d in \u201cLab A\u201d?",
         "「Lab A」の「PC-007」を強制シャットダウンしますか？"},
        {ID_POWER_OFF, T::Roster, 1, "Power off \u201cPC-007\u201d?", "「PC-007」をパワーＯＦＦしますか？"},
        {ID_FORCED_POWER_OFF, T::Roster, 2, "Forcibly power off all 2 PCs?",
         "全2台のPCを強制パワーＯＦＦしますか？"},
    };
    for (const auto& row : rows) {
        for (bool bJapanese : {false, true})
            QTest::addRow("%d/%d/%d %s", row.id, row.kind, row.nCount, bJapanese ? "ja" : "en")
                << bJapanese << row.id << row.kind << row.nCount
                << QString::fromUtf8(bJapanese ? row.pszJapanese : row.pszEnglish);
    }
}

void TestKwList::questionTexts()
{
    QFETCH(bool, bJapanese);
    QFETCH(int, id);
    QFETCH(int, kind);
    QFETCH(int, nCount);
    QFETCH(QString, strText);
    UseLanguage(bJapanese ? vtstr::Language::Japanese : vtstr::Language::English);
    vtview::OperationTarget target;
    target.kind = static_cast<vtview::OperationTarget::Kind>(kind);
    target.nCount = nCount;
    target.strGroup = QStringLiteral("Lab A");
    target.strOnlyPc = nCount == 1 ? QStringLiteral("PC-007") : QString();
    QCOMPARE(vtview::OperationQuestion(id, target), strText);

    // Question icon, Yes and No with No the default, the caption, the check box.
    std::unique_ptr<QMessageBox> pBox(vtview::MakeOperationBox(nullptr, strText));
    QCOMPARE(pBox->icon(), QMessageBox::Question);
    QCOMPARE(pBox->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(pBox->defaultButton(), pBox->button(QMessageBox::No));
    QCOMPARE(pBox->windowTitle(), QStringLiteral("VT Server"));
    QCOMPARE(pBox->checkBox()->text(),
             bJapanese ? QString::fromUtf8("今後は確認しない") : QStringLiteral("Don't ask again"));
    QVERIFY(!pBox->checkBox()->isChecked());
}

void TestKwList::operatorOperationsAskFirst_data()
{
    // Three PCs a, b, c (127.0.0.2 ... 4); "Lab A" holds a and b, "Solo" holds a. The view
    // that gets the command, the group shown, the rows selected in the list, the answer,
    // the question and what a received.
    QTest::addColumn<bool>("bTree");
    QTest::addColumn<QString>("strGroup");
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<int>("id");
    QTest::addColumn<bool>("bYes");
    QTest::addColumn<QString>("strQuestion");
    QTest::addColumn<QString>("strSent");
    QTest::newRow("list, no") << false << QString() << QList<int>{0, 1, 2} << int(ID_SHUTDOWN) << false
                              << QStringLiteral("Shut down 3 selected PCs?") << QString();
    QTest::newRow("list, one PC") << false << QString() << QList<int>{0} << int(ID_FORCIBLE_REBOOT) << true
                                  << QStringLiteral("Forcibly reboot \u201ca\u201d?")
                                  << QStringLiteral("2/1");
    QTest::newRow("list in a group") << false << QStringLiteral("Lab A") << QList<int>{0, 1}
                                     << int(ID_POWER_OFF) << true
                                     << QStringLiteral("Power off 2 selected PCs?") << QStringLiteral("4/0");
    QTest::newRow("tree, roster") << true << QString() << QList<int>{} << int(ID_SHUTDOWN) << true
                                  << QStringLiteral("Shut down all 3 PCs?") << QStringLiteral("4/0");
    QTest::newRow("tree, group, no") << true << QStringLiteral("Lab A") << QList<int>{1}
                                     << int(ID_FORCED_POWER_OFF) << false
                                     << QStringLiteral("Forcibly power off 2 PCs in \u201cLab A\u201d?")
                                     << QString();
    QTest::newRow("tree, group") << true << QStringLiteral("Lab A") << QList<int>{}
                                 << int(ID_FORCIBLE_SHUTDOWN) << true
                                 << QStringLiteral("Forcibly shut down 2 PCs in \u201cLab A\u201d?")
                                 << QStringLiteral("4/1");
    QTest::newRow("tree, one PC") << true << QStringLiteral("Solo") << QList<int>{} << int(ID_REBOOT) << true
                                  << QStringLiteral("Reboot \u201ca\u201d in \u201cSolo\u201d?")
                                  << QStringLiteral("2/0");
}

void TestKwList::operatorOperationsAskFirst()
{
    QFETCH(bool, bTree);
    QFETCH(QString, strGroup);
    QFETCH(QList<int>, rows);
    QFETCH(int, id);
    QFETCH(bool, bYes);
    QFETCH(QString, strQuestion);
    QFETCH(QString, strSent);
    SetPowerOffEnabled(true);
    Desk desk({Agent("127.0.0.2", "a"), Agent("127.0.0.3", "b"), Agent("127.0.0.4", "c")}, kFirstPort,
              kPorts);
    CKw* pA = AddPc(desk.doc, "a", "127.0.0.2");
    CKw* pB = AddPc(desk.doc, "b", "127.0.0.3");
    AddPc(desk.doc, "c", "127.0.0.4");
    CGroup* pLab = desk.doc.AddGroup("Lab A");
    desk.doc.AddToGroup(pLab, pA->m_nId);
    desk.doc.AddToGroup(pLab, pB->m_nId);
    desk.doc.AddToGroup(desk.doc.AddGroup("Solo"), pA->m_nId);
    QVERIFY(desk.Start());
    for (const auto& pGroup : desk.doc.m_groups)
        if (QString::fromStdString(pGroup->m_strName) == strGroup)
            desk.Show(pGroup.get());
    desk.Select(std::vector<int>(rows.begin(), rows.end()));
    CCommandTarget& view = bTree ? static_cast<CCommandTarget&>(*desk.pTree) : *desk.pList;
    QVERIFY(Enabled(view, id));
    desk.log.answers = {bYes ? QMessageBox::Yes : QMessageBox::No};
    view.OnCommand(id);
    QCOMPARE(desk.log.texts, QStringList{strQuestion});
    QCOMPARE(desk.log.icons.back(), QMessageBox::Question);
    if (strSent.isEmpty()) {
        QVERIFY(!desk.doc.m_pClient->m_bBusy);
        QTest::qWait(100);
        QVERIFY(desk.Received("127.0.0.2").isEmpty());
        return;
    }
    QTRY_COMPARE(desk.Received("127.0.0.2").value(0), strSent);
    QVERIFY(WaitIdle(desk.doc));
    QCOMPARE(desk.log.texts.size(), 1); // asked once
}

void TestKwList::dontAskAgainIsStoredAndHonoured()
{
    Desk desk({Agent("127.0.0.2", "a")}, kFirstPort, kPorts);
    AddPc(desk.doc, "a", "127.0.0.2");
    QVERIFY(desk.Start());
    desk.Select({0});

    // Wake up never asks.
    desk.pList->OnCommand(ID_WAKE_UP);
    desk.pTree->OnCommand(ID_WAKE_UP);
    QVERIFY(desk.log.texts.isEmpty());

    // Ticked but answered No: nothing is sent and the question stays.
    desk.log.answers = {QMessageBox::No};
    desk.log.ticks = {true};
    desk.pList->OnCommand(ID_SHUTDOWN);
    QCOMPARE(desk.log.checkTexts, QStringList{QStringLiteral("Don't ask again")});
    QVERIFY(vtsettings::ConfirmOperation());

    // Ticked and Yes: sent, and stored.
    desk.log.ticks = {true};
    desk.pList->OnCommand(ID_SHUTDOWN);
    QCOMPARE(desk.log.texts.size(), 2);
    QCOMPARE(vtsettings::ReadInt("Settings", "ConfirmOperation", -1), 0);
    QTRY_COMPARE(desk.Received("127.0.0.2").value(0), QStringLiteral("4/0"));
    QTRY_COMPARE(desk.Received("127.0.0.2").size(), 2); // the poll that follows
    QVERIFY(WaitIdle(desk.doc));

    // From now on neither view asks.
    desk.pTree->OnCommand(ID_REBOOT);
    QTRY_COMPARE(desk.Received("127.0.0.2").value(2), QStringLiteral("2/0"));
    QCOMPARE(desk.log.texts.size(), 2);
    QTRY_COMPARE(desk.Received("127.0.0.2").size(), 4);
    QVERIFY(WaitIdle(desk.doc));
}

void TestKwList::confirmedOperationWaitsForTheWorker_data()
{
    QTest::addColumn<bool>("bTree");
    QTest::newRow("list") << false;
    QTest::newRow("tree") << true;
}

void TestKwList::confirmedOperationWaitsForTheWorker()
{
    QFETCH(bool, bTree);
    Desk desk({Agent("127.0.0.2", "a")}, kFirstPort, kPorts);
    AddPc(desk.doc, "a", "127.0.0.2");
    QVERIFY(desk.Start());
    desk.Select({0});
    // The periodic poll starts while the operator reads the question.
    vtview::SetQuestionForTesting([&desk](QWidget*, const QString&, const QString&, bool*) {
        desk.pList->OnCommand(ID_REFRESH);
        return QMessageBox::Yes;
    });
    CCommandTarget& view = bTree ? static_cast<CCommandTarget&>(*desk.pTree) : *desk.pList;
    view.OnCommand(ID_SHUTDOWN);
    QTRY_COMPARE(desk.Received("127.0.0.2"),
                 (QStringList{QStringLiteral("status"), QStringLiteral("4/0"), QStringLiteral("status")}));
    QVERIFY(WaitIdle(desk.doc));
}

VT_VIEWS_TEST_MAIN(TestKwList)
#include "tst_kwlist.moc"
