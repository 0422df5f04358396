#include "ModelTestSupport.h"

#include <tuple>
#include <vector>

using namespace vttest;

namespace {

using ReserveTest = ClockTest;

CReserve Make(std::int32_t nMode, std::uint32_t dwDays, std::uint32_t dwWeekDays, VtTime time,
              std::uint16_t wType = OP_WAKEUP, std::uint16_t wForce = 0)
{
    CReserve r;
    r.Set(1, nMode, dwDays, dwWeekDays, time, wType, wForce);
    return r;
}

// Guards against a missing zone database silently turning every run into UTC.
TEST(Zone, InForce)
{
    const VtTime winter = Local(2024, 1, 15, 12, 0);
    EXPECT_EQ(winter % 86400 / 3600, InBerlin() ? 11 : 3);
    EXPECT_EQ(Local(2024, 7, 15, 12, 0) - winter, 182 * 86400 - (InBerlin() ? 3600 : 0));
}

TEST_F(ReserveTest, NextDueTime)
{
    struct Case {
        VtTime now;
        std::int32_t nMode;
        std::uint32_t dwDays, dwWeekDays;
        int h, mi;
        const char* next;
        const char* berlin = nullptr; // where daylight-saving time makes a difference
    };
    const Case cases[] = {
        // Daily: today until the minute has begun, then tomorrow.
        {Local(2024, 3, 5, 8, 29, 59), ReserveDaily, 0, 0, 8, 30, "2024/03/05  08:30"},
        {Local(2024, 3, 5, 8, 30, 0), ReserveDaily, 0, 0, 8, 30, "2024/03/06  08:30"},
        {Local(2024, 3, 5, 8, 30, 59), ReserveDaily, 0, 0, 8, 30, "2024/03/06  08:30"},
        // Weekly (bit 0 = Sunday; 5 March 2024 is a Tuesday).
        {Local(2024, 3, 5, 9, 0), ReserveWeekly, 0, 0x80, 8, 30, ""},
        {Local(2024, 3, 5, 9, 0), ReserveWeekly, 0, 1U << 2, 8, 30, "2024/03/12  08:30"},
        {Local(2024, 3, 5, 8, 0), ReserveWeekly, 0, 1U << 2, 8, 30, "2024/03/05  08:30"},
        {Local(2024, 3, 5, 9, 0), ReserveWeekly, 0, (1U << 4) | 1U, 8, 30, "2024/03/07  08:30"},
        // Monthly (bit 0 = day 1): months without the day are skipped.
        {Local(2024, 4, 10, 12, 0), ReserveMonthly, 1U << 30, 0, 8, 30, "2024/05/31  08:30"},
        // No 29 February in 2023: the search steps on into March, over Berlin's change of 26 March.
        {Local(2023, 2, 1, 0, 0), ReserveMonthly, 1U << 28, 0, 8, 30, "2023/03/29  08:30"},
        {Local(2024, 4, 15, 8, 30), ReserveMonthly, 1U | (1U << 14), 0, 8, 30, "2024/05/01  08:30"},
        {Local(2024, 4, 15, 8, 29), ReserveMonthly, 1U | (1U << 14), 0, 8, 30, "2024/04/15  08:30"},
        {Local(2024, 4, 15, 8, 29), ReserveMonthly, 0x80000000U, 0, 8, 30, ""},
        {Local(2024, 4, 15, 8, 29), ReserveMonthly, 0x80000000U | (1U << 19), 0, 8, 30, "2024/04/20  08:30"},
        {Local(2024, 4, 15, 8, 29), ReserveNone, 0xFFFF, 0x7F, 8, 30, ""},
        // The search steps by calendar day: across a change of daylight-saving time the
        // local hour stays, and no day is stepped over.
        {Local(2024, 3, 30, 23, 0), ReserveDaily, 0, 0, 22, 30, "2024/03/31  22:30"},
        {Local(2024, 10, 26, 23, 0), ReserveDaily, 0, 0, 22, 30, "2024/10/27  22:30"},
        {Local(2024, 3, 31, 23, 59), ReserveDaily, 0, 0, 22, 30, "2024/04/01  22:30"},
        {Local(2024, 3, 1, 0, 0), ReserveMonthly, 1U << 30, 0, 23, 30, "2024/03/31  23:30"},
        {Local(2024, 3, 30, 12, 0), ReserveWeekly, 0, 1U << 1, 7, 45, "2024/04/01  07:45"},
        // 02:30 does not exist in Berlin on 31 March 2024: the system's reading.
        {Local(2024, 3, 30, 12, 0), ReserveMonthly, 1U << 30, 0, 2, 30, "2024/03/31  02:30",
         "2024/03/31  03:30"},
        // Past 2038, in a leap year.
        {Local(2040, 2, 1, 12, 0), ReserveMonthly, 1U << 28, 0, 8, 30, "2040/02/29  08:30"},
    };
    for (const Case& c : cases) {
        m_now = c.now;
        // The date of the entered time plays no part; its seconds are dropped.
        const CReserve r = Make(c.nMode, c.dwDays, c.dwWeekDays, Local(2023, 11, 20, c.h, c.mi, 45));
        EXPECT_EQ(r.m_time, Local(2023, 11, 20, c.h, c.mi));
        EXPECT_EQ(r.FormatNext(), InBerlin() && c.berlin ? c.berlin : c.next) << &c - cases;
        EXPECT_TRUE(r.m_timeNext == kNoTime ? !*c.next : r.m_timeNext % 60 == 0) << &c - cases;
    }
}

TEST_F(ReserveTest, DueOncePerOccurrenceEvenWhenMissed)
{
    const std::tuple<VtTime, std::int32_t, std::uint32_t, VtTime, const char*> cases[] = {
        {Local(2024, 3, 5, 8, 0), ReserveDaily, 0, Local(2024, 3, 5, 8, 30, 40), "2024/03/06  08:30"},
        {Local(2024, 3, 5, 8, 0), ReserveWeekly, 0xC, Local(2024, 3, 5, 11, 30), "2024/03/06  08:30"},
        {Local(2040, 1, 1, 12, 0), ReserveDaily, 0, Local(2040, 1, 2, 8, 30), "2040/01/03  08:30"},
    };
    for (const auto& [set, nMode, dwWeekDays, late, next] : cases) {
        m_now = set;
        CReserve r = Make(nMode, 0, dwWeekDays, Local(2024, 1, 1, 8, 30));
        m_now = r.m_timeNext - 1;
        EXPECT_FALSE(r.IsDue());
        m_now = late;
        EXPECT_TRUE(r.IsDue());
        EXPECT_EQ(r.FormatNext(), next);
        EXPECT_FALSE(r.IsDue());
    }
    CReserve released, noTime = Make(ReserveDaily, 0, 0, kNoTime);
    released.Set(0, ReserveDaily, 0, 0, Local(2024, 1, 1, 21, 30), OP_SHUTDOWN, 0);
    m_now = Local(2024, 3, 9, 21, 30);
    for (CReserve r : {CReserve(), released, noTime, Make(ReserveNone, 0, 0x7F, Local(2024, 1, 1, 21, 30))}) {
        EXPECT_FALSE(r.IsDue());
        EXPECT_EQ(r.FormatNext(), "");
    }
}

// The night daylight-saving time ends in Berlin (02:00-02:59 comes twice), asked every 20
// seconds as the check timer does: each reservation comes due once, in the first call of
// the first minute the clock shows its time (inside the repeated hour: the first pass).
TEST_F(ReserveTest, DueOnTimeAcrossTheRepeatedHour)
{
    std::vector<CReserve> reserves;
    for (const VtTime set : {Local(2024, 10, 26, 23, 0), Local(2024, 10, 27, 0, 0)}) {
        m_now = set;
        for (const int hm : {159, 230, 315, 330})
            reserves.push_back(Make(ReserveDaily, 0, 0, Local(2024, 10, 1, hm / 100, hm % 100)));
    }
    std::vector<int> fired(reserves.size());
    std::vector<VtTime> firedAt(reserves.size());
    for (VtTime t = Local(2024, 10, 27, 0, 0); t < Local(2024, 10, 27, 5, 0); t += 20) {
        m_now = t;
        for (std::size_t i = 0; i < reserves.size(); ++i) {
            const VtTime due = reserves[i].m_timeNext;
            if (reserves[i].IsDue()) {
                EXPECT_EQ(t, due) << reserves[i].FormatNext();
                ++fired[i];
                firedAt[i] = t;
            }
        }
    }
    EXPECT_EQ(fired, std::vector<int>(reserves.size(), 1));
    EXPECT_EQ(firedAt[1], Local(2024, 10, 27, 1, 30) + 3600); // 02:30 summer time
    EXPECT_EQ(firedAt[6], Local(2024, 10, 27, 4, 15) - 3600); // 03:15 winter time
    m_now = Local(2024, 10, 27, 5, 0);
    for (const CReserve& r : reserves)
        EXPECT_EQ(r.FormatNext().substr(0, 10), "2024/10/28");
}

TEST_F(ReserveTest, TypeLettersAndOrder)
{
    // Force in the high half, type in the low half.
    const std::uint32_t codes[] = {OP_WAKEUP, 0x100FF, OP_SHUTDOWN, 0x10004, OP_REBOOT, 1, 0x20005};
    const char* const letters[] = {"", "", " - S", " - FS", " - R", " - L", " - "};
    for (std::size_t i = 0; i < std::size(codes); ++i)
        EXPECT_EQ(Make(ReserveDaily, 0, 0, Local(2024, 1, 1, 22, 0), codes[i] & 0xFFFF, codes[i] >> 16)
                      .FormatNext(),
                  std::string("2024/03/05  22:00") + letters[i]);

    CReserve early, late, none;
    early.m_timeNext = 1000;
    late.m_timeNext = 2000;
    EXPECT_EQ(std::make_tuple(early.CompareNext(late), late.CompareNext(early), early.CompareNext(early)),
              std::make_tuple(-1, 1, 0));
    EXPECT_EQ(std::make_tuple(none.CompareNext(early), early.CompareNext(none), none.CompareNext(CReserve())),
              std::make_tuple(1, -1, 0));
}

TEST_F(ReserveTest, RecordBytesAndCopies)
{
    const VtTime at = Local(2024, 1, 1, 22, 15);
    CReserve r = Make(ReserveWeekly, 0x12345678, 0x41, at, OP_SHUTDOWN, 1);
    const Bytes bytes = Store(r);
    EXPECT_EQ(bytes, Cat({Le(1), Le(1), Le(0x12345678), Le(0x41), Le(at), {4, 0, 1, 0}}));

    // A week later, loading works the next time out from the new clock; a copy takes it as it stands.
    m_now += 7 * 86400;
    CReserve back, copy = Make(ReserveMonthly, 0x5, 0, Local(2024, 1, 1, 6, 0), OP_REBOOT, 0);
    CArchive ar(bytes.data(), bytes.size(), nullptr);
    back.Serialize(ar);
    copy.Assign(r);
    EXPECT_EQ(std::make_tuple(Store(back), Store(copy), ar.Remaining()), std::make_tuple(bytes, bytes, 0u));
    EXPECT_EQ(back.FormatNext(), "2024/03/16  22:15 - FS");
    EXPECT_EQ(copy.FormatNext(), "2024/03/09  22:15 - FS");

    // A released source resets every value.
    CReserve released;
    released.Set(0, ReserveWeekly, 0xFF, 0x7F, at, OP_SHUTDOWN, 1);
    released.m_timeNext = m_now;
    copy.Assign(released);
    EXPECT_EQ(Store(copy), kDefaultReserve);
    EXPECT_EQ(copy.m_timeNext, kNoTime);
}

} // namespace
