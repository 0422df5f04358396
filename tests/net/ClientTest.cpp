#include "AgentProtocol.h"
#include "NetTestSupport.h"

#include "app/Settings.h"

#include <future>

using namespace vttest;

using Worker = ClientFixture;

TEST_F(Worker, StatusPollRecordsAnsweredPcsThenSilentOnesInTargetOrder)
{
    StartLab({{.dwAddress = 0x7F000002, .strName = "PC"},
              {.dwAddress = 0x7F000003, .strName = "QUIET", .bSilent = true},
              {.dwAddress = 0x7F000005, .strName = "LATE", .bWrongId = true},
              {.dwAddress = 0x7F000006, .strName = "LONG", .bLongName = true},
              {.dwAddress = 0x7F000001, .strName = "SELF"}});
    CKwvtClient& client = StartClient(Hooks());
    ASSERT_TRUE(client.RequestStatus({Lo(3), Lo(2), Lo(5), Lo(6), Lo(1)}));
    ASSERT_EQ(Completion(WM_CLIENT_PCSTATUS), 0);
    EXPECT_EQ(PopAll(), (std::vector<std::string>{"127.0.0.2      PC", "127.0.0.3      ", "127.0.0.5      ",
                                                  "127.0.0.6      ", "127.0.0.1      "}));
    const Msg silent{WM_CLIENT_PCSTATUS, 1, 0};
    EXPECT_EQ(Messages(),
              (std::vector<Msg>{
                  {WM_CLIENT_PCSTATUS, 1, 1}, silent, silent, silent, silent, {WM_CLIENT_PCSTATUS, 0, 0}}));

    // Every request named the PC it went to.
    const auto agents = LabLog("agent"), lists = LabLog("list");
    ASSERT_EQ(agents.size(), 5u);
    for (std::size_t i = 0; i < agents.size(); ++i)
        EXPECT_EQ(lists[i], "[" + agents[i] + "]");
}

TEST_F(Worker, PollThatEveryPcAnswersEndsWithTheLastAnswerAndTheSameRecords)
{
    // A name of 15 single bytes above 0x7F is within the limit, though longer once converted.
    StartLab({{.dwAddress = 0x7F000002, .strName = "FIFTEEN-CHARS-X", .bTwice = true},
              {.dwAddress = 0x7F000004, .strName = "EMPTY", .bNameEmpty = true},
              {.dwAddress = 0x7F000007, .strName = std::string(15, '\xE9')}});
    // A quiet time no test waits for: the poll has to end without it.
    CKwvtClient& client = StartClient(Hooks(600000));
    ASSERT_TRUE(client.RequestStatus({Lo(2), Lo(4), Lo(7)}));
    ASSERT_EQ(Completion(WM_CLIENT_PCSTATUS), 0);
    std::string strAccented;
    for (int i = 0; i < 15; ++i)
        strAccented += "\xC3\xA9";
    EXPECT_EQ(PopAll(),
              (std::vector<std::string>{"127.0.0.2      FIFTEEN-CHARS-X", "127.0.0.4      127.0.0.4",
                                        "127.0.0.7      " + strAccented}));
    const Msg answered{WM_CLIENT_PCSTATUS, 1, 1};
    EXPECT_EQ(Messages(), (std::vector<Msg>{answered, answered, answered, {WM_CLIENT_PCSTATUS, 0, 0}}));
}

class Junk : public ClientFixture, public ::testing::WithParamInterface<int> {};

