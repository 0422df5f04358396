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
    const std::string root = home.path().toStdString();
    ::setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    const std::string perUser = root + "/data/TORVANE/VT Server";
    EXPECT_EQ(vtpaths::UserDataFolder(), perUser);

    // Folders nobody may write: beside only when the file is already there.
    fs::create_directories(root + "/closed");
    fs::create_directories(root + "/kept");
    std::ofstream(root + "/kept/vt.DAT") << "";
    ::chmod((root + "/closed").c_str(), 0555);
    ::chmod((root + "/kept").c_str(), 0555);
    EXPECT_EQ(vtpaths::DataFilePath(root + "/vt"), root + "/vt.DAT");
    EXPECT_EQ(vtpaths::DataFilePath(root + "/kept/vt"), root + "/kept/vt.DAT");
    EXPECT_EQ(vtpaths::DataFilePath(root + "/missing/vt"), perUser + "/vt.DAT");
    EXPECT_EQ(vtpaths::DataFilePath(root + "/closed/vt"), // root may write into any folder
              ::geteuid() == 0 ? root + "/closed/vt.DAT" : perUser + "/vt.DAT");
    ::chmod((root + "/kept").c_str(), 0755);
}

// Only a folder of this user that nobody else may write holds the lock: the runtime
// folder, else the settings folder; never one found through TMPDIR.
TEST(PathsTest, LockOnlyInAPrivateFolder)
{
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString();
    const std::string config = root + "/config", runtime = root + "/run";
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
        ASSERT_EQ(::stat(fs::path(expected).parent_path().c_str(), &st), 0) << what;
        EXPECT_TRUE((prepare != Missing && expected != inConfig) || (st.st_mode & 0777) == 0700) << what;
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
