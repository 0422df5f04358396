// The built vtctl, copied beside a copy of the built vtserver, run as a process.
#include "CliTestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QThread>

using namespace clitest;

namespace {

class CtlExeTest : public CtlFixture {
protected:
    void SetUp() override
    {
        CtlFixture::SetUp();
        // Side by side, as installed: both find the same data file without being told.
        ASSERT_TRUE(QFile::copy(QStringLiteral(VTCTL_EXE), m_dir.filePath(QStringLiteral("vtctl"))));
        ASSERT_TRUE(QFile::copy(QStringLiteral(VTSERVER_EXE), m_dir.filePath(QStringLiteral("vtserver"))));
        QDir().mkpath(m_dir.filePath(QStringLiteral("config/TORVANE")));
        // No status poll from the program while it runs.
        WriteAll(Path("config/TORVANE/VT Server.conf"), "[Settings]\nType=0\n");
    }

    QProcessEnvironment Environment(bool bJapanese = false) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());
        env.insert(QStringLiteral("VT_LOCK_FILE"), m_dir.filePath(QStringLiteral("vtserver.lock")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.remove(QStringLiteral("LANGUAGE"));
        env.insert(QStringLiteral("LC_ALL"), bJapanese ? QStringLiteral("ja_JP.UTF-8") : QStringLiteral("C"));
        env.insert(QStringLiteral("LANG"), bJapanese ? QStringLiteral("ja_JP.UTF-8") : QStringLiteral("C"));
        return env;
    }

    Result Exe(const QStringList& args, bool bJapanese = false)
    {
        QProcess process;
        process.setProcessEnvironment(Environment(bJapanese));
        process.start(m_dir.filePath(QStringLiteral("vtctl")), args);
        Result result;
        if (!process.waitForFinished(20000)) {
            process.kill();
            process.waitForFinished(3000);
            return result;
        }
        result.nExit = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.strOut = process.readAllStandardOutput().toStdString();
        result.strErr = process.readAllStandardError().toStdString();
        return result;
    }
};

TEST_F(CtlExeTest, HelpExitStatusAndTheSystemsLanguage)
{
    WriteAll(Path("bad.DAT"), "not a roster");
    const struct {
        QStringList args;
        bool bJapanese;
        int nExit;
        std::string strOut;
        std::string strErr;
    } cases[] = {
        {{QStringLiteral("--help")}, false, 0, "Data file: " + Path("vtserver.DAT"), ""},
        {{QStringLiteral("status"), QStringLiteral("--help")}, false, 0, "Usage: vtctl status TARGETS", ""},
        {{}, false, 2, "", "name a command"},
        {{QStringLiteral("--data"), QString::fromStdString(Path("bad.DAT")), QStringLiteral("list")},
         false,
         3,
         "",
         "Cannot read the data file"},
        {{QStringLiteral("list")}, true, 0, "PC名", ""},
        {{QStringLiteral("wake"), QStringLiteral("nosuch")}, true, 2, "", "不明な対象「nosuch」"},
        {{QStringLiteral("--help")}, true, 0, "終了ステータス", ""},
    };
    for (const auto& c : cases) {
        const Result result = Exe(c.args, c.bJapanese);
        const std::string strCase = c.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(result.nExit, c.nExit) << strCase << "\n" << result.strErr;
        EXPECT_NE(result.strOut.find(c.strOut), std::string::npos) << strCase << "\n" << result.strOut;
        EXPECT_NE(result.strErr.find(c.strErr), std::string::npos) << strCase << "\n" << result.strErr;
    }
}

TEST_F(CtlExeTest, ImportIsRefusedWhileTheProgramRunsAndTakenOnceItHasEnded)
{
    CDoc doc;
    doc.AddPc("HOST", 0x0A000001u, nullptr, 0xFFFFFFFFu);
    Save(doc, Path("vtserver.DAT"));
    const std::string strBefore = ReadAll(Path("vtserver.DAT"));
    WriteAll(Path("in.csv"), "name,ip,mac\nNEW,10.0.0.2,\n");

    QProcess server;
    server.setProcessEnvironment(Environment());
    server.start(m_dir.filePath(QStringLiteral("vtserver")), {});
    ASSERT_TRUE(server.waitForStarted(5000));
    for (int i = 0; i < 200 && !QFile::exists(m_dir.filePath(QStringLiteral("vtserver.lock"))); ++i)
        QThread::msleep(50);
    ASSERT_TRUE(QFile::exists(m_dir.filePath(QStringLiteral("vtserver.lock"))));

    const Result refused = Exe({QStringLiteral("import"), QString::fromStdString(Path("in.csv"))});
    EXPECT_EQ(refused.nExit, 1);
    EXPECT_NE(refused.strErr.find("VT Server is running"), std::string::npos) << refused.strErr;
    EXPECT_EQ(ReadAll(Path("vtserver.DAT")), strBefore);

    server.terminate();
    ASSERT_TRUE(server.waitForFinished(10000));
    const Result taken = Exe({QStringLiteral("import"), QString::fromStdString(Path("in.csv"))});
    EXPECT_EQ(taken.nExit, 0) << taken.strErr;
    EXPECT_NE(Exe({QStringLiteral("list")}).strOut.find("NEW "), std::string::npos);
}

} // namespace

int main(int argc, char** argv)
{
    // QProcess wants an application object even when only its blocking waits are used.
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
