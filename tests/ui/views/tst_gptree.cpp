#include "CGpTree.h"
#include "CReserveDlg.h"
#include "ViewsTestSupport.h"

#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QVBoxLayout>

using namespace vttest;

namespace {

QStringList ChildNames(const CGpTree& tree)
{
    QStringList names;
    for (int i = 0; i < tree.RootItem()->childCount(); ++i)
        names << tree.RootItem()->child(i)->text(0);
    return names;
}

bool Enabled(CGpTree& tree, int id)
{
    bool bEnabled = false;
    return tree.OnUpdateCommand(id, &bEnabled) && bEnabled;
}

/// A window holding the tree and a line edit that can take the focus away from it.
struct Window {
    QWidget widget;
    QLineEdit* pOther;
    CGpTree* pTree;
    explicit Window(CDoc& doc)
    {
        auto* pLayout = new QVBoxLayout(&widget);
        pOther = new QLineEdit(&widget);
        pTree = new CGpTree(&doc, &widget);
        pLayout->addWidget(pOther);
        pLayout->addWidget(pTree);
        widget.resize(300, 400);
        pTree->OnInitialUpdate();
    }
    bool Show()
    {
        widget.show();
        widget.activateWindow();
        return QTest::qWaitForWindowActive(&widget);
    }
};

void Commit(QLineEdit* pEditor, const QString& strText)
{
    pEditor->setText(strText);
    QTest::keyClick(pEditor, Qt::Key_Return);
    QCoreApplication::processEvents();
}

} // namespace

class TestGpTree : public QObject {
    Q_OBJECT
private slots:
    void fillShowsRootAndGroupsInOrder();
    void createGroupUpToTheLimit();
    void createdGroupEditsAtOnceAndEscKeepsName();
    void renameLimitsInBytes();
    void rootIsNeverEdited();
    void deleteSelectsNextThenPreviousThenRoot();
    void deleteInEditorDeletesText();
    void reservationSwitchesGroupPicture();
    void contextMenuOrderAndPowerOffItems();
    void dropTargetMarksGroupsOnly();
    void focusClickNeverOpensEditor();
};

void TestGpTree::fillShowsRootAndGroupsInOrder()
{
    CDoc doc;
    doc.AddGroup("Lab A");
    doc.AddGroup("Lab B");
    CGpTree tree(&doc);
    tree.OnInitialUpdate();
    QCOMPARE(tree.topLevelItemCount(), 1);
    QCOMPARE(tree.RootItem()->text(0), QStringLiteral("PC in Network"));
    QVERIFY(tree.RootItem()->isExpanded());
    QVERIFY(tree.RootItem()->isSelected());
    QCOMPARE(tree.RootItem()->data(0, CGpTree::ImageRole).toInt(), 0);
    QCOMPARE(ChildNames(tree), (QStringList{QStringLiteral("Lab A"), QStringLiteral("Lab B")}));
    QCOMPARE(tree.RootItem()->child(0)->data(0, CGpTree::ImageRole).toInt(), 3);
    QCOMPARE(tree.RootItem()->child(0)->data(0, CGpTree::SelectedImageRole).toInt(), 1);
    QCOMPARE(doc.m_pCurrent, nullptr);

    // Selecting a group makes it current; the document's hint 0 selects an item.
    tree.setCurrentItem(tree.RootItem()->child(1));
    QCOMPARE(doc.m_pCurrent, doc.m_groups.back().get());
    tree.OnUpdate(nullptr, 0, doc.m_groups.front().get());
    QVERIFY(tree.RootItem()->child(0)->isSelected());
    tree.OnUpdate(nullptr, 0, nullptr);
    QVERIFY(tree.RootItem()->child(0)->isSelected());
}

void TestGpTree::createGroupUpToTheLimit()
{
    MessageLog log;
    CDoc doc;
    for (int i = 0; i < 98; ++i)
        doc.AddGroup("g");
    CGpTree tree(&doc);
    tree.OnInitialUpdate();
    QVERIFY(Enabled(tree, ID_CREATE_GROUP));
    QVERIFY(tree.OnCommand(ID_CREATE_GROUP)); // the 99th
    QVERIFY(Enabled(tree, ID_CREATE_GROUP));
    QVERIFY(tree.OnCommand(ID_CREATE_GROUP)); // the 100th
    QCOMPARE(doc.m_groups.size(), std::size_t{100});
    QCOMPARE(tree.RootItem()->childCount(), 100);
    QVERIFY(!Enabled(tree, ID_CREATE_GROUP));
    QVERIFY(log.entries.empty());

    // Should the command arrive all the same, the refusal is reported.
    tree.OnCommand(ID_CREATE_GROUP);
    QCOMPARE(doc.m_groups.size(), std::size_t{100});
    QCOMPARE(log.Last(), QStringLiteral("Unexpected error occurred."));
    QCOMPARE(log.entries.back().icon, QMessageBox::Warning);
}

