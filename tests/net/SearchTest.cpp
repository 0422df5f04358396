#include "TestAgents.h"

#include "net/Datagram.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <string>
#include <unistd.h>

using namespace vttest;
using Msg = Collector::Message;
using std::chrono::milliseconds;

namespace {

constexpr std::uint32_t kSearchDestination = 0x7F00000A; // 127.0.0.10, host order

std::vector<std::uint32_t> Listed(const Received& rec)
{
    std::vector<std::uint32_t> listed;
    for (std::size_t off = vtdgram::kHeaderSize; off + 4 <= rec.bytes.size(); off += 4) {
        std::uint32_t dw = 0;
        std::memcpy(&dw, rec.bytes.data() + off, 4);
        if (dw == 0)
            break;
        listed.push_back(dw);
    }
    return listed;
}

std::vector<std::size_t> Sizes(const std::vector<Received>& log)
{
    std::vector<std::size_t> sizes;
    for (const auto& rec : log)
        sizes.push_back(rec.bytes.size());
    return sizes;
}

/// Answers a search for every PC of the pool that the request does not list yet, at most
/// nPerRound of them per broadcast.
LoopbackAgent::Handler PoolAgent(std::vector<std::uint32_t> pool, std::size_t nPerRound)
{
    return [pool, nPerRound](const Received& rec) {
        std::vector<Reply> replies;
        const auto listed = Listed(rec);
        for (std::uint32_t dwPc : pool) {
            if (replies.size() >= nPerRound)
                break;
            if (std::find(listed.begin(), listed.end(), dwPc) == listed.end())
                replies.push_back({dwPc, NameReply(rec.bytes, "PC-" + vtdgram::IpText(dwPc).substr(8))});
        }
        return replies;
    };
}

} // namespace

class Search : public ClientFixture {
protected:
    ClientHooks SearchHooks(int nQuietMs = 200) const
    {
        ClientHooks hooks = Hooks(nQuietMs);
        hooks.dwSearchDestination = kSearchDestination;
        return hooks;
    }
};

TEST_F(Search, NobodyAnswersOneBroadcastAndNoError)
{
    LoopbackAgent agent(AgentPort(), [](const Received&) { return std::vector<Reply>{}; });
    CKwvtClient& client = StartClient(SearchHooks());
    ASSERT_TRUE(client.RequestSearch());
    EXPECT_EQ(client.m_nRequest, REQ_SEARCH);
    ASSERT_EQ(m_collector.WaitForCompletion(WM_CLIENT_SEARCHED), 0);
    const auto log = agent.Log();
    ASSERT_EQ(Sizes(log), std::vector<std::size_t>{28});
    EXPECT_EQ(log[0].dwDestination, Ip("127.0.0.10"));
    EXPECT_EQ(vtdgram::ReadU32(log[0].bytes.data(), 28, vtdgram::kOffChecksum), 582u);
    EXPECT_EQ(PopAll(client), std::vector<std::string>{});
}

TEST_F(Search, TwoPcsThenSilence)
{
    LoopbackAgent agent(AgentPort(), PoolAgent({Ip("127.0.0.3"), Ip("127.0.0.2")}, 10));
    CKwvtClient& client = StartClient(SearchHooks());
    ASSERT_TRUE(client.RequestSearch());
    ASSERT_EQ(m_collector.WaitForCompletion(WM_CLIENT_SEARCHED), 0);
    const auto log = agent.Log();
    ASSERT_EQ(Sizes(log), (std::vector<std::size_t>{28, 36}));
    EXPECT_EQ(Listed(log[1]), (std::vector<std::uint32_t>{Ip("127.0.0.3"), Ip("127.0.0.2")}));
    EXPECT_EQ(m_collector.Messages(),
              (std::vector<Msg>{
                  {WM_CLIENT_PCSTATUS, 1, 1}, {WM_CLIENT_PCSTATUS, 1, 1}, {WM_CLIENT_SEARCHED, 0, 0}}));
    EXPECT_EQ(PopAll(client), (std::vector<std::string>{"127.0.0.3      PC-3", "127.0.0.2      PC-2"}));
}

