#include "AgentLab.h"
#include "AgentOptions.h"
#include "AgentProtocol.h"
#include "ServerSocket.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <thread>

using namespace vtagent;
using namespace vtagenttest;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kLoop2 = 0x7F000002; // 127.0.0.2

bool Eventually(const std::function<bool()>& fnDone, std::chrono::milliseconds wait = 2s)
{
    for (const auto end = Clock::now() + wait; !fnDone(); std::this_thread::sleep_for(10ms)) {
        if (Clock::now() >= end)
            return false;
    }
    return true;
}

std::string ReadAll(const std::string& strPath)
{
    std::stringstream text;
    text << std::ifstream(strPath).rdbuf();
    return text.str();
}

Bytes Status(std::uint32_t dwId, std::uint32_t dwTo)
{
    return BuildRequest(dwId, 0, 0, 1, {dwTo});
}

class LabTest : public ::testing::Test {
protected:
    void StartLab(std::vector<AgentSpec> agents, std::vector<std::uint32_t> search = {},
                  std::vector<Endpoint> wol = {}, std::string strLog = {})
    {
        m_pLab = std::make_unique<AgentLab>(LabConfig{
            std::move(agents), m_wAgentPort, std::move(search), std::move(wol), std::move(strLog), {}, 0});
        std::string strError;
        ASSERT_TRUE(m_pLab->Start(strError)) << strError;
    }

    std::uint16_t m_wAgentPort = FreePort();
    std::unique_ptr<AgentLab> m_pLab;
    ServerSocket m_client;
};

} // namespace

TEST(AgentOptions, CommandLine)
{
    CommandLine cmd;
    std::string strError;
    ASSERT_TRUE(ParseCommandLine({"--count", "3", "--first", "127.0.0.10", "--server-port=9100", "--address",
                                  "127.0.1.1=ALPHA,127.0.1.2", "--silent", "127.0.0.11-127.0.0.12", "--late",
                                  "127.0.1.1=250", "--result", "127.0.1.2=5", "--result-code", "3"},
                                 cmd, strError))
        << strError;
    const auto& agents = cmd.config.agents;
    ASSERT_EQ(agents.size(), 5u);
    EXPECT_EQ(cmd.config.wAgentPort, 9101);
    EXPECT_EQ(agents[0].strName, "PC-001");
    EXPECT_EQ(agents[2].dwAddress, 0x7F00000Cu);
    EXPECT_EQ(agents[3].strName, "ALPHA");
    EXPECT_EQ(agents[4].strName, "PC-005");
    EXPECT_FALSE(agents[0].bSilent);
    EXPECT_TRUE(agents[1].bSilent && agents[2].bSilent);
    EXPECT_EQ(agents[3].nLateMs, 250);
    EXPECT_EQ(agents[3].dwResultCode, 3u);
    EXPECT_EQ(agents[4].dwResultCode, 5u);

    EXPECT_FALSE(ParseCommandLine({"--count", "2", "--twice", "127.0.0.9"}, cmd = {}, strError));
    EXPECT_NE(strError.find("no agent at 127.0.0.9"), std::string::npos) << strError;
    EXPECT_FALSE(ParseCommandLine({"--address", "127.0.0.2,127.0.0.2"}, cmd = {}, strError));
    EXPECT_FALSE(ParseCommandLine({"--bogus"}, cmd = {}, strError));
    EXPECT_FALSE(ParseCommandLine({"--wol-listen", "127.0.0.2"}, cmd = {}, strError));

    EXPECT_EQ(FormatName("PC-%03d", 7), "PC-007");
    EXPECT_EQ(FormatName("%d%% %d", 12), "12% %d");
    EXPECT_EQ(FormatName("lab%4d", 5), "lab   5");
}

