#include "ModelTestSupport.h"
#include "model/CDoc.h"
#include "net/CKwvtClient.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <thread>

namespace {
const std::uint8_t kNoMac[6] = {};

struct RecordingView final : CDocView {
    struct Call {
        CDocView* pSender;
        int nHint;
        CGroup* pGroup;
    };
    void OnUpdate(CDocView* pSender, int nHint, CGroup* pGroup) override
    {
        calls.push_back({pSender, nHint, pGroup});
    }
    std::vector<Call> calls;
};

std::vector<std::int32_t> Ids(const CDoc& doc)
{
    std::vector<std::int32_t> ids;
    for (const auto& p : doc.m_pcs)
        ids.push_back(p->m_nId);
    return ids;
}

std::array<std::uint8_t, 4> Octets(std::uint32_t dwNetworkOrder)
{
    std::array<std::uint8_t, 4> b{};
    std::memcpy(b.data(), &dwNetworkOrder, 4);
    return b;
}
} // namespace

TEST(DocPcs, IdsAreTheSmallestFree)
{
    CDoc doc;
    for (int i = 0; i < 4; ++i)
        doc.AddPc("pc", 0x0A000001 + static_cast<std::uint32_t>(i), kNoMac, 0xFFFFFFFF);
    doc.DeletePc(doc.FindPcById(2));
    EXPECT_EQ(Ids(doc), (std::vector<std::int32_t>{0, 1, 3}));
    EXPECT_EQ(doc.AddPc("x", 1, kNoMac, 2)->m_nId, 2);
    doc.DeletePc(doc.FindPcById(0));
    CKw* p = doc.AddPc("y", 0x0A000009, kNoMac, 0x0A0000FF);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->m_nId, 0);
    EXPECT_EQ(Ids(doc), (std::vector<std::int32_t>{1, 3, 2, 0})); // new PCs go to the end
    EXPECT_EQ(p->m_nStatus, 1);
    EXPECT_EQ(p->m_dwBroadcast, 0x0A0000FFu);
    EXPECT_EQ(p->m_reserveOff.m_bSet, 0);
}

TEST(DocPcs, LimitsLeaveRosterAndFlagAlone)
{
    CDoc doc;
    for (int i = 0; i < 254; ++i)
        ASSERT_NE(doc.AddPc("pc", 0, kNoMac, 0), nullptr);
    EXPECT_EQ(doc.m_pcs.back()->m_nId, 253);
    doc.SetModifiedFlag(false);
    EXPECT_EQ(doc.AddPc("one too many", 0, kNoMac, 0), nullptr);
    EXPECT_EQ(doc.m_pcs.size(), 254u);
    EXPECT_FALSE(doc.IsModified());

    for (int i = 0; i < 100; ++i)
        ASSERT_NE(doc.AddGroup("g"), nullptr);
    doc.SetModifiedFlag(false);
    EXPECT_EQ(doc.AddGroup("one too many"), nullptr);
    EXPECT_EQ(doc.m_groups.size(), 100u);
    EXPECT_FALSE(doc.IsModified());

    CGroup* g = doc.m_groups.front().get();
    for (std::int32_t id = 0; id < 254; ++id)
        ASSERT_TRUE(doc.AddToGroup(g, id));
    doc.SetModifiedFlag(false);
    EXPECT_FALSE(doc.AddToGroup(g, 999));
    EXPECT_EQ(g->m_members.size(), 254u);
    CGroup* last = doc.m_groups.back().get();
    ASSERT_TRUE(doc.AddToGroup(last, -1));
    doc.SetModifiedFlag(false);
    EXPECT_FALSE(doc.AddToGroup(last, -1));
    EXPECT_FALSE(doc.IsModified());
}

TEST(DocPcs, IdsTakenFromAFileAreRespected)
{
    CDoc doc;
    // A loaded file may hold any ids; the next free one is still the smallest.
    for (std::int32_t id = 0; id <= 254; ++id) {
        if (id == 100)
            continue;
        doc.m_pcs.push_back(std::make_unique<CKw>());
        doc.m_pcs.back()->m_nId = id;
    }
    doc.m_pcs.pop_back(); // 253 PCs: 0..253 without 100
    EXPECT_EQ(doc.AddPc("p", 0, kNoMac, 0)->m_nId, 100);
    EXPECT_EQ(doc.AddPc("q", 0, kNoMac, 0), nullptr); // 254 registered
}

