#pragma once

#include "cli/CCtl.h"
#include "model/CDoc.h"

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace clitest {

inline std::string ReadAll(const std::string& strPath)
{
    std::ifstream in(strPath, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteAll(const std::string& strPath, const std::string& strText)
{
    std::ofstream(strPath, std::ios::binary) << strText;
}

inline std::array<std::uint8_t, 6> Mac(std::uint8_t last)
{
    return {0x00, 0x1B, 0x21, 0x3A, 0x4C, last};
}

/// One case's private files: the data file, the settings, the per-user data folder and
/// the instance lock all live in a temporary folder.
class CtlFixture : public ::testing::Test {
protected:
    struct Result {
        int nExit = -1;
        std::string strOut;
        std::string strErr;
    };

    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        const QByteArray path = m_dir.path().toUtf8();
        ::setenv("XDG_CONFIG_HOME", (path + "/config").constData(), 1);
        ::setenv("XDG_DATA_HOME", (path + "/data").constData(), 1);
        ::setenv("XDG_RUNTIME_DIR", path.constData(), 1);
        ::setenv("VT_LOCK_FILE", (path + "/vtserver.lock").constData(), 1);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           m_dir.filePath(QStringLiteral("config")));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           m_dir.filePath(QStringLiteral("config")));
    }

    std::string Path(const char* pszName) const
    {
        return m_dir.filePath(QString::fromUtf8(pszName)).toStdString();
    }
    std::string Data() const { return Path("roster.DAT"); }

    /// vtctl in this process, on the case's data file unless the arguments name one.
    Result Ctl(std::vector<std::string> args, const std::string& strData = {})
    {
        Result result;
        CtlEnv env;
        env.strExePath = Path("vtctl");
        env.hooks = m_hooks;
        env.nBusyRetries = m_nBusyRetries;
        env.nRetryPauseMs = 100;
        env.fnOut = [&](const std::string& s) { result.strOut += s; };
        env.fnErr = [&](const std::string& s) { result.strErr += s; };
        args.insert(args.begin(), {"--data", strData.empty() ? Data() : strData});
        result.nExit = CCtl(std::move(env)).Run(args);
        return result;
    }

    void Save(CDoc& doc, const std::string& strPath = {})
    {
        doc.SetPathName(strPath.empty() ? Data() : strPath);
        ASSERT_EQ(doc.DoFileSave(), SaveResult::Saved);
    }

    QTemporaryDir m_dir;
    ClientHooks m_hooks;
    int m_nBusyRetries = 3;
};

/// Line numbers of the "line N: ..." problems in a command's error output.
inline std::set<int> ProblemLines(const std::string& strErr)
{
    std::set<int> lines;
    for (const QString& strLine : QString::fromStdString(strErr).split(QLatin1Char('\n')))
        if (strLine.startsWith(QLatin1String("line ")))
            lines.insert(strLine.mid(5).section(QLatin1Char(':'), 0, 0).toInt());
    return lines;
}

} // namespace clitest
