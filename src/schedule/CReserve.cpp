#include "schedule/CReserve.h"

#include "model/CArchive.h"

#include <atomic>
#include <ctime>
#include <mutex>

namespace vtclock {
namespace {
std::mutex g_clockMutex;
std::function<VtTime()> g_clock;
std::atomic<bool> g_hasClock{false};
} // namespace

VtTime Now()
{
    if (g_hasClock.load(std::memory_order_acquire)) {
        std::lock_guard lock(g_clockMutex);
        if (g_clock)
            return g_clock();
    }
    return static_cast<VtTime>(std::time(nullptr));
}

void SetClockForTesting(std::function<VtTime()> fn)
{
    std::lock_guard lock(g_clockMutex);
    g_clock = std::move(fn);
    g_hasClock.store(static_cast<bool>(g_clock), std::memory_order_release);
}

VtTime GetCurrentMinute()
{
    // Not through local calendar fields: in the hour that repeats when daylight-saving
    // time ends they name two moments, and the round trip may pick the other one.
    const VtTime now = Now();
    const VtTime sec = now % 60;
    return now - (sec < 0 ? sec + 60 : sec);
}
} // namespace vtclock

namespace {
// Every day number from 1 to 31 occurs within any 62 consecutive days.
constexpr int kMonthlySteps = 62;

bool ToLocal(VtTime t, std::tm& out)
{
    const auto tt = static_cast<std::time_t>(t);
    return localtime_r(&tt, &out) != nullptr;
}

VtTime FromLocal(std::tm tm)
{
    tm.tm_isdst = -1;
    return static_cast<VtTime>(std::mktime(&tm));
}

// The first moment of the given local day at which the clock shows hour:minute. Where
// daylight-saving time ends that wall-clock time comes twice, and the day's occurrence is
// the first; where it begins the time does not exist and the system's reading is taken.
VtTime OccurrenceOn(const std::tm& day, int nHour, int nMinute)
{
    std::tm tm{};
    tm.tm_year = day.tm_year;
    tm.tm_mon = day.tm_mon;
    tm.tm_mday = day.tm_mday;
    tm.tm_hour = nHour;
    tm.tm_min = nMinute;
    VtTime first = kNoTime;
    for (const int isdst : {1, 0}) {
        std::tm probe = tm;
        probe.tm_isdst = isdst;
        const auto t = static_cast<VtTime>(std::mktime(&probe));
        std::tm back{};
        if (t == kNoTime || !ToLocal(t, back) || back.tm_hour != nHour || back.tm_min != nMinute ||
            back.tm_isdst != isdst)
            continue;
        if (first == kNoTime || t < first)
            first = t;
    }
    return first != kNoTime ? first : FromLocal(tm);
}

// Candidates step by calendar day, not by 86,400 seconds, so the hour stays where the
// operator put it across a change of daylight-saving time.
struct CandidateDays {
    std::tm day{}; ///< the local date of the candidate (its time fields unused)
    int nHour = 0;
    int nMinute = 0;

    VtTime Time() const { return OccurrenceOn(day, nHour, nMinute); }
    void Next()
    {
        ++day.tm_mday;
        day.tm_hour = 12; // noon exists on every day, whatever the clock change
        day.tm_min = 0;
        day.tm_sec = 0;
        ToLocal(FromLocal(day), day);
    }
};
} // namespace

void CReserve::Set(std::int32_t bSet, std::int32_t nMode, std::uint32_t dwDays, std::uint32_t dwWeekDays,
                   VtTime time, std::uint16_t wType, std::uint16_t wForce)
{
    m_bSet = bSet;
    m_time = kNoTime;
    std::tm tm{};
    if (time != kNoTime && ToLocal(time, tm)) {
        tm.tm_sec = 0;
        m_time = FromLocal(tm);
    }
    m_nMode = nMode;
    m_dwDays = dwDays;
    m_dwWeekDays = dwWeekDays;
    m_wType = wType;
    m_wForce = wForce;
    ComputeNext();
}

