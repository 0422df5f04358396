// Auto Registration through the real menu, with the real broadcast to 255.255.255.255. It runs
// in a network namespace of its own (a veth pair to a second, empty namespace carries the
// default route), so the broadcast never reaches the machine's own interfaces; the window
// lives on a private Xvfb display driven by xdotool.
#include "E2eSupport.h"

#include <QStandardPaths>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace e2e;

namespace {

struct CommandResult {
    int nExit = -1;
    QString strOut;
};

CommandResult RunCommand(const QString& strProgram, const QStringList& args, int ms = 10000)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(strProgram, args);
    CommandResult result;
    if (!process.waitForFinished(ms)) {
        process.kill();
        process.waitForFinished(2000);
        return result;
    }
    result.nExit = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.strOut = QString::fromLocal8Bit(process.readAll());
    return result;
}

/// @brief Two namespaces joined by a veth pair; the first holds the server, the agents and
/// the display, and routes everything (255.255.255.255 included) into the second.
class NetworkNamespace {
public:
    NetworkNamespace()
        : m_strName(QStringLiteral("vte2e-%1").arg(::getpid())),
          m_strPeer(QStringLiteral("vte2p-%1").arg(::getpid()))
    {
        const QString ip = QStringLiteral("ip");
        const QList<QStringList> steps = {
            {QStringLiteral("netns"), QStringLiteral("add"), m_strName},
            {QStringLiteral("netns"), QStringLiteral("add"), m_strPeer},
            {QStringLiteral("-n"), m_strName, QStringLiteral("link"), QStringLiteral("set"),
             QStringLiteral("lo"), QStringLiteral("up")},
            {QStringLiteral("-n"), m_strName, QStringLiteral("link"), QStringLiteral("add"),
             QStringLiteral("vt0"), QStringLiteral("type"), QStringLiteral("veth"), QStringLiteral("peer"),
             QStringLiteral("name"), QStringLiteral("vt1"), QStringLiteral("netns"), m_strPeer},
            {QStringLiteral("-n"), m_strName, QStringLiteral("addr"), QStringLiteral("add"),
             QStringLiteral("10.213.0.1/24"), QStringLiteral("dev"), QStringLiteral("vt0")},
            {QStringLiteral("-n"), m_strName, QStringLiteral("link"), QStringLiteral("set"),
             QStringLiteral("vt0"), QStringLiteral("up")},
            {QStringLiteral("-n"), m_strPeer, QStringLiteral("link"), QStringLiteral("set"),
             QStringLiteral("vt1"), QStringLiteral("up")},
            {QStringLiteral("-n"), m_strName, QStringLiteral("route"), QStringLiteral("add"),
             QStringLiteral("default"), QStringLiteral("dev"), QStringLiteral("vt0")},
        };
        for (const QStringList& args : steps) {
            const CommandResult result = RunCommand(ip, args);
            if (result.nExit != 0) {
                m_strError = QStringLiteral("ip %1: %2").arg(args.join(QLatin1Char(' ')), result.strOut);
                return;
            }
        }
    }
    ~NetworkNamespace()
    {
        RunCommand(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("del"), m_strName});
        RunCommand(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("del"), m_strPeer});
    }
    NetworkNamespace(const NetworkNamespace&) = delete;
    NetworkNamespace& operator=(const NetworkNamespace&) = delete;

    const QString& Error() const { return m_strError; }
    bool AddAddress(const QString& strCidr) const
    {
        return RunCommand(QStringLiteral("ip"),
                          {QStringLiteral("-n"), m_strName, QStringLiteral("addr"), QStringLiteral("add"),
                           strCidr, QStringLiteral("dev"), QStringLiteral("vt0")})
                   .nExit == 0;
    }
    QStringList Exec() const
    {
        return {QStringLiteral("ip"), QStringLiteral("netns"), QStringLiteral("exec"), m_strName};
    }

private:
    QString m_strName;
    QString m_strPeer;
    QString m_strError;
};

} // namespace

