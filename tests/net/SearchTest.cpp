#include "AgentProtocol.h"
#include "NetTestSupport.h"

#include <fcntl.h>
#include <sched.h>

using namespace vttest;

namespace {

struct Rounds {
    std::uint32_t nPool;           ///< PCs that answer: 127.0.0.3, 127.0.0.2, then 127.0.0.4 upwards
    std::size_t nPerRound;         ///< new PCs that answer one broadcast
    int nCopies;                   ///< replies each of them sends
    std::vector<std::size_t> list; ///< PCs listed by each broadcast (28 + 4n bytes)
    std::size_t nRecords;
};

std::string Name(std::uint32_t dwPc)
{
    return "PC-" + std::to_string(ntohl(dwPc) & 0xFFFF);
}

/// Each broadcast is answered by up to nPerRound PCs of the pool that it does not list yet.
Peer::Handler Pool(std::vector<std::uint32_t> pool, std::size_t nPerRound, int nCopies)
{
    return [=](const Datagram& d) {
        const vtagent::Request request = vtagent::ParseRequest(d.bytes.data(), d.bytes.size());
        std::vector<Reply> replies;
        for (std::uint32_t dwPc : pool) {
            if (request.Lists(ntohl(dwPc)) || replies.size() == nPerRound * nCopies)
                continue;
            for (int i = 0; i < nCopies; ++i)
                replies.push_back({dwPc, vtagent::BuildNameReply(0, Name(dwPc))});
        }
        return replies;
    };
}

bool Sh(const std::string& strCommand)
{
    return std::system((strCommand + " >/dev/null 2>&1").c_str()) == 0;
}

bool EnterNamespace(const std::string& strName)
{
    const int fd = ::open(("/var/run/netns/" + strName).c_str(), O_RDONLY | O_CLOEXEC);
    const bool bOk = fd >= 0 && ::setns(fd, CLONE_NEWNET) == 0;
    if (fd >= 0)
        ::close(fd);
    return bOk;
}

} // namespace

class SearchRounds : public ClientFixture, public ::testing::WithParamInterface<Rounds> {};

TEST_P(SearchRounds, EndAfterASilentRoundTheNinthRoundOr254Pcs)
{
    const Rounds& r = GetParam();
    std::vector<std::uint32_t> pool;
    for (std::uint32_t i = 0; i < r.nPool; ++i)
        pool.push_back(Lo(i < 2 ? 3 - i : i + 2));
    Peer agents({Lo(10)}, AgentPort());
    CKwvtClient& client = StartClient(Hooks(300));
    ASSERT_TRUE(client.RequestSearch());
    EXPECT_EQ(client.m_nRequest, REQ_SEARCH);
    const auto log = agents.Serve([&] { return !client.m_bBusy; }, Pool(pool, r.nPerRound, r.nCopies));
    ASSERT_EQ(Completion(WM_CLIENT_SEARCHED), 0);

    // Every broadcast lists the PCs found so far in answer order.
    std::vector<Datagram> broadcasts;
    for (std::size_t n : r.list)
        broadcasts.push_back({Lo(10), vtdgram::BuildSearchRequest({pool.begin(), pool.begin() + n})});
    EXPECT_EQ(log, broadcasts);
    const auto records = PopAll();
    ASSERT_EQ(records.size(), r.nRecords);
    for (std::size_t i = 0; i < records.size(); ++i)
        EXPECT_EQ(records[i], vtdgram::AnsweredRecord(pool[i], Name(pool[i])));
    std::vector<Msg> expected(r.nRecords, Msg{WM_CLIENT_PCSTATUS, 1, 1});
    expected.push_back({WM_CLIENT_SEARCHED, 0, 0});
    EXPECT_EQ(Messages(), expected);
    EXPECT_GE(client.ReceiveBufferSize(), 1 << 20);
}

INSTANTIATE_TEST_SUITE_P(Net, SearchRounds,
                         ::testing::Values(Rounds{0, 0, 1, {0}, 0}, Rounds{2, 10, 2, {0, 2}, 2},
                                           Rounds{18, 1, 1, {0, 1, 2, 3, 4, 5, 6, 7, 8}, 9},
                                           Rounds{260, 260, 1, {0}, 254}));

using SearchSlow = ClientFixture;

TEST_F(SearchSlow, QuietTimeOfThreeSeconds)
{
    Peer agents({Lo(10)}, AgentPort());
    CKwvtClient& client = StartClient(Hooks(ClientHooks{}.nQuietMs));
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(client.RequestSearch());
    ASSERT_EQ(Completion(WM_CLIENT_SEARCHED), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, milliseconds(3000));
    EXPECT_EQ(agents.Serve(), (std::vector<Datagram>{{Lo(10), vtdgram::BuildSearchRequest({})}}));
}

TEST_F(SearchSlow, RealBroadcastBetweenTwoOwnNamespaces)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root for network namespaces";
    struct Namespaces {
        std::string strId = std::to_string(::getpid());
        ~Namespaces() { Sh("ip netns del vts" + strId + "; ip netns del vta" + strId); }
    } ns;
    const std::string strServer = "vts" + ns.strId, strAgents = "vta" + ns.strId;
    if (!Sh("set -e; S=" + strServer + "; A=" + strAgents +
            "; ip netns add $S; ip netns add $A;"
            " ip link add ${S}v netns $S type veth peer name ${A}v netns $A;"
            " ip -n $S addr add 10.77.0.1/24 dev ${S}v; ip -n $S link set ${S}v up;"
            " ip -n $S route add default dev ${S}v; ip -n $A link set ${A}v up;"
            " ip -n $A addr add 10.77.0.2/24 dev ${A}v; ip -n $A addr add 10.77.0.3/24 dev ${A}v"))
        GTEST_SKIP() << "network namespaces not available";
    // The lab's sockets are made by a thread inside the agents' namespace.
    std::thread([&] {
        if (EnterNamespace(strAgents))
            StartLab(
                {{.dwAddress = 0x0A4D0002, .strName = "PC-2"}, {.dwAddress = 0x0A4D0003, .strName = "PC-3"}},
                {0xFFFFFFFF});
    }).join();
    ASSERT_TRUE(m_pLab);

    ClientHooks hooks = Hooks();
    hooks.dwSearchDestination = 0xFFFFFFFFu;
    // Never fall back to the host's own network: without the namespace the worker stops.
    hooks.fnOnThreadStart = [strServer] {
        if (!EnterNamespace(strServer))
            throw std::runtime_error("setns");
    };
    CKwvtClient& client = StartClient(hooks);
    ASSERT_TRUE(client.RequestSearch());
    ASSERT_EQ(Completion(WM_CLIENT_SEARCHED), 0);
    EXPECT_EQ(PopAll(), (std::vector<std::string>{"10.77.0.2      PC-2", "10.77.0.3      PC-3"}));
    EXPECT_EQ(LabLog("len"), (std::vector<std::string>{"28", "36"}));
}
