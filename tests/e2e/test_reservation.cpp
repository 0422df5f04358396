// Reservations fire at their minute in the running program: waits for a real minute to turn.
#include "E2eSupport.h"

#include "model/CDoc.h"
#include "model/CGroup.h"

#include <gtest/gtest.h>

#include <ctime>
#include <thread>

using namespace e2e;

TEST(Reservations, DueShutdownAndWakeUpFireAtTheirMinuteAndARefreshFollows)
{
    Sandbox box;
    ASSERT_TRUE(box.IsValid());
    const QString strWol = QStringLiteral("127.77.5.9:%1").arg(box.Port());
    // The next minute, leaving at least 8 s to start the program before it. Minutes turn at
    // the same moment in every time zone in use.
    if (std::time(nullptr) % 60 > 52)
        std::this_thread::sleep_for(std::chrono::seconds(60 - std::time(nullptr) % 60));
    const std::time_t due = (std::time(nullptr) / 60 + 1) * 60;

    // The shutdown comes from the PC's own reservation, the wake-up from a group's.
    CDoc doc;
    CReserve shutdown, wakeUp;
    shutdown.Set(1, ReserveDaily, 0, 0, due, OP_SHUTDOWN, 1);
    wakeUp.Set(1, ReserveDaily, 0, 0, due, OP_WAKEUP, 0);
    doc.SetPcReserves(doc.AddPc("TARGET", Ip("127.77.5.2"), nullptr, 0xFFFFFFFF), shutdown, {});
    const std::uint8_t mac[6] = {0x02, 0x00, 0x5E, 0x10, 0x20, 0x30};
    doc.AddPc("SLEEPER", Ip("127.77.5.3"), mac, Ip("127.77.5.9"));
    CGroup* pGroup = doc.AddGroup("Sleepers");
    doc.AddToGroup(pGroup, 1);
    doc.SetGroupReserves(pGroup, {}, wakeUp);
    box.WriteDataFile(Bytes(doc));
    box.WriteSettings(0, Ip("127.0.0.1"));
    box.StartAgents(
        QStringLiteral("--address 127.77.5.2=TARGET,127.77.5.3=SLEEPER --silent 127.77.5.3 --wol-listen ") +
        strWol);
    QProcess* pServer = box.StartServer();

    // TARGET shows as operating only after the refresh that follows an operation.
    const int nWaitMs = static_cast<int>(due - std::time(nullptr)) * 1000 + 15000;
    ASSERT_TRUE(WaitUntil(
        [&] {
            return box.Pcs() ==
                   QStringLiteral("TARGET 127.77.5.2 0 Unknown; SLEEPER 127.77.5.3 1 02-00-5E-10-20-30");
        },
        nWaitMs))
        << box.Pcs().toStdString();
    // Room for a duplicate operation to show up in the log.
    std::this_thread::sleep_for(std::chrono::seconds(4));
    ASSERT_EQ(pServer->state(), QProcess::Running);

    const auto ops = box.AgentLog(QStringLiteral("operate"));
    ASSERT_EQ(ops.size(), 1u);
    EXPECT_EQ(Summary(ops[0]),
              QStringLiteral(R"({"action":"reply","agent":"127.77.5.2","command":4,"force":1,)"
                             R"("kind":"C","len":32,"list":["127.77.5.2"],"param":1,)"
                             R"("type":"operate","valid":true})"));
    const double tOperation = ops[0].value(QStringLiteral("t")).toDouble();
    EXPECT_GE(tOperation, static_cast<double>(due));
    EXPECT_LT(tOperation, static_cast<double>(due) + 5.0);

    const auto wol = box.AgentLog(QStringLiteral("wol"));
    ASSERT_EQ(wol.size(), 1u);
    EXPECT_EQ(Summary(wol[0]),
              QStringLiteral(R"({"len":102,"mac":"02-00-5E-10-20-30","to":"%1","valid":true,"wol":true})")
                  .arg(strWol));
    EXPECT_GE(wol[0].value(QStringLiteral("t")).toDouble(), static_cast<double>(due));
}
