#include "AgentLab.h"
#include "AgentOptions.h"
#include "AgentProtocol.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

using namespace vtagent;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::uint32_t kLoop2 = 0x7F000002; // 127.0.0.2

struct Datagram {
    std::vector<std::uint8_t> bytes;
    std::uint32_t dwFrom = 0; // host order
    std::uint16_t wFromPort = 0;
};

// A server stand-in: one UDP socket on 127.0.0.1 with a bounded receive.
class Client {
public:
    explicit Client(std::uint32_t dwBind = INADDR_LOOPBACK)
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        const int nOne = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_BROADCAST, &nOne, sizeof nOne);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(dwBind);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        socklen_t nLen = sizeof sa;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&sa), &nLen);
        m_wPort = ntohs(sa.sin_port);
    }
    ~Client() { ::close(m_fd); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    std::uint16_t Port() const { return m_wPort; }

    void Send(std::uint32_t dwTo, std::uint16_t wPort, const std::vector<std::uint8_t>& bytes) const
    {
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(dwTo);
        sa.sin_port = htons(wPort);
        ASSERT_EQ(::sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&sa), sizeof sa),
                  static_cast<ssize_t>(bytes.size()));
    }

    std::optional<Datagram> Receive(std::chrono::milliseconds timeout) const
    {
        pollfd pfd{m_fd, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(timeout.count())) != 1)
            return std::nullopt;
        Datagram dgram;
        dgram.bytes.resize(4096);
        sockaddr_in from{};
        socklen_t nLen = sizeof from;
        const ssize_t nGot = ::recvfrom(m_fd, dgram.bytes.data(), dgram.bytes.size(), 0,
                                        reinterpret_cast<sockaddr*>(&from), &nLen);
        if (nGot < 0)
            return std::nullopt;
        dgram.bytes.resize(static_cast<std::size_t>(nGot));
        dgram.dwFrom = ntohl(from.sin_addr.s_addr);
        dgram.wFromPort = ntohs(from.sin_port);
        return dgram;
    }

    // Everything that arrives until the line has been quiet for `quiet`; at most 300 datagrams.
    std::vector<Datagram> ReceiveAll(std::chrono::milliseconds quiet = 300ms) const
    {
        std::vector<Datagram> all;
        while (all.size() < 300) {
            auto dgram = Receive(quiet);
            if (!dgram)
                break;
            all.push_back(std::move(*dgram));
        }
        return all;
    }

private:
    int m_fd = -1;
    std::uint16_t m_wPort = 0;
};

// A port that nothing on 127.0.0.1 holds right now; the lab binds other loopback addresses.
std::uint16_t FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    socklen_t nLen = sizeof sa;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &nLen);
    ::close(fd);
    return ntohs(sa.sin_port);
}

AgentSpec Agent(std::uint32_t dwAddress, const std::string& strName)
{
    AgentSpec agent;
    agent.dwAddress = dwAddress;
    agent.strName = strName;
    return agent;
}

std::string ReplyName(const Datagram& dgram)
{
    if (dgram.bytes.size() < 24)
        return "<short>";
    const char* pName = reinterpret_cast<const char*>(dgram.bytes.data() + 20);
    return std::string(pName, strnlen(pName, dgram.bytes.size() - 20));
}

// Lines of a log file, waiting up to two seconds until one contains `needle`.
std::string WaitForLogLine(const std::string& strPath, const std::string& needle)
{
    const auto end = Clock::now() + 2s;
    while (Clock::now() < end) {
        std::ifstream in(strPath);
        std::string strLine;
        while (std::getline(in, strLine)) {
            if (strLine.find(needle) != std::string::npos)
                return strLine;
        }
        std::this_thread::sleep_for(10ms);
    }
    return {};
}