TEST(DocPcs, ModifiedFlagRules)
{
    CDoc doc;
    int nNotified = 0;
    doc.m_fnModified = [&] { ++nNotified; };
    CKw* p = doc.AddPc("alpha", 0x0A000001, kNoMac, 0xFFFFFFFF);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(nNotified, 1);
    doc.AddGroup("g");
    EXPECT_EQ(nNotified, 1); // only the change from clear to set is announced

    doc.SetModifiedFlag(false);
    doc.RenamePc(p, "alpha");
    doc.SetPcStatus(p, 1);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.GetPcName(p), "alpha");

    doc.SetPcStatus(p, 0);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(nNotified, 2);
    doc.SetModifiedFlag(false);
    doc.RenamePc(p, "beta");
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(p->m_strName, "beta");

    const std::uint8_t mac[6] = {1, 2, 3, 4, 5, 6};
    doc.SetModifiedFlag(false);
    doc.SetPcMac(p, mac);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.FindPcByMac(mac), p);

    CReserve off;
    off.m_bSet = 1;
    off.m_nMode = ReserveWeekly;
    off.m_wType = OP_REBOOT;
    CReserve on;
    on.m_nMode = ReserveMonthly; // released: the target goes back to the defaults
    p->m_reserveOn.m_dwDays = 5;
    doc.SetModifiedFlag(false);
    doc.SetPcReserves(p, off, on);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(p->m_reserveOff.m_nMode, ReserveWeekly);
    EXPECT_EQ(p->m_reserveOff.m_wType, OP_REBOOT);
    EXPECT_EQ(p->m_reserveOn.m_nMode, ReserveDaily);
    EXPECT_EQ(p->m_reserveOn.m_dwDays, 0u);

    CGroup* g = doc.m_groups.front().get();
    doc.SetModifiedFlag(false);
    doc.SetGroupReserves(g, off, on);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(g->m_reserveOff.m_nMode, ReserveWeekly);
    doc.SetModifiedFlag(false);
    doc.RemoveFromGroup(g, 77);
    EXPECT_TRUE(doc.IsModified());
}

TEST(DocPcs, LookupsAndGroupMembership)
{
    CDoc doc;
    const std::uint8_t mac[6] = {0, 0, 0, 0, 0, 9};
    CKw* a = doc.AddPc("a", 0x0A000001, mac, 0xFFFFFFFF);
    CKw* b = doc.AddPc("b", 0x0A000001, mac, 0xFFFFFFFF);
    CKw* c = doc.AddPc("c", 0x0A000002, kNoMac, 0xFFFFFFFF);
    EXPECT_EQ(doc.FindPcByIp(0x0A000001), a);
    EXPECT_EQ(doc.FindPcByIp(0x0A000002), c);
    EXPECT_EQ(doc.FindPcByIp(0x0A000003), nullptr);
    EXPECT_EQ(doc.FindPcByMac(mac), a);
    EXPECT_EQ(doc.FindPcById(1), b);
    EXPECT_EQ(doc.FindPcById(7), nullptr);

    CGroup* g1 = doc.AddGroup("one");
    CGroup* g2 = doc.AddGroup("two");
    doc.AddToGroup(g1, b->m_nId);
    doc.AddToGroup(g1, c->m_nId);
    doc.AddToGroup(g2, b->m_nId);
    EXPECT_TRUE(doc.IsInAnyGroup(b));
    EXPECT_FALSE(doc.IsInAnyGroup(a));

    doc.DeletePc(b);
    EXPECT_EQ(g1->m_members, (std::vector<std::int32_t>{2}));
    EXPECT_TRUE(g2->m_members.empty());
    EXPECT_EQ(doc.m_pcs.size(), 2u);

    doc.SetModifiedFlag(false);
    doc.DeleteGroup(g1);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.m_groups.size(), 1u);
    EXPECT_EQ(doc.m_pcs.size(), 2u);
}

