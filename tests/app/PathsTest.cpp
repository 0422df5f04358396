#include "app/Paths.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

TEST(PathsTest, DataFileBesideTheExecutableUnlessItsFolderIsClosed)
{
    QTemporaryDir home;
    ::setenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toLocal8Bit().constData(), 1);
    const fs::path root = home.path().toStdString();
    const std::string perUser = (root / "data" / "TORVANE" / "VT Server" / "vt.DAT").string();
    EXPECT_EQ(vtpaths::UserDataFolder(), (root / "data" / "TORVANE" / "VT Server").string());

    fs::create_directories(root / "open");
    EXPECT_EQ(vtpaths::DataFilePath((root / "open" / "vt").string()), (root / "open" / "vt.DAT").string());

    // A folder nobody may write: beside only when the file is already there.
    fs::create_directories(root / "closed");
    if (::geteuid() != 0) {
        ::chmod((root / "closed").c_str(), 0555);
        EXPECT_EQ(vtpaths::DataFilePath((root / "closed" / "vt").string()), perUser);
        ::chmod((root / "closed").c_str(), 0755);
    }
    std::ofstream((root / "closed" / "vt.DAT").string()) << "";
    ::chmod((root / "closed").c_str(), 0555);
    EXPECT_EQ(vtpaths::DataFilePath((root / "closed" / "vt").string()),
              (root / "closed" / "vt.DAT").string());
    ::chmod((root / "closed").c_str(), 0755);
}

TEST(PathsTest, LockInThePrivateRuntimeFolder)
{
    QTemporaryDir dir;
    const std::string runtime = (dir.path() + QStringLiteral("/run")).toStdString();
    ::mkdir(runtime.c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    ::unsetenv("VT_LOCK_FILE");
    EXPECT_EQ(vtpaths::InstanceLockPath(), runtime + "/TORVANE-VT-Server.lock");
    ::setenv("VT_LOCK_FILE", "/elsewhere/x.lock", 1);
    EXPECT_EQ(vtpaths::InstanceLockPath(), "/elsewhere/x.lock");
    ::unsetenv("VT_LOCK_FILE");
}

} // namespace
