#pragma once

#include "schedule/CReserve.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

// Local time from calendar fields, daylight-saving time decided by the system.
inline VtTime Local(int y, int mo, int d, int h, int mi, int s = 0)
{
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    return static_cast<VtTime>(std::mktime(&tm));
}

inline bool InBerlin()
{
    const char* tz = std::getenv("TZ");
    return tz != nullptr && std::string(tz) == "Europe/Berlin";
}

// Pins the clock every reservation reads; restored to the system clock afterwards.
class ClockFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        tzset();
        vtclock::SetClockForTesting([this] { return m_now; });
    }
    void TearDown() override { vtclock::SetClockForTesting({}); }

    VtTime m_now = 0;
};
