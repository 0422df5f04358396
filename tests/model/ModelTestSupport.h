#pragma once

#include "model/CArchive.h"
#include "model/CDoc.h"
#include "schedule/CReserve.h"

#include <QtCore/QDateTime>

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <iterator>
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
/// The low `n` bytes of `v`, little-endian (negative values as two's complement).
inline Bytes Le(std::int64_t v, int n = 4)
{
    Bytes out;
    for (int i = 0; i < n; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return out;
}
/// Short counted string (below 255 bytes).
inline Bytes Str(const std::string& s)
{
    return Cat({{static_cast<std::uint8_t>(s.size())}, Bytes(s.begin(), s.end())});
}
/// Tag FFFF and the class record of schema 1.
inline Bytes NewClass(const std::string& name)
{
    return Cat({{0xFF, 0xFF, 0x01, 0x00, static_cast<std::uint8_t>(name.size()), 0x00},
                Bytes(name.begin(), name.end())});
}
template <typename T> Bytes Store(T& record)
{
    Bytes out;
    CArchive ar(out);
    record.Serialize(ar);
    return out;
}

inline void WriteFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// A released reservation as the file holds it.
inline const Bytes kDefaultReserve = {0, 0, 0, 0, 2,    0,    0,    0,    0, 0, 0, 0,
                                      0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
inline const Bytes kHeader = {0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x00, 0x00, 0x00};

/// Local time from calendar fields, the system deciding about daylight-saving time.
inline VtTime Local(int y, int mo, int d, int h, int mi, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s)).toSecsSinceEpoch();
}

inline bool InBerlin()
{
    return qgetenv("TZ") == "Europe/Berlin";
}

/// Pins the clock every reservation reads, at 5 March 2024 (a Tuesday), 21:00 local time.
class ClockTest : public testing::Test {
protected:
    void SetUp() override
    {
        vtclock::SetClockForTesting([this] { return m_now; });
    }
    void TearDown() override { vtclock::SetClockForTesting({}); }
    VtTime m_now = Local(2024, 3, 5, 21, 0);
};

} // namespace vttest
