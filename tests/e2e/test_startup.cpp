// The built vtserver, started as a process beside simulated agents (vtagent); judged only by
// its data file, its error output and its exit code.
#include "E2eSupport.h"

#include "model/CDoc.h"

#include <gtest/gtest.h>

using namespace e2e;

TEST(StartUp, DamagedFileRefusedThenPollAtStartThenSecondInstanceRefused)
{
    Sandbox box;
    ASSERT_TRUE(box.IsValid());
    box.WriteSettings(1, Ip("127.0.0.1"));
    CDoc doc;
    for (const char* pszName : {"OLD-0", "OLD-1", "QUIET"})
        doc.AddPc(pszName, Ip("127.77.1.2") + static_cast<std::uint32_t>(doc.m_pcs.size()), nullptr,
                  0xFFFFFFFF);
    doc.SetPcStatus(doc.m_pcs.back().get(), 0);
    const QByteArray roster = Bytes(doc);

    const QByteArray damaged = roster.left(roster.size() - 10);
    box.WriteDataFile(damaged);
    QProcess* pDamaged = box.StartServer(QStringLiteral("damaged"));
    ASSERT_TRUE(pDamaged->waitForFinished(10000));
    EXPECT_EQ(pDamaged->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(pDamaged->exitCode(), 3);
    EXPECT_TRUE(ReadFile(box.Path(QStringLiteral("damaged.err"))).contains("data file"));
    EXPECT_EQ(ReadFile(box.DataFile()), damaged);

    // Answering PCs take the agents' names and are operating; the silent one is not.
    box.WriteDataFile(roster);
    QProcess* pAgents = box.StartAgents(
        QStringLiteral("--address 127.77.1.2=NEW-0,127.77.1.3=NEW-1,127.77.1.4 --silent 127.77.1.4"));
    QProcess* pFirst = box.StartServer(QStringLiteral("first"));
    EXPECT_TRUE(WaitUntil(
        [&] {
            return box.Pcs() ==
                   QStringLiteral(
                       "NEW-0 127.77.1.2 0 Unknown; NEW-1 127.77.1.3 0 Unknown; QUIET 127.77.1.4 1 Unknown");
        },
        10000))
        << box.Pcs().toStdString();

    const QByteArray polled = ReadFile(box.DataFile());
    QProcess* pSecond = box.StartServer(QStringLiteral("second"));
    ASSERT_TRUE(pSecond->waitForFinished(10000));
    EXPECT_EQ(pSecond->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(pSecond->exitCode(), 1);
    EXPECT_TRUE(ReadFile(box.Path(QStringLiteral("second.err"))).contains("Program is already running."));
    EXPECT_EQ(pFirst->state(), QProcess::Running);
    EXPECT_EQ(ReadFile(box.DataFile()), polled);

    pAgents->terminate();
    EXPECT_TRUE(pAgents->waitForFinished(5000) && pAgents->exitStatus() == QProcess::NormalExit &&
                pAgents->exitCode() == 0)
        << "vtagent did not end cleanly on SIGTERM";
}
