#include "../ViewsTestSupport.h"

using namespace vttest;

namespace {

/// The group items: name and pictures (normal/selected) of each.
QString Groups(const CGpTree& tree)
{
    QStringList items;
    for (int i = 0; i < tree.RootItem()->childCount(); ++i) {
        const QTreeWidgetItem* p = tree.RootItem()->child(i);
        items << p->text(0) + QString::asprintf(" %d/%d", p->data(0, CGpTree::ImageRole).toInt(),
                                                p->data(0, CGpTree::SelectedImageRole).toInt());
    }
    return items.join(QLatin1Char(','));
}

/// set, mode, days, week days, type, force and time of a record.
QString Record(const CReserve& r)
{
    return QString::asprintf("%d %d %x %x %d %d ", r.m_bSet, r.m_nMode, r.m_dwDays, r.m_dwWeekDays, r.m_wType,
                             r.m_wForce) +
           QDateTime::fromSecsSinceEpoch(r.m_time).toString(QStringLiteral("HH:mm"));
}

QDateTimeEdit* Time(CReserveDlg& dlg)
{
    return dlg.findChild<QDateTimeEdit*>(QStringLiteral("time"));
}

/// The checked buttons shown, in the order the dialog made them, then the time shown.
QString Checked(CReserveDlg& dlg)
{
    QStringList names;
    for (const QAbstractButton* p : dlg.findChildren<QAbstractButton*>())
        if (p->isCheckable() && p->isChecked() && p->isVisibleTo(&dlg))
            names << p->objectName();
    return names.join(QLatin1Char(',')) + Time(dlg)->time().toString(QStringLiteral(" HH:mm"));
}

} // namespace

class TestGpTree : public QObject {
    Q_OBJECT
private slots:
    void init() { ResetEnvironment(); }
    void createAndRenameWithinLimits();
    void fillSelectReserveAndDelete();
    void operationsNeedAPcAndTheContextMenu();
    void reserveDialogKeepsEditsOfBothTabs();
};

void TestGpTree::createAndRenameWithinLimits()
{
    Desk desk;
    for (int i = 0; i < 99; ++i)
        desk.doc.AddGroup("g");
    QVERIFY(desk.Start());
    CGpTree& tree = *desk.pTree;
    QVERIFY(Enabled(tree, ID_CREATE_GROUP));
    tree.OnCommand(ID_CREATE_GROUP);
    // The new group is current and its name is being edited; Esc keeps "New Group".
    QCOMPARE(desk.doc.m_pCurrent, desk.doc.m_groups.back().get());
    QTest::keyClick(tree.LabelEditor(), Qt::Key_Escape);
    QTRY_VERIFY(!tree.LabelEditor());
    QCOMPARE(tree.RootItem()->child(99)->text(0), QStringLiteral("New Group"));
    QVERIFY(!Enabled(tree, ID_CREATE_GROUP));
    tree.OnCommand(ID_CREATE_GROUP); // should it arrive all the same
    QCOMPARE(desk.doc.m_groups.size(), std::size_t{100});
    QCOMPARE(desk.log.texts, QStringList{QStringLiteral("Unexpected error occurred.")});
    QCOMPARE(desk.log.icons.back(), QMessageBox::Warning);

    // Renaming the 100th: only while the tree is the active view; 64 bytes fit, 65 or none do not.
    desk.log.texts.clear();
    desk.pList->setFocus();
    QTRY_VERIFY(desk.pList->hasFocus());
    QVERIFY(!Enabled(tree, ID_CHANGE_NAME));
    tree.setFocus();
    QTRY_VERIFY(tree.hasFocus());
    const QString str64 = QString(21, QChar(0x3042)) + QStringLiteral("a"); // 21 x 3 bytes + 1
    desk.doc.SetModifiedFlag(false);
    for (const QString& strName : {str64, str64 + QStringLiteral("b"), QString()}) {
        tree.OnCommand(ID_CHANGE_NAME);
        tree.LabelEditor()->setText(strName);
        QTest::keyClick(tree.LabelEditor(), Qt::Key_Return);
        QCoreApplication::processEvents();
    }
    QTRY_COMPARE(desk.log.texts, QStringList(2, QStringLiteral("Incorrect group name.")));
    QCOMPARE(desk.log.icons.back(), QMessageBox::Information);
    QCOMPARE(QString::fromStdString(desk.doc.m_groups.back()->m_strName), str64);
    QCOMPARE(tree.RootItem()->child(99)->text(0), str64);
    QVERIFY(desk.doc.IsModified());

    // While the name is edited, Delete and Select All act on the text, not the group.
    tree.OnCommand(ID_CHANGE_NAME);
    QLineEdit* pEditor = tree.LabelEditor();
    pEditor->setText(QStringLiteral("Keep it"));
    pEditor->setSelection(4, 3);
    tree.OnCommand(ID_DELETE);
    tree.OnCommand(ID_EDIT_SELECT_ALL);
    QCOMPARE(pEditor->selectedText(), QStringLiteral("Keep"));
    QCOMPARE(desk.doc.m_groups.size(), std::size_t{100});
}

