// The real vtagentd on a loopback address of its own: the bytes on the wire, the action
// command run once per operation, and how it starts and ends.
#include "AgentProtocol.h"
#include "ChildProcesses.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

using vtagent::BuildRequest;
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr std::uint16_t kPort = 42101;

// 127.42.N.n, N from the process id, so parallel runs do not meet.
std::uint32_t Loopback(std::uint32_t n)
{
    return 0x7F2A0000u | ((20u + static_cast<std::uint32_t>(::getpid()) % 200u) << 8) | n;
}

std::string Text(std::uint32_t dwHost)
{
    return std::to_string(dwHost >> 24) + '.' + std::to_string((dwHost >> 16) & 0xFF) + '.' +
           std::to_string((dwHost >> 8) & 0xFF) + '.' + std::to_string(dwHost & 0xFF);
}

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool WaitFor(const std::function<bool()>& fnDone, std::chrono::milliseconds wait = 5s)
{
    for (auto left = wait; !fnDone(); left -= 20ms) {
        if (left <= 0ms)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// The server's side: a socket on 127.0.0.1 with a bounded receive.
class Server {
public:
    Server()
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    }
    ~Server() { ::close(m_fd); }
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // The reply's bytes, if one comes from `dwFrom` at the agent port within `wait`.
    std::optional<Bytes> Ask(std::uint32_t dwTo, const Bytes& request, std::chrono::milliseconds wait = 3s)
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(dwTo);
        to.sin_port = htons(kPort);
        ::sendto(m_fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        pollfd pfd{m_fd, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(wait.count())) != 1)
            return std::nullopt;
        Bytes bytes(4096);
        sockaddr_in from{};
        socklen_t nLen = sizeof from;
        const ssize_t nGot =
            ::recvfrom(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&from), &nLen);
        EXPECT_EQ(ntohl(from.sin_addr.s_addr), dwTo);
        EXPECT_EQ(ntohs(from.sin_port), kPort);
        bytes.resize(static_cast<std::size_t>(std::max<ssize_t>(nGot, 0)));
        return bytes;
    }

private:
    int m_fd = -1;
};

// One vtagentd process, its output in files of the test's folder.
class Daemon {
public:
    Daemon(const fs::path& dir, const std::string& strName, const std::vector<std::string>& args)
        : m_err(dir / (strName + ".err"))
    {
        std::vector<std::string> argv = {"/bin/sh", "-c",
                                         "exec \"$0\" \"$@\" >'" + (dir / (strName + ".out")).string() +
                                             "' 2>'" + m_err.string() + "'",
                                         VTAGENTD_EXE};
        argv.insert(argv.end(), args.begin(), args.end());
        m_pid = m_children.Start(argv);
    }
    ~Daemon() { Stop(SIGKILL); }
    Daemon(const Daemon&) = delete;
    Daemon& operator=(const Daemon&) = delete;

    std::string Log() const { return ReadAll(m_err); }
    bool Ready() const
    {
        return WaitFor([&] { return Log().find("listening at") != std::string::npos; });
    }
    // Exit status once it has ended by itself (nSignal 0) or after nSignal; -1 if it does not end.
    int Stop(int nSignal = SIGTERM)
    {
        if (m_pid <= 0)
            return -1;
        if (!m_result) {
            if (nSignal != 0)
                ::kill(m_pid, nSignal);
            const auto result = m_children.WaitFor(m_pid, 5s);
            if (result.outcome == vtagentd::ChildProcesses::Outcome::StillRunning)
                return -1;
            m_result = result;
        }
        return m_result->outcome == vtagentd::ChildProcesses::Outcome::Exited ? m_result->nStatus : -1;
    }

private:
    fs::path m_err;
    vtagentd::ChildProcesses m_children;
    pid_t m_pid = -1;
    std::optional<vtagentd::ChildProcesses::Result> m_result;
};

class DaemonTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("vtagentd-daemon-" + std::to_string(::getpid()));
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    fs::path m_dir;
};

std::uint32_t ResultCode(const std::optional<Bytes>& reply)
{
    return reply ? vtdgram::ReadU32(reply->data(), reply->size(), 20) : 0xFFFFFFFF;
}

} // namespace

