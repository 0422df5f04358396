#include "app/Settings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

// Every test gets an empty settings folder of its own, set before anything reads settings.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(m_dir->isValid());
        const QByteArray path = m_dir->path().toLocal8Bit();
        ::setenv("XDG_CONFIG_HOME", path.constData(), 1);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir->path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir->path());
    }

    QString FilePath() const
    {
        return QSettings(QStringLiteral("TORVANE"), QStringLiteral("VT Server")).fileName();
    }

    // Replaces the file as a hand edit would.
    void WriteFile(const char* text) const
    {
        QDir().mkpath(m_dir->path() + QStringLiteral("/TORVANE"));
        QFile f(FilePath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

TEST_F(SettingsTest, DefaultsWhenMissingAndReadsWriteNothing)
{
    ASSERT_TRUE(FilePath().startsWith(m_dir->path())) << FilePath().toStdString();
    EXPECT_EQ(vtsettings::Password(), "");
    EXPECT_EQ(vtsettings::EnablePowOffCmd(), 0);
    EXPECT_EQ(vtsettings::ReportType(), 2);
    EXPECT_EQ(vtsettings::Interval(), 60);
    EXPECT_EQ(vtsettings::InterfaceAddress(), 0U);
    EXPECT_EQ(vtsettings::Port(), 9000);
    EXPECT_EQ(vtsettings::ReadInt("Window", "x", -1), -1);
    EXPECT_EQ(vtsettings::ReadString("Window", "none", "dflt"), "dflt");

    EXPECT_FALSE(QFile::exists(FilePath()));
    EXPECT_TRUE(QDir(m_dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

TEST_F(SettingsTest, ValuesOutsideDialogRangesReadAsDefaults)
{
    struct Case {
        const char* section;
        const char* key;
        int (*read)();
        int value;
        int expected;
    };
    const Case cases[] = {
        {"Interface", "IP Port", vtsettings::Port, 0, 9000},
        {"Interface", "IP Port", vtsettings::Port, 65535, 9000},
        {"Interface", "IP Port", vtsettings::Port, 1, 1},
        {"Interface", "IP Port", vtsettings::Port, 65534, 65534},
        {"Settings", "Interval", vtsettings::Interval, 0, 60},
        {"Settings", "Interval", vtsettings::Interval, 4, 60},
        {"Settings", "Interval", vtsettings::Interval, 3601, 60},
        {"Settings", "Interval", vtsettings::Interval, 5, 5},
        {"Settings", "Interval", vtsettings::Interval, 3600, 3600},
        {"Settings", "Type", vtsettings::ReportType, 3, 2},
        {"Settings", "Type", vtsettings::ReportType, -1, 2},
        {"Settings", "Type", vtsettings::ReportType, 0, 0},
        {"Settings", "EnablePowOffCmd", vtsettings::EnablePowOffCmd, 7, 7},
    };
    for (const Case& c : cases) {
        vtsettings::WriteInt(c.section, c.key, c.value);
        EXPECT_EQ(vtsettings::ReadInt(c.section, c.key, 12345), c.value) << c.key << " " << c.value;
        EXPECT_EQ(c.read(), c.expected) << c.key << " " << c.value;
    }
}

TEST_F(SettingsTest, HandEditedFileReadsBack)
{
    WriteFile("[Settings]\n"
              "Pass=QUI=\n"
              "Type=1\n"
              "Interval=abc\n"
              "EnablePowOffCmd= 3\n"
              "[Interface]\n"
              "IP%20Address=3232235777\n"
              "IP%20Port=8000\n");
    EXPECT_EQ(vtsettings::Password(), "QUI=");
    EXPECT_EQ(vtsettings::ReportType(), 1);
    EXPECT_EQ(vtsettings::Interval(), 60);
    EXPECT_EQ(vtsettings::EnablePowOffCmd(), 3);
    EXPECT_EQ(vtsettings::InterfaceAddress(), 0xC0A80101U);
    EXPECT_EQ(vtsettings::Port(), 8000);
    EXPECT_EQ(vtsettings::ReadInt("Settings", "Pass", -7), -7);
}

TEST_F(SettingsTest, WrittenValuesSurviveInTheFile)
{
    vtsettings::WriteInt("Interface", "IP Address", static_cast<int>(0xC0A80102U));
    vtsettings::WriteInt("Interface", "IP Port", 12000);
    vtsettings::WriteInt("Window", "sLeft", -1);
    vtsettings::WriteString("Settings", "Pass", "QUJD");
    vtsettings::WriteString("Window", "Name", "稼動中");
    ASSERT_TRUE(QFile::exists(FilePath()));

    EXPECT_EQ(vtsettings::InterfaceAddress(), 0xC0A80102U);
    EXPECT_EQ(vtsettings::Port(), 12000);
    EXPECT_EQ(vtsettings::ReadInt("Window", "sLeft", 5), -1);
    EXPECT_EQ(vtsettings::Password(), "QUJD");
    EXPECT_EQ(vtsettings::ReadString("Window", "Name", ""), "稼動中");
}

} // namespace
