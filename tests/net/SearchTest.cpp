#include "AgentProtocol.h"
#include "NetTestSupport.h"

#include <fcntl.h>
#include <sched.h>

using namespace vttest;

namespace {

struct Rounds {
    std::uint32_t nPool;           ///< PCs that answer: 127.0.0.3, 127.0.0.2, then 127.0.0.4 upwards
    std::size_t nPerRound;         ///< new PCs that answer one broadcast
    std::size_t nCopies;           ///< replies each of them sends
    std::vector<std::size_t> list; ///< PCs listed by each broadcast (28 + 4n bytes)
    std::size_t nRecords;
    int nQuietMs = 300;
};

} // namespace

class SearchRounds : public ClientFixture, public ::testing::WithParamInterface<Rounds> {};

TEST_P(SearchRounds, EndAfterASilentRoundTheNinthRoundOr254Pcs)
{
    const Rounds& r = GetParam();
    std::vector<std::uint32_t> pool;
    for (std::uint32_t i = 0; i < r.nPool; ++i)
        pool.push_back(Lo(i < 2 ? 3 - i : i + 2));
    Peer agents({Lo(10)}, AgentPort());
    CKwvtClient& client = StartClient(Hooks(r.nQuietMs));
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(client.RequestSearch());
    // Each broadcast is answered by up to nPerRound PCs of the pool that it does not list yet.
    const auto log = agents.Serve(
        [&] { return !client.m_bBusy; },
        [&](const Datagram& d) {
            const vtagent::Request request = vtagent::ParseRequest(d.bytes.data(), d.bytes.size());
            std::vector<Reply> replies;
            for (std::uint32_t dwPc : pool)
                if (!request.Lists(ntohl(dwPc)) && replies.size() < r.nPerRound * r.nCopies)
                    replies.insert(replies.end(), r.nCopies, {dwPc, vtagent::BuildNameReply(0, "PC")});
            return replies;
        });
    ASSERT_EQ(Completion(WM_CLIENT_SEARCHED), 0);
    // Only reaching 254 PCs ends a search without waiting out the quiet time.
    EXPECT_GE(std::chrono::steady_clock::now() - t0, milliseconds(r.nRecords < 254 ? r.nQuietMs : 0));

    // Every broadcast lists the PCs found so far in answer order.
    std::vector<Datagram> broadcasts;
    for (std::size_t n : r.list)
        broadcasts.push_back({Lo(10), vtdgram::BuildSearchRequest({pool.begin(), pool.begin() + n})});
    EXPECT_EQ(log, broadcasts);
    std::vector<std::string> records;
    for (std::size_t i = 0; i < r.nRecords; ++i)
        records.push_back(vtdgram::AnsweredRecord(pool[i], "PC"));
    EXPECT_EQ(PopAll(), records);
    std::vector<Msg> messages(r.nRecords, Msg{WM_CLIENT_PCSTATUS, 1, 1});
    messages.push_back({WM_CLIENT_SEARCHED, 0, 0});
    EXPECT_EQ(Messages(), messages);
    EXPECT_GE(client.ReceiveBufferSize(), 1 << 20);
}

INSTANTIATE_TEST_SUITE_P(Net, SearchRounds,
                         ::testing::Values(Rounds{0, 0, 1, {0}, 0}, Rounds{2, 10, 2, {0, 2}, 2},
                                           Rounds{18, 1, 1, {0, 1, 2, 3, 4, 5, 6, 7, 8}, 9},
                                           Rounds{260, 260, 1, {0}, 254}));

// The real quiet time: nobody answers, the search ends 3000 ms after its one broadcast.
INSTANTIATE_TEST_SUITE_P(Slow, SearchRounds,
                         ::testing::Values(Rounds{0, 0, 1, {0}, 0, ClientHooks{}.nQuietMs}));

using SearchSlow = ClientFixture;

TEST_F(SearchSlow, RealBroadcastInsideAnOwnNamespace)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root for network namespaces";
    // This thread, and the worker and lab threads it starts, live in the namespace until the test ends.
    struct Namespace {
        std::string strName = "vtnet" + std::to_string(::getpid());
        int nHome = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        ~Namespace()
        {
            ::setns(nHome, CLONE_NEWNET);
            ::close(nHome);
            std::system(("ip netns del " + strName + " 2>/dev/null").c_str());
        }
    } ns;
    const std::string strScript =
        "set -e; N=" + ns.strName + "; ip netns add $N; ip -n $N link add v0 type veth peer name v1;" +
        " for a in 1 2 3; do ip -n $N addr add 10.77.0.$a/24 dev v0; done;" +
        " for i in lo v0 v1; do ip -n $N link set $i up; done; ip -n $N route add default dev v0";
    const int fd = std::system(strScript.c_str()) == 0
                       ? ::open(("/var/run/netns/" + ns.strName).c_str(), O_RDONLY | O_CLOEXEC)
                       : -1;
    if (ns.nHome < 0 || fd < 0 || ::setns(fd, CLONE_NEWNET) != 0)
        GTEST_SKIP() << "network namespaces not available";
    ::close(fd);

    StartLab({{.dwAddress = 0x0A4D0002, .strName = "PC-2"}, {.dwAddress = 0x0A4D0003, .strName = "PC-3"}},
             {0xFFFFFFFF});
    ClientHooks hooks = Hooks();
    hooks.dwSearchDestination = 0xFFFFFFFFu;
    CKwvtClient& client = StartClient(hooks);
    ASSERT_TRUE(client.RequestSearch());
    ASSERT_EQ(Completion(WM_CLIENT_SEARCHED), 0);
    EXPECT_EQ(PopAll(), (std::vector<std::string>{"10.77.0.2      PC-2", "10.77.0.3      PC-3"}));
    EXPECT_EQ(LabLog("len"), (std::vector<std::string>{"28", "36"}));
}
