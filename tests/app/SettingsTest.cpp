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

namespace {

auto ReadAll()
{
    using namespace vtsettings;
    return std::make_tuple(Password(), EnablePowOffCmd(), ReportType(), Interval(), InterfaceAddress(),
                           Port());
}

TEST(SettingsTest, DefaultsRangesAndTheFileOnDisk)
{
    // An empty settings folder of our own, set before anything reads settings.
    QTemporaryDir dir;
    ::setenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit().constData(), 1);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    const QString file = QSettings(QStringLiteral("TORVANE"), QStringLiteral("VT Server")).fileName();
    ASSERT_TRUE(file.startsWith(dir.path())) << file.toStdString();

    EXPECT_EQ(ReadAll(), std::make_tuple(std::string(), 0, 2, 60, 0U, 9000));
    EXPECT_TRUE(
        QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty()); // reads write nothing

    // Values outside the Settings dialog's ranges read as defaults.
    const std::tuple<const char*, const char*, int (*)(), int, int> cases[] = {
        {"Interface", "IP Port", vtsettings::Port, 0, 9000},
        {"Interface", "IP Port", vtsettings::Port, 65535, 9000},
        {"Interface", "IP Port", vtsettings::Port, 1, 1},
        {"Interface", "IP Port", vtsettings::Port, 65534, 65534},
        {"Settings", "Interval", vtsettings::Interval, 4, 60},
        {"Settings", "Interval", vtsettings::Interval, 3601, 60},
        {"Settings", "Interval", vtsettings::Interval, 5, 5},
        {"Settings", "Interval", vtsettings::Interval, 3600, 3600},
        {"Settings", "Type", vtsettings::ReportType, 3, 2},
        {"Settings", "Type", vtsettings::ReportType, -1, 2},
        {"Settings", "Type", vtsettings::ReportType, 0, 0},
        {"Settings", "EnablePowOffCmd", vtsettings::EnablePowOffCmd, 7, 7},
    };
    for (const auto& [section, key, read, value, expected] : cases) {
        vtsettings::WriteInt(section, key, value);
        EXPECT_EQ(read(), expected) << key << " " << value;
    }
    vtsettings::WriteInt("Interface", "IP Address", static_cast<int>(0xC0A80102U)); // stored signed
    EXPECT_EQ(vtsettings::InterfaceAddress(), 0xC0A80102U);

    // The file as a hand edit leaves it: spaces, text, an address written unsigned.
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("[Settings]\nPass=QUI=\nType=1\nInterval=abc\nEnablePowOffCmd= 3\n"
            "[Interface]\nIP%20Address=3232235777\nIP%20Port=8000\n");
    f.close();
    EXPECT_EQ(ReadAll(), std::make_tuple(std::string("QUI="), 3, 1, 60, 0xC0A80101U, 8000));
    EXPECT_EQ(vtsettings::ReadInt("Settings", "Pass", -7), -7);
}

} // namespace
