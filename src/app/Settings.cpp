#include "app/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <climits>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vtsettings {
namespace {

QString KeyOf(const char* section, const char* key)
{
    return QString::fromUtf8(section) + QLatin1Char('/') + QString::fromUtf8(key);
}

QSettings Store()
{
    return QSettings(QString::fromUtf8(kOrganization), QString::fromUtf8(kApplication));
}

// The settings layer replaces the file through a new copy that takes the old file's mode:
// a file that is 0600 before every write stays 0600, and a new one is made 0600 first.
void KeepPrivate(const QString& strFile)
{
    const QFileInfo info(strFile);
    if (!info.isAbsolute())
        return;
    const QString strFolder = info.absolutePath();
    if (!QFileInfo::exists(strFolder) && QDir().mkpath(QFileInfo(strFolder).absolutePath()))
        ::mkdir(QFile::encodeName(strFolder).constData(), 0700);
    const QByteArray path = QFile::encodeName(strFile);
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        return;
    }
    struct stat st {};
    if (::stat(path.constData(), &st) == 0 && (st.st_mode & 077) != 0)
        ::chmod(path.constData(), st.st_mode & 0700);
}

void Write(const char* section, const char* key, const QVariant& value)
{
    QSettings store = Store();
    KeepPrivate(store.fileName());
    store.setValue(KeyOf(section, key), value);
    store.sync();
    KeepPrivate(store.fileName());
}

// An unquoted comma in the file makes the settings layer hand back a list.
QString Text(const QVariant& v)
{
    return v.typeId() == QMetaType::QStringList ? v.toStringList().join(QLatin1Char(',')) : v.toString();
}

// The INI backend hands integers back as text; anything that is not a number counts as
// missing.
bool ReadNumber(const char* section, const char* key, long long& out)
{
    const QVariant v = Store().value(KeyOf(section, key));
    if (!v.isValid())
        return false;
    bool ok = false;
    out = Text(v).trimmed().toLongLong(&ok);
    return ok;
}

int ReadRanged(const char* section, const char* key, int nDefault, int nMin, int nMax)
{
    const int n = ReadInt(section, key, nDefault);
    return n < nMin || n > nMax ? nDefault : n;
}

} // namespace

int ReadInt(const char* section, const char* key, int nDefault)
{
    long long n = 0;
    if (!ReadNumber(section, key, n) || n < INT_MIN || n > INT_MAX)
        return nDefault;
    return static_cast<int>(n);
}

void WriteInt(const char* section, const char* key, int nValue)
{
    Write(section, key, nValue);
}

std::string ReadString(const char* section, const char* key, const std::string& strDefault)
{
    const QVariant v = Store().value(KeyOf(section, key));
    if (!v.isValid())
        return strDefault;
    return Text(v).toStdString();
}

void WriteString(const char* section, const char* key, const std::string& strValue)
{
    Write(section, key, QString::fromStdString(strValue));
}

QByteArray ReadBytes(const char* section, const char* key)
{
    return Store().value(KeyOf(section, key)).toByteArray();
}

void WriteBytes(const char* section, const char* key, const QByteArray& value)
{
    Write(section, key, value);
}

std::string Password()
{
    return ReadString("Settings", "Pass", std::string());
}

int EnablePowOffCmd()
{
    return ReadInt("Settings", "EnablePowOffCmd", 0);
}

int ReportType()
{
    return ReadRanged("Settings", "Type", 2, 0, 2);
}

int Interval()
{
    return ReadRanged("Settings", "Interval", 60, 5, 3600);
}

std::uint32_t InterfaceAddress()
{
    // Stored as a signed int; an address written by hand as an unsigned number is taken too.
    long long n = 0;
    if (!ReadNumber("Interface", "IP Address", n) || n < INT_MIN || n > static_cast<long long>(UINT32_MAX))
        return 0;
    return static_cast<std::uint32_t>(n);
}

int Port()
{
    return ReadRanged("Interface", "IP Port", 9000, 1, 65534);
}

bool ConfirmOperation()
{
    return ReadInt("Settings", "ConfirmOperation", 1) != 0;
}

void WriteConfirmOperation(bool bAsk)
{
    WriteInt("Settings", "ConfirmOperation", bAsk ? 1 : 0);
}

std::vector<int> ColumnWidths(std::size_t nCount)
{
    std::istringstream in(ReadString("Window", "Columns", std::string()));
    std::vector<int> widths;
    long long n = 0;
    while (widths.size() <= nCount && in >> n) {
        if (n < 1 || n > 10000)
            return {};
        widths.push_back(static_cast<int>(n));
    }
    in >> std::ws;
    if (widths.size() != nCount || !in.eof())
        return {};
    return widths;
}

void WriteColumnWidths(const std::vector<int>& widths)
{
    std::string str;
    for (int n : widths)
        str += (str.empty() ? "" : " ") + std::to_string(n);
    WriteString("Window", "Columns", str);
}

} // namespace vtsettings
