#include "../ViewsTestSupport.h"
#include "CReserveDlg.h"

#include <QDateTimeEdit>
#include <QGroupBox>

using namespace vttest;

namespace {

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

class TestReserveDlg : public QObject {
    Q_OBJECT
private slots:
    void init() { ResetEnvironment(); }
    void tabSwitchKeepsEditsAndWakeUpIsType255Force0();
};

void TestReserveDlg::tabSwitchKeepsEditsAndWakeUpIsType255Force0()
{
    CReserveDlg dlg;
    CReserve on;
    on.Set(1, ReserveDaily, 0, 0, March(14, 7, 0), OP_WAKEUP, 0);
    dlg.m_reserveOn.Assign(on);
    dlg.OnInitDialog();
    QCOMPARE(Checked(dlg), QStringLiteral("release,daily 12:00")); // a fresh record: now
    QVERIFY(Time(dlg)->displayFormat() == QStringLiteral("HH:mm") &&
            Time(dlg)->font().pointSizeF() >= 2.9 * dlg.font().pointSizeF()); // large, 24 hours
    for (const char* psz : {"set", "weekly", "wday1", "wday5", "forcible"})   // no type: a shutdown
        Button(&dlg, psz)->click();
    Time(dlg)->setTime(QTime(23, 15));
    QCOMPARE(Checked(dlg), QStringLiteral("set,weekly,wday1,wday5,forcible 23:15"));

    // The wake-up tab hides the type (forcible stays checked underneath).
    dlg.SelectTab(1);
    QVERIFY(!dlg.findChild<QGroupBox*>(QStringLiteral("typeBox"))->isVisibleTo(&dlg));
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

VT_VIEWS_TEST_MAIN(TestReserveDlg)
#include "tst_reservedlg.moc"
