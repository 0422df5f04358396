#include "app/Settings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include <sys/stat.h>

namespace {

auto ReadAll()
{
    using namespace vtsettings;
    return std::make_tuple(Password(), EnablePowOffCmd(), ReportType(), Interval(), InterfaceAddress(),
                           Port());
}

/// An empty settings folder of the test's own, set before anything reads settings.
class SettingsTest : public testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit().constData(), 1);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
        file = QSettings(QStringLiteral("TORVANE"), QStringLiteral("VT Server")).fileName();
        ASSERT_TRUE(file.startsWith(dir.path())) << file.toStdString();
    }
    mode_t Mode() const
    {
        struct stat st {};
        return ::stat(QFile::encodeName(file).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
    }

    QTemporaryDir dir;
    QString file;
};

TEST_F(SettingsTest, DefaultsRangesAndTheFileOnDisk)
{
    EXPECT_EQ(ReadAll(), std::make_tuple(std::string(), 0, 2, 60, 0U, 9000));
    EXPECT_TRUE(
        QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty()); // reads write nothing

    // Values outside the Settings dialog's ranges read as defaults.
    const std::tuple<const char*, const char*, int (*)(), std::vector<std::pair<int, int>>> cases[] = {
        {"Interface", "IP Port", vtsettings::Port, {{0, 9000}, {65535, 9000}, {1, 1}, {65534, 65534}}},
        {"Settings", "Interval", vtsettings::Interval, {{4, 60}, {3601, 60}, {5, 5}, {3600, 3600}}},
        {"Settings", "Type", vtsettings::ReportType, {{3, 2}, {-1, 2}, {0, 0}}},
        {"Settings", "EnablePowOffCmd", vtsettings::EnablePowOffCmd, {{7, 7}}},
    };
    for (const auto& [section, key, read, values] : cases) {
        for (const auto& [value, expected] : values) {
            vtsettings::WriteInt(section, key, value);
            EXPECT_EQ(read(), expected) << key << " " << value;
        }
    }
    vtsettings::WriteInt("Interface", "IP Address", static_cast<int>(0xC0A80102U)); // stored signed
    EXPECT_EQ(vtsettings::InterfaceAddress(), 0xC0A80102U);

    // The file as a hand edit leaves it: spaces, text, an address written unsigned, and
    // commas, which make the settings layer read a list: strings still read as their text,
    // also once the program has rewritten the file.
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("[Settings]\nPass=QU,I=\nType=1\nInterval=abc\nEnablePowOffCmd= 3\nOther=a,,b,\n"
            "[Interface]\nIP%20Address=3232235777\nIP%20Port=8000\n");
    f.close();
    EXPECT_EQ(ReadAll(), std::make_tuple(std::string("QU,I="), 3, 1, 60, 0xC0A80101U, 8000));
    EXPECT_EQ(vtsettings::ReadInt("Settings", "Pass", -7), -7);
    vtsettings::WriteInt("Settings", "Type", 2);
    EXPECT_EQ(vtsettings::Password(), "QU,I=");
    EXPECT_EQ(vtsettings::ReadString("Settings", "Other", "-"), "a,,b,");
    for (const std::string value : {"ab,cd", "a, b", " lead", "trail ", "a;b", "x,", ",", "@String(y)",
                                    "\"q\"", "a\\b", "=", "\xE6\x97\xA5"}) {
        vtsettings::WriteString("Settings", "Pass", value);
        EXPECT_EQ(vtsettings::Password(), value);
    }
}

// The file holds the password: made this user's alone by the first write, and kept so.
TEST_F(SettingsTest, FileOnlyForThisUser)
{
    const mode_t old = ::umask(022);
    vtsettings::WriteString("Settings", "Pass", "QUJD");
    EXPECT_EQ(Mode(), 0600u);
    for (const mode_t mode : {0644, 0666, 0640}) {
        ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), mode), 0);
        if (mode == 0640)
            vtsettings::WriteBytes("ToolBar", "State", QByteArray("\x00\x01", 2));
        else
            vtsettings::WriteInt("Window", "x", 1);
        EXPECT_EQ(Mode(), 0600u) << mode;
    }
    ::umask(old);
    EXPECT_EQ(vtsettings::Password(), "QUJD");
}

} // namespace