void TestGpTree::createdGroupEditsAtOnceAndEscKeepsName()
{
    CDoc doc;
    Window win(doc);
    QVERIFY(win.Show());
    win.pTree->OnCommand(ID_CREATE_GROUP);
    QVERIFY(win.pTree->LabelEditor());
    QCOMPARE(win.pTree->LabelEditor()->text(), QStringLiteral("New Group"));
    QCOMPARE(doc.m_pCurrent, doc.m_groups.front().get());
    QTest::keyClick(win.pTree->LabelEditor(), Qt::Key_Escape);
    QTRY_VERIFY(!win.pTree->LabelEditor());
    QCOMPARE(doc.m_groups.front()->m_strName, std::string("New Group"));

    // Names need not be unique.
    win.pTree->OnCommand(ID_CREATE_GROUP);
    QTest::keyClick(win.pTree->LabelEditor(), Qt::Key_Escape);
    QCOMPARE(ChildNames(*win.pTree), (QStringList{QStringLiteral("New Group"), QStringLiteral("New Group")}));

    // The window goes away with an editor still open.
    win.pTree->OnCommand(ID_CREATE_GROUP);
    QVERIFY(win.pTree->LabelEditor());
}

void TestGpTree::renameLimitsInBytes()
{
    MessageLog log;
    CDoc doc;
    doc.AddGroup("Old");
    Window win(doc);
    QVERIFY(win.Show());
    QTreeWidgetItem* pItem = win.pTree->RootItem()->child(0);
    win.pTree->setCurrentItem(pItem);

    // Change Name needs the tree to be the active view.
    win.pOther->setFocus();
    QTRY_VERIFY(win.pOther->hasFocus());
    QVERIFY(!Enabled(*win.pTree, ID_CHANGE_NAME));
    win.pTree->setFocus();
    QTRY_VERIFY(win.pTree->hasFocus());
    QVERIFY(Enabled(*win.pTree, ID_CHANGE_NAME));

    const QString str64 = QString(21, QChar(0x3042)) + QStringLiteral("a"); // 21 x 3 bytes + 1
    QCOMPARE(str64.toUtf8().size(), 64);
    doc.SetModifiedFlag(false);
    win.pTree->OnCommand(ID_CHANGE_NAME);
    QVERIFY(win.pTree->LabelEditor());
    Commit(win.pTree->LabelEditor(), str64);
    QCOMPARE(QString::fromStdString(doc.m_groups.front()->m_strName), str64);
    QCOMPARE(pItem->text(0), str64);
    QVERIFY(doc.IsModified());
    QVERIFY(log.entries.empty());

    for (const QString& strBad : {str64 + QStringLiteral("b"), QString()}) {
        win.pTree->OnCommand(ID_CHANGE_NAME);
        QVERIFY(win.pTree->LabelEditor());
        Commit(win.pTree->LabelEditor(), strBad);
        QTRY_COMPARE(log.Last(), QStringLiteral("Incorrect group name."));
        QCOMPARE(log.entries.back().icon, QMessageBox::Information);
        QCOMPARE(QString::fromStdString(doc.m_groups.front()->m_strName), str64);
        QCOMPARE(pItem->text(0), str64);
        log.entries.clear();
    }
}

void TestGpTree::rootIsNeverEdited()
{
    CDoc doc;
    Window win(doc);
    QVERIFY(win.Show());
    win.pTree->setFocus();
    QTRY_VERIFY(win.pTree->hasFocus());
    QVERIFY(win.pTree->RootItem()->isSelected());
    for (int id : {ID_CHANGE_NAME, ID_DELETE, ID_RESERVE})
        QVERIFY2(!Enabled(*win.pTree, id), qPrintable(QString::number(id)));
    win.pTree->editItem(win.pTree->RootItem(), 0);
    QVERIFY(!win.pTree->LabelEditor());
}

