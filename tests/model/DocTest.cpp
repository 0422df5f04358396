#include "ModelTestSupport.h"
#include "app/StringTable.h"
#include "net/CKwvtClient.h"

#include <QtCore/QSettings>
#include <QtCore/QTemporaryDir>

#include <chrono>
#include <thread>
#include <tuple>

using namespace vttest;

namespace {
const std::uint8_t kNoMac[6] = {};

struct RecordingView final : CDocView {
    void OnUpdate(CDocView* pSender, int nHint, CGroup* pGroup) override
    {
        calls.emplace_back(pSender, nHint, pGroup);
    }
    std::vector<std::tuple<CDocView*, int, CGroup*>> calls;
};

void Plan(CReserve& r, std::uint16_t wType, std::uint16_t wForce = 0)
{
    r.Set(1, ReserveDaily, 0, 0, Local(2024, 3, 5, 22, 0), wType, wForce);
}
} // namespace

TEST(DocPcs, IdsMembersLimitsAndTheModifiedFlag)
{
    CDoc doc;
    int nNotified = 0;
    doc.m_fnModified = [&] { ++nNotified; };
    const std::uint8_t mac[6] = {0, 0, 0, 0, 0, 9};
    for (int i = 0; i < 254; ++i)
        ASSERT_NE(doc.AddPc("pc", 0x0A000001, i == 3 ? mac : kNoMac, 0), nullptr);
    for (int i = 0; i < 100; ++i)
        ASSERT_NE(doc.AddGroup("g"), nullptr);
    CGroup* g = doc.m_groups.front().get();
    CGroup* last = doc.m_groups.back().get();
    for (std::int32_t id = 0; id < 254; ++id)
        ASSERT_TRUE(doc.AddToGroup(g, id));
    ASSERT_TRUE(doc.AddToGroup(last, 2) && doc.AddToGroup(last, 7));
    EXPECT_EQ(nNotified, 1); // only the change from clear to set is announced
    EXPECT_EQ(doc.FindPcByIp(0x0A000001), doc.m_pcs.front().get());
    EXPECT_EQ(doc.FindPcByMac(mac)->m_nId, 3);

    // Refusals and changes to the same value leave the flag alone.
    doc.SetModifiedFlag(false);
    CKw* p = doc.m_pcs.front().get();
    EXPECT_EQ(doc.AddPc("one too many", 0, kNoMac, 0), nullptr);
    EXPECT_EQ(doc.AddGroup("one too many"), nullptr);
    EXPECT_FALSE(doc.AddToGroup(g, 999));
    EXPECT_FALSE(doc.AddToGroup(last, 7));
    doc.RenamePc(p, "pc");
    doc.SetPcStatus(p, 1);
    const MacAddress same = p->m_mac; // every status reply hands the known MAC back
    doc.SetPcMac(p, same.data());
    EXPECT_EQ(std::make_tuple(doc.m_pcs.size(), doc.m_groups.size(), g->m_members.size(), doc.IsModified()),
              std::make_tuple(254u, 100u, 254u, false));
    doc.SetPcStatus(p, 0);
    EXPECT_TRUE(doc.IsModified());
    doc.SetModifiedFlag(false);
    doc.RenamePc(p, "beta");
    EXPECT_EQ(std::make_tuple(doc.IsModified(), doc.GetPcName(p), nNotified),
              std::make_tuple(true, std::string("beta"), 3));
    doc.SetModifiedFlag(false);
    const std::uint8_t other[6] = {0, 0, 0, 0, 0, 1};
    doc.SetPcMac(p, other);
    EXPECT_EQ(std::make_tuple(doc.IsModified(), p->GetMacText(), nNotified),
              std::make_tuple(true, std::string("00-00-00-00-00-01"), 4));

    // Deleted PCs leave their groups; a new one takes the smallest free id, at the end.
    doc.DeletePc(doc.FindPcById(2));
    doc.DeletePc(p);
    EXPECT_EQ(std::make_pair(last->m_members, g->m_members.size()),
              std::make_pair(std::vector<std::int32_t>{7}, std::size_t{252}));
    const CKw* pNew = doc.AddPc("x", 0, kNoMac, 0x0A0000FF);
    EXPECT_FALSE(doc.IsInAnyGroup(pNew));
    EXPECT_EQ(std::make_tuple(pNew->m_nId, pNew->m_nStatus, pNew->m_dwBroadcast, pNew->GetIpText(),
                              doc.m_pcs.back().get()),
              std::make_tuple(0, 1, 0x0A0000FFu, std::string("Unknown"), pNew));
}

TEST(DocViews, SelectionNotifiesOthersOnlyOnChange)
{
    CDoc doc;
    RecordingView tree, list;
    doc.AddView(&tree);
    doc.AddView(&list);
    CGroup* g = doc.AddGroup("g");
    doc.SetCurrent(g, &tree);
    doc.SetCurrent(g, nullptr);
    doc.DeleteGroup(g); // leaves no selection that points at nothing
    EXPECT_EQ(doc.m_pCurrent, nullptr);
    EXPECT_EQ(tree.calls, (decltype(tree.calls){{nullptr, 0, nullptr}}));
    EXPECT_EQ(list.calls, (decltype(list.calls){{&tree, 0, g}, {nullptr, 0, nullptr}}));
}

