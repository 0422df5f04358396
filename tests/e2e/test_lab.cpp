// A lab of real agents: vtserver in one network namespace, four vtagentd in four others
// (one PC each, bound to 0.0.0.0 as installed), joined by a bridge. The agents carry
// operations out through --action-command, which records its words in a file per PC.
// Reservations send the operations, Edit > Auto Registration the search (on a private Xvfb
// display driven by xdotool); the test also speaks to an agent directly from the server's
// namespace.
#include "E2eSupport.h"

#include "AgentProtocol.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <optional>
#include <thread>

using namespace e2e;

namespace {

int Shell(const QString& strScript)
{
    return QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), strScript});
}

// A UDP socket made inside a network namespace stays there, whichever thread uses it.
int SocketIn(const QString& strNs, std::uint32_t dwBind)
{
    int fd = -1;
    std::thread([&] {
        const int nNs = ::open((QStringLiteral("/var/run/netns/") + strNs).toLocal8Bit().constData(),
                               O_RDONLY | O_CLOEXEC);
        if (nNs >= 0 && ::setns(nNs, CLONE_NEWNET) == 0) {
            fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            sockaddr_in sa{};
            sa.sin_family = AF_INET;
            sa.sin_addr.s_addr = htonl(dwBind);
            ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        }
        if (nNs >= 0)
            ::close(nNs);
    }).join();
    return fd;
}

std::optional<std::uint32_t> AskResultCode(int fd, std::uint32_t dwTo, std::uint16_t wPort,
                                           const std::vector<std::uint8_t>& request)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(dwTo);
    to.sin_port = htons(wPort);
    ::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    pollfd pfd{fd, POLLIN, 0};
    std::uint8_t reply[64];
    if (::poll(&pfd, 1, 1000) != 1)
        return std::nullopt;
    const ssize_t nGot = ::recv(fd, reply, sizeof reply, 0);
    if (nGot != 24 || !vtdgram::IsValidReply(reply, 24))
        return std::nullopt;
    return vtdgram::ReadU32(reply, 24, 20);
}

} // namespace

