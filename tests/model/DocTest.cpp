#include "ModelTestSupport.h"
#include "model/CDoc.h"
#include "net/CKwvtClient.h"

#include <array>
#include <chrono>
#include <cstring>
#include <thread>

using namespace vttest;

namespace {
const std::uint8_t kNoMac[6] = {};

struct RecordingView final : CDocView {
    void OnUpdate(CDocView* pSender, int nHint, CGroup* pGroup) override
    {
        calls.push_back({pSender, nHint, pGroup});
    }
    std::vector<std::tuple<CDocView*, int, CGroup*>> calls;
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
        doc.AddPc("pc", 0, kNoMac, 0);
    doc.DeletePc(doc.FindPcById(2));
    EXPECT_EQ(doc.AddPc("x", 1, kNoMac, 2)->m_nId, 2);
    doc.DeletePc(doc.FindPcById(0));
    CKw* p = doc.AddPc("y", 0x0A000009, kNoMac, 0x0A0000FF);
    EXPECT_EQ(Ids(doc), (std::vector<std::int32_t>{1, 3, 2, 0})); // new PCs go to the end
    EXPECT_EQ(p->m_nStatus, 1);
    EXPECT_EQ(p->m_dwBroadcast, 0x0A0000FFu);
}

TEST(DocPcs, LimitsLeaveRosterAndFlagAlone)
{
    CDoc doc;
    for (int i = 0; i < 254; ++i)
        ASSERT_NE(doc.AddPc("pc", 0, kNoMac, 0), nullptr);
    for (int i = 0; i < 100; ++i)
        ASSERT_NE(doc.AddGroup("g"), nullptr);
    CGroup* g = doc.m_groups.front().get();
    for (std::int32_t id = 0; id < 254; ++id)
        ASSERT_TRUE(doc.AddToGroup(g, id));
    ASSERT_TRUE(doc.AddToGroup(doc.m_groups.back().get(), 7));

    doc.SetModifiedFlag(false);
    EXPECT_EQ(doc.AddPc("one too many", 0, kNoMac, 0), nullptr);
    EXPECT_EQ(doc.AddGroup("one too many"), nullptr);
    EXPECT_FALSE(doc.AddToGroup(g, 999));
    EXPECT_FALSE(doc.AddToGroup(doc.m_groups.back().get(), 7));
    EXPECT_EQ(doc.m_pcs.size(), 254u);
    EXPECT_EQ(doc.m_groups.size(), 100u);
    EXPECT_FALSE(doc.IsModified());
}

TEST(DocPcs, ModifiedFlagRules)
{
    CDoc doc;
    int nNotified = 0;
    doc.m_fnModified = [&] { ++nNotified; };
    CKw* p = doc.AddPc("alpha", 0x0A000001, kNoMac, 0xFFFFFFFF);
    doc.AddGroup("g");
    EXPECT_EQ(nNotified, 1); // only the change from clear to set is announced

    doc.SetModifiedFlag(false);
    doc.RenamePc(p, "alpha");
    doc.SetPcStatus(p, 1);
    EXPECT_FALSE(doc.IsModified());
    doc.SetPcStatus(p, 0);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(nNotified, 2);
    doc.SetModifiedFlag(false);
    doc.RenamePc(p, "beta");
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.GetPcName(p), "beta");
}

TEST(DocPcs, DeleteLeavesNoMemberBehind)
{
    CDoc doc;
    const std::uint8_t mac[6] = {0, 0, 0, 0, 0, 9};
    CKw* a = doc.AddPc("a", 0x0A000001, kNoMac, 0);
    CKw* b = doc.AddPc("b", 0x0A000001, mac, 0);
    EXPECT_EQ(doc.FindPcByIp(0x0A000001), a);
    EXPECT_EQ(doc.FindPcByMac(mac), b);
    CGroup* g1 = doc.AddGroup("one");
    CGroup* g2 = doc.AddGroup("two");
    for (CGroup* g : {g1, g2})
        doc.AddToGroup(g, b->m_nId);
    doc.AddToGroup(g1, a->m_nId);
    EXPECT_TRUE(doc.IsInAnyGroup(b));

    doc.DeletePc(b);
    EXPECT_EQ(g1->m_members, (std::vector<std::int32_t>{0}));
    EXPECT_TRUE(g2->m_members.empty());
    EXPECT_EQ(doc.FindPcById(1), nullptr);
    EXPECT_FALSE(doc.IsInAnyGroup(doc.AddPc("reuses id 1", 0, kNoMac, 0)));
}

TEST(DocViews, SelectionNotifiesOthersOnlyOnChange)
{
    CDoc doc;
    RecordingView tree, list;
    doc.AddView(&tree);
    doc.AddView(&list);
    CGroup* g = doc.AddGroup("g");
    doc.SetModifiedFlag(false);

    doc.SetCurrent(g, &tree);
    doc.SetCurrent(g, nullptr);
    EXPECT_TRUE(tree.calls.empty());
    ASSERT_EQ(list.calls.size(), 1u);
    EXPECT_EQ(list.calls[0], std::make_tuple(static_cast<CDocView*>(&tree), 0, g));

    // Emptying the roster drops the selection and tells every view, flag untouched.
    doc.AddPc("p", 0, kNoMac, 0);
    doc.SetModifiedFlag(false);
    doc.DeleteContents();
    EXPECT_EQ(doc.m_pCurrent, nullptr);
    ASSERT_EQ(tree.calls.size(), 1u);
    EXPECT_EQ(std::get<CGroup*>(tree.calls[0]), nullptr);
    EXPECT_TRUE(doc.m_pcs.empty() && doc.m_groups.empty());
    EXPECT_FALSE(doc.IsModified());

    // Deleting the current group leaves no selection that points at nothing.
    CGroup* g2 = doc.AddGroup("g2");
    doc.SetCurrent(g2, &list);
    doc.DeleteGroup(g2);
    EXPECT_EQ(doc.m_pCurrent, nullptr);
    EXPECT_EQ(tree.calls.size(), 3u);
}

