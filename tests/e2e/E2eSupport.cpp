#include "E2eSupport.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QUdpSocket>

#include <chrono>
#include <cstring>
#include <thread>

namespace e2e {

QByteArray RosterFile(const Roster& roster, bool bVersion0)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    // Names in these tests stay below 255 bytes: the one-byte length form.
    const auto text = [&](const std::string& str) {
        out << static_cast<quint8>(str.size());
        out.writeRawData(str.data(), static_cast<int>(str.size()));
    };
    const auto reserve = [&](const Reserve& r) {
        if (!bVersion0)
            out << r.nSet;
        out << r.nMode << r.dwDays << r.dwWeekDays << r.nTime << r.wType << r.wForce;
    };
    // The first object of a class brings the class record; later ones refer to its index.
    const auto tag = [&](std::size_t nObject, const char* pszClass, std::size_t nClassIndex) {
        if (nObject > 0) {
            out << static_cast<quint16>(0x8000 | nClassIndex);
            return;
        }
        out << quint16(0xFFFF) << quint16(1) << static_cast<quint16>(std::strlen(pszClass));
        out.writeRawData(pszClass, static_cast<int>(std::strlen(pszClass)));
    };
    if (!bVersion0)
        out << qint32(-1) << quint32(1);
    out << static_cast<quint32>(roster.pcs.size());
    for (std::size_t i = 0; i < roster.pcs.size(); ++i) {
        const Pc& pc = roster.pcs[i];
        tag(i, "CKw", 1);
        if (!bVersion0)
            out << pc.nId;
        text(pc.strName);
        out << pc.dwIp << pc.nStatus;
        if (!bVersion0) {
            out.writeRawData(reinterpret_cast<const char*>(pc.mac.data()), 6);
            out << pc.dwBroadcast;
        }
        reserve(pc.off);
        if (!bVersion0)
            reserve(pc.on);
    }
    out << static_cast<quint32>(roster.groups.size());
    for (std::size_t i = 0; i < roster.groups.size(); ++i) {
        const Group& group = roster.groups[i];
        tag(i, "CGroup", roster.pcs.empty() ? 1 : roster.pcs.size() + 2);
        text(group.strName);
        out << static_cast<quint32>(group.members.size());
        for (std::uint32_t dw : group.members)
            out << dw;
        reserve(group.off);
        if (!bVersion0)
            reserve(group.on);
    }
    return bytes;
}

std::uint32_t Ip(const char* pszDotted)
{
    return QHostAddress(QString::fromLatin1(pszDotted)).toIPv4Address();
}

QString IpText(std::uint32_t dwIp)
{
    return QHostAddress(dwIp).toString();
}

bool WaitUntil(const std::function<bool()>& fnDone, int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!fnDone()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

QByteArray ReadFile(const QString& strPath)
{
    QFile file(strPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteFile(const QString& strPath, const QByteArray& bytes)
{
    QFile file(strPath);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

QString Summary(QJsonObject line)
{
    for (const char* pszKey : {"t", "id", "from"})
        line.remove(QLatin1String(pszKey));
    return QString::fromUtf8(QJsonDocument(line).toJson(QJsonDocument::Compact));
}

Sandbox::Sandbox() : m_dir(QDir::tempPath() + QStringLiteral("/vt-e2e-XXXXXX"))
{
    if (!m_dir.isValid() || !QFile::copy(QStringLiteral(VTSERVER_EXE), Path(QStringLiteral("vtserver"))))
        return;
    QDir().mkpath(Path(QStringLiteral("config/TORVANE")));
    for (int nTry = 0; nTry < 200 && m_wPort == 0; ++nTry) {
        const auto wPort = static_cast<std::uint16_t>(QRandomGenerator::global()->bounded(20000, 59999));
        QUdpSocket server, agent;
        if (server.bind(QHostAddress::AnyIPv4, wPort, QAbstractSocket::DontShareAddress) &&
            agent.bind(QHostAddress::AnyIPv4, wPort + 1, QAbstractSocket::DontShareAddress))
            m_wPort = wPort;
    }
}

Sandbox::~Sandbox()
{
    for (auto it = m_processes.rbegin(); it != m_processes.rend(); ++it) {
        QProcess& process = **it;
        process.terminate();
        if (!process.waitForFinished(3000)) {
            process.kill();
            process.waitForFinished(3000);
        }
    }
}

void Sandbox::WriteSettings(int nType, std::uint32_t dwBindIp, const QString& strMoreSettings) const
{
    WriteFile(
        Path(QStringLiteral("config/TORVANE/VT Server.conf")),
        QStringLiteral("[Settings]\nType=%1\nInterval=60\n%4\n[Interface]\nIP%20Address=%2\nIP%20Port=%3\n")
            .arg(nType)
            .arg(dwBindIp)
            .arg(m_wPort)
            .arg(strMoreSettings)
            .toUtf8());
}

QProcessEnvironment Sandbox::ServerEnvironment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), Path(QStringLiteral("config")));
    env.insert(QStringLiteral("VT_LOCK_FILE"), LockFile());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    env.remove(QStringLiteral("LANGUAGE"));
    env.remove(QStringLiteral("VT_STARTUP_PROBE"));
    return env;
}

QProcess* Sandbox::Start(const QStringList& command, const QProcessEnvironment& env, const QString& strName)
{
    QProcess* pProcess = m_processes.emplace_back(std::make_unique<QProcess>()).get();
    pProcess->setProcessEnvironment(env);
    pProcess->setWorkingDirectory(m_dir.path());
    pProcess->setStandardOutputFile(Path(strName + QStringLiteral(".out")));
    pProcess->setStandardErrorFile(Path(strName + QStringLiteral(".err")));
    pProcess->start(command.first(), command.mid(1));
    pProcess->waitForStarted(5000);
    return pProcess;
}

QProcess* Sandbox::StartServer(const QString& strName)
{
    return Start({Path(QStringLiteral("vtserver"))}, ServerEnvironment(), strName);
}

QProcess* Sandbox::StartAgents(const QString& strArgs, const QString& strWrapper)
{
    const QString strReady = Path(QStringLiteral("agents.ready"));
    const QStringList command =
        strWrapper.split(QLatin1Char(' '), Qt::SkipEmptyParts)
        << QStringLiteral(VTAGENT_EXE) << strArgs.split(QLatin1Char(' '), Qt::SkipEmptyParts)
        << QStringLiteral("--server-port") << QString::number(m_wPort) << QStringLiteral("--log")
        << Path(QStringLiteral("agents.jsonl")) << QStringLiteral("--ready-file") << strReady
        << QStringLiteral("--duration") << QStringLiteral("170");
    QProcess* pAgents = Start(command, QProcessEnvironment::systemEnvironment(), QStringLiteral("agents"));
    WaitUntil([&] { return QFileInfo::exists(strReady) || pAgents->state() == QProcess::NotRunning; }, 5000);
    return pAgents;
}

std::vector<QJsonObject> Sandbox::AgentLog(const QString& strType) const
{
    std::vector<QJsonObject> lines;
    for (const QByteArray& text : ReadFile(Path(QStringLiteral("agents.jsonl"))).split('\n')) {
        const QJsonObject line = QJsonDocument::fromJson(text).object();
        if (line.value(QStringLiteral("type")).toString() == strType || line.value(strType).toBool())
            lines.push_back(line);
    }
    return lines;
}

} // namespace e2e
