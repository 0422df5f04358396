#include "FlowsTestSupport.h"
#include "Translations.h"

#include <QMenu>
#include <QSignalSpy>
#include <QWindow>

using namespace vttest;
using namespace vtflows;

namespace {

constexpr int kEnter = CGpTree::WM_TREE_DRAGENTER;
constexpr int kOver = CGpTree::WM_TREE_DRAGOVER;
constexpr int kLeave = CGpTree::WM_TREE_DRAGLEAVE;
constexpr int kDrop = CGpTree::WM_TREE_DROP;

QList<int> Messages(const QSignalSpy& spy)
{
    QList<int> messages;
    for (const QList<QVariant>& args : spy)
        messages << args.at(0).toInt();
    return messages;
}

/// Command ids of a menu, 0 for a separator.
QList<int> Layout(const QMenu& menu)
{
    QList<int> ids;
    for (const QAction* pAction : menu.actions())
        ids << (pAction->isSeparator() ? 0 : pAction->data().toInt());
    return ids;
}

/// Closes a popup that should not have opened, so the test fails instead of hanging.
struct PopupGuard {
    bool bSeen = false;
    QTimer timer;
    explicit PopupGuard(int nMs = 50)
    {
        timer.setInterval(nMs);
        QObject::connect(&timer, &QTimer::timeout, &timer, [this] {
            if (QWidget* pPopup = QApplication::activePopupWidget()) {
                bSeen = true;
                pPopup->close();
            }
        });
        timer.start();
    }
};

/// Two PCs on the roster and two empty groups.
struct DragDesk : Desk {
    CGroup* pFirst = nullptr;
    CGroup* pSecond = nullptr;
    DragDesk()
    {
        AddPc(doc, "pc0", "127.1.0.1");
        AddPc(doc, "pc1", "127.1.0.2");
        pFirst = doc.AddGroup("first");
        pSecond = doc.AddGroup("second");
    }
    QTreeWidgetItem* Item(CGroup* pGroup) const { return pTree->ItemOf(pGroup); }
    QPoint At(CGroup* pGroup) const { return TreePoint(Item(pGroup)); }
    QWindow* Window() const { return pHost->windowHandle(); }
    QPoint InWindow(QPoint global) const { return pHost->mapFromGlobal(global); }
};

} // namespace

class TestFlowsDrag : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void treeHearsEnterOverLeaveDropInOrder();
    void dropsThatAddNothing();
    void cancellations_data();
    void cancellations();
    void mouseDragAddsTheSelection();
    void contextMenuItemsAndEnabling();
    void contextMenuInJapanese();
    void contextMenuRoutesTheChosenCommand();

private:
    std::unique_ptr<FakeLookup> m_pLookup;
};

void TestFlowsDrag::init()
{
    PrepareEnvironment();
    m_pLookup = std::make_unique<FakeLookup>();
}

void TestFlowsDrag::cleanup()
{
    m_pLookup.reset();
    SetCommandRouter(nullptr);
    SetPowerOffEnabled(false);
    vtclock::SetClockForTesting({});
}

