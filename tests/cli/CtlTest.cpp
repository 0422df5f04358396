// vtctl: its pieces in this process, the network commands against simulated agents, and
// the built executable beside a copy of the built program.
#include "AgentLab.h"
#include "Commands.h"
#include "app/Settings.h"
#include "cli/CCtl.h"
#include "model/CDoc.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

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

std::array<std::uint8_t, 6> Mac(std::uint8_t last)
{
    return {0x00, 0x1B, 0x21, 0x3A, 0x4C, last};
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

    /// vtctl in this process, on the case's data file unless `strData` names another.
    Result Ctl(std::vector<std::string> args, const std::string& strData = {})
    {
        Result result;
        CtlEnv env{Path("vtctl"), m_hooks, m_nBusyRetries, 100, {}, {}, {}};
        env.fnOut = [&](const std::string& s) { result.strOut += s; };
        env.fnErr = [&](const std::string& s) { result.strErr += s; };
        args.insert(args.begin(), {"--data", strData.empty() ? Data() : strData});
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

constexpr std::uint32_t kLoopback = 0x7F000001u;
constexpr std::uint32_t kWolAddress = 0x7F000009u; // the PCs' "broadcast" address

int BindUdp(std::uint32_t dwHost, std::uint16_t wPort)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(dwHost);
    addr.sin_port = htons(wPort);
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The server port P and the agent port P + 1, both free.
std::uint16_t FreePortPair()
{
    for (int i = 0; i < 200; ++i) {
        const auto wPort = static_cast<std::uint16_t>(QRandomGenerator::global()->bounded(45000, 45998));
        const int a = BindUdp(0, wPort), b = BindUdp(0, static_cast<std::uint16_t>(wPort + 1));
        ::close(a);
        ::close(b);
        if (a >= 0 && b >= 0)
            return wPort;
    }
    return 0;
}

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
    const auto mac = Mac(0x10);
    CKw* p1 = doc.AddPc("PC-001", 0x0A000001u, mac.data(), 0x0A0000FFu);
    CKw* p2 = doc.AddPc("PC-002", 0xFFFFFFFFu, nullptr, 0xFFFFFFFFu);
    doc.SetPcStatus(p1, 0);
    CReserve off, on;
    off.Set(1, ReserveDaily, 0, 0, now + 10 * 3600, OP_SHUTDOWN, 1);
    doc.SetPcReserves(p1, off, CReserve());
    on.Set(1, ReserveWeekly, 0, 0b0000100, now - 4 * 3600 - 1800, OP_WAKEUP, 0);
    CGroup* pLab = doc.AddGroup("Lab");
    doc.AddToGroup(pLab, p2->m_nId);
    doc.SetGroupReserves(pLab, CReserve(), on);
    Save(doc);

    EXPECT_EQ(
        Ctl({"list"}).strOut,
        "PC name  IP address  Status         MAC address        Broadcast address  next shutdown time      "
        "next wake up time  Groups\n"
        "PC-001   10.0.0.1    Now operating  00-1B-21-3A-4C-10  10.0.0.255         2024/03/05  22:00 - FS\n"
        "PC-002   Unknown     Unknown        Unknown            255.255.255.255" +
            std::string(4 + 24 + 19, ' ') + "Lab\n");
    // While a group is listed, its reservations stand in the next-time columns.
    EXPECT_NE(
        Ctl({"list", "lab"}).strOut.find("255.255.255.255" + std::string(4 + 20, ' ') + "2024/03/12  07:30"),
        std::string::npos);
    EXPECT_EQ(Ctl({"groups"}).strOut, "Group  Members  next shutdown time  next wake up time\n"
                                      "Lab    1                            2024/03/12  07:30\n");
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

TEST(CtlWords, RebootAndShutdownSendTheMenuCommandsOperationWords)
{
    EXPECT_EQ(CCtl::OperationWord(true, false), OperationWordOf(ID_REBOOT));
    EXPECT_EQ(CCtl::OperationWord(true, true), OperationWordOf(ID_FORCIBLE_REBOOT));
    EXPECT_EQ(CCtl::OperationWord(false, false), OperationWordOf(ID_SHUTDOWN));
    EXPECT_EQ(CCtl::OperationWord(false, true), OperationWordOf(ID_FORCIBLE_SHUTDOWN));
}

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

        CDoc doc;
        const auto m1 = Mac(1), m3 = Mac(3), m4 = Mac(4);
        CKw* p1 = doc.AddPc("PC-001", kLoopback + 1, m1.data(), kWolAddress);
        CKw* p2 = doc.AddPc("PC-002", kLoopback + 2, nullptr, kWolAddress);
        CKw* p3 = doc.AddPc("PC-003", kLoopback + 3, m3.data(), kWolAddress);
        CKw* p4 = doc.AddPc("PC-004", 0xFFFFFFFFu, m4.data(), kWolAddress);
        CGroup* pLab = doc.AddGroup("Lab");
        for (const CKw* p : {p1, p2, p4})
            doc.AddToGroup(pLab, p->m_nId);
        doc.AddToGroup(doc.AddGroup("Other"), p3->m_nId);
        Save(doc);
    }

    // Runs vtctl beside a fresh lab; returns the lab's log, sorted, without times, ids and senders.
    QStringList RunAgainstLab(const std::vector<std::string>& args, Result& result)
    {
        const std::string strLog = Path("lab.jsonl");
        std::remove(strLog.c_str());
        std::vector<vtagent::AgentSpec> agents(3);
        agents[0] = {.dwAddress = kLoopback + 1, .strName = "ALPHA", .dwResultCode = 5};
        agents[1] = {.dwAddress = kLoopback + 2, .strName = "BETA", .bSilent = true};
        agents[2] = {.dwAddress = kLoopback + 3, .strName = "GAMMA"};
        vtagent::AgentLab lab(vtagent::LabConfig{
            agents, static_cast<std::uint16_t>(m_wPort + 1), {}, {{kWolAddress, m_wPort}}, strLog, {}, 0});
        std::string strError;
        EXPECT_TRUE(lab.Start(strError)) << strError;
        result = Ctl(args);
        std::this_thread::sleep_for(std::chrono::milliseconds(50)); // the last packets reach the log
        lab.Stop();
        lab.Join();
        QStringList lines;
        for (const QByteArray& line : QByteArray::fromStdString(ReadAll(strLog)).split('\n')) {
            QJsonObject o = QJsonDocument::fromJson(line).object();
            for (const char* pszKey : {"t", "id", "from"})
                o.remove(QLatin1String(pszKey));
            if (!o.isEmpty())
                lines << QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
        }
        lines.sort();
        return lines;
    }

    const std::uint16_t m_wPort = FreePortPair();
};

