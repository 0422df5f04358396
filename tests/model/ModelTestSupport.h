#pragma once

#include "model/CArchive.h"

#include <cstdint>
#include <ctime>
#include <initializer_list>
#include <string>
#include <vector>

namespace vttest {

using Bytes = std::vector<std::uint8_t>;

/// A released reservation as the file holds it.
inline const Bytes kDefaultReserve = {0, 0, 0, 0, 2,    0,    0,    0,    0, 0, 0, 0,
                                      0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
/// The same in the earlier layout (no set flag).
inline const Bytes kDefaultReserveV0 = {2, 0, 0,    0,    0,    0,    0, 0, 0, 0,
                                        0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};

/// Builds expected file images field by field.
class ByteWriter {
public:
    ByteWriter& raw(std::initializer_list<std::uint8_t> b)
    {
        m_b.insert(m_b.end(), b);
        return *this;
    }
    ByteWriter& raw(const Bytes& b)
    {
        m_b.insert(m_b.end(), b.begin(), b.end());
        return *this;
    }
    ByteWriter& u16(std::uint16_t v)
    {
        return raw({static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)});
    }
    ByteWriter& u32(std::uint32_t v)
    {
        return raw({static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                    static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)});
    }
    ByteWriter& i32(std::int32_t v) { return u32(static_cast<std::uint32_t>(v)); }
    /// Short counted string (below 255 bytes).
    ByteWriter& str(const std::string& s)
    {
        m_b.push_back(static_cast<std::uint8_t>(s.size()));
        m_b.insert(m_b.end(), s.begin(), s.end());
        return *this;
    }
    ByteWriter& newClass(const std::string& name)
    {
        return u16(0xFFFF)
            .u16(1)
            .u16(static_cast<std::uint16_t>(name.size()))
            .raw(Bytes(name.begin(), name.end()));
    }
    const Bytes& bytes() const { return m_b; }

private:
    Bytes m_b;
};

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

} // namespace vttest
