#include "app/Paths.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <tuple>

#include <pwd.h>
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

// Only a folder of this user that nobody else may write holds the lock: the runtime
// folder, else the settings folder; never one found through TMPDIR.
TEST(PathsTest, LockOnlyInAPrivateFolder)
{
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString();
    const std::string config = root + "/config";
    const std::string runtime = root + "/run";
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    ::setenv("TMPDIR", root.c_str(), 1);
    ::unsetenv("VT_LOCK_FILE");
    const std::string inRuntime = runtime + "/TORVANE-VT-Server.lock";
    const std::string inConfig = config + "/TORVANE/TORVANE-VT-Server.lock";
    const passwd* pw = ::getpwnam("nobody");

    enum Prepare { Private, Missing, OpenToAll, OpenToGroup, Foreign, Unset, Relative };
    const std::tuple<const char*, Prepare, std::string> cases[] = {
        {"private runtime folder", Private, inRuntime},
        {"runtime folder made when missing", Missing, inRuntime},
        {"runtime folder others may write", OpenToAll, inConfig},
        {"runtime folder the group may write", OpenToGroup, inConfig},
        {"another user's runtime folder", Foreign, inConfig},
        {"no runtime folder", Unset, inConfig},
        {"relative runtime folder", Relative, inConfig},
    };
    for (const auto& [what, prepare, expected] : cases) {
        fs::remove_all(runtime);
        fs::remove_all(config);
        ::setenv("XDG_RUNTIME_DIR", prepare == Relative ? "run" : runtime.c_str(), 1);
        if (prepare == Unset)
            ::unsetenv("XDG_RUNTIME_DIR");
        if (prepare != Missing)
            ::mkdir(runtime.c_str(), 0700);
        if (prepare == OpenToAll || prepare == OpenToGroup)
            ::chmod(runtime.c_str(), prepare == OpenToAll ? 01777 : 0770);
        if (prepare == Foreign && (::geteuid() != 0 || !pw || ::chown(runtime.c_str(), pw->pw_uid, 0) != 0))
            continue; // only root can hand a folder to another user
        EXPECT_EQ(vtpaths::InstanceLockPath(), expected) << what;
        struct stat st {};
        const std::string folder = fs::path(expected).parent_path().string();
        ASSERT_EQ(::stat(folder.c_str(), &st), 0) << what;
        if (prepare == Missing || expected == inConfig) {
            EXPECT_EQ(st.st_mode & 0777, 0700u) << what;
        }
    }

    // A settings folder others may write is no place either.
    ::unsetenv("XDG_RUNTIME_DIR");
    ::chmod((config + "/TORVANE").c_str(), 0777);
    EXPECT_EQ(vtpaths::InstanceLockPath(), "");
    ::setenv("VT_LOCK_FILE", "/elsewhere/x.lock", 1);
    EXPECT_EQ(vtpaths::InstanceLockPath(), "/elsewhere/x.lock");
    ::unsetenv("VT_LOCK_FILE");
    ::unsetenv("TMPDIR");
}

} // namespace
