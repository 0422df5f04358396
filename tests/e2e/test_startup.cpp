// The built vtserver, started as a process beside simulated agents; judged only by its
// data file, the datagrams the agents log and the way the process ends.
#include "E2eSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <set>
#include <thread>

using namespace e2e;

namespace {

const std::uint32_t kLoopback = Ip("127.0.0.1");

// One poll: a 32-byte status request to each agent naming only that agent, all under one id.
// The last agent is the silent one.
void ExpectOneStatusPoll(const Sandbox& box, std::uint32_t dwFirst, std::uint32_t nAgents)
{
    QStringList expected, logged;
    for (std::uint32_t i = 0; i < nAgents; ++i)
        expected << QStringLiteral(R"({"action":"%2","agent":"%1","command":0,"force":0,"kind":"C",)"
                                   R"("len":32,"list":["%1"],"param":1,"type":"status","valid":true})")
                        .arg(IpText(dwFirst + i),
                             i + 1 == nAgents ? QStringLiteral("silent") : QStringLiteral("reply"));
    std::set<qint64> ids;
    for (const QJsonObject& line : box.AgentLog(QStringLiteral("status"))) {
        ids.insert(line.value(QStringLiteral("id")).toInteger());
        logged << Summary(line);
    }
    logged.sort();
    EXPECT_EQ(logged.join(QLatin1Char('\n')), expected.join(QLatin1Char('\n')));
    EXPECT_EQ(ids.size(), 1u);
}

} // namespace

TEST(StartUp, StatusPollAtStartRenamesAnsweringPcsAndMarksTheSilentOne)
{
    Sandbox box;
    ASSERT_TRUE(box.IsValid());
    const std::uint32_t dwFirst = Ip("127.77.1.2");
    Roster roster;
    QString strAgents;
    for (std::uint32_t i = 0; i < 5; ++i) {
        roster.pcs.push_back({.nId = static_cast<std::int32_t>(i),
                              .strName = "OLD-" + std::to_string(i),
                              .dwIp = dwFirst + i,
                              .nStatus = i < 4 ? 1 : 0,
                              .mac = {0x02, 0x00, 0x00, 0x00, 0x01, static_cast<std::uint8_t>(i)}});
        strAgents += IpText(dwFirst + i) + (i < 4 ? QStringLiteral("=NEW-%1,").arg(i) : QString());
    }
    roster.groups.push_back({.strName = "Lab", .members = {1, 3}});
    WriteFile(box.DataFile(), RosterFile(roster));
    box.WriteSettings(1, kLoopback);
    box.StartAgents(QStringLiteral("--address %1 --silent %2").arg(strAgents, IpText(dwFirst + 4)));

    Roster expected = roster;
    for (std::size_t i = 0; i < 5; ++i) {
        if (i < 4)
            expected.pcs[i].strName = "NEW-" + std::to_string(i);
        expected.pcs[i].nStatus = i < 4 ? 0 : 1;
    }
    const QByteArray expectedBytes = RosterFile(expected);

    QProcess* pServer = box.StartServer();
    EXPECT_TRUE(WaitUntil([&] { return box.DataBytes() == expectedBytes; }, 10000))
        << "data file: " << box.DataBytes().toHex().toStdString();
    // Mode 1 polls once: a second poll would follow the first at once.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(pServer->state(), QProcess::Running);
    ExpectOneStatusPoll(box, dwFirst, 5);
    EXPECT_TRUE(box.AgentLog(QStringLiteral("operate")).empty());
    EXPECT_TRUE(box.AgentLog(QStringLiteral("search")).empty());
}

