#include "E2eSupport.h"

#include "model/CDoc.h"
#include "model/CKw.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QUdpSocket>

#include <chrono>
#include <thread>

namespace e2e {

std::uint32_t Ip(const char* pszDotted)
{
    return QHostAddress(QString::fromLatin1(pszDotted)).toIPv4Address();
}

bool WaitUntil(const std::function<bool()>& fnDone, int ms)
{
    for (int i = 0; i < ms / 50; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(50))) {
        if (fnDone())
            return true;
    }
    return fnDone();
}

QByteArray ReadFile(const QString& strPath)
{
    QFile file(strPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString Summary(QJsonObject line)
{
    for (const char* pszKey : {"t", "id", "from"})
        line.remove(QLatin1String(pszKey));
    return QString::fromUtf8(QJsonDocument(line).toJson(QJsonDocument::Compact));
}

QByteArray Bytes(CDoc& doc)
{
    const std::vector<std::uint8_t> bytes = doc.SaveToBytes();
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
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
        (*it)->terminate();
        if (!(*it)->waitForFinished(3000)) {
            (*it)->kill();
            (*it)->waitForFinished(3000);
        }
    }
}

void Sandbox::WriteDataFile(const QByteArray& bytes) const
{
    QFile file(DataFile());
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

QString Sandbox::Pcs() const
{
    const QByteArray bytes = ReadFile(DataFile());
    CDoc doc; // left empty when the file cannot be read
    doc.LoadFromBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    QStringList pcs;
    for (const auto& pPc : doc.m_pcs)
        pcs << QString::fromStdString(pPc->m_strName + ' ' + pPc->GetIpText() + ' ' +
                                      std::to_string(pPc->m_nStatus) + ' ' + pPc->GetMacText());
    return pcs.join(QStringLiteral("; "));
}

void Sandbox::WriteSettings(int nType, std::uint32_t dwBindIp, const QString& strMoreSettings) const
{
    QFile file(Path(QStringLiteral("config/TORVANE/VT Server.conf")));
    if (file.open(QIODevice::WriteOnly))
        file.write(QString::asprintf(
                       "[Settings]\nType=%d\nInterval=60\n%s\n[Interface]\nIP%%20Address=%u\nIP%%20Port=%u\n",
                       nType, qPrintable(strMoreSettings), dwBindIp, unsigned{m_wPort})
                       .toUtf8());
}

QProcessEnvironment Sandbox::ServerEnvironment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), Path(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), Path(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());
    env.insert(QStringLiteral("VT_LOCK_FILE"), Path(QStringLiteral("vtserver.lock")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
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

QProcess* Sandbox::StartAgents(const QString& strArgs)
{
    const QString strReady = Path(QStringLiteral("agents.ready"));
    QProcess* pAgents = Start(QStringList(QStringLiteral(VTAGENT_EXE))
                                  << strArgs.split(QLatin1Char(' ')) << QStringLiteral("--server-port")
                                  << QString::number(m_wPort) << QStringLiteral("--log")
                                  << Path(QStringLiteral("agents.jsonl")) << QStringLiteral("--ready-file")
                                  << strReady << QStringLiteral("--duration") << QStringLiteral("170"),
                              QProcessEnvironment::systemEnvironment(), QStringLiteral("agents"));
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