void TestFlowsDrag::treeHearsEnterOverLeaveDropInOrder()
{
    DragDesk desk;
    QVERIFY(desk.Start());
    QSignalSpy spy(desk.pTree, &CGpTree::dragDropMessage);

    desk.pList->clearSelection();
    desk.pList->BeginDrag(desk.ListPoint(0));
    QVERIFY(!desk.pList->IsDragging()); // nothing selected, nothing to drag

    desk.Select({0});
    desk.pList->BeginDrag(desk.ListPoint(0));
    QVERIFY(desk.pList->IsDragging());
    QCOMPARE(QWidget::mouseGrabber(), desk.pList->viewport());
    QVERIFY(spy.isEmpty());

    desk.pList->DragMoveTo(desk.At(desk.pFirst));
    QCOMPARE(desk.pList->DropTarget(), desk.pTree);
    QCOMPARE(desk.pTree->DropTargetItem(), desk.Item(desk.pFirst));
    desk.pList->DragMoveTo(desk.At(desk.pFirst)); // standing still says nothing
    QCOMPARE(Messages(spy), QList<int>{kEnter});

    desk.pList->DragMoveTo(desk.At(desk.pSecond));
    QCOMPARE(desk.pTree->DropTargetItem(), desk.Item(desk.pSecond));
    desk.pList->DragMoveTo(desk.TreePoint(desk.pTree->RootItem()));
    QCOMPARE(desk.pTree->DropTargetItem(), nullptr); // the root takes nothing

    desk.pList->DragMoveTo(desk.ListPoint(1));
    desk.pList->DragMoveTo(desk.ListPoint(0));
    QCOMPARE(desk.pList->DropTarget(), nullptr);
    QCOMPARE(Messages(spy), (QList<int>{kEnter, kOver, kOver, kLeave}));

    desk.pList->DragMoveTo(desk.At(desk.pFirst));
    desk.pList->EndDrag(true);
    QCOMPARE(Messages(spy), (QList<int>{kEnter, kOver, kOver, kLeave, kEnter, kDrop}));
    QVERIFY(!desk.pList->IsDragging());
    QCOMPARE(QWidget::mouseGrabber(), nullptr);
    QCOMPARE(desk.pTree->DropTargetItem(), nullptr);
    QCOMPARE(desk.pFirst->m_members, std::vector<std::int32_t>{desk.doc.m_pcs.front()->m_nId});
    QVERIFY(desk.pSecond->m_members.empty());
}

void TestFlowsDrag::dropsThatAddNothing()
{
    DragDesk desk;
    const std::int32_t nPc0 = desk.doc.m_pcs.front()->m_nId;
    desk.doc.AddToGroup(desk.pFirst, nPc0);
    for (std::int32_t nId = 1000; desk.pFirst->m_members.size() < 254; ++nId)
        desk.pFirst->m_members.push_back(nId); // full, so any real add would complain
    QVERIFY(desk.Start());
    MessageScript messages;
    QSignalSpy spy(desk.pTree, &CGpTree::dragDropMessage);

    // On the root.
    desk.Select({0, 1});
    desk.pList->BeginDrag(desk.ListPoint(0));
    desk.pList->DragMoveTo(desk.TreePoint(desk.pTree->RootItem()));
    desk.pList->EndDrag(true);
    QCOMPARE(Messages(spy), (QList<int>{kEnter, kDrop}));

    // On the group that is shown.
    spy.clear();
    desk.Show(desk.pFirst);
    desk.Select({0});
    desk.pList->BeginDrag(desk.ListPoint(0));
    desk.pList->DragMoveTo(desk.At(desk.pFirst));
    desk.pList->EndDrag(true);
    QCOMPARE(Messages(spy), (QList<int>{kEnter, kDrop}));
    QCOMPARE(desk.pFirst->m_members.size(), std::size_t{254});
    QVERIFY(messages.entries.empty());
    QVERIFY(desk.pSecond->m_members.empty());
}

void TestFlowsDrag::cancellations_data()
{
    QTest::addColumn<QString>("how");
    for (const char* psz : {"escape", "character", "right button", "focus lost"})
        QTest::newRow(psz) << QString::fromLatin1(psz);
}