TEST_F(DaemonTest, AnswersFromItsAddressAndRunsEachOperationOnce)
{
    const std::uint32_t dwAgent = Loopback(2);
    const fs::path done = m_dir / "done";
    Daemon agent(m_dir, "agent",
                 {"--bind", Text(dwAgent), "--port", std::to_string(kPort), "--name", "LAB-07",
                  "--action-command", "printf '%s %s\\n' >> '" + done.string() + "'"});
    ASSERT_TRUE(agent.Ready()) << agent.Log();
    Server server;

    EXPECT_EQ(server.Ask(dwAgent, BuildRequest(0x1234, 0, 0, 1, {dwAgent})),
              vtdgram::BuildNameReply(0x1234, "LAB-07"));
    EXPECT_EQ(server.Ask(dwAgent, BuildRequest(0, 0, 0, 0, {Loopback(9)})),
              vtdgram::BuildNameReply(0, "LAB-07"));
    EXPECT_EQ(server.Ask(dwAgent, BuildRequest(0, 0, 0, 0, {dwAgent}), 300ms), std::nullopt);
    EXPECT_EQ(server.Ask(dwAgent, BuildRequest(7, 0, 0, 1, {Loopback(9)}), 300ms), std::nullopt);

    const Bytes reboot = BuildRequest(41, 2, 0, 1, {dwAgent});
    EXPECT_EQ(server.Ask(dwAgent, reboot), vtdgram::BuildOperateReply(41, 2, 0, 0));
    EXPECT_EQ(server.Ask(dwAgent, reboot), vtdgram::BuildOperateReply(41, 2, 0, 0));
    EXPECT_EQ(ResultCode(server.Ask(dwAgent, BuildRequest(42, 4, 1, 1, {dwAgent}))), 0u);
    Bytes broken = reboot;
    broken[24] ^= 1;
    EXPECT_EQ(server.Ask(dwAgent, broken, 300ms), std::nullopt);
    EXPECT_EQ(ReadAll(done), "reboot plain\nshutdown force\n");

    EXPECT_EQ(agent.Stop(), 0);
    const std::string strLog = agent.Log();
    for (const char* psz :
         {"reboot from 127.0.0.1: 0 accepted",
          "reboot from 127.0.0.1: repeated, answered 0 accepted again, not carried out again",
          "forcible shutdown from 127.0.0.1: 0 accepted", "stopped"})
        EXPECT_NE(strLog.find(psz), std::string::npos) << psz << " in\n" << strLog;
}

TEST_F(DaemonTest, HelpMistakesAndABusyPort)
{
    Daemon help(m_dir, "help", {"--help"});
    EXPECT_EQ(help.Stop(0), 0);
    EXPECT_NE(ReadAll(m_dir / "help.out").find("Result codes of an operation:"), std::string::npos);

    Daemon wrong(m_dir, "wrong", {"--allow", "10.0.0.0/40"});
    EXPECT_EQ(wrong.Stop(0), 2);
    EXPECT_NE(wrong.Log().find("vtagentd: --allow: \"10.0.0.0/40\" is not an IPv4 address or network"),
              std::string::npos)
        << wrong.Log();

    const std::uint32_t dwAgent = Loopback(4);
    const std::vector<std::string> args = {"--bind", Text(dwAgent), "--port", std::to_string(kPort),
                                           "--dry-run"};
    Daemon first(m_dir, "first", args);
    ASSERT_TRUE(first.Ready()) << first.Log();
    Daemon second(m_dir, "second", args);
    EXPECT_EQ(second.Stop(0), 1);
    EXPECT_NE(second.Log().find("cannot listen at " + Text(dwAgent) + ":42101"), std::string::npos)
        << second.Log();
    // A dry run answers and does nothing.
    Server server;
    EXPECT_EQ(ResultCode(server.Ask(dwAgent, BuildRequest(5, 4, 0, 1, {dwAgent}))), 0u);
    EXPECT_NE(first.Log().find(
                  "dry run: would check the inhibitor locks, then run systemctl --check-inhibitors=no"),
              std::string::npos)
        << first.Log();
    EXPECT_EQ(first.Stop(SIGINT), 0);
}