// One agent per case at 127.0.0.2 upwards, or bound to every address, each asked once and
// answering from the address asked at its own port.
TEST_F(LabTest, EachAgentAnswersAsConfiguredAndEveryDatagramIsLogged)
{
    const struct {
        AgentSpec agent;
        Bytes request;
        Bytes reply; ///< each copy
        std::size_t nCopies;
    } cases[] = {
        {{.strName = "PC-ALPHA"}, Status(0x12345678, kLoop2), BuildNameReply(0x12345678, "PC-ALPHA"), 1},
        {{.strName = "OP", .dwResultCode = 5},
         BuildRequest(99, 4, 1, 1, {kLoop2 + 1}),
         BuildOperateReply(99, 4, 1, 5),
         1},
        {{.strName = "SILENT", .bSilent = true}, Status(10, kLoop2 + 2), {}, 0},
        {{.strName = "TWICE", .bTwice = true}, Status(11, kLoop2 + 3), BuildNameReply(11, "TWICE"), 2},
        {{.strName = "WRONG", .bWrongId = true}, Status(12, kLoop2 + 4), BuildNameReply(13, "WRONG"), 1},
        {{.strName = "L", .bLongName = true},
         Status(14, kLoop2 + 5),
         BuildNameReply(14, "LXXXXXXXXXXXXXXX"),
         1},
        {{.strName = "EMPTY", .bNameEmpty = true}, Status(15, kLoop2 + 6), BuildNameReply(15, ""), 1},
        {{.strName = "LATE", .nLateMs = 300}, Status(16, kLoop2 + 7), BuildNameReply(16, "LATE"), 1},
        {{.strName = "JUNK"}, {'j', 'u', 'n', 'k'}, {}, 0},
        {{.strName = "ANY"}, Status(17, kLoop2 + 9), BuildNameReply(17, "ANY"), 1},
    };
    const std::string strLog =
        (fs::temp_directory_path() / ("vtagent-test-" + std::to_string(::getpid()) + ".jsonl")).string();
    const std::uint16_t wWolPort = FreePort();
    std::vector<AgentSpec> agents;
    for (std::uint32_t i = 0; i < std::size(cases); ++i) {
        agents.push_back(cases[i].agent);
        agents.back().dwAddress = agents.back().strName == "ANY" ? 0 : kLoop2 + i;
    }
    StartLab(agents, {}, {{kLoop2, wWolPort}}, strLog);

    for (std::uint32_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.agent.strName);
        const auto sent = Clock::now();
        ASSERT_TRUE(m_client.Send(kLoop2 + i, m_wAgentPort, c.request));
        const auto replies = m_client.ReceiveAll(c.nCopies ? 3s : 300ms);
        ASSERT_EQ(replies.size(), c.nCopies);
        for (const Datagram& reply : replies) {
            EXPECT_EQ(reply.bytes, c.reply);
            EXPECT_EQ(reply.dwFrom, kLoop2 + i);
            EXPECT_EQ(reply.wFromPort, m_wAgentPort);
            EXPECT_GE(reply.at - sent, std::chrono::milliseconds(c.agent.nLateMs * 9 / 10));
        }
    }

    const std::uint8_t mac[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    const auto wake = vtdgram::BuildWakePacket(mac);
    ASSERT_TRUE(m_client.Send(kLoop2, wWolPort, Bytes(wake.begin(), wake.end())));
    const std::string strFrom = ",\"from\":\"127.0.0.1:" + std::to_string(m_client.Port()) + "\",";
    for (const std::string& strLine :
         {"\"agent\":\"127.0.0.3\"" + strFrom +
              "\"len\":32,\"kind\":\"C\",\"id\":99,\"command\":4,\"force\":1,\"param\":1,"
              "\"list\":[\"127.0.0.3\"],\"type\":\"operate\",\"valid\":true,\"action\":\"reply\"}",
          "\"agent\":\"127.0.0.10\"" + strFrom +
              "\"len\":4,\"kind\":\"\",\"type\":\"invalid\",\"valid\":false",
          "\"wol\":true,\"to\":\"127.0.0.2:" + std::to_string(wWolPort) + '"' + strFrom +
              "\"len\":102,\"mac\":\"00-11-22-33-44-55\",\"valid\":true}"}) {
        EXPECT_TRUE(Eventually([&] { return ReadAll(strLog).find(strLine) != std::string::npos; }))
            << strLine << "\nnot in\n"
            << ReadAll(strLog);
    }
    m_pLab.reset();
    fs::remove(strLog);
}

