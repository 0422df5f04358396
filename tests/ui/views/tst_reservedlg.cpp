#include "CReserveDlg.h"
#include "ViewsTestSupport.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTranslator>

#include <ctime>

using namespace vttest;

namespace {

template <typename T> T* Find(CReserveDlg& dlg, const char* pszName)
{
    T* p = dlg.findChild<T*>(QString::fromLatin1(pszName));
    if (!p)
        qFatal("no control %s", pszName);
    return p;
}

QRadioButton* Radio(CReserveDlg& dlg, const char* pszName)
{
    return Find<QRadioButton>(dlg, pszName);
}

QCheckBox* Box(CReserveDlg& dlg, const char* pszName)
{
    return Find<QCheckBox>(dlg, pszName);
}

VtTime LocalTime(int nHour, int nMinute)
{
    std::tm tm{};
    tm.tm_year = 124;
    tm.tm_mon = 4;
    tm.tm_mday = 14;
    tm.tm_hour = nHour;
    tm.tm_min = nMinute;
    tm.tm_sec = 0;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

} // namespace

class TestReserveDlg : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { vtclock::SetClockForTesting({}); }
    void freshRecordShowsReleasedDailyAndDisablesAll();
    void enablingFollowsSetAndMode();
    void tabSwitchKeepsEdits();
    void wakeUpIsStoredAsType255Force0();
    void labelsAndTimeFormat();
    void japaneseTexts();
};

void TestReserveDlg::freshRecordShowsReleasedDailyAndDisablesAll()
{
    const VtTime now = LocalTime(13, 47) + 25;
    vtclock::SetClockForTesting([now] { return now; });
    CReserveDlg dlg;
    dlg.OnInitDialog();
    QVERIFY(Radio(dlg, "release")->isChecked());
    QVERIFY(!Radio(dlg, "set")->isChecked());
    QVERIFY(Radio(dlg, "daily")->isChecked());
    QVERIFY(!Radio(dlg, "reboot")->isChecked());
    QVERIFY(!Radio(dlg, "shutdown")->isChecked());
    for (int d = 1; d <= 31; ++d)
        QVERIFY(!Box(dlg, qPrintable(QStringLiteral("day%1").arg(d)))->isChecked());
    QCOMPARE(Find<QDateTimeEdit>(dlg, "time")->time(), QTime(13, 47));
    for (const char* psz : {"monthly", "weekly", "daily", "reboot", "shutdown"})
        QVERIFY2(!Radio(dlg, psz)->isEnabled(), psz);
    QVERIFY(!Box(dlg, "forcible")->isEnabled());
    QVERIFY(!Find<QDateTimeEdit>(dlg, "time")->isEnabled());
    QVERIFY(Radio(dlg, "set")->isEnabled() && Radio(dlg, "release")->isEnabled());
    QVERIFY(Find<QPushButton>(dlg, "ok")->isEnabled());

    // Setting it without choosing a type stores a shutdown.
    Radio(dlg, "set")->click();
    dlg.accept();
    QCOMPARE(dlg.m_reserveOff.m_bSet, 1);
    QCOMPARE(dlg.m_reserveOff.m_nMode, std::int32_t{ReserveDaily});
    QCOMPARE(dlg.m_reserveOff.m_wType, OP_SHUTDOWN);
    QCOMPARE(dlg.m_reserveOff.m_time, LocalTime(13, 47));
}

void TestReserveDlg::enablingFollowsSetAndMode()
{
    CReserveDlg dlg;
    dlg.OnInitDialog();
    Radio(dlg, "set")->click();
    Radio(dlg, "weekly")->click();
    QVERIFY(Box(dlg, "wday3")->isEnabled());
    QVERIFY(!Box(dlg, "day3")->isEnabled());
    QVERIFY(Radio(dlg, "reboot")->isEnabled());
    Radio(dlg, "monthly")->click();
    QVERIFY(Box(dlg, "day31")->isEnabled());
    QVERIFY(!Box(dlg, "wday3")->isEnabled());
    Radio(dlg, "release")->click();
    QVERIFY(!Box(dlg, "day31")->isEnabled());
}

