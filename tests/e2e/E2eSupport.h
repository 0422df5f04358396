#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace e2e {

// The data file, written here byte by byte, independent of the program's own classes.
struct Reserve {
    std::int32_t nSet = 0;
    std::int32_t nMode = 2;
    std::uint32_t dwDays = 0;
    std::uint32_t dwWeekDays = 0;
    std::int32_t nTime = -1;
    std::uint16_t wType = 0;
    std::uint16_t wForce = 0;
};

struct Pc {
    std::int32_t nId = -1;
    std::string strName;
    std::uint32_t dwIp = 0xFFFFFFFFu; // host order
    std::int32_t nStatus = 1;
    std::array<std::uint8_t, 6> mac{};
    std::uint32_t dwBroadcast = 0xFFFFFFFFu;
    Reserve off{};
    Reserve on{};
};

struct Group {
    std::string strName;
    std::vector<std::uint32_t> members; // ids in version 1, IPv4 addresses in version 0
    Reserve off{};
    Reserve on{};
};

struct Roster {
    std::vector<Pc> pcs;
    std::vector<Group> groups;
};

// Version 0 has no ids, MACs, broadcast addresses or wake-up reservations, and no m_bSet.
QByteArray RosterFile(const Roster& roster, bool bVersion0 = false);

std::uint32_t Ip(const char* pszDotted);
QString IpText(std::uint32_t dwIp);

// Polls `fnDone` every 50 ms until it holds or `ms` have passed.
bool WaitUntil(const std::function<bool()>& fnDone, int ms);
QByteArray ReadFile(const QString& strPath);
void WriteFile(const QString& strPath, const QByteArray& bytes);
// A logged datagram without its time, id and sender, as compact JSON with sorted keys.
QString Summary(QJsonObject line);

/// @brief One case's private world: a temporary folder holding a copy of vtserver (so its
/// data file is private), its settings, its lock file, the processes it started, and a
/// server port P with the agent port P+1 both free.
class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    bool IsValid() const { return m_dir.isValid() && m_wPort != 0; }
    QString Path(const QString& strName) const { return m_dir.filePath(strName); }
    QString LockFile() const { return Path(QStringLiteral("vtserver.lock")); }
    std::uint16_t Port() const { return m_wPort; }

    QString DataFile() const { return Path(QStringLiteral("vtserver.DAT")); }
    QByteArray DataBytes() const { return ReadFile(DataFile()); }
    // Settings/Type, Interface/IP Address (host order) and Interface/IP Port; strMoreSettings
    // holds further "Key=Value\n" lines of [Settings].
    void WriteSettings(int nType, std::uint32_t dwBindIp, const QString& strMoreSettings = {}) const;

    QProcessEnvironment ServerEnvironment() const;
    // `command` is the program and its arguments; output goes to <strName>.out and .err.
    QProcess* Start(const QStringList& command, const QProcessEnvironment& env, const QString& strName);
    QProcess* StartServer(const QString& strName = QStringLiteral("server"));
    // Starts vtagent with the port, log and ready file added to `args`; waits until it is ready.
    QProcess* StartAgents(const QString& strArgs, const QString& strWrapper = {});
    // Lines of one "type" (status, search, operate), or with `strType` true ("wol").
    std::vector<QJsonObject> AgentLog(const QString& strType) const;

private:
    QTemporaryDir m_dir;
    std::uint16_t m_wPort = 0;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

} // namespace e2e

// Readable failure messages for QString comparisons.
inline void PrintTo(const QString& str, std::ostream* pOut)
{
    *pOut << str.toStdString();
}
