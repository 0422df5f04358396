// vtctl: its pieces in this process, the network commands against simulated agents, and
// the built executable beside a copy of the built program.
#include "NetTestSupport.h"
#include "app/Settings.h"
#include "cli/CCtl.h"
#include "model/CDoc.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

#include <filesystem>
#include <memory>
#include <set>
#include <tuple>

namespace {

std::string ReadAll(const std::string& strPath)
{
    std::ifstream in(strPath, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& strPath, const std::string& strText)
{
    std::ofstream(strPath, std::ios::binary) << strText;
}

/// One case's private files: the data file, the settings, the per-user data folder and
/// the instance lock all live in a temporary folder.
class CtlTest : public ::testing::Test {
protected:
    struct Result {
        int nExit = -1;
        std::string strOut, strErr;
    };

    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ::setenv("XDG_CONFIG_HOME", Path("config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", Path("data").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", Path("").c_str(), 1);
        ::setenv("VT_LOCK_FILE", Path("vtserver.lock").c_str(), 1);
        for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat})
            QSettings::setPath(format, QSettings::UserScope, QString::fromStdString(Path("config")));
    }

    std::string Path(const std::string& strName) const { return m_dir.path().toStdString() + "/" + strName; }
    std::string Data() const { return Path("roster.DAT"); }

    /// vtctl in this process, on the case's data file.
    Result Ctl(std::vector<std::string> args)
    {
        Result result;
        CtlEnv env{Path("vtctl"), m_hooks, m_nBusyRetries, 100, {}, {}, {}};
        env.fnOut = [&](const std::string& s) { result.strOut += s; };
        env.fnErr = [&](const std::string& s) { result.strErr += s; };
        args.insert(args.begin(), {"--data", Data()});
        result.nExit = CCtl(std::move(env)).Run(args);
        return result;
    }

    void Save(CDoc& doc, const std::string& strPath = {})
    {
        doc.SetPathName(strPath.empty() ? Data() : strPath);
        ASSERT_EQ(doc.DoFileSave(), SaveResult::Saved);
    }

    QTemporaryDir m_dir;
    ClientHooks m_hooks;
    int m_nBusyRetries = 3;
};

/// JSON text on one line, the local offsets of times left out (they depend on the zone).
std::string Compact(const std::string& strJson)
{
    return QString::fromUtf8(
               QJsonDocument::fromJson(QByteArray::fromStdString(strJson)).toJson(QJsonDocument::Compact))
        .remove(QRegularExpression(QStringLiteral("(Z|[+-]\\d\\d:\\d\\d)(?=\")")))
        .toStdString();
}

TEST_F(CtlTest, ListAndGroupsShowTheListsTextsAndJsonForScripts)
{
    const VtTime now = QDateTime(QDate(2024, 3, 5), QTime(12, 0)).toSecsSinceEpoch();
    vtclock::SetClockForTesting([now] { return now; });
    CDoc doc;
    const std::uint8_t mac[] = {0x00, 0x1B, 0x21, 0x3A, 0x4C, 0x10};
    CKw* p1 = doc.AddPc("PC-001", 0x0A000001u, mac, 0x0A0000FFu);
    CKw* p2 = doc.AddPc("PC-002", 0xFFFFFFFFu, nullptr, 0xFFFFFFFFu);
    p1->m_nStatus = 0;
    p1->m_reserveOff.Set(1, ReserveDaily, 0, 0, now + 10 * 3600, OP_SHUTDOWN, 1);
    CGroup* pLab = doc.AddGroup("Lab");
    doc.AddToGroup(pLab, p2->m_nId);
    pLab->m_reserveOn.Set(1, ReserveWeekly, 0, 0b0000100, now - 4 * 3600 - 1800, OP_WAKEUP, 0);
    Save(doc);

    // A group's reservations stand in the next-time columns while it is listed.
    EXPECT_EQ(Ctl({"list", "lab"}).strOut,
              "PC name  IP address  Status   MAC address  Broadcast address  next shutdown time  "
              "next wake up time  Groups\nPC-002   Unknown     Unknown  Unknown      255.255.255.255" +
                  std::string(24, ' ') + "2024/03/12  07:30  Lab\n");
    EXPECT_EQ(Compact(Ctl({"list", "--json"}).strOut),
              R"([{"broadcast":"10.0.0.255","groups":[],"ip":"10.0.0.1","mac":"00-1B-21-3A-4C-10",)"
              R"("name":"PC-001","shutdown":{"forcible":true,"mode":"daily","next":"2024-03-05T22:00:00",)"
              R"("operation":"shutdown","time":"22:00"},"status":"operating","wakeup":null},)"
              R"({"broadcast":"255.255.255.255","groups":["Lab"],"ip":null,"mac":null,"name":"PC-002",)"
              R"("shutdown":null,"status":"unknown","wakeup":null}])");
    EXPECT_EQ(Compact(Ctl({"groups", "--json"}).strOut),
              R"([{"members":1,"name":"Lab","shutdown":null,"wakeup":{"mode":"weekly",)"
              R"("next":"2024-03-12T07:30:00","time":"07:30","weekdays":["tue"]}}])");
    vtclock::SetClockForTesting({});
}

constexpr const char* kHeader = "name,ip,mac,broadcast,groups\n";
constexpr std::uint32_t kLoopback = 0x7F000001u;
constexpr std::uint32_t kWolAddress = 0x7F000009u; // the PCs' "broadcast" address

// PC-001 refuses operations with code 5, PC-002 is switched off, PC-003 answers; PC-004
// has no IP address and PC-002 no MAC address. Lab = PC-001, PC-002, PC-004.
class CtlNetTest : public CtlTest {
protected:
    void SetUp() override
    {
        CtlTest::SetUp();
        ASSERT_NE(m_wPort, 0);
        // Bound to one address, so that the Wake-on-LAN listener may share the port.
        vtsettings::WriteInt("Interface", "IP Port", m_wPort);
        vtsettings::WriteInt("Interface", "IP Address", static_cast<int>(kLoopback));
        m_hooks.nQuietMs = 300;
        m_hooks.fnLocalAddresses = [] { return std::vector<std::uint32_t>{}; };

        WriteAll(Path("in.csv"), std::string(kHeader) + "PC-001,127.0.0.2,00-1B-21-3A-4C-01,127.0.0.9,Lab\n"
                                                        "PC-002,127.0.0.3,,127.0.0.9,Lab\n"
                                                        "PC-003,127.0.0.4,00-1B-21-3A-4C-03,127.0.0.9,Other\n"
                                                        "PC-004,,00-1B-21-3A-4C-04,127.0.0.9,Lab\n");
        ASSERT_EQ(Ctl({"import", Path("in.csv")}).nExit, 0);
    }

