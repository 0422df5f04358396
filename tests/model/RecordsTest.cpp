#include "ModelTestSupport.h"
#include "model/CGroup.h"
#include "model/CKw.h"

#include <gtest/gtest.h>

using vttest::Bytes;
using vttest::ByteWriter;

namespace {
template <typename T> Bytes Store(T& record)
{
    Bytes out;
    CArchive ar(out);
    record.Serialize(ar);
    return out;
}

template <typename T> void Load(T& record, const Bytes& bytes, std::int32_t nVersion = 1)
{
    CArchive ar(bytes.data(), bytes.size(), nullptr);
    ar.SetFileVersion(nVersion);
    record.Serialize(ar);
    EXPECT_EQ(ar.Remaining(), 0u);
}

class RecordsAtFixedTime : public testing::Test {
protected:
    void SetUp() override
    {
        const std::int64_t now = vttest::LocalTime(2024, 3, 5, 21, 0);
        vtclock::SetClockForTesting([now] { return now; });
    }
    void TearDown() override { vtclock::SetClockForTesting({}); }
};
} // namespace

TEST(ReserveLayout, DefaultRecordIsTheTwentyFourKnownBytes)
{
    CReserve r;
    EXPECT_EQ(Store(r), vttest::kDefaultReserve);
}

TEST(PcRecordText, NewRecord)
{
    CKw pc;
    EXPECT_EQ(pc.GetIpText(), "Unknown");
    EXPECT_EQ(pc.GetStatusText(), "Unknown");
    EXPECT_EQ(pc.GetMacText(), "Unknown");
    EXPECT_EQ(pc.GetBroadcastText(), "255.255.255.255");
    EXPECT_EQ(pc.GetImageIndex(), 1);
}

TEST(PcRecordText, AddressesMacAndStatus)
{
    CKw pc;
    pc.m_dwIp = 0;
    EXPECT_EQ(pc.GetIpText(), "Unknown");
    pc.m_dwIp = 0x7F000001;
    EXPECT_EQ(pc.GetIpText(), "127.0.0.1");
    pc.m_dwIp = 0xC0A80114;
    EXPECT_EQ(pc.GetIpText(), "192.168.1.20");
    pc.m_dwBroadcast = 0x0A0000FF;
    EXPECT_EQ(pc.GetBroadcastText(), "10.0.0.255");

    const std::uint8_t one[6] = {0, 0, 0, 0, 0, 1};
    pc.SetMac(one);
    EXPECT_EQ(pc.GetMacText(), "00-00-00-00-00-01");
    const std::uint8_t mixed[6] = {0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F};
    pc.SetMac(mixed);
    EXPECT_EQ(pc.GetMacText(), "0A-1B-2C-3D-4E-5F");
    std::uint8_t back[6] = {};
    pc.GetMac(back);
    EXPECT_TRUE(std::equal(back, back + 6, mixed));
    EXPECT_TRUE(IsUsableMac(one));
    const std::uint8_t zero[6] = {};
    EXPECT_FALSE(IsUsableMac(zero));

    pc.m_nStatus = 0;
    EXPECT_EQ(pc.GetStatusText(), "Now operating");
    pc.m_nStatus = 7;
    EXPECT_EQ(pc.GetStatusText(), "Now operating");
    pc.m_nStatus = 1;
    EXPECT_EQ(pc.GetStatusText(), "Unknown");
}

TEST(PcRecordText, ImageIndexFollowsStatusAndPendingReservations)
{
    CKw pc;
    pc.m_nStatus = 0;
    EXPECT_EQ(pc.GetImageIndex(), 0);
    pc.m_reserveOn.m_timeNext = 1000;
    EXPECT_EQ(pc.GetImageIndex(), 2);
    pc.m_nStatus = 1;
    EXPECT_EQ(pc.GetImageIndex(), 3);
    pc.m_reserveOn.m_timeNext = kNoTime;
    pc.m_reserveOff.m_timeNext = 1000;
    EXPECT_EQ(pc.GetImageIndex(), 3);
}