class LabTest : public ::testing::Test {
protected:
    void StartLab(LabConfig config)
    {
        config.wAgentPort = m_wAgentPort;
        m_pLab = std::make_unique<AgentLab>(std::move(config));
        std::string strError;
        ASSERT_TRUE(m_pLab->Start(strError)) << strError;
    }
    void TearDown() override
    {
        if (m_pLab) {
            m_pLab->Stop();
            m_pLab->Join();
        }
    }
    std::vector<std::uint8_t> Status(std::uint32_t dwId, std::uint32_t dwTo) const
    {
        return BuildRequest(dwId, 0, 0, 1, {dwTo});
    }

    std::uint16_t m_wAgentPort = FreePort();
    std::unique_ptr<AgentLab> m_pLab;
    Client m_client;
};

} // namespace

TEST(AgentProtocol, ChecksumsAndRequestParsing)
{
    // A first-round search request: magic, 'C' and twenty zero bytes; checksum 582.
    const auto search = BuildRequest(0, 0, 0, 0, {});
    ASSERT_EQ(search.size(), 28u);
    EXPECT_EQ(vtdgram::ComputeChecksum(search.data(), search.size()), 582u);
    EXPECT_EQ(std::vector<std::uint8_t>(search.begin() + 16, search.begin() + 20),
              (std::vector<std::uint8_t>{0x46, 0x02, 0x00, 0x00}));
    Request req = ParseRequest(search.data(), search.size());
    EXPECT_TRUE(req.bValid);
    EXPECT_EQ(req.type, RequestType::Search);

    const auto listed = BuildRequest(0, 0, 0, 0, {0xC0A80114, 0x0A000001, 0x0A000002});
    EXPECT_EQ(listed.size(), 40u);
    EXPECT_EQ(listed[24], 0xC0);
    EXPECT_EQ(listed[27], 0x14);
    req = ParseRequest(listed.data(), listed.size());
    EXPECT_TRUE(req.bValid && req.Lists(0x0A000002) && !req.Lists(0x0A000003));

    const auto operate = BuildRequest(77, 4, 1, 1, {0xC0A80114});
    req = ParseRequest(operate.data(), operate.size());
    EXPECT_TRUE(req.bValid);
    EXPECT_EQ(req.type, RequestType::Operate);
    EXPECT_EQ(req.wCommand, 4);
    EXPECT_EQ(req.wForce, 1);

    // Rejected: a wrong checksum, a reply kind, a missing terminator, two addresses in a status request.
    auto broken = operate;
    broken[16] ^= 1;
    EXPECT_FALSE(ParseRequest(broken.data(), broken.size()).bValid);
    broken = operate;
    broken[7] = 'R';
    SetChecksum(broken.data(), broken.size());
    EXPECT_FALSE(ParseRequest(broken.data(), broken.size()).bValid);
    broken = operate;
    broken.resize(28);
    SetChecksum(broken.data(), broken.size());
    EXPECT_FALSE(ParseRequest(broken.data(), broken.size()).bValid);
    broken = BuildRequest(5, 0, 0, 1, {1, 2});
    EXPECT_FALSE(ParseRequest(broken.data(), broken.size()).bValid);
    EXPECT_FALSE(ParseRequest(search.data(), 20).bValid);

    EXPECT_EQ(BuildNameReply(1, "").size(), 24u);
    EXPECT_EQ(BuildNameReply(1, "PC-ALPHA").size(), 29u);
}

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