    // vtctl beside a fresh lab; what reached the lab, sorted: "agent type command force", or
    // "wol MAC" for a magic packet at the broadcast address and port.
    std::vector<std::string> RunAgainstLab(const std::vector<std::string>& args, Result& result)
    {
        const std::string strLog = Path("lab.jsonl");
        std::remove(strLog.c_str());
        vtagent::AgentLab lab({.agents = {{.dwAddress = kLoopback + 1, .strName = "ALPHA", .dwResultCode = 5},
                                          {.dwAddress = kLoopback + 2, .strName = "BETA", .bSilent = true},
                                          {.dwAddress = kLoopback + 3, .strName = "GAMMA"}},
                               .wAgentPort = static_cast<std::uint16_t>(m_wPort + 1),
                               .searchListen = {},
                               .wolListen = {{kWolAddress, m_wPort}},
                               .strLogPath = strLog,
                               .strReadyFile = {}});
        std::string strError;
        EXPECT_TRUE(lab.Start(strError)) << strError;
        result = Ctl(args);
        std::this_thread::sleep_for(std::chrono::milliseconds(50)); // the last packets reach the log
        lab.Stop();
        lab.Join();
        std::vector<std::string> lines;
        for (const QByteArray& line : QByteArray::fromStdString(ReadAll(strLog)).split('\n')) {
            const QVariantMap o = QJsonDocument::fromJson(line).object().toVariantMap();
            const auto at = [&](const char* pszKey) {
                return o.value(QLatin1String(pszKey)).toString().toStdString();
            };
            if (o.contains(QStringLiteral("wol")))
                lines.push_back("wol " + at("mac"));
            else if (!o.isEmpty())
                lines.push_back(at("agent") + " " + at("type") + " " + at("command") + " " + at("force"));
        }
        std::sort(lines.begin(), lines.end());
        return lines;
    }

