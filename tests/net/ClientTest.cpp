#include "TestAgents.h"

#include "app/Settings.h"
#include "net/Datagram.h"

#include <future>

using namespace vttest;
using Msg = Collector::Message;
using std::chrono::milliseconds;

namespace {

Reply Answer(const Received& rec, const std::string& strName)
{
    return {rec.dwDestination, NameReply(rec.bytes, strName)};
}

std::uint32_t IdOf(const Received& rec)
{
    return vtdgram::ReadU32(rec.bytes.data(), rec.bytes.size(), vtdgram::kOffId);
}

} // namespace

using StatusPoll = ClientFixture;

TEST_F(StatusPoll, AnsweredRecordsFirstThenSilentOnesThenEnd)
{
    LoopbackAgent agent(AgentPort(), [](const Received& rec) -> std::vector<Reply> {
        if (rec.dwDestination == Ip("127.0.0.2"))
            return {Answer(rec, "PC-ALPHA")};
        if (rec.dwDestination == Ip("127.0.0.4"))
            return {Answer(rec, "")};
        return {};
    });
    ASSERT_TRUE(agent.Ok());
    CKwvtClient& client = StartClient(Hooks());
    const std::vector<std::uint32_t> targets = {Ip("127.0.0.2"), Ip("127.0.0.3"), Ip("127.0.0.4")};
    ASSERT_TRUE(client.RequestStatus(targets));
    EXPECT_EQ(client.m_nRequest, REQ_STATUS);

    ASSERT_EQ(m_collector.WaitForCompletion(WM_CLIENT_PCSTATUS), 0);
    EXPECT_EQ(m_collector.Messages(), (std::vector<Msg>{{WM_CLIENT_PCSTATUS, 1, 1},
                                                        {WM_CLIENT_PCSTATUS, 1, 1},
                                                        {WM_CLIENT_PCSTATUS, 1, 0},
                                                        {WM_CLIENT_PCSTATUS, 0, 0}}));
    EXPECT_EQ(PopAll(client), (std::vector<std::string>{"127.0.0.2      PC-ALPHA", "127.0.0.4      127.0.0.4",
                                                        "127.0.0.3      "}));
    EXPECT_EQ(client.PopResult(), "");
    EXPECT_TRUE(WaitIdle(client));
    EXPECT_EQ(client.m_nRequest, REQ_NONE);

    const auto log = agent.Log();
    ASSERT_EQ(log.size(), 3u);
    for (std::size_t i = 0; i < log.size(); ++i) {
        const auto& bytes = log[i].bytes;
        ASSERT_EQ(bytes.size(), 32u);
        EXPECT_EQ(log[i].dwDestination, targets[i]);
        EXPECT_EQ(bytes[7], 'C');
        EXPECT_EQ(IdOf(log[i]), IdOf(log[0]));
        EXPECT_EQ(vtdgram::ReadU32(bytes.data(), 32, vtdgram::kOffParam), 1u);
        EXPECT_EQ(vtdgram::ReadU32(bytes.data(), 32, 24), targets[i]);
        EXPECT_EQ(vtdgram::ReadU32(bytes.data(), 32, 28), 0u);
        EXPECT_TRUE(vtdgram::VerifyChecksum(bytes.data(), bytes.size()));
    }
}

TEST_F(StatusPoll, SecondReplyFromSamePcGivesNoSecondRecord)
{
    LoopbackAgent agent(AgentPort(), [](const Received& rec) -> std::vector<Reply> {
        return {Answer(rec, "TWICE"), Answer(rec, "TWICE")};
    });
    CKwvtClient& client = StartClient(Hooks());
    ASSERT_TRUE(client.RequestStatus({Ip("127.0.0.2")}));
    ASSERT_EQ(m_collector.WaitForCompletion(WM_CLIENT_PCSTATUS), 0);
    EXPECT_EQ(PopAll(client), std::vector<std::string>{"127.0.0.2      TWICE"});
    EXPECT_EQ(m_collector.Messages().size(), 2u);
}

