#include "AgentProtocol.h"
#include "NetTestSupport.h"

#include "app/Settings.h"

#include <future>
#include <optional>

using namespace vttest;

using Worker = ClientFixture;

TEST_F(Worker, StatusPollRecordsAnsweredPcsThenSilentOnesInTargetOrder)
{
    StartLab({{.dwAddress = 0x7F000002, .strName = "FIFTEEN-CHARS-X", .bTwice = true},
              {.dwAddress = 0x7F000003, .strName = "QUIET", .bSilent = true},
              {.dwAddress = 0x7F000004, .strName = "EMPTY", .bNameEmpty = true},
              {.dwAddress = 0x7F000005, .strName = "LATE", .bWrongId = true},
              {.dwAddress = 0x7F000006, .strName = "LONG", .bLongName = true},
              {.dwAddress = 0x7F000001, .strName = "SELF"}});
    CKwvtClient& client = StartClient(Hooks());
    ASSERT_TRUE(client.RequestStatus({Lo(2), Lo(3), Lo(4), Lo(5), Lo(6), Lo(1)}));
    EXPECT_EQ(client.m_nRequest, REQ_STATUS);
    ASSERT_EQ(Completion(WM_CLIENT_PCSTATUS), 0);
    EXPECT_EQ(PopAll(), (std::vector<std::string>{"127.0.0.2      FIFTEEN-CHARS-X",
                                                  "127.0.0.4      127.0.0.4", "127.0.0.3      ",
                                                  "127.0.0.5      ", "127.0.0.6      ", "127.0.0.1      "}));
    const Msg answered{WM_CLIENT_PCSTATUS, 1, 1}, silent{WM_CLIENT_PCSTATUS, 1, 0};
    EXPECT_EQ(
        Messages(),
        (std::vector<Msg>{answered, answered, silent, silent, silent, silent, {WM_CLIENT_PCSTATUS, 0, 0}}));

    // Every request named the PC it went to.
    const auto agents = LabLog("agent"), lists = LabLog("list");
    ASSERT_EQ(agents.size(), 6u);
    for (std::size_t i = 0; i < agents.size(); ++i)
        EXPECT_EQ(lists[i], "[" + agents[i] + "]");
}

/// Worker tests on ports of their own range.
class OwnPorts : public ClientFixture {
protected:
    OwnPorts() : ClientFixture(41000, 1000) {}
};

using EarlyEnd = OwnPorts;

TEST_F(EarlyEnd, PollThatEveryPcAnswersEndsWithTheLastAnswerAndTheSameRecords)
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

class Junk : public OwnPorts, public ::testing::WithParamInterface<int> {};

TEST_P(Junk, DatagramsOfNoConcernDoNotHoldTheExchangeOpen)
{
    // A silent agent at the address asked; every 100 ms, 8 bytes of junk, replies that do not match the
    // request and matching replies from an address not asked. Each of them alone would have restarted
    // the quiet time for ever.
    const int nMsg = GetParam();
    constexpr int kQuietMs = 300;
    const std::uint32_t dwAsked = nMsg == WM_CLIENT_SEARCHED ? Lo(10) : Lo(2);
    auto junk = [nMsg](std::uint32_t dwId) -> std::vector<Reply> {
        const Bytes eight(8, 'J');
        if (nMsg == WM_CLIENT_PCSTATUS)
            return {{Lo(5), eight},
                    {Lo(2), vtagent::BuildNameReply(dwId + 1, "OLD")},
                    {Lo(6), vtagent::BuildNameReply(dwId, "STRANGER")}};
        if (nMsg == WM_CLIENT_OPERATED)
            return {{Lo(5), eight},
                    {Lo(2), vtagent::BuildOperateReply(dwId, vtdgram::OP_REBOOT, 1, 5)},
                    {Lo(2), vtagent::BuildOperateReply(dwId + 1, vtdgram::OP_REBOOT, 0, 5)},
                    {Lo(6), vtagent::BuildOperateReply(dwId, vtdgram::OP_REBOOT, 0, 5)}};
        return {{Lo(5), eight},
                {Lo(6), vtagent::BuildNameReply(dwId + 1, "PC")},
                {Lo(6), vtagent::BuildOperateReply(dwId, vtdgram::OP_REBOOT, 0, 5)}};
    };
    const int nAgentFd = BoundSocket(dwAsked, AgentPort());
    ASSERT_GE(nAgentFd, 0);
    std::map<std::uint32_t, int> senders;
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_addr.s_addr = Lo(1);
    server.sin_port = htons(m_wPort);

    CKwvtClient& client = StartClient(Hooks(kQuietMs));
    ASSERT_TRUE(nMsg == WM_CLIENT_PCSTATUS   ? client.RequestStatus({Lo(2)})
                : nMsg == WM_CLIENT_OPERATED ? client.RequestOperate({Lo(2)}, {vtdgram::OP_REBOOT})
                                             : client.RequestSearch());
    std::optional<std::uint32_t> id;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(6);
    while (client.m_bBusy && std::chrono::steady_clock::now() < end) {
        pollfd fd{nAgentFd, POLLIN, 0};
        if (::poll(&fd, 1, 100) > 0) {
            Bytes buf(2048);
            const ssize_t n = ::recv(nAgentFd, buf.data(), buf.size(), 0);
            id = vtagent::ParseRequest(buf.data(), static_cast<std::size_t>(std::max<ssize_t>(n, 0))).dwId;
        }
        for (const auto& [dwFrom, bytes] : id ? junk(*id) : std::vector<Reply>{}) {
            int& nFd = senders[dwFrom];
            nFd = nFd ? nFd : BoundSocket(dwFrom, 0);
            ::sendto(nFd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&server),
                     sizeof(server));
        }
    }
    const bool bEnded = !client.m_bBusy;
    ::close(nAgentFd);
    for (const auto& [dwFrom, nFd] : senders)
        ::close(nFd);
    ASSERT_TRUE(id.has_value());
    // Twenty quiet times of junk: the exchange must have ended meanwhile.
    EXPECT_TRUE(bEnded);
    EXPECT_EQ(Completion(nMsg), 0);
    EXPECT_EQ(PopAll(), nMsg == WM_CLIENT_PCSTATUS ? std::vector<std::string>{"127.0.0.2      "}
                                                   : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Net, Junk,
                         ::testing::Values(WM_CLIENT_PCSTATUS, WM_CLIENT_OPERATED, WM_CLIENT_SEARCHED));

