#include "model/DataFile.h"

#include <QtCore/QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace vtdatafile {
namespace {

constexpr std::string_view kLeftoverInfix = ".saving-";
constexpr std::size_t kLeftoverLetters = 6;
constexpr int kNameTries = 100;

/// A file descriptor closed on every way out.
class CFd final {
public:
    explicit CFd(int fd) : m_fd(fd) {}
    ~CFd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;

    int Get() const { return m_fd; }
    /// Closes now; false when the close reports an error.
    bool Close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool IsLetterOrDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string FolderOf(const std::string& strFile)
{
    const std::size_t nSlash = strFile.rfind('/');
    if (nSlash == std::string::npos)
        return ".";
    return nSlash == 0 ? std::string("/") : strFile.substr(0, nSlash);
}

std::string NameOf(const std::string& strFile)
{
    const std::size_t nSlash = strFile.rfind('/');
    return nSlash == std::string::npos ? strFile : strFile.substr(nSlash + 1);
}

/// The file a save rewrites: the path itself (a regular file or nothing yet), or the
/// regular file a link points at. False for anything else.
bool ResolveTarget(const std::string& strPath, std::string& strTarget)
{
    struct stat st {};
    if (::lstat(strPath.c_str(), &st) != 0) {
        strTarget = strPath;
        return errno == ENOENT;
    }
    if (S_ISREG(st.st_mode)) {
        strTarget = strPath;
        return true;
    }
    if (!S_ISLNK(st.st_mode))
        return false;
    char* pReal = ::realpath(strPath.c_str(), nullptr);
    if (!pReal)
        return false;
    strTarget = pReal;
    std::free(pReal);
    return ::lstat(strTarget.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool WriteAll(int fd, const std::uint8_t* pData, std::size_t nSize, off_t nOffset)
{
    while (nSize > 0) {
        const ssize_t n = ::pwrite(fd, pData, nSize, nOffset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        pData += n;
        nSize -= static_cast<std::size_t>(n);
        nOffset += n;
    }
    return true;
}

/// Creates "<target>.saving-XXXXXX" exclusively; -1 with errno set when it cannot.
int CreateTemporary(const std::string& strTarget, mode_t mode, std::string& strTemp)
{
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int nTry = 0; nTry < kNameTries; ++nTry) {
        strTemp = strTarget;
        strTemp += kLeftoverInfix;
        for (std::size_t i = 0; i < kLeftoverLetters; ++i)
            strTemp += kLetters[QRandomGenerator::global()->bounded(static_cast<int>(sizeof kLetters - 1))];
        const int fd = ::open(strTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

bool WriteInPlace(const std::string& strTarget, const std::uint8_t* pData, std::size_t nSize)
{
    CFd fd(::open(strTarget.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st {};
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    // Over the old contents first, then cut to the new length.
    const bool bWritten = WriteAll(fd.Get(), pData, nSize, 0) &&
                          ::ftruncate(fd.Get(), static_cast<off_t>(nSize)) == 0 && ::fdatasync(fd.Get()) == 0;
    return fd.Close() && bWritten;
}

// The rename itself reaches the disk with the folder; the file is whole either way.
void SyncFolder(const std::string& strFolder)
{
    CFd fd(::open(strFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Get() >= 0)
        ::fsync(fd.Get());
}

} // namespace

Kind Probe(const std::string& strPath)
{
    struct stat st {};
    if (::lstat(strPath.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? Kind::Missing : Kind::Other;
    if (S_ISLNK(st.st_mode) && ::stat(strPath.c_str(), &st) != 0)
        return Kind::Other;
    if (S_ISREG(st.st_mode))
        return Kind::Regular;
    return S_ISDIR(st.st_mode) ? Kind::Directory : Kind::Other;
}

bool MayWrite(const std::string& strPath)
{
    if (::faccessat(AT_FDCWD, strPath.c_str(), W_OK, AT_EACCESS) != 0)
        return false;
    if (::geteuid() != 0)
        return true;
    struct stat st {};
    return ::stat(strPath.c_str(), &st) == 0 && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

bool ReadAll(const std::string& strPath, std::vector<std::uint8_t>& bytes)
{
    bytes.clear();
    // Looked at before it is opened: opening a FIFO or a device can wait for ever or act.
    if (Probe(strPath) != Kind::Regular)
        return false;
    CFd fd(::open(strPath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st {};
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    bytes.reserve(static_cast<std::size_t>(st.st_size));
    std::uint8_t buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
}

bool Write(const std::string& strPath, const std::uint8_t* pData, std::size_t nSize)
{
    std::string strTarget;
    if (!ResolveTarget(strPath, strTarget))
        return false;
    struct stat old {};
    const bool bExists = ::stat(strTarget.c_str(), &old) == 0;

    // The new file stays this user's alone until it holds the whole roster; then it takes
    // the old file's owner (where this process may give it) and mode.
    std::string strTemp;
    CFd fd(CreateTemporary(strTarget, bExists ? 0600 : 0666, strTemp));
    if (fd.Get() < 0) {
        if (bExists && (errno == EACCES || errno == EPERM))
            return WriteInPlace(strTarget, pData, nSize);
        return false;
    }
    bool bWritten = WriteAll(fd.Get(), pData, nSize, 0);
    if (bWritten && bExists) {
        [[maybe_unused]] const int nOwner =
            ::fchown(fd.Get(), ::geteuid() == 0 ? old.st_uid : static_cast<uid_t>(-1), old.st_gid);
        bWritten = ::fchmod(fd.Get(), old.st_mode & 0777) == 0;
    }
    // Every write error, a full disk's included, is known before the old file is replaced.
    bWritten = bWritten && ::fdatasync(fd.Get()) == 0;
    bWritten = fd.Close() && bWritten;
    if (!bWritten || ::rename(strTemp.c_str(), strTarget.c_str()) != 0) {
        ::unlink(strTemp.c_str());
        return false;
    }
    SyncFolder(FolderOf(strTarget));
    return true;
}

int RemoveLeftovers(const std::string& strPath)
{
    std::string strTarget;
    if (!ResolveTarget(strPath, strTarget))
        return 0;
    const std::string strFolder = FolderOf(strTarget);
    const std::string strPrefix = NameOf(strTarget) + std::string(kLeftoverInfix);
    DIR* pDir = ::opendir(strFolder.c_str());
    if (!pDir)
        return 0;
    const uid_t uid = ::geteuid();
    int nRemoved = 0;
    while (const dirent* pEntry = ::readdir(pDir)) {
        const std::string_view name(pEntry->d_name);
        if (name.size() != strPrefix.size() + kLeftoverLetters ||
            name.substr(0, strPrefix.size()) != strPrefix ||
            !std::all_of(name.begin() + static_cast<std::ptrdiff_t>(strPrefix.size()), name.end(),
                         IsLetterOrDigit))
            continue;
        const std::string strFile = strFolder + '/' + std::string(name);
        struct stat st {};
        if (::lstat(strFile.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == uid &&
            ::unlink(strFile.c_str()) == 0)
            ++nRemoved;
    }
    ::closedir(pDir);
    return nRemoved;
}

} // namespace vtdatafile
