#include "E2eSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>
#include <thread>

namespace e2e {

namespace {

class Writer {
public:
    void U8(std::uint8_t b) { m_bytes.append(static_cast<char>(b)); }
    void U16(std::uint16_t w)
    {
        U8(static_cast<std::uint8_t>(w & 0xFF));
        U8(static_cast<std::uint8_t>(w >> 8));
    }
    void U32(std::uint32_t dw)
    {
        U16(static_cast<std::uint16_t>(dw & 0xFFFF));
        U16(static_cast<std::uint16_t>(dw >> 16));
    }
    void I32(std::int32_t n) { U32(static_cast<std::uint32_t>(n)); }
    void Str(const std::string& str)
    {
        // Names in these tests stay below 255 bytes: the one-byte length form.
        U8(static_cast<std::uint8_t>(str.size()));
        m_bytes.append(str.data(), static_cast<qsizetype>(str.size()));
    }
    void ClassRecord(const char* pszName)
    {
        U16(0xFFFF);
        U16(1);
        const std::string strName(pszName);
        U16(static_cast<std::uint16_t>(strName.size()));
        m_bytes.append(strName.data(), static_cast<qsizetype>(strName.size()));
    }
    void Reservation(const Reserve& r, bool bVersion0)
    {
        if (!bVersion0)
            I32(r.nSet);
        I32(r.nMode);
        U32(r.dwDays);
        U32(r.dwWeekDays);
        I32(r.nTime);
        U16(r.wType);
        U16(r.wForce);
    }
    const QByteArray& Bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

class Reader {
public:
    explicit Reader(const QByteArray& bytes) : m_bytes(bytes) {}
    bool Ok() const { return m_bOk; }
    std::uint8_t U8()
    {
        if (m_nPos >= m_bytes.size()) {
            m_bOk = false;
            return 0;
        }
        return static_cast<std::uint8_t>(m_bytes[m_nPos++]);
    }
    std::uint16_t U16()
    {
        const std::uint16_t lo = U8();
        return static_cast<std::uint16_t>(lo | (U8() << 8));
    }
    std::uint32_t U32()
    {
        const std::uint32_t lo = U16();
        return lo | (static_cast<std::uint32_t>(U16()) << 16);
    }
    std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
    std::string Str()
    {
        std::uint32_t n = U8();
        if (n == 0xFF) {
            n = U16();
            if (n == 0xFFFF)
                n = U32();
        }
        std::string str;
        for (std::uint32_t i = 0; i < n && m_bOk; ++i)
            str.push_back(static_cast<char>(U8()));
        return str;
    }
    // The tag of an object record; a new class's record must name `pszClass`.
    void Tag(const char* pszClass)
    {
        if (U16() != 0xFFFF)
            return;
        if (U16() != 1)
            m_bOk = false;
        const std::uint16_t wLen = U16();
        std::string strName;
        for (std::uint16_t i = 0; i < wLen && m_bOk; ++i)
            strName.push_back(static_cast<char>(U8()));
        if (strName != pszClass)
            m_bOk = false;
    }
    Reserve Reservation()
    {
        Reserve r;
        r.nSet = I32();
        r.nMode = I32();
        r.dwDays = U32();
        r.dwWeekDays = U32();
        r.nTime = I32();
        r.wType = U16();
        r.wForce = U16();
        return r;
    }
    bool AtEnd() const { return m_nPos == m_bytes.size(); }

private:
    const QByteArray& m_bytes;
    qsizetype m_nPos = 0;
    bool m_bOk = true;
};

void WriteObjects(Writer& w, const Roster& roster, bool bVersion0)
{
    w.U32(static_cast<std::uint32_t>(roster.pcs.size()));
    for (std::size_t i = 0; i < roster.pcs.size(); ++i) {
        const Pc& pc = roster.pcs[i];
        if (i == 0)
            w.ClassRecord("CKw");
        else
            w.U16(0x8001);
        if (!bVersion0)
            w.I32(pc.nId);
        w.Str(pc.strName);
        w.U32(pc.dwIp);
        w.I32(pc.nStatus);
        if (!bVersion0) {
            for (std::uint8_t b : pc.mac)
                w.U8(b);
            w.U32(pc.dwBroadcast);
        }
        w.Reservation(pc.off, bVersion0);
        if (!bVersion0)
            w.Reservation(pc.on, false);
    }
    w.U32(static_cast<std::uint32_t>(roster.groups.size()));
    const auto wGroupClass = static_cast<std::uint16_t>(roster.pcs.empty() ? 1 : roster.pcs.size() + 2);
    for (std::size_t i = 0; i < roster.groups.size(); ++i) {
        const Group& group = roster.groups[i];
        if (i == 0)
            w.ClassRecord("CGroup");
        else
            w.U16(static_cast<std::uint16_t>(0x8000 | wGroupClass));
        w.Str(group.strName);
        w.U32(static_cast<std::uint32_t>(group.members.size()));
        for (std::uint32_t dw : group.members)
            w.U32(dw);
        w.Reservation(group.off, bVersion0);
        if (!bVersion0)
            w.Reservation(group.on, false);
    }
}

} // namespace

QByteArray RosterFileV1(const Roster& roster)
{
    Writer w;
    w.I32(-1);
    w.U32(1);
    WriteObjects(w, roster, false);
    return w.Bytes();
}

QByteArray RosterFileV0(const Roster& roster)
{
    Writer w;
    WriteObjects(w, roster, true);
    return w.Bytes();
}

std::optional<Roster> ParseRosterV1(const QByteArray& bytes)
{
    Reader r(bytes);
    if (r.I32() != -1 || r.U32() != 1)
        return std::nullopt;
    Roster roster;
    const std::uint32_t nPcs = r.U32();
    for (std::uint32_t i = 0; i < nPcs && i < 1000 && r.Ok(); ++i) {
        r.Tag("CKw");
        Pc pc;
        pc.nId = r.I32();
        pc.strName = r.Str();
        pc.dwIp = r.U32();
        pc.nStatus = r.I32();
        for (auto& b : pc.mac)
            b = r.U8();
        pc.dwBroadcast = r.U32();
        pc.off = r.Reservation();
        pc.on = r.Reservation();
        roster.pcs.push_back(pc);
    }
    const std::uint32_t nGroups = r.U32();
    for (std::uint32_t i = 0; i < nGroups && i < 1000 && r.Ok(); ++i) {
        r.Tag("CGroup");
        Group group;
        group.strName = r.Str();
        const std::uint32_t nMembers = r.U32();
        for (std::uint32_t k = 0; k < nMembers && k < 1000 && r.Ok(); ++k)
            group.members.push_back(r.U32());
        group.off = r.Reservation();
        group.on = r.Reservation();
        roster.groups.push_back(group);
    }
    if (!r.Ok() || !r.AtEnd())
        return std::nullopt;
    return roster;
}

std::uint32_t Ip(const char* pszDotted)
{
    in_addr addr{};
    inet_pton(AF_INET, pszDotted, &addr);
    return ntohl(addr.s_addr);
}

QString IpText(std::uint32_t dwIp)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(dwIp >> 24)
        .arg((dwIp >> 16) & 0xFF)
        .arg((dwIp >> 8) & 0xFF)
        .arg(dwIp & 0xFF);
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

std::uint16_t FreePortPair()
{
    auto bindable = [](std::uint16_t wPort) {
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        if (fd < 0)
            return false;
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(wPort);
        sa.sin_addr.s_addr = htonl(INADDR_ANY);
        const bool bOk = ::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
        ::close(fd);
        return bOk;
    };
    std::mt19937 rng(std::random_device{}() ^ static_cast<unsigned>(::getpid()));
    std::uniform_int_distribution<int> pick(20000, 59998);
    for (int nTry = 0; nTry < 200; ++nTry) {
        const auto wPort = static_cast<std::uint16_t>(pick(rng));
        if (bindable(wPort) && bindable(static_cast<std::uint16_t>(wPort + 1)))
            return wPort;
    }
    return 0;
}

QString ReadAll(const QString& strPath)
{
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

Sandbox::Sandbox(std::uint16_t wPort)
    : m_dir(QDir::tempPath() + QStringLiteral("/vt-e2e-XXXXXX")), m_wPort(wPort)
{
    if (!m_dir.isValid())
        return;
    const QString strExe = Path(QStringLiteral("vtserver"));
    if (!QFile::copy(QStringLiteral(VTSERVER_EXE), strExe))
        m_dir.remove();
    QDir().mkpath(Path(QStringLiteral("config/TORVANE")));
}

Sandbox::~Sandbox()
{
    for (auto it = m_processes.rbegin(); it != m_processes.rend(); ++it)
        Stop(it->get());
}

void Sandbox::Stop(QProcess* pProcess)
{
    if (!pProcess || pProcess->state() == QProcess::NotRunning)
        return;
    pProcess->terminate();
    if (!pProcess->waitForFinished(3000)) {
        pProcess->kill();
        pProcess->waitForFinished(3000);
    }
}

void Sandbox::WriteDataFile(const QByteArray& bytes) const
{
    QFile file(DataFile());
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

QByteArray Sandbox::DataBytes() const
{
    QFile file(DataFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Sandbox::WriteSettings(int nType, std::uint32_t dwBindIp) const
{
    QFile file(Path(QStringLiteral("config/TORVANE/VT Server.conf")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write(
        QStringLiteral("[Settings]\nType=%1\nInterval=60\n\n[Interface]\nIP%20Address=%2\nIP%20Port=%3\n")
            .arg(nType)
            .arg(dwBindIp)
            .arg(m_wPort)
            .toUtf8());
}

QProcessEnvironment Sandbox::ServerEnvironment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), Path(QStringLiteral("config")));
    env.insert(QStringLiteral("VT_LOCK_FILE"), LockFile());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), Path(QString()));
    env.insert(QStringLiteral("LANG"), QStringLiteral("C"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    env.remove(QStringLiteral("LANGUAGE"));
    env.remove(QStringLiteral("VT_STARTUP_PROBE"));
    return env;
}

QProcess* Sandbox::StartProcess(const QString& strProgram, const QStringList& args,
                                const QProcessEnvironment& env, const QString& strStdout,
                                const QString& strStderr)
{
    auto pProcess = std::make_unique<QProcess>();
    pProcess->setProcessEnvironment(env);
    pProcess->setWorkingDirectory(m_dir.path());
    if (!strStdout.isEmpty())
        pProcess->setStandardOutputFile(Path(strStdout));
    pProcess->setStandardErrorFile(Path(strStderr));
    pProcess->start(strProgram, args);
    pProcess->waitForStarted(5000);
    m_processes.push_back(std::move(pProcess));
    return m_processes.back().get();
}

QProcess* Sandbox::StartServer(const QString& strStderrName)
{
    return StartProcess(Path(QStringLiteral("vtserver")), {}, ServerEnvironment(),
                        QStringLiteral("server.out"), strStderrName);
}

QProcess* Sandbox::StartAgents(const QStringList& args, const QStringList& wrapper)
{
    const QString strReady = Path(QStringLiteral("agents.ready"));
    QStringList all = wrapper;
    all << QStringLiteral(VTAGENT_EXE) << args << QStringLiteral("--server-port") << QString::number(m_wPort)
        << QStringLiteral("--log") << Path(QStringLiteral("agents.jsonl")) << QStringLiteral("--ready-file")
        << strReady << QStringLiteral("--duration") << QStringLiteral("170");
    const QString strProgram = all.takeFirst();
    QProcess* pAgents = StartProcess(strProgram, all, QProcessEnvironment::systemEnvironment(),
                                     QStringLiteral("agents.out"), QStringLiteral("agents.err"));
    WaitUntil([&] { return QFileInfo::exists(strReady) || pAgents->state() == QProcess::NotRunning; }, 5000);
    return pAgents;
}

std::vector<QJsonObject> Sandbox::AgentLog() const
{
    std::vector<QJsonObject> lines;
    const QStringList texts = ReadAll(Path(QStringLiteral("agents.jsonl"))).split(QLatin1Char('\n'));
    for (const QString& strLine : texts) {
        const QJsonDocument doc = QJsonDocument::fromJson(strLine.toUtf8());
        if (doc.isObject() && !doc.object().contains(QStringLiteral("agents")))
            lines.push_back(doc.object());
    }
    return lines;
}

} // namespace e2e