TEST_F(StatusPoll, RepliesThatDoNotMatchAreDropped)
{
    LoopbackAgent agent(AgentPort(), [](const Received& rec) -> std::vector<Reply> {
        const std::uint32_t dst = rec.dwDestination;
        if (dst == Ip("127.0.0.2")) { // late reply to an earlier poll
            auto late = rec.bytes;
            vtdgram::WriteU32(late.data(), late.size(), vtdgram::kOffId, IdOf(rec) - 1);
            return {{dst, NameReply(late, "LATE")}};
        }
        if (dst == Ip("127.0.0.3"))
            return {Answer(rec, "SIXTEEN-CHARS-XX")};
        if (dst == Ip("127.0.0.4")) {
            auto request = NameReply(rec.bytes, "KIND");
            request[vtdgram::kOffKind] = 'C';
            vtdgram::SetChecksum(request.data(), request.size());
            return {{dst, request}};
        }
        if (dst == Ip("127.0.0.5")) {
            auto bad = NameReply(rec.bytes, "SUM");
            bad[vtdgram::kOffChecksum] ^= 1;
            return {{dst, bad}};
        }
        return {Answer(rec, "FIFTEEN-CHARS-X")};
    });
    CKwvtClient& client = StartClient(Hooks());
    ASSERT_TRUE(client.RequestStatus({Ip("127.0.0.2"), Ip("127.0.0.3"), Ip("127.0.0.4"), Ip("127.0.0.5"),
                                      Ip("127.0.0.1"), Ip("127.0.0.6")}));
    ASSERT_EQ(m_collector.WaitForCompletion(WM_CLIENT_PCSTATUS), 0);
    EXPECT_EQ(PopAll(client), (std::vector<std::string>{"127.0.0.6      FIFTEEN-CHARS-X", "127.0.0.2      ",
                                                        "127.0.0.3      ", "127.0.0.4      ",
                                                        "127.0.0.5      ", "127.0.0.1      "}));
}

TEST_F(StatusPoll, DatagramOverBufferSizeIsSkipped)
{
    LoopbackAgent agent(AgentPort(), [](const Received& rec) -> std::vector<Reply> {
        auto big = NameReply(rec.bytes, "BIG");
        big.resize(3000, 0);
        vtdgram::SetChecksum(big.data(), big.size());
        return {{rec.dwDestination, big}, Answer(rec, "AFTER")};
    });
    CKwvtClient& client = StartClient(Hooks());
    ASSERT_TRUE(client.RequestStatus({Ip("127.0.0.2")}));
    ASSERT_EQ(m_collector.WaitForCompletion(WM_CLIENT_PCSTATUS), 0);
    EXPECT_EQ(PopAll(client), std::vector<std::string>{"127.0.0.2      AFTER"});
}

TEST_F(StatusPoll, BurstOfAFullRosterIsNotDropped)
{
    LoopbackAgent agent(AgentPort(),
                        [](const Received& rec) -> std::vector<Reply> { return {Answer(rec, "PC")}; });
    CKwvtClient& client = StartClient(Hooks(500));
    std::vector<std::uint32_t> targets;
    for (int i = 1; i <= 254; ++i)
        targets.push_back(Ip(("127.0.1." + std::to_string(i)).c_str()));
    ASSERT_TRUE(client.RequestStatus(targets));
    ASSERT_EQ(m_collector.WaitForCompletion(WM_CLIENT_PCSTATUS), 0);
    const auto records = PopAll(client);
    ASSERT_EQ(records.size(), 254u);
    for (const auto& strRecord : records)
        EXPECT_EQ(strRecord.substr(15), "PC") << strRecord;
    EXPECT_GE(client.ReceiveBufferSize(), 1 << 20);
    RecordProperty("ReceiveBufferGranted", client.ReceiveBufferSize());
    std::printf("receive buffer granted: %d bytes\n", client.ReceiveBufferSize());
}

using Operation = ClientFixture;

