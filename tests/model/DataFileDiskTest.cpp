// The data file against an unfriendly file system: a full disk, things that are not
// regular files, saves cut short, files and folders this user may not write.
#include "FifoRelease.h"
#include "FullRoster.h"
#include "ModelTestSupport.h"
#include "model/DataFile.h"

#include <QtCore/QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
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

ino_t Inode(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

const passwd* Nobody()
{
    return ::getpwnam("nobody");
}

/// Runs `fn` in a child process, as the user nobody when `bAsNobody`; the result is what
/// `fn` returns, or -1 when the child did not get to run it or did not exit.
int InChild(const std::function<int()>& fn, bool bAsNobody)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        const passwd* pw = bAsNobody ? Nobody() : nullptr;
        if (bAsNobody &&
            (!pw || ::setgroups(0, nullptr) != 0 || ::setgid(pw->pw_gid) != 0 || ::setuid(pw->pw_uid) != 0))
            ::_exit(255);
        ::_exit(fn());
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) && WEXITSTATUS(status) != 255 ? WEXITSTATUS(status) : -1;
}

/// A small tmpfs mounted on a temporary folder for the test's length (root only).
class SmallDisk final {
public:
    explicit SmallDisk(const std::string& strSize) : m_path(m_dir.path().toStdString() + "/disk")
    {
        fs::create_directory(m_path);
        m_bMounted =
            ::mount("tmpfs", m_path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, ("size=" + strSize).c_str()) == 0;
    }
    ~SmallDisk()
    {
        if (m_bMounted)
            ::umount2(m_path.c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool IsMounted() const { return m_bMounted; }
    const std::string& Path() const { return m_path; }

    /// Takes every free byte into the file "filler".
    void Fill() const
    {
        const int fd = ::open((m_path + "/filler").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        const std::vector<char> block(4096, 'f');
        for (int i = 0; i < 100000 && fd >= 0 && ::write(fd, block.data(), block.size()) > 0; ++i) {
        }
        for (int i = 0; i < 4096 && fd >= 0 && ::write(fd, block.data(), 1) > 0; ++i) {
        }
        if (fd >= 0)
            ::close(fd);
    }
    void Free() const { fs::remove(m_path + "/filler"); }

private:
    QTemporaryDir m_dir;
    std::string m_path;
    bool m_bMounted = false;
};

bool MakeSocket(const std::string& path)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path)
        return false;
    std::copy(path.begin(), path.end(), addr.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool bBound = fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    if (fd >= 0)
        ::close(fd);
    return bBound;
}

} // namespace

// Small rosters fit in a write buffer, so a write error may only show when it is flushed.
TEST(DataFileDisk, FullDiskFailsAndKeepsTheOldFile)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system needs root";
    SmallDisk disk("512k");
    if (!disk.IsMounted())
        GTEST_SKIP() << "tmpfs cannot be mounted here";
    const std::string path = disk.Path() + "/vt.DAT";
    CDoc few, small, full;
    AddPcs(few, 3);
    AddPcs(small, 118);
    FillFullRoster(full, Local(2024, 3, 5, 22, 0), 0x0A000001, 0x0A0000FF);
    ASSERT_LT(small.SaveToBytes().size(), 16384u);

