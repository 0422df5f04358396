#include "ModelTestSupport.h"
#include "model/CGroup.h"
#include "model/CKw.h"

using namespace vttest;

namespace {
template <typename T> Bytes Store(T& record)
{
    Bytes out;
    CArchive ar(out);
    record.Serialize(ar);
    return out;
}
} // namespace

TEST(PcRecord, TextsAndImageIndex)
{
    CKw pc;
    EXPECT_EQ(pc.GetIpText(), "Unknown");
    EXPECT_EQ(pc.GetStatusText(), "Unknown");
    EXPECT_EQ(pc.GetMacText(), "Unknown");
    EXPECT_EQ(pc.GetBroadcastText(), "255.255.255.255");
    EXPECT_EQ(pc.GetImageIndex(), 1);

    pc.m_dwIp = 0;
    EXPECT_EQ(pc.GetIpText(), "Unknown");
    pc.m_dwIp = 0x7F000001;
    EXPECT_EQ(pc.GetIpText(), "127.0.0.1");
    pc.m_dwIp = 0xC0A80114;
    EXPECT_EQ(pc.GetIpText(), "192.168.1.20");
    pc.m_mac = {0, 0, 0, 0, 0, 1};
    EXPECT_EQ(pc.GetMacText(), "00-00-00-00-00-01");
    pc.m_mac = {0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F};
    EXPECT_EQ(pc.GetMacText(), "0A-1B-2C-3D-4E-5F");

    pc.m_nStatus = 7;
    EXPECT_EQ(pc.GetStatusText(), "Now operating");
    pc.m_nStatus = 0;
    EXPECT_EQ(pc.GetStatusText(), "Now operating");
    EXPECT_EQ(pc.GetImageIndex(), 0);
    pc.m_reserveOn.m_timeNext = 1000;
    EXPECT_EQ(pc.GetImageIndex(), 2);
    pc.m_nStatus = 1;
    EXPECT_EQ(pc.GetImageIndex(), 3);
}

TEST(GroupRecord, MembersLimitsAndDuplicates)
{
    CGroup g;
    EXPECT_TRUE(g.AddMember(5));
    EXPECT_FALSE(g.AddMember(5));
    EXPECT_TRUE(g.AddMember(-3));
    g.RemoveMember(4);
    EXPECT_EQ(g.m_members, (std::vector<std::int32_t>{5, -3}));
    g.RemoveMember(5);
    EXPECT_FALSE(g.IsMember(5));
    EXPECT_TRUE(g.IsMember(-3));

    for (std::int32_t i = 0; g.m_members.size() < 254; ++i)
        ASSERT_TRUE(g.AddMember(i));
    EXPECT_FALSE(g.AddMember(1000));
    EXPECT_EQ(g.m_members.size(), 254u);
    g.RemoveMember(0);
    EXPECT_TRUE(g.AddMember(1000));
}

TEST(GroupRecord, GoldenBodyAndCounts)
{
    CReserve r;
    EXPECT_EQ(Store(r), kDefaultReserve);
    CGroup g;
    g.m_strName = "A";
    EXPECT_EQ(Store(g), Cat({{0x01, 0x41, 0, 0, 0, 0}, kDefaultReserve, kDefaultReserve}));

    const Bytes negative = Cat({Str("N"), I32(-4), kDefaultReserve, kDefaultReserve});
    CArchive ar(negative.data(), negative.size(), nullptr);
    g.Serialize(ar);
    EXPECT_TRUE(g.m_members.empty());
    EXPECT_EQ(ar.Remaining(), 0u);

    const Bytes huge = Cat({Str("H"), I32(0x7FFFFFFF), I32(1), I32(2)});
    CArchive arHuge(huge.data(), huge.size(), nullptr);
    EXPECT_THROW(g.Serialize(arHuge), CArchiveException);
}