TEST(PcRecordFile, CurrentLayoutBytes)
{
    CKw pc;
    pc.m_nId = 7;
    pc.m_strName = "PC1";
    pc.m_dwIp = 0xC0A80114;
    pc.m_nStatus = 0;
    pc.m_mac = {0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F};
    pc.m_dwBroadcast = 0xC0A801FF;
    const Bytes expected = ByteWriter()
                               .i32(7)
                               .str("PC1")
                               .raw({0x14, 0x01, 0xA8, 0xC0})
                               .i32(0)
                               .raw({0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F})
                               .raw({0xFF, 0x01, 0xA8, 0xC0})
                               .raw(vttest::kDefaultReserve)
                               .raw(vttest::kDefaultReserve)
                               .bytes();
    EXPECT_EQ(Store(pc), expected);
}

TEST_F(RecordsAtFixedTime, PcRecordRoundTripKeepsEveryField)
{
    CKw pc;
    pc.m_nId = 42;
    pc.m_strName = "会議室-PC";
    pc.m_dwIp = 0x0A000105;
    pc.m_nStatus = 0;
    pc.m_mac = {1, 2, 3, 4, 5, 6};
    pc.m_dwBroadcast = 0x0A0001FF;
    pc.m_reserveOff.Set(1, ReserveWeekly, 0, 0x22, vttest::LocalTime(2024, 3, 1, 22, 30), OP_SHUTDOWN, 1);
    pc.m_reserveOn.Set(1, ReserveMonthly, 0x10001, 0, vttest::LocalTime(2024, 3, 1, 7, 15), OP_WAKEUP, 0);
    ASSERT_NE(pc.m_reserveOff.m_timeNext, kNoTime);
    ASSERT_NE(pc.m_reserveOn.m_timeNext, kNoTime);

    CKw back;
    Load(back, Store(pc));
    EXPECT_EQ(back.m_nId, 42);
    EXPECT_EQ(back.m_strName, pc.m_strName);
    EXPECT_EQ(back.m_dwIp, pc.m_dwIp);
    EXPECT_EQ(back.m_nStatus, 0);
    EXPECT_EQ(back.m_mac, pc.m_mac);
    EXPECT_EQ(back.m_dwBroadcast, pc.m_dwBroadcast);
    for (auto [a, b] :
         {std::pair{&pc.m_reserveOff, &back.m_reserveOff}, std::pair{&pc.m_reserveOn, &back.m_reserveOn}}) {
        EXPECT_EQ(b->m_bSet, a->m_bSet);
        EXPECT_EQ(b->m_nMode, a->m_nMode);
        EXPECT_EQ(b->m_dwDays, a->m_dwDays);
        EXPECT_EQ(b->m_dwWeekDays, a->m_dwWeekDays);
        EXPECT_EQ(b->m_time, a->m_time);
        EXPECT_EQ(b->m_wType, a->m_wType);
        EXPECT_EQ(b->m_wForce, a->m_wForce);
        EXPECT_EQ(b->m_timeNext, a->m_timeNext);
    }
}

TEST_F(RecordsAtFixedTime, PcRecordEarlierLayout)
{
    const std::int64_t at = vttest::LocalTime(2024, 3, 1, 23, 0);
    const Bytes v0 = ByteWriter()
                         .str("OLD")
                         .u32(0x0A000001)
                         .i32(0)
                         .i32(ReserveDaily)
                         .u32(0)
                         .u32(0)
                         .i32(static_cast<std::int32_t>(at))
                         .u16(OP_REBOOT)
                         .u16(0)
                         .bytes();
    CKw pc;
    Load(pc, v0, 0);
    EXPECT_EQ(pc.m_nId, 0); // no document: nothing is held yet
    EXPECT_EQ(pc.m_strName, "OLD");
    EXPECT_EQ(pc.m_dwIp, 0x0A000001u);
    EXPECT_EQ(pc.m_nStatus, 0);
    EXPECT_EQ(pc.m_mac, MacAddress{});
    EXPECT_EQ(pc.m_dwBroadcast, 0xFFFFFFFFu);
    EXPECT_EQ(pc.m_reserveOff.m_bSet, 1);
    EXPECT_EQ(pc.m_reserveOff.m_wType, OP_REBOOT);
    EXPECT_EQ(pc.m_reserveOff.m_timeNext, vttest::LocalTime(2024, 3, 5, 23, 0));
    EXPECT_EQ(pc.m_reserveOn.m_bSet, 0);
    EXPECT_EQ(pc.m_reserveOn.m_timeNext, kNoTime);
}

