#include "AgentLab.h"
#include "AgentOptions.h"
#include "AgentProtocol.h"
#include "ServerSocket.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

using namespace vtagent;
using namespace vtagenttest;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

TEST(AgentOptions, CommandLine)
{
    CommandLine cmd;
    std::string strError;
    ASSERT_TRUE(ParseCommandLine({"--count", "3", "--first", "127.0.0.10", "--server-port=9100", "--address",
                                  "127.0.1.1=ALPHA,127.0.1.2", "--silent", "127.0.0.11-127.0.0.12", "--late",
                                  "127.0.1.1=250", "--result", "127.0.1.2=5", "--result-code", "3"},
                                 cmd, strError))
        << strError;
    EXPECT_EQ(cmd.config.wAgentPort, 9101);
    std::string strAgents; // name, address, silent, late, result code
    for (const AgentSpec& agent : cmd.config.agents)
        strAgents += agent.strName + ' ' + FormatAddress(agent.dwAddress) + ' ' +
                     std::to_string(agent.bSilent) + ' ' + std::to_string(agent.nLateMs) + ' ' +
                     std::to_string(agent.dwResultCode) + "; ";
    EXPECT_EQ(strAgents, "PC-001 127.0.0.10 0 0 3; PC-002 127.0.0.11 1 0 3; PC-003 127.0.0.12 1 0 3; "
                         "ALPHA 127.0.1.1 0 250 3; PC-005 127.0.1.2 0 0 5; ");

    EXPECT_FALSE(ParseCommandLine({"--count", "2", "--twice", "127.0.0.9"}, cmd = {}, strError));
    EXPECT_NE(strError.find("no agent at 127.0.0.9"), std::string::npos) << strError;
    EXPECT_FALSE(ParseCommandLine({"--address", "127.0.0.2,127.0.0.2"}, cmd = {}, strError));
    EXPECT_FALSE(ParseCommandLine({"--bogus"}, cmd = {}, strError));
    EXPECT_FALSE(ParseCommandLine({"--wol-listen", "127.0.0.2"}, cmd = {}, strError));
    EXPECT_EQ(FormatName("lab%4d%% %d", 5), "lab   5% %d");
}

// One agent per case at 127.0.0.2 upwards, or bound to every address, each asked once and
// answering from the address asked at its own port; then a search at a listener. Silence, wrong
// ids and names are shown by the server's own tests, which rely on them.
TEST(AgentLab, EachAgentAnswersAsConfiguredAndEveryDatagramIsLogged)
{
    const auto status = [](std::uint32_t dwId, std::uint32_t dwTo) {
        return BuildRequest(dwId, 0, 0, 1, {dwTo});
    };
    constexpr std::uint32_t kLoop2 = 0x7F000002, kListener = 0x7F000101; // 127.0.0.2, 127.0.1.1
    const struct {
        AgentSpec agent;
        Bytes request;
        Bytes reply; ///< each copy
        std::size_t nCopies;
    } cases[] = {
        {{.strName = "OP"}, BuildRequest(9, 4, 1, 1, {kLoop2}), BuildOperateReply(9, 4, 1, 0), 1},
        {{.strName = "TWICE", .bTwice = true}, status(11, kLoop2 + 1), BuildNameReply(11, "TWICE"), 2},
        {{.strName = "LATE", .nLateMs = 300}, status(16, kLoop2 + 2), BuildNameReply(16, "LATE"), 1},
        {{.strName = "JUNK"}, {'j', 'u', 'n', 'k'}, {}, 0},
        {{.strName = "ANY"}, status(17, kLoop2 + 4), BuildNameReply(17, "ANY"), 1},
    };
    const std::string strLog =
        (std::filesystem::temp_directory_path() / ("vtagent-test-" + std::to_string(::getpid()) + ".jsonl"))
            .string();
    const std::uint16_t wAgentPort = FreePort(), wWolPort = FreePort();
    std::vector<AgentSpec> agents;
    for (std::uint32_t i = 0; i < std::size(cases); ++i) {
        agents.push_back(cases[i].agent);
        agents.back().dwAddress = agents.back().strName == "ANY" ? 0 : kLoop2 + i;
    }
    AgentLab lab(LabConfig{agents, wAgentPort, {kListener}, {{kLoop2, wWolPort}}, strLog, {}, 0});
    std::string strError;
    ASSERT_TRUE(lab.Start(strError)) << strError;

    const ServerSocket client;
    const std::uint8_t mac[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    const auto wake = vtdgram::BuildWakePacket(mac);
    ASSERT_TRUE(client.Send(kLoop2, wWolPort, Bytes(wake.begin(), wake.end())));
    for (std::uint32_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.agent.strName);
        const auto sent = std::chrono::steady_clock::now();
        ASSERT_TRUE(client.Send(kLoop2 + i, wAgentPort, c.request));
        const auto replies = client.ReceiveAll(c.nCopies ? 3s : 300ms);
        ASSERT_EQ(replies.size(), c.nCopies);
        for (const Datagram& reply : replies) {
            EXPECT_EQ(reply.bytes, c.reply);
            EXPECT_EQ(reply.dwFrom, kLoop2 + i);
            EXPECT_EQ(reply.wFromPort, wAgentPort);
            EXPECT_GE(reply.at - sent, std::chrono::milliseconds(c.agent.nLateMs * 9 / 10));
        }
    }

    // A search at the listener is answered by every agent it does not list, from the agent's own address.
    ASSERT_TRUE(client.Send(kListener, wAgentPort, BuildRequest(0, 0, 0, 0, {kLoop2, kLoop2 + 2})));
    std::multiset<std::uint32_t> answered;
    for (const Datagram& reply : client.ReceiveAll(3s))
        answered.insert(reply.dwFrom);
    EXPECT_EQ(answered, (std::multiset<std::uint32_t>{kLoop2 + 1, kLoop2 + 1, kLoop2 + 3}));

    // Every datagram was read long before: the log is complete once the lab has stopped.
    lab.Stop();
    lab.Join();
    std::stringstream log;
    log << std::ifstream(strLog).rdbuf();
    const std::string strFrom = ",\"from\":\"127.0.0.1:" + std::to_string(client.Port()) + "\",";
    for (const std::string& strLine :
         {"\"agent\":\"127.0.0.2\"" + strFrom +
              "\"len\":32,\"kind\":\"C\",\"id\":9,\"command\":4,\"force\":1,\"param\":1,"
              "\"list\":[\"127.0.0.2\"],\"type\":\"operate\",\"valid\":true,\"action\":\"reply\"}",
          "\"agent\":\"127.0.0.5\"" + strFrom +
              "\"len\":4,\"kind\":\"\",\"type\":\"invalid\",\"valid\":false",
          "\"wol\":true,\"to\":\"127.0.0.2:" + std::to_string(wWolPort) + '"' + strFrom +
              "\"len\":102,\"mac\":\"00-11-22-33-44-55\",\"valid\":true}"})
        EXPECT_NE(log.str().find(strLine), std::string::npos) << strLine << "\nnot in\n" << log.str();
    std::filesystem::remove(strLog);
}
