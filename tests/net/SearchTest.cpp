#include "AgentProtocol.h"
#include "NetTestSupport.h"

#include <deque>

using namespace vttest;

namespace {

struct Rounds {
    std::uint32_t nPool;           ///< PCs that answer: 127.0.0.3, 127.0.0.2, then 127.0.0.4 upwards
    std::size_t nPerRound;         ///< new PCs that answer one broadcast
    std::size_t nCopies;           ///< replies each of them sends
    std::vector<std::size_t> list; ///< PCs listed by each broadcast (28 + 4n bytes)
    std::size_t nRecords;
};

} // namespace

class SearchRounds : public ClientFixture, public ::testing::WithParamInterface<Rounds> {};

TEST_P(SearchRounds, EndAfterASilentRoundTheNinthRoundOr254Pcs)
{
    const Rounds& r = GetParam();
    constexpr int kQuietMs = 300;
    const ServerSocket agents(0x7F00000A, AgentPort());
    std::vector<std::uint32_t> addresses;
    std::deque<ServerSocket> pcs;
    for (std::uint32_t i = 0; i < r.nPool; ++i) {
        addresses.push_back(Lo(i < 2 ? 3 - i : i + 2));
        pcs.emplace_back(ntohl(addresses.back()));
    }
    CKwvtClient& client = StartClient(Hooks(kQuietMs));
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(client.RequestSearch());
    // Each broadcast is answered by up to nPerRound PCs of the pool that it does not list yet.
    std::vector<Bytes> log;
    for (int i = 0; i < 100; ++i) {
        const auto request = agents.Receive(milliseconds(100));
        if (!request && !client.m_bBusy)
            break;
        if (!request)
            continue;
        log.push_back(request->bytes);
        const vtagent::Request parsed = vtagent::ParseRequest(request->bytes.data(), request->bytes.size());
        for (std::size_t k = 0, nNew = 0; k < pcs.size() && nNew < r.nPerRound; ++k) {
            if (parsed.Lists(ntohl(addresses[k])))
                continue;
            ++nNew;
            for (std::size_t n = 0; n < r.nCopies; ++n)
                pcs[k].Send(request->dwFrom, request->wFromPort, vtagent::BuildNameReply(0, "PC"));
        }
    }
    ASSERT_EQ(Completion(WM_CLIENT_SEARCHED), 0);
    // Only reaching 254 PCs ends a search without waiting out the quiet time.
    EXPECT_GE(std::chrono::steady_clock::now() - t0, milliseconds(r.nRecords < 254 ? kQuietMs : 0));

    // Every broadcast lists the PCs found so far in answer order.
    std::vector<Bytes> broadcasts;
    for (std::size_t n : r.list)
        broadcasts.push_back(vtdgram::BuildSearchRequest({addresses.begin(), addresses.begin() + n}));
    EXPECT_EQ(log, broadcasts);
    std::vector<std::string> records;
    for (std::size_t i = 0; i < r.nRecords; ++i)
        records.push_back(vtdgram::AnsweredRecord(addresses[i], "PC"));
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
