#include "AgentProtocol.h"
#include "NetTestSupport.h"

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
