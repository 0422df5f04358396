#pragma once

#include "cli/CCtl.h"
#include "model/CDoc.h"

#include <QSettings>
#include <QTemporaryDir>

#include <array>
#include <cstdlib>
#include <fstream>
#include <iterator>
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
        std::string strOut, strErr;
    };

    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ::setenv("XDG_CONFIG_HOME", Path("config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", Path("data").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", Path("").c_str(), 1);
        ::setenv("VT_LOCK_FILE", Path("vtserver.lock").c_str(), 1);
        for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat})
            QSettings::setPath(format, QSettings::UserScope, QString::fromStdString(Path("config")));
    }

    std::string Path(const std::string& strName) const { return m_dir.path().toStdString() + "/" + strName; }
    std::string Data() const { return Path("roster.DAT"); }

    /// vtctl in this process, on the case's data file unless `strData` names another.
    Result Ctl(std::vector<std::string> args, const std::string& strData = {})
    {
        Result result;
        CtlEnv env{Path("vtctl"), m_hooks, m_nBusyRetries, 100, {}, {}, {}};
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

} // namespace clitest
