#pragma once

#include "AgentLab.h"
#include "net/CKwvtClient.h"
#include "net/Datagram.h"
#include "tests/ServerSocket.h"

#include <QSettings>
#include <QTemporaryDir>

#include <atomic>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

namespace vttest {

using std::chrono::milliseconds;
using vtagenttest::ServerSocket;
using Bytes = std::vector<std::uint8_t>;
using Msg = std::tuple<int, std::intptr_t, std::intptr_t>;

/// Addresses in network order, as the worker takes them.
inline std::uint32_t Ip(const char* text)
{
    return ::inet_addr(text);
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

/// A port p below the system's own range such that p and p + 1 are both free for UDP right now.
inline std::uint16_t FreePortPair()
{
    std::mt19937 random(std::random_device{}());
    for (int i = 0; i < 100; ++i) {
        const auto wPort = static_cast<std::uint16_t>(20000 + random() % 12000);
        if (ServerSocket(INADDR_ANY, wPort).Port() && ServerSocket(INADDR_ANY, wPort + 1).Port())
            return wPort;
    }
    return 0;
}

/// One worker per test on a port pair of its own, reporting to the fixture; searches go to
/// 127.0.0.10, never to a real network, and settings to a temporary folder.
class ClientFixture : public ::testing::Test, public IClientReceiver {
protected:
    void SetUp() override
    {
        static const QTemporaryDir dir;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
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
        // Whoever acts on an exchange's end must find the worker free for the next request.
        if (wParam == 0 && nMsg != WM_CLIENT_EXIT && m_pClient && m_pClient->m_bBusy)
            m_bBusyAtEnd = true;
    }
    void DiscardPending() override { m_bDiscarded = true; }
    std::vector<Msg> Messages()
    {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }
    /// Waits for the next end of an exchange and for the worker to be idle: the end's error
    /// code when it is nMsg's, else -999.
    std::intptr_t Completion(int nMsg)
    {
        std::optional<Msg> end;
        Eventually([&] {
            std::size_t nEnds = 0;
            for (const Msg& m : Messages())
                end = std::get<1>(m) == 0 && std::get<0>(m) != WM_CLIENT_EXIT && nEnds++ == m_nEnds ? m : end;
            return end && !m_pClient->m_bBusy;
        });
        ++m_nEnds;
        EXPECT_FALSE(m_bBusyAtEnd) << "busy when it reported the end";
        return end && std::get<0>(*end) == nMsg ? std::get<2>(*end) : -999;
    }

    ClientHooks Hooks(int nQuietMs = 200) const
    {
        ClientHooks hooks;
        hooks.fnConfig = [wPort = m_wPort] { return ClientConfig{0, wPort}; };
        hooks.nQuietMs = nQuietMs;
        hooks.dwSearchDestination = 0x7F00000A;
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
        for (std::string s; records.size() < 1000 && !(s = m_pClient->PopResult()).empty();)
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
    std::size_t m_nEnds = 0; ///< ends of exchanges that Completion has taken
    std::atomic<bool> m_bBusyAtEnd{false};
    CKwvtClient* m_pClient = nullptr;
    const std::uint16_t m_wPort = FreePortPair();
};

} // namespace vttest