TEST_F(ClockTest, DocCollectDueOperations)
{
    CDoc doc;
    const std::uint8_t macA[6] = {0xAA, 1, 2, 3, 4, 5};
    const std::uint8_t macB[6] = {0xBB, 1, 2, 3, 4, 5};
    CKw* own = doc.AddPc("own", 0x0A000001, macA, 0x0A0000FF);
    CKw* member = doc.AddPc("member", 0x0A000005, kNoMac, 0x0A0000FF);
    CKw* idle = doc.AddPc("idle", 0x0A000006, macB, 0xFFFFFFFF);
    std::vector<CKw*> unusable;
    for (std::uint32_t ip : {0x7F000001u, 0u, 0xFFFFFFFFu})
        Plan(unusable.emplace_back(doc.AddPc("bad", ip, kNoMac, 0))->m_reserveOff, OP_SHUTDOWN);
    CGroup* reboot = doc.AddGroup("reboot");
    CGroup* later = doc.AddGroup("later");
    for (std::int32_t id : {own->m_nId, member->m_nId, unusable[0]->m_nId, 99})
        doc.AddToGroup(reboot, id);
    doc.AddToGroup(later, member->m_nId);
    doc.AddToGroup(later, idle->m_nId);
    Plan(own->m_reserveOff, OP_SHUTDOWN, 1);
    Plan(reboot->m_reserveOff, OP_REBOOT);
    Plan(later->m_reserveOff, OP_SHUTDOWN);
    for (CReserve* r : {&own->m_reserveOn, &member->m_reserveOn, &reboot->m_reserveOn, &later->m_reserveOn})
        Plan(*r, OP_WAKEUP);

    std::vector<std::uint32_t> addresses{123}, codes{456}, broadcasts{789};
    std::vector<std::uint8_t> macs{1};
    EXPECT_FALSE(doc.CollectDueShutdowns(addresses, codes));
    EXPECT_FALSE(doc.CollectDueWakeups(macs, broadcasts));
    EXPECT_TRUE(addresses.empty() && codes.empty() && macs.empty() && broadcasts.empty());
    m_now = Local(2024, 3, 5, 22, 0, 30);
    ASSERT_TRUE(doc.CollectDueShutdowns(addresses, codes));
    ASSERT_TRUE(doc.CollectDueWakeups(macs, broadcasts));
    // Shut down once each, in network byte order: its own code first, of two due groups the
    // first one's. Woken once per reason, and only with a MAC.
    ASSERT_EQ(addresses.size(), 3u);
    EXPECT_EQ(Cat({Le(addresses[0]), Le(addresses[1]), Le(addresses[2])}),
              (Bytes{10, 0, 0, 1, 10, 0, 0, 5, 10, 0, 0, 6}));
    EXPECT_EQ(codes, (std::vector<std::uint32_t>{0x10004, OP_REBOOT, OP_SHUTDOWN}));
    EXPECT_EQ(macs, Cat({Bytes(macA, macA + 6), Bytes(macA, macA + 6), Bytes(macB, macB + 6)}));
    EXPECT_EQ(broadcasts, (std::vector<std::uint32_t>{0x0A0000FF, 0x0A0000FF, 0xFFFFFFFF}));
    // The reservations that sent nothing are used up all the same.
    for (CReserve* r : {&unusable[0]->m_reserveOff, &unusable[1]->m_reserveOff, &unusable[2]->m_reserveOff,
                        &member->m_reserveOn})
        EXPECT_EQ(r->m_timeNext, Local(2024, 3, 6, 22, 0));
    EXPECT_FALSE(doc.CollectDueShutdowns(addresses, codes));
    EXPECT_FALSE(doc.CollectDueWakeups(macs, broadcasts));
}

TEST(DocClient, ActivityTextFollowsTheWorker)
{
    QTemporaryDir settings; // the worker reads its port from the settings
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    vtstr::SetLanguage(vtstr::Language::English);
    struct : IClientReceiver {
        void OnClientMessage(int, std::intptr_t, std::intptr_t) override {}
    } receiver;
    CDoc doc;
    ASSERT_TRUE(doc.StartClient(&receiver));
    CKwvtClient& client = *doc.m_pClient;
    for (int i = 0; i < 200 && client.m_bBusy; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_FALSE(client.m_bBusy);
    const std::tuple<bool, int, const char*> texts[] = {{false, REQ_SEARCH, ""},
                                                        {true, REQ_SEARCH, "Now searching."},
                                                        {true, REQ_STATUS, "Operation Status is..."},
                                                        {true, REQ_OPERATE, "Now Shutting Down."},
                                                        {true, 9, ""}};
    for (const auto& [bBusy, nRequest, text] : texts) {
        client.m_bBusy = bBusy;
        client.m_nRequest = nRequest;
        EXPECT_EQ(doc.GetActivityText(), text);
    }
    doc.StopClient();
    EXPECT_EQ(doc.m_pClient, nullptr);
}