QString Request(const char* pszType, int nAgent, int nCommand, int nForce, const char* pszAction)
{
    return QStringLiteral(
               R"({"action":"%5","agent":"127.0.0.%1","command":%2,"force":%3,"kind":"C","len":32,)"
               R"("list":["127.0.0.%1"],"param":1,"type":"%4","valid":true})")
        .arg(nAgent)
        .arg(nCommand)
        .arg(nForce)
        .arg(QLatin1String(pszType), QLatin1String(pszAction));
}

TEST_F(CtlNetTest, CommandsSendTheMenuCommandsDatagramsToTheirTargets)
{
    const auto wol = [this](int nLast) {
        return QStringLiteral(
                   R"({"len":102,"mac":"00-1B-21-3A-4C-0%1","to":"127.0.0.9:%2","valid":true,"wol":true})")
            .arg(nLast)
            .arg(m_wPort);
    };
    const struct {
        std::vector<std::string> args;
        int nExit;
        const char* pszOut;
        const char* pszErr;
        QStringList log;
    } cases[] = {
        {{"status", "Lab"},
         1,
         "PC-001   127.0.0.2   Now operating  ALPHA\nPC-002   127.0.0.3   Unknown\nPC-004   Unknown     "
         "Unknown\n",
         "No IP address, left out: PC-004",
         {Request("status", 2, 0, 0, "reply"), Request("status", 3, 0, 0, "silent")}},
        {{"status", "pc-003", "--json"},
         0,
         "\"answered_as\": \"GAMMA\"",
         "",
         {Request("status", 4, 0, 0, "reply")}},
        {{"reboot", "--force", "PC-001", "127.0.0.4"},
         1,
         "PC-001 (127.0.0.2): result code 5\nForcible Reboot sent to 2 PCs.\n",
         "",
         {Request("operate", 2, 2, 1, "reply"), Request("operate", 4, 2, 1, "reply")}},
        {{"shutdown", "Other"}, 0, "Shutdown sent to 1 PCs.\n", "", {Request("operate", 4, 4, 0, "reply")}},
        {{"wake", "Lab"}, 1, "sent to 2 PCs", "No MAC address, not woken: PC-002", {wol(1), wol(4)}},
        {{"wake", "--all"}, 1, "sent to 3 PCs", "", {wol(1), wol(3), wol(4)}},
        {{"reboot", "PC-001", "nosuch"}, 2, "", "unknown target \"nosuch\"", {}},
    };
    for (const auto& c : cases) {
        const std::string strCase = c.args.front() + " " + c.args.back();
        Result result;
        const QStringList log = RunAgainstLab(c.args, result);
        EXPECT_EQ(result.nExit, c.nExit) << strCase << "\n" << result.strErr;
        EXPECT_NE(result.strOut.find(c.pszOut), std::string::npos) << strCase << "\n" << result.strOut;
        EXPECT_NE(result.strErr.find(c.pszErr), std::string::npos) << strCase << "\n" << result.strErr;
        EXPECT_EQ(log.join(QLatin1Char('\n')).toStdString(), c.log.join(QLatin1Char('\n')).toStdString())
            << strCase;
    }
    // The status poll does not write the data file.
    CDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(Data()));
    EXPECT_EQ(doc.m_pcs.front()->m_nStatus, 1);
}

