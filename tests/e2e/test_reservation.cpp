// Reservations fire at their minute in the running program: waits for a real minute to turn.
#include "E2eSupport.h"

#include <gtest/gtest.h>

#include <ctime>
#include <thread>

using namespace e2e;

TEST(Reservations, DueShutdownAndWakeUpFireAtTheirMinuteAndARefreshFollows)
{
    Sandbox box;
    ASSERT_TRUE(box.IsValid());
    const QString strTarget = QStringLiteral("127.77.5.2");
    const QString strSleeper = QStringLiteral("127.77.5.3");
    const QString strWol = QStringLiteral("127.77.5.9:%1").arg(box.Port());
    // The next minute, leaving at least 8 s to start the program before it. Minutes turn at
    // the same moment in every time zone in use.
    if (std::time(nullptr) % 60 > 52)
        std::this_thread::sleep_for(std::chrono::seconds(60 - std::time(nullptr) % 60));
    const std::time_t due = (std::time(nullptr) / 60 + 1) * 60;

    // The shutdown comes from the PC's own reservation, the wake-up from a group's.
    Roster roster;
    roster.pcs = {{.nId = 0,
                   .strName = "TARGET",
                   .dwIp = Ip("127.77.5.2"),
                   .off = {1, 2, 0, 0, static_cast<std::int32_t>(due), 4, 1}},
                  {.nId = 1,
                   .strName = "SLEEPER",
                   .dwIp = Ip("127.77.5.3"),
                   .mac = {0x02, 0x00, 0x5E, 0x10, 0x20, 0x30},
                   .dwBroadcast = Ip("127.77.5.9")}};
    roster.groups = {
        {.strName = "Sleepers", .members = {1}, .on = {1, 2, 0, 0, static_cast<std::int32_t>(due), 255, 0}}};
    WriteFile(box.DataFile(), RosterFile(roster));
    box.WriteSettings(0, Ip("127.0.0.1"));
    box.StartAgents(QStringLiteral("--address %1=TARGET,%2=SLEEPER --silent %2 --wol-listen %3")
                        .arg(strTarget, strSleeper, strWol));
    QProcess* pServer = box.StartServer();

    roster.pcs[0].nStatus = 0;
    const QByteArray expectedBytes = RosterFile(roster);
    const int nWaitMs = static_cast<int>(due - std::time(nullptr)) * 1000 + 15000;
    ASSERT_TRUE(WaitUntil([&] { return box.DataBytes() == expectedBytes; }, nWaitMs))
        << "data file: " << box.DataBytes().toHex().toStdString();
    // Room for a duplicate operation or a second refresh to show up in the log.
    std::this_thread::sleep_for(std::chrono::seconds(4));
    ASSERT_EQ(pServer->state(), QProcess::Running);

    const auto ops = box.AgentLog(QStringLiteral("operate"));
    ASSERT_EQ(ops.size(), 1u);
    EXPECT_EQ(Summary(ops[0]),
              QStringLiteral(R"({"action":"reply","agent":"%1","command":4,"force":1,"kind":"C",)"
                             R"("len":32,"list":["%1"],"param":1,"type":"operate","valid":true})")
                  .arg(strTarget));
    const double tOperation = ops[0].value(QStringLiteral("t")).toDouble();
    EXPECT_GE(tOperation, static_cast<double>(due));
    EXPECT_LT(tOperation, static_cast<double>(due) + 5.0);

    // Then one refresh of both PCs under an id of its own.
    const auto polls = box.AgentLog(QStringLiteral("status"));
    ASSERT_EQ(polls.size(), 2u);
    EXPECT_NE(polls[0].value(QStringLiteral("agent")), polls[1].value(QStringLiteral("agent")));
    EXPECT_EQ(polls[0].value(QStringLiteral("id")), polls[1].value(QStringLiteral("id")));
    EXPECT_NE(polls[0].value(QStringLiteral("id")), ops[0].value(QStringLiteral("id")));
    for (const QJsonObject& poll : polls)
        EXPECT_GT(poll.value(QStringLiteral("t")).toDouble(), tOperation);

    const auto wol = box.AgentLog(QStringLiteral("wol"));
    ASSERT_EQ(wol.size(), 1u);
    EXPECT_EQ(Summary(wol[0]),
              QStringLiteral(R"({"len":102,"mac":"02-00-5E-10-20-30","to":"%1","valid":true,"wol":true})")
                  .arg(strWol));
    EXPECT_GE(wol[0].value(QStringLiteral("t")).toDouble(), static_cast<double>(due));
}
