#include "app/Paths.h"

#include "app/Settings.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QString>

#include <cerrno>
#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace vtpaths {
namespace {

// A folder only this user can put files in: a directory of this user that nobody else may
// write. Created (0700) when it is missing.
bool IsPrivateFolder(const std::string& strDir)
{
    if (::mkdir(strDir.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st {};
    return ::stat(strDir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace

std::string UserDataFolder()
{
    const QString strBase = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QFile::encodeName(strBase + QLatin1Char('/') + QString::fromUtf8(vtsettings::kOrganization) +
                             QLatin1Char('/') + QString::fromUtf8(vtsettings::kApplication))
        .toStdString();
}

std::string DataFilePath(const std::string& strExePath)
{
    fs::path beside(strExePath);
    beside.replace_extension(".DAT");
    std::error_code ec;
    if (fs::symlink_status(beside, ec).type() != fs::file_type::not_found && !ec)
        return beside.string();
    const fs::path folder = beside.has_parent_path() ? beside.parent_path() : fs::path(".");
    if (::access(folder.c_str(), W_OK | X_OK) == 0)
        return beside.string();
    return (fs::path(UserDataFolder()) / beside.filename()).string();
}

std::string InstanceLockPath()
{
    const QByteArray env = qgetenv("VT_LOCK_FILE");
    if (!env.isEmpty())
        return env.toStdString();
    // Never a folder others can write (a lock planted there would block every start) nor
    // one found through TMPDIR (two sessions could then run two copies).
    std::string strDir = qgetenv("XDG_RUNTIME_DIR").toStdString();
    if (strDir.empty() || strDir.front() != '/' || !IsPrivateFolder(strDir)) {
        const QString strConfig = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        if (strConfig.isEmpty() || !QDir().mkpath(strConfig))
            return {};
        strDir =
            QFile::encodeName(strConfig + QLatin1Char('/') + QString::fromUtf8(vtsettings::kOrganization))
                .toStdString();
        if (!IsPrivateFolder(strDir))
            return {};
    }
    return strDir + "/TORVANE-VT-Server.lock";
}

} // namespace vtpaths
