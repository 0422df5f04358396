// The built vtserver, started as a process beside simulated agents; judged only by its
// data file, the datagrams the agents log and the way the process ends.
#include "E2eSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>

#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace e2e;

namespace {

const std::uint32_t kLoopbackBind = Ip("127.0.0.1");

std::vector<QJsonObject> OfType(const std::vector<QJsonObject>& lines, const char* pszType)
{
    std::vector<QJsonObject> out;
    for (const QJsonObject& line : lines) {
        if (line.value(QStringLiteral("type")).toString() == QLatin1String(pszType))
            out.push_back(line);
    }
    return out;
}

// Every 32-byte status request: one per agent, all with one id, each naming its own agent.
void ExpectOneStatusPollOf(const std::vector<QJsonObject>& log, const std::vector<std::uint32_t>& agents)
{
    const std::vector<QJsonObject> status = OfType(log, "status");
    std::map<QString, int> perAgent;
    std::set<qint64> ids;
    for (const QJsonObject& line : status) {
        const QString strAgent = line.value(QStringLiteral("agent")).toString();
        ++perAgent[strAgent];
        ids.insert(line.value(QStringLiteral("id")).toInteger());
        EXPECT_EQ(line.value(QStringLiteral("len")).toInt(), 32);
        EXPECT_EQ(line.value(QStringLiteral("command")).toInt(), 0);
        EXPECT_EQ(line.value(QStringLiteral("force")).toInt(), 0);
        EXPECT_EQ(line.value(QStringLiteral("param")).toInt(), 1);
        EXPECT_TRUE(line.value(QStringLiteral("valid")).toBool());
        EXPECT_EQ(line.value(QStringLiteral("list")).toArray(), QJsonArray{strAgent});
    }
    EXPECT_EQ(status.size(), agents.size());
    for (std::uint32_t dwAgent : agents)
        EXPECT_EQ(perAgent[IpText(dwAgent)], 1) << IpText(dwAgent).toStdString();
    EXPECT_EQ(ids.size(), 1u);
}

} // namespace

TEST(StartUp, StatusPollAtStartRenamesAnsweringPcsAndMarksTheSilentOne)
{
    Sandbox box;
    ASSERT_TRUE(box.IsValid());
    ASSERT_NE(box.Port(), 0);
    const std::uint32_t dwFirst = Ip("127.77.1.2");

    Roster roster;
    for (int i = 0; i < 5; ++i) {
        Pc pc;
        pc.nId = i;
        pc.strName = "OLD-" + std::to_string(i);
        pc.dwIp = dwFirst + static_cast<std::uint32_t>(i);
        pc.nStatus = i < 4 ? 1 : 0;
        pc.mac = {0x02, 0x00, 0x00, 0x00, 0x01, static_cast<std::uint8_t>(i)};
        roster.pcs.push_back(pc);
    }
    Group group;
    group.strName = "Lab";
    group.members = {1, 3};
    roster.groups.push_back(group);
    box.WriteDataFile(RosterFileV1(roster));
    box.WriteSettings(1, kLoopbackBind);

    QStringList agents;
    for (int i = 0; i < 4; ++i)
        agents << IpText(dwFirst + static_cast<std::uint32_t>(i)) + QStringLiteral("=NEW-%1").arg(i);
    agents << IpText(dwFirst + 4);
    box.StartAgents({QStringLiteral("--address"), agents.join(QLatin1Char(',')), QStringLiteral("--silent"),
                     IpText(dwFirst + 4)});

    Roster expected = roster;
    for (int i = 0; i < 5; ++i) {
        Pc& pc = expected.pcs[static_cast<std::size_t>(i)];
        if (i < 4)
            pc.strName = "NEW-" + std::to_string(i);
        pc.nStatus = i < 4 ? 0 : 1;
    }
    const QByteArray expectedBytes = RosterFileV1(expected);

    QProcess* pServer = box.StartServer();
    EXPECT_TRUE(WaitUntil([&] { return box.DataBytes() == expectedBytes; }, 10000))
        << "data file: " << box.DataBytes().toHex().toStdString();
    // Mode 1 polls once: a second poll would follow the first at once.
    WaitUntil([] { return false; }, 1000);
    EXPECT_EQ(pServer->state(), QProcess::Running);

    std::vector<std::uint32_t> all;
    for (std::uint32_t i = 0; i < 5; ++i)
        all.push_back(dwFirst + i);
    const std::vector<QJsonObject> log = box.AgentLog();
    ExpectOneStatusPollOf(log, all);
    EXPECT_TRUE(OfType(log, "operate").empty());
    EXPECT_TRUE(OfType(log, "search").empty());
}