    const std::uint16_t m_wPort = vttest::FreePortPair();
};

TEST_F(CtlNetTest, CommandsSendTheMenuCommandsDatagramsToTheirTargets)
{
    // What vtctl prints (output, then errors) and what reaches the lab.
    const std::tuple<std::vector<std::string>, int, const char*, std::vector<std::string>> cases[] = {
        {{"status", "Lab"},
         1,
         "ALPHA\nPC-002   127.0.0.3   Unknown\nPC-004   Unknown     Unknown\nNo IP address, left out: PC-004",
         {"127.0.0.2 status 0 0", "127.0.0.3 status 0 0"}},
        {{"status", "pc-003", "--json"}, 0, "\"answered_as\": \"GAMMA\"", {"127.0.0.4 status 0 0"}},
        {{"reboot", "--force", "PC-001", "127.0.0.4"},
         1,
         "PC-001 (127.0.0.2): result code 5\nForcible Reboot sent to 2 PCs.\n",
         {"127.0.0.2 operate 2 1", "127.0.0.4 operate 2 1"}},
        {{"shutdown", "Other"}, 0, "Shutdown sent to 1 PCs.\n", {"127.0.0.4 operate 4 0"}},
        {{"wake", "--all"},
         1,
         "sent to 3 PCs.\nNo MAC address, not woken: PC-002",
         {"wol 00-1B-21-3A-4C-01", "wol 00-1B-21-3A-4C-03", "wol 00-1B-21-3A-4C-04"}},
        {{"reboot", "PC-001", "nosuch"}, 2, "unknown target \"nosuch\"", {}},
    };
    for (const auto& [args, nExit, pszText, log] : cases) {
        SCOPED_TRACE(testing::PrintToString(args));
        Result result;
        EXPECT_EQ(RunAgainstLab(args, result), log);
        EXPECT_EQ(result.nExit, nExit);
        EXPECT_NE((result.strOut + result.strErr).find(pszText), std::string::npos)
            << result.strOut << result.strErr;
    }
    // The status poll does not write the data file.
    CDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(Data()));
    EXPECT_EQ(doc.m_pcs.front()->m_nStatus, 1);
}

TEST_F(CtlNetTest, APortHeldForAMomentIsWaitedForAndOneHeldForGoodIsReported)
{
    auto holder = std::make_unique<vtagenttest::ServerSocket>(kLoopback, m_wPort);
    ASSERT_NE(holder->Port(), 0);
    Result result;
    RunAgainstLab({"status", "PC-003"}, result);
    EXPECT_EQ(result.nExit, 1);
    EXPECT_NE(result.strErr.find("Error code:10048"), std::string::npos) << result.strErr;

    std::thread release([&holder] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        holder.reset();
    });
    m_nBusyRetries = 50;
    const auto log = RunAgainstLab({"status", "PC-003"}, result);
    release.join();
    EXPECT_EQ(result.nExit, 0) << result.strErr;
    EXPECT_EQ(log, std::vector<std::string>{"127.0.0.4 status 0 0"});
}

using ImportTest = CtlTest;

