// A lab of real agents: vtserver in one network namespace, four vtagentd bound to 0.0.0.0 in
// four others, joined by a bridge; each agent records the words of its action command in a
// file. The operator's commands go through the menus on a private Xvfb display (xdotool).
#include "E2eSupport.h"

#include "AgentProtocol.h"
#include "model/CDoc.h"
#include "model/CGroup.h"
#include "tests/ServerSocket.h"

#include <QScopeGuard>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <thread>

using namespace e2e;

namespace {

int Shell(const QString& strScript)
{
    return QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), strScript});
}

QStringList InNamespace(const QString& strNs, const QStringList& command)
{
    return QStringList{QStringLiteral("ip"), QStringLiteral("netns"), QStringLiteral("exec"), strNs} +
           command;
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
        Shell(QStringLiteral("for n in srv pc1 pc2 pc3 pc4; do ip netns del vtlab-$n-%1; done").arg(strPid));
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
        const QString strArgs =
            QStringLiteral("--port %1 --name LAB-0%2 ").arg(wAgentPort).arg(n) +
            (n == 3 ? QStringLiteral("--allow 10.214.9.0/24") : QStringLiteral("--verbose"));
        box.Start(
            InNamespace(pcNs(n), QStringList(QStringLiteral(VTAGENTD_EXE)) + strArgs.split(QLatin1Char(' ')))
                << QStringLiteral("--action-command")
                << QStringLiteral("printf '%s %s\\n' >> '%1'")
                       .arg(box.Path(QStringLiteral("actions-%1").arg(n))),
            QProcessEnvironment::systemEnvironment(), QStringLiteral("agent%1").arg(n));
    }
    for (int n = 1; n <= 4; ++n)
        ASSERT_TRUE(
            WaitUntil([&] { return agentLog(n).contains(QStringLiteral("listening at 0.0.0.0:")); }, 5000))
            << agentLog(n).toStdString();

    // PCs 1 and 2 in one group, which the operator picks in the tree; PC 3 is left to the search,
    // which must not find it. No question before an operation, as after "Don't ask again".
    CDoc doc;
    CGroup* pLab = doc.AddGroup("LAB");
    for (const char* pszIp : {"10.214.0.11", "10.214.0.12"})
        doc.AddToGroup(pLab, doc.AddPc("OLD", Ip(pszIp), nullptr, 0xFFFFFFFF)->m_nId);
    box.WriteDataFile(Bytes(doc));
    box.WriteSettings(1, 0, QStringLiteral("ConfirmOperation=0\n"));

    box.Start(InNamespace(strSrv, QStringLiteral("Xvfb -displayfd 1 -nolisten tcp -screen 0 1024x768x24")
                                      .split(QLatin1Char(' '))),
              QProcessEnvironment::systemEnvironment(), QStringLiteral("xvfb"));
    const QString strXvfbOut = box.Path(QStringLiteral("xvfb.out"));
    ASSERT_TRUE(WaitUntil([&] { return !ReadFile(strXvfbOut).trimmed().isEmpty(); }, 10000));
    const QString strDisplay = QLatin1Char(':') + QString::fromUtf8(ReadFile(strXvfbOut).trimmed());
    QProcessEnvironment env = box.ServerEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DISPLAY"), strDisplay);
    QProcess* pServer =
        box.Start(InNamespace(strSrv, {box.Path(QStringLiteral("vtserver"))}), env, QStringLiteral("server"));
    // xdotool commands for the server's window, once it has the focus.
    const auto keys = [&](const QString& strCommands) {
        Shell(QStringLiteral("timeout 20 ip netns exec %1 env DISPLAY=%2 xdotool search --sync --onlyvisible "
                             "--name '^Veltrane Server' windowfocus --sync %3")
                  .arg(strSrv, strDisplay, strCommands));
    };
    // The power commands are disabled while the worker is busy (the poll, an operation and
    // the refresh after it), and a menu opened then may enable its items under the keys: so
    // each command waits until the agents have answered the last refresh, and goes once.
    const auto refreshed = [&](qsizetype nTimes) {
        const auto asked = [&](int n) {
            return agentLog(n).count(QStringLiteral("bytes: status request")) >= nTimes;
        };
        const bool bDone = WaitUntil([&] { return asked(1) && asked(2); }, 10000);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        return bDone;
    };

    // The start-up poll: both PCs answer under their own names; every MAC comes from the
    // neighbour table.
    const QString strPolled = QStringLiteral("LAB-01 10.214.0.11 0 02-42-00-00-00-01; "
                                             "LAB-02 10.214.0.12 0 02-42-00-00-00-02");
    ASSERT_TRUE(WaitUntil([&] { return box.Pcs() == strPolled; }, 15000)) << box.Pcs().toStdString();

    // The group in the tree, then its first PC in the list: Operation > Reboot. Then the second
    // PC: Operation > Forcible Shutdown, the third item below Reboot.
    ASSERT_TRUE(refreshed(1));
    keys(QStringLiteral(
        "key Down sleep 0.3 key F6 sleep 0.3 key End Home sleep 0.3 key alt+o sleep 0.5 key b"));
    ASSERT_TRUE(WaitUntil([&] { return !actions(1).isEmpty(); }, 3000))
        << "Operation > Reboot did not reach PC 1";
    ASSERT_TRUE(refreshed(2));
    keys(QStringLiteral("key Down sleep 0.3 key alt+o sleep 0.5 key Down Down Down Return"));
    ASSERT_TRUE(WaitUntil([&] { return !actions(2).isEmpty(); }, 3000))
        << "Operation > Forcible Shutdown did not reach PC 2";

    // A search registers PC 4, and not PC 3, whose agent does not answer this server.
    ASSERT_TRUE(refreshed(3));
    keys(QStringLiteral("key alt+e sleep 0.5 key r"));
    ASSERT_TRUE(WaitUntil([&] { return agentLog(4).contains(QStringLiteral("bytes: search")); }, 3000))
        << "Edit > Auto Registration sent no search";
    const QString strFound = strPolled + QStringLiteral("; LAB-04 10.214.0.14 0 02-42-00-00-00-04");
    EXPECT_TRUE(WaitUntil([&] { return box.Pcs() == strFound; }, 10000)) << box.Pcs().toStdString();

    // Spoken to directly from the server's namespace: a repeated datagram is carried out once,
    // an operation naming another address not at all, and PC 3 answers nothing to this server.
    // A socket made inside a network namespace stays there.
    const int nHome = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    const int nSrv = ::open(("/var/run/netns/" + strSrv.toStdString()).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::setns(nSrv, CLONE_NEWNET), 0);
    const vtagenttest::ServerSocket socket(Ip("10.214.0.1"));
    ASSERT_EQ(::setns(nHome, CLONE_NEWNET), 0);
    ::close(nHome);
    ::close(nSrv);
    const auto ask = [&](const char* pszTo, std::uint32_t dwId, std::uint16_t wCommand,
                         const char* pszNamed) {
        const auto reply =
            socket.Ask(Ip(pszTo), wAgentPort, vtagent::BuildRequest(dwId, wCommand, 1, 1, {Ip(pszNamed)}),
                       std::chrono::seconds(1));
        return reply ? reply->bytes : std::vector<std::uint8_t>();
    };
    EXPECT_EQ(ask("10.214.0.14", 4242, 2, "10.214.0.14"), vtdgram::BuildOperateReply(4242, 2, 1, 0));
    EXPECT_EQ(ask("10.214.0.14", 4242, 2, "10.214.0.14"), vtdgram::BuildOperateReply(4242, 2, 1, 0));
    EXPECT_TRUE(ask("10.214.0.14", 4243, 4, "10.214.0.99").empty());
    EXPECT_TRUE(ask("10.214.0.13", 4244, 4, "10.214.0.13").empty());

    // Room for a second run of any action to show up.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_EQ(pServer->state(), QProcess::Running);
    EXPECT_EQ(actions(1), QStringLiteral("reboot plain\n"));
    EXPECT_EQ(actions(2), QStringLiteral("shutdown force\n"));
    EXPECT_EQ(actions(3), QString());
    EXPECT_EQ(actions(4), QStringLiteral("reboot force\n"));
    EXPECT_EQ(box.Pcs(), strFound);
}
