#include "../ViewsTestSupport.h"

using namespace vttest;

namespace {

constexpr MacAddress kMacA{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
constexpr MacAddress kMacB{0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F};

/// Picture and every text of a row.
QString Row(const Desk& desk, int nRow)
{
    QStringList cells{desk.pList->Model()->index(nRow, 0).data(CKwListModel::ImageRole).toString()};
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

} // namespace

class TestKwList : public QObject {
    Q_OBJECT
private slots:
    void init() { ResetEnvironment(); }
    void rowTextsAndTheAnswersThatChangeThem();
    void sortingAndTheFocusFrame();
    void searchRegistersNewcomersWhileThereIsRoom();
    void workerReportsWhileModal();
    void viewsInBothLanguages_data();
    void viewsInBothLanguages();
    void columnWidthsStoredAndRestored();
    void operatorOperationsAskFirst();
};

void TestKwList::rowTextsAndTheAnswersThatChangeThem()
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
    desk.Select({0});
    QVERIFY(!Enabled(*desk.pList, ID_RESERVE)); // a group's reservations are set in the tree

    // A 16-character name (one too many) changes nothing but the MAC; 15 characters are a name
    // however many bytes they take.
    desk.Show(nullptr);
    desk.arp[Ip("10.0.0.5")] = kMacB;
    desk.arp[Ip("10.0.0.8")] = kMacB;
    Report(desk, "10.0.0.5       ABCDEFGHIJKLMNOP");
    QCOMPARE(pUp->m_strName, std::string("up"));
    QCOMPARE(pUp->m_mac, kMacB);
    const QString str15 = QString(15, QChar(0xE9));
    Report(desk, "10.0.0.5       " + str15.toStdString());
    QCOMPARE(QString::fromStdString(pUp->m_strName), str15);

    // An unknown address with a known MAC: that PC has moved.
    desk.doc.SetModifiedFlag(false);
    Report(desk, "10.0.0.8       moved");
    QVERIFY(desk.doc.IsModified());
    QCOMPARE(Row(desk, 1), QStringLiteral("0|moved|10.0.0.8|Now operating|0A-1B-2C-3D-4E-5F|10.0.0.255||"));

    // Loopback, broadcast and unparsable addresses are ignored.
    for (const char* psz : {"127.0.0.1      x", "255.255.255.255x", "garbage        x"})
        Report(desk, psz);
    QCOMPARE(desk.doc.m_pcs.size(), std::size_t{3});
}

void TestKwList::sortingAndTheFocusFrame()
{
    Desk desk;
    AddPc(desk.doc, "bravo", "10.0.0.10");
    AddPc(desk.doc, "alpha", "10.0.0.9");
    AddPc(desk.doc, "charlie", "9.0.0.200");
    QVERIFY(desk.Start());
    CKwList& list = *desk.pList;
    const QHeaderView* pHeader = list.horizontalHeader();
    desk.Select({0}); // bravo stays selected whatever the order
    QCOMPARE(pHeader->sortIndicatorSection(), -1);
    // A second click flips the order (1: descending); the sorted column shows the indicator.
    const std::pair<int, const char*> clicks[] = {
        {0, "alpha,bravo,charlie 0/0"}, {0, "charlie,bravo,alpha 0/1"}, {1, "charlie,alpha,bravo 1/0"}};
    for (const auto& [nColumn, pszShown] : clicks) {
        QTest::mouseClick(pHeader->viewport(), Qt::LeftButton, {},
                          QPoint(pHeader->sectionViewportPosition(nColumn) + 5, pHeader->height() / 2));
        QVERIFY(pHeader->isSortIndicatorShown());
        QCOMPARE(desk.Column(0) + QString::asprintf(" %d/%d", pHeader->sortIndicatorSection(),
                                                    int(pHeader->sortIndicatorOrder())),
                 QLatin1String(pszShown));
    }
    QCOMPARE(list.SelectedRows(), std::vector<int>{2});

    // The cells leave the focus out and the list frames the current row across every column.
    const QModelIndex current = list.Model()->index(1, CKwListModel::ColMac);
    list.selectionModel()->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
    const auto paintCell = [&](QStyle::State state) {
        QStyleOptionViewItem opt;
        opt.initFrom(&list);
        opt.state = state;
        opt.rect = QRect(QPoint(0, 0), list.visualRect(current).size());
        QImage image(opt.rect.size(), QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        list.itemDelegate()->paint(&painter, opt, current);
        return image;
    };
    QCOMPARE(paintCell(QStyle::State_Enabled | QStyle::State_HasFocus), paintCell(QStyle::State_Enabled));
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
}

void TestKwList::searchRegistersNewcomersWhileThereIsRoom()
{
    Desk desk({Agent("127.0.0.3", "newcomer")});
    CGroup* pGroup = desk.doc.AddGroup("G");
    QVERIFY(desk.Start());
    // A newcomer is operating; it gets a row on the roster only, not in a group shown.
    for (CGroup* pShown : {static_cast<CGroup*>(nullptr), pGroup}) {
        desk.Show(pShown);
        desk.pList->OnCommand(ID_AUTO_REGISTRATION); // searches 127.0.0.3 only
        QVERIFY(!Enabled(*desk.pList, ID_AUTO_REGISTRATION) && !Enabled(*desk.pList, ID_DELETE)); // busy
        QTRY_COMPARE(desk.doc.m_pcs.size(), std::size_t{1});
        QVERIFY(WaitIdle(desk.doc));
        QCOMPARE(desk.Column(CKwListModel::ColName) + desk.Column(CKwListModel::ColStatus),
                 pShown ? QString() : QStringLiteral("newcomerNow operating"));
        desk.doc.DeletePc(desk.doc.m_pcs.back().get());
    }

    // A full roster registers nobody and says so.
    for (std::uint32_t i = 1; i <= 254; ++i)
        desk.doc.AddPc("pc", Ip("10.9.0.0") + i, kMacA.data(), 0xFFFFFFFFu);
    QVERIFY(desk.doc.m_pClient->RequestSearch()); // as a search started before the last one came
    QTRY_COMPARE(desk.log.texts, QStringList{QStringLiteral("Unexpected error occurred.")});
    QCOMPARE(desk.log.icons.back(), QMessageBox::Warning);
    QVERIFY(WaitIdle(desk.doc));
}

void TestKwList::workerReportsWhileModal()
{
    Desk desk;
    QVERIFY(desk.Start());
    CClientBridge& bridge = *desk.pList->Bridge();
    // A failed exchange is not reported while a modal dialog is open; the worker's end is.
    QDialog modal;
    modal.setModal(true);
    modal.show();
    QTRY_VERIFY(QApplication::activeModalWidget() == &modal);
    bridge.OnClientMessage(WM_CLIENT_PCSTATUS, 0, 10048);
    bridge.OnClientMessage(WM_CLIENT_EXIT, -1, 0);
    QTRY_COMPARE(desk.log.texts, QStringList{QStringLiteral("Data transfer stopped due to error.")});
    modal.hide();
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
    bridge.OnClientMessage(WM_CLIENT_OPERATED, 0, 10048);
    QTRY_COMPARE(desk.log.texts.size(), 2);
    QCOMPARE(desk.log.texts.back(), QStringLiteral("Error\nError code:10048"));
    QCOMPARE(desk.log.icons.back(), QMessageBox::Warning);

    // Reports still queued when the worker is stopped are dropped.
    bridge.OnClientMessage(WM_CLIENT_EXIT, -1, 0);
    bridge.DiscardPending();
    QTest::qWait(50);
    QCOMPARE(desk.log.texts.size(), 2);
}

void TestKwList::viewsInBothLanguages_data()
{
    QTest::addColumn<bool>("bJapanese");
    QTest::newRow("English") << false;
    QTest::newRow("Japanese") << true;
}

void TestKwList::viewsInBothLanguages()
{
    QFETCH(bool, bJapanese);
    UseLanguage(bJapanese ? vtstr::Language::Japanese : vtstr::Language::English);
    Desk desk;
    for (int i = 0; i < 100; ++i) // enough for the tree's scroll bar
        desk.doc.AddGroup("g");
    CGroup* pGroup = desk.doc.m_groups.front().get();
    QVERIFY(desk.Start());
    CKwList& list = *desk.pList;
    const auto blank = [&list] {
        const QImage image = list.viewport()->grab().toImage();
        QImage plain(image);
        plain.fill(image.pixel(0, 0));
        return Difference(image, plain).isEmpty();
    };
    // Nothing registered: a hint painted over the empty list, never a row, whatever is shown.
    QVERIFY(!list.EmptyHint().isEmpty());
    QCOMPARE(list.Model()->rowCount(), 0);
    QVERIFY(!blank());
    desk.Show(pGroup);
    QVERIFY(!blank());

    // An empty group of a roster that has PCs shows nothing at all.
    CKw* pWide =
        AddPc(desk.doc, "LAB-PC-ROOM-254", "208.208.208.208", MacAddress{0xDD, 0xDD, 0xDD, 0xDD, 0xDD, 0xDD});
    desk.doc.SetPcStatus(pWide, 0);
    desk.doc.SetPcReserves(pWide, Daily(22, 0, OP_SHUTDOWN, 1), Daily(8, 8, OP_WAKEUP));
    AddPc(desk.doc, "nothing known", nullptr);
    list.FillList();
    QVERIFY(list.EmptyHint().isEmpty());
    QTRY_VERIFY(blank());

    // Every column holds its header (with room for the sort indicator) and its widest texts whole.
    desk.Show(nullptr);
    QCOMPARE(desk.Text(0, CKwListModel::ColStatus) + desk.Text(0, CKwListModel::ColNextOff),
             S(2055) + QStringLiteral("2024/03/05  22:00 - FS"));
    const QHeaderView* pHeader = list.horizontalHeader();
    const QFontMetrics cells(list.font());
    const int units[CKwListModel::kColumnCount] = {15, 10, 5, 15, 10, 15, 15};
    for (int c = 0; c < CKwListModel::kColumnCount; ++c) {
        const int nWidth = list.columnWidth(c);
        const QString strHeader = list.Model()->headerData(c, Qt::Horizontal).toString();
        QVERIFY2(nWidth >= units[c] * (cells.averageCharWidth() + 1) &&
                     nWidth > QFontMetrics(pHeader->font()).horizontalAdvance(strHeader) &&
                     nWidth >= pHeader->sectionSizeHint(c),
                 qPrintable(strHeader));
        for (int nRow = 0; nRow < list.Model()->rowCount(); ++nRow) {
            const QModelIndex index = list.Model()->index(nRow, c);
            QVERIFY2(nWidth > cells.horizontalAdvance(index.data().toString()) &&
                         nWidth >= list.sizeHintForIndex(index).width(),
                     qPrintable(index.data().toString()));
        }
    }

    // The last PCs deleted: the hint again.
    list.selectAll();
    list.OnCommand(ID_DELETE);
    QVERIFY(desk.doc.m_pcs.empty());
    QTRY_VERIFY(!blank());

    // The tree's root text fits in the width the tree asks for.
    CGpTree& tree = *desk.pTree;
    tree.setFixedWidth(tree.ReadableWidth());
    QTRY_COMPARE(tree.width(), tree.ReadableWidth());
    QTRY_VERIFY(tree.verticalScrollBar()->isVisible());
    QVERIFY(tree.indentation() + tree.sizeHintForIndex(tree.model()->index(0, 0)).width() <=
            tree.viewport()->width());

    // The Japanese questions in every form (the English ones are met where the views ask).
    using T = vtview::OperationTarget;
    const std::tuple<int, T::Kind, int, const char*> questions[] = {
        {ID_SHUTDOWN, T::Group, 38, "「Lab A」の38台のPCをシャットダウンしますか？"},
        {ID_REBOOT, T::Selection, 3, "選択した3台のPCをリブートしますか？"},
        {ID_FORCIBLE_REBOOT, T::Selection, 1, "「PC-007」を強制リブートしますか？"},
        {ID_FORCIBLE_SHUTDOWN, T::Group, 1, "「Lab A」の「PC-007」を強制シャットダウンしますか？"},
        {ID_POWER_OFF, T::Roster, 1, "「PC-007」をパワーＯＦＦしますか？"},
        {ID_FORCED_POWER_OFF, T::Roster, 2, "全2台のPCを強制パワーＯＦＦしますか？"},
    };
    for (const auto& [id, kind, nCount, pszText] : questions) {
        const T target{kind, nCount, QStringLiteral("Lab A"),
                       nCount == 1 ? QStringLiteral("PC-007") : QString()};
        if (bJapanese)
            QCOMPARE(vtview::OperationQuestion(id, target), QString::fromUtf8(pszText));
    }
    // Yes and No with No the default, and the check box.
    std::unique_ptr<QMessageBox> pBox(vtview::MakeOperationBox(nullptr, QStringLiteral("?")));
    QCOMPARE(pBox->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(pBox->defaultButton(), pBox->button(QMessageBox::No));
    QCOMPARE(pBox->checkBox()->text(),
             bJapanese ? QString::fromUtf8("今後は確認しない") : QStringLiteral("Don't ask again"));
}

void TestKwList::columnWidthsStoredAndRestored()
{
    // Stored widths that do not fit are ignored, and the program's own widths are never stored.
    for (const char* pszStored : {"", "wide narrow", "90 91 92", "90 91 92 93 94 95 96 97",
                                  "0 91 92 93 94 95 96", "90 91 92 93 94 95 96px", "90,91,92,93,94,95,96"}) {
        vtsettings::WriteString("Window", "Columns", pszStored);
        {
            Desk desk;
            QVERIFY(desk.Start());
            QCOMPARE(desk.pList->ColumnWidths(), desk.pList->ComputedColumnWidths());
        }
        QCOMPARE(vtsettings::ReadString("Window", "Columns", "?"), std::string(pszStored));
    }

    // Seven widths are taken; what the operator drags is kept across groups and stored, even
    // when the window closes at once.
    vtsettings::WriteString("Window", "Columns", "90 91 92 93 94 95 96");
    std::vector<int> widths;
    {
        Desk desk;
        CGroup* pGroup = desk.doc.AddGroup("G");
        QVERIFY(desk.Start());
        QCOMPARE(desk.pList->ColumnWidths(), (std::vector<int>{90, 91, 92, 93, 94, 95, 96}));
        QHeaderView* pHeader = desk.pList->horizontalHeader();
        pHeader->resizeSection(CKwListModel::ColIp, 222); // what a drag of the border does
        desk.Show(pGroup);
        desk.Show(nullptr);
        QCOMPARE(desk.pList->columnWidth(CKwListModel::ColIp), 222);
        QTRY_COMPARE(vtsettings::ColumnWidths(CKwListModel::kColumnCount), desk.pList->ColumnWidths());
        pHeader->resizeSection(CKwListModel::ColMac, 61);
        widths = desk.pList->ColumnWidths();
    }
    QCOMPARE(vtsettings::ColumnWidths(CKwListModel::kColumnCount), widths);
    Desk next;
    QVERIFY(next.Start());
    QCOMPARE(next.pList->ColumnWidths(), widths);
}

void TestKwList::operatorOperationsAskFirst()
{
    SetPowerOffEnabled(true);
    Desk desk({Agent("127.0.0.2", "a"), Agent("127.0.0.3", "b"), Agent("127.0.0.4", "c")});
    CKw* pA = AddPc(desk.doc, "a", "127.0.0.2");
    CKw* pB = AddPc(desk.doc, "b", "127.0.0.3");
    CKw* pC = AddPc(desk.doc, "c", "127.0.0.4");
    CGroup* pLab = desk.doc.AddGroup("Lab A");
    for (CKw* pPc : {pA, pB, AddPc(desk.doc, "nothing", nullptr)})
        desk.doc.AddToGroup(pLab, pPc->m_nId);
    CGroup* pSolo = desk.doc.AddGroup("Solo");
    desk.doc.AddToGroup(pSolo, pA->m_nId);
    QVERIFY(desk.Start());
    CCommandTarget* pList = desk.pList;
    CCommandTarget* pTree = desk.pTree;
    // The view, the group shown, the rows selected, the answer ("tick": Don't ask again ticked;
    // "poll": the periodic poll takes the worker while the question is open), the question
    // (none: not asked) and what a receives. Power OFF is a shutdown (4), the forced one 4 + 65536.
    const std::tuple<CCommandTarget*, CGroup*, std::vector<int>, int, const char*, const char*, const char*>
        steps[] = {
            {pList, nullptr, {0}, ID_WAKE_UP, "", "", ""},
            {pTree, nullptr, {}, ID_WAKE_UP, "", "", ""},
            {pList, pLab, {0, 2}, ID_POWER_OFF, "yes", "Power off 2 selected PCs?", "4/0"},
            {pList, nullptr, {0, 1, 2}, ID_SHUTDOWN, "no", "Shut down 3 selected PCs?", ""},
            {pList, nullptr, {0}, ID_FORCIBLE_REBOOT, "yes", "Forcibly reboot “a”?", "2/1"},
            {pTree, nullptr, {}, ID_SHUTDOWN, "yes", "Shut down all 4 PCs?", "4/0"},
            {pTree, pLab, {1}, ID_FORCED_POWER_OFF, "no", "Forcibly power off 3 PCs in “Lab A”?", ""},
            {pTree, pLab, {1}, ID_FORCED_POWER_OFF, "yes", "Forcibly power off 3 PCs in “Lab A”?", "4/1"},
            {pTree, pSolo, {}, ID_REBOOT, "yes", "Reboot “a” in “Solo”?", "2/0"},
            {pList, nullptr, {0}, ID_SHUTDOWN, "yes poll", "Shut down “a”?", "status,4/0"},
            {pTree, nullptr, {}, ID_REBOOT, "yes poll", "Reboot all 4 PCs?", "status,2/0"},
            {pList, nullptr, {0}, ID_SHUTDOWN, "no tick", "Shut down “a”?", ""},
            {pList, nullptr, {0}, ID_SHUTDOWN, "yes tick", "Shut down “a”?", "4/0"},
            {pTree, pLab, {}, ID_REBOOT, "", "", "2/0"},
        };
    for (const auto& [pView, pGroup, rows, id, pszAnswer, pszQuestion, pszSent] : steps) {
        const QString strAnswer = QLatin1String(pszAnswer);
        desk.Show(pGroup);
        desk.Select(rows);
        QVERIFY(Enabled(*pView, id));
        desk.log.answers = {strAnswer.startsWith(QLatin1String("yes")) ? QMessageBox::Yes : QMessageBox::No};
        desk.log.ticks = {strAnswer.endsWith(QLatin1String("tick"))};
        if (strAnswer.endsWith(QLatin1String("poll")))
            desk.log.fnWhileAsked = [&desk] { desk.pList->OnCommand(ID_REFRESH); };
        const qsizetype nAsked = desk.log.texts.size();
        const qsizetype nReceived = desk.Received("127.0.0.2").size();
        pView->OnCommand(id);
        QCOMPARE(desk.log.texts.mid(nAsked).join(QLatin1Char('|')), QString::fromUtf8(pszQuestion));
        if (*pszSent == '\0') {
            QVERIFY(!desk.doc.m_pClient->m_bBusy);
            continue; // a late word would show in the next step
        }
        // A poll of every PC, shown or not, follows each operation.
        QTRY_COMPARE(desk.Received("127.0.0.2").mid(nReceived).join(QLatin1Char(',')),
                     QLatin1String(pszSent) + QLatin1String(",status"));
        QVERIFY(WaitIdle(desk.doc));
        QTRY_COMPARE(pC->m_nStatus, 0);
    }
    QCOMPARE(desk.Received("127.0.0.4").filter(QStringLiteral("/")).join(QLatin1Char(',')),
             QStringLiteral("4/0,2/0"));
    QCOMPARE(vtsettings::ReadInt("Settings", "ConfirmOperation", -1), 0);

    // A request taken between an operation's end and the poll that follows it (a reservation,
    // say) keeps the worker busy; the poll waits for it instead of being lost.
    const qsizetype nBefore = desk.Received("127.0.0.3").size();
    desk.doc.m_pClient->m_bBusy = true;
    desk.pList->OnClientMessage(WM_CLIENT_OPERATED, 0, 0);
    QTest::qWait(200);
    QCOMPARE(desk.Received("127.0.0.3").size(), nBefore);
    desk.doc.m_pClient->m_bBusy = false;
    QTRY_COMPARE(desk.Received("127.0.0.3").size(), nBefore + 1);
    QVERIFY(WaitIdle(desk.doc));
}

VT_SHELL_TEST_MAIN(TestKwList)
#include "tst_kwlist.moc"