TEST_F(LabTest, StatusAndOperationRepliesCarryTheRightBytes)
{
    LabConfig config;
    config.agents = {Agent(kLoop2, "PC-A"), Agent(kLoop2 + 1, "PC-ALPHA")};
    config.agents[1].dwResultCode = 5;
    StartLab(config);

    m_client.Send(kLoop2 + 1, m_wAgentPort, Status(0x12345678, kLoop2 + 1));
    auto reply = m_client.Receive(2s);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->dwFrom, kLoop2 + 1);
    EXPECT_EQ(reply->wFromPort, m_wAgentPort);
    std::vector<std::uint8_t> expected = {'K',  'W',  'V', 'T', 'V', '1', '0', 'R', 0x78, 0x56,
                                          0x34, 0x12, 0,   0,   0,   0,   0,   0,   0,    0,
                                          'P',  'C',  '-', 'A', 'L', 'P', 'H', 'A', 0};
    const std::uint32_t dwSum = vtdgram::ComputeChecksum(expected.data(), expected.size());
    for (int i = 0; i < 4; ++i)
        expected[16 + i] = static_cast<std::uint8_t>(dwSum >> (8 * i));
    EXPECT_EQ(reply->bytes, expected);
    EXPECT_TRUE(VerifyChecksum(reply->bytes.data(), reply->bytes.size()));

    m_client.Send(kLoop2 + 1, m_wAgentPort, BuildRequest(99, 4, 1, 1, {kLoop2 + 1}));
    reply = m_client.Receive(2s);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, BuildOperateReply(99, 4, 1, 5));
    m_client.Send(kLoop2, m_wAgentPort, BuildRequest(100, 2, 0, 1, {kLoop2}));
    reply = m_client.Receive(2s);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, BuildOperateReply(100, 2, 0, 0));

    // A broken request is not answered.
    auto broken = Status(1, kLoop2);
    broken[20] = 9;
    m_client.Send(kLoop2, m_wAgentPort, broken);
    EXPECT_FALSE(m_client.Receive(200ms));
}

TEST_F(LabTest, MisbehavingAgents)
{
    LabConfig config;
    config.agents = {Agent(kLoop2, "SILENT"),   Agent(kLoop2 + 1, "TWICE"), Agent(kLoop2 + 2, "WRONG"),
                     Agent(kLoop2 + 3, "LONG"), Agent(kLoop2 + 4, "EMPTY"), Agent(kLoop2 + 5, "LATE")};
    config.agents[0].bSilent = true;
    config.agents[1].bTwice = true;
    config.agents[2].bWrongId = true;
    config.agents[3].bLongName = true;
    config.agents[4].bNameEmpty = true;
    config.agents[5].nLateMs = 300;
    StartLab(config);

    m_client.Send(kLoop2, m_wAgentPort, Status(10, kLoop2));
    EXPECT_FALSE(m_client.Receive(300ms));

    m_client.Send(kLoop2 + 1, m_wAgentPort, Status(11, kLoop2 + 1));
    auto replies = m_client.ReceiveAll();
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0].bytes, replies[1].bytes);
    EXPECT_EQ(vtdgram::ReadU32(replies[0].bytes.data(), replies[0].bytes.size(), 8), 11u);

    m_client.Send(kLoop2 + 2, m_wAgentPort, Status(12, kLoop2 + 2));
    auto reply = m_client.Receive(2s);
    ASSERT_TRUE(reply);
    EXPECT_EQ(vtdgram::ReadU32(reply->bytes.data(), reply->bytes.size(), 8), 13u);
    EXPECT_TRUE(VerifyChecksum(reply->bytes.data(), reply->bytes.size()));

    m_client.Send(kLoop2 + 3, m_wAgentPort, Status(14, kLoop2 + 3));
    reply = m_client.Receive(2s);
    ASSERT_TRUE(reply);
    EXPECT_EQ(ReplyName(*reply), "LONGXXXXXXXXXXXX");
    EXPECT_EQ(reply->bytes.size(), 37u);

    m_client.Send(kLoop2 + 4, m_wAgentPort, Status(15, kLoop2 + 4));
    reply = m_client.Receive(2s);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, BuildNameReply(15, ""));

    const auto sent = Clock::now();
    m_client.Send(kLoop2 + 5, m_wAgentPort, Status(16, kLoop2 + 5));
    reply = m_client.Receive(3s);
    ASSERT_TRUE(reply);
    EXPECT_GE(Clock::now() - sent, 280ms);
    EXPECT_EQ(ReplyName(*reply), "LATE");
}

