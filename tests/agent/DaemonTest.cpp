// The real vtagentd on loopback addresses and a free port: the bytes on the wire, the action
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

constexpr std::uint32_t kLoop2 = 0x7F000002; // 127.0.0.2

std::string ReadAll(const fs::path& path)
{
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// A port that no socket holds on any address right now.
std::uint16_t FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    socklen_t nLen = sizeof sa;
    ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &nLen);
    ::close(fd);
    return ntohs(sa.sin_port);
}

// The server's side: a socket on 127.0.0.1 with a bounded receive.
class Server {
public:
    explicit Server(std::uint16_t wAgentPort) : m_wAgentPort(wAgentPort)
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
        to.sin_port = htons(m_wAgentPort);
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
        EXPECT_EQ(ntohs(from.sin_port), m_wAgentPort);
        bytes.resize(static_cast<std::size_t>(std::max<ssize_t>(nGot, 0)));
        return bytes;
    }

private:
    std::uint16_t m_wAgentPort;
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
        for (int i = 0; i < 250; ++i, std::this_thread::sleep_for(20ms)) {
            if (Log().find("listening at") != std::string::npos)
                return true;
        }
        return false;
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
    void SetUp() override { fs::create_directories(m_dir); }
    void TearDown() override { fs::remove_all(m_dir); }

    const fs::path m_dir = fs::temp_directory_path() / ("vtagentd-daemon-" + std::to_string(::getpid()));
    const std::uint16_t m_wPort = FreePort();
};

std::uint32_t ResultCode(const std::optional<Bytes>& reply)
{
    return reply ? vtdgram::ReadU32(reply->data(), reply->size(), 20) : 0xFFFFFFFF;
}

} // namespace

TEST_F(DaemonTest, AnswersFromItsAddressAndRunsEachOperationOnce)
{
    const fs::path done = m_dir / "done";
    Daemon agent(m_dir, "agent",
                 {"--bind", vtagent::FormatAddress(kLoop2), "--port", std::to_string(m_wPort), "--name",
                  "LAB-07", "--action-command", "printf '%s %s\\n' >> '" + done.string() + "'"});
    ASSERT_TRUE(agent.Ready()) << agent.Log();
    Server server(m_wPort);

    EXPECT_EQ(server.Ask(kLoop2, BuildRequest(0x1234, 0, 0, 1, {kLoop2})),
              vtdgram::BuildNameReply(0x1234, "LAB-07"));
    EXPECT_EQ(server.Ask(kLoop2, BuildRequest(0, 0, 0, 0, {kLoop2 + 7})),
              vtdgram::BuildNameReply(0, "LAB-07"));
    EXPECT_EQ(server.Ask(kLoop2, BuildRequest(0, 0, 0, 0, {kLoop2}), 300ms), std::nullopt);

    const Bytes reboot = BuildRequest(41, 2, 0, 1, {kLoop2});
    EXPECT_EQ(server.Ask(kLoop2, reboot), vtdgram::BuildOperateReply(41, 2, 0, 0));
    EXPECT_EQ(server.Ask(kLoop2, reboot), vtdgram::BuildOperateReply(41, 2, 0, 0));
    EXPECT_EQ(ResultCode(server.Ask(kLoop2, BuildRequest(42, 4, 1, 1, {kLoop2}))), 0u);
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

    // Bound to every address, as installed.
    const std::vector<std::string> args = {"--port", std::to_string(m_wPort), "--name", "ANY", "--dry-run"};
    Daemon first(m_dir, "first", args);
    ASSERT_TRUE(first.Ready()) << first.Log();
    Daemon second(m_dir, "second", args);
    EXPECT_EQ(second.Stop(0), 1);
    EXPECT_NE(second.Log().find("cannot listen at 0.0.0.0:" + std::to_string(m_wPort)), std::string::npos)
        << second.Log();
    // It answers from the address asked; a dry run answers and does nothing.
    Server server(m_wPort);
    EXPECT_EQ(server.Ask(kLoop2 + 2, BuildRequest(0, 0, 0, 0, {})), vtdgram::BuildNameReply(0, "ANY"));
    EXPECT_EQ(ResultCode(server.Ask(INADDR_LOOPBACK, BuildRequest(5, 4, 0, 1, {INADDR_LOOPBACK}))), 0u);
    EXPECT_NE(first.Log().find(
                  "dry run: would check the inhibitor locks, then run systemctl --check-inhibitors=no"),
              std::string::npos)
        << first.Log();
    EXPECT_EQ(first.Stop(SIGINT), 0);
}