TEST(StartUp, Version0FileIsRewrittenAsVersion1AfterTheFirstChange)
{
    Sandbox box;
    ASSERT_TRUE(box.IsValid());
    const std::uint32_t dwFirst = Ip("127.77.2.2");
    // Weekly and monthly without a day: their next time never comes, so nothing fires.
    const Reserve weeklyNoDay{.nMode = 1, .nTime = 1700000000, .wType = 2};
    const Reserve monthlyNoDay{.nMode = 0, .nTime = 1700003600, .wType = 4, .wForce = 1};
    Roster v0;
    v0.pcs = {{.strName = "ALPHA", .dwIp = dwFirst, .off = weeklyNoDay},
              {.strName = "BETA", .dwIp = dwFirst + 1},
              {.strName = "GAMMA", .dwIp = dwFirst + 2, .nStatus = 0}};
    v0.groups = {
        {.strName = "Room 1", .members = {dwFirst + 2, Ip("127.77.2.200"), dwFirst}, .off = monthlyNoDay}};
    WriteFile(box.DataFile(), RosterFile(v0, true));
    box.WriteSettings(1, kLoopback);
    box.StartAgents(QStringLiteral("--address %1=ALPHA,%2=BETA,%3 --silent %3")
                        .arg(IpText(dwFirst), IpText(dwFirst + 1), IpText(dwFirst + 2)));

    Roster expected = v0;
    for (std::size_t i = 0; i < 3; ++i) {
        expected.pcs[i].nId = static_cast<std::int32_t>(i);
        expected.pcs[i].nStatus = i == 2 ? 1 : 0;
    }
    expected.pcs[0].off.nSet = 1;
    expected.groups[0].members = {2, 0};
    expected.groups[0].off.nSet = 1;
    const QByteArray expectedBytes = RosterFile(expected);

    QProcess* pServer = box.StartServer();
    EXPECT_TRUE(WaitUntil([&] { return box.DataBytes() == expectedBytes; }, 10000))
        << "data file: " << box.DataBytes().toHex().toStdString();
    EXPECT_EQ(pServer->state(), QProcess::Running);
    ExpectOneStatusPoll(box, dwFirst, 3);
}

TEST(StartUp, DamagedDataFileStopsTheStartAndIsLeftUntouched)
{
    const QByteArray whole = RosterFile({{{.nId = 0, .strName = "KEEP"}, {.nId = 1, .strName = "KEEP"}}, {}});
    QByteArray wrongClass = whole;
    wrongClass[20] = 'x'; // "CKw" becomes "CKx"
    QByteArray wrongSchema = whole;
    wrongSchema[14] = 2;
    // PC count 1, then a CGroup record where the PC belongs.
    QByteArray groupForPc = RosterFile({{}, {Group{}}});
    groupForPc[8] = 1;
    groupForPc[12] = 0;

    for (const QByteArray& bytes : {whole.left(whole.size() - 10), wrongClass, wrongSchema, groupForPc}) {
        SCOPED_TRACE(bytes.toHex().toStdString());
        Sandbox box;
        ASSERT_TRUE(box.IsValid());
        WriteFile(box.DataFile(), bytes);
        box.WriteSettings(0, kLoopback);
        QProcess* pServer = box.StartServer();
        ASSERT_TRUE(pServer->waitForFinished(10000)) << "still running";
        EXPECT_EQ(pServer->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(pServer->exitCode(), 3);
        EXPECT_TRUE(ReadFile(box.Path(QStringLiteral("server.err"))).contains("data file"));
        EXPECT_EQ(box.DataBytes(), bytes);
        EXPECT_TRUE(QDir(box.Path(QString())).entryList({QStringLiteral("core*")}).isEmpty());
    }
}

TEST(StartUp, SecondInstanceEndsAtOnceWhileTheFirstKeepsRunning)
{
    Sandbox box;
    ASSERT_TRUE(box.IsValid());
    const QByteArray bytes = RosterFile({{{.nId = 0, .strName = "ONLY", .dwIp = Ip("127.77.4.2")}}, {}});
    WriteFile(box.DataFile(), bytes);
    box.WriteSettings(0, kLoopback);

    QProcess* pFirst = box.StartServer(QStringLiteral("first"));
    ASSERT_TRUE(WaitUntil([&] { return QFileInfo::exists(box.LockFile()); }, 10000));
    // Give the first instance time to finish its start-up before the second one knocks.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_EQ(pFirst->state(), QProcess::Running);

    QElapsedTimer timer;
    timer.start();
    QProcess* pSecond = box.StartServer(QStringLiteral("second"));
    ASSERT_TRUE(pSecond->waitForFinished(2000)) << "second instance still running";
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(pSecond->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(pSecond->exitCode(), 1);
    EXPECT_TRUE(ReadFile(box.Path(QStringLiteral("second.err"))).contains("Program is already running."));

    EXPECT_FALSE(pFirst->waitForFinished(1000));
    EXPECT_TRUE(QFileInfo::exists(box.LockFile()));
    EXPECT_EQ(box.DataBytes(), bytes);
}
