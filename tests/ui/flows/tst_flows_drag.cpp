#include "../ViewsTestSupport.h"
#include "Translations.h"

#include <QSignalSpy>
#include <QWindow>

using namespace vttest;

namespace {

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

class TestFlowsDrag : public QObject {
    Q_OBJECT
private slots:
    void init() { ResetEnvironment(); }
    void dragOntoGroups();
    void contextMenuTextsAndEnabling();
};

void TestFlowsDrag::dragOntoGroups()
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
    QVERIFY(!desk.pList->IsDragging());
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

void TestFlowsDrag::contextMenuTextsAndEnabling()
{
    Desk desk;
    AddPc(desk.doc, "pc0", "127.1.0.1");
    QVERIFY(desk.Start());
    QCOMPARE(
        MenuText(desk.pList->BuildContextMenu(nullptr)),
        QStringLiteral("Manual Registration|Auto Registration|!Edit Settings|!Delete|-|!Reboot|!Shutdown|-|"
                       "!Forcible Reboot|!Forcible Shutdown|-|!Wake up|-|!Reserve|-|Refresh"));
    SetPowerOffEnabled(true);
    desk.Select({0});
    QCOMPARE(
        MenuText(desk.pList->BuildContextMenu(nullptr)),
        QStringLiteral("Manual Registration|Auto Registration|Edit Settings|Delete|-|Reboot|Shutdown|Power "
                       "OFF|-|Forcible Reboot|Forcible Shutdown|Power OFF|-|Wake up|-|Reserve|-|Refresh"));
    vtshell::InstallTranslations(vtstr::Language::Japanese);
    const QString strJapanese = MenuText(desk.pList->BuildContextMenu(nullptr));
    vtshell::InstallTranslations(vtstr::Language::English);
    QCOMPARE(strJapanese,
             QString::fromUtf8("手動登録 ...|自動登録|設定変更|削除|-|リブート|シャットダウン|パワーＯＦＦ|"
                               "-|強制リブート|強制シャットダウン|強制パワーＯＦＦ|-|起動|-|予約 ...|-|"
                               "最新の情報に更新"));
}

VT_VIEWS_TEST_MAIN(TestFlowsDrag)
#include "tst_flows_drag.moc"