TEST_F(Operation, OnlyNonzeroResultCodesAreRecorded)
{
    LoopbackAgent agent(AgentPort(), [](const Received& rec) -> std::vector<Reply> {
        if (rec.dwDestination == Ip("127.0.0.2")) {
            auto other = rec.bytes;
            vtdgram::WriteU16(other.data(), other.size(), vtdgram::kOffCommand, vtdgram::OP_REBOOT);
            return {{rec.dwDestination, CodeReply(rec.bytes, 0)}, {rec.dwDestination, CodeReply(other, 7)}};
        }
        return {{rec.dwDestination, CodeReply(rec.bytes, 5)}};
    });
    ClientHooks hooks = Hooks();
    hooks.fnLocalAddresses = [] { return std::vector<std::uint32_t>{}; };
    CKwvtClient& client = StartClient(hooks);
    const std::uint32_t dwWord = (1u << 16) | vtdgram::OP_SHUTDOWN;
    ASSERT_TRUE(client.RequestOperate({Ip("127.0.0.2"), Ip("127.0.0.3")}, {dwWord, dwWord}));
    EXPECT_EQ(client.m_nRequest, REQ_OPERATE);
    ASSERT_EQ(m_collector.WaitForCompletion(WM_CLIENT_OPERATED), 0);
    EXPECT_EQ(m_collector.Messages(),
              (std::vector<Msg>{{WM_CLIENT_OPERATED, 1, 0}, {WM_CLIENT_OPERATED, 0, 0}}));
    EXPECT_EQ(PopAll(client), std::vector<std::string>{"127.0.0.3      5"});
    for (const auto& rec : agent.Log()) {
        EXPECT_EQ(vtdgram::ReadU16(rec.bytes.data(), rec.bytes.size(), vtdgram::kOffCommand), 4);
        EXPECT_EQ(vtdgram::ReadU16(rec.bytes.data(), rec.bytes.size(), vtdgram::kOffForce), 1);
    }
}

TEST_F(Operation, OwnAddressIsSentLastWithItsOwnWord)
{
    LoopbackAgent agent(AgentPort(), [](const Received& rec) -> std::vector<Reply> {
        return {{rec.dwDestination, CodeReply(rec.bytes, 1)}};
    });
    ClientHooks hooks = Hooks();
    hooks.fnLocalAddresses = [] { return std::vector<std::uint32_t>{Ip("10.9.9.9"), Ip("127.0.0.3")}; };
    CKwvtClient& client = StartClient(hooks);
    const std::uint32_t dwForcedShutdown = (1u << 16) | vtdgram::OP_SHUTDOWN;
    ASSERT_TRUE(client.RequestOperate({Ip("127.0.0.2"), Ip("127.0.0.3"), Ip("127.0.0.4")},
                                      {vtdgram::OP_REBOOT, dwForcedShutdown, vtdgram::OP_REBOOT}));
    ASSERT_EQ(m_collector.WaitForCompletion(WM_CLIENT_OPERATED), 0);
    const auto log = agent.Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].dwDestination, Ip("127.0.0.2"));
    EXPECT_EQ(log[1].dwDestination, Ip("127.0.0.4"));
    EXPECT_EQ(log[2].dwDestination, Ip("127.0.0.3"));
    EXPECT_EQ(vtdgram::ReadU16(log[2].bytes.data(), 32, vtdgram::kOffCommand), 4);
    EXPECT_EQ(vtdgram::ReadU16(log[2].bytes.data(), 32, vtdgram::kOffForce), 1);
    EXPECT_EQ(vtdgram::ReadU16(log[1].bytes.data(), 32, vtdgram::kOffCommand), 2);
    // Only replies carrying the operation last sent count.
    EXPECT_EQ(PopAll(client), std::vector<std::string>{"127.0.0.3      1"});
}

using Worker = ClientFixture;