TEST(DocViews, SelectionNotifiesOthersOnlyOnChange)
{
    CDoc doc;
    RecordingView tree, list;
    doc.AddView(&tree);
    doc.AddView(&list);
    doc.AddView(&list);
    CGroup* g = doc.AddGroup("g");
    doc.SetModifiedFlag(false);

    doc.SetCurrent(g, &tree);
    EXPECT_EQ(doc.m_pCurrent, g);
    EXPECT_TRUE(tree.calls.empty());
    ASSERT_EQ(list.calls.size(), 1u);
    EXPECT_EQ(list.calls[0].pSender, &tree);
    EXPECT_EQ(list.calls[0].nHint, 0);
    EXPECT_EQ(list.calls[0].pGroup, g);

    doc.SetCurrent(g, nullptr);
    EXPECT_EQ(list.calls.size(), 1u);
    EXPECT_TRUE(tree.calls.empty());
    EXPECT_FALSE(doc.IsModified());

    doc.UpdateAllViews(&tree, 1, g);
    ASSERT_EQ(list.calls.size(), 2u);
    EXPECT_EQ(list.calls[1].nHint, 1);
    EXPECT_TRUE(tree.calls.empty());

    // Emptying the roster drops the selection and tells every view.
    doc.AddPc("p", 0, kNoMac, 0);
    doc.SetModifiedFlag(false);
    doc.DeleteContents();
    EXPECT_EQ(doc.m_pCurrent, nullptr);
    ASSERT_EQ(tree.calls.size(), 1u);
    EXPECT_EQ(tree.calls[0].pGroup, nullptr);
    EXPECT_EQ(list.calls.size(), 3u);
    EXPECT_TRUE(doc.m_pcs.empty());
    EXPECT_TRUE(doc.m_groups.empty());
    EXPECT_FALSE(doc.IsModified());

    doc.DeleteContents();
    EXPECT_EQ(tree.calls.size(), 1u);
    doc.RemoveView(&tree);
    CGroup* g2 = doc.AddGroup("g2");
    doc.SetCurrent(g2, nullptr);
    EXPECT_EQ(tree.calls.size(), 1u);
    EXPECT_EQ(list.calls.size(), 4u);
    // Deleting the current group leaves no selection behind that points at nothing.
    doc.DeleteGroup(g2);
    EXPECT_EQ(doc.m_pCurrent, nullptr);
    EXPECT_EQ(list.calls.size(), 5u);
}

class DocCollect : public testing::Test {
protected:
    void SetUp() override
    {
        m_now = vttest::LocalTime(2024, 3, 5, 21, 0);
        vtclock::SetClockForTesting([this] { return m_now; });
    }
    void TearDown() override { vtclock::SetClockForTesting({}); }

    static void Plan(CReserve& r, std::uint16_t wType, std::uint16_t wForce)
    {
        r.Set(1, ReserveDaily, 0, 0, vttest::LocalTime(2024, 3, 5, 22, 0), wType, wForce);
    }
    void PassDueTime() { m_now = vttest::LocalTime(2024, 3, 5, 22, 0, 30); }
    static std::int64_t Tomorrow() { return vttest::LocalTime(2024, 3, 6, 22, 0); }

    std::int64_t m_now = 0;
};

TEST_F(DocCollect, ShutdownsSkipUnusableAddressesButConsumeTheirReservations)
{
    CDoc doc;
    CKw* own = doc.AddPc("own", 0x0A000001, kNoMac, 0xFFFFFFFF);
    CKw* loop = doc.AddPc("loop", 0x7F000001, kNoMac, 0xFFFFFFFF);
    CKw* zero = doc.AddPc("zero", 0, kNoMac, 0xFFFFFFFF);
    CKw* bcast = doc.AddPc("bcast", 0xFFFFFFFF, kNoMac, 0xFFFFFFFF);
    CKw* member = doc.AddPc("member", 0x0A000005, kNoMac, 0xFFFFFFFF);
    CKw* idle = doc.AddPc("idle", 0x0A000006, kNoMac, 0xFFFFFFFF);
    for (CKw* p : {own, loop, zero, bcast})
        Plan(p->m_reserveOff, OP_SHUTDOWN, 1);
    CGroup* reboot = doc.AddGroup("reboot");
    Plan(reboot->m_reserveOff, OP_REBOOT, 0);
    for (std::int32_t id : {own->m_nId, member->m_nId, loop->m_nId, 99})
        doc.AddToGroup(reboot, id);
    CGroup* later = doc.AddGroup("later");
    Plan(later->m_reserveOff, OP_SHUTDOWN, 0);
    doc.AddToGroup(later, member->m_nId);
    doc.AddToGroup(later, idle->m_nId);

    std::vector<std::uint32_t> addresses{123}, codes{456};
    EXPECT_FALSE(doc.CollectDueShutdowns(addresses, codes));
    EXPECT_TRUE(addresses.empty());
    EXPECT_TRUE(codes.empty());

    PassDueTime();
    ASSERT_TRUE(doc.CollectDueShutdowns(addresses, codes));
    ASSERT_EQ(addresses.size(), 3u);
    ASSERT_EQ(codes.size(), 3u);
    EXPECT_EQ(Octets(addresses[0]), (std::array<std::uint8_t, 4>{10, 0, 0, 1}));
    EXPECT_EQ(codes[0], 0x10004u); // its own code, not the group's
    EXPECT_EQ(Octets(addresses[1]), (std::array<std::uint8_t, 4>{10, 0, 0, 5}));
    EXPECT_EQ(codes[1], 2u); // the first due group gives the code
    EXPECT_EQ(Octets(addresses[2]), (std::array<std::uint8_t, 4>{10, 0, 0, 6}));
    EXPECT_EQ(codes[2], 4u);
    for (CKw* p : {own, loop, zero, bcast})
        EXPECT_EQ(p->m_reserveOff.m_timeNext, Tomorrow()) << p->m_strName;
    EXPECT_EQ(reboot->m_reserveOff.m_timeNext, Tomorrow());

    EXPECT_FALSE(doc.CollectDueShutdowns(addresses, codes));
    EXPECT_TRUE(addresses.empty());
}