void TestGpTree::deleteSelectsNextThenPreviousThenRoot()
{
    MessageLog log;
    CDoc doc;
    for (const char* psz : {"A", "B", "C"})
        doc.AddGroup(psz);
    CGpTree tree(&doc);
    tree.OnInitialUpdate();

    tree.setCurrentItem(tree.RootItem()->child(1));
    log.answer = QMessageBox::No;
    tree.OnCommand(ID_DELETE);
    QCOMPARE(log.Last(), QStringLiteral("Deletes selected group.\nOK to continue?"));
    QCOMPARE(log.entries.back().icon, QMessageBox::Question);
    QCOMPARE(doc.m_groups.size(), std::size_t{3});

    log.answer = QMessageBox::Yes;
    tree.OnCommand(ID_DELETE); // B: the next one, C, is selected
    QCOMPARE(ChildNames(tree), (QStringList{QStringLiteral("A"), QStringLiteral("C")}));
    QCOMPARE(tree.SelectedGroup()->m_strName, std::string("C"));
    QCOMPARE(doc.m_pCurrent, tree.SelectedGroup());

    tree.OnCommand(ID_DELETE); // C, the last: the previous one, A
    QCOMPARE(tree.SelectedGroup()->m_strName, std::string("A"));
    QCOMPARE(doc.m_pCurrent, tree.SelectedGroup());

    tree.OnCommand(ID_DELETE); // the only one: the root
    QVERIFY(tree.RootItem()->isSelected());
    QCOMPARE(doc.m_pCurrent, nullptr);
    QVERIFY(doc.m_groups.empty());
    QCOMPARE(tree.RootItem()->childCount(), 0);
}

void TestGpTree::deleteInEditorDeletesText()
{
    MessageLog log;
    CDoc doc;
    doc.AddGroup("Keep");
    Window win(doc);
    QVERIFY(win.Show());
    win.pTree->setCurrentItem(win.pTree->RootItem()->child(0));
    win.pTree->setFocus();
    QTRY_VERIFY(win.pTree->hasFocus());
    win.pTree->OnCommand(ID_CHANGE_NAME);
    QLineEdit* pEditor = win.pTree->LabelEditor();
    QVERIFY(pEditor);
    QVERIFY(Enabled(*win.pTree, ID_EDIT_SELECT_ALL));
    pEditor->setText(QStringLiteral("Keep it"));
    pEditor->setSelection(4, 3);
    win.pTree->OnCommand(ID_DELETE);
    QCOMPARE(pEditor->text(), QStringLiteral("Keep"));
    win.pTree->OnCommand(ID_EDIT_SELECT_ALL);
    QCOMPARE(pEditor->selectedText(), QStringLiteral("Keep"));
    QVERIFY(log.entries.empty());
    QCOMPARE(doc.m_groups.size(), std::size_t{1});
}

void TestGpTree::reservationSwitchesGroupPicture()
{
    CDoc doc;
    CGroup* pGroup = doc.AddGroup("Night");
    CGpTree tree(&doc);
    tree.OnInitialUpdate();
    QTreeWidgetItem* pItem = tree.RootItem()->child(0);
    tree.setCurrentItem(pItem);

    struct Spy : CDocView {
        int nHint1 = 0;
        void OnUpdate(CDocView*, int nHint, CGroup*) override { nHint1 += nHint == 1 ? 1 : 0; }
    } spy;
    doc.AddView(&spy);

    OnNextModal<CReserveDlg>([](CReserveDlg* pDlg) {
        pDlg->findChild<QRadioButton*>(QStringLiteral("set"))->click();
        pDlg->findChild<QRadioButton*>(QStringLiteral("daily"))->click();
        pDlg->accept();
    });
    tree.OnCommand(ID_RESERVE);
    QVERIFY(pGroup->m_reserveOff.m_bSet);
    QVERIFY(pGroup->m_reserveOff.m_timeNext != kNoTime);
    QCOMPARE(pItem->data(0, CGpTree::ImageRole).toInt(), 4);
    QCOMPARE(pItem->data(0, CGpTree::SelectedImageRole).toInt(), 2);
    QCOMPARE(spy.nHint1, 1);

    OnNextModal<CReserveDlg>([](CReserveDlg* pDlg) {
        pDlg->findChild<QRadioButton*>(QStringLiteral("release"))->click();
        pDlg->accept();
    });
    tree.OnCommand(ID_RESERVE);
    QCOMPARE(pItem->data(0, CGpTree::ImageRole).toInt(), 3);
    QCOMPARE(pItem->data(0, CGpTree::SelectedImageRole).toInt(), 1);

    // Cancel changes nothing.
    OnNextModal<CReserveDlg>([](CReserveDlg* pDlg) {
        pDlg->findChild<QRadioButton*>(QStringLiteral("set"))->click();
        pDlg->reject();
    });
    tree.OnCommand(ID_RESERVE);
    QVERIFY(!pGroup->m_reserveOff.m_bSet);
    QCOMPARE(spy.nHint1, 2);
    doc.RemoveView(&spy);
}