TEST_F(Worker, PortInUseEndsEveryRequestAtOnce)
{
    Listener blocker(0, m_wPort);
    ASSERT_TRUE(blocker.Ok());
    LoopbackAgent agent(AgentPort(), [](const Received&) { return std::vector<Reply>{}; });
    ClientHooks hooks = Hooks();
    hooks.dwSearchDestination = 0x7F00000A;
    CKwvtClient& client = StartClient(hooks);
    ASSERT_TRUE(client.RequestStatus({Ip("127.0.0.2")}));
    EXPECT_EQ(m_collector.WaitForCompletion(WM_CLIENT_PCSTATUS), 10048);
    ASSERT_TRUE(WaitIdle(client));
    ASSERT_TRUE(client.RequestOperate({Ip("127.0.0.2")}, {vtdgram::OP_REBOOT}));
    EXPECT_EQ(m_collector.WaitForCompletion(WM_CLIENT_OPERATED), 10048);
    ASSERT_TRUE(WaitIdle(client));
    ASSERT_TRUE(client.RequestSearch());
    EXPECT_EQ(m_collector.WaitForCompletion(WM_CLIENT_SEARCHED), 10048);
    EXPECT_EQ(m_collector.Messages().size(), 3u);
    EXPECT_TRUE(blocker.Collect(1, milliseconds(50)).empty());
    EXPECT_TRUE(agent.Log().empty());
}

TEST_F(Worker, RequestsRefusedBeforeReadyAndWhileBusy)
{
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    ClientHooks hooks = Hooks();
    hooks.fnOnThreadStart = [released] { released.wait_for(std::chrono::seconds(5)); };
    m_pClient = CKwvtClient::Start(&m_collector, hooks);
    ASSERT_NE(m_pClient, nullptr);
    CKwvtClient& client = *m_pClient;
    EXPECT_TRUE(client.m_bBusy);
    EXPECT_FALSE(client.RequestSearch());
    EXPECT_FALSE(client.RequestStatus({Ip("127.0.0.2")}));
    release.set_value();
    ASSERT_TRUE(WaitIdle(client));

    EXPECT_FALSE(client.RequestStatus({}));
    EXPECT_FALSE(client.RequestOperate({}, {}));
    EXPECT_FALSE(client.RequestOperate({Ip("127.0.0.2")}, {}));
    ASSERT_TRUE(client.RequestStatus({Ip("127.0.0.2")}));
    EXPECT_FALSE(client.RequestSearch());
    EXPECT_FALSE(client.RequestStatus({Ip("127.0.0.3")}));
    EXPECT_EQ(client.m_nRequest, REQ_STATUS);
    EXPECT_EQ(m_collector.WaitForCompletion(WM_CLIENT_PCSTATUS), 0);
    EXPECT_EQ(PopAll(client), std::vector<std::string>{"127.0.0.2      "});
}

TEST_F(Worker, NewRequestDropsRecordsEmptyOneKeepsThem)
{
    LoopbackAgent agent(AgentPort(), [](const Received& rec) -> std::vector<Reply> {
        if (rec.dwDestination == Ip("127.0.0.9"))
            return {};
        return {Answer(rec, "A")};
    });
    CKwvtClient& client = StartClient(Hooks());
    ASSERT_TRUE(client.RequestStatus({Ip("127.0.0.2"), Ip("127.0.0.3")}));
    ASSERT_EQ(m_collector.WaitForCompletion(WM_CLIENT_PCSTATUS), 0);
    ASSERT_TRUE(WaitIdle(client));
    EXPECT_EQ(client.PopResult(), "127.0.0.2      A");
    EXPECT_FALSE(client.RequestStatus({}));
    EXPECT_EQ(client.PopResult(), "127.0.0.3      A");

    ASSERT_TRUE(client.RequestStatus({Ip("127.0.0.2")}));
    ASSERT_EQ(m_collector.WaitForCompletion(WM_CLIENT_PCSTATUS, milliseconds(10000), 2), 0);
    ASSERT_TRUE(WaitIdle(client));
    ASSERT_TRUE(client.RequestStatus({Ip("127.0.0.9")}));
    ASSERT_EQ(m_collector.WaitForCompletion(WM_CLIENT_PCSTATUS, milliseconds(10000), 3), 0);
    EXPECT_EQ(PopAll(client), std::vector<std::string>{"127.0.0.9      "});
}