// Imported into a new data file and exported again, the same CSV: the second row lists A
// before B, so the import makes A first.
TEST_F(ImportTest, ExportOfAnImportGivesTheSameCsvAndRowsUpdateThePcAtTheirAddress)
{
    const std::string strCsv = std::string(kHeader) + "PC-001,10.0.0.1,00-1B-21-3A-4C-01,255.255.255.255,B\n"
                                                      "\"Room, 2 \"\"east\"\"\",10.0.0.2,,10.0.0.255,A;B\n"
                                                      "端末３,,00-1B-21-3A-4C-03,255.255.255.255,Lab 3\n"
                                                      "\" padded \",10.0.0.4,,255.255.255.255,A;Lab 3\n";
    WriteAll(Path("in.csv"), strCsv);
    ASSERT_EQ(Ctl({"import", Path("in.csv")}).strErr, "");
    ASSERT_EQ(Ctl({"export", Path("out.csv")}).nExit, 0);
    EXPECT_EQ(ReadAll(Path("out.csv")), strCsv);
    const std::string strBefore = ReadAll(Data());
    const Result again = Ctl({"import", Path("out.csv")});
    EXPECT_EQ(std::make_pair(again.nExit, again.strOut),
              std::make_pair(0, std::string("Nothing to change.\n")));
    EXPECT_EQ(ReadAll(Data()), strBefore);

    // By IP address, else by MAC address among the PCs without one; an empty mac cell keeps
    // the MAC, and nothing is removed.
    WriteAll(Path("in.csv"), "groups,Name,mac,ip\n"
                             "H,NEW-1,,10.0.0.1\n"
                             "A,T3,00:1b:21:3a:4c:03,\n"
                             ",PC-C,aa-bb-cc-dd-ee-ff,10.0.0.3\n");
    const std::string strChanges = "new group \"H\"\n"
                                   "update 10.0.0.1: name \"PC-001\" -> \"NEW-1\"\n"
                                   "add NEW-1 to group \"H\"\n"
                                   "update 00-1B-21-3A-4C-03: name \"端末３\" -> \"T3\"\n"
                                   "add T3 to group \"A\"\n"
                                   "add PC-C (10.0.0.3)\n"
                                   "1 PCs added, 2 updated, 1 groups created, 2 memberships added.\n";
    const Result dry = Ctl({"import", "--dry-run", Path("in.csv")});
    EXPECT_EQ(std::make_pair(dry.nExit, dry.strOut),
              std::make_pair(0, strChanges + "Dry run: the data file was not changed.\n"));
    EXPECT_EQ(ReadAll(Data()), strBefore);
    const Result done = Ctl({"import", Path("in.csv")});
    EXPECT_EQ(std::make_pair(done.nExit, done.strOut), std::make_pair(0, strChanges)) << done.strErr;
    EXPECT_EQ(Ctl({"export"}).strOut, std::string(kHeader) +
                                          "NEW-1,10.0.0.1,00-1B-21-3A-4C-01,255.255.255.255,B;H\n"
                                          "\"Room, 2 \"\"east\"\"\",10.0.0.2,,10.0.0.255,A;B\n"
                                          "T3,,00-1B-21-3A-4C-03,255.255.255.255,A;Lab 3\n"
                                          "\" padded \",10.0.0.4,,255.255.255.255,A;Lab 3\n"
                                          "PC-C,10.0.0.3,AA-BB-CC-DD-EE-FF,255.255.255.255,\n");
}