void TestGpTree::fillSelectReserveAndDelete()
{
    Desk desk;
    for (const char* psz : {"A", "B", "C"})
        desk.doc.AddGroup(psz);
    QVERIFY(desk.Start());
    CGpTree& tree = *desk.pTree;
    QCOMPARE(tree.topLevelItemCount(), 1);
    QVERIFY(tree.RootItem()->isExpanded() && tree.RootItem()->isSelected());
    QCOMPARE(Groups(tree), QStringLiteral("A 3/1,B 3/1,C 3/1"));
    QCOMPARE(desk.doc.m_pCurrent, nullptr);
    tree.setFocus();
    QTRY_VERIFY(tree.hasFocus());
    QVERIFY(!Enabled(tree, ID_CHANGE_NAME) && !Enabled(tree, ID_DELETE) &&
            !Enabled(tree, ID_RESERVE)); // root

    // Selecting a group makes it current; the document's hint 0 selects an item.
    tree.setCurrentItem(tree.RootItem()->child(0));
    QCOMPARE(desk.doc.m_pCurrent, desk.doc.m_groups.front().get());
    CGroup* pB = std::next(desk.doc.m_groups.begin())->get();
    tree.OnUpdate(nullptr, 0, pB);
    QCOMPARE(tree.SelectedGroup(), pB);

    // Reserved, released, reserved and cancelled: the picture, and the list told each time.
    desk.doc.AddToGroup(pB, AddPc(desk.doc, "pc", "10.0.0.1")->m_nId);
    desk.pList->FillList();
    const std::tuple<const char*, bool, const char*, const char*> steps[] = {
        {"set", true, "A 3/1,B 4/2,C 3/1", "2024/03/06  12:00 - S"},
        {"release", true, "A 3/1,B 3/1,C 3/1", ""},
        {"set", false, "A 3/1,B 3/1,C 3/1", ""}};
    for (const auto& [pszChoice, bAccept, pszGroups, pszList] : steps) {
        ModalDriver driver({[pszChoice = pszChoice, bAccept = bAccept](QDialog* pDlg) {
            Button(pDlg, pszChoice)->click();
            bAccept ? pDlg->accept() : pDlg->reject();
        }});
        tree.OnCommand(ID_RESERVE);
        QCOMPARE(Groups(tree), QLatin1String(pszGroups));
        QCOMPARE(desk.Text(0, CKwListModel::ColNextOff), QLatin1String(pszList));
    }

    desk.log.answers = {QMessageBox::No};
    tree.OnCommand(ID_DELETE);
    QCOMPARE(desk.log.texts, QStringList{QStringLiteral("Deletes selected group.\nOK to continue?")});
    QCOMPARE(desk.log.icons.back(), QMessageBox::Question);
    // B goes and the next one, C, is selected; then C, the last: the previous one, A.
    for (const char* pszLeft : {"C", "A"}) {
        tree.OnCommand(ID_DELETE);
        QCOMPARE(tree.SelectedGroup()->m_strName, std::string(pszLeft));
        QCOMPARE(desk.doc.m_pCurrent, tree.SelectedGroup());
    }
    QCOMPARE(Groups(tree), QStringLiteral("A 3/1"));
    tree.OnCommand(ID_DELETE); // the only one: the root
    QVERIFY(tree.RootItem()->isSelected());
    QCOMPARE(desk.doc.m_pCurrent, nullptr);
    QVERIFY(desk.doc.m_groups.empty() && tree.RootItem()->childCount() == 0);
}

