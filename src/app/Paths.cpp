#include "app/Paths.h"

#include "app/Settings.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QString>

#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace vtpaths {

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
    // Qt hands out the runtime folder only when it is this user's and private (it creates
    // it 0700 when XDG_RUNTIME_DIR is unset); otherwise the user's own settings folder.
    QString strDir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (strDir.isEmpty())
        strDir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/') +
                 QString::fromUtf8(vtsettings::kOrganization);
    if (!QDir().mkpath(strDir))
        return {};
    return QFile::encodeName(strDir).toStdString() + "/TORVANE-VT-Server.lock";
}

} // namespace vtpaths