    const std::pair<CDoc*, CDoc*> cases[] = {{&small, &few}, {&full, &small}, {&few, &full}};
    for (const auto& [pOld, pNew] : cases) {
        ASSERT_EQ(SaveTo(*pOld, path), SaveResult::Saved);
        const Bytes old = ReadFile(path);
        disk.Fill();
        EXPECT_EQ(SaveTo(*pNew, path), SaveResult::Failed) << pNew->m_pcs.size();
        EXPECT_TRUE(pNew->IsModified());
        EXPECT_EQ(ReadFile(path), old);
        EXPECT_EQ(Names(disk.Path()), (std::vector<std::string>{"filler", "vt.DAT"}));
        disk.Free();
        EXPECT_EQ(pNew->SaveModified(), SaveResult::Saved); // room again: the next try succeeds
        EXPECT_EQ(ReadFile(path), pNew->SaveToBytes());
    }
}

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
    const bool bSocket = MakeSocket(dir + "/socket.DAT");

    // Refused at start-up and on save, without blocking, and left as they are.
    std::vector<std::string> others = {"fifo.DAT", "zero.DAT", "to-fifo.DAT", "dangling.DAT"};
    if (bSocket)
        others.push_back("socket.DAT");
    for (const std::string& name : others) {
        const std::string path = dir + "/" + name;
        const fs::file_status before = fs::symlink_status(path);
        EXPECT_EQ(vtdatafile::Probe(path), vtdatafile::Kind::Other) << name;
        CDoc doc;
        {
            vttest::FifoRelease release(dir + "/fifo.DAT");
            EXPECT_FALSE(doc.OnOpenDocument(path)) << name;
            EXPECT_FALSE(release.Dismiss()) << name << " blocked the open";
        }
        AddPcs(doc, 1);
        EXPECT_EQ(SaveTo(doc, path), SaveResult::Refused) << name;
        EXPECT_FALSE(doc.IsModified());
        EXPECT_EQ(fs::symlink_status(path).type(), before.type()) << name;
    }
    EXPECT_EQ(fs::read_symlink(dir + "/zero.DAT"), device);
    EXPECT_TRUE(!bOwnDevice || fs::is_character_file(device));
    EXPECT_EQ(vtdatafile::Probe(dir + "/missing.DAT"), vtdatafile::Kind::Missing);

    // A link to a regular file is read through, and a save rewrites the file it points at.
    fs::create_directory(dir + "/real");
    WriteFile(dir + "/real/vt.DAT", Cat({kHeader,
                                         Le(0),
                                         Le(1),
                                         NewClass("CGroup"),
                                         {1, 'G', 0, 0, 0, 0},
                                         kDefaultReserve,
                                         kDefaultReserve}));
    fs::create_symlink("real/vt.DAT", dir + "/link.DAT");
    CDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(dir + "/link.DAT"));
    ASSERT_EQ(doc.m_groups.size(), 1u);
    AddPcs(doc, 2);
    EXPECT_EQ(SaveTo(doc, dir + "/link.DAT"), SaveResult::Saved);
    EXPECT_EQ(fs::read_symlink(dir + "/link.DAT"), "real/vt.DAT");
    EXPECT_EQ(ReadFile(dir + "/real/vt.DAT"), doc.SaveToBytes());
    EXPECT_EQ(Names(dir + "/real"), std::vector<std::string>{"vt.DAT"});
}

