// Auto Registration through the real menu, with the real broadcast to 255.255.255.255. It runs
// in a network namespace of its own (a veth pair to a second, empty namespace carries the
// default route), so the broadcast never reaches the machine's own interfaces; the window
// lives on a private Xvfb display driven by xdotool.
#include "E2eSupport.h"

#include <QScopeGuard>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <algorithm>

#include <unistd.h>

using namespace e2e;

namespace {

// The script's output goes to the test's own; `timeout` bounds whatever might hang.
int Shell(const QString& strScript)
{
    return QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), strScript});
}

} // namespace

TEST(AutoRegistration, MenuCommandRegistersTheAgentsThatAnswerTheBroadcast)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to create a network namespace";
    for (const char* pszTool : {"ip", "Xvfb", "xdotool"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(pszTool)).isEmpty())
            GTEST_SKIP() << pszTool << " is missing (Debian packages iproute2, xvfb, xdotool)";
    }

    const QString strNs = QStringLiteral("vte2e-%1").arg(::getpid());
    const QString strPeer = QStringLiteral("vte2p-%1").arg(::getpid());
    const QString strExec = QStringLiteral("ip netns exec ") + strNs;
    // Declared before the sandbox, so its processes end before the namespaces go.
    const auto removeNamespaces =
        qScopeGuard([&] { Shell(QStringLiteral("ip netns del %1; ip netns del %2").arg(strNs, strPeer)); });
    ASSERT_EQ(Shell(QStringLiteral("set -e; ip netns add %1; ip netns add %2; ip -n %1 link set lo up;"
                                   "ip -n %1 link add vt0 type veth peer name vt1 netns %2;"
                                   "for a in 1 11 12 13; do ip -n %1 addr add 10.213.0.$a/24 dev vt0; done;"
                                   "ip -n %1 link set vt0 up; ip -n %2 link set vt1 up;"
                                   "ip -n %1 route add default dev vt0")
                        .arg(strNs, strPeer)),
              0);

    Sandbox box;
    ASSERT_TRUE(box.IsValid());
    box.WriteSettings(0, 0);
    box.StartAgents(QStringLiteral("--address 10.213.0.11=LAB-01,10.213.0.12=LAB-02,10.213.0.13=LAB-03 "
                                   "--search-listen 0.0.0.0"),
                    strExec);
    box.Start((strExec + QStringLiteral(" Xvfb -displayfd 1 -nolisten tcp -screen 0 1024x768x24"))
                  .split(QLatin1Char(' ')),
              QProcessEnvironment::systemEnvironment(), QStringLiteral("xvfb"));
    const QString strXvfbOut = box.Path(QStringLiteral("xvfb.out"));
    ASSERT_TRUE(WaitUntil([&] { return !ReadFile(strXvfbOut).trimmed().isEmpty(); }, 10000))
        << ReadFile(box.Path(QStringLiteral("xvfb.err"))).toStdString();
    const QString strDisplay = QLatin1Char(':') + QString::fromUtf8(ReadFile(strXvfbOut).trimmed());

    QProcessEnvironment env = box.ServerEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DISPLAY"), strDisplay);
    QProcess* pServer = box.Start(strExec.split(QLatin1Char(' ')) << box.Path(QStringLiteral("vtserver")),
                                  env, QStringLiteral("server"));

    const auto searched = [&] { return !box.AgentLog(QStringLiteral("search")).empty(); };
    // Keys can be lost while the window is still settling (or the worker still starting, which
    // keeps the command disabled): press again only when no search went out.
    for (int nTry = 0; nTry < 3 && !searched(); ++nTry) {
        EXPECT_EQ(
            Shell(QStringLiteral("timeout 20 %1 env DISPLAY=%2 xdotool search --sync --onlyvisible --name "
                                 "'^Veltrane Server' windowfocus --sync sleep 0.5 key alt+e sleep 0.5 key r")
                      .arg(strExec, strDisplay)),
            0)
            << ReadFile(box.Path(QStringLiteral("server.err"))).toStdString();
        WaitUntil(searched, 5000);
    }
    ASSERT_TRUE(searched()) << "Edit > Auto Registration sent no search";

    // Agents answer in any order; each is registered once, under the next id, as operating.
    std::vector<QByteArray> accepted;
    std::array<std::uint32_t, 3> order{0, 1, 2};
    do {
        Roster roster;
        for (std::uint32_t i : order)
            roster.pcs.push_back({.nId = static_cast<std::int32_t>(roster.pcs.size()),
                                  .strName = "LAB-0" + std::to_string(i + 1),
                                  .dwIp = Ip("10.213.0.11") + i,
                                  .nStatus = 0});
        accepted.push_back(RosterFile(roster));
    } while (std::next_permutation(order.begin(), order.end()));
    EXPECT_TRUE(WaitUntil(
        [&] { return std::find(accepted.begin(), accepted.end(), box.DataBytes()) != accepted.end(); },
        20000))
        << "data file: " << box.DataBytes().toHex().toStdString();

    const auto searches = box.AgentLog(QStringLiteral("search"));
    EXPECT_TRUE(std::any_of(searches.begin(), searches.end(), [&](const QJsonObject& line) {
        return line.value(QStringLiteral("listener")) == QStringLiteral("search") &&
               line.value(QStringLiteral("valid")).toBool() &&
               line.value(QStringLiteral("from")).toString().endsWith(QStringLiteral(":%1").arg(box.Port()));
    }));
    EXPECT_EQ(pServer->state(), QProcess::Running);
}
