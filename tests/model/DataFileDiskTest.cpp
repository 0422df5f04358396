// The data file against an unfriendly file system: failing writes, things that are not
// regular files, saves cut short, files and folders this user may not write.
#include "FullRoster.h"
#include "ModelTestSupport.h"
#include "model/DataFile.h"

#include <QtCore/QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <tuple>

#include <grp.h>
#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace vttest;

namespace {

std::vector<std::string> Names(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void AddPcs(CDoc& doc, std::size_t nPcs)
{
    for (std::size_t i = 0; i < nPcs; ++i) {
        const std::uint8_t mac[6] = {0x02, 0, 0, 0, 1, static_cast<std::uint8_t>(i)};
        doc.AddPc("PC-" + std::to_string(i), 0x0A000001 + static_cast<std::uint32_t>(i), mac, 0x0A0000FF);
    }
}

SaveResult SaveTo(CDoc& doc, const std::string& path)
{
    doc.SetPathName(path);
    doc.SetModifiedFlag();
    return doc.SaveModified();
}

/// Saves while every write past `nLimit` bytes fails, as on a full disk; with `onLimit`
/// SIG_DFL the limit kills the process instead, halfway through the save.
SaveResult SaveWithin(CDoc& doc, const std::string& path, rlim_t nLimit, sighandler_t onLimit = SIG_IGN)
{
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const rlimit limit{nLimit, old.rlim_max};
    const sighandler_t previous = ::signal(SIGXFSZ, onLimit);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const SaveResult result = SaveTo(doc, path);
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, previous);
    return result;
}

/// Saves `few` over `full` and back, the first time through `fnFailingSave`: that save fails
/// and keeps the old file with nothing beside it, and the next one goes through. The faults seen.
int FailedSaveFaults(CDoc& few, CDoc& full, const std::string& path,
                     const std::function<SaveResult(CDoc&)>& fnFailingSave)
{
    int nFaults = 0;
    for (const auto& [pOld, pNew] : {std::pair{&full, &few}, std::pair{&few, &full}}) {
        nFaults += SaveTo(*pOld, path) != SaveResult::Saved;
        const Bytes old = ReadFile(path);
        nFaults += fnFailingSave(*pNew) != SaveResult::Failed || !pNew->IsModified() ||
                   ReadFile(path) != old ||
                   Names(fs::path(path).parent_path()) != std::vector<std::string>{"vt.DAT"};
        nFaults += pNew->SaveModified() != SaveResult::Saved || ReadFile(path) != pNew->SaveToBytes();
    }
    return nFaults;
}

/// Runs `fn` in a child process, as the user `pAs` when given; the child's wait status
/// (exit code 255 when it could not become that user).
int InChild(const std::function<int()>& fn, const passwd* pAs = nullptr)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (pAs && (::setgroups(0, nullptr) != 0 || ::setgid(pAs->pw_gid) != 0 || ::setuid(pAs->pw_uid) != 0))
            ::_exit(255);
        ::_exit(fn());
    }
    int status = -1;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid ? status : -1;
}

} // namespace

