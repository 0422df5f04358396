#include "ReserveTestUtil.h"

#include <cstdint>

namespace {

constexpr VtTime kDay = 86400;

CReserve Make(std::int32_t nMode, std::uint32_t dwDays, std::uint32_t dwWeekDays, VtTime time,
              std::uint16_t wType = OP_SHUTDOWN, std::uint16_t wForce = 0)
{
    CReserve r;
    r.Set(1, nMode, dwDays, dwWeekDays, time, wType, wForce);
    return r;
}

using ZoneTest = ClockFixture;
using DailyTest = ClockFixture;
using WeeklyTest = ClockFixture;
using MonthlyTest = ClockFixture;
using DueTest = ClockFixture;
using AssignTest = ClockFixture;
using FormatTest = ClockFixture;
using DstTest = ClockFixture;

// Guards against a missing zone database silently turning every run into UTC.
TEST_F(ZoneTest, ZoneInForce)
{
    const VtTime winter = Local(2024, 1, 15, 12, 0);
    const VtTime summer = Local(2024, 7, 15, 12, 0);
    std::tm utc{};
    const auto t = static_cast<std::time_t>(winter);
    gmtime_r(&t, &utc);
    if (InBerlin()) {
        EXPECT_EQ(utc.tm_hour, 11);
        EXPECT_EQ(summer - winter, 182 * kDay - 3600);
    } else {
        EXPECT_EQ(utc.tm_hour, 3);
        EXPECT_EQ(summer - winter, 182 * kDay);
    }
}

TEST_F(ZoneTest, ClockRestores)
{
    vtclock::SetClockForTesting({});
    EXPECT_LE(std::abs(static_cast<VtTime>(std::time(nullptr)) - vtclock::Now()), 5);
}

TEST_F(DailyTest, SameDayUntilTheMinuteThenTomorrow)
{
    // The date of the entered time plays no part; its seconds are dropped.
    const VtTime entered = Local(2023, 11, 20, 8, 30, 45);

    m_now = Local(2024, 3, 5, 8, 29, 59);
    CReserve r = Make(ReserveDaily, 0, 0, entered);
    EXPECT_EQ(r.m_time, Local(2023, 11, 20, 8, 30));
    EXPECT_EQ(r.m_timeNext, Local(2024, 3, 5, 8, 30));

    m_now = Local(2024, 3, 5, 8, 30, 0);
    r.ComputeNext();
    EXPECT_EQ(r.m_timeNext, Local(2024, 3, 6, 8, 30));

    m_now = Local(2024, 3, 5, 8, 30, 59);
    r.ComputeNext();
    EXPECT_EQ(r.m_timeNext, Local(2024, 3, 6, 8, 30));
}

TEST_F(WeeklyTest, WeekdaySearch)
{
    // 2024-03-05 is a Tuesday (bit 2).
    const VtTime at0830 = Local(2024, 1, 1, 8, 30);
    m_now = Local(2024, 3, 5, 9, 0);

    EXPECT_EQ(Make(ReserveWeekly, 0, 0, at0830).m_timeNext, kNoTime);
    // Only bit 7 and above: no weekday at all.
    EXPECT_EQ(Make(ReserveWeekly, 0, 0x80, at0830).m_timeNext, kNoTime);
    // Only today's weekday, time already past: the eighth try, a week later.
    EXPECT_EQ(Make(ReserveWeekly, 0, 1U << 2, at0830).m_timeNext, Local(2024, 3, 12, 8, 30));
    // Thursday and Sunday: the nearer one wins.
    EXPECT_EQ(Make(ReserveWeekly, 0, (1U << 4) | 1U, at0830).m_timeNext, Local(2024, 3, 7, 8, 30));

    m_now = Local(2024, 3, 5, 8, 0);
    EXPECT_EQ(Make(ReserveWeekly, 0, 1U << 2, at0830).m_timeNext, Local(2024, 3, 5, 8, 30));
}

TEST_F(MonthlyTest, DayOfMonthSearch)
{
    const VtTime at0830 = Local(2024, 1, 1, 8, 30);

    // April has no 31st.
    m_now = Local(2024, 4, 10, 12, 0);
    EXPECT_EQ(Make(ReserveMonthly, 1U << 30, 0, at0830).m_timeNext, Local(2024, 5, 31, 8, 30));

    // No 29 February in 2023. The 56 steps cross Berlin's change on 26 March, so there
    // the time of day has moved on by an hour.
    m_now = Local(2023, 2, 1, 0, 0);
    const CReserve day29 = Make(ReserveMonthly, 1U << 28, 0, at0830);
    EXPECT_EQ(day29.m_timeNext, Local(2023, 2, 1, 8, 30) + 56 * kDay);
    EXPECT_EQ(day29.FormatNext(), InBerlin() ? "2023/03/29  09:30 - S" : "2023/03/29  08:30 - S");
    m_now = Local(2024, 2, 1, 0, 0);
    EXPECT_EQ(Make(ReserveMonthly, 1U << 28, 0, at0830).m_timeNext, Local(2024, 2, 29, 8, 30));

    // Days 1 and 15 after the 15th's time: the 1st of next month.
    m_now = Local(2024, 4, 15, 8, 30);
    EXPECT_EQ(Make(ReserveMonthly, 1U | (1U << 14), 0, at0830).m_timeNext, Local(2024, 5, 1, 8, 30));
    // Today's day before its time: today.
    m_now = Local(2024, 4, 15, 8, 29);
    EXPECT_EQ(Make(ReserveMonthly, 1U | (1U << 14), 0, at0830).m_timeNext, Local(2024, 4, 15, 8, 30));

    // No usable day bit.
    EXPECT_EQ(Make(ReserveMonthly, 0, 0, at0830).m_timeNext, kNoTime);
    EXPECT_EQ(Make(ReserveMonthly, 0x80000000U, 0, at0830).m_timeNext, kNoTime);
    // Bit 31 is ignored next to a real day.
    EXPECT_EQ(Make(ReserveMonthly, 0x80000000U | (1U << 19), 0, at0830).m_timeNext,
              Local(2024, 4, 20, 8, 30));
}

TEST_F(DueTest, NothingWithoutModeFlagOrTime)
{
    m_now = Local(2024, 3, 5, 8, 0);
    const VtTime at0830 = Local(2024, 1, 1, 8, 30);

    CReserve noMode = Make(ReserveNone, 0xFFFF, 0x7F, at0830);
    CReserve unknownMode = Make(3, 0xFFFF, 0x7F, at0830);
    CReserve noTime = Make(ReserveDaily, 0, 0, kNoTime);
    CReserve released;
    released.Set(0, ReserveDaily, 0, 0, at0830, OP_SHUTDOWN, 0);

    for (CReserve* r : {&noMode, &unknownMode, &noTime, &released}) {
        EXPECT_EQ(r->m_timeNext, kNoTime);
        m_now = Local(2024, 3, 9, 8, 30);
        EXPECT_FALSE(r->IsDue());
        EXPECT_EQ(r->FormatNext(), "");
    }
    EXPECT_EQ(CReserve().m_timeNext, kNoTime);
    EXPECT_FALSE(CReserve().IsDue());
}

TEST_F(DueTest, DueOncePerOccurrence)
{
    m_now = Local(2024, 3, 5, 8, 0);
    CReserve r = Make(ReserveDaily, 0, 0, Local(2024, 1, 1, 8, 30));
    ASSERT_EQ(r.m_timeNext, Local(2024, 3, 5, 8, 30));

    m_now = Local(2024, 3, 5, 8, 29, 59);
    EXPECT_FALSE(r.IsDue());
    m_now = Local(2024, 3, 5, 8, 30, 40);
    EXPECT_TRUE(r.IsDue());
    EXPECT_EQ(r.m_timeNext, Local(2024, 3, 6, 8, 30));
    EXPECT_FALSE(r.IsDue());
}

TEST_F(DueTest, MissedThreeHoursAgoReportedOnceThenCountedFromNow)
{
    // Weekly on Tuesday and Wednesday; 2024-03-05 is a Tuesday.
    m_now = Local(2024, 3, 5, 8, 0);
    CReserve r = Make(ReserveWeekly, 0, (1U << 2) | (1U << 3), Local(2024, 1, 1, 8, 30));
    ASSERT_EQ(r.m_timeNext, Local(2024, 3, 5, 8, 30));

    m_now = Local(2024, 3, 5, 11, 30);
    EXPECT_TRUE(r.IsDue());
    EXPECT_EQ(r.m_timeNext, Local(2024, 3, 6, 8, 30));
    EXPECT_FALSE(r.IsDue());
}

TEST_F(AssignTest, ReleasedSourceResetsSetSourceCopies)
{
    m_now = Local(2024, 3, 5, 8, 0);
    CReserve target = Make(ReserveMonthly, 0x5, 0, Local(2024, 1, 1, 6, 0), OP_REBOOT, 1);

    CReserve released;
    released.Set(0, ReserveWeekly, 0xFF, 0x7F, Local(2024, 1, 1, 22, 0), OP_SHUTDOWN, 1);
    released.m_timeNext = Local(2024, 3, 5, 22, 0);
    target.Assign(released);
    EXPECT_EQ(target.m_bSet, 0);
    EXPECT_EQ(target.m_nMode, ReserveDaily);
    EXPECT_EQ(target.m_dwDays, 0U);
    EXPECT_EQ(target.m_dwWeekDays, 0U);
    EXPECT_EQ(target.m_time, kNoTime);
    EXPECT_EQ(target.m_wType, 0);
    EXPECT_EQ(target.m_wForce, 0);
    EXPECT_EQ(target.m_timeNext, kNoTime);

    // The next time is copied as it stands, not recomputed for the later clock.
    const CReserve source = Make(ReserveWeekly, 0x3, 0x41, Local(2024, 1, 1, 22, 0), OP_SHUTDOWN, 1);
    m_now = Local(2024, 4, 1, 0, 0);
    target.Assign(source);
    EXPECT_EQ(target.m_bSet, 1);
    EXPECT_EQ(target.m_nMode, ReserveWeekly);
    EXPECT_EQ(target.m_dwDays, 0x3U);
    EXPECT_EQ(target.m_dwWeekDays, 0x41U);
    EXPECT_EQ(target.m_time, source.m_time);
    EXPECT_EQ(target.m_wType, OP_SHUTDOWN);
    EXPECT_EQ(target.m_wForce, 1);
    EXPECT_EQ(target.m_timeNext, source.m_timeNext);
}

TEST_F(FormatTest, DateTimeAndTypeLetters)
{
    m_now = Local(2024, 3, 5, 12, 0);
    const VtTime at2200 = Local(2024, 1, 1, 22, 0);

    EXPECT_EQ(Make(ReserveDaily, 0, 0, at2200, OP_WAKEUP).FormatNext(), "2024/03/05  22:00");
    EXPECT_EQ(Make(ReserveDaily, 0, 0, at2200, OP_WAKEUP, 1).FormatNext(), "2024/03/05  22:00");
    EXPECT_EQ(Make(ReserveDaily, 0, 0, at2200, OP_SHUTDOWN, 1).FormatNext(), "2024/03/05  22:00 - FS");
    EXPECT_EQ(Make(ReserveDaily, 0, 0, at2200, OP_REBOOT).FormatNext(), "2024/03/05  22:00 - R");
    EXPECT_EQ(Make(ReserveDaily, 0, 0, at2200, 1).FormatNext(), "2024/03/05  22:00 - L");
    EXPECT_EQ(Make(ReserveDaily, 0, 0, at2200, 5, 2).FormatNext(), "2024/03/05  22:00 - ");

    m_now = Local(2024, 3, 5, 23, 0);
    EXPECT_EQ(Make(ReserveDaily, 0, 0, Local(2024, 1, 1, 7, 5)).FormatNext(), "2024/03/06  07:05 - S");
    EXPECT_EQ(Make(ReserveWeekly, 0, 0, at2200).FormatNext(), "");
}

TEST_F(FormatTest, CompareNextSortsMissingLast)
{
    CReserve early;
    CReserve late;
    CReserve none;
    early.m_timeNext = 1000;
    late.m_timeNext = 2000;
    EXPECT_EQ(early.CompareNext(late), -1);
    EXPECT_EQ(late.CompareNext(early), 1);
    EXPECT_EQ(early.CompareNext(early), 0);
    EXPECT_EQ(none.CompareNext(early), 1);
    EXPECT_EQ(early.CompareNext(none), -1);
    EXPECT_EQ(none.CompareNext(CReserve()), 0);
}

// The search steps 86,400 seconds on the time value: across a daylight-saving change the
// next candidate keeps its distance in UTC and its local hour moves.
TEST_F(DstTest, DailyStepAcrossSpringAndAutumnChange)
{
    const VtTime at2230 = Local(2024, 1, 1, 22, 30);

    m_now = Local(2024, 3, 30, 23, 0);
    const CReserve spring = Make(ReserveDaily, 0, 0, at2230);
    EXPECT_EQ(spring.m_timeNext, Local(2024, 3, 30, 22, 30) + kDay);

    m_now = Local(2024, 10, 26, 23, 0);
    const CReserve autumn = Make(ReserveDaily, 0, 0, at2230);
    EXPECT_EQ(autumn.m_timeNext, Local(2024, 10, 26, 22, 30) + kDay);

    if (InBerlin()) {
        EXPECT_EQ(spring.FormatNext(), "2024/03/31  23:30 - S");
        EXPECT_EQ(autumn.FormatNext(), "2024/10/27  21:30 - S");
    } else {
        EXPECT_EQ(spring.FormatNext(), "2024/03/31  22:30 - S");
        EXPECT_EQ(autumn.FormatNext(), "2024/10/27  22:30 - S");
    }

    // Asked on the day after the change, the first candidate is built from the calendar again.
    m_now = Local(2024, 3, 31, 23, 59);
    EXPECT_EQ(Make(ReserveDaily, 0, 0, at2230).m_timeNext, Local(2024, 4, 1, 22, 30));
}

TEST_F(DstTest, MonthlyDaySteppedOverByShortDay)
{
    // In Berlin 2024-03-31 is 23 hours long: 23:30 on the 30th plus 86,400 seconds is 00:30
    // on 1 April, so the 31st is not met in March and the search goes on to May.
    m_now = Local(2024, 3, 1, 0, 0);
    const CReserve r = Make(ReserveMonthly, 1U << 30, 0, Local(2024, 1, 1, 23, 30));
    if (InBerlin()) {
        EXPECT_EQ(r.FormatNext(), "2024/05/31  00:30 - S");
    } else {
        EXPECT_EQ(r.FormatNext(), "2024/03/31  23:30 - S");
    }
}

TEST_F(DueTest, TimesPast2038)
{
    m_now = Local(2040, 1, 1, 12, 0);
    ASSERT_GT(m_now, VtTime{INT32_MAX});
    const VtTime at0830 = Local(2024, 1, 1, 8, 30);

    CReserve daily = Make(ReserveDaily, 0, 0, at0830, OP_WAKEUP);
    EXPECT_EQ(daily.m_timeNext, Local(2040, 1, 2, 8, 30));
    EXPECT_EQ(daily.FormatNext(), "2040/01/02  08:30");

    // 2040 is a leap year.
    m_now = Local(2040, 2, 1, 12, 0);
    EXPECT_EQ(Make(ReserveMonthly, 1U << 28, 0, at0830).FormatNext(), "2040/02/29  08:30 - S");

    m_now = Local(2040, 1, 2, 8, 30);
    EXPECT_TRUE(daily.IsDue());
    EXPECT_EQ(daily.m_timeNext, Local(2040, 1, 3, 8, 30));
}

} // namespace
