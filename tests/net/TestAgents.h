#pragma once

#include "net/CKwvtClient.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vttest {

/// Address in network byte order from dotted text.
std::uint32_t Ip(const char* text);

/// A port p such that p and p + 1 are both free for UDP right now.
std::uint16_t FreePortPair();

/// Points QSettings at a temporary folder for the whole test binary (idempotent).
void RedirectSettings();

struct Received {
    std::uint32_t dwSource = 0;      ///< network order
    std::uint32_t dwDestination = 0; ///< network order, as addressed by the sender
    std::vector<std::uint8_t> bytes;
};

struct Reply {
    std::uint32_t dwFrom = 0; ///< source address to use (network order); 0 lets the system choose
    std::vector<std::uint8_t> bytes;
};

/// Agent replies built from a request.
std::vector<std::uint8_t> NameReply(const std::vector<std::uint8_t>& request, const std::string& strName);
std::vector<std::uint8_t> CodeReply(const std::vector<std::uint8_t>& request, std::uint32_t dwCode);

/// @brief Simulated agents: one UDP socket on the agent port that sees which address
/// each datagram was sent to and answers from whatever local address the handler names.
/// Its thread ends on destruction or after 30 s at the latest.
class LoopbackAgent final {
public:
    using Handler = std::function<std::vector<Reply>(const Received&)>;
    LoopbackAgent(std::uint16_t wPort, Handler handler, std::uint32_t dwBind = 0);
    ~LoopbackAgent();
    LoopbackAgent(const LoopbackAgent&) = delete;
    LoopbackAgent& operator=(const LoopbackAgent&) = delete;

    std::vector<Received> Log();
    bool WaitForCount(std::size_t nCount, std::chrono::milliseconds timeout);
    bool Ok() const { return m_fd >= 0; }

private:
    void Run();

    int m_fd = -1;
    int m_nStopFd = -1;
    Handler m_handler;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<Received> m_log;
    std::thread m_thread;
};

/// A plain UDP listener that records what arrives at one address and port.
class Listener final {
public:
    Listener(std::uint32_t dwAddress, std::uint16_t wPort);
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
    bool Ok() const { return m_fd >= 0; }
    /// Datagrams that arrive within the timeout, at most nMax.
    std::vector<std::vector<std::uint8_t>> Collect(std::size_t nMax, std::chrono::milliseconds timeout);

private:
    int m_fd = -1;
};

/// Receiver that records every report of the worker.
class Collector final : public IClientReceiver {
public:
    struct Message {
        int nMsg;
        std::intptr_t wParam;
        std::intptr_t lParam;
        bool operator==(const Message&) const = default;
    };
    void OnClientMessage(int nMsg, std::intptr_t wParam, std::intptr_t lParam) override;
    void DiscardPending() override;

    /// Waits for the completion report nMsg (wParam 0); its error code, or -999 on time-out.
    std::intptr_t WaitForCompletion(int nMsg, std::chrono::milliseconds timeout = std::chrono::seconds(10),
                                    int nOccurrence = 1);
    std::vector<Message> Messages();
    bool Discarded();

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<Message> m_messages;
    bool m_bDiscarded = false;
};

/// Waits until the worker's loop is ready for a request.
bool WaitIdle(const CKwvtClient& client, std::chrono::milliseconds timeout = std::chrono::seconds(5));

/// Every record the worker holds, oldest first.
std::vector<std::string> PopAll(CKwvtClient& client);

} // namespace vttest

#include <gtest/gtest.h>

namespace vttest {

/// One worker per test, talking on a port pair of its own.
class ClientFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_wPort = FreePortPair();
        ASSERT_NE(m_wPort, 0);
    }
    void TearDown() override
    {
        if (m_pClient)
            m_pClient->Stop();
    }
    ClientHooks Hooks(int nQuietMs = 200) const
    {
        ClientHooks hooks;
        hooks.fnConfig = [wPort = m_wPort] { return ClientConfig{0, wPort}; };
        hooks.nQuietMs = nQuietMs;
        return hooks;
    }
    CKwvtClient& StartClient(ClientHooks hooks)
    {
        m_pClient = CKwvtClient::Start(&m_collector, std::move(hooks));
        EXPECT_NE(m_pClient, nullptr);
        EXPECT_TRUE(WaitIdle(*m_pClient));
        return *m_pClient;
    }
    std::uint16_t AgentPort() const { return static_cast<std::uint16_t>(m_wPort + 1); }

    Collector m_collector;
    CKwvtClient* m_pClient = nullptr;
    std::uint16_t m_wPort = 0;
};

} // namespace vttest
