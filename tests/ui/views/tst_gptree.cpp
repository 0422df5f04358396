#include "../ViewsTestSupport.h"
#include "CReserveDlg.h"
#include "Translations.h"

#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>

using namespace vttest;

namespace {

QString ChildNames(const CGpTree& tree)
{
    QStringList names;
    for (int i = 0; i < tree.RootItem()->childCount(); ++i)
        names << tree.RootItem()->child(i)->text(0);
    return names.join(QLatin1Char(','));
}

QString Pictures(const QTreeWidgetItem* pItem)
{
    return QStringLiteral("%1/%2")
        .arg(pItem->data(0, CGpTree::ImageRole).toInt())
        .arg(pItem->data(0, CGpTree::SelectedImageRole).toInt());
}

void Commit(QLineEdit* pEditor, const QString& strText)
{
    pEditor->setText(strText);
    QTest::keyClick(pEditor, Qt::Key_Return);
    QCoreApplication::processEvents();
}

void ReserveNext(const char* pszChoice, bool bAccept)
{
    OnNextModal<CReserveDlg>([=](CReserveDlg* pDlg) {
        pDlg->findChild<QRadioButton*>(QLatin1String(pszChoice))->click();
        pDlg->findChild<QRadioButton*>(QStringLiteral("daily"))->click();
        bAccept ? pDlg->accept() : pDlg->reject();
    });
}

} // namespace

class TestGpTree : public QObject {
    Q_OBJECT
private slots:
    void init() { ResetEnvironment(); }
    void fillSelectionAndRoot();
    void createGroupUpToTheLimit();
    void renameLimitsInBytes();
    void deleteSelectsNextThenPreviousThenRoot();
    void reservationSwitchesGroupPicture();
    void contextMenuOrderAndPowerOffItems();
    void focusClickNeverOpensEditor();
};

void TestGpTree::fillSelectionAndRoot()
{
    Desk desk;
    desk.doc.AddGroup("Lab A");
    desk.doc.AddGroup("Lab B");
    QVERIFY(desk.Start());
    CGpTree& tree = *desk.pTree;
    QCOMPARE(tree.topLevelItemCount(), 1);
    QCOMPARE(tree.RootItem()->text(0), QStringLiteral("PC in Network"));
    QVERIFY(tree.RootItem()->isExpanded() && tree.RootItem()->isSelected());
    QCOMPARE(tree.RootItem()->data(0, CGpTree::ImageRole).toInt(), 0);
    QCOMPARE(ChildNames(tree), QStringLiteral("Lab A,Lab B"));
    QCOMPARE(Pictures(tree.RootItem()->child(0)), QStringLiteral("3/1"));
    QCOMPARE(desk.doc.m_pCurrent, nullptr);

    // The root is never renamed, deleted or reserved.
    tree.setFocus();
    QTRY_VERIFY(tree.hasFocus());
    for (int id : {ID_CHANGE_NAME, ID_DELETE, ID_RESERVE})
        QVERIFY2(!Enabled(tree, id), qPrintable(QString::number(id)));
    tree.editItem(tree.RootItem(), 0);
    QVERIFY(!tree.LabelEditor());

    // Selecting a group makes it current; the document's hint 0 selects an item.
    tree.setCurrentItem(tree.RootItem()->child(1));
    QCOMPARE(desk.doc.m_pCurrent, desk.doc.m_groups.back().get());
    tree.OnUpdate(nullptr, 0, desk.doc.m_groups.front().get());
    QVERIFY(tree.RootItem()->child(0)->isSelected());
}

void TestGpTree::createGroupUpToTheLimit()
{
    Desk desk;
    for (int i = 0; i < 98; ++i)
        desk.doc.AddGroup("g");
    QVERIFY(desk.Start());
    CGpTree& tree = *desk.pTree;
    for (int n = 99; n <= 100; ++n) {
        QVERIFY(Enabled(tree, ID_CREATE_GROUP));
        QVERIFY(tree.OnCommand(ID_CREATE_GROUP));
        // The new group is current and its name is being edited; Esc keeps "New Group".
        QVERIFY(tree.LabelEditor());
        QCOMPARE(tree.LabelEditor()->text(), QStringLiteral("New Group"));
        QCOMPARE(desk.doc.m_pCurrent, desk.doc.m_groups.back().get());
        QTest::keyClick(tree.LabelEditor(), Qt::Key_Escape);
        QTRY_VERIFY(!tree.LabelEditor());
    }
    QCOMPARE(desk.doc.m_groups.size(), std::size_t{100});
    QCOMPARE(tree.RootItem()->child(99)->text(0), QStringLiteral("New Group"));
    QVERIFY(!Enabled(tree, ID_CREATE_GROUP));
    QVERIFY(desk.log.texts.isEmpty());

    // Should the command arrive all the same, the refusal is reported.
    tree.OnCommand(ID_CREATE_GROUP);
    QCOMPARE(desk.doc.m_groups.size(), std::size_t{100});
    QCOMPARE(desk.log.texts, QStringList{QStringLiteral("Unexpected error occurred.")});
    QCOMPARE(desk.log.icons.back(), QMessageBox::Warning);
}