TEST(DataFileDisk, OnlyRegularFilesAreOpenedOrReplaced)
{
    QTemporaryDir tmp;
    const std::string dir = tmp.path().toStdString();
    ASSERT_EQ(::mkfifo((dir + "/fifo.DAT").c_str(), 0600), 0);
    // A device of the test's own (root), or one a test cannot harm: a wrong save replaces it.
    const bool bOwnDevice =
        ::geteuid() == 0 && ::mknod((dir + "/zero").c_str(), S_IFCHR | 0666, makedev(1, 5)) == 0;
    const std::string device = bOwnDevice ? dir + "/zero" : std::string("/dev/null");
    fs::create_symlink(device, dir + "/zero.DAT");
    fs::create_symlink("fifo.DAT", dir + "/to-fifo.DAT");
    fs::create_symlink(dir + "/nowhere.DAT", dir + "/dangling.DAT");

    // Refused at start-up and on save, without blocking, and left as they are.
    for (const std::string name : {"fifo.DAT", "zero.DAT", "to-fifo.DAT", "dangling.DAT"}) {
        const std::string path = dir + "/" + name;
        const fs::file_type type = fs::symlink_status(path).type();
        EXPECT_EQ(vtdatafile::Probe(path), vtdatafile::Kind::Other) << name;
        const int status = InChild([&] {
            ::alarm(5); // ends a child blocked in an open
            CDoc doc;
            const bool bOpened = doc.OnOpenDocument(path);
            AddPcs(doc, 1);
            return static_cast<int>(SaveTo(doc, path)) * 4 + bOpened * 2 + doc.IsModified();
        });
        EXPECT_EQ(status, W_EXITCODE(static_cast<int>(SaveResult::Refused) * 4, 0)) << name;
        EXPECT_EQ(fs::symlink_status(path).type(), type) << name;
    }
    EXPECT_EQ(fs::read_symlink(dir + "/zero.DAT"), device);
    EXPECT_TRUE(!bOwnDevice || fs::is_character_file(device));

    // A link to a regular file is read through, and a save rewrites the file it points at.
    fs::create_directory(dir + "/real");
    CDoc doc;
    doc.AddGroup("G");
    ASSERT_EQ(SaveTo(doc, dir + "/real/vt.DAT"), SaveResult::Saved);
    fs::create_symlink("real/vt.DAT", dir + "/link.DAT");
    ASSERT_TRUE(doc.OnOpenDocument(dir + "/link.DAT") && doc.m_groups.size() == 1);
    AddPcs(doc, 2);
    EXPECT_EQ(SaveTo(doc, dir + "/link.DAT"), SaveResult::Saved);
    EXPECT_EQ(fs::read_symlink(dir + "/link.DAT"), "real/vt.DAT");
    EXPECT_EQ(ReadFile(dir + "/real/vt.DAT"), doc.SaveToBytes());
    EXPECT_EQ(Names(dir + "/real"), std::vector<std::string>{"vt.DAT"});
}