void TestFlowsDrag::cancellations()
{
    QFETCH(QString, how);
    DragDesk desk;
    QVERIFY(desk.Start());
    desk.pList->setFocus();
    desk.Select({0, 1});
    QSignalSpy spy(desk.pTree, &CGpTree::dragDropMessage);
    PopupGuard popups;

    const QPoint over = desk.At(desk.pFirst);
    QCursor::setPos(over);
    desk.pList->BeginDrag(desk.ListPoint(0));
    desk.pList->DragMoveTo(over);
    QCOMPARE(desk.pTree->DropTargetItem(), desk.Item(desk.pFirst));

    if (how == QLatin1String("escape"))
        QTest::keyClick(desk.pList, Qt::Key_Escape);
    else if (how == QLatin1String("character"))
        QTest::keyClick(desk.pList, Qt::Key_A);
    else if (how == QLatin1String("right button"))
        QTest::mousePress(desk.Window(), Qt::RightButton, {}, desk.InWindow(over));
    else
        desk.pTree->setFocus();
    QTest::qWait(120);
    if (how == QLatin1String("right button"))
        QTest::mouseRelease(desk.Window(), Qt::RightButton, {}, desk.InWindow(over));

    QVERIFY(!desk.pList->IsDragging());
    QCOMPARE(QWidget::mouseGrabber(), nullptr);
    QCOMPARE(desk.pTree->DropTargetItem(), nullptr);
    QCOMPARE(Messages(spy), (QList<int>{kEnter, kLeave}));
    QVERIFY(desk.pFirst->m_members.empty());
    QVERIFY(!popups.bSeen);
    QCOMPARE(desk.pList->SelectedRows(), (std::vector<int>{0, 1}));
}

void TestFlowsDrag::mouseDragAddsTheSelection()
{
    DragDesk desk;
    AddPc(desk.doc, "pc2", "127.1.0.3");
    QVERIFY(desk.Start());
    desk.Select({0, 1});
    QSignalSpy spy(desk.pTree, &CGpTree::dragDropMessage);

    const QPoint start = desk.ListPoint(0);
    QTest::mousePress(desk.Window(), Qt::LeftButton, {}, desk.InWindow(start));
    QTest::mouseMove(desk.Window(), desk.InWindow(start + QPoint(2, 1)));
    QVERIFY(!desk.pList->IsDragging()); // not past the drag distance yet
    const int nFar = QApplication::startDragDistance() + 5;
    QTest::mouseMove(desk.Window(), desk.InWindow(start + QPoint(nFar, 0)));
    QTest::mouseMove(desk.Window(), desk.InWindow(start + QPoint(nFar + 1, 1)));
    QVERIFY(desk.pList->IsDragging());
    QTest::mouseMove(desk.Window(), desk.InWindow(desk.At(desk.pFirst)));
    QTest::mouseMove(desk.Window(), desk.InWindow(desk.At(desk.pSecond)));
    QCOMPARE(desk.pTree->DropTargetItem(), desk.Item(desk.pSecond));
    QTest::mouseRelease(desk.Window(), Qt::LeftButton, {}, desk.InWindow(desk.At(desk.pSecond)));

    QVERIFY(!desk.pList->IsDragging());
    QCOMPARE(Messages(spy), (QList<int>{kEnter, kOver, kDrop}));
    const std::int32_t nPc0 = desk.doc.m_pcs.front()->m_nId;
    QCOMPARE(desk.pSecond->m_members, (std::vector<std::int32_t>{nPc0, nPc0 + 1}));
    QVERIFY(desk.pFirst->m_members.empty());
    QCOMPARE(desk.pList->SelectedRows(), (std::vector<int>{0, 1}));
}