TEST_P(Junk, DatagramsOfNoConcernDoNotHoldTheExchangeOpen)
{
    // A silent agent at the address asked; every 100 ms, 8 bytes of junk, a reply too long for the buffer
    // (whose first 2048 bytes alone would match), replies that do not match the request and matching
    // replies from an address not asked. Each of them alone would have restarted the quiet time for ever.
    using vtagent::BuildNameReply, vtagent::BuildOperateReply, vtdgram::OP_REBOOT;
    const int nMsg = GetParam();
    const ServerSocket agent(nMsg == WM_CLIENT_SEARCHED ? 0x7F00000A : 0x7F000002, AgentPort()),
        from5(0x7F000005), from6(0x7F000006);
    auto junk = [&](std::uint32_t dwId) {
        Bytes big = BuildNameReply(dwId, "BIG");
        big.resize(3000);
        vtagent::SetChecksum(big.data(), big.size());
        std::vector<std::pair<const ServerSocket*, Bytes>> sends = {{&from5, Bytes(8, 'J')}, {&agent, big}};
        if (nMsg == WM_CLIENT_PCSTATUS)
            sends.insert(sends.end(), {{&agent, BuildNameReply(dwId + 1, "OLD")},
                                       {&from6, BuildNameReply(dwId, "STRANGER")}});
        else if (nMsg == WM_CLIENT_OPERATED)
            sends.insert(sends.end(), {{&agent, BuildOperateReply(dwId, vtdgram::OP_SHUTDOWN, 0, 5)},
                                       {&agent, BuildOperateReply(dwId + 1, OP_REBOOT, 0, 5)},
                                       {&from6, BuildOperateReply(dwId, OP_REBOOT, 0, 5)}});
        else
            sends.insert(sends.end(), {{&from6, BuildNameReply(dwId + 1, "PC")},
                                       {&from6, BuildOperateReply(dwId, OP_REBOOT, 0, 5)}});
        return sends;
    };

    CKwvtClient& client = StartClient(Hooks(300));
    ASSERT_TRUE(nMsg == WM_CLIENT_PCSTATUS   ? client.RequestStatus({Lo(2)})
                : nMsg == WM_CLIENT_OPERATED ? client.RequestOperate({Lo(2)}, {OP_REBOOT})
                                             : client.RequestSearch());
    std::optional<vtagenttest::Datagram> request;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(6);
    while (client.m_bBusy && std::chrono::steady_clock::now() < end) {
        if (auto got = agent.Receive(milliseconds(100)))
            request = got;
        if (request)
            for (const auto& [pFrom, bytes] :
                 junk(vtdgram::ReadU32(request->bytes.data(), request->bytes.size(), vtdgram::kOffId)))
                pFrom->Send(request->dwFrom, request->wFromPort, bytes);
    }
    ASSERT_TRUE(request.has_value());
    // Twenty quiet times of junk: the exchange must have ended meanwhile.
    EXPECT_FALSE(client.m_bBusy);
    EXPECT_EQ(Completion(nMsg), 0);
    EXPECT_EQ(PopAll(), nMsg == WM_CLIENT_PCSTATUS ? std::vector<std::string>{"127.0.0.2      "}
                                                   : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Net, Junk,
                         ::testing::Values(WM_CLIENT_PCSTATUS, WM_CLIENT_OPERATED, WM_CLIENT_SEARCHED));

TEST_F(Worker, OperationKeepsNonzeroCodesOfTheLastOperationAndSendsToItselfLast)
{
    // 127.0.0.2 and 127.0.0.3 are this host's: they go last, the first of them last of all. Only replies
    // carrying the last operation sent count.
    StartLab({{.dwAddress = 0x7F000002, .strName = "OP", .dwResultCode = 0},
              {.dwAddress = 0x7F000003, .strName = "OP", .dwResultCode = 5},
              {.dwAddress = 0x7F000004, .strName = "OP", .dwResultCode = 7}});
    ClientHooks hooks = Hooks();
    hooks.fnLocalAddresses = [] { return std::vector<std::uint32_t>{Lo(2), Ip("10.9.9.9"), Lo(3)}; };
    CKwvtClient& client = StartClient(hooks);
    const std::uint32_t dwForced = (1u << 16) | vtdgram::OP_SHUTDOWN;
    ASSERT_TRUE(client.RequestOperate({Lo(2), Lo(3), Lo(4)}, {dwForced, dwForced, vtdgram::OP_SHUTDOWN}));
    EXPECT_EQ(client.m_nRequest, REQ_OPERATE);
    ASSERT_EQ(Completion(WM_CLIENT_OPERATED), 0);
    EXPECT_EQ(PopAll(), std::vector<std::string>{"127.0.0.3      5"});
    EXPECT_EQ(Messages(), (std::vector<Msg>{{WM_CLIENT_OPERATED, 1, 0}, {WM_CLIENT_OPERATED, 0, 0}}));
    EXPECT_EQ(LabLog("agent"), (std::vector<std::string>{"\"127.0.0.4\"", "\"127.0.0.3\"", "\"127.0.0.2\""}));
    EXPECT_EQ(LabLog("force"), (std::vector<std::string>{"0", "1", "1"}));
}

TEST_F(Worker, PortInUseEndsTheRequestAtOnceAndThePortIsReadBeforeEachRequest)
{
    const ServerSocket blocker(INADDR_ANY, m_wPort), agent(0x7F000002, AgentPort());
    vtsettings::WriteInt("Interface", "IP Port", m_wPort);
    ClientHooks hooks = Hooks();
    hooks.fnConfig = nullptr;
    CKwvtClient& client = StartClient(hooks);
    ASSERT_TRUE(client.RequestStatus({Lo(2)}));
    EXPECT_EQ(Completion(WM_CLIENT_PCSTATUS), 10048);
    ASSERT_TRUE(client.RequestOperate({Lo(2)}, {vtdgram::OP_REBOOT}));
    EXPECT_EQ(Completion(WM_CLIENT_OPERATED), 10048);
    EXPECT_FALSE(agent.Receive(milliseconds(0)));

    // Read again for the next request: a free port now.
    vtsettings::WriteInt("Interface", "IP Port", FreePortPair());
    ASSERT_TRUE(client.RequestStatus({Lo(2)}));
    EXPECT_EQ(Completion(WM_CLIENT_PCSTATUS), 0);
}

TEST_F(Worker, RequestsRefusedBeforeReadyWhileBusyAndWhenEmpty)
{
    std::promise<void> release;
    ClientHooks hooks = Hooks();
    hooks.fnOnThreadStart = [released = release.get_future().share()] {
        released.wait_for(std::chrono::seconds(5));
    };
    CKwvtClient& client = StartClient(hooks, false);
    EXPECT_FALSE(client.RequestSearch() || client.RequestStatus({Lo(2)}));
    release.set_value();
    ASSERT_TRUE(WaitIdle());
    EXPECT_FALSE(client.RequestStatus({}) || client.RequestOperate({}, {}) ||
                 client.RequestOperate({Lo(2)}, {}));

    ASSERT_TRUE(client.RequestStatus({Lo(2), Lo(3)}));
    EXPECT_FALSE(client.RequestSearch() || client.RequestStatus({Lo(4)}));
    EXPECT_EQ(client.m_nRequest, REQ_STATUS);
    ASSERT_EQ(Completion(WM_CLIENT_PCSTATUS), 0);
    // A refused request keeps the records; an accepted one drops those not taken yet.
    EXPECT_FALSE(client.RequestStatus({}));
    EXPECT_EQ(client.PopResult(), "127.0.0.2      ");
    ASSERT_TRUE(client.RequestStatus({Lo(4)}));
    ASSERT_EQ(Completion(WM_CLIENT_PCSTATUS), 0);
    EXPECT_EQ(PopAll(), std::vector<std::string>{"127.0.0.4      "});
}

class StopDuringReceive : public ClientFixture, public ::testing::WithParamInterface<int> {};

TEST_P(StopDuringReceive, ReturnsAtOnceWithZeroAndDiscardsPendingReports)
{
    const bool bSearch = GetParam() == WM_CLIENT_SEARCHED;
    vtagent::AgentLab& lab = StartLab({{.dwAddress = 0x7F000002, .strName = "QUIET", .bSilent = true},
                                       {.dwAddress = 0x7F000003, .strName = "QUIET", .bSilent = true}},
                                      {0x7F00000A});
    CKwvtClient& client = StartClient(Hooks(3000));
    ASSERT_TRUE(bSearch ? client.RequestSearch() : client.RequestStatus({Lo(2), Lo(3)}));
    ASSERT_TRUE(Eventually([&] { return lab.DatagramsReceived() == (bSearch ? 1u : 2u); }));
    std::this_thread::sleep_for(milliseconds(100));

    const auto t0 = std::chrono::steady_clock::now();
    client.Stop();
    m_pClient = nullptr;
    EXPECT_LT(std::chrono::steady_clock::now() - t0, milliseconds(1000));
    EXPECT_TRUE(m_bDiscarded);
    EXPECT_EQ(Messages(), (std::vector<Msg>{{GetParam(), 0, 0}, {WM_CLIENT_EXIT, 0, 0}}));
}

INSTANTIATE_TEST_SUITE_P(Net, StopDuringReceive, ::testing::Values(WM_CLIENT_PCSTATUS, WM_CLIENT_SEARCHED));