void TestGpTree::contextMenuOrderAndPowerOffItems()
{
    CDoc doc;
    CGpTree tree(&doc);
    tree.OnInitialUpdate();
    auto texts = [&] {
        std::unique_ptr<QMenu> pMenu(tree.BuildContextMenu(nullptr));
        QStringList list;
        for (QAction* pAction : pMenu->actions())
            list << (pAction->isSeparator() ? QStringLiteral("-") : pAction->text());
        return list;
    };
    SetPowerOffEnabled(false);
    QCOMPARE(
        texts().join(QLatin1Char('|')),
        QStringLiteral("Create Group|Delete|-|Reboot|Shutdown|-|Forcible Reboot|Forcible Shutdown|-|Wake "
                       "up|-|Reserve"));
    SetPowerOffEnabled(true);
    QCOMPARE(texts().join(QLatin1Char('|')),
             QStringLiteral("Create Group|Delete|-|Reboot|Shutdown|Powoer OFF|-|Forcible Reboot|Forcible "
                            "Shutdown|Power OFF|-|Wake up|-|Reserve"));
    std::unique_ptr<QMenu> pMenu(tree.BuildContextMenu(nullptr));
    QCOMPARE(pMenu->actions().at(5)->data().toInt(), int(ID_POWER_OFF));
    QCOMPARE(pMenu->actions().at(9)->data().toInt(), int(ID_FORCED_POWER_OFF));
    QVERIFY(!pMenu->actions().at(1)->isEnabled()); // Delete on the root
    SetPowerOffEnabled(false);
}

void TestGpTree::dropTargetMarksGroupsOnly()
{
    CDoc doc;
    doc.AddGroup("A");
    doc.AddGroup("B");
    Window win(doc);
    QVERIFY(win.Show());
    CGpTree& tree = *win.pTree;
    auto globalOf = [&](QTreeWidgetItem* pItem) {
        return tree.viewport()->mapToGlobal(tree.visualItemRect(pItem).center());
    };
    tree.DragEnter(globalOf(tree.RootItem()));
    QCOMPARE(tree.DropTargetItem(), nullptr);
    QCOMPARE(tree.Drop(), nullptr);

    tree.DragEnter(globalOf(tree.RootItem()->child(0)));
    QCOMPARE(tree.DropTargetItem(), tree.RootItem()->child(0));
    tree.DragOver(globalOf(tree.RootItem()->child(1)));
    QCOMPARE(tree.DropTargetItem(), tree.RootItem()->child(1));
    tree.DragOver(globalOf(tree.RootItem()));
    QCOMPARE(tree.DropTargetItem(), nullptr);
    tree.DragOver(globalOf(tree.RootItem()->child(0)));
    tree.DragLeave();
    QCOMPARE(tree.DropTargetItem(), nullptr);

    tree.DragEnter(globalOf(tree.RootItem()->child(1)));
    QCOMPARE(tree.Drop(), doc.m_groups.back().get());
    QCOMPARE(tree.DropTargetItem(), nullptr);
    QCOMPARE(tree.Drop(), nullptr);
}

void TestGpTree::focusClickNeverOpensEditor()
{
    CDoc doc;
    doc.AddGroup("G");
    Window win(doc);
    QVERIFY(win.Show());
    QTreeWidgetItem* pItem = win.pTree->RootItem()->child(0);
    win.pTree->setCurrentItem(pItem);
    win.pOther->setFocus();
    QTRY_VERIFY(win.pOther->hasFocus());
    const QPoint pos = win.pTree->visualItemRect(pItem).center();
    const int nWait = QApplication::doubleClickInterval() + 300;

    QTest::mouseClick(win.pTree->viewport(), Qt::LeftButton, {}, pos);
    QTRY_VERIFY(win.pTree->hasFocus());
    QTest::qWait(nWait);
    QVERIFY(!win.pTree->LabelEditor());

    QTest::mouseClick(win.pTree->viewport(), Qt::LeftButton, {}, pos);
    QTRY_VERIFY_WITH_TIMEOUT(win.pTree->LabelEditor() != nullptr, nWait + 1000);
}

VT_VIEWS_TEST_MAIN(TestGpTree)
#include "tst_gptree.moc"