TEST(Lab, RealAgentsAnswerPollSearchAndOperationsAndCarryEachOutOnce)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to create network namespaces";
    for (const char* pszTool : {"ip", "Xvfb", "xdotool"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(pszTool)).isEmpty())
            GTEST_SKIP() << pszTool << " is missing (Debian packages iproute2, xvfb, xdotool)";
    }

    const QString strPid = QString::number(::getpid());
    const QString strSrv = QStringLiteral("vtlab-srv-") + strPid;
    const auto pcNs = [&](int n) { return QStringLiteral("vtlab-pc%1-%2").arg(n).arg(strPid); };
    // Declared before the sandbox, so its processes end before the namespaces go.
    const auto removeNamespaces = qScopeGuard([&] {
        QString strScript = QStringLiteral("ip netns del ") + strSrv;
        for (int n = 1; n <= 4; ++n)
            strScript += QStringLiteral("; ip netns del ") + pcNs(n);
        Shell(strScript);
    });
    // PC n: 10.214.0.1n with the MAC 02:42:00:00:00:0n, behind one bridge with the server's 10.214.0.1.
    QString strSetup =
        QStringLiteral("set -e; ip netns add %1; ip -n %1 link set lo up;"
                       "ip -n %1 link add br0 type bridge; ip -n %1 addr add 10.214.0.1/24 dev br0;"
                       "ip -n %1 link set br0 up; ip -n %1 route add default dev br0;")
            .arg(strSrv);
    for (int n = 1; n <= 4; ++n)
        strSetup +=
            QStringLiteral("ip netns add %2; ip -n %2 link set lo up;"
                           "ip -n %1 link add v%3 type veth peer name e%3;"
                           "ip -n %1 link set e%3 address 02:42:00:00:00:0%3 netns %2;"
                           "ip -n %2 link set e%3 name eth0; ip -n %2 addr add 10.214.0.1%3/24 dev eth0;"
                           "ip -n %2 link set eth0 up; ip -n %1 link set v%3 master br0 up;")
                .arg(strSrv, pcNs(n))
                .arg(n);
    ASSERT_EQ(Shell(strSetup), 0);

    Sandbox box;
    ASSERT_TRUE(box.IsValid());
    const std::uint16_t wAgentPort = box.Port() + 1;
    const auto actions = [&](int n) {
        return QString::fromUtf8(ReadFile(box.Path(QStringLiteral("actions-%1").arg(n))));
    };
    const auto agentLog = [&](int n) {
        return QString::fromUtf8(ReadFile(box.Path(QStringLiteral("agent%1.err").arg(n))));
    };
    for (int n = 1; n <= 4; ++n) {
        QStringList command = {
            QStringLiteral("ip"),
            QStringLiteral("netns"),
            QStringLiteral("exec"),
            pcNs(n),
            QStringLiteral(VTAGENTD_EXE),
            QStringLiteral("--port"),
            QString::number(wAgentPort),
            QStringLiteral("--name"),
            QStringLiteral("LAB-0%1").arg(n),
            QStringLiteral("--action-command"),
            QStringLiteral("printf '%s %s\\n' >> '%1'").arg(box.Path(QStringLiteral("actions-%1").arg(n)))};
        if (n == 3)
            command << QStringLiteral("--allow") << QStringLiteral("10.214.9.0/24");
        if (n == 4)
            command << QStringLiteral("--verbose");
        box.Start(command, QProcessEnvironment::systemEnvironment(), QStringLiteral("agent%1").arg(n));
    }
    QElapsedTimer agentsRunning;
    agentsRunning.start();
    for (int n = 1; n <= 4; ++n)
        ASSERT_TRUE(
            WaitUntil([&] { return agentLog(n).contains(QStringLiteral("listening at 0.0.0.0:")); }, 5000))
            << agentLog(n).toStdString();

    // PC 1 reboots and PC 2 shuts down forcibly by reservation, at the next minute that leaves
    // 12 s for the start-up poll.
    const std::time_t due = (std::time(nullptr) + 12 + 59) / 60 * 60;
    const Reserve reboot{1, 2, 0, 0, static_cast<std::int32_t>(due), 2, 0};
    const Reserve forcedShutdown{1, 2, 0, 0, static_cast<std::int32_t>(due), 4, 1};
    Roster roster;
    roster.pcs = {{.nId = 0, .strName = "OLD-1", .dwIp = Ip("10.214.0.11"), .off = reboot},
                  {.nId = 1, .strName = "OLD-2", .dwIp = Ip("10.214.0.12"), .off = forcedShutdown},
                  {.nId = 2, .strName = "OLD-3", .dwIp = Ip("10.214.0.13")}};
    WriteFile(box.DataFile(), RosterFile(roster));
    box.WriteSettings(1, 0);

    box.Start({QStringLiteral("ip"), QStringLiteral("netns"), QStringLiteral("exec"), strSrv,
               QStringLiteral("Xvfb"), QStringLiteral("-displayfd"), QStringLiteral("1"),
               QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-screen"),
               QStringLiteral("0"), QStringLiteral("1024x768x24")},
              QProcessEnvironment::systemEnvironment(), QStringLiteral("xvfb"));
    const QString strXvfbOut = box.Path(QStringLiteral("xvfb.out"));
    ASSERT_TRUE(WaitUntil([&] { return !ReadFile(strXvfbOut).trimmed().isEmpty(); }, 10000));
    const QString strDisplay = QLatin1Char(':') + QString::fromUtf8(ReadFile(strXvfbOut).trimmed());
    QProcessEnvironment env = box.ServerEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DISPLAY"), strDisplay);
    QProcess* pServer = box.Start({QStringLiteral("ip"), QStringLiteral("netns"), QStringLiteral("exec"),
                                   strSrv, box.Path(QStringLiteral("vtserver"))},
                                  env, QStringLiteral("server"));

    // The start-up poll: PCs 1 and 2 answer under their own names, PC 3's agent does not
    // answer a server outside its allow list. Every MAC comes from the neighbour table.
    Roster expected = roster;
    for (int i = 0; i < 3; ++i) {
        expected.pcs[i].mac = {0x02, 0x42, 0, 0, 0, static_cast<std::uint8_t>(i + 1)};
        expected.pcs[i].nStatus = i < 2 ? 0 : 1;
        if (i < 2)
            expected.pcs[i].strName = "LAB-0" + std::to_string(i + 1);
    }
    ASSERT_TRUE(WaitUntil([&] { return box.DataBytes() == RosterFile(expected); }, 15000))
        << "data file: " << box.DataBytes().toHex().toStdString();

    // A search registers PC 4.
    const auto searched = [&] { return agentLog(4).contains(QStringLiteral("bytes: search")); };
    for (int nTry = 0; nTry < 8 && !searched(); ++nTry) {
        Shell(QStringLiteral(
                  "timeout 20 ip netns exec %1 env DISPLAY=%2 xdotool search --sync --onlyvisible --name "
                  "'^Veltrane Server' windowfocus --sync sleep 0.5 key alt+e sleep 0.5 key r")
                  .arg(strSrv, strDisplay));
        // The command is disabled while the worker is busy (a poll, or the reservations): try again.
        WaitUntil(searched, 4000);
    }
    ASSERT_TRUE(searched()) << "Edit > Auto Registration sent no search";

    // Spoken to directly from the server's namespace: a repeated datagram is carried out once,
    // an operation naming another address not at all.
    const int fd = SocketIn(strSrv, Ip("10.214.0.1"));
    ASSERT_GE(fd, 0);
    const auto closeSocket = qScopeGuard([&] { ::close(fd); });
    const auto forcedReboot = vtagent::BuildRequest(4242, 2, 1, 1, {Ip("10.214.0.14")});
    EXPECT_EQ(AskResultCode(fd, Ip("10.214.0.14"), wAgentPort, forcedReboot), 0u);
    EXPECT_EQ(AskResultCode(fd, Ip("10.214.0.14"), wAgentPort, forcedReboot), 0u);
    EXPECT_EQ(AskResultCode(fd, Ip("10.214.0.14"), wAgentPort,
                            vtagent::BuildRequest(4243, 4, 0, 1, {Ip("10.214.0.99")})),
              std::nullopt);

    // The reservations fire; the refresh after them finds every PC again.
    const int nWaitMs = static_cast<int>(due - std::time(nullptr)) * 1000 + 15000;
    ASSERT_TRUE(WaitUntil([&] { return !actions(1).isEmpty() && !actions(2).isEmpty(); }, nWaitMs))
        << "server: " << ReadFile(box.Path(QStringLiteral("server.err"))).toStdString();
    Pc pc4{.nId = 3, .strName = "LAB-04", .dwIp = Ip("10.214.0.14"), .mac = {0x02, 0x42, 0, 0, 0, 4}};
    std::vector<QByteArray> accepted;
    for (const int nStatus : {0, 1}) {
        Roster withPc4 = expected;
        pc4.nStatus = nStatus;
        withPc4.pcs.push_back(pc4);
        accepted.push_back(RosterFile(withPc4));
    }
    // PC 4 shows operating when the refresh after the operations came after the search.
    EXPECT_TRUE(WaitUntil(
        [&] { return std::find(accepted.begin(), accepted.end(), box.DataBytes()) != accepted.end(); },
        10000))
        << "data file: " << box.DataBytes().toHex().toStdString();
    // Room for a second run of any action to show up.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_EQ(pServer->state(), QProcess::Running);

    EXPECT_EQ(actions(1), QStringLiteral("reboot plain\n"));
    EXPECT_EQ(actions(2), QStringLiteral("shutdown force\n"));
    EXPECT_EQ(actions(3), QString());
    EXPECT_EQ(actions(4), QStringLiteral("reboot force\n"));
    // PC 3 heard the poll, both search rounds and the refresh: noted once a minute at most.
    const qsizetype nNotes = agentLog(3).count(QStringLiteral("ignoring datagrams from 10.214.0.1:"));
    EXPECT_GE(nNotes, 1);
    EXPECT_LE(nNotes, 1 + agentsRunning.elapsed() / 60000) << agentLog(3).toStdString();
    EXPECT_TRUE(agentLog(4).contains(
        QStringLiteral("shutdown from 10.214.0.1 for 10.214.0.99: not this PC, ignored")));
    EXPECT_TRUE(agentLog(4).contains(QStringLiteral("forcible reboot from 10.214.0.1: repeated")));
}
