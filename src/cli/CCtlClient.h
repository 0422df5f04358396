#pragma once

#include "net/CKwvtClient.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

/// @brief One request to the agents, carried out by a worker of its own, waited for to
/// the end: the command line reaches the agents through the same worker and exchanges as
/// the window's menu commands.
///
/// A bind that fails because the port is in use (the program's own poll holds it for a
/// few seconds) is tried again a bounded number of times; nothing was sent then.
class CCtlClient final : public IClientReceiver {
public:
    struct Record {
        std::uint32_t dwIp = 0; ///< host order
        bool bAnswered = false; ///< status: the PC answered (else: silent)
        std::string strText;    ///< reported name, or the operation's result code
    };
    struct Outcome {
        int nError = 0; ///< the exchange's error code; -1 when the worker could not run it
        std::vector<Record> records;
    };

    explicit CCtlClient(ClientHooks hooks = {}, int nBusyRetries = 10, int nRetryPauseMs = 1000);
    ~CCtlClient() override;
    CCtlClient(const CCtlClient&) = delete;
    CCtlClient& operator=(const CCtlClient&) = delete;

    /// Status poll; addresses in network byte order.
    Outcome Status(const std::vector<std::uint32_t>& addresses);
    /// Operation: one operation word per address (network byte order).
    Outcome Operate(const std::vector<std::uint32_t>& addresses, const std::vector<std::uint32_t>& codes);

    void OnClientMessage(int nMsg, std::intptr_t wParam, std::intptr_t lParam) override;

private:
    Outcome Run(int nCompletion, const std::vector<std::uint32_t>& addresses,
                const std::vector<std::uint32_t>* pCodes);

    ClientHooks m_hooks;
    int m_nBusyRetries;
    int m_nRetryPauseMs;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::intptr_t> m_recordFlags; ///< lParam of each record report, in order
    bool m_bEnded = false;
    int m_nError = 0;
    int m_nCompletion = 0;
};
