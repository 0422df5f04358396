#include "CliTestSupport.h"

#include "AgentLab.h"
#include "Commands.h"
#include "app/Settings.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

using namespace clitest;

namespace {

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

using CtlTest = CtlFixture;

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
class CtlNetTest : public CtlFixture {
protected:
    void SetUp() override
    {
        CtlFixture::SetUp();
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

} // namespace