TEST_F(DocCollect, WakeupsRepeatPerReasonAndNeedAMac)
{
    CDoc doc;
    const std::uint8_t macA[6] = {0xAA, 1, 2, 3, 4, 5};
    const std::uint8_t macB[6] = {0xBB, 1, 2, 3, 4, 5};
    CKw* a = doc.AddPc("a", 0x0A000001, macA, 0x0A0000FF);
    CKw* nomac = doc.AddPc("nomac", 0x0A000002, kNoMac, 0x0A0000FF);
    CKw* b = doc.AddPc("b", 0x0A000003, macB, 0xFFFFFFFF);
    Plan(a->m_reserveOn, OP_WAKEUP, 0);
    Plan(nomac->m_reserveOn, OP_WAKEUP, 0);
    CGroup* g = doc.AddGroup("g");
    Plan(g->m_reserveOn, OP_WAKEUP, 0);
    for (std::int32_t id : {a->m_nId, nomac->m_nId, 42, b->m_nId})
        doc.AddToGroup(g, id);
    CGroup* onlyNoMac = doc.AddGroup("onlyNoMac");
    Plan(onlyNoMac->m_reserveOn, OP_WAKEUP, 0);
    doc.AddToGroup(onlyNoMac, nomac->m_nId);

    std::vector<std::uint8_t> macs;
    std::vector<std::uint32_t> broadcasts;
    EXPECT_FALSE(doc.CollectDueWakeups(macs, broadcasts));

    PassDueTime();
    ASSERT_TRUE(doc.CollectDueWakeups(macs, broadcasts));
    const std::vector<std::uint8_t> expectedMacs = {0xAA, 1, 2, 3,    4, 5, 0xAA, 1, 2,
                                                    3,    4, 5, 0xBB, 1, 2, 3,    4, 5};
    EXPECT_EQ(macs, expectedMacs);
    EXPECT_EQ(broadcasts, (std::vector<std::uint32_t>{0x0A0000FF, 0x0A0000FF, 0xFFFFFFFF}));
    EXPECT_EQ(nomac->m_reserveOn.m_timeNext, Tomorrow());
    EXPECT_EQ(onlyNoMac->m_reserveOn.m_timeNext, Tomorrow());

    EXPECT_FALSE(doc.CollectDueWakeups(macs, broadcasts));
    EXPECT_TRUE(macs.empty());
    EXPECT_TRUE(broadcasts.empty());
}

TEST(DocClient, ActivityTextFollowsTheWorker)
{
    CDoc doc;
    EXPECT_EQ(doc.GetActivityText(), "");
    struct NullReceiver final : IClientReceiver {
        void OnClientMessage(int, std::intptr_t, std::intptr_t) override {}
    } receiver;
    ASSERT_TRUE(doc.StartClient(&receiver));
    ASSERT_NE(doc.m_pClient, nullptr);
    CKwvtClient& client = *doc.m_pClient;
    for (int i = 0; i < 200 && client.m_bBusy; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_FALSE(client.m_bBusy);
    EXPECT_EQ(doc.GetActivityText(), "");

    client.m_nRequest = REQ_SEARCH;
    EXPECT_EQ(doc.GetActivityText(), ""); // not busy
    client.m_bBusy = true;
    EXPECT_EQ(doc.GetActivityText(), "Now searching.");
    client.m_nRequest = REQ_STATUS;
    EXPECT_EQ(doc.GetActivityText(), "Operation Status is...");
    client.m_nRequest = REQ_OPERATE;
    EXPECT_EQ(doc.GetActivityText(), "Now Shutting Down.");
    client.m_nRequest = 9;
    EXPECT_EQ(doc.GetActivityText(), "");
    client.m_nRequest = REQ_NONE;
    client.m_bBusy = false;

    doc.StopClient();
    EXPECT_EQ(doc.m_pClient, nullptr);
    EXPECT_EQ(doc.GetActivityText(), "");
    doc.StopClient();
}
