#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Requests in hand (m_nRequest).
inline constexpr int REQ_NONE = 0;
inline constexpr int REQ_SEARCH = 1;
inline constexpr int REQ_STATUS = 2;
inline constexpr int REQ_OPERATE = 3;

// Reports from the worker to its receiver (numbers kept from the original messages).
inline constexpr int WM_CLIENT_SEARCHED = 1435; ///< (0, error): the search has ended
inline constexpr int WM_CLIENT_PCSTATUS = 1436; ///< (1, 1) answered, (1, 0) silent, (0, error) end
inline constexpr int WM_CLIENT_OPERATED = 1437; ///< (1, 0) one record, (0, error) end
inline constexpr int WM_CLIENT_EXIT = 1438;     ///< (loop result, 0): the loop has ended

/// Receives the worker's reports. OnClientMessage is called on the worker thread:
/// implementations hand the report to their own thread (a queued signal) and return.
class IClientReceiver {
public:
    virtual ~IClientReceiver() = default;
    virtual void OnClientMessage(int nMsg, std::intptr_t wParam, std::intptr_t lParam) = 0;
    /// Called by Stop once the worker thread has ended: drop reports not yet handled.
    virtual void DiscardPending() {}
};

/// Where and how the worker talks; read before every request.
struct ClientConfig {
    std::uint32_t dwLocalIp = 0; ///< "Interface"/"IP Address", host byte order; 0 = any
    std::uint16_t wPort = 9000;  ///< "Interface"/"IP Port"; agents listen at wPort + 1
};

/// Hooks that tests replace; the defaults are the real behaviour.
struct ClientHooks {
    std::function<ClientConfig()> fnConfig;                       ///< default: the settings store
    std::uint32_t dwSearchDestination = 0xFFFFFFFFu;              ///< host order
    int nQuietMs = 3000;                                          ///< receive time-out
    std::function<std::vector<std::uint32_t>()> fnLocalAddresses; ///< network order; default: host lookup
    std::function<void()> fnOnThreadStart; ///< runs on the worker thread before its loop
};

/// @brief The communication worker: one real thread that carries out one request at a
/// time (search, status poll, operation) with a freshly bound UDP socket and reports
/// each result record, then the completion, to its receiver.
///
/// A request made while busy is refused, never queued. Stop wakes every wait at once.
class CKwvtClient final {
public:
    /// Starts the worker thread; null when it cannot be started.
    static CKwvtClient* Start(IClientReceiver* pReceiver, ClientHooks hooks = {});
    /// Stops the thread (waits at most 5000 ms), discards pending reports, destroys the
    /// worker. The worker is never destroyed while its thread still runs.
    void Stop();

    bool RequestSearch();
    bool RequestStatus(const std::vector<std::uint32_t>& addresses);
    bool RequestOperate(const std::vector<std::uint32_t>& addresses, const std::vector<std::uint32_t>& codes);
    /// Oldest result record, removed; empty when there is none.
    std::string PopResult();

    /// Wake-on-LAN: one magic packet per PC to its broadcast address (host order) at
    /// "IP Port". Runs in the calling thread; failures are ignored.
    static bool WakeUp(const std::vector<std::uint8_t>& macs, const std::vector<std::uint32_t>& broadcasts);

    /// What the system granted for the receive buffer of the last request's socket.
    int ReceiveBufferSize() const;

    std::atomic<bool> m_bBusy{true};
    std::atomic<int> m_nRequest{REQ_NONE};

    CKwvtClient(const CKwvtClient&) = delete;
    CKwvtClient& operator=(const CKwvtClient&) = delete;

private:
    CKwvtClient(IClientReceiver* pReceiver, ClientHooks hooks);
    ~CKwvtClient();
    struct Impl;
    std::unique_ptr<Impl> m_pImpl;
};
