#include "ReserveTestUtil.h"

#include "model/CArchive.h"

#include <cstdint>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using SerializeTest = ClockFixture;

void Put(Bytes& b, std::uint32_t v, int nBytes)
{
    for (int i = 0; i < nBytes; ++i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// Items 2..7 of the record: the layout of version-0 files.
Bytes Body(std::int32_t nMode, std::uint32_t dwDays, std::uint32_t dwWeekDays, std::int32_t time,
           std::uint16_t wType, std::uint16_t wForce)
{
    Bytes b;
    Put(b, static_cast<std::uint32_t>(nMode), 4);
    Put(b, dwDays, 4);
    Put(b, dwWeekDays, 4);
    Put(b, static_cast<std::uint32_t>(time), 4);
    Put(b, wType, 2);
    Put(b, wForce, 2);
    return b;
}

CReserve Load(const Bytes& bytes, std::int32_t nVersion, std::size_t* pLeft = nullptr)
{
    CArchive ar(bytes.data(), bytes.size(), nullptr);
    ar.SetFileVersion(nVersion);
    CReserve r;
    r.Serialize(ar);
    if (pLeft != nullptr)
        *pLeft = ar.Remaining();
    return r;
}

TEST_F(SerializeTest, DefaultRecordIs24Bytes)
{
    Bytes out;
    CArchive ar(out);
    CReserve r;
    r.Serialize(ar);
    const Bytes expected = {0, 0, 0, 0, 2,    0,    0,    0,    0, 0, 0, 0,
                            0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    EXPECT_EQ(out, expected);
}

TEST_F(SerializeTest, RoundTripRecomputesNext)
{
    m_now = Local(2024, 3, 5, 12, 0);
    CReserve r;
    r.Set(1, ReserveWeekly, 0x12345678, 0x41, Local(2024, 1, 1, 22, 15), OP_SHUTDOWN, 1);
    Bytes out;
    CArchive ar(out);
    r.Serialize(ar);
    ASSERT_EQ(out.size(), 24U);

    // Loaded a week later: the next time is worked out from the new clock.
    m_now = Local(2024, 3, 12, 12, 0);
    std::size_t left = 99;
    const CReserve back = Load(out, 1, &left);
    EXPECT_EQ(left, 0U);
    EXPECT_EQ(back.m_bSet, 1);
    EXPECT_EQ(back.m_nMode, ReserveWeekly);
    EXPECT_EQ(back.m_dwDays, 0x12345678U);
    EXPECT_EQ(back.m_dwWeekDays, 0x41U);
    EXPECT_EQ(back.m_time, r.m_time);
    EXPECT_EQ(back.m_wType, OP_SHUTDOWN);
    EXPECT_EQ(back.m_wForce, 1);
    EXPECT_EQ(back.FormatNext(), "2024/03/16  22:15 - FS");

    // Any nonzero version reads the same seven items.
    EXPECT_EQ(Load(out, 7).m_timeNext, back.m_timeNext);
}

TEST_F(SerializeTest, VersionZeroTakesSetFlagFromTime)
{
    m_now = Local(2024, 3, 5, 12, 0);

    std::size_t left = 99;
    const CReserve released = Load(Body(ReserveDaily, 0, 0, -1, OP_REBOOT, 0), 0, &left);
    EXPECT_EQ(left, 0U);
    EXPECT_EQ(released.m_bSet, 0);
    EXPECT_EQ(released.m_wType, OP_REBOOT);
    EXPECT_EQ(released.m_timeNext, kNoTime);

    const auto at = static_cast<std::int32_t>(Local(2024, 1, 1, 18, 45));
    const CReserve set = Load(Body(ReserveDaily, 0, 0, at, OP_WAKEUP, 0), 0, &left);
    EXPECT_EQ(left, 0U);
    EXPECT_EQ(set.m_bSet, 1);
    EXPECT_EQ(set.m_time, at);
    EXPECT_EQ(set.FormatNext(), "2024/03/05  18:45");

    // The same 20 bytes in a version-1 file are one item short.
    EXPECT_THROW(Load(Body(ReserveDaily, 0, 0, at, OP_WAKEUP, 0), 1), CArchiveException);
}

} // namespace
