// Reservations fire at their minute in the running program: waits for a real minute to turn.
#include "E2eSupport.h"

#include <QJsonArray>

#include <gtest/gtest.h>

#include <ctime>
#include <thread>

using namespace e2e;

namespace {

std::vector<QJsonObject> Select(const std::vector<QJsonObject>& lines,
                                const std::function<bool(const QJsonObject&)>& fn)
{
    std::vector<QJsonObject> out;
    for (const QJsonObject& line : lines) {
        if (fn(line))
            out.push_back(line);
    }
    return out;
}

// The start of the next local minute, leaving at least 8 s to start the program before it.
std::time_t NextMinute()
{
    std::time_t now = std::time(nullptr);
    if (now % 60 > 52) {
        std::this_thread::sleep_for(std::chrono::seconds(60 - now % 60));
        now = std::time(nullptr);
    }
    std::tm local{};
    localtime_r(&now, &local);
    local.tm_sec = 0;
    local.tm_min += 1;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

} // namespace

TEST(Reservations, DueShutdownAndWakeUpFireAtTheirMinuteAndARefreshFollows)
{
    Sandbox box;
    ASSERT_TRUE(box.IsValid());
    const std::uint32_t dwTarget = Ip("127.77.5.2");
    const std::uint32_t dwSleeper = Ip("127.77.5.3");
    const std::uint32_t dwBroadcast = Ip("127.77.5.9");
    const std::time_t due = NextMinute();

    Roster roster;
    Pc target;
    target.nId = 0;
    target.strName = "TARGET";
    target.dwIp = dwTarget;
    target.off = Reserve{1, 2, 0, 0, static_cast<std::int32_t>(due), 4, 1};
    Pc sleeper;
    sleeper.nId = 1;
    sleeper.strName = "SLEEPER";
    sleeper.dwIp = dwSleeper;
    sleeper.mac = {0x02, 0x00, 0x5E, 0x10, 0x20, 0x30};
    sleeper.dwBroadcast = dwBroadcast;
    roster.pcs = {target, sleeper};
    // The wake-up comes from a group reservation, the shutdown from the PC's own.
    Group group;
    group.strName = "Sleepers";
    group.members = {1};
    group.on = Reserve{1, 2, 0, 0, static_cast<std::int32_t>(due), 255, 0};
    roster.groups = {group};
    box.WriteDataFile(RosterFileV1(roster));
    box.WriteSettings(0, Ip("127.0.0.1"));

    box.StartAgents({QStringLiteral("--address"),
                     QStringLiteral("%1=TARGET,%2=SLEEPER").arg(IpText(dwTarget), IpText(dwSleeper)),
                     QStringLiteral("--silent"), IpText(dwSleeper), QStringLiteral("--wol-listen"),
                     QStringLiteral("%1:%2").arg(IpText(dwBroadcast)).arg(box.Port())});
    QProcess* pServer = box.StartServer();

    Roster answered = roster;
    answered.pcs[0].nStatus = 0;
    const QByteArray expectedBytes = RosterFileV1(answered);
    const int nWaitMs = static_cast<int>(due - std::time(nullptr)) * 1000 + 15000;
    ASSERT_TRUE(WaitUntil([&] { return box.DataBytes() == expectedBytes; }, nWaitMs))
        << "data file: " << box.DataBytes().toHex().toStdString();
    // Room for a duplicate operation or a second refresh to show up in the log.
    WaitUntil([] { return false; }, 4000);
    ASSERT_EQ(pServer->state(), QProcess::Running);

    const std::vector<QJsonObject> log = box.AgentLog();
    const auto ops = Select(log, [](const QJsonObject& l) {
        return l.value(QStringLiteral("type")) == QStringLiteral("operate");
    });
    ASSERT_EQ(ops.size(), 1u);
    EXPECT_EQ(ops[0].value(QStringLiteral("agent")).toString(), IpText(dwTarget));
    EXPECT_EQ(ops[0].value(QStringLiteral("len")).toInt(), 32);
    EXPECT_EQ(ops[0].value(QStringLiteral("command")).toInt(), 4);
    EXPECT_EQ(ops[0].value(QStringLiteral("force")).toInt(), 1);
    EXPECT_EQ(ops[0].value(QStringLiteral("list")).toArray(), QJsonArray{IpText(dwTarget)});
    const double tOperation = ops[0].value(QStringLiteral("t")).toDouble();
    EXPECT_GE(tOperation, static_cast<double>(due));
    EXPECT_LT(tOperation, static_cast<double>(due) + 5.0);

    const auto polls = Select(log, [](const QJsonObject& l) {
        return l.value(QStringLiteral("type")) == QStringLiteral("status");
    });
    ASSERT_EQ(polls.size(), 2u);
    EXPECT_NE(polls[0].value(QStringLiteral("agent")), polls[1].value(QStringLiteral("agent")));
    EXPECT_EQ(polls[0].value(QStringLiteral("id")), polls[1].value(QStringLiteral("id")));
    EXPECT_NE(polls[0].value(QStringLiteral("id")), ops[0].value(QStringLiteral("id")));
    for (const QJsonObject& poll : polls)
        EXPECT_GT(poll.value(QStringLiteral("t")).toDouble(), tOperation);

    const auto wol =
        Select(log, [](const QJsonObject& l) { return l.value(QStringLiteral("wol")).toBool(); });
    ASSERT_EQ(wol.size(), 1u);
    EXPECT_EQ(wol[0].value(QStringLiteral("to")).toString(),
              QStringLiteral("%1:%2").arg(IpText(dwBroadcast)).arg(box.Port()));
    EXPECT_EQ(wol[0].value(QStringLiteral("len")).toInt(), 102);
    EXPECT_EQ(wol[0].value(QStringLiteral("mac")).toString(), QStringLiteral("02-00-5E-10-20-30"));
    EXPECT_TRUE(wol[0].value(QStringLiteral("valid")).toBool());
    EXPECT_GE(wol[0].value(QStringLiteral("t")).toDouble(), static_cast<double>(due));
}