TEST_F(Worker, StopDuringReceiveReturnsAtOnceAndDiscards)
{
    LoopbackAgent agent(AgentPort(), [](const Received&) { return std::vector<Reply>{}; });
    CKwvtClient& client = StartClient(Hooks(3000));
    ASSERT_TRUE(client.RequestStatus({Ip("127.0.0.2"), Ip("127.0.0.3")}));
    ASSERT_TRUE(agent.WaitForCount(2, milliseconds(5000)));
    std::this_thread::sleep_for(milliseconds(100));

    const auto t0 = std::chrono::steady_clock::now();
    client.Stop();
    m_pClient = nullptr;
    const auto elapsed = std::chrono::steady_clock::now() - t0;
    EXPECT_LT(elapsed, milliseconds(1000));
    EXPECT_TRUE(m_collector.Discarded());
    EXPECT_EQ(m_collector.Messages(), (std::vector<Msg>{{WM_CLIENT_PCSTATUS, 0, 0}, {WM_CLIENT_EXIT, 0, 0}}));
}

TEST_F(Worker, StopWhenIdleEndsTheLoopWithZero)
{
    CKwvtClient& client = StartClient(Hooks());
    client.Stop();
    m_pClient = nullptr;
    EXPECT_TRUE(m_collector.Discarded());
    EXPECT_EQ(m_collector.Messages(), (std::vector<Msg>{{WM_CLIENT_EXIT, 0, 0}}));
}

TEST_F(Worker, FailingStartHookEndsTheLoopWithMinusOne)
{
    ClientHooks hooks = Hooks();
    hooks.fnOnThreadStart = [] { throw std::runtime_error("no"); };
    m_pClient = CKwvtClient::Start(&m_collector, hooks);
    ASSERT_NE(m_pClient, nullptr);
    for (int i = 0; i < 500 && m_collector.Messages().empty(); ++i)
        std::this_thread::sleep_for(milliseconds(2));
    EXPECT_EQ(m_collector.Messages(), (std::vector<Msg>{{WM_CLIENT_EXIT, -1, 0}}));
    EXPECT_FALSE(m_pClient->RequestSearch());
}

TEST_F(Worker, PortAndAddressComeFromSettingsBeforeEveryRequest)
{
    RedirectSettings();
    LoopbackAgent first(AgentPort(),
                        [](const Received& rec) -> std::vector<Reply> { return {Answer(rec, "ONE")}; });
    const std::uint16_t wOther = FreePortPair();
    ASSERT_NE(wOther, 0);
    LoopbackAgent second(static_cast<std::uint16_t>(wOther + 1),
                         [](const Received& rec) -> std::vector<Reply> { return {Answer(rec, "TWO")}; });
    vtsettings::WriteInt("Interface", "IP Address", 0x7F000001);
    vtsettings::WriteInt("Interface", "IP Port", m_wPort);
    ClientHooks hooks;
    hooks.nQuietMs = 200;
    CKwvtClient& client = StartClient(hooks);
    ASSERT_TRUE(client.RequestStatus({Ip("127.0.0.2")}));
    ASSERT_EQ(m_collector.WaitForCompletion(WM_CLIENT_PCSTATUS), 0);
    EXPECT_EQ(PopAll(client), std::vector<std::string>{"127.0.0.2      ONE"});

    vtsettings::WriteInt("Interface", "IP Port", wOther);
    ASSERT_TRUE(WaitIdle(client));
    ASSERT_TRUE(client.RequestStatus({Ip("127.0.0.2")}));
    ASSERT_EQ(m_collector.WaitForCompletion(WM_CLIENT_PCSTATUS, milliseconds(10000), 2), 0);
    EXPECT_EQ(PopAll(client), std::vector<std::string>{"127.0.0.2      TWO"});
    ASSERT_EQ(first.Log().size(), 1u);
    EXPECT_EQ(first.Log()[0].dwSource, Ip("127.0.0.1"));

    // "IP Address" naming no local address: the bind fails.
    vtsettings::WriteInt("Interface", "IP Address", 0x0A090909);
    ASSERT_TRUE(WaitIdle(client));
    ASSERT_TRUE(client.RequestStatus({Ip("127.0.0.2")}));
    EXPECT_EQ(m_collector.WaitForCompletion(WM_CLIENT_PCSTATUS, milliseconds(10000), 3), 10049);
    vtsettings::WriteInt("Interface", "IP Address", 0);
}
