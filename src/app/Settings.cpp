#include "app/Settings.h"

#include <QSettings>
#include <QString>
#include <QVariant>

#include <climits>
#include <sstream>

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

// The INI backend hands integers back as text; anything that is not a number counts as
// missing.
bool ReadNumber(const char* section, const char* key, long long& out)
{
    const QVariant v = Store().value(KeyOf(section, key));
    if (!v.isValid())
        return false;
    bool ok = false;
    out = v.toString().trimmed().toLongLong(&ok);
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
    Store().setValue(KeyOf(section, key), nValue);
}

std::string ReadString(const char* section, const char* key, const std::string& strDefault)
{
    const QVariant v = Store().value(KeyOf(section, key));
    if (!v.isValid())
        return strDefault;
    return v.toString().toStdString();
}

void WriteString(const char* section, const char* key, const std::string& strValue)
{
    Store().setValue(KeyOf(section, key), QString::fromStdString(strValue));
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