TEST_F(ImportTest, EveryProblemIsReportedByLineAndTheDataFileStaysByteForByte)
{
    CDoc doc;
    const std::uint8_t mac[] = {0x00, 0x1B, 0x21, 0x3A, 0x4C, 0xEE};
    doc.AddToGroup(doc.AddGroup("x;y"), doc.AddPc("HOST", 0x0A000001u, mac, 0xFFFFFFFFu)->m_nId);
    Save(doc);
    const std::string strBefore = ReadAll(Data());

    // One problem on each line but 8 (the longest name) and 15; line 14 repeats line 8's
    // address, 16 line 15's MAC address, and 17 has HOST's.
    const std::string strRows =
        "A,10.0.0.300,,,\nB,0.0.0.0,,,\nC,10.0.0.5,00-1B-21-3A-4C,,\nD,10.0.0.6,,x.y,\n"
        "E,127.0.0.1,,,\n,10.0.0.7,,,\n" +
        std::string(128, 'n') + ",10.0.0.8,,,\n" + std::string(129, 'n') +
        ",10.0.0.9,,,\n\"A\tB\",10.0.0.10,,,\nF,10.0.0.11,,,ok;" + std::string(65, 'g') +
        "\nG,10.0.0.12,,\nH\xFF,10.0.0.13,,,\nI,10.0.0.8,,,\nJ,,00-1b-21-3a-4c-10,,\n"
        "K,,00:1B:21:3A:4C:10,,\nL,10.0.0.17,00-1B-21-3A-4C-EE,,\n";
    // With HOST and "x;y": one PC (line 255) and one group (line 101) more than a roster holds.
    std::string strFull;
    for (int i = 0; i < 254; ++i)
        strFull += "P" + std::to_string(i) + ",10.1." + std::to_string(i / 200) + "." +
                   std::to_string(i % 200 + 1) + ",,," + (i < 100 ? "g" + std::to_string(i) : "") + "\n";
    const std::pair<std::string, std::set<int>> cases[] = {
        {kHeader + strRows, {2, 3, 4, 5, 6, 7, 9, 10, 11, 12, 13, 14, 16, 17}},
        {kHeader + strFull, {101, 255}},
        {std::string(kHeader) + "A,10.0.0.5,,,\n\"B,10.0.0.6,,,\n", {3}},
        {"name,ip,mac,brodcast\n", {1}},
        {"name,mac\n", {1}},
        {"name,ip,mac,ip\n", {1}},
    };
    for (const auto& [strCsv, lines] : cases) {
        WriteAll(Path("in.csv"), strCsv);
        const Result result = Ctl({"import", Path("in.csv")});
        std::set<int> reported;
        for (const QString& strLine : QString::fromStdString(result.strErr).split(QLatin1Char('\n')))
            if (strLine.startsWith(QLatin1String("line ")))
                reported.insert(strLine.mid(5).section(QLatin1Char(':'), 0, 0).toInt());
        EXPECT_EQ(result.nExit, CCtl::ExitUsage) << strCsv;
        EXPECT_EQ(reported, lines) << result.strErr;
        EXPECT_EQ(ReadAll(Data()), strBefore) << strCsv;
    }

    // A group the groups column cannot hold: left out of the export with a warning, and its
    // members kept by an import that updates them.
    WriteAll(Path("in.csv"), std::string(kHeader) + "HOST-2,10.0.0.1,,,\n");
    ASSERT_EQ(Ctl({"import", Path("in.csv")}).nExit, 0);
    EXPECT_NE(Ctl({"export"}).strErr.find("\"x;y\""), std::string::npos);
    EXPECT_NE(Ctl({"list", "x;y"}).strOut.find("HOST-2 "), std::string::npos);
}

class CtlExeTest : public CtlTest {
protected:
    void SetUp() override
    {
        CtlTest::SetUp();
        // Side by side, as installed: both find the same data file without being told.
        ASSERT_TRUE(std::filesystem::copy_file(VTCTL_EXE, Path("vtctl")));
        ASSERT_TRUE(std::filesystem::copy_file(VTSERVER_EXE, Path("vtserver")));
        std::filesystem::create_directories(Path("config/TORVANE"));
        WriteAll(Path("config/TORVANE/VT Server.conf"), "[Settings]\nType=0\n"); // no status poll
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::unsetenv("LANGUAGE");
    }

