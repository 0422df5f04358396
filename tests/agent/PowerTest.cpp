// Operations carried out by real child processes: the administrator's command, and
// stand-ins for systemctl and busctl that record their arguments and answer as told.
#include "ChildProcesses.h"
#include "CommandPower.h"
#include "InhibitorLocks.h"
#include "SystemdPower.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <tuple>

using namespace vtagentd;
using namespace std::chrono_literals;
using namespace std::string_literals;
namespace fs = std::filesystem;

namespace {

class PowerTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(m_dir); }
    void TearDown() override
    {
        ReapAll(); // before the folder goes
        fs::remove_all(m_dir);
    }

    // Waits up to 3 s for the children still running; how many are left.
    std::size_t ReapAll()
    {
        for (int i = 0; i < 300 && m_children.ReapFinished() > 0; ++i)
            std::this_thread::sleep_for(10ms);
        return m_children.ReapFinished();
    }
    std::string Path(const std::string& strName) const { return (m_dir / strName).string(); }
    std::string Read(const std::string& strName) const
    {
        std::stringstream text;
        text << std::ifstream(Path(strName)).rdbuf();
        return text.str();
    }
    // Stand-ins that append their arguments to "calls", run `strFirst`, then answer: systemctl,
    // like the real one, refuses a check of inhibitors while another user is logged in, and
    // its dry run exits as told; busctl prints `strOut` and exits as told.
    std::string FakeSystemctl(int nDryRun, const std::string& strFirst = {})
    {
        return Script("systemctl",
                      strFirst + "\ncase \"$*\" in *--check-inhibitors=yes*) exit 1;; --dry-run*) exit " +
                          std::to_string(nDryRun) + ";; esac");
    }
    std::string FakeBusctl(const std::string& strOut, int nExit, const std::string& strFirst = {})
    {
        return Script("busctl",
                      strFirst + "\ncat <<'EOF'\n" + strOut + "\nEOF\nexit " + std::to_string(nExit));
    }
    std::string Script(const std::string& strName, const std::string& strBody)
    {
        std::ofstream(Path(strName)) << "#!/bin/sh\nprintf '%s %s\\n' " << strName << " \"$*\" >> "
                                     << Path("calls") << '\n'
                                     << strBody << '\n';
        ::chmod(Path(strName).c_str(), 0755);
        return Path(strName);
    }
    LogSink Log()
    {
        return [this](const std::string& strLine) { m_log.push_back(strLine); };
    }

    const fs::path m_dir = fs::temp_directory_path() / ("vtagentd-power-" + std::to_string(::getpid()));
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
    EXPECT_EQ(ReapAll(), 0u); // the late one finishes on its own
    EXPECT_EQ(Read("done"), "reboot plain\n");

    CommandPower dry(strRecord, true, m_children, Log(), 200ms);
    fs::remove(Path("done"));
    EXPECT_EQ(dry.Prepare(kForcedShutdown), kResultAccepted);
    EXPECT_EQ(Read("done"), "");
    EXPECT_EQ(m_log.back(), "dry run: would run " + strRecord + " shutdown force");
}