TEST(StartUp, Version0FileIsRewrittenAsVersion1AfterTheFirstChange)
{
    Sandbox box;
    ASSERT_TRUE(box.IsValid());
    const std::uint32_t dwFirst = Ip("127.77.2.2");

    // Reservations whose next time never comes, so nothing fires during the test.
    Reserve weeklyNoDay;
    weeklyNoDay.nMode = 1;
    weeklyNoDay.nTime = 1700000000;
    weeklyNoDay.wType = 2;
    Reserve monthlyNoDay;
    monthlyNoDay.nMode = 0;
    monthlyNoDay.nTime = 1700003600;
    monthlyNoDay.wType = 4;
    monthlyNoDay.wForce = 1;

    Roster v0;
    const char* names[] = {"ALPHA", "BETA", "GAMMA"};
    for (int i = 0; i < 3; ++i) {
        Pc pc;
        pc.strName = names[i];
        pc.dwIp = dwFirst + static_cast<std::uint32_t>(i);
        pc.nStatus = i == 2 ? 0 : 1;
        if (i == 0)
            pc.off = weeklyNoDay;
        v0.pcs.push_back(pc);
    }
    Group group;
    group.strName = "Room 1";
    group.members = {dwFirst + 2, Ip("127.77.2.200"), dwFirst};
    group.off = monthlyNoDay;
    v0.groups.push_back(group);
    box.WriteDataFile(RosterFileV0(v0));
    box.WriteSettings(1, kLoopbackBind);

    box.StartAgents(
        {QStringLiteral("--address"),
         QStringLiteral("%1=ALPHA,%2=BETA,%3").arg(IpText(dwFirst), IpText(dwFirst + 1), IpText(dwFirst + 2)),
         QStringLiteral("--silent"), IpText(dwFirst + 2)});

    Roster expected = v0;
    for (int i = 0; i < 3; ++i) {
        Pc& pc = expected.pcs[static_cast<std::size_t>(i)];
        pc.nId = i;
        pc.nStatus = i == 2 ? 1 : 0;
    }
    expected.pcs[0].off.nSet = 1;
    expected.groups[0].members = {2, 0};
    expected.groups[0].off.nSet = 1;
    const QByteArray expectedBytes = RosterFileV1(expected);

    QProcess* pServer = box.StartServer();
    EXPECT_TRUE(WaitUntil([&] { return box.DataBytes() == expectedBytes; }, 10000))
        << "data file: " << box.DataBytes().toHex().toStdString();
    EXPECT_EQ(pServer->state(), QProcess::Running);
    ExpectOneStatusPollOf(box.AgentLog(), {dwFirst, dwFirst + 1, dwFirst + 2});
}

TEST(StartUp, DamagedDataFileStopsTheStartAndIsLeftUntouched)
{
    Pc pc;
    pc.nId = 0;
    pc.strName = "KEEP";
    pc.dwIp = Ip("127.77.3.2");
    Roster roster;
    roster.pcs = {pc, pc};
    roster.pcs[1].nId = 1;
    const QByteArray whole = RosterFileV1(roster);
    QByteArray wrongClass = whole;
    wrongClass[20] = 'x'; // "CKw" becomes "CKx"
    QByteArray wrongSchema = whole;
    wrongSchema[14] = 2;

    const std::map<std::string, QByteArray> damaged = {{"truncated", whole.left(whole.size() - 10)},
                                                       {"unknown class", wrongClass},
                                                       {"schema 2", wrongSchema},
                                                       {"group where a PC belongs", [] {
                                                            Roster groupsOnly;
                                                            groupsOnly.groups.resize(1);
                                                            QByteArray bytes = RosterFileV1(groupsOnly);
                                                            bytes[8] = 1; // PC count 1, then a CGroup record
                                                            bytes[12] = 0;
                                                            return bytes;
                                                        }()}};
    for (const auto& [strCase, bytes] : damaged) {
        SCOPED_TRACE(strCase);
        Sandbox box;
        ASSERT_TRUE(box.IsValid());
        box.WriteDataFile(bytes);
        box.WriteSettings(0, kLoopbackBind);
        QProcess* pServer = box.StartServer();
        ASSERT_TRUE(pServer->waitForFinished(10000)) << "still running";
        EXPECT_EQ(pServer->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(pServer->exitCode(), 3);
        EXPECT_TRUE(ReadAll(box.Path(QStringLiteral("server.err"))).contains(QLatin1String("data file")));
        EXPECT_EQ(box.DataBytes(), bytes);
        EXPECT_TRUE(QDir(box.Path(QString())).entryList({QStringLiteral("core*")}).isEmpty());
    }
}

TEST(StartUp, SecondInstanceEndsAtOnceWhileTheFirstKeepsRunning)
{
    Sandbox box;
    ASSERT_TRUE(box.IsValid());
    Pc pc;
    pc.nId = 0;
    pc.strName = "ONLY";
    pc.dwIp = Ip("127.77.4.2");
    const QByteArray bytes = RosterFileV1(Roster{{pc}, {}});
    box.WriteDataFile(bytes);
    box.WriteSettings(0, kLoopbackBind);

    QProcess* pFirst = box.StartServer(QStringLiteral("first.err"));
    ASSERT_TRUE(WaitUntil([&] { return QFileInfo::exists(box.LockFile()); }, 10000));
    // Give the first instance time to finish its start-up before the second one knocks.
    WaitUntil([] { return false; }, 500);
    ASSERT_EQ(pFirst->state(), QProcess::Running);

    QElapsedTimer timer;
    timer.start();
    QProcess* pSecond = box.StartServer(QStringLiteral("second.err"));
    ASSERT_TRUE(pSecond->waitForFinished(2000)) << "second instance still running";
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(pSecond->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(pSecond->exitCode(), 1);
    EXPECT_TRUE(ReadAll(box.Path(QStringLiteral("second.err")))
                    .contains(QLatin1String("Program is already running.")));

    EXPECT_FALSE(pFirst->waitForFinished(1000));
    EXPECT_EQ(pFirst->state(), QProcess::Running);
    EXPECT_TRUE(QFileInfo::exists(box.LockFile()));
    EXPECT_EQ(box.DataBytes(), bytes);
}