void CReserve::Assign(const CReserve& other)
{
    m_bSet = other.m_bSet;
    if (other.m_bSet == 0) {
        m_nMode = ReserveDaily;
        m_dwDays = 0;
        m_dwWeekDays = 0;
        m_wType = 0;
        m_wForce = 0;
        m_time = kNoTime;
        m_timeNext = kNoTime;
        return;
    }
    m_nMode = other.m_nMode;
    m_dwDays = other.m_dwDays;
    m_dwWeekDays = other.m_dwWeekDays;
    m_time = other.m_time;
    m_wType = other.m_wType;
    m_wForce = other.m_wForce;
    m_timeNext = other.m_timeNext;
}

void CReserve::ComputeNext()
{
    m_timeNext = kNoTime;
    if (m_bSet == 0 || m_time == kNoTime)
        return;

    const VtTime now = vtclock::GetCurrentMinute();
    std::tm tmTime{};
    CandidateDays days;
    if (!ToLocal(now, days.day) || !ToLocal(m_time, tmTime))
        return;
    days.nHour = tmTime.tm_hour;
    days.nMinute = tmTime.tm_min;
    VtTime candidate = days.Time();
    if (candidate == kNoTime)
        return;

    switch (m_nMode) {
    case ReserveDaily:
        if (candidate <= now) {
            days.Next();
            candidate = days.Time();
        }
        m_timeNext = candidate;
        break;
    case ReserveWeekly: {
        // The weekday is counted on from the first candidate, not read again per step.
        const int w = days.day.tm_wday;
        for (int k = 0; k < 8; ++k) {
            if ((m_dwWeekDays >> ((w + k) % 7) & 1U) != 0 && candidate > now) {
                m_timeNext = candidate;
                return;
            }
            days.Next();
            candidate = days.Time();
        }
        break;
    }
    case ReserveMonthly:
        if ((m_dwDays & 0x7FFFFFFFU) == 0)
            return;
        for (int step = 0; step < kMonthlySteps; ++step) {
            if ((m_dwDays >> (days.day.tm_mday - 1) & 1U) != 0 && candidate > now) {
                m_timeNext = candidate;
                return;
            }
            days.Next();
            candidate = days.Time();
        }
        break;
    default:
        break;
    }
}

bool CReserve::IsDue()
{
    if (m_timeNext == kNoTime)
        return false;
    if (m_timeNext > vtclock::GetCurrentMinute())
        return false;
    ComputeNext();
    return true;
}

int CReserve::CompareNext(const CReserve& other) const
{
    const bool hasThis = m_timeNext != kNoTime;
    const bool hasOther = other.m_timeNext != kNoTime;
    if (hasThis && hasOther) {
        if (m_timeNext < other.m_timeNext)
            return -1;
        return m_timeNext > other.m_timeNext ? 1 : 0;
    }
    if (hasThis)
        return -1;
    return hasOther ? 1 : 0;
}

std::string CReserve::FormatNext() const
{
    if (m_timeNext == kNoTime)
        return {};
    std::tm tm{};
    if (!ToLocal(m_timeNext, tm))
        return {};
    char buf[64];
    const std::size_t n = std::strftime(buf, sizeof buf, "%Y/%m/%d  %H:%M", &tm);
    std::string text(buf, n);
    if (m_wType == OP_WAKEUP)
        return text;
    text += " - ";
    if (m_wForce == 1)
        text += 'F';
    if (m_wType == 1)
        text += 'L';
    else if (m_wType == 2)
        text += 'R';
    else if (m_wType == 3 || m_wType == 4)
        text += 'S';
    return text;
}

void CReserve::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        ar.WriteI32(m_bSet);
        ar.WriteI32(m_nMode);
        ar.WriteU32(m_dwDays);
        ar.WriteU32(m_dwWeekDays);
        ar.WriteTime(m_time);
        ar.WriteU16(m_wType);
        ar.WriteU16(m_wForce);
        return;
    }
    const bool bOldLayout = ar.GetFileVersion() == 0;
    if (!bOldLayout)
        m_bSet = ar.ReadI32();
    m_nMode = ar.ReadI32();
    m_dwDays = ar.ReadU32();
    m_dwWeekDays = ar.ReadU32();
    m_time = ar.ReadTime();
    m_wType = ar.ReadU16();
    m_wForce = ar.ReadU16();
    if (bOldLayout && m_time != kNoTime)
        m_bSet = 1;
    ComputeNext();
}
