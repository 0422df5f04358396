#include "../ViewsTestSupport.h"
#include "CReserveDlg.h"
#include "Translations.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>

using namespace vttest;

namespace {

template <typename T = QAbstractButton> T* Find(CReserveDlg& dlg, const char* pszName)
{
    T* p = dlg.findChild<T*>(QLatin1String(pszName));
    if (!p)
        qFatal("no control %s", pszName);
    return p;
}

void Click(CReserveDlg& dlg, std::initializer_list<const char*> names)
{
    for (const char* psz : names)
        Find(dlg, psz)->click();
}

QDateTimeEdit* Time(CReserveDlg& dlg)
{
    return Find<QDateTimeEdit>(dlg, "time");
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

/// Which of a few representative controls are enabled.
QString EnabledOnes(CReserveDlg& dlg)
{
    QStringList names;
    for (const char* psz : {"set", "release", "monthly", "weekly", "daily", "day3", "wday3", "reboot", "shutdown",
                            "forcible"})
        if (Find(dlg, psz)->isEnabled())
            names << QLatin1String(psz);
    return names.join(QLatin1Char(',')) + (Time(dlg)->isEnabled() ? QStringLiteral(" time") : QString());
}

} // namespace

class TestReserveDlg : public QObject {
    Q_OBJECT
private slots:
    void init() { ResetEnvironment(); }
    void freshRecordAndEnabling();
    void tabSwitchKeepsEdits();
    void wakeUpIsStoredAsType255Force0();
    void texts_data();
    void texts();
};

void TestReserveDlg::freshRecordAndEnabling()
{
    vtclock::SetClockForTesting([] { return March(14, 13, 47, 25); });
    CReserveDlg dlg;
    dlg.OnInitDialog();
    QCOMPARE(Checked(dlg), QStringLiteral("release,daily 13:47"));
    QCOMPARE(EnabledOnes(dlg), QStringLiteral("set,release"));
    Click(dlg, {"set", "weekly"});
    QCOMPARE(EnabledOnes(dlg), QStringLiteral("set,release,monthly,weekly,daily,wday3,reboot,shutdown,forcible time"));
    Click(dlg, {"monthly"});
    QCOMPARE(EnabledOnes(dlg), QStringLiteral("set,release,monthly,weekly,daily,day3,reboot,shutdown,forcible time"));
    Click(dlg, {"release"});
    QCOMPARE(EnabledOnes(dlg), QStringLiteral("set,release"));

    // Setting it without choosing a type stores a daily shutdown.
    Click(dlg, {"set", "daily"});
    dlg.accept();
    QCOMPARE(dlg.m_reserveOff.m_bSet, 1);
    QCOMPARE(dlg.m_reserveOff.m_nMode, std::int32_t{ReserveDaily});
    QCOMPARE(dlg.m_reserveOff.m_wType, OP_SHUTDOWN);
    QCOMPARE(dlg.m_reserveOff.m_time, March(14, 13, 47));
}

void TestReserveDlg::tabSwitchKeepsEdits()
{
    CReserveDlg dlg;
    CReserve on;
    on.Set(1, ReserveDaily, 0, 0, March(14, 7, 0), OP_WAKEUP, 0);
    dlg.m_reserveOn.Assign(on);
    dlg.OnInitDialog();
    QVERIFY(Find<QGroupBox>(dlg, "typeBox")->isVisibleTo(&dlg));
    Click(dlg, {"set", "weekly", "wday1", "wday5", "reboot", "forcible"});
    Time(dlg)->setTime(QTime(23, 15));
    const QString strEdited = QStringLiteral("set,weekly,wday1,wday5,reboot,forcible 23:15");
    QCOMPARE(Checked(dlg), strEdited);

    dlg.SelectTab(1);
    QCOMPARE(dlg.CurrentTab(), 1);
    QVERIFY(!Find<QGroupBox>(dlg, "typeBox")->isVisibleTo(&dlg));
    QCOMPARE(Checked(dlg), QStringLiteral("set,daily 07:00"));
    dlg.SelectTab(0);
    QVERIFY(Find<QGroupBox>(dlg, "typeBox")->isVisibleTo(&dlg));
    QCOMPARE(Checked(dlg), strEdited);

    // OK on the other tab keeps what was edited here.
    dlg.SelectTab(1);
    Time(dlg)->setTime(QTime(6, 45));
    dlg.accept();
    QCOMPARE(dlg.m_reserveOff.m_nMode, std::int32_t{ReserveWeekly});
    QCOMPARE(dlg.m_reserveOff.m_dwWeekDays, std::uint32_t{0x22});
    QCOMPARE(dlg.m_reserveOff.m_wType, OP_REBOOT);
    QCOMPARE(dlg.m_reserveOff.m_wForce, std::uint16_t{1});
    QCOMPARE(QDateTime::fromSecsSinceEpoch(dlg.m_reserveOff.m_time).time(), QTime(23, 15));
    QCOMPARE(QDateTime::fromSecsSinceEpoch(dlg.m_reserveOn.m_time).time(), QTime(6, 45));
}

void TestReserveDlg::wakeUpIsStoredAsType255Force0()
{
    CReserveDlg dlg;
    dlg.OnInitDialog();
    dlg.SelectTab(1);
    Click(dlg, {"set", "monthly", "day15"});
    Find(dlg, "forcible")->setChecked(true); // hidden on this tab
    Find(dlg, "reboot")->setChecked(true);
    dlg.accept();
    QCOMPARE(dlg.m_reserveOn.m_bSet, 1);
    QCOMPARE(dlg.m_reserveOn.m_wType, OP_WAKEUP);
    QCOMPARE(dlg.m_reserveOn.m_wForce, std::uint16_t{0});
    QCOMPARE(dlg.m_reserveOn.m_dwDays, std::uint32_t{1u << 14});
    QVERIFY(dlg.m_reserveOn.m_timeNext != kNoTime);
    QCOMPARE(dlg.m_reserveOff.m_bSet, 0); // tab 0 untouched but read
}

void TestReserveDlg::texts_data()
{
    QTest::addColumn<bool>("japanese");
    QTest::addColumn<QString>("texts");
    QTest::newRow("English") << false
                             << QStringLiteral("Reservation Settings|Shutdown|Wake up|1st|12th|22nd|31st|Sun|Sat|"
                                               "Set Reservation|O K|Cancel");
    QTest::newRow("Japanese") << true
                              << QString::fromUtf8("予約設定|シャットダウン|起動|1日|12日|22日|31日|日|土|予約指定|"
                                                   "O K|ｷｬﾝｾﾙ");
}

void TestReserveDlg::texts()
{
    QFETCH(bool, japanese);
    QFETCH(QString, texts);
    const vtstr::Language lang = japanese ? vtstr::Language::Japanese : vtstr::Language::English;
    vtshell::InstallTranslations(lang);
    vtstr::SetLanguage(lang);
    CReserveDlg dlg;
    dlg.OnInitDialog();
    vtshell::InstallTranslations(vtstr::Language::English);
    vtstr::SetLanguage(vtstr::Language::English);
    auto* pTabs = Find<QTabBar>(dlg, "tabs");
    QStringList shown{dlg.windowTitle(), pTabs->tabText(0), pTabs->tabText(1)};
    for (const char* psz : {"day1", "day12", "day22", "day31", "wday0", "wday6", "set", "ok", "cancel"})
        shown << Find(dlg, psz)->text();
    QCOMPARE(shown.join(QLatin1Char('|')), texts);
    QCOMPARE(Time(dlg)->displayFormat(), QStringLiteral("HH:mm"));
    QVERIFY(Time(dlg)->font().pointSizeF() >= 2.9 * dlg.font().pointSizeF());
}

VT_VIEWS_TEST_MAIN(TestReserveDlg)
#include "tst_reservedlg.moc"
