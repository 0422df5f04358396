#pragma once

#include "CKwList.h"
#include "ViewSupport.h"
#include "app/Settings.h"
#include "app/StringTable.h"
#include "model/CDoc.h"
#include "net/AddressLookup.h"
#include "net/CKwvtClient.h"
#include "schedule/CReserve.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>
#include <QtEndian>

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

// Settings go to a temporary folder before anything reads them; texts in English.
#define VT_VIEWS_TEST_MAIN(TestClass)                                                                        \
    int main(int argc, char** argv)                                                                          \
    {                                                                                                        \
        QTemporaryDir settingsDir;                                                                           \
        qputenv("XDG_CONFIG_HOME", settingsDir.path().toUtf8());                                             \
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());               \
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());                  \
        QApplication app(argc, argv);                                                                        \
        vtstr::SetLanguage(vtstr::Language::English);                                                        \
        TestClass tc;                                                                                        \
        return QTest::qExec(&tc, argc, argv);                                                                \
    }

namespace vttest {

inline std::uint32_t Ip(const char* psz)
{
    return *vtlookup::ParseIp(psz);
}

/// A simulated agent on a loopback address other than 127.0.0.1: answers status and
/// search requests with its name and operations with its result code, and records
/// every request it received.
class Agent {
public:
    struct Request {
        std::uint16_t wCommand;
        std::uint16_t wForce;
        std::uint32_t dwParam;
    };

    Agent(const char* pszAddress, quint16 wPort, std::string strName)
        : m_strName(std::move(strName)), m_address(QString::fromLatin1(pszAddress))
    {
        m_bBound = m_socket.bind(m_address, wPort, QAbstractSocket::DontShareAddress);
        QObject::connect(&m_socket, &QUdpSocket::readyRead, &m_socket, [this] { OnReadyRead(); });
    }

    bool IsBound() const { return m_bBound; }
    std::uint32_t HostIp() const { return m_address.toIPv4Address(); }
    int Count(std::uint16_t wCommand) const
    {
        int n = 0;
        for (const Request& r : m_requests)
            n += r.wCommand == wCommand ? 1 : 0;
        return n;
    }

    std::vector<Request> m_requests;
    std::string m_strName;
    std::uint32_t m_dwResult = 0;
    bool m_bAnswer = true;

private:
    static void PutU16(QByteArray& b, int off, std::uint16_t v)
    {
        b[off] = static_cast<char>(v & 0xFF);
        b[off + 1] = static_cast<char>(v >> 8);
    }
    static void PutU32(QByteArray& b, int off, std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            b[off + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    static std::uint32_t GetU32(const QByteArray& b, int off)
    {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | static_cast<std::uint8_t>(b[off + i]);
        return v;
    }
    static void Checksum(QByteArray& b)
    {
        std::uint32_t sum = 0;
        for (int i = 0; i < b.size(); ++i)
            if (i < 16 || i > 19)
                sum += static_cast<std::uint8_t>(b[i]);
        PutU32(b, 16, sum);
    }

    void OnReadyRead()
    {
        for (int n = 0; n < 64 && m_socket.hasPendingDatagrams(); ++n) {
            const QNetworkDatagram dgram = m_socket.receiveDatagram();
            const QByteArray in = dgram.data();
            if (in.size() < 28 || !in.startsWith("KWVTV10C"))
                continue;
            const std::uint16_t wCommand = static_cast<std::uint16_t>(
                static_cast<std::uint8_t>(in[12]) | (static_cast<std::uint8_t>(in[13]) << 8));
            const std::uint16_t wForce = static_cast<std::uint16_t>(static_cast<std::uint8_t>(in[14]) |
                                                                    (static_cast<std::uint8_t>(in[15]) << 8));
            const std::uint32_t dwParam = GetU32(in, 20);
            m_requests.push_back({wCommand, wForce, dwParam});
            if (!m_bAnswer)
                continue;
            if (dwParam == 0) { // a search lists those who answered already
                bool bListed = false;
                for (int off = 24; off + 4 <= in.size(); off += 4) {
                    const std::uint32_t dwNet = GetU32(in, off);
                    if (dwNet == 0)
                        break;
                    bListed |= qFromBigEndian(dwNet) == HostIp();
                }
                if (bListed)
                    continue;
            }
            QByteArray out(24, '\0');
            std::memcpy(out.data(), "KWVTV10R", 8);
            std::memcpy(out.data() + 8, in.constData() + 8, 8); // id, command, force
            if (wCommand == 0) {
                out.resize(20);
                out.append(m_strName.c_str(), static_cast<qsizetype>(m_strName.size()));
                out.append('\0');
                if (out.size() < 24)
                    out.append(QByteArray(24 - out.size(), '\0'));
            } else {
                PutU32(out, 20, m_dwResult);
            }
            Checksum(out);
            m_socket.writeDatagram(out, dgram.senderAddress(), static_cast<quint16>(dgram.senderPort()));
        }
    }

    QHostAddress m_address;
    QUdpSocket m_socket;
    bool m_bBound = false;
};

/// A free server port whose agent port (+1) is free on the given loopback addresses.
inline quint16 PickPort(const std::vector<const char*>& agents)
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        const auto wPort = static_cast<quint16>(20000 + QRandomGenerator::global()->bounded(40000));
        QUdpSocket server;
        if (!server.bind(QHostAddress::AnyIPv4, wPort, QAbstractSocket::DontShareAddress))
            continue;
        bool bFree = true;
        for (const char* pszAgent : agents) {
            QUdpSocket probe;
            bFree &= probe.bind(QHostAddress(QString::fromLatin1(pszAgent)), static_cast<quint16>(wPort + 1),
                                QAbstractSocket::DontShareAddress);
        }
        if (bFree)
            return wPort;
    }
    return 0;
}

/// Records the views' message boxes instead of showing them.
struct MessageLog {
    struct Entry {
        QString strText;
        QMessageBox::Icon icon;
    };
    std::vector<Entry> entries;
    QMessageBox::StandardButton answer = QMessageBox::Yes;