TEST_F(CtlNetTest, APortHeldForAMomentIsWaitedForAndOneHeldForGoodIsReported)
{
    const int fd = BindUdp(kLoopback, m_wPort);
    ASSERT_GE(fd, 0);
    Result result;
    RunAgainstLab({"status", "PC-003"}, result);
    EXPECT_EQ(result.nExit, 1);
    EXPECT_NE(result.strErr.find("Error code:10048"), std::string::npos) << result.strErr;

    std::thread release([fd] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        ::close(fd);
    });
    m_nBusyRetries = 50;
    const QStringList log = RunAgainstLab({"status", "PC-003"}, result);
    release.join();
    EXPECT_EQ(result.nExit, 0) << result.strErr;
    EXPECT_EQ(log, QStringList{Request("status", 4, 0, 0, "reply")});
}

constexpr const char* kHeader = "name,ip,mac,broadcast,groups\n";

/// Line numbers of the "line N: ..." problems in a command's error output.
std::set<int> ProblemLines(const std::string& strErr)
{
    std::set<int> lines;
    for (const QString& strLine : QString::fromStdString(strErr).split(QLatin1Char('\n')))
        if (strLine.startsWith(QLatin1String("line ")))
            lines.insert(strLine.mid(5).section(QLatin1Char(':'), 0, 0).toInt());
    return lines;
}

using ImportTest = CtlTest;