void TestGpTree::renameLimitsInBytes()
{
    Desk desk;
    desk.doc.AddGroup("Old");
    QVERIFY(desk.Start());
    CGpTree& tree = *desk.pTree;
    QTreeWidgetItem* pItem = tree.RootItem()->child(0);
    tree.setCurrentItem(pItem);

    // Change Name needs the tree to be the active view.
    desk.pList->setFocus();
    QTRY_VERIFY(desk.pList->hasFocus());
    QVERIFY(!Enabled(tree, ID_CHANGE_NAME));
    tree.setFocus();
    QTRY_VERIFY(tree.hasFocus());
    QVERIFY(Enabled(tree, ID_CHANGE_NAME));

    const QString str64 = QString(21, QChar(0x3042)) + QStringLiteral("a"); // 21 x 3 bytes + 1
    desk.doc.SetModifiedFlag(false);
    tree.OnCommand(ID_CHANGE_NAME);
    QVERIFY(tree.LabelEditor());
    Commit(tree.LabelEditor(), str64);
    QCOMPARE(QString::fromStdString(desk.doc.m_groups.front()->m_strName), str64);
    QVERIFY(desk.doc.IsModified());
    QVERIFY(desk.log.texts.isEmpty());

    for (const QString& strBad : {str64 + QStringLiteral("b"), QString()}) {
        tree.OnCommand(ID_CHANGE_NAME);
        QVERIFY(tree.LabelEditor());
        Commit(tree.LabelEditor(), strBad);
        QTRY_COMPARE(desk.log.texts.size(), 1);
        QCOMPARE(desk.log.texts.front(), QStringLiteral("Incorrect group name."));
        QCOMPARE(desk.log.icons.front(), QMessageBox::Information);
        QCOMPARE(QString::fromStdString(desk.doc.m_groups.front()->m_strName), str64);
        QCOMPARE(pItem->text(0), str64);
        desk.log.texts.clear();
        desk.log.icons.clear();
    }

    // While the name is edited, Delete and Select All act on the text, not the group.
    tree.OnCommand(ID_CHANGE_NAME);
    QLineEdit* pEditor = tree.LabelEditor();
    QVERIFY(pEditor);
    pEditor->setText(QStringLiteral("Keep it"));
    pEditor->setSelection(4, 3);
    tree.OnCommand(ID_DELETE);
    tree.OnCommand(ID_EDIT_SELECT_ALL);
    QCOMPARE(pEditor->selectedText(), QStringLiteral("Keep"));
    QVERIFY(desk.log.texts.isEmpty());
    QCOMPARE(desk.doc.m_groups.size(), std::size_t{1});
}

void TestGpTree::deleteSelectsNextThenPreviousThenRoot()
{
    Desk desk;
    for (const char* psz : {"A", "B", "C"})
        desk.doc.AddGroup(psz);
    QVERIFY(desk.Start());
    CGpTree& tree = *desk.pTree;
    tree.setCurrentItem(tree.RootItem()->child(1));
    desk.log.answers = {QMessageBox::No};
    tree.OnCommand(ID_DELETE);
    QCOMPARE(desk.log.texts, QStringList{QStringLiteral("Deletes selected group.\nOK to continue?")});
    QCOMPARE(desk.log.icons.back(), QMessageBox::Question);
    QCOMPARE(ChildNames(tree), QStringLiteral("A,B,C"));

    tree.OnCommand(ID_DELETE); // B: the next one, C, is selected
    QCOMPARE(ChildNames(tree), QStringLiteral("A,C"));
    QCOMPARE(tree.SelectedGroup()->m_strName, std::string("C"));
    QCOMPARE(desk.doc.m_pCurrent, tree.SelectedGroup());
    tree.OnCommand(ID_DELETE); // C, the last: the previous one, A
    QCOMPARE(tree.SelectedGroup()->m_strName, std::string("A"));
    QCOMPARE(desk.doc.m_pCurrent, tree.SelectedGroup());
    tree.OnCommand(ID_DELETE); // the only one: the root
    QVERIFY(tree.RootItem()->isSelected());
    QCOMPARE(desk.doc.m_pCurrent, nullptr);
    QVERIFY(desk.doc.m_groups.empty());
    QCOMPARE(tree.RootItem()->childCount(), 0);
}