    MessageLog()
    {
        vtview::SetMessageBoxForTesting(
            [this](QWidget*, const QString& strText, QMessageBox::Icon icon, QMessageBox::StandardButtons) {
                entries.push_back({strText, icon});
                return answer;
            });
    }
    ~MessageLog() { vtview::SetMessageBoxForTesting({}); }
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;
    QString Last() const { return entries.empty() ? QString() : entries.back().strText; }
};

/// The neighbour table as the tests want it.
struct FakeArp {
    std::map<std::uint32_t, MacAddress> table;
    FakeArp()
    {
        vtlookup::Functions fns;
        fns.fnArp = [this](std::uint32_t dwIp) -> std::optional<std::array<std::uint8_t, 6>> {
            const auto it = table.find(dwIp);
            if (it == table.end())
                return std::nullopt;
            return it->second;
        };
        vtlookup::SetLookupForTesting(fns);
    }
    ~FakeArp() { vtlookup::SetLookupForTesting({}); }
    FakeArp(const FakeArp&) = delete;
    FakeArp& operator=(const FakeArp&) = delete;
};

/// Worker hooks that keep every exchange on loopback and short.
inline ClientHooks LoopbackHooks(quint16 wPort, std::uint32_t dwSearchDestination)
{
    ClientHooks hooks;
    hooks.fnConfig = [wPort] { return ClientConfig{0, wPort}; };
    hooks.dwSearchDestination = dwSearchDestination;
    hooks.nQuietMs = 300;
    hooks.fnLocalAddresses = [] { return std::vector<std::uint32_t>{}; };
    return hooks;
}

inline bool WaitIdle(const CDoc& doc, int nMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < nMs) {
        if (doc.m_pClient && !doc.m_pClient->m_bBusy)
            return true;
        QTest::qWait(10);
    }
    return false;
}

inline CKw* AddPc(CDoc& doc, const char* pszName, const char* pszIp, MacAddress mac = {},
                  std::uint32_t dwBroadcast = 0xFFFFFFFFu)
{
    return doc.AddPc(pszName, pszIp ? Ip(pszIp) : 0, mac.data(), dwBroadcast);
}

/// Runs `fn` on the next modal dialog once it is open (bounded wait).
template <typename Dialog> void OnNextModal(std::function<void(Dialog*)> fn)
{
    auto* pTimer = new QTimer;
    auto nTries = std::make_shared<int>(0);
    pTimer->setInterval(20);
    QObject::connect(pTimer, &QTimer::timeout, pTimer, [pTimer, fn, nTries] {
        if (auto* pDlg = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
            pTimer->stop();
            pTimer->deleteLater();
            fn(pDlg);
        } else if (++*nTries > 250) {
            pTimer->stop();
            pTimer->deleteLater();
        }
    });
    pTimer->start();
}

} // namespace vttest