void TestReserveDlg::tabSwitchKeepsEdits()
{
    CReserveDlg dlg;
    CReserve on;
    on.Set(1, ReserveDaily, 0, 0, LocalTime(7, 0), OP_WAKEUP, 0);
    dlg.m_reserveOn.Assign(on);
    dlg.OnInitDialog();
    QVERIFY(Find<QGroupBox>(dlg, "typeBox")->isVisibleTo(&dlg));

    Radio(dlg, "set")->click();
    Radio(dlg, "weekly")->click();
    Box(dlg, "wday1")->setChecked(true);
    Box(dlg, "wday5")->setChecked(true);
    Radio(dlg, "reboot")->click();
    Box(dlg, "forcible")->setChecked(true);
    Find<QDateTimeEdit>(dlg, "time")->setTime(QTime(23, 15));

    dlg.SelectTab(1);
    QCOMPARE(dlg.CurrentTab(), 1);
    QVERIFY(!Find<QGroupBox>(dlg, "typeBox")->isVisibleTo(&dlg));
    QVERIFY(Radio(dlg, "daily")->isChecked());
    QVERIFY(!Box(dlg, "wday1")->isChecked());
    QCOMPARE(Find<QDateTimeEdit>(dlg, "time")->time(), QTime(7, 0));

    dlg.SelectTab(0);
    QVERIFY(Find<QGroupBox>(dlg, "typeBox")->isVisibleTo(&dlg));
    QVERIFY(Radio(dlg, "weekly")->isChecked());
    QVERIFY(Box(dlg, "wday1")->isChecked() && Box(dlg, "wday5")->isChecked());
    QVERIFY(Radio(dlg, "reboot")->isChecked());
    QVERIFY(Box(dlg, "forcible")->isChecked());
    QCOMPARE(Find<QDateTimeEdit>(dlg, "time")->time(), QTime(23, 15));

    // OK on the other tab keeps what was edited here.
    dlg.SelectTab(1);
    Find<QDateTimeEdit>(dlg, "time")->setTime(QTime(6, 45));
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
    Radio(dlg, "set")->click();
    Radio(dlg, "monthly")->click();
    Box(dlg, "day15")->setChecked(true);
    Box(dlg, "forcible")->setChecked(true); // hidden on this tab
    Radio(dlg, "reboot")->setChecked(true);
    dlg.accept();
    QCOMPARE(dlg.m_reserveOn.m_bSet, 1);
    QCOMPARE(dlg.m_reserveOn.m_wType, OP_WAKEUP);
    QCOMPARE(dlg.m_reserveOn.m_wForce, std::uint16_t{0});
    QCOMPARE(dlg.m_reserveOn.m_dwDays, std::uint32_t{1u << 14});
    QVERIFY(dlg.m_reserveOn.m_timeNext != kNoTime);
    QCOMPARE(dlg.m_reserveOff.m_bSet, 0); // tab 0 untouched but read
}

void TestReserveDlg::labelsAndTimeFormat()
{
    CReserveDlg dlg;
    dlg.OnInitDialog();
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Reservation Settings"));
    auto* pTabs = Find<QTabBar>(dlg, "tabs");
    QCOMPARE(pTabs->tabText(0), QStringLiteral("Shutdown"));
    QCOMPARE(pTabs->tabText(1), QStringLiteral("Wake up"));
    QCOMPARE(Box(dlg, "day1")->text(), QStringLiteral("1st"));
    QCOMPARE(Box(dlg, "day12")->text(), QStringLiteral("12th"));
    QCOMPARE(Box(dlg, "day22")->text(), QStringLiteral("22nd"));
    QCOMPARE(Box(dlg, "day31")->text(), QStringLiteral("31st"));
    QCOMPARE(Box(dlg, "wday0")->text(), QStringLiteral("Sun"));
    QCOMPARE(Box(dlg, "wday6")->text(), QStringLiteral("Sat"));
    auto* pTime = Find<QDateTimeEdit>(dlg, "time");
    QCOMPARE(pTime->displayFormat(), QStringLiteral("HH:mm"));
    QVERIFY(pTime->font().pointSizeF() >= 2.9 * dlg.font().pointSizeF());
    QCOMPARE(Find<QPushButton>(dlg, "ok")->text(), QStringLiteral("O K"));
}

void TestReserveDlg::japaneseTexts()
{
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral(":/i18n/views_ja.qm")));
    QCoreApplication::installTranslator(&translator);
    vtstr::SetLanguage(vtstr::Language::Japanese);
    {
        CReserveDlg dlg;
        dlg.OnInitDialog();
        QCOMPARE(dlg.windowTitle(), QString::fromUtf8("予約設定"));
        QCOMPARE(Find<QTabBar>(dlg, "tabs")->tabText(1), QString::fromUtf8("起動"));
        QCOMPARE(Box(dlg, "day1")->text(), QString::fromUtf8("1日"));
        QCOMPARE(Box(dlg, "day31")->text(), QString::fromUtf8("31日"));
        QCOMPARE(Box(dlg, "wday6")->text(), QString::fromUtf8("土"));
        QCOMPARE(Radio(dlg, "set")->text(), QString::fromUtf8("予約指定"));
        QCOMPARE(Find<QPushButton>(dlg, "cancel")->text(), QString::fromUtf8("ｷｬﾝｾﾙ"));
    }
    QCOMPARE(QCoreApplication::translate("CGpTree", "Power OFF"), QString::fromUtf8("強制パワーＯＦＦ"));
    QCOMPARE(QCoreApplication::translate("CGpTree", "Powoer OFF"), QString::fromUtf8("パワーＯＦＦ"));
    QCoreApplication::removeTranslator(&translator);
    vtstr::SetLanguage(vtstr::Language::English);
}

VT_VIEWS_TEST_MAIN(TestReserveDlg)
#include "tst_reservedlg.moc"
