// The real vtagentd on loopback addresses and a free port: its help and mistakes, the bytes on
// the wire, the action command run once per operation, and how it starts and ends.
#include "AgentProtocol.h"
#include "ChildProcesses.h"
#include "tests/ServerSocket.h"

#include <gtest/gtest.h>

#include <signal.h>
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
    // Exit status after nSignal, or once it ends by itself (0); -1 if it is killed or does not end.
    int Stop(int nSignal = SIGTERM)
    {
        if (m_pid <= 0)
            return -1;
        if (nSignal != 0)
            ::kill(m_pid, nSignal);
        const auto result = m_children.WaitFor(m_pid, 5s);
        if (result.outcome != vtagentd::ChildProcesses::Outcome::StillRunning)
            m_pid = -1;
        return result.outcome == vtagentd::ChildProcesses::Outcome::Exited ? result.nStatus : -1;
    }

private:
    fs::path m_err;
    vtagentd::ChildProcesses m_children;
    pid_t m_pid = -1;
};

} // namespace

TEST(Vtagentd, HelpMistakesAnswersOperationsOnceABusyPortAndADryRun)
{
    const struct Dir {
        fs::path path = fs::temp_directory_path() / ("vtagentd-daemon-" + std::to_string(::getpid()));
        Dir() { fs::create_directories(path); }
        ~Dir() { fs::remove_all(path); } // after the daemons declared below have ended
    } tmp;
    const fs::path& dir = tmp.path;
    const std::uint16_t wPort = vtagenttest::FreePort();
    const vtagenttest::ServerSocket server;
    // The reply's bytes; the server accepts one only from where it asked.
    const auto ask = [&](std::uint32_t dwTo, const Bytes& request) {
        const auto reply = server.Ask(dwTo, wPort, request, 3s);
        EXPECT_TRUE(reply && reply->dwFrom == dwTo && reply->wFromPort == wPort);
        return reply ? reply->bytes : Bytes();
    };
    Daemon help(dir, "help", {"--help"});
    EXPECT_EQ(help.Stop(0), 0);
    // Every option and result code is documented.
    for (const char* psz : {"--port", "--bind", "--name", "--allow", "--action-command", "--dry-run",
                            "--verbose", "--config", "/etc/vtagentd.conf", "  0  accepted",
                            "  1  refused by policy", "  2  unknown operation", "  3  could not be started"})
        EXPECT_NE(ReadAll(dir / "help.out").find(psz), std::string::npos) << psz;
    Daemon wrong(dir, "wrong", {"--allow", "10.0.0.0/40"});
    EXPECT_EQ(wrong.Stop(0), 2);
    EXPECT_NE(wrong.Log().find("vtagentd: --allow: \"10.0.0.0/40\" is not an IPv4 address or network"),
              std::string::npos)
        << wrong.Log();

    // Bound to every address, as installed: it answers from the address asked.
    const std::string strPort = std::to_string(wPort);
    const fs::path done = dir / "done";
    Daemon agent(dir, "agent",
                 {"--port", strPort, "--name", "LAB-07", "--action-command",
                  "printf '%s %s\\n' >> '" + done.string() + "'"});
    ASSERT_TRUE(agent.Ready()) << agent.Log();
    Daemon busy(dir, "busy", {"--port", strPort, "--bind", "127.0.0.2"});
    EXPECT_EQ(busy.Stop(0), 1);
    EXPECT_NE(busy.Log().find("cannot listen at 127.0.0.2:" + strPort), std::string::npos) << busy.Log();
    EXPECT_EQ(ask(kLoop2 + 2, BuildRequest(0, 0, 0, 0, {})), vtdgram::BuildNameReply(0, "LAB-07"));
    const Bytes reboot = BuildRequest(41, 2, 0, 1, {INADDR_LOOPBACK});
    EXPECT_EQ(ask(INADDR_LOOPBACK, reboot), vtdgram::BuildOperateReply(41, 2, 0, 0));
    EXPECT_EQ(ask(INADDR_LOOPBACK, reboot), vtdgram::BuildOperateReply(41, 2, 0, 0));
    EXPECT_EQ(ask(INADDR_LOOPBACK, BuildRequest(42, 4, 1, 1, {INADDR_LOOPBACK})),
              vtdgram::BuildOperateReply(42, 4, 1, 0));
    EXPECT_EQ(ReadAll(done), "reboot plain\nshutdown force\n");
    EXPECT_EQ(agent.Stop(), 0);
    for (const char* psz :
         {"reboot from 127.0.0.1: 0 accepted",
          "reboot from 127.0.0.1: repeated, answered 0 accepted again, not carried out again",
          "forcible shutdown from 127.0.0.1: 0 accepted", "stopped"})
        EXPECT_NE(agent.Log().find(psz), std::string::npos) << psz << " in\n" << agent.Log();

    // Bound to one address; a dry run answers and carries nothing out.
    Daemon dry(dir, "dry", {"--port", strPort, "--bind", "127.0.0.2", "--dry-run"});
    ASSERT_TRUE(dry.Ready()) << dry.Log();
    EXPECT_EQ(ask(kLoop2, BuildRequest(5, 4, 0, 1, {kLoop2})), vtdgram::BuildOperateReply(5, 4, 0, 0));
    EXPECT_EQ(dry.Stop(SIGINT), 0);
    EXPECT_NE(
        dry.Log().find("dry run: would check the inhibitor locks, then run systemctl --check-inhibitors=no"),
        std::string::npos)
        << dry.Log();
}
