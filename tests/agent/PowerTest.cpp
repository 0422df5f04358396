// Operations carried out by real child processes: the administrator's command, and a
// stand-in for systemctl that records its arguments and answers as told.
#include "ChildProcesses.h"
#include "CommandPower.h"
#include "SystemdPower.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

using namespace vtagentd;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

class PowerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("vtagentd-power-" + std::to_string(::getpid()));
        fs::create_directories(m_dir);
    }
    void TearDown() override
    {
        // Children left running by a case end before the folder goes.
        for (int i = 0; i < 300 && m_children.ReapFinished() > 0; ++i)
            std::this_thread::sleep_for(10ms);
        fs::remove_all(m_dir);
    }

    std::string Path(const std::string& strName) const { return (m_dir / strName).string(); }
    std::string Read(const std::string& strName) const
    {
        std::ifstream in(Path(strName));
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // A systemctl that logs its arguments; its checks exit with the codes given.
    std::string FakeSystemctl(int nWithInhibitors, int nWithout, const char* pszBeforeExit = "")
    {
        const std::string strPath = Path("systemctl");
        std::ofstream(strPath) << "#!/bin/sh\nprintf '%s\\n' \"$*\" >> " << Path("calls") << "\n"
                               << pszBeforeExit << "\ncase \"$1 $2\" in\n"
                               << "'--dry-run --check-inhibitors=yes') exit " << nWithInhibitors << ";;\n"
                               << "'--dry-run --check-inhibitors=no') exit " << nWithout << ";;\nesac\n";
        ::chmod(strPath.c_str(), 0755);
        return strPath;
    }
    LogSink Log()
    {
        return [this](const std::string& strLine) { m_log.push_back(strLine); };
    }

    fs::path m_dir;
    ChildProcesses m_children;
    std::vector<std::string> m_log;
};

const PowerOperation kReboot{true, false, 0x0A0D0001};
const PowerOperation kForcedShutdown{false, true, 0x0A0D0001};

} // namespace

TEST_F(PowerTest, ActionCommandGetsTheTwoWordsAndItsExitStatusIsTheResult)
{
    const std::string strRecord = "printf '%s %s\\n' >> '" + Path("done") + "'";
    const struct {
        std::string strCommand;
        PowerOperation op;
        std::uint32_t dwResult;
        const char* pszRecorded;
    } cases[] = {
        {strRecord, kReboot, 0, "reboot plain\n"},
        {strRecord, kForcedShutdown, 0, "shutdown force\n"},
        {"f() { " + strRecord + " \"$@\"; return 5; }; f", kReboot, 5, "reboot plain\n"},
        {"exit 1;", kReboot, 1, ""},
        {Path("missing-command"), kReboot, 127, ""},
        {"kill -9 $$;", kReboot, kResultNotStarted, ""},
        {"sleep 0.5; " + strRecord, kReboot, kResultAccepted, ""}, // still running after the wait
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.strCommand);
        fs::remove(Path("done"));
        CommandPower power(c.strCommand, false, m_children, Log(), 200ms);
        EXPECT_EQ(power.Prepare(c.op), c.dwResult);
        power.CarryOut(c.op);
        EXPECT_EQ(Read("done"), c.pszRecorded);
    }
    // The late one finishes on its own and is reaped.
    for (int i = 0; i < 300 && m_children.ReapFinished() > 0; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(m_children.ReapFinished(), 0u);
    EXPECT_EQ(Read("done"), "reboot plain\n");

    CommandPower dry(strRecord, true, m_children, Log(), 200ms);
    fs::remove(Path("done"));
    EXPECT_EQ(dry.Prepare(kForcedShutdown), kResultAccepted);
    EXPECT_EQ(Read("done"), "");
    EXPECT_EQ(m_log.back(), "dry run: would run " + strRecord + " shutdown force");
}

TEST_F(PowerTest, SystemctlChecksDecideTheResultAndTheRealCallFollowsOnlyWhenAccepted)
{
    const std::string kMessage = "--message=Veltrane Server at 10.13.0.1 asked for ";
    const struct {
        const char* pszCase;
        PowerOperation op;
        int nWithInhibitors, nWithout;
        std::uint32_t dwResult;
        std::string strCalls;
    } cases[] = {
        {"plain, nothing in the way", kReboot, 0, 0, kResultAccepted,
         "--dry-run --check-inhibitors=yes " + kMessage +
             "a reboot reboot\n"
             "--check-inhibitors=yes " +
             kMessage + "a reboot reboot\n"},
        {"plain, inhibited", kReboot, 1, 0, kResultRefused,
         "--dry-run --check-inhibitors=yes " + kMessage +
             "a reboot reboot\n"
             "--dry-run --check-inhibitors=no " +
             kMessage + "a reboot reboot\n"},
        {"forcible, inhibited", kForcedShutdown, 1, 0, kResultAccepted,
         "--dry-run --check-inhibitors=no " + kMessage +
             "a forcible shutdown poweroff\n"
             "--check-inhibitors=no " +
             kMessage + "a forcible shutdown poweroff\n"},
        {"plain, manager unreachable", kReboot, 1, 1, kResultNotStarted,
         "--dry-run --check-inhibitors=yes " + kMessage +
             "a reboot reboot\n"
             "--dry-run --check-inhibitors=no " +
             kMessage + "a reboot reboot\n"},
        {"forcible, manager unreachable", kForcedShutdown, 0, 1, kResultNotStarted,
         "--dry-run --check-inhibitors=no " + kMessage + "a forcible shutdown poweroff\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszCase);
        fs::remove(Path("calls"));
        SystemdPower power(false, m_children, Log(), FakeSystemctl(c.nWithInhibitors, c.nWithout), 1000ms);
        const std::uint32_t dwResult = power.Prepare(c.op);
        EXPECT_EQ(dwResult, c.dwResult);
        if (dwResult == kResultAccepted)
            power.CarryOut(c.op);
        for (int i = 0; i < 300 && m_children.ReapFinished() > 0; ++i)
            std::this_thread::sleep_for(10ms);
        EXPECT_EQ(Read("calls"), c.strCalls);
    }

    // A systemctl that is missing, or hangs, cannot start anything; the hanging check is ended.
    SystemdPower missing(false, m_children, Log(), Path("no-systemctl"), 1000ms);
    EXPECT_EQ(missing.Prepare(kForcedShutdown), kResultNotStarted);
    SystemdPower hanging(false, m_children, Log(), FakeSystemctl(0, 0, "exec sleep 30"), 200ms);
    EXPECT_EQ(hanging.Prepare(kReboot), kResultNotStarted);
    for (int i = 0; i < 300 && m_children.ReapFinished() > 0; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(m_children.ReapFinished(), 0u);
}
