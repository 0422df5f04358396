#include "../ViewsTestSupport.h"
#include "Translations.h"

#include <QSignalSpy>
#include <QWindow>

using namespace vttest;

namespace {

/// What the tree heard: E(nter), O(ver), L(eave), D(rop).
QString Heard(const QSignalSpy& spy)
{
    QString str;
    for (const QList<QVariant>& args : spy)
        str += QLatin1String("EOLD").at(args.at(0).toInt() - CGpTree::WM_TREE_DRAGENTER);
    return str;
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
    QWindow* Window() const { return pHost->windowHandle(); }
    QPoint InWindow(QPoint global) const { return pHost->mapFromGlobal(global); }
};

} // namespace

class TestFlowsDrag : public QObject {
    Q_OBJECT
private slots:
    void init() { ResetEnvironment(); }
    void dragOntoGroups();
    void mouseDragAddsTheSelection();
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
    QCOMPARE(Heard(spy), QStringLiteral("EOOLED"));
    QCOMPARE(desk.pFirst->m_members, std::vector<std::int32_t>{desk.doc.m_pcs.front()->m_nId});

    // Esc cancels: the mouse is free, nothing is added, the selection stays.
    desk.Drag({0, 1}, desk.At(desk.pSecond));
    QTest::keyClick(desk.pList, Qt::Key_Escape);
    QVERIFY(!desk.pList->IsDragging());
    QCOMPARE(QWidget::mouseGrabber(), nullptr);
    QCOMPARE(desk.pTree->DropTargetItem(), nullptr);
    QCOMPARE(desk.pList->SelectedRows(), (std::vector<int>{0, 1}));

    // Drops on the root and on the group shown add nothing (the full group would complain).
    desk.Drag({0, 1}, desk.TreePoint(desk.pTree->RootItem()));
    desk.pList->EndDrag(true);
    for (std::int32_t nId = 1000; desk.pFirst->m_members.size() < 254; ++nId)
        desk.pFirst->m_members.push_back(nId);
    desk.Show(desk.pFirst);
    desk.Drag({0}, desk.At(desk.pFirst));
    desk.pList->EndDrag(true);
    QCOMPARE(Heard(spy), QStringLiteral("EOOLED"
                                        "EL"
                                        "ED"
                                        "ED"));
    QVERIFY(desk.pSecond->m_members.empty());
    QCOMPARE(desk.pFirst->m_members.size(), std::size_t{254});
    QVERIFY(desk.log.texts.isEmpty());
}

void TestFlowsDrag::mouseDragAddsTheSelection()
{
    DragDesk desk;
    AddPc(desk.doc, "pc2", "127.1.0.3");
    QVERIFY(desk.Start());
    desk.Select({0, 1});
    QSignalSpy spy(desk.pTree, &CGpTree::dragDropMessage);
    const QPoint start = desk.ListPoint(0);
    const int nFar = QApplication::startDragDistance() + 5;
    QTest::mousePress(desk.Window(), Qt::LeftButton, {}, desk.InWindow(start));
    QTest::mouseMove(desk.Window(), desk.InWindow(start + QPoint(2, 1)));
    QVERIFY(!desk.pList->IsDragging()); // not past the drag distance yet
    QTest::mouseMove(desk.Window(), desk.InWindow(start + QPoint(nFar, 0)));
    QTest::mouseMove(desk.Window(), desk.InWindow(start + QPoint(nFar + 1, 1)));
    QVERIFY(desk.pList->IsDragging());
    QTest::mouseMove(desk.Window(), desk.InWindow(desk.At(desk.pFirst)));
    QTest::mouseMove(desk.Window(), desk.InWindow(desk.At(desk.pSecond)));
    QTest::mouseRelease(desk.Window(), Qt::LeftButton, {}, desk.InWindow(desk.At(desk.pSecond)));
    QVERIFY(!desk.pList->IsDragging());
    QCOMPARE(Heard(spy), QStringLiteral("EOD"));
    const std::int32_t nPc0 = desk.doc.m_pcs.front()->m_nId;
    QCOMPARE(desk.pSecond->m_members, (std::vector<std::int32_t>{nPc0, nPc0 + 1}));
    QVERIFY(desk.pFirst->m_members.empty());
    QCOMPARE(desk.pList->SelectedRows(), (std::vector<int>{0, 1}));
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
