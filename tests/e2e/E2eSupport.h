#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

class CDoc;

namespace e2e {

std::uint32_t Ip(const char* pszDotted);
// The data file's bytes for this roster.
QByteArray Bytes(CDoc& doc);
// Polls `fnDone` every 50 ms until it holds, at most ms / 50 times.
bool WaitUntil(const std::function<bool()>& fnDone, int ms);
QByteArray ReadFile(const QString& strPath);
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
    std::uint16_t Port() const { return m_wPort; }

    QString DataFile() const { return Path(QStringLiteral("vtserver.DAT")); }
    void WriteDataFile(const QByteArray& bytes) const;
    // The PCs of the data file as the program reads them: "name address status MAC; …".
    QString Pcs() const;
    // Settings/Type, Interface/IP Address (host order) and Interface/IP Port; strMoreSettings
    // holds further "Key=Value\n" lines of [Settings].
    void WriteSettings(int nType, std::uint32_t dwBindIp, const QString& strMoreSettings = {}) const;

    QProcessEnvironment ServerEnvironment() const;
    // `command` is the program and its arguments; output goes to <strName>.out and .err.
    QProcess* Start(const QStringList& command, const QProcessEnvironment& env, const QString& strName);
    QProcess* StartServer(const QString& strName = QStringLiteral("server"));
    // Starts vtagent with the port, log and ready file added to `strArgs`; waits until it is ready.
    QProcess* StartAgents(const QString& strArgs);
    // Lines of one "type" (status, operate), or with `strType` true ("wol").
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
