#pragma once

#include "AgentLab.h"
#include "net/CKwvtClient.h"
#include "net/Datagram.h"

#include <QSettings>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

namespace vttest {

using std::chrono::milliseconds;
using Bytes = std::vector<std::uint8_t>;
using Msg = std::tuple<int, std::intptr_t, std::intptr_t>;

/// Addresses in network order, as the worker takes them.
inline std::uint32_t Ip(const char* text)
{
    in_addr addr{};
    ::inet_pton(AF_INET, text, &addr);
    return addr.s_addr;
}
inline std::uint32_t Lo(std::uint32_t n)
{
    return htonl(0x7F000000u + n);
}

/// Polls until the condition holds, at most 10 s.
inline bool Eventually(const std::function<bool()>& fnDone)
{
    for (int i = 0; i < 2000 && !fnDone(); ++i)
        std::this_thread::sleep_for(milliseconds(5));
    return fnDone();
}

inline int BoundSocket(std::uint32_t dwAddress, std::uint16_t wPort)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = dwAddress;
    addr.sin_port = htons(wPort);
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

/// A port p in [wFirst, wFirst + wCount - 1) such that p and p + 1 are both free for UDP right now.
inline std::uint16_t FreePortPair(std::uint16_t wFirst = 20000, std::uint16_t wCount = 30000)
{
    std::mt19937 random(std::random_device{}());
    for (int i = 0; i < 100; ++i) {
        const auto wPort = static_cast<std::uint16_t>(wFirst + random() % (wCount - 1u));
        const int a = BoundSocket(0, wPort), b = BoundSocket(0, static_cast<std::uint16_t>(wPort + 1));
        ::close(a);
        ::close(b);
        if (a >= 0 && b >= 0)
            return wPort;
    }
    return 0;
}

struct Datagram {
    std::uint32_t dwTo = 0; ///< address of the socket that got it
    Bytes bytes;
    bool operator==(const Datagram&) const = default;
};
/// What to send back, and from which address (0: from the socket that got the request).
using Reply = std::pair<std::uint32_t, Bytes>;

/// Scripted agents for what the agent lab cannot play: sockets at every `listen` address.
class Peer final {
public:
    using Handler = std::function<std::vector<Reply>(const Datagram&)>;
    Peer(const std::vector<std::uint32_t>& listen, std::uint16_t wPort) : m_listen(listen)
    {
        for (std::uint32_t dw : listen)
            m_fds.push_back({BoundSocket(dw, wPort), POLLIN, 0});
    }
    ~Peer()
    {
        for (const pollfd& p : m_fds)
            ::close(p.fd);
        for (const auto& [dw, fd] : m_replyFds)
            ::close(fd);
    }
    /// Logs what arrives and answers it through the handler until fnDone (if any) holds and
    /// 100 ms passed without a datagram; 10 s at most.
    std::vector<Datagram> Serve(const std::function<bool()>& fnDone = {}, const Handler& handler = {})
    {
        std::vector<Datagram> log;
        Bytes buf(65536);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (bool bQuiet = false;
             !(bQuiet && (!fnDone || fnDone())) && std::chrono::steady_clock::now() < deadline;) {
            bQuiet = ::poll(m_fds.data(), m_fds.size(), 100) == 0;
            for (std::size_t i = 0; i < m_fds.size(); ++i) {
                sockaddr_in from{};
                socklen_t nLen = sizeof(from);
                for (ssize_t n; (n = ::recvfrom(m_fds[i].fd, buf.data(), buf.size(), MSG_DONTWAIT,
                                                reinterpret_cast<sockaddr*>(&from), &nLen)) >= 0;) {
                    log.push_back({m_listen[i], Bytes(buf.begin(), buf.begin() + n)});
                    for (const auto& [dwFrom, bytes] : handler ? handler(log.back()) : std::vector<Reply>{}) {
                        int& fd = dwFrom ? m_replyFds[dwFrom] : m_fds[i].fd;
                        fd = fd ? fd : BoundSocket(dwFrom, 0);
                        ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&from), nLen);
                    }
                }
            }
        }
        return log;
    }

private:
    std::vector<std::uint32_t> m_listen;
    std::vector<pollfd> m_fds;
    std::map<std::uint32_t, int> m_replyFds; ///< sockets replying from other addresses
};

