#pragma once

#include "schedule/CReserve.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <initializer_list>
#include <string>
#include <vector>

namespace vttest {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}
inline Bytes U16(std::uint16_t v)
{
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
}
inline Bytes U32(std::uint32_t v)
{
    return Cat({U16(static_cast<std::uint16_t>(v)), U16(static_cast<std::uint16_t>(v >> 16))});
}
inline Bytes I32(std::int32_t v)
{
    return U32(static_cast<std::uint32_t>(v));
}
/// Short counted string (below 255 bytes).
inline Bytes Str(const std::string& s)
{
    return Cat({{static_cast<std::uint8_t>(s.size())}, Bytes(s.begin(), s.end())});
}
/// Tag FFFF and the class record of schema 1.
inline Bytes NewClass(const std::string& name)
{
    return Cat(
        {U16(0xFFFF), U16(1), U16(static_cast<std::uint16_t>(name.size())), Bytes(name.begin(), name.end())});
}

/// A released reservation as the file holds it, current and earlier layout.
inline const Bytes kDefaultReserve = {0, 0, 0, 0, 2,    0,    0,    0,    0, 0, 0, 0,
                                      0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
inline const Bytes kDefaultReserveV0(kDefaultReserve.begin() + 4, kDefaultReserve.end());

/// Local time from calendar fields, the system deciding about daylight-saving time.
inline std::int64_t LocalTime(int y, int mon, int d, int h, int min, int s = 0)
{
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mon - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = min;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm));
}

inline std::tm ToLocal(std::int64_t t)
{
    const auto tt = static_cast<std::time_t>(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    return tm;
}

/// Pins "now" at 5 March 2024, 21:00 local time.
class AtFixedTime : public testing::Test {
protected:
    void SetUp() override
    {
        m_now = LocalTime(2024, 3, 5, 21, 0);
        vtclock::SetClockForTesting([this] { return m_now; });
    }
    void TearDown() override { vtclock::SetClockForTesting({}); }
    std::int64_t m_now = 0;
};

} // namespace vttest