TEST_F(Search, AtMostNineRounds)
{
    std::vector<std::uint32_t> pool;
    for (int i = 2; i < 20; ++i)
        pool.push_back(Ip(("127.0.0." + std::to_string(i)).c_str()));
    LoopbackAgent agent(AgentPort(), PoolAgent(pool, 1));
    CKwvtClient& client = StartClient(SearchHooks());
    ASSERT_TRUE(client.RequestSearch());
    ASSERT_EQ(m_collector.WaitForCompletion(WM_CLIENT_SEARCHED), 0);
    EXPECT_EQ(Sizes(agent.Log()), (std::vector<std::size_t>{28, 32, 36, 40, 44, 48, 52, 56, 60}));
    EXPECT_EQ(PopAll(client).size(), 9u);
}

TEST_F(Search, EndsAt254Pcs)
{
    std::vector<std::uint32_t> pool;
    for (int i = 1; i <= 260; ++i)
        pool.push_back(
            Ip(("127.0." + std::to_string(2 + i / 200) + "." + std::to_string(1 + i % 200)).c_str()));
    LoopbackAgent agent(AgentPort(), PoolAgent(pool, pool.size()));
    CKwvtClient& client = StartClient(SearchHooks(500));
    ASSERT_TRUE(client.RequestSearch());
    ASSERT_EQ(m_collector.WaitForCompletion(WM_CLIENT_SEARCHED), 0);
    EXPECT_EQ(Sizes(agent.Log()), std::vector<std::size_t>{28});
    EXPECT_EQ(PopAll(client).size(), 254u);
}

TEST_F(Search, RepeatedLoopbackAndLongNamedRepliesIgnored)
{
    LoopbackAgent agent(AgentPort(), [](const Received& rec) -> std::vector<Reply> {
        if (!Listed(rec).empty())
            return {};
        return {{Ip("127.0.0.2"), NameReply(rec.bytes, "")},
                {Ip("127.0.0.2"), NameReply(rec.bytes, "AGAIN")},
                {Ip("127.0.0.1"), NameReply(rec.bytes, "SELF")},
                {Ip("127.0.0.4"), NameReply(rec.bytes, "SIXTEEN-CHARS-XX")}};
    });
    CKwvtClient& client = StartClient(SearchHooks());
    ASSERT_TRUE(client.RequestSearch());
    ASSERT_EQ(m_collector.WaitForCompletion(WM_CLIENT_SEARCHED), 0);
    EXPECT_EQ(PopAll(client), std::vector<std::string>{"127.0.0.2      127.0.0.2"});
    EXPECT_EQ(Sizes(agent.Log()), (std::vector<std::size_t>{28, 32}));
}

TEST_F(Search, StopEndsTheSearchWithZero)
{
    LoopbackAgent agent(AgentPort(), [](const Received&) { return std::vector<Reply>{}; });
    CKwvtClient& client = StartClient(SearchHooks(3000));
    ASSERT_TRUE(client.RequestSearch());
    ASSERT_TRUE(agent.WaitForCount(1, milliseconds(5000)));
    client.Stop();
    m_pClient = nullptr;
    EXPECT_EQ(m_collector.Messages(), (std::vector<Msg>{{WM_CLIENT_SEARCHED, 0, 0}, {WM_CLIENT_EXIT, 0, 0}}));
    EXPECT_TRUE(m_collector.Discarded());
}

using SearchSlow = Search;

TEST_F(SearchSlow, QuietTimeOfThreeSeconds)
{
    LoopbackAgent agent(AgentPort(), [](const Received&) { return std::vector<Reply>{}; });
    ClientHooks hooks = SearchHooks(3000);
    ASSERT_EQ(ClientHooks{}.nQuietMs, 3000);
    CKwvtClient& client = StartClient(hooks);
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(client.RequestSearch());
    ASSERT_EQ(m_collector.WaitForCompletion(WM_CLIENT_SEARCHED), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, milliseconds(3000));
    EXPECT_EQ(Sizes(agent.Log()), std::vector<std::size_t>{28});
}