void TestFlowsDrag::contextMenuItemsAndEnabling()
{
    DragDesk desk;
    QVERIFY(desk.Start());
    const QList<int> withoutPowerOff{ID_MANUAL_REGISTRATION,
                                     ID_AUTO_REGISTRATION,
                                     ID_EDIT_SETTINGS,
                                     ID_DELETE,
                                     0,
                                     ID_REBOOT,
                                     ID_SHUTDOWN,
                                     0,
                                     ID_FORCIBLE_REBOOT,
                                     ID_FORCIBLE_SHUTDOWN,
                                     0,
                                     ID_WAKE_UP,
                                     0,
                                     ID_RESERVE,
                                     0,
                                     ID_REFRESH};
    std::unique_ptr<QMenu> pMenu(desk.pList->BuildContextMenu(nullptr));
    QCOMPARE(Layout(*pMenu), withoutPowerOff);
    // Nothing selected: only what needs no selection.
    for (const QAction* pAction : pMenu->actions()) {
        const int id = pAction->data().toInt();
        if (id != 0)
            QCOMPARE(pAction->isEnabled(),
                     id == ID_MANUAL_REGISTRATION || id == ID_AUTO_REGISTRATION || id == ID_REFRESH);
    }

    SetPowerOffEnabled(true);
    pMenu.reset(desk.pList->BuildContextMenu(nullptr));
    QList<int> withPowerOff = withoutPowerOff;
    withPowerOff.insert(withPowerOff.indexOf(ID_SHUTDOWN) + 1, ID_POWER_OFF);
    withPowerOff.insert(withPowerOff.indexOf(ID_FORCIBLE_SHUTDOWN) + 1, ID_FORCED_POWER_OFF);
    QCOMPARE(Layout(*pMenu), withPowerOff);
    QCOMPARE(pMenu->actions().at(withPowerOff.indexOf(ID_POWER_OFF))->text(), QStringLiteral("Power OFF"));
    QCOMPARE(pMenu->actions().at(withPowerOff.indexOf(ID_FORCED_POWER_OFF))->text(),
             QStringLiteral("Power OFF"));

    desk.Select({1});
    pMenu.reset(desk.pList->BuildContextMenu(nullptr));
    for (const QAction* pAction : pMenu->actions())
        if (pAction->data().toInt() != 0)
            QVERIFY2(pAction->isEnabled(), qPrintable(pAction->text()));
}

void TestFlowsDrag::contextMenuInJapanese()
{
    DragDesk desk;
    QVERIFY(desk.Start());
    SetPowerOffEnabled(true);
    vtshell::InstallTranslations(vtstr::Language::Japanese);
    std::unique_ptr<QMenu> pMenu(desk.pList->BuildContextMenu(nullptr));
    vtshell::InstallTranslations(vtstr::Language::English);
    QStringList texts;
    for (const QAction* pAction : pMenu->actions())
        if (!pAction->isSeparator())
            texts << pAction->text();
    QCOMPARE(texts,
             QString::fromUtf8(
                 "手動登録 ...|自動登録|設定変更|削除|リブート|シャットダウン|パワーＯＦＦ|強制リブート|"
                 "強制シャットダウン|強制パワーＯＦＦ|起動|予約 ...|最新の情報に更新")
                 .split(QLatin1Char('|')));
}

void TestFlowsDrag::contextMenuRoutesTheChosenCommand()
{
    DragDesk desk;
    QVERIFY(desk.Start());
    desk.pList->setFocus();
    desk.Select({0});
    QList<int> routed;
    SetCommandRouter([&routed](int id) { routed << id; });

    const QPoint cursor = desk.ListPoint(1);
    QCursor::setPos(cursor);
    QPoint shownAt;
    QTimer::singleShot(100, desk.pList, [&shownAt] {
        auto* pMenu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!pMenu)
            return;
        shownAt = pMenu->pos();
        for (QAction* pAction : pMenu->actions())
            if (pAction->data().toInt() == ID_EDIT_SETTINGS)
                pMenu->setActiveAction(pAction);
        QTest::keyClick(pMenu, Qt::Key_Return);
    });
    PopupGuard guard(1500); // closes the menu if the choice above failed
    QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(1, 1), desk.pList->mapToGlobal(QPoint(1, 1)));
    QApplication::sendEvent(desk.pList->viewport(), &event);
    QCOMPARE(routed, QList<int>{ID_EDIT_SETTINGS});
    QCOMPARE(shownAt, cursor);
}

VT_VIEWS_TEST_MAIN(TestFlowsDrag)
#include "tst_flows_drag.moc"