class DocCollect : public AtFixedTime {
protected:
    static void Plan(CReserve& r, std::uint16_t wType, std::uint16_t wForce = 0)
    {
        r.Set(1, ReserveDaily, 0, 0, LocalTime(2024, 3, 5, 22, 0), wType, wForce);
    }
    void PassDueTime() { m_now = LocalTime(2024, 3, 5, 22, 0, 30); }
    static std::int64_t Tomorrow() { return LocalTime(2024, 3, 6, 22, 0); }
};

TEST_F(DocCollect, ShutdownsSkipUnusableAddressesButConsumeTheirReservations)
{
    CDoc doc;
    CKw* own = doc.AddPc("own", 0x0A000001, kNoMac, 0);
    CKw* member = doc.AddPc("member", 0x0A000005, kNoMac, 0);
    CKw* idle = doc.AddPc("idle", 0x0A000006, kNoMac, 0);
    std::vector<CKw*> unusable;
    for (std::uint32_t ip : {0x7F000001u, 0u, 0xFFFFFFFFu})
        unusable.push_back(doc.AddPc("bad", ip, kNoMac, 0));
    for (CKw* p : unusable)
        Plan(p->m_reserveOff, OP_SHUTDOWN);
    Plan(own->m_reserveOff, OP_SHUTDOWN, 1);
    CGroup* reboot = doc.AddGroup("reboot");
    Plan(reboot->m_reserveOff, OP_REBOOT);
    for (std::int32_t id : {own->m_nId, member->m_nId, unusable[0]->m_nId, 99})
        doc.AddToGroup(reboot, id);
    CGroup* later = doc.AddGroup("later");
    Plan(later->m_reserveOff, OP_SHUTDOWN);
    doc.AddToGroup(later, member->m_nId);
    doc.AddToGroup(later, idle->m_nId);

    std::vector<std::uint32_t> addresses{123}, codes{456};
    EXPECT_FALSE(doc.CollectDueShutdowns(addresses, codes));
    EXPECT_TRUE(addresses.empty() && codes.empty());

    PassDueTime();
    ASSERT_TRUE(doc.CollectDueShutdowns(addresses, codes));
    ASSERT_EQ(addresses.size(), 3u);
    EXPECT_EQ(Octets(addresses[0]), (std::array<std::uint8_t, 4>{10, 0, 0, 1}));
    EXPECT_EQ(Octets(addresses[1]), (std::array<std::uint8_t, 4>{10, 0, 0, 5}));
    EXPECT_EQ(Octets(addresses[2]), (std::array<std::uint8_t, 4>{10, 0, 0, 6}));
    // Its own code first; of two due groups the first one's.
    EXPECT_EQ(codes, (std::vector<std::uint32_t>{0x10004, OP_REBOOT, OP_SHUTDOWN}));
    for (CKw* p : unusable)
        EXPECT_EQ(p->m_reserveOff.m_timeNext, Tomorrow());
    EXPECT_FALSE(doc.CollectDueShutdowns(addresses, codes));
}

TEST_F(DocCollect, WakeupsRepeatPerReasonAndNeedAMac)
{
    CDoc doc;
    const std::uint8_t macA[6] = {0xAA, 1, 2, 3, 4, 5};
    const std::uint8_t macB[6] = {0xBB, 1, 2, 3, 4, 5};
    CKw* a = doc.AddPc("a", 1, macA, 0x0A0000FF);
    CKw* nomac = doc.AddPc("nomac", 2, kNoMac, 0x0A0000FF);
    CKw* b = doc.AddPc("b", 3, macB, 0xFFFFFFFF);
    Plan(a->m_reserveOn, OP_WAKEUP);
    Plan(nomac->m_reserveOn, OP_WAKEUP);
    CGroup* g = doc.AddGroup("g");
    Plan(g->m_reserveOn, OP_WAKEUP);
    for (std::int32_t id : {a->m_nId, nomac->m_nId, 42, b->m_nId})
        doc.AddToGroup(g, id);

    std::vector<std::uint8_t> macs;
    std::vector<std::uint32_t> broadcasts;
    EXPECT_FALSE(doc.CollectDueWakeups(macs, broadcasts));
    PassDueTime();
    ASSERT_TRUE(doc.CollectDueWakeups(macs, broadcasts));
    EXPECT_EQ(macs, Cat({Bytes(macA, macA + 6), Bytes(macA, macA + 6), Bytes(macB, macB + 6)}));
    EXPECT_EQ(broadcasts, (std::vector<std::uint32_t>{0x0A0000FF, 0x0A0000FF, 0xFFFFFFFF}));
    EXPECT_EQ(nomac->m_reserveOn.m_timeNext, Tomorrow());
    EXPECT_FALSE(doc.CollectDueWakeups(macs, broadcasts));
    EXPECT_TRUE(macs.empty() && broadcasts.empty());
}

TEST(DocClient, ActivityTextFollowsTheWorker)
{
    CDoc doc;
    EXPECT_EQ(doc.GetActivityText(), "");
    struct NullReceiver final : IClientReceiver {
        void OnClientMessage(int, std::intptr_t, std::intptr_t) override {}
    } receiver;
    ASSERT_TRUE(doc.StartClient(&receiver));
    CKwvtClient& client = *doc.m_pClient;
    for (int i = 0; i < 200 && client.m_bBusy; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_FALSE(client.m_bBusy);
    client.m_nRequest = REQ_SEARCH;
    EXPECT_EQ(doc.GetActivityText(), ""); // idle

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
}