// Imported into a new data file and exported again, the same CSV: the second row lists A
// before B, so the import makes A first. The file is one the program writes too.
TEST_F(ImportTest, ExportOfAnImportGivesTheSameCsvAndRowsUpdateThePcAtTheirAddress)
{
    const std::string strCsv = std::string(kHeader) + "PC-001,10.0.0.1,00-1B-21-3A-4C-01,255.255.255.255,B\n"
                                                      "\"Room, 2 \"\"east\"\"\",10.0.0.2,,10.0.0.255,A;B\n"
                                                      "端末３,,00-1B-21-3A-4C-03,255.255.255.255,Lab 3\n"
                                                      "\" padded \",10.0.0.4,,255.255.255.255,A;Lab 3\n";
    WriteAll(Path("in.csv"), strCsv);
    const Result imported = Ctl({"import", Path("in.csv")});
    ASSERT_EQ(imported.nExit, 0) << imported.strErr;
    ASSERT_EQ(Ctl({"export", Path("out.csv")}).nExit, 0);
    EXPECT_EQ(ReadAll(Path("out.csv")), strCsv);
    CDoc loaded;
    ASSERT_TRUE(loaded.OnOpenDocument(Data()));
    const std::vector<std::uint8_t> resaved = loaded.SaveToBytes();
    const std::string strBefore = ReadAll(Data());
    EXPECT_EQ(strBefore, std::string(resaved.begin(), resaved.end()));
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
    const auto mac = Mac(0xEE);
    doc.AddToGroup(doc.AddGroup("x;y"), doc.AddPc("HOST", 0x0A000001u, mac.data(), 0xFFFFFFFFu)->m_nId);
    Save(doc);
    const std::string strBefore = ReadAll(Data());

    std::string strFull, strGroups;
    for (int i = 0; i < 254; ++i)
        strFull += "P" + std::to_string(i) + ",10.1." + std::to_string(i / 200) + "." +
                   std::to_string(i % 200 + 1) + ",,,\n";
    for (int i = 0; i < 100; ++i)
        strGroups +=
            "P" + std::to_string(i) + ",10.2.0." + std::to_string(i + 1) + ",,,g" + std::to_string(i) + "\n";
    const std::string strName128(128, 'n');

    const struct {
        const char* pszCase;
        std::string strCsv;
        std::set<int> lines;
        const char* pszHeader = kHeader;
    } cases[] = {
        {"bad IP address", "A,10.0.0.300,,,\nB,0.0.0.0,,,\n", {2, 3}},
        {"bad MAC address", "A,10.0.0.5,00-1B-21-3A-4C,,\n", {2}},
        {"bad broadcast address", "A,10.0.0.5,,x.y,\n", {2}},
        {"no usable address", "A,127.0.0.1,,,\n", {2}},
        {"names",
         ",10.0.0.5,,,\n" + strName128 + ",10.0.0.6,,,\n" + strName128 +
             "n,10.0.0.7,,,\n\"A\tB\",10.0.0.8,,,\n",
         {2, 4, 5}},
        {"group name", "A,10.0.0.5,,,ok;" + std::string(65, 'g') + "\n", {2}},
        {"duplicate rows",
         "A,10.0.0.5,,,\nB,10.0.0.5,,,\nC,,00-1b-21-3a-4c-10,,\nD,,00:1B:21:3A:4C:10,,\n",
         {3, 5}},
        {"MAC of a registered PC", "A,10.0.0.5,00-1B-21-3A-4C-EE,,\n", {2}},
        {"field count", "A,10.0.0.5,,\n", {2}},
        {"not UTF-8", "A\xFF,10.0.0.5,,,\n", {2}},
        {"line breaks inside quotes", "\"A\nB\",10.0.0.5,,,\nC,bad,,,\n", {2, 4}},
        {"unclosed quote", "A,10.0.0.5,,,\n\"B,10.0.0.6,,,\n", {3}},
        {"more than 254 PCs", strFull, {255}},
        {"more than 100 groups", strGroups, {101}},
        {"misspelt column", "", {1}, "name,ip,mac,brodcast\n"},
        {"no ip column", "", {1}, "name,mac\n"},
        {"column twice", "", {1}, "name,ip,mac,ip\n"},
    };
    for (const auto& c : cases) {
        WriteAll(Path("in.csv"), c.pszHeader + (c.strCsv.empty() ? "A,10.0.0.5,,\n" : c.strCsv));
        const Result result = Ctl({"import", Path("in.csv")});
        EXPECT_EQ(result.nExit, CCtl::ExitUsage) << c.pszCase;
        EXPECT_EQ(ProblemLines(result.strErr), c.lines) << c.pszCase << "\n" << result.strErr;
        EXPECT_EQ(ReadAll(Data()), strBefore) << c.pszCase;
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
        ASSERT_TRUE(QFile::copy(QStringLiteral(VTCTL_EXE), QString::fromStdString(Path("vtctl"))));
        ASSERT_TRUE(QFile::copy(QStringLiteral(VTSERVER_EXE), QString::fromStdString(Path("vtserver"))));
        std::filesystem::create_directories(Path("config/TORVANE"));
        WriteAll(Path("config/TORVANE/VT Server.conf"), "[Settings]\nType=0\n"); // no status poll
    }

    /// `pszExe` on an offscreen display in the given locale.
    void Prepare(QProcess& process, const char* pszExe, const std::vector<std::string>& args = {},
                 const char* pszLocale = "C")
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("LANGUAGE"));
        for (const char* pszName : {"LC_ALL", "LANG"})
            env.insert(QLatin1String(pszName), QLatin1String(pszLocale));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(env);
        QStringList arguments;
        for (const std::string& strArg : args)
            arguments << QString::fromStdString(strArg);
        process.start(QString::fromStdString(Path(pszExe)), arguments);
    }

    /// vtctl to its end (a hung one is killed: exit -1).
    Result Exe(const std::vector<std::string>& args, const char* pszLocale = "C")
    {
        QProcess process;
        Prepare(process, "vtctl", args, pszLocale);
        const bool bEnded = process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit;
        return {bEnded ? process.exitCode() : -1, process.readAllStandardOutput().toStdString(),
                process.readAllStandardError().toStdString()};
    }
};