namespace {

bool Run(const std::string& strCommand)
{
    return std::system((strCommand + " >/dev/null 2>&1").c_str()) == 0;
}

/// Two network namespaces joined by a veth pair, removed again on destruction.
class NamespacePair {
public:
    NamespacePair()
    {
        const std::string strId = std::to_string(::getpid());
        m_strServer = "vtnet" + strId + "s";
        m_strAgents = "vtnet" + strId + "a";
        const std::string strServerIf = "vtv" + strId + "s";
        const std::string strAgentIf = "vtv" + strId + "a";
        Remove();
        m_bOk = Run("ip netns add " + m_strServer) && Run("ip netns add " + m_strAgents) &&
                Run("ip link add " + strServerIf + " netns " + m_strServer + " type veth peer name " +
                    strAgentIf + " netns " + m_strAgents) &&
                Run("ip -n " + m_strServer + " addr add 10.77.0.1/24 dev " + strServerIf) &&
                Run("ip -n " + m_strAgents + " addr add 10.77.0.2/24 dev " + strAgentIf) &&
                Run("ip -n " + m_strAgents + " addr add 10.77.0.3/24 dev " + strAgentIf) &&
                Run("ip -n " + m_strServer + " link set lo up") &&
                Run("ip -n " + m_strAgents + " link set lo up") &&
                Run("ip -n " + m_strServer + " link set " + strServerIf + " up") &&
                Run("ip -n " + m_strAgents + " link set " + strAgentIf + " up") &&
                Run("ip -n " + m_strServer + " route add default dev " + strServerIf) &&
                Run("ip -n " + m_strAgents + " route add default dev " + strAgentIf);
    }
    ~NamespacePair() { Remove(); }
    NamespacePair(const NamespacePair&) = delete;
    NamespacePair& operator=(const NamespacePair&) = delete;

    bool Ok() const { return m_bOk; }
    const std::string& Server() const { return m_strServer; }
    const std::string& Agents() const { return m_strAgents; }

    /// Moves the calling thread into the namespace.
    static bool Enter(const std::string& strName)
    {
        const int fd = ::open(("/var/run/netns/" + strName).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        const bool bOk = ::setns(fd, CLONE_NEWNET) == 0;
        ::close(fd);
        return bOk;
    }

private:
    void Remove()
    {
        Run("ip netns del " + m_strServer);
        Run("ip netns del " + m_strAgents);
    }

    std::string m_strServer;
    std::string m_strAgents;
    bool m_bOk = false;
};

} // namespace

TEST_F(SearchSlow, RealBroadcastInsideOwnNamespace)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root for network namespaces";
    NamespacePair ns;
    if (!ns.Ok())
        GTEST_SKIP() << "network namespaces not available";

    // The agents live in their namespace: their socket is made by a thread that moved there.
    std::unique_ptr<LoopbackAgent> agent;
    std::thread maker([&] {
        if (NamespacePair::Enter(ns.Agents()))
            agent = std::make_unique<LoopbackAgent>(AgentPort(),
                                                    PoolAgent({Ip("10.77.0.2"), Ip("10.77.0.3")}, 10));
    });
    maker.join();
    ASSERT_TRUE(agent && agent->Ok());

    ClientHooks hooks = Hooks();
    const std::string strServer = ns.Server();
    // Never fall back to the host's own network: without the namespace the worker stops.
    hooks.fnOnThreadStart = [strServer] {
        if (!NamespacePair::Enter(strServer))
            throw std::runtime_error("setns");
    };
    CKwvtClient& client = StartClient(hooks);
    ASSERT_TRUE(client.RequestSearch());
    ASSERT_EQ(m_collector.WaitForCompletion(WM_CLIENT_SEARCHED), 0);
    const auto log = agent->Log();
    ASSERT_EQ(Sizes(log), (std::vector<std::size_t>{28, 36}));
    EXPECT_EQ(log[0].dwDestination, Ip("255.255.255.255"));
    EXPECT_EQ(log[0].dwSource, Ip("10.77.0.1"));
    EXPECT_EQ(PopAll(client), (std::vector<std::string>{"10.77.0.2      PC-2", "10.77.0.3      PC-3"}));
    client.Stop();
    m_pClient = nullptr;
    agent.reset();
}