TEST_F(LabTest, SearchListenerHasEveryUnlistedTalkingAgentAnswerFromItsOwnAddress)
{
    constexpr std::uint32_t kListener = 0x7F000101; // 127.0.1.1
    StartLab({{.dwAddress = kLoop2, .strName = "ONE"},
              {.dwAddress = kLoop2 + 1, .strName = "TWO"},
              {.dwAddress = kLoop2 + 2, .strName = "THREE", .bSilent = true}},
             {kListener});
    ASSERT_TRUE(m_client.Send(kListener, m_wAgentPort, BuildRequest(0, 0, 0, 0, {})));
    auto replies = m_client.ReceiveAll(2s);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0].dwFrom, kLoop2);
    EXPECT_EQ(replies[0].bytes, BuildNameReply(0, "ONE"));
    EXPECT_EQ(replies[1].dwFrom, kLoop2 + 1);
    EXPECT_EQ(replies[1].bytes, BuildNameReply(0, "TWO"));

    ASSERT_TRUE(m_client.Send(kListener, m_wAgentPort, BuildRequest(0, 0, 0, 0, {kLoop2})));
    replies = m_client.ReceiveAll(2s);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].dwFrom, kLoop2 + 1);
}

// A real 255.255.255.255 broadcast, kept inside a network namespace of one thread.
TEST(AgentNamespace, BindAnyAgentHearsBroadcast)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root for a network namespace";
    bool bNamespace = false;
    std::optional<Datagram> reply;
    std::thread([&] {
        bNamespace = ::unshare(CLONE_NEWNET) == 0 &&
                     std::system("ip link set lo up && ip link add vtv0 type veth peer name vtv1 && "
                                 "ip addr add 10.77.0.1/24 dev vtv0 && ip link set vtv0 up && "
                                 "ip link set vtv1 up && ip route add default dev vtv0") == 0;
        if (!bNamespace)
            return;
        AgentLab lab(LabConfig{{{.strName = "NS-PC"}}, 9001, {}, {}, {}, {}, 0});
        std::string strError;
        ASSERT_TRUE(lab.Start(strError)) << strError;
        reply = ServerSocket(INADDR_ANY).Ask(0xFFFFFFFF, 9001, BuildRequest(0, 0, 0, 0, {}), 2s);
    }).join();
    if (!bNamespace)
        GTEST_SKIP() << "cannot set up a network namespace here";
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, BuildNameReply(0, "NS-PC"));
    EXPECT_EQ(reply->dwFrom, 0x0A4D0001u);
}

TEST(AgentProgram, HelpReadyFileAnswerAndCleanExitOnSigterm)
{
    const std::string strExe = VTAGENT_EXE;
    EXPECT_EQ(std::system((strExe + " --help > /dev/null").c_str()), 0);
    EXPECT_NE(std::system((strExe + " --no-such-option 2> /dev/null").c_str()), 0);

    const fs::path ready = fs::temp_directory_path() / ("vtagent-ready-" + std::to_string(::getpid()));
    fs::remove(ready);
    const std::uint16_t wPort = FreePort();
    const std::string strPort = std::to_string(wPort);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::execl(strExe.c_str(), strExe.c_str(), "--count", "3", "--agent-port", strPort.c_str(),
                "--ready-file", ready.c_str(), "--duration", "30", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const bool bReady = Eventually([&] { return fs::exists(ready); }, 10s);
    std::optional<Datagram> reply;
    if (bReady)
        reply = ServerSocket().Ask(kLoop2 + 2, wPort, Status(8, kLoop2 + 2), 2s);
    ::kill(pid, SIGTERM);
    int nStatus = -1;
    const bool bEnded = Eventually([&] { return ::waitpid(pid, &nStatus, WNOHANG) == pid; }, 10s);
    if (!bEnded) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &nStatus, 0);
    }
    fs::remove(ready);
    ASSERT_TRUE(bReady);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, BuildNameReply(8, "PC-003"));
    ASSERT_TRUE(bEnded) << "vtagent ignored SIGTERM";
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0);
}
