// The agent's decisions without sockets: fake addresses, a recording power control, and a
// clock the tests move.
#include "AgentCore.h"
#include "AgentProtocol.h"

#include <gtest/gtest.h>

using namespace vtagentd;
using vtagent::BuildRequest;
using vtdgram::BuildOperateReply;
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

namespace {

constexpr std::uint32_t kOwn = 0x0A0D000B;      // 10.13.0.11, this PC
constexpr std::uint32_t kOther = 0x0A0D000C;    // 10.13.0.12, another PC
constexpr std::uint32_t kServer = 0x0A0D0001;   // 10.13.0.1
constexpr std::uint32_t kOutsider = 0x0A0E0001; // 10.14.0.1

class FakeHost final : public HostAddresses {
public:
    std::vector<std::uint32_t> OwnAddresses() override { return {0x7F000001, kOwn}; }
    std::vector<Ipv4Net> OwnNetworks() override { return {{0x7F000000, 8}, {0x0A0D0000, 24}}; }
};

class FakePower final : public PowerControl {
public:
    std::uint32_t Prepare(const PowerOperation& op) override
    {
        m_prepared.push_back(std::string(op.Word()) + ' ' + std::string(op.Mode()));
        return m_dwResult;
    }
    void CarryOut(const PowerOperation&) override {}

    std::uint32_t m_dwResult = kResultAccepted;
    std::vector<std::string> m_prepared;
};

struct Agent {
    explicit Agent(std::vector<Ipv4Net> allow = {})
        : core("LAB-01", std::move(allow), false, host, power,
               [this](const std::string& strLine) { log.push_back(strLine); })
    {
    }
    AgentCore::Answer Send(const Bytes& bytes, std::uint32_t dwFrom = kServer,
                           AgentCore::Clock::duration at = {})
    {
        return core.Handle(bytes.data(), bytes.size(), dwFrom, 9000, t0 + at);
    }

    FakeHost host;
    FakePower power;
    std::vector<std::string> log;
    AgentCore core;
    AgentCore::Clock::time_point t0 = AgentCore::Clock::now();
};

Bytes Operate(std::uint32_t dwId, std::uint16_t wCommand, std::uint16_t wForce, std::uint32_t dwTo = kOwn)
{
    return BuildRequest(dwId, wCommand, wForce, 1, {dwTo});
}

} // namespace

// Every operation, carried out or not, leaves one log line; nothing else does.
TEST(AgentCore, AnswersEachRequestAsTheRulesSay)
{
    const Bytes status = BuildRequest(5, 0, 0, 1, {kOwn});
    Bytes badSum = status, replyKind = status, trailing = status,
          unended(status.begin(), status.begin() + 28);
    badSum[16] ^= 1;
    replyKind[7] = 'R';
    trailing.push_back(0);
    for (Bytes* pBytes : {&replyKind, &trailing, &unended})
        vtdgram::SetChecksum(pBytes->data(), pBytes->size());
    const std::uint8_t mac[6] = {2, 0, 0, 0, 0, 1};
    const auto wake = vtdgram::BuildWakePacket(mac);
    const auto named = [](std::uint32_t dwId) { return vtdgram::BuildNameReply(dwId, "LAB-01"); };
    const struct {
        const char* pszCase;
        Bytes request;
        Bytes reply;
        const char* pszPrepared; ///< and carried out
        const char* pszLog;
    } cases[] = {
        {"search listing others", BuildRequest(0, 0, 0, 0, {kOther, kServer}), named(0), nullptr, nullptr},
        {"search listing this PC", BuildRequest(0, 0, 0, 0, {kOther, kOwn}), {}, nullptr, nullptr},
        {"status for this PC", BuildRequest(77, 0, 0, 1, {kOwn}), named(77), nullptr, nullptr},
        {"status for another PC", BuildRequest(77, 0, 0, 1, {kOther}), {}, nullptr, nullptr},
        {"status naming two PCs", BuildRequest(77, 0, 0, 1, {kOwn, kOther}), {}, nullptr, nullptr},
        {"reboot", Operate(8, 2, 0), BuildOperateReply(8, 2, 0, 0), "reboot plain",
         "reboot from 10.13.0.1: 0 accepted"},
        {"forcible shutdown", Operate(9, 4, 1), BuildOperateReply(9, 4, 1, 0), "shutdown force",
         "forcible shutdown from 10.13.0.1: 0 accepted"},
        {"operation for another PC",
         Operate(10, 2, 0, kOther),
         {},
         nullptr,
         "reboot from 10.13.0.1 for 10.13.0.12: not this PC, ignored"},
        {"unknown command", Operate(11, 3, 0), BuildOperateReply(11, 3, 0, kResultUnknownOperation), nullptr,
         "operation 3 (force 0) from 10.13.0.1: 2 unknown operation"},
        {"unknown force flag", Operate(12, 4, 2), BuildOperateReply(12, 4, 2, kResultUnknownOperation),
         nullptr, "operation 4 (force 2) from 10.13.0.1: 2 unknown operation"},
        {"wrong checksum", badSum, {}, nullptr, nullptr},
        {"reply kind", replyKind, {}, nullptr, nullptr},
        {"byte after the list", trailing, {}, nullptr, nullptr},
        {"list without its end", unended, {}, nullptr, nullptr},
        {"23 bytes", Bytes(status.begin(), status.begin() + 23), {}, nullptr, nullptr},
        {"Wake-on-LAN packet", Bytes(wake.begin(), wake.end()), {}, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszCase);
        Agent agent;
        const auto answer = agent.Send(c.request);
        EXPECT_EQ(answer.reply, c.reply);
        EXPECT_EQ(agent.power.m_prepared,
                  c.pszPrepared ? std::vector<std::string>{c.pszPrepared} : std::vector<std::string>{});
        EXPECT_EQ(answer.carryOut.has_value(), c.pszPrepared != nullptr);
        EXPECT_EQ(agent.log, c.pszLog ? std::vector<std::string>{c.pszLog} : std::vector<std::string>{});
    }
    Agent refusing;
    refusing.power.m_dwResult = kResultRefused;
    EXPECT_FALSE(refusing.Send(Operate(2, 4, 0)).carryOut);
    EXPECT_EQ(refusing.log, std::vector<std::string>{"shutdown from 10.13.0.1: 1 refused by policy"});
}

