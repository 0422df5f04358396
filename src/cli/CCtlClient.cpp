#include "cli/CCtlClient.h"

#include "net/AddressLookup.h"
#include "net/Datagram.h"
#include "net/WsaError.h"

#include <chrono>
#include <thread>

namespace {
// The worker ends every exchange after its quiet time; this only guards against a stream
// of datagrams that never lets it become quiet.
constexpr auto kLongestExchange = std::chrono::seconds(120);
constexpr auto kStartWait = std::chrono::seconds(5);
} // namespace

CCtlClient::CCtlClient(ClientHooks hooks, int nBusyRetries, int nRetryPauseMs)
    : m_hooks(std::move(hooks)), m_nBusyRetries(nBusyRetries), m_nRetryPauseMs(nRetryPauseMs)
{
}

CCtlClient::~CCtlClient() = default;

CCtlClient::Outcome CCtlClient::Status(const std::vector<std::uint32_t>& addresses)
{
    return Run(WM_CLIENT_PCSTATUS, addresses, nullptr);
}

CCtlClient::Outcome CCtlClient::Operate(const std::vector<std::uint32_t>& addresses,
                                        const std::vector<std::uint32_t>& codes)
{
    return Run(WM_CLIENT_OPERATED, addresses, &codes);
}

void CCtlClient::OnClientMessage(int nMsg, std::intptr_t wParam, std::intptr_t lParam)
{
    std::lock_guard lock(m_mutex);
    if (nMsg == m_nCompletion && wParam == 1) {
        m_recordFlags.push_back(lParam);
        return;
    }
    if (nMsg == m_nCompletion || nMsg == WM_CLIENT_EXIT) {
        m_bEnded = true;
        m_nError = nMsg == WM_CLIENT_EXIT ? -1 : static_cast<int>(lParam);
        m_cv.notify_all();
    }
}

CCtlClient::Outcome CCtlClient::Run(int nCompletion, const std::vector<std::uint32_t>& addresses,
                                    const std::vector<std::uint32_t>* pCodes)
{
    Outcome outcome;
    {
        std::lock_guard lock(m_mutex);
        m_nCompletion = nCompletion;
    }
    CKwvtClient* pClient = CKwvtClient::Start(this, m_hooks);
    if (!pClient) {
        outcome.nError = -1;
        return outcome;
    }
    const auto ready = std::chrono::steady_clock::now() + kStartWait;
    while (pClient->m_bBusy && std::chrono::steady_clock::now() < ready)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));

    for (int nTry = 0;; ++nTry) {
        {
            std::lock_guard lock(m_mutex);
            m_recordFlags.clear();
            m_bEnded = false;
            m_nError = 0;
        }
        const bool bAccepted =
            pCodes ? pClient->RequestOperate(addresses, *pCodes) : pClient->RequestStatus(addresses);
        if (!bAccepted) {
            outcome.nError = -1;
            break;
        }
        std::unique_lock lock(m_mutex);
        if (!m_cv.wait_for(lock, kLongestExchange, [this] { return m_bEnded; })) {
            outcome.nError = vtwsa::kTimedOut;
            break;
        }
        outcome.nError = m_nError;
        if (m_nError != vtwsa::kAddrInUse || nTry >= m_nBusyRetries)
            break;
        lock.unlock();
        // The worker is idle again once it has reported the end.
        std::this_thread::sleep_for(std::chrono::milliseconds(m_nRetryPauseMs));
    }

    std::vector<std::intptr_t> flags;
    {
        std::lock_guard lock(m_mutex);
        flags = m_recordFlags;
    }
    for (const std::intptr_t nFlag : flags) {
        const std::string strRecord = pClient->PopResult();
        if (strRecord.empty())
            break;
        Record record;
        const std::string strAddress = strRecord.substr(0, vtdgram::kRecordField);
        record.dwIp = vtlookup::ParseIp(strAddress.substr(0, strAddress.find(' '))).value_or(0);
        record.strText =
            strRecord.size() > vtdgram::kRecordField ? strRecord.substr(vtdgram::kRecordField) : "";
        record.bAnswered = nCompletion == WM_CLIENT_PCSTATUS ? nFlag == 1 : true;
        outcome.records.push_back(std::move(record));
    }
    pClient->Stop();
    return outcome;
}
