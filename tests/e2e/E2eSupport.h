#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

// The data file, written and read here byte by byte, independent of the program's own classes.
struct Reserve {
    std::int32_t nSet = 0;
    std::int32_t nMode = 2;
    std::uint32_t dwDays = 0;
    std::uint32_t dwWeekDays = 0;
    std::int32_t nTime = -1;
    std::uint16_t wType = 0;
    std::uint16_t wForce = 0;

    bool operator==(const Reserve&) const = default;
};

struct Pc {
    std::int32_t nId = -1;
    std::string strName;
    std::uint32_t dwIp = 0xFFFFFFFFu; // host order
    std::int32_t nStatus = 1;
    std::array<std::uint8_t, 6> mac{};
    std::uint32_t dwBroadcast = 0xFFFFFFFFu;
    Reserve off;
    Reserve on;

    bool operator==(const Pc&) const = default;
};

struct Group {
    std::string strName;
    std::vector<std::uint32_t> members; // ids in version 1, IPv4 addresses in version 0
    Reserve off;
    Reserve on;

    bool operator==(const Group&) const = default;
};

struct Roster {
    std::vector<Pc> pcs;
    std::vector<Group> groups;
};

QByteArray RosterFileV1(const Roster& roster);
// Version 0: no ids, MACs, broadcast addresses or wake-up reservations; the reservation lacks m_bSet.
QByteArray RosterFileV0(const Roster& roster);
std::optional<Roster> ParseRosterV1(const QByteArray& bytes);

std::uint32_t Ip(const char* pszDotted);
QString IpText(std::uint32_t dwIp);

// Polls `fnDone` every 50 ms until it holds or `ms` have passed.
bool WaitUntil(const std::function<bool()>& fnDone, int ms);

// Two consecutive UDP ports, P and P+1, free on every local address right now.
std::uint16_t FreePortPair();

QString ReadAll(const QString& strPath);

/// @brief One case's private world: a temporary folder holding a copy of vtserver (so its
/// data file is private), its settings, its lock file, and the processes it started.
class Sandbox {
public:
    explicit Sandbox(std::uint16_t wPort = FreePortPair());
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    bool IsValid() const { return m_dir.isValid(); }
    QString Path(const QString& strName) const { return m_dir.filePath(strName); }
    QString DataFile() const { return Path(QStringLiteral("vtserver.DAT")); }
    QString LockFile() const { return Path(QStringLiteral("vtserver.lock")); }
    std::uint16_t Port() const { return m_wPort; }

    void WriteDataFile(const QByteArray& bytes) const;
    QByteArray DataBytes() const;
    // Settings/Type, Interface/IP Address (host order) and Interface/IP Port.
    void WriteSettings(int nType, std::uint32_t dwBindIp) const;

    QProcessEnvironment ServerEnvironment() const;
    // Starts vtserver (or `strProgram` with `args`, for wrappers like ip netns exec).
    QProcess* StartServer(const QString& strStderrName = QStringLiteral("server.err"));
    QProcess* StartProcess(const QString& strProgram, const QStringList& args, const QProcessEnvironment& env,
                           const QString& strStdout, const QString& strStderr);
    // Starts vtagent with `args` plus the port, log and ready file; waits until it is ready.
    QProcess* StartAgents(const QStringList& args, const QStringList& wrapper = {});
    std::vector<QJsonObject> AgentLog() const;

    static void Stop(QProcess* pProcess);

private:
    QTemporaryDir m_dir;
    std::uint16_t m_wPort;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

} // namespace e2e