// A failing write (as on a full disk) fails the save and keeps the old file. A save killed
// halfway leaves its temporary file beside the data file; the clean-up removes exactly
// such files.
TEST(DataFileDisk, FailedAndInterruptedSaves)
{
    QTemporaryDir tmp;
    const std::string dir = tmp.path().toStdString(), path = dir + "/vt.DAT";
    CDoc few, full;
    AddPcs(few, 3);
    FillFullRoster(full, Local(2024, 3, 5, 22, 0), 0x0A000001, 0x0A0000FF);
    EXPECT_EQ(FailedSaveFaults(few, full, path, [&](CDoc& doc) { return SaveWithin(doc, path, 64); }), 0);

    // A real full disk: a small tmpfs of a private mount namespace, filled to the last byte.
    if (::geteuid() == 0) {
        const int nFull = InChild([&] {
            const std::string disk = dir + "/disk";
            if (::unshare(CLONE_NEWNS) != 0 ||
                ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                !fs::create_directory(disk) || ::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=512k") != 0)
                return 99;
            return FailedSaveFaults(few, full, disk + "/vt.DAT", [&](CDoc& doc) {
                std::ofstream(disk + "/fill", std::ios::binary) << std::string(1 << 20, '\0');
                const SaveResult result = SaveTo(doc, disk + "/vt.DAT");
                fs::remove(disk + "/fill");
                return result;
            });
        });
        EXPECT_EQ(nFull, 0) << "faults on a full tmpfs (99: no mount)";
        fs::remove(dir + "/disk");
    }

    const Bytes old = ReadFile(path);
    const int status = InChild([&] {
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        SaveWithin(few, path, 64, SIG_DFL);
        return 0;
    });
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
    EXPECT_EQ(ReadFile(path), old);
    ASSERT_EQ(Names(dir).size(), 2u);

    // Look-alikes, another user's file of the very pattern, and no files at all stay.
    std::vector<std::string> kept = {"vt.DAT", "vt.DAT.saving-dir123", "vt.DAT.saving-lnk123", "links"};
    for (const char* name : {"vt.DAT.bak", "vt.DAT.saving-Ab12C", "vt.DAT.saving-Ab12Cd7",
                             "vt.DAT.saving-Ab_2Cd", "vt.DATsaving-Ab12Cd", "other.DAT.saving-Ab12Cd"}) {
        WriteFile(dir + "/" + name, {7});
        kept.push_back(name);
    }
    fs::create_directory(dir + "/vt.DAT.saving-dir123");
    fs::create_symlink("vt.DAT.bak", dir + "/vt.DAT.saving-lnk123");
    const passwd* pw = ::getpwnam("nobody");
    if (::geteuid() == 0 && pw) {
        WriteFile(dir + "/vt.DAT.saving-nobody", {7});
        ASSERT_EQ(::chown((dir + "/vt.DAT.saving-nobody").c_str(), pw->pw_uid, pw->pw_gid), 0);
        kept.push_back("vt.DAT.saving-nobody");
    }
    WriteFile(dir + "/vt.DAT.saving-Zz9Yy8", {7});

    // Found through a link to the data file: beside the file it points at.
    fs::create_directory(dir + "/links");
    fs::create_symlink("../vt.DAT", dir + "/links/vt.DAT");
    EXPECT_EQ(vtdatafile::RemoveLeftovers(dir + "/links/vt.DAT"), 2);
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(Names(dir), kept);
    EXPECT_EQ(ReadFile(path), old);
}

// Saved, refused as read-only, or written in place, by what this user may write: run as
// the user nobody when the tests run as root (who may write anything).
TEST(DataFileDisk, WriteAccessDecidesHowToSave)
{
    const bool bRoot = ::geteuid() == 0;
    const passwd* pw = bRoot ? ::getpwnam("nobody") : nullptr;
    if (bRoot && !pw)
        GTEST_SKIP() << "no user nobody to act as";
    // Whose file, its mode, whether this user may write the folder; how the save goes.
    const std::tuple<bool, mode_t, bool, SaveResult, bool> cases[] = {
        {true, 0644, true, SaveResult::Saved, false},
        {true, 0644, false, SaveResult::Saved, true}, // written in place
        {true, 0444, true, SaveResult::Refused, false},
        {false, 0644, false, SaveResult::Refused, false},
        {false, 0644, true, SaveResult::Refused, false},
        {false, 0666, false, SaveResult::Saved, true}, // another user's file open to all: in place
    };
    QTemporaryDir tmp;
    ::chmod(tmp.path().toLocal8Bit().constData(), 0755);
    const uid_t uid = bRoot ? pw->pw_uid : ::geteuid(), other = bRoot ? 0 : uid;
    const gid_t gid = bRoot ? pw->pw_gid : ::getegid();
    int nCase = 0;
    for (const auto& [bMine, mode, bFolderOpen, result, bInPlace] : cases) {
        if (!bMine && !bRoot)
            continue; // only root can hand a file to another user
        const std::string dir = tmp.path().toStdString() + "/" + std::to_string(nCase++),
                          path = dir + "/vt.DAT";
        fs::create_directory(dir);
        WriteFile(path, {1, 2, 3});
        ASSERT_EQ(::chown(path.c_str(), bMine ? uid : other, gid), 0);
        ASSERT_EQ(::chown(dir.c_str(), bFolderOpen ? uid : other, gid), 0);
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        ASSERT_EQ(::chmod(dir.c_str(), bFolderOpen ? 0755 : 0555), 0);
        struct stat before {};
        ::lstat(path.c_str(), &before);

        CDoc doc;
        AddPcs(doc, 1);
        const int status =
            InChild([&] { return static_cast<int>(SaveTo(doc, path)) * 2 + doc.IsModified(); }, pw);
        EXPECT_EQ(status, W_EXITCODE(static_cast<int>(result) * 2, 0)) << nCase;
        EXPECT_EQ(ReadFile(path), (result == SaveResult::Saved ? doc.SaveToBytes() : Bytes{1, 2, 3}))
            << nCase;
        struct stat after {};
        ::lstat(path.c_str(), &after);
        EXPECT_EQ(after.st_ino == before.st_ino, result != SaveResult::Saved || bInPlace) << nCase;
        EXPECT_EQ(Names(dir), std::vector<std::string>{"vt.DAT"}) << nCase;
        ::chmod(dir.c_str(), 0755);
    }
}