TEST(AutoRegistration, MenuCommandRegistersTheAgentsThatAnswerTheBroadcast)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to create a network namespace";
    for (const char* pszTool : {"ip", "Xvfb", "xdotool"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(pszTool)).isEmpty())
            GTEST_SKIP() << pszTool << " is missing (Debian packages iproute2, xvfb, xdotool)";
    }

    NetworkNamespace ns;
    ASSERT_TRUE(ns.Error().isEmpty()) << ns.Error().toStdString();
    const QStringList names = {QStringLiteral("LAB-01"), QStringLiteral("LAB-02"), QStringLiteral("LAB-03")};
    QStringList agents;
    for (int i = 0; i < names.size(); ++i) {
        const QString strIp = QStringLiteral("10.213.0.%1").arg(11 + i);
        ASSERT_TRUE(ns.AddAddress(strIp + QStringLiteral("/24")));
        agents << strIp + QLatin1Char('=') + names[i];
    }

    Sandbox box;
    ASSERT_TRUE(box.IsValid());
    box.WriteSettings(0, 0);
    box.StartAgents({QStringLiteral("--address"), agents.join(QLatin1Char(',')),
                     QStringLiteral("--search-listen"), QStringLiteral("0.0.0.0")},
                    ns.Exec());

    QStringList xvfb = ns.Exec();
    xvfb << QStringLiteral("Xvfb") << QStringLiteral("-displayfd") << QStringLiteral("1")
         << QStringLiteral("-nolisten") << QStringLiteral("tcp") << QStringLiteral("-screen")
         << QStringLiteral("0") << QStringLiteral("1024x768x24");
    const QString strXvfbProgram = xvfb.takeFirst();
    box.StartProcess(strXvfbProgram, xvfb, QProcessEnvironment::systemEnvironment(),
                     QStringLiteral("xvfb.out"), QStringLiteral("xvfb.err"));
    QString strDisplay;
    ASSERT_TRUE(WaitUntil(
        [&] {
            strDisplay = ReadAll(box.Path(QStringLiteral("xvfb.out"))).trimmed();
            return !strDisplay.isEmpty();
        },
        10000))
        << ReadAll(box.Path(QStringLiteral("xvfb.err"))).toStdString();
    strDisplay.prepend(QLatin1Char(':'));

    QProcessEnvironment env = box.ServerEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DISPLAY"), strDisplay);
    QStringList server = ns.Exec();
    server << box.Path(QStringLiteral("vtserver"));
    const QString strServerProgram = server.takeFirst();
    QProcess* pServer = box.StartProcess(strServerProgram, server, env, QStringLiteral("server.out"),
                                         QStringLiteral("server.err"));

    auto xdotool = [&](const QStringList& args) {
        QStringList all = ns.Exec();
        all << QStringLiteral("env") << QStringLiteral("DISPLAY=") + strDisplay << QStringLiteral("xdotool")
            << args;
        const QString strProgram = all.takeFirst();
        return RunCommand(strProgram, all, 15000);
    };
    const CommandResult window =
        xdotool({QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                 QStringLiteral("--name"), QStringLiteral("^Veltrane Server")});
    ASSERT_EQ(window.nExit, 0) << window.strOut.toStdString()
                               << ReadAll(box.Path(QStringLiteral("server.err"))).toStdString();
    const QString strWindow = window.strOut.split(QLatin1Char('\n'), Qt::SkipEmptyParts).value(0).trimmed();
    auto searched = [&] {
        for (const QJsonObject& line : box.AgentLog()) {
            if (line.value(QStringLiteral("type")).toString() == QLatin1String("search"))
                return true;
        }
        return false;
    };
    // Keys can be lost while the window is still settling (or the worker still starting, which
    // keeps the command disabled): press again only when no search went out.
    for (int nTry = 0; nTry < 3 && !searched(); ++nTry) {
        EXPECT_EQ(xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), strWindow}).nExit, 0);
        WaitUntil([] { return false; }, 500);
        EXPECT_EQ(xdotool({QStringLiteral("key"), QStringLiteral("alt+e")}).nExit, 0);
        WaitUntil([] { return false; }, 500);
        EXPECT_EQ(xdotool({QStringLiteral("key"), QStringLiteral("r")}).nExit, 0);
        WaitUntil(searched, 5000);
    }
    ASSERT_TRUE(searched()) << "Edit > Auto Registration sent no search";

    std::optional<Roster> roster;
    EXPECT_TRUE(WaitUntil(
        [&] {
            roster = ParseRosterV1(box.DataBytes());
            return roster && roster->pcs.size() == 3;
        },
        20000))
        << "data file: " << box.DataBytes().toHex().toStdString();
    ASSERT_TRUE(roster);
    for (int i = 0; i < 3 && i < static_cast<int>(roster->pcs.size()); ++i) {
        const Pc& pc = roster->pcs[static_cast<std::size_t>(i)];
        // Agents answer in any order; each one is registered once under its own address.
        const int nAgent = static_cast<int>(pc.dwIp - Ip("10.213.0.11"));
        ASSERT_TRUE(nAgent >= 0 && nAgent < 3) << IpText(pc.dwIp).toStdString();
        EXPECT_EQ(QString::fromStdString(pc.strName), names[nAgent]);
        EXPECT_EQ(pc.nStatus, 1);
        EXPECT_EQ(pc.dwBroadcast, 0xFFFFFFFFu);
        for (int k = 0; k < i; ++k)
            EXPECT_NE(roster->pcs[static_cast<std::size_t>(k)].dwIp, pc.dwIp);
    }

    bool bHeardBroadcast = false;
    for (const QJsonObject& line : box.AgentLog()) {
        if (line.value(QStringLiteral("listener")).toString() == QLatin1String("search") &&
            line.value(QStringLiteral("type")).toString() == QLatin1String("search") &&
            line.value(QStringLiteral("valid")).toBool() &&
            line.value(QStringLiteral("from")).toString().endsWith(QStringLiteral(":%1").arg(box.Port())))
            bHeardBroadcast = true;
    }
    EXPECT_TRUE(bHeardBroadcast);
    EXPECT_EQ(pServer->state(), QProcess::Running);
}