TEST_F(LabTest, SearchSkipsListedAgents)
{
    constexpr std::uint32_t kListener = 0x7F000101; // 127.0.1.1
    LabConfig config;
    config.agents = {Agent(kLoop2, "ONE"), Agent(kLoop2 + 1, "TWO"), Agent(kLoop2 + 2, "THREE")};
    config.agents[2].bSilent = true;
    config.searchListen = {kListener};
    StartLab(config);

    // Sent straight to an agent.
    m_client.Send(kLoop2, m_wAgentPort, BuildRequest(0, 0, 0, 0, {kLoop2 + 1, kLoop2}));
    EXPECT_FALSE(m_client.Receive(300ms));
    m_client.Send(kLoop2, m_wAgentPort, BuildRequest(0, 0, 0, 0, {kLoop2 + 1}));
    auto reply = m_client.Receive(2s);
    ASSERT_TRUE(reply);
    EXPECT_EQ(ReplyName(*reply), "ONE");

    // Fanned out by the listener: each unlisted, talking agent answers from its own address.
    m_client.Send(kListener, m_wAgentPort, BuildRequest(0, 0, 0, 0, {}));
    auto replies = m_client.ReceiveAll();
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0].dwFrom, kLoop2);
    EXPECT_EQ(ReplyName(replies[0]), "ONE");
    EXPECT_EQ(replies[1].dwFrom, kLoop2 + 1);
    EXPECT_EQ(ReplyName(replies[1]), "TWO");

    m_client.Send(kListener, m_wAgentPort, BuildRequest(0, 0, 0, 0, {kLoop2}));
    replies = m_client.ReceiveAll();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].dwFrom, kLoop2 + 1);
}

TEST_F(LabTest, LogsEveryDatagramAndWakeOnLan)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        ("vtagent-test-" + std::to_string(::getpid()) + "-" + std::to_string(m_wAgentPort));
    std::filesystem::create_directories(dir);
    const std::string strLog = (dir / "lab.jsonl").string();
    const std::uint16_t wWolPort = FreePort();
    LabConfig config;
    config.agents = {Agent(kLoop2, "PC-001")};
    config.strLogPath = strLog;
    config.wolListen = {Endpoint{kLoop2, wWolPort}};
    StartLab(config);

    m_client.Send(kLoop2, m_wAgentPort, BuildRequest(123, 4, 1, 1, {kLoop2}));
    ASSERT_TRUE(m_client.Receive(2s));
    const std::string strFrom = "\"from\":\"127.0.0.1:" + std::to_string(m_client.Port()) + "\"";
    std::string strLine = WaitForLogLine(strLog, "\"id\":123");
    EXPECT_NE(strLine.find("\"agent\":\"127.0.0.2\""), std::string::npos) << strLine;
    EXPECT_NE(strLine.find(strFrom), std::string::npos) << strLine;
    EXPECT_NE(strLine.find("\"len\":32,\"kind\":\"C\",\"id\":123,\"command\":4,\"force\":1,\"param\":1,"
                           "\"list\":[\"127.0.0.2\"]"),
              std::string::npos)
        << strLine;
    EXPECT_NE(strLine.find("\"valid\":true"), std::string::npos) << strLine;

    m_client.Send(kLoop2, m_wAgentPort, {'j', 'u', 'n', 'k'});
    strLine = WaitForLogLine(strLog, "\"len\":4,");
    EXPECT_NE(strLine.find("\"valid\":false"), std::string::npos) << strLine;

    std::vector<std::uint8_t> magic(6, 0xFF);
    for (int i = 0; i < 16; ++i)
        magic.insert(magic.end(), {0x00, 0x11, 0x22, 0x33, 0x44, 0x55});
    m_client.Send(kLoop2, wWolPort, magic);
    strLine = WaitForLogLine(strLog, "\"wol\":true");
    EXPECT_NE(strLine.find("\"to\":\"127.0.0.2:" + std::to_string(wWolPort) + "\""), std::string::npos)
        << strLine;
    EXPECT_NE(strLine.find("\"len\":102,\"mac\":\"00-11-22-33-44-55\",\"valid\":true"), std::string::npos)
        << strLine;

    m_pLab->Stop();
    m_pLab->Join();
    std::filesystem::remove_all(dir);
}