TEST_F(Worker, DatagramOverTheBufferIsSkipped)
{
    Peer agent({Lo(2)}, AgentPort());
    CKwvtClient& client = StartClient(Hooks());
    ASSERT_TRUE(client.RequestStatus({Lo(2)}));
    agent.Serve([&] { return !client.m_bBusy; },
                [](const Datagram& d) -> std::vector<Reply> {
                    const std::uint32_t dwId = vtagent::ParseRequest(d.bytes.data(), d.bytes.size()).dwId;
                    Bytes big = vtagent::BuildNameReply(dwId, "BIG"); // valid but for its length
                    big.resize(3000);
                    vtagent::SetChecksum(big.data(), big.size());
                    return {{0, big}, {0, vtagent::BuildNameReply(dwId, "AFTER")}};
                });
    ASSERT_EQ(Completion(WM_CLIENT_PCSTATUS), 0);
    EXPECT_EQ(PopAll(), std::vector<std::string>{"127.0.0.2      AFTER"});
}

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

TEST_F(Worker, PortInUseEndsEveryRequestAtOnceAndThePortIsReadBeforeEachRequest)
{
    Peer blocker({0}, m_wPort), agents({Lo(2), Lo(10)}, AgentPort());
    vtsettings::WriteInt("Interface", "IP Port", m_wPort);
    ClientHooks hooks = Hooks();
    hooks.fnConfig = nullptr;
    CKwvtClient& client = StartClient(hooks);
    ASSERT_TRUE(client.RequestStatus({Lo(2)}));
    EXPECT_EQ(Completion(WM_CLIENT_PCSTATUS), 10048);
    ASSERT_TRUE(WaitIdle() && client.RequestOperate({Lo(2)}, {vtdgram::OP_REBOOT}));
    EXPECT_EQ(Completion(WM_CLIENT_OPERATED), 10048);
    ASSERT_TRUE(WaitIdle() && client.RequestSearch());
    EXPECT_EQ(Completion(WM_CLIENT_SEARCHED), 10048);
    EXPECT_TRUE(agents.Serve().empty());

    // Read again for the next request: a free port now.
    vtsettings::WriteInt("Interface", "IP Port", FreePortPair());
    ASSERT_TRUE(WaitIdle() && client.RequestStatus({Lo(2)}));
    EXPECT_EQ(Completion(WM_CLIENT_PCSTATUS, 2), 0);
}

TEST_F(Worker, RequestsRefusedBeforeReadyWhileBusyAndWhenEmpty)
{
    std::promise<void> release;
    ClientHooks hooks = Hooks();
    hooks.fnOnThreadStart = [released = release.get_future().share()] {
        released.wait_for(std::chrono::seconds(5));
    };
    CKwvtClient& client = StartClient(hooks, false);
    EXPECT_TRUE(client.m_bBusy);
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
    ASSERT_TRUE(WaitIdle());
    EXPECT_FALSE(client.RequestStatus({}));
    EXPECT_EQ(client.PopResult(), "127.0.0.2      ");
    ASSERT_TRUE(client.RequestStatus({Lo(4)}));
    ASSERT_EQ(Completion(WM_CLIENT_PCSTATUS, 2), 0);
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
