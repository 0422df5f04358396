// The built vtctl, copied beside a copy of the built vtserver, run as a process.
#include "CliTestSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <filesystem>

using namespace clitest;

namespace {

class CtlExeTest : public CtlFixture {
protected:
    void SetUp() override
    {
        CtlFixture::SetUp();
        // Side by side, as installed: both find the same data file without being told.
        ASSERT_TRUE(QFile::copy(QStringLiteral(VTCTL_EXE), QString::fromStdString(Path("vtctl"))));
        ASSERT_TRUE(QFile::copy(QStringLiteral(VTSERVER_EXE), QString::fromStdString(Path("vtserver"))));
        std::filesystem::create_directories(Path("config/TORVANE"));
        WriteAll(Path("config/TORVANE/VT Server.conf"), "[Settings]\nType=0\n"); // no status poll
    }

    /// `pszExe` on an offscreen display in the given locale.
    void Prepare(QProcess& process, const char* pszExe, const std::vector<std::string>& args = {},
                 const char* pszLocale = "C")
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("LANGUAGE"));
        for (const char* pszName : {"LC_ALL", "LANG"})
            env.insert(QLatin1String(pszName), QLatin1String(pszLocale));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(env);
        QStringList arguments;
        for (const std::string& strArg : args)
            arguments << QString::fromStdString(strArg);
        process.start(QString::fromStdString(Path(pszExe)), arguments);
    }

    /// vtctl to its end (a hung one is killed: exit -1).
    Result Exe(const std::vector<std::string>& args, const char* pszLocale = "C")
    {
        QProcess process;
        Prepare(process, "vtctl", args, pszLocale);
        const bool bEnded = process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit;
        return {bEnded ? process.exitCode() : -1, process.readAllStandardOutput().toStdString(),
                process.readAllStandardError().toStdString()};
    }
};

TEST_F(CtlExeTest, UsageHelpAndExitStatusInTheSystemsLanguage)
{
    WriteAll(Path("bad.DAT"), "not a roster");
    const char* const ja = "ja_JP.UTF-8";
    const struct {
        std::vector<std::string> args;
        const char* pszLocale;
        int nExit;
        std::string strOut, strErr;
    } cases[] = {
        {{"--help"}, "C", 0, "Data file: " + Path("vtserver.DAT"), ""},
        {{"status", "--help"}, "C", 0, "Usage: vtctl status TARGETS", ""},
        {{}, "C", 2, "", "name a command"},
        {{"bogus"}, "C", 2, "", "unknown command \"bogus\""},
        {{"list", "--force"}, "C", 2, "", "list does not take the option --force"},
        {{"list", "--nope"}, "C", 2, "", "unknown option \"--nope\""},
        {{"list", "NoGroup"}, "C", 2, "", "there is no group \"NoGroup\""},
        {{"status"}, "C", 2, "", "name the targets, or --all"},
        {{"wake", "--all", "PC-001"}, "C", 2, "", "name targets or --all, not both"},
        {{"import"}, "C", 2, "", "import takes one file"},
        {{"import", Path("missing.csv")}, "C", 2, "", "cannot read"},
        {{"export", Path("no/such/dir/x.csv")}, "C", 2, "", "cannot write"},
        {{"--data", Path("bad.DAT"), "list"}, "C", 3, "", "Cannot read the data file"},
        {{"--data", Path(""), "groups"}, "C", 3, "", "Cannot read the data file"},
        {{"list"}, ja, 0, "PC名", ""},
        {{"wake", "nosuch"}, ja, 2, "", "不明な対象「nosuch」"},
        {{"--help"}, ja, 0, "終了ステータス", ""},
    };
    for (const auto& c : cases) {
        const Result result = Exe(c.args, c.pszLocale);
        const std::string strCase = c.args.empty() ? "" : c.args.front() + " " + c.args.back();
        EXPECT_EQ(result.nExit, c.nExit) << strCase << "\n" << result.strErr;
        EXPECT_NE(result.strOut.find(c.strOut), std::string::npos) << strCase << "\n" << result.strOut;
        EXPECT_NE(result.strErr.find(c.strErr), std::string::npos) << strCase << "\n" << result.strErr;
    }
    EXPECT_FALSE(std::filesystem::exists(Path("vtserver.DAT")));
}

TEST_F(CtlExeTest, ImportIsRefusedWhileTheProgramRunsAndTakenOnceItHasEnded)
{
    CDoc doc;
    doc.AddPc("HOST", 0x0A000001u, nullptr, 0xFFFFFFFFu);
    Save(doc, Path("vtserver.DAT"));
    const std::string strBefore = ReadAll(Path("vtserver.DAT"));
    WriteAll(Path("in.csv"), "name,ip,mac\nNEW,10.0.0.2,\n");

    QProcess server;
    Prepare(server, "vtserver");
    ASSERT_TRUE(server.waitForStarted(5000));
    for (int i = 0; i < 200 && !std::filesystem::exists(Path("vtserver.lock")); ++i)
        QThread::msleep(50);
    ASSERT_TRUE(std::filesystem::exists(Path("vtserver.lock")));
    const Result refused = Exe({"import", Path("in.csv")});
    EXPECT_EQ(refused.nExit, 1);
    EXPECT_NE(refused.strErr.find("VT Server is running"), std::string::npos) << refused.strErr;
    EXPECT_EQ(ReadAll(Path("vtserver.DAT")), strBefore);

    server.terminate();
    ASSERT_TRUE(server.waitForFinished(10000));
    const Result taken = Exe({"import", Path("in.csv")});
    EXPECT_EQ(taken.nExit, 0) << taken.strErr;
    EXPECT_NE(Exe({"list"}).strOut.find("NEW "), std::string::npos);
}

} // namespace

int main(int argc, char** argv)
{
    // QProcess wants an application object even when only its blocking waits are used.
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