void TestGpTree::operationsNeedAPcAndTheContextMenu()
{
    Desk desk;
    CGroup* pEmpty = desk.doc.AddGroup("empty");
    CGroup* pGone = desk.doc.AddGroup("members gone");
    desk.doc.AddToGroup(pGone, 77); // no such PC
    CGroup* pHeld = desk.doc.AddGroup("held");
    QVERIFY(desk.Start());
    const auto enabled = [&desk] {
        QString str;
        for (int id : {ID_REBOOT, ID_FORCIBLE_REBOOT, ID_SHUTDOWN, ID_FORCIBLE_SHUTDOWN, ID_POWER_OFF,
                       ID_FORCED_POWER_OFF, ID_WAKE_UP})
            str += Enabled(*desk.pTree, id) ? QLatin1Char('1') : QLatin1Char('0');
        return str;
    };
    // The empty roster, then groups with no PC.
    for (CGroup* pGroup : {static_cast<CGroup*>(nullptr), pEmpty, pGone}) {
        desk.Show(pGroup);
        QCOMPARE(enabled(), QStringLiteral("0000000"));
        desk.pTree->OnCommand(ID_SHUTDOWN); // should it arrive all the same
        QVERIFY(desk.log.texts.isEmpty() && !desk.doc.m_pClient->m_bBusy);
    }
    desk.doc.AddToGroup(pHeld, AddPc(desk.doc, "pc", "10.0.0.1")->m_nId);
    for (CGroup* pGroup : {pEmpty, pHeld, static_cast<CGroup*>(nullptr)}) {
        desk.Show(pGroup);
        QCOMPARE(enabled(), QLatin1String(pGroup == pEmpty ? "0000000" : "1111111"));
    }

    // The menu of the roster offers the Power OFF items when they are switched on.
    SetPowerOffEnabled(true);
    std::unique_ptr<QMenu> pMenu(desk.pTree->BuildContextMenu(nullptr));
    QCOMPARE(pMenu->actions().at(5)->data().toInt(), int(ID_POWER_OFF));
    QCOMPARE(pMenu->actions().at(9)->data().toInt(), int(ID_FORCED_POWER_OFF));
}

void TestGpTree::reserveDialogKeepsEditsOfBothTabs()
{
    CReserveDlg dlg;
    CReserve on;
    on.Set(1, ReserveDaily, 0, 0, March(14, 7, 0), OP_WAKEUP, 0);
    dlg.m_reserveOn.Assign(on);
    dlg.OnInitDialog();
    QCOMPARE(Checked(dlg), QStringLiteral("release,daily 12:00"));          // a fresh record: now
    for (const char* psz : {"set", "weekly", "wday1", "wday5", "forcible"}) // no type: a shutdown
        Button(&dlg, psz)->click();
    Time(dlg)->setTime(QTime(23, 15));
    QCOMPARE(Checked(dlg), QStringLiteral("set,weekly,wday1,wday5,forcible 23:15"));

    // The wake-up tab hides the type (forcible stays checked underneath).
    dlg.SelectTab(1);
    QCOMPARE(Checked(dlg), QStringLiteral("set,daily 07:00"));
    dlg.SelectTab(0);
    QCOMPARE(Checked(dlg), QStringLiteral("set,weekly,wday1,wday5,shutdown,forcible 23:15"));

    // OK on the other tab keeps what was edited on both.
    dlg.SelectTab(1);
    Button(&dlg, "monthly")->click();
    Button(&dlg, "day15")->click();
    Time(dlg)->setTime(QTime(6, 45));
    dlg.accept();
    QCOMPARE(Record(dlg.m_reserveOff), QStringLiteral("1 %1 0 22 4 1 23:15").arg(ReserveWeekly));
    QCOMPARE(Record(dlg.m_reserveOn), QStringLiteral("1 %1 4000 0 255 0 06:45").arg(ReserveMonthly));
    QVERIFY(dlg.m_reserveOn.m_timeNext != kNoTime);
}

VT_SHELL_TEST_MAIN(TestGpTree)
#include "tst_gptree.moc"
