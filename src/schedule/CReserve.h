#pragma once

#include <cstdint>
#include <functional>
#include <string>

class CArchive;

/// Time values inside the program: seconds since 1970-01-01 00:00:00 UTC, 64-bit so
/// due times stay right past 2038. -1 means "no time". Only the data file narrows
/// them to 32 bits.
using VtTime = std::int64_t;
inline constexpr VtTime kNoTime = -1;

/// The clock every due-time computation reads. Tests pin "now" with SetClockForTesting.
namespace vtclock {
/// Current time (seconds since the epoch, UTC).
VtTime Now();
/// Replace the clock; an empty function restores the system clock.
void SetClockForTesting(std::function<VtTime()> fn);
/// Current local time truncated to the minute (second 0), as a time value.
VtTime GetCurrentMinute();
} // namespace vtclock

enum ReserveMode : std::int32_t {
    ReserveNone = -1,
    ReserveMonthly = 0,
    ReserveWeekly = 1,
    ReserveDaily = 2,
};

inline constexpr std::uint16_t OP_REBOOT = 2;
inline constexpr std::uint16_t OP_SHUTDOWN = 4;
inline constexpr std::uint16_t OP_WAKEUP = 255;

/// @brief One scheduled operation (reboot/shutdown, or wake-up) at a time of day that
/// repeats daily, on chosen weekdays or on chosen days of the month.
///
/// Every PC and every group holds two: the shutdown reservation and the wake-up
/// reservation. The record works out its next due moment, answers whether it has come
/// due (and then moves on), and renders that moment for the PC list.
class CReserve final {
public:
    CReserve() = default;

    /// Stores every value (also when bSet is 0), takes the local hour and minute of
    /// `time` with second 0, then recomputes the next due time.
    void Set(std::int32_t bSet, std::int32_t nMode, std::uint32_t dwDays, std::uint32_t dwWeekDays,
             VtTime time, std::uint16_t wType, std::uint16_t wForce);
    /// Copies another record; a released source resets this one to the defaults.
    void Assign(const CReserve& other);
    void ComputeNext();
    /// True when due; the record then advances to its next occurrence.
    bool IsDue();
    /// -1, 0 or 1; records without a next time sort after all others.
    int CompareNext(const CReserve& other) const;
    /// "YYYY/MM/DD  HH:MM" plus " - " and the type letters; empty without a next time.
    std::string FormatNext() const;
    /// Writes the 24-byte layout or reads the layout of the archive's file version.
    /// Throws CArchiveException on a short stream (propagated to the document's load).
    void Serialize(CArchive& ar);

    std::int32_t m_bSet = 0;
    std::int32_t m_nMode = ReserveDaily;
    std::uint32_t m_dwDays = 0;
    std::uint32_t m_dwWeekDays = 0;
    VtTime m_time = kNoTime;
    std::uint16_t m_wType = 0;
    std::uint16_t m_wForce = 0;
    VtTime m_timeNext = kNoTime;
};
