#include "model/CArchive.h"

#include "model/CDoc.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {
constexpr std::uint16_t kNewClassTag = 0xFFFF;
constexpr std::uint16_t kBigObjectTag = 0x7FFF;
constexpr std::uint16_t kClassTag = 0x8000;
constexpr std::uint32_t kBigClassTag = 0x80000000u;
constexpr std::size_t kMaxClassName = 64;

// 28 Gregorian years (7 leap days) are 10227 days, a whole number of weeks: between
// 1901 and 2099 the calendar repeats after that many days.
constexpr std::int64_t kCalendarCycle = std::int64_t{10227} * 86400;
} // namespace

CArchive::CArchive(std::vector<std::uint8_t>& out) : m_pOut(&out)
{
}

CArchive::CArchive(const std::uint8_t* data, std::size_t size, CDoc* doc)
    : m_pData(data), m_nSize(data ? size : 0), m_pDoc(doc)
{
}

std::int32_t CArchive::GetFileVersion() const
{
    return m_pDoc ? m_pDoc->m_nFileVersion : m_nVersion;
}

void CArchive::Need(std::size_t n) const
{
    if (IsStoring() || n > m_nSize - m_nPos)
        throw CArchiveException("unexpected end of the archive");
}

void CArchive::WriteU8(std::uint8_t v)
{
    m_pOut->push_back(v);
}

void CArchive::WriteU16(std::uint16_t v)
{
    const std::uint8_t b[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
    m_pOut->insert(m_pOut->end(), b, b + 2);
}

void CArchive::WriteU32(std::uint32_t v)
{
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                               static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
    m_pOut->insert(m_pOut->end(), b, b + 4);
}

// The file holds 32-bit seconds. A reservation only uses the time of day of its
// m_time, so a value past January 2038 (or before 1901) is moved by whole 28-year
// cycles into range: the local hour and minute, and even the weekday, stay the same.
void CArchive::WriteTime(std::int64_t t)
{
    constexpr std::int64_t lo = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t hi = std::numeric_limits<std::int32_t>::max();
    if (t > hi)
        t -= ((t - hi) + kCalendarCycle - 1) / kCalendarCycle * kCalendarCycle;
    else if (t < lo)
        t += ((lo - t) + kCalendarCycle - 1) / kCalendarCycle * kCalendarCycle;
    WriteI32(static_cast<std::int32_t>(t));
}

void CArchive::WriteString(const std::string& s)
{
    const std::size_t n = s.size();
    if (n < 0xFF) {
        WriteU8(static_cast<std::uint8_t>(n));
    } else if (n < 0xFFFE) {
        WriteU8(0xFF);
        WriteU16(static_cast<std::uint16_t>(n));
    } else {
        if (n > std::numeric_limits<std::uint32_t>::max())
            throw CArchiveException("string too long for the archive");
        WriteU8(0xFF);
        WriteU16(0xFFFF);
        WriteU32(static_cast<std::uint32_t>(n));
    }
    m_pOut->insert(m_pOut->end(), s.begin(), s.end());
}

std::uint8_t CArchive::ReadU8()
{
    Need(1);
    return m_pData[m_nPos++];
}

std::uint16_t CArchive::ReadU16()
{
    Need(2);
    const auto v = static_cast<std::uint16_t>(m_pData[m_nPos] | (m_pData[m_nPos + 1] << 8));
    m_nPos += 2;
    return v;
}

std::uint32_t CArchive::ReadU32()
{
    Need(4);
    const std::uint8_t* p = m_pData + m_nPos;
    const std::uint32_t v = std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
                            (std::uint32_t{p[3]} << 24);
    m_nPos += 4;
    return v;
}

std::int64_t CArchive::ReadTime()
{
    return ReadI32();
}

std::string CArchive::ReadString()
{
    std::uint32_t n = ReadU8();
    if (n == 0xFF) {
        n = ReadU16();
        // FFFE would announce a wide-character string, which this program never writes.
        if (n == 0xFFFE)
            throw CArchiveException("unsupported string form");
        if (n == 0xFFFF)
            n = ReadU32();
    }
    Need(n);
    std::string s(reinterpret_cast<const char*>(m_pData + m_nPos), n);
    m_nPos += n;
    return s;
}

void CArchive::WriteObjectTag(const ClassInfo& cls)
{
    const auto it = std::find_if(m_classes.begin(), m_classes.end(),
                                 [&](const auto& e) { return e.first == cls.pszName; });
    if (it == m_classes.end()) {
        const std::size_t nLen = std::strlen(cls.pszName);
        WriteU16(kNewClassTag);
        WriteU16(cls.wSchema);
        WriteU16(static_cast<std::uint16_t>(nLen));
        m_pOut->insert(m_pOut->end(), cls.pszName, cls.pszName + nLen);
        m_classes.emplace_back(cls.pszName, m_nNextIndex++);
    } else if (it->second < kBigObjectTag) {
        WriteU16(static_cast<std::uint16_t>(kClassTag | it->second));
    } else {
        WriteU16(kBigObjectTag);
        WriteU32(kBigClassTag | it->second);
    }
    ++m_nNextIndex;
}

void CArchive::ReadObjectTag(const ClassInfo& cls)
{
    const std::uint16_t wTag = ReadU16();
    if (wTag == kNewClassTag) {
        const std::uint16_t wSchema = ReadU16();
        const std::uint16_t wLen = ReadU16();
        if (wLen >= kMaxClassName)
            throw CArchiveException("class name too long");
        Need(wLen);
        std::string strName(reinterpret_cast<const char*>(m_pData + m_nPos), wLen);
        m_nPos += wLen;
        if (strName != cls.pszName)
            throw CArchiveException("unexpected class");
        if (wSchema != cls.wSchema)
            throw CArchiveException("unsupported schema");
        m_classes.emplace_back(std::move(strName), m_nNextIndex++);
    } else {
        std::uint32_t nIndex = 0;
        if (wTag == kBigObjectTag) {
            const std::uint32_t dw = ReadU32();
            if (!(dw & kBigClassTag))
                throw CArchiveException("object reference");
            nIndex = dw & ~kBigClassTag;
        } else if (wTag & kClassTag) {
            nIndex = wTag & ~kClassTag;
        } else {
            // A null object or a second reference to one already read: refused, so no
            // record can end up twice in the roster and no empty slot appears.
            throw CArchiveException("object reference");
        }
        const auto it = std::find_if(m_classes.begin(), m_classes.end(),
                                     [&](const auto& e) { return e.second == nIndex; });
        if (it == m_classes.end())
            throw CArchiveException("class index names no class");
        if (it->first != cls.pszName)
            throw CArchiveException("unexpected class");
    }
    ++m_nNextIndex;
}