TEST_F(LabTest, AgentBoundToAnyAddressAnswersFromTheAddressReached)
{
    LabConfig config;
    config.agents = {Agent(0, "ANY")};
    StartLab(config);
    m_client.Send(0x7F000009, m_wAgentPort, Status(3, 0x7F000009));
    const auto reply = m_client.Receive(2s);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->dwFrom, 0x7F000009u);
    EXPECT_EQ(ReplyName(*reply), "ANY");
}

// A real 255.255.255.255 broadcast, kept inside a network namespace made for the test.
TEST(AgentNamespace, BindAnyAgentHearsBroadcast)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root for a network namespace";
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (::unshare(CLONE_NEWNET) != 0)
            ::_exit(77);
        const int nSetup = std::system("ip link set lo up && ip link add vtv0 type veth peer name vtv1 && "
                                       "ip addr add 10.77.0.1/24 dev vtv0 && ip link set vtv0 up && "
                                       "ip link set vtv1 up && ip route add default dev vtv0");
        if (nSetup != 0)
            ::_exit(77);
        LabConfig config;
        config.agents = {Agent(0, "NS-PC")};
        config.wAgentPort = 9001;
        AgentLab lab(config);
        std::string strError;
        if (!lab.Start(strError))
            ::_exit(2);
        int nCode = 3;
        {
            Client client(INADDR_ANY);
            client.Send(0xFFFFFFFF, 9001, BuildRequest(0, 0, 0, 0, {}));
            const auto reply = client.Receive(2s);
            if (reply && ReplyName(*reply) == "NS-PC" && reply->dwFrom == 0x0A4D0001)
                nCode = 0;
            else if (reply)
                nCode = 4;
        }
        lab.Stop();
        lab.Join();
        ::_exit(nCode);
    }
    int nStatus = 0;
    const auto end = Clock::now() + 20s;
    pid_t done = 0;
    while ((done = ::waitpid(pid, &nStatus, WNOHANG)) == 0 && Clock::now() < end)
        std::this_thread::sleep_for(20ms);
    if (done == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &nStatus, 0);
        FAIL() << "the namespace child did not finish";
    }
    ASSERT_TRUE(WIFEXITED(nStatus));
    if (WEXITSTATUS(nStatus) == 77)
        GTEST_SKIP() << "cannot set up a network namespace here";
    EXPECT_EQ(WEXITSTATUS(nStatus), 0);
}

TEST(AgentProgram, HelpReadyFileAndCleanExit)
{
    const std::string strExe = VTAGENT_EXE;
    EXPECT_EQ(std::system((strExe + " --help > /dev/null").c_str()), 0);
    EXPECT_NE(std::system((strExe + " --no-such-option 2> /dev/null").c_str()), 0);

    const std::filesystem::path ready =
        std::filesystem::temp_directory_path() / ("vtagent-ready-" + std::to_string(::getpid()));
    std::filesystem::remove(ready);
    const std::string strPort = std::to_string(FreePort());
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::execl(strExe.c_str(), strExe.c_str(), "--count", "3", "--agent-port", strPort.c_str(),
                "--ready-file", ready.c_str(), "--duration", "30", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    auto end = Clock::now() + 10s;
    while (!std::filesystem::exists(ready) && Clock::now() < end)
        std::this_thread::sleep_for(10ms);
    const bool bReady = std::filesystem::exists(ready);
    if (bReady) {
        Client client;
        client.Send(kLoop2 + 2, static_cast<std::uint16_t>(std::stoi(strPort)),
                    BuildRequest(8, 0, 0, 1, {kLoop2 + 2}));
        const auto reply = client.Receive(2s);
        ASSERT_TRUE(reply);
        EXPECT_EQ(ReplyName(*reply), "PC-003");
    }
    ::kill(pid, SIGTERM);
    int nStatus = -1;
    end = Clock::now() + 10s;
    pid_t done = 0;
    while ((done = ::waitpid(pid, &nStatus, WNOHANG)) == 0 && Clock::now() < end)
        std::this_thread::sleep_for(10ms);
    if (done == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &nStatus, 0);
    }
    std::filesystem::remove(ready);
    ASSERT_TRUE(bReady);
    ASSERT_NE(done, 0) << "vtagent ignored SIGTERM";
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0);
}