// The power control answers 7 from the second call on: a repeat carries the first answer, and
// a new operation shows that a code other than 0 is the reply and is not carried out.
TEST(AgentCore, RepeatWithinTenSecondsIsAnsweredAgainButNotCarriedOutAgain)
{
    const struct {
        const char* pszCase;
        Bytes second;
        std::uint32_t dwFrom;
        AgentCore::Clock::duration at;
        bool bCarriedOutAgain;
    } cases[] = {
        {"same datagram after 9.9 s", Operate(40, 2, 0), kServer, 9900ms, false},
        {"same datagram after 10 s", Operate(40, 2, 0), kServer, 10s, true},
        {"another id", Operate(41, 2, 0), kServer, 1s, true},
        {"another operation", Operate(40, 2, 1), kServer, 1s, true},
        {"another sender", Operate(40, 2, 0), kServer + 5, 1s, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszCase);
        Agent agent;
        ASSERT_TRUE(agent.Send(Operate(40, 2, 0)).carryOut);
        agent.power.m_dwResult = 7;
        const auto answer = agent.Send(c.second, c.dwFrom, c.at);
        EXPECT_EQ(agent.power.m_prepared.size(), c.bCarriedOutAgain ? 2u : 1u);
        EXPECT_FALSE(answer.carryOut);
        const std::uint32_t dwCode = vtdgram::ReadU32(answer.reply.data(), answer.reply.size(), 20);
        EXPECT_EQ(dwCode, c.bCarriedOutAgain ? 7u : 0u);
    }
}

TEST(AgentCore, SendersOutsideTheAllowListGetNothingAndAreLoggedOnceAMinute)
{
    Agent byDefault; // this PC's own networks
    EXPECT_FALSE(byDefault.Send(Operate(1, 2, 0), kServer).reply.empty());
    Agent listed({{0x0A0E0000, 16}});
    EXPECT_FALSE(listed.Send(Operate(1, 2, 0), kOutsider).reply.empty());

    for (const auto& allow : {std::vector<Ipv4Net>{}, std::vector<Ipv4Net>{{kServer, 32}}}) {
        Agent agent(allow);
        for (const auto at : {0s, 1s, 59s, 60s, 61s}) {
            EXPECT_TRUE(agent.Send(Operate(2, 2, 0), kOutsider, at).reply.empty());
            EXPECT_TRUE(agent.Send(BuildRequest(0, 0, 0, 0, {}), kOutsider + 1, at).reply.empty());
            EXPECT_EQ(agent.log.size(), at < 60s ? 2u : 4u);
        }
        EXPECT_TRUE(agent.power.m_prepared.empty());
        const auto note = [](const char* pszSender) {
            return "ignoring datagrams from " + std::string(pszSender) +
                   ": not in the allowed list (noted at most once a minute per sender)";
        };
        EXPECT_EQ(agent.log,
                  (std::vector{note("10.14.0.1"), note("10.14.0.2"), note("10.14.0.1"), note("10.14.0.2")}));
    }
}

TEST(AgentCore, AtMostAHundredRepliesLeaveASecond)
{
    Agent agent;
    const Bytes status = BuildRequest(1, 0, 0, 1, {kOwn});
    int nReplies = 0;
    for (int i = 0; i < 250; ++i)
        nReplies += agent.Send(status, kServer, 0s).reply.empty() ? 0 : 1;
    EXPECT_EQ(nReplies, 100);
    for (int i = 0; i < 250; ++i)
        nReplies += agent.Send(status, kServer, 500ms).reply.empty() ? 0 : 1;
    EXPECT_EQ(nReplies, 150);
    // An operation over the limit is still carried out; only its reply is lost.
    EXPECT_TRUE(agent.Send(Operate(5, 4, 1), kServer, 500ms).carryOut);
}