// A save killed halfway (here by the file-size limit) leaves its temporary file beside the
// data file; the clean-up removes exactly such files.
TEST(DataFileDisk, LeftoversOfInterruptedSaves)
{
    QTemporaryDir tmp;
    const std::string dir = tmp.path().toStdString();
    const std::string path = dir + "/vt.DAT";
    WriteFile(path, {1, 2, 3});
    const pid_t pid = ::fork();
    if (pid == 0) {
        const rlimit size{8192, 8192}, core{0, 0};
        ::setrlimit(RLIMIT_CORE, &core);
        ::signal(SIGXFSZ, SIG_DFL);
        if (::setrlimit(RLIMIT_FSIZE, &size) != 0)
            ::_exit(1);
        CDoc doc;
        FillFullRoster(doc, Local(2024, 3, 5, 22, 0), 0x0A000001, 0x0A0000FF);
        SaveTo(doc, path);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
    EXPECT_EQ(ReadFile(path), (Bytes{1, 2, 3}));
    ASSERT_EQ(Names(dir).size(), 2u);

    // Look-alikes, another user's file of the very pattern, and no files at all stay.
    std::vector<std::string> kept = {"vt.DAT",
                                     "vt.DAT.bak",
                                     "vt.DAT.saving-Ab12C",
                                     "vt.DAT.saving-Ab12Cd7",
                                     "vt.DAT.saving-Ab_2Cd",
                                     "vt.DATsaving-Ab12Cd",
                                     "other.DAT.saving-Ab12Cd"};
    for (std::size_t i = 1; i < kept.size(); ++i)
        WriteFile(dir + "/" + kept[i], {7});
    fs::create_directory(dir + "/vt.DAT.saving-dir123");
    fs::create_symlink("vt.DAT.bak", dir + "/vt.DAT.saving-lnk123");
    const passwd* pw = Nobody();
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
    kept.insert(kept.end(), {"links", "vt.DAT.saving-dir123", "vt.DAT.saving-lnk123"});
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(Names(dir), kept);
    EXPECT_EQ(ReadFile(path), (Bytes{1, 2, 3}));
}

// Saved, refused as read-only, or written in place, by what this user may write: run as
// the user nobody when the tests run as root (who may write anything).
TEST(DataFileDisk, WriteAccessDecidesHowToSave)
{
    const bool bRoot = ::geteuid() == 0;
    const passwd* pw = Nobody();
    if (bRoot && !pw)
        GTEST_SKIP() << "no user nobody to act as";
    enum Owner { Mine, Others };
    struct Case {
        const char* what;
        Owner owner;
        mode_t mode;
        bool bFolderOpen;
        SaveResult result;
        bool bInPlace;
    };
    const Case cases[] = {
        {"own file, own folder: replaced", Mine, 0644, true, SaveResult::Saved, false},
        {"own file in a closed folder: in place", Mine, 0644, false, SaveResult::Saved, true},
        {"own read-only file", Mine, 0444, true, SaveResult::Refused, false},
        {"another user's file in a closed folder", Others, 0644, false, SaveResult::Refused, false},
        {"another user's file in an open folder", Others, 0644, true, SaveResult::Refused, false},
        {"another user's file open to all, closed folder: in place", Others, 0666, false, SaveResult::Saved,
         true},
    };
    QTemporaryDir tmp;
    ::chmod(tmp.path().toLocal8Bit().constData(), 0755);
    const uid_t uid = bRoot ? pw->pw_uid : ::geteuid();
    const gid_t gid = bRoot ? pw->pw_gid : ::getegid();
    int nCase = 0;
    for (const Case& c : cases) {
        if (c.owner == Others && !bRoot)
            continue; // only root can hand a file to another user
        const std::string dir = tmp.path().toStdString() + "/" + std::to_string(nCase++);
        const std::string path = dir + "/vt.DAT";
        fs::create_directory(dir);
        WriteFile(path, Cat({kHeader,
                             Le(0),
                             Le(2),
                             NewClass("CGroup"),
                             {1, 'A', 0, 0, 0, 0},
                             kDefaultReserve,
                             kDefaultReserve,
                             Le(0x8001, 2),
                             {1, 'B', 0, 0, 0, 0},
                             kDefaultReserve,
                             kDefaultReserve}));
        ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
        if (c.owner == Mine) {
            ASSERT_EQ(::chown(path.c_str(), uid, gid), 0);
        }
        if (bRoot) {
            ASSERT_EQ(::chown(dir.c_str(), c.bFolderOpen ? uid : 0, c.bFolderOpen ? gid : 0), 0);
        }
        ASSERT_EQ(::chmod(dir.c_str(), c.bFolderOpen ? 0755 : 0555), 0);
        const Bytes old = ReadFile(path);
        const ino_t inode = Inode(path);

        CDoc doc;
        AddPcs(doc, 1);
        const int nResult = InChild(
            [&] {
                const SaveResult r = SaveTo(doc, path);
                return static_cast<int>(r) * 2 + (doc.IsModified() ? 1 : 0);
            },
            bRoot);
        EXPECT_EQ(nResult, static_cast<int>(c.result) * 2) << c.what;
        EXPECT_EQ(ReadFile(path), c.result == SaveResult::Saved ? doc.SaveToBytes() : old) << c.what;
        EXPECT_EQ(Inode(path) == inode, c.result != SaveResult::Saved || c.bInPlace) << c.what;
        EXPECT_EQ(Names(dir), std::vector<std::string>{"vt.DAT"}) << c.what;
        ::chmod(dir.c_str(), 0755);
    }
}