TEST_F(PowerTest, PlainOperationsHeedBlockingShutdownLocksAloneAndForcibleOnesNone)
{
    const std::string kMessage = "--message=Veltrane Server at 10.13.0.1 asked for ";
    const std::string kList = "busctl --system call org.freedesktop.login1 /org/freedesktop/login1 "
                              "org.freedesktop.login1.Manager ListInhibitors\n";
    const std::string kBurning =
        R"(a(ssssuu) 1 "sleep:shutdown:idle" "Disc Burner" "Writing \"backup\"" "block" 1000 4321)";
    const PowerOperation kShutdown{false, false, 0x0A0D0001}, kForcedReboot{true, true, 0x0A0D0001};
    const struct {
        const char* pszCase;
        PowerOperation op;
        std::string strLocks; // busctl's output
        int nBusctl;          // busctl's exit status
        int nDryRun;          // systemctl --dry-run's exit status
        std::uint32_t dwResult;
        std::string strCalls;
    } cases[] = {
        {"plain, a block lock on shutdown", kReboot, kBurning + "\n", 0, 0, kResultRefused, kList},
        {"plain, locks that do not block shutdown", kShutdown,
         R"(a(ssssuu) 3 "shutdown:sleep" "GNOME Shell" "Saving the session" "delay" 1000 900 )"
         R"("idle:shutdowns" "Updater" "Installing" "block" 0 77 )"
         R"("handle-power-key:handle-lid-switch" "gsd" "" "block" 1000 901)",
         0, 0, kResultAccepted,
         kList + "systemctl --check-inhibitors=no " + kMessage + "a shutdown poweroff\n"},
        {"forcible, a block lock on shutdown", kForcedReboot, kBurning, 0, 0, kResultAccepted,
         "systemctl --dry-run --check-inhibitors=no " + kMessage +
             "a forcible reboot reboot\n"
             "systemctl --check-inhibitors=no " +
             kMessage + "a forcible reboot reboot\n"},
        {"plain, logind unreachable", kReboot, "a(ssssuu) 0\n", 1, 0, kResultNotStarted, kList},
        {"plain, output not understood", kReboot, "a(ssssuu) 2 \"shutdown\" \"x\" \"y\" \"block\" 0 1\n", 0,
         0, kResultNotStarted, kList},
        {"forcible, manager unreachable", kForcedShutdown, "", 0, 1, kResultNotStarted,
         "systemctl --dry-run --check-inhibitors=no " + kMessage + "a forcible shutdown poweroff\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszCase);
        fs::remove(Path("calls"));
        m_log.clear();
        SystemdPower power(false, m_children, Log(), FakeSystemctl(c.nDryRun),
                           FakeBusctl(c.strLocks, c.nBusctl), 1000ms);
        const std::uint32_t dwResult = power.Prepare(c.op);
        EXPECT_EQ(dwResult, c.dwResult);
        if (dwResult == kResultAccepted)
            power.CarryOut(c.op);
        ReapAll();
        EXPECT_EQ(Read("calls"), c.strCalls);
        if (c.dwResult == kResultRefused) {
            EXPECT_EQ(m_log.at(0),
                      R"(a reboot is held back by "Disc Burner" (uid 1000, pid 4321): Writing "backup")");
        }
    }

    // A busctl or systemctl that hangs cannot start anything, and is ended.
    const std::string strHanging = FakeBusctl("a(ssssuu) 0", 0, "exec sleep 30");
    for (const PowerOperation& op : {kReboot, kForcedShutdown}) {
        SystemdPower hanging(false, m_children, Log(), FakeSystemctl(0, "exec sleep 30"), strHanging, 200ms);
        EXPECT_EQ(hanging.Prepare(op), kResultNotStarted);
    }
    EXPECT_EQ(ReapAll(), 0u);
}

TEST(InhibitorLocks, BusctlOutputIsReadExactlyOrNotAtAll)
{
    const auto locks = ParseInhibitorLocks(
        "a(ssssuu) 2 \"shutdown:sleep\" \"Disc \\\"Burner\\\"\" \"C:\\\\backup\\ttoday\" \"block\" 1000 4321 "
        "\"idle\" \"\" \"\" \"delay\" 0 1\n");
    ASSERT_TRUE(locks);
    ASSERT_EQ(locks->size(), 2u);
    const InhibitorLock& first = (*locks)[0];
    // Other escapes stay as written.
    EXPECT_EQ(
        std::tie(first.strWhat, first.strWho, first.strWhy, first.strMode, first.ulUid, first.ulPid),
        std::make_tuple("shutdown:sleep", "Disc \"Burner\"", "C:\\backup\\ttoday", "block", 1000ul, 4321ul));
    EXPECT_EQ((*locks)[1].strMode, "delay");
    EXPECT_EQ(ParseInhibitorLocks("a(ssssuu) 0")->size(), 0u);

    const std::string one = "a(ssssuu) 1 \"shutdown\" \"w\" ";
    for (const std::string& strBad :
         {"as 0"s, "a(ssssuu)"s, "a(ssssuu) 99999999999 \"shutdown\" \"w\" \"y\" \"block\" 0 1"s,
          one + "\"y\" \"block\" 0", one + "\"y\" \"block\" 0 1 \"sleep\"", one + "\"y\" block 0 1",
          one + "\"y\" \"block\" 0 x1", one + "\"y\"\"block\" 0 1", one + "\"y"})
        EXPECT_FALSE(ParseInhibitorLocks(strBad)) << strBad;
}
