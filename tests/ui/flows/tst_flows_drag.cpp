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

/// Two PCs on the roster and two empty groups.
struct DragDesk : Desk {
    CGroup* pFirst;
    CGroup* pSecond;
    DragDesk()
    {
        AddPc(doc, "pc0", "127.1.0.1");
        AddPc(doc, "pc1", "127.1.0.2");
        pFirst = doc.AddGroup("first");
        pSecond = doc.AddGroup("second");
    }
    QPoint At(CGroup* pGroup) const { return TreePoint(pTree->ItemOf(pGroup)); }
    void Drag(const std::vector<int>& rows, QPoint to)
    {
        Select(rows);
        pList->BeginDrag(ListPoint(rows.front()));
        pList->DragMoveTo(to);
    }
};

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
    DragDesk desk;
    QVERIFY(desk.Start());
    desk.pList->setFocus();
    QSignalSpy spy(desk.pTree, &CGpTree::dragDropMessage);
    desk.pList->BeginDrag(desk.ListPoint(0));
    QVERIFY(!desk.pList->IsDragging()); // nothing selected, nothing to drag

    desk.Drag({0}, desk.At(desk.pFirst));
    QCOMPARE(QWidget::mouseGrabber(), desk.pList->viewport());
    QCOMPARE(desk.pTree->DropTargetItem(), desk.pTree->ItemOf(desk.pFirst));
    desk.pList->DragMoveTo(desk.At(desk.pFirst)); // standing still says nothing
    desk.pList->DragMoveTo(desk.At(desk.pSecond));
    desk.pList->DragMoveTo(desk.TreePoint(desk.pTree->RootItem()));
    QCOMPARE(desk.pTree->DropTargetItem(), nullptr); // the root takes nothing
    desk.pList->DragMoveTo(desk.ListPoint(1));
    desk.pList->DragMoveTo(desk.At(desk.pFirst));
    desk.pList->EndDrag(true);
    QCOMPARE(Heard(spy), QStringLiteral("EOOL|ED"));
    QCOMPARE(desk.pFirst->m_members, std::vector<std::int32_t>{desk.doc.m_pcs.front()->m_nId});

    // Esc cancels: the mouse is free, nothing is added, the selection stays.
    desk.Drag({0, 1}, desk.At(desk.pSecond));
    QTest::keyClick(desk.pList, Qt::Key_Escape);
    QVERIFY(!desk.pList->IsDragging());
    QCOMPARE(QWidget::mouseGrabber(), nullptr);
    QCOMPARE(desk.pTree->DropTargetItem(), nullptr);
    QVERIFY(desk.pSecond->m_members.empty());

    // By the mouse: a press, then a move past the drag distance; the selection stays.
    QWindow* pWindow = desk.pHost->windowHandle();
    auto at = [&desk](QPoint global) { return desk.pHost->mapFromGlobal(global); };
    const QPoint start = desk.ListPoint(0);
    const int nFar = QApplication::startDragDistance() + 5;
    QTest::mousePress(pWindow, Qt::LeftButton, {}, at(start));
    QTest::mouseMove(pWindow, at(start + QPoint(2, 1)));
    QVERIFY(!desk.pList->IsDragging());
    QTest::mouseMove(pWindow, at(start + QPoint(nFar, 0)));
    QTest::mouseMove(pWindow, at(start + QPoint(nFar + 1, 1)));
    QVERIFY(desk.pList->IsDragging());
    QTest::mouseMove(pWindow, at(desk.At(desk.pSecond)));
    QTest::mouseRelease(pWindow, Qt::LeftButton, {}, at(desk.At(desk.pSecond)));
    const std::int32_t nPc0 = desk.doc.m_pcs.front()->m_nId;
    QCOMPARE(desk.pSecond->m_members, (std::vector<std::int32_t>{nPc0, nPc0 + 1}));
    QCOMPARE(desk.pList->SelectedRows(), (std::vector<int>{0, 1}));

    // Drops on the root and on the group shown add nothing (the full group would complain).
    desk.Drag({0, 1}, desk.TreePoint(desk.pTree->RootItem()));
    desk.pList->EndDrag(true);
    for (std::int32_t nId = 1000; desk.pFirst->m_members.size() < 254; ++nId)
        desk.pFirst->m_members.push_back(nId);
    desk.Show(desk.pFirst);
    desk.Drag({0}, desk.At(desk.pFirst));
    desk.pList->EndDrag(true);
    QCOMPARE(Heard(spy), QStringLiteral("EOOL|ED|EL|ED|ED|ED"));
    QCOMPARE(desk.pFirst->m_members.size(), std::size_t{254});
    QCOMPARE(desk.pSecond->m_members.size(), std::size_t{2});
    QVERIFY(desk.log.texts.isEmpty());
}

void TestFlowsDrag::contextMenuTextsAndEnabling()
{
    DragDesk desk;
    QVERIFY(desk.Start());
    QCOMPARE(
        MenuText(desk.pList->BuildContextMenu(nullptr)),
        QStringLiteral("Manual Registration|Auto Registration|!Edit Settings|!Delete|-|!Reboot|!Shutdown|-|"
                       "!Forcible Reboot|!Forcible Shutdown|-|!Wake up|-|!Reserve|-|Refresh"));
    SetPowerOffEnabled(true);
    desk.Select({1});
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
