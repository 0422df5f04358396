#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class QByteArray;

/// @brief The stored settings: QSettings("TORVANE", "VT Server") with the sections,
/// keys and defaults below (the registry on Windows, an INI file elsewhere).
///
/// A missing value reads as its default; nothing is written unless a command writes.
/// Values outside the range the Settings dialog accepts read as their default. The file
/// holds the password, so it is this user's alone (mode 0600) from its first write on.
namespace vtsettings {

inline constexpr const char* kOrganization = "TORVANE";
inline constexpr const char* kApplication = "VT Server";

int ReadInt(const char* section, const char* key, int nDefault);
void WriteInt(const char* section, const char* key, int nValue);
/// The stored text as it is, commas included.
std::string ReadString(const char* section, const char* key, const std::string& strDefault);
void WriteString(const char* section, const char* key, const std::string& strValue);
QByteArray ReadBytes(const char* section, const char* key); ///< empty when missing
void WriteBytes(const char* section, const char* key, const QByteArray& value);

// Typed accessors with defaults and range rules.
std::string Password();           ///< Settings/Pass, encoded; "" = none
int EnablePowOffCmd();            ///< Settings/EnablePowOffCmd, default 0
int ReportType();                 ///< Settings/Type 0..2, default 2
int Interval();                   ///< Settings/Interval 5..3600, default 60
std::uint32_t InterfaceAddress(); ///< Interface/IP Address (host order), default 0
int Port();                       ///< Interface/IP Port 1..65534, default 9000

/// Settings/ConfirmOperation, default 1: ask before an operator's reboot or shutdown;
/// 0 = the operator chose not to be asked again.
bool ConfirmOperation();
void WriteConfirmOperation(bool bAsk);

/// Window/Columns: the PC list's column widths in pixels, separated by blanks. Empty
/// when missing, not `nCount` numbers, or a width outside 1..10000.
std::vector<int> ColumnWidths(std::size_t nCount);
void WriteColumnWidths(const std::vector<int>& widths);

} // namespace vtsettings