/// One worker per test on a port pair of its own, reporting to the fixture; searches go to
/// 127.0.0.10, never to a real network, and settings to a temporary folder.
class ClientFixture : public ::testing::Test, public IClientReceiver {
protected:
    ClientFixture() = default;
    ClientFixture(std::uint16_t wFirstPort, std::uint16_t wPorts) : m_wPort(FreePortPair(wFirstPort, wPorts))
    {
    }
    void SetUp() override
    {
        static const QTemporaryDir dir;
        ::setenv("XDG_CONFIG_HOME", dir.path().toUtf8().constData(), 1);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
        ASSERT_NE(m_wPort, 0);
    }
    void TearDown() override
    {
        if (m_pClient)
            m_pClient->Stop();
    }
    void OnClientMessage(int nMsg, std::intptr_t wParam, std::intptr_t lParam) override
    {
        std::lock_guard lock(m_mutex);
        m_messages.emplace_back(nMsg, wParam, lParam);
    }
    void DiscardPending() override { m_bDiscarded = true; }
    std::vector<Msg> Messages()
    {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }
    /// Error code of the nth completion report nMsg; -999 when it does not come.
    std::intptr_t Completion(int nMsg, int nOccurrence = 1)
    {
        std::intptr_t nError = -999;
        Eventually([&] {
            int nSeen = 0;
            for (const auto& [n, wParam, lParam] : Messages())
                nError = n == nMsg && wParam == 0 && ++nSeen == nOccurrence ? lParam : nError;
            return nError != -999;
        });
        return nError;
    }

    ClientHooks Hooks(int nQuietMs = 200) const
    {
        ClientHooks hooks;
        hooks.fnConfig = [wPort = m_wPort] { return ClientConfig{0, wPort}; };
        hooks.nQuietMs = nQuietMs;
        hooks.dwSearchDestination = 0x7F00000A;
        hooks.fnLocalAddresses = [] { return std::vector<std::uint32_t>{}; };
        return hooks;
    }
    CKwvtClient& StartClient(ClientHooks hooks, bool bWaitIdle = true)
    {
        m_pClient = CKwvtClient::Start(this, std::move(hooks));
        EXPECT_NE(m_pClient, nullptr);
        EXPECT_TRUE(!bWaitIdle || WaitIdle());
        return *m_pClient;
    }
    bool WaitIdle() const
    {
        return Eventually([this] { return !m_pClient->m_bBusy; });
    }
    /// Every record the worker holds, oldest first.
    std::vector<std::string> PopAll()
    {
        std::vector<std::string> records;
        for (std::string s = m_pClient->PopResult(); !s.empty() && records.size() < 1000;
             s = m_pClient->PopResult())
            records.push_back(s);
        return records;
    }
    std::uint16_t AgentPort() const { return static_cast<std::uint16_t>(m_wPort + 1); }

    /// Agent lab at the agent port; its addresses are in host order.
    vtagent::AgentLab& StartLab(std::vector<vtagent::AgentSpec> agents,
                                std::vector<std::uint32_t> search = {})
    {
        m_pLab = std::make_unique<vtagent::AgentLab>(
            vtagent::LabConfig{std::move(agents), AgentPort(), std::move(search), {}, LabLogPath(), {}, 0});
        std::string strError;
        EXPECT_TRUE(m_pLab->Start(strError)) << strError;
        return *m_pLab;
    }
    std::string LabLogPath() const { return m_dir.filePath(QStringLiteral("lab.log")).toStdString(); }
    /// The raw JSON value of `strKey` in each line of the lab's log.
    std::vector<std::string> LabLog(const std::string& strKey)
    {
        std::vector<std::string> values;
        std::ifstream log(LabLogPath());
        for (std::string strLine; std::getline(log, strLine);) {
            const std::size_t nBegin = strLine.find("\"" + strKey + "\":") + strKey.size() + 3;
            values.push_back(strLine.substr(nBegin, strLine.find_first_of(",}", nBegin) - nBegin));
        }
        return values;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<vtagent::AgentLab> m_pLab;
    std::mutex m_mutex;
    std::vector<Msg> m_messages;
    std::atomic<bool> m_bDiscarded{false};
    CKwvtClient* m_pClient = nullptr;
    const std::uint16_t m_wPort = FreePortPair();
};

} // namespace vttest