void TestGpTree::reservationSwitchesGroupPicture()
{
    Desk desk;
    CGroup* pGroup = desk.doc.AddGroup("Night");
    desk.doc.AddToGroup(pGroup, AddPc(desk.doc, "pc", "10.0.0.1")->m_nId);
    QVERIFY(desk.Start());
    QTreeWidgetItem* pItem = desk.pTree->ItemOf(pGroup);
    desk.Show(pGroup);

    ReserveNext("set", true);
    desk.pTree->OnCommand(ID_RESERVE);
    QVERIFY(pGroup->m_reserveOff.m_bSet && pGroup->m_reserveOff.m_timeNext != kNoTime);
    QCOMPARE(Pictures(pItem), QStringLiteral("4/2"));
    QVERIFY(desk.Text(0, CKwListModel::ColNextOff).endsWith(QStringLiteral(" - S"))); // the list was told

    ReserveNext("release", true);
    desk.pTree->OnCommand(ID_RESERVE);
    QCOMPARE(Pictures(pItem), QStringLiteral("3/1"));
    QCOMPARE(desk.Text(0, CKwListModel::ColNextOff), QString());

    ReserveNext("set", false);
    desk.pTree->OnCommand(ID_RESERVE);
    QVERIFY(!pGroup->m_reserveOff.m_bSet);
    QCOMPARE(Pictures(pItem), QStringLiteral("3/1"));
}

void TestGpTree::contextMenuOrderAndPowerOffItems()
{
    Desk desk;
    QVERIFY(desk.Start());
    QCOMPARE(MenuText(desk.pTree->BuildContextMenu(nullptr)),
             QStringLiteral("Create Group|!Delete|-|Reboot|Shutdown|-|Forcible Reboot|Forcible Shutdown|-|Wake up|-|"
                            "!Reserve"));
    SetPowerOffEnabled(true);
    QCOMPARE(MenuText(desk.pTree->BuildContextMenu(nullptr)),
             QStringLiteral("Create Group|!Delete|-|Reboot|Shutdown|Powoer OFF|-|Forcible Reboot|Forcible Shutdown|"
                            "Power OFF|-|Wake up|-|!Reserve"));
    std::unique_ptr<QMenu> pMenu(desk.pTree->BuildContextMenu(nullptr));
    QCOMPARE(pMenu->actions().at(5)->data().toInt(), int(ID_POWER_OFF));
    QCOMPARE(pMenu->actions().at(9)->data().toInt(), int(ID_FORCED_POWER_OFF));
    vtshell::InstallTranslations(vtstr::Language::Japanese);
    const QString strJapanese = MenuText(desk.pTree->BuildContextMenu(nullptr));
    vtshell::InstallTranslations(vtstr::Language::English);
    QCOMPARE(strJapanese, QString::fromUtf8("グループを作成 ...|!削除|-|リブート|シャットダウン|パワーＯＦＦ|-|強制リブート|"
                                            "強制シャットダウン|強制パワーＯＦＦ|-|起動|-|!予約 ..."));
}

void TestGpTree::focusClickNeverOpensEditor()
{
    Desk desk;
    desk.doc.AddGroup("G");
    QVERIFY(desk.Start());
    CGpTree& tree = *desk.pTree;
    tree.setCurrentItem(tree.RootItem()->child(0));
    desk.pList->setFocus();
    QTRY_VERIFY(desk.pList->hasFocus());
    const QPoint pos = tree.visualItemRect(tree.RootItem()->child(0)).center();
    const int nWait = QApplication::doubleClickInterval() + 300;

    // The click that brings the focus only focuses; the next one on the selection edits.
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, pos);
    QTRY_VERIFY(tree.hasFocus());
    QTest::qWait(nWait);
    QVERIFY(!tree.LabelEditor());
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, pos);
    QTRY_VERIFY_WITH_TIMEOUT(tree.LabelEditor() != nullptr, nWait + 1000);
}

VT_VIEWS_TEST_MAIN(TestGpTree)
#include "tst_gptree.moc"