    /// vtctl to its end in the given locale (a hung one is killed: exit -1).
    Result Exe(const std::vector<std::string>& args, const char* pszLocale = "C")
    {
        for (const char* pszName : {"LC_ALL", "LANG"})
            ::setenv(pszName, pszLocale, 1);
        QStringList arguments;
        for (const std::string& strArg : args)
            arguments << QString::fromStdString(strArg);
        QProcess process;
        process.start(QString::fromStdString(Path("vtctl")), arguments);
        const bool bEnded = process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit;
        return {bEnded ? process.exitCode() : -1, process.readAllStandardOutput().toStdString(),
                process.readAllStandardError().toStdString()};
    }
};

TEST_F(CtlExeTest, UsageHelpAndExitStatusInTheSystemsLanguage)
{
    WriteAll(Path("bad.DAT"), "not a roster");
    const char* const ja = "ja_JP.UTF-8";
    // Arguments, locale, exit status, and what vtctl prints.
    const std::tuple<std::vector<std::string>, const char*, int, std::string> cases[] = {
        {{"--help"}, "C", 0, "Data file: " + Path("vtserver.DAT")},
        {{}, "C", 2, "name a command"},
        {{"bogus"}, "C", 2, "unknown command \"bogus\""},
        {{"list", "--force"}, "C", 2, "list does not take the option --force"},
        {{"list", "--nope"}, "C", 2, "unknown option \"--nope\""},
        {{"list", "NoGroup"}, "C", 2, "there is no group \"NoGroup\""},
        {{"status"}, "C", 2, "name the targets, or --all"},
        {{"wake", "--all", "PC-001"}, "C", 2, "name targets or --all, not both"},
        {{"import"}, "C", 2, "import takes one file"},
        {{"import", Path("missing.csv")}, "C", 2, "cannot read"},
        {{"export", Path("no/such/dir/x.csv")}, "C", 2, "cannot write"},
        {{"--data", Path("bad.DAT"), "list"}, "C", 3, "Cannot read the data file"},
        {{"list"}, ja, 0, "PC名"},
        {{"wake", "nosuch"}, ja, 2, "不明な対象「nosuch」"},
    };
    for (const auto& [args, pszLocale, nExit, strText] : cases) {
        SCOPED_TRACE(testing::PrintToString(args));
        const Result result = Exe(args, pszLocale);
        EXPECT_EQ(result.nExit, nExit) << result.strErr;
        EXPECT_NE((result.strOut + result.strErr).find(strText), std::string::npos)
            << result.strOut << result.strErr;
    }
    EXPECT_FALSE(std::filesystem::exists(Path("vtserver.DAT")));
}

TEST_F(CtlExeTest, ImportIsRefusedWhileTheProgramRunsAndTakenOnceItHasEnded)
{
    CDoc doc;
    doc.AddPc("HOST", 0x0A000001u, nullptr, 0xFFFFFFFFu);
    Save(doc, Path("vtserver.DAT"));
    const std::string strBefore = ReadAll(Path("vtserver.DAT"));
    WriteAll(Path("in.csv"), "name,ip,mac\nNEW,10.0.0.2,\n");

    QProcess server;
    server.start(QString::fromStdString(Path("vtserver")), {});
    ASSERT_TRUE(server.waitForStarted(5000));
    for (int i = 0; i < 200 && !std::filesystem::exists(Path("vtserver.lock")); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(std::filesystem::exists(Path("vtserver.lock")));
    const Result refused = Exe({"import", Path("in.csv")});
    EXPECT_EQ(refused.nExit, 1);
    EXPECT_NE(refused.strErr.find("VT Server is running"), std::string::npos) << refused.strErr;
    EXPECT_EQ(ReadAll(Path("vtserver.DAT")), strBefore);

    server.terminate();
    ASSERT_TRUE(server.waitForFinished(10000));
    const Result taken = Exe({"import", Path("in.csv")});
    EXPECT_EQ(taken.nExit, 0) << taken.strErr;
    EXPECT_NE(Exe({"list"}).strOut.find("NEW "), std::string::npos);
}

} // namespace

int main(int argc, char** argv)
{
    // QProcess wants an application object even when only its blocking waits are used.
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