TEST(GroupMembers, LimitsDuplicatesAndRemoval)
{
    CGroup g;
    EXPECT_TRUE(g.AddMember(5));
    EXPECT_FALSE(g.AddMember(5));
    EXPECT_TRUE(g.AddMember(-3));
    EXPECT_TRUE(g.IsMember(-3));
    EXPECT_FALSE(g.IsMember(4));
    g.RemoveMember(4);
    EXPECT_EQ(g.m_members, (std::vector<std::int32_t>{5, -3}));
    g.RemoveMember(5);
    EXPECT_EQ(g.m_members, (std::vector<std::int32_t>{-3}));

    CGroup full;
    for (std::int32_t i = 0; i < 254; ++i)
        ASSERT_TRUE(full.AddMember(i));
    const auto before = full.m_members;
    EXPECT_FALSE(full.AddMember(1000));
    EXPECT_EQ(full.m_members, before);
    full.RemoveMember(0);
    EXPECT_TRUE(full.AddMember(1000));
    EXPECT_EQ(full.m_members.back(), 1000);
}

TEST(GroupFile, BodyOfEmptyGroupA)
{
    CGroup g;
    g.m_strName = "A";
    const Bytes expected = ByteWriter()
                               .raw({0x01, 0x41, 0, 0, 0, 0})
                               .raw(vttest::kDefaultReserve)
                               .raw(vttest::kDefaultReserve)
                               .bytes();
    EXPECT_EQ(Store(g), expected);
}

TEST_F(RecordsAtFixedTime, GroupRoundTripKeepsOrderAndReservations)
{
    CGroup g;
    g.m_strName = std::string(300, 'g');
    g.m_members = {9, 3, 250, 0};
    g.m_reserveOff.Set(1, ReserveDaily, 0, 0, vttest::LocalTime(2024, 1, 1, 18, 0), OP_REBOOT, 1);
    g.m_reserveOn.Set(1, ReserveWeekly, 0, 0x7F, vttest::LocalTime(2024, 1, 1, 6, 0), OP_WAKEUP, 0);

    CGroup back;
    Load(back, Store(g));
    EXPECT_EQ(back.m_strName, g.m_strName);
    EXPECT_EQ(back.m_members, g.m_members);
    EXPECT_EQ(back.m_reserveOff.m_wForce, 1);
    EXPECT_EQ(back.m_reserveOff.m_timeNext, g.m_reserveOff.m_timeNext);
    EXPECT_EQ(back.m_reserveOn.m_dwWeekDays, 0x7Fu);
    EXPECT_EQ(back.m_reserveOn.m_timeNext, g.m_reserveOn.m_timeNext);
}

TEST(GroupFile, MemberCountsThatCannotBeTrue)
{
    CGroup none;
    Load(none,
         ByteWriter().str("N").i32(-4).raw(vttest::kDefaultReserve).raw(vttest::kDefaultReserve).bytes());
    EXPECT_TRUE(none.m_members.empty());

    const Bytes huge = ByteWriter().str("H").i32(0x7FFFFFFF).i32(1).i32(2).bytes();
    CArchive ar(huge.data(), huge.size(), nullptr);
    CGroup g;
    EXPECT_THROW(g.Serialize(ar), CArchiveException);
}