TEST_F(CtlExeTest, UsageHelpAndExitStatusInTheSystemsLanguage)
{
    WriteAll(Path("bad.DAT"), "not a roster");
    const char* const ja = "ja_JP.UTF-8";
    const struct {
        std::vector<std::string> args;
        const char* pszLocale;
        int nExit;
        std::string strOut, strErr;
    } cases[] = {
        {{"--help"}, "C", 0, "Data file: " + Path("vtserver.DAT"), ""},
        {{"status", "--help"}, "C", 0, "Usage: vtctl status TARGETS", ""},
        {{}, "C", 2, "", "name a command"},
        {{"bogus"}, "C", 2, "", "unknown command \"bogus\""},
        {{"list", "--force"}, "C", 2, "", "list does not take the option --force"},
        {{"list", "--nope"}, "C", 2, "", "unknown option \"--nope\""},
        {{"list", "NoGroup"}, "C", 2, "", "there is no group \"NoGroup\""},
        {{"status"}, "C", 2, "", "name the targets, or --all"},
        {{"wake", "--all", "PC-001"}, "C", 2, "", "name targets or --all, not both"},
        {{"import"}, "C", 2, "", "import takes one file"},
        {{"import", Path("missing.csv")}, "C", 2, "", "cannot read"},
        {{"export", Path("no/such/dir/x.csv")}, "C", 2, "", "cannot write"},
        {{"--data", Path("bad.DAT"), "list"}, "C", 3, "", "Cannot read the data file"},
        {{"--data", Path(""), "groups"}, "C", 3, "", "Cannot read the data file"},
        {{"list"}, ja, 0, "PC名", ""},
        {{"wake", "nosuch"}, ja, 2, "", "不明な対象「nosuch」"},
        {{"--help"}, ja, 0, "終了ステータス", ""},
    };
    for (const auto& c : cases) {
        const Result result = Exe(c.args, c.pszLocale);
        const std::string strCase = c.args.empty() ? "" : c.args.front() + " " + c.args.back();
        EXPECT_EQ(result.nExit, c.nExit) << strCase << "\n" << result.strErr;
        EXPECT_NE(result.strOut.find(c.strOut), std::string::npos) << strCase << "\n" << result.strOut;
        EXPECT_NE(result.strErr.find(c.strErr), std::string::npos) << strCase << "\n" << result.strErr;
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
    Prepare(server, "vtserver");
    ASSERT_TRUE(server.waitForStarted(5000));
    for (int i = 0; i < 200 && !std::filesystem::exists(Path("vtserver.lock")); ++i)
        QThread::msleep(50);
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
