#include "net/CKwvtClient.h"

#include "app/Settings.h"
#include "net/CTimeoutSocket.h"
#include "net/Datagram.h"
#include "net/WsaError.h"

#include <QHostAddress>
#include <QNetworkInterface>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <netinet/in.h>
#include <new>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr int kStopWaitMs = 5000;
constexpr int kSilentPauseMs = 5;
constexpr int kReceiveBufferWanted = 1 << 20;
constexpr std::size_t kMaxSearchPcs = 254;
constexpr int kLastRepeatingRound = 8;

std::uint32_t TickCount()
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(ms.count() & 0xFFFFFFFFu);
}

ClientConfig ConfigFromSettings()
{
    ClientConfig config;
    config.dwLocalIp = vtsettings::InterfaceAddress();
    config.wPort = static_cast<std::uint16_t>(vtsettings::Port());
    return config;
}

std::vector<std::uint32_t> InterfaceAddresses()
{
    std::vector<std::uint32_t> own;
    for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            own.push_back(htonl(address.toIPv4Address()));
    }
    return own;
}

// Errors of a receive that say nothing about the exchange in hand.
bool IsIgnoredReceiveError(int nError)
{
    return nError == vtwsa::kFault || nError == vtwsa::kMessageSize || nError == vtwsa::kConnReset ||
           nError == vtwsa::kConnAborted;
}

bool IsSkippedSendError(int nError)
{
    return nError == vtwsa::kConnReset || nError == vtwsa::kConnAborted || nError == vtwsa::kNetUnreach;
}

// What a received datagram means to the receive phase in hand.
enum class Fit {
    Foreign, ///< not of this exchange: dropped, the quiet time runs on
    Belongs, ///< of this exchange: the quiet time starts again
    Last,    ///< nothing more can be accepted: the phase ends
};

} // namespace

struct CKwvtClient::Impl {
    Impl(CKwvtClient& owner, IClientReceiver* pReceiver, ClientHooks hooks)
        : m_owner(owner), m_pReceiver(pReceiver), m_hooks(std::move(hooks))
    {
        m_nStopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    }
    ~Impl()
    {
        if (m_nStopFd >= 0)
            ::close(m_nStopFd);
    }

    void ThreadMain();
    int RunLoop();
    void BecomeIdle();
    int CarryOut(int nRequest);
    int DoSearch(CTimeoutSocket& sock, std::uint16_t wAgentPort);
    int DoStatus(CTimeoutSocket& sock, std::uint16_t wAgentPort);
    int DoOperate(CTimeoutSocket& sock, std::uint16_t wAgentPort);

    bool Request(int nRequest, const std::vector<std::uint32_t>* pAddresses,
                 const std::vector<std::uint32_t>* pCodes);
    void SignalStop();
    bool StopPending() const { return m_bStopPending.load(); }
    void PauseUntil(std::chrono::steady_clock::time_point deadline) const;
    int SendPhase(CTimeoutSocket& sock, std::uint16_t wAgentPort, std::vector<std::uint8_t>& request,
                  const std::function<std::vector<std::uint8_t>(std::size_t)>& fnBuild);
    int ReceivePhase(CTimeoutSocket& sock, std::vector<std::uint8_t>& buf, int nError,
                     const std::function<Fit(std::size_t, std::uint32_t)>& fnOnDatagram);
    void Post(int nMsg, std::intptr_t wParam, std::intptr_t lParam);
    void AddRecord(std::string strRecord, int nMsg, std::intptr_t wParam, std::intptr_t lParam);

    CKwvtClient& m_owner;
    IClientReceiver* m_pReceiver;
    ClientHooks m_hooks;
    int m_nStopFd = -1;
    std::atomic<bool> m_bStopPending{false};
    std::atomic<int> m_nReceiveBuffer{0};
    std::thread m_thread;

    // Guarded by m_cs.
    std::mutex m_cs;
    std::condition_variable m_cvWake;
    std::condition_variable m_cvEnded;
    int m_nSlot = REQ_NONE;
    bool m_bStop = false;
    bool m_bLoopEnded = false;
    bool m_bThreadEnded = false;
    std::vector<std::uint32_t> m_addresses;
    std::vector<std::uint32_t> m_codes;
    std::deque<std::string> m_results;
};

void CKwvtClient::Impl::Post(int nMsg, std::intptr_t wParam, std::intptr_t lParam)
{
    if (m_pReceiver)
        m_pReceiver->OnClientMessage(nMsg, wParam, lParam);
}

void CKwvtClient::Impl::AddRecord(std::string strRecord, int nMsg, std::intptr_t wParam, std::intptr_t lParam)
{
    {
        std::lock_guard lock(m_cs);
        m_results.push_back(std::move(strRecord));
    }
    Post(nMsg, wParam, lParam);
}

// Waits on the stop descriptor until a fixed deadline, so that the pauses of a long
// no-answer phase do not add up their scheduling overruns.
void CKwvtClient::Impl::PauseUntil(std::chrono::steady_clock::time_point deadline) const
{
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero())
        return;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    pollfd fd{m_nStopFd, POLLIN, 0};
    ::ppoll(&fd, 1, &ts, nullptr);
}

void CKwvtClient::Impl::SignalStop()
{
    {
        std::lock_guard lock(m_cs);
        m_bStop = true;
        m_bStopPending = true;
    }
    const std::uint64_t one = 1;
    if (m_nStopFd >= 0) [[maybe_unused]]
        auto n = ::write(m_nStopFd, &one, sizeof(one));
    m_cvWake.notify_all();
}

void CKwvtClient::Impl::ThreadMain()
{
    int nResult = -1;
    try {
        if (m_hooks.fnOnThreadStart)
            m_hooks.fnOnThreadStart();
        nResult = RunLoop();
    } catch (...) {
        nResult = -1;
    }
    {
        std::lock_guard lock(m_cs);
        m_bLoopEnded = true;
    }
    try {
        Post(WM_CLIENT_EXIT, nResult, 0);
    } catch (...) {
    }
    {
        std::lock_guard lock(m_cs);
        m_bThreadEnded = true;
    }
    m_cvEnded.notify_all();
}

void CKwvtClient::Impl::BecomeIdle()
{
    std::lock_guard lock(m_cs);
    m_owner.m_bBusy = false;
    m_owner.m_nRequest = REQ_NONE;
}

int CKwvtClient::Impl::RunLoop()
{
    if (StopPending())
        return 0;
    BecomeIdle();
    for (;;) {
        int nRequest = REQ_NONE;
        {
            std::unique_lock lock(m_cs);
            m_cvWake.wait(lock, [this] { return m_bStop || m_nSlot != REQ_NONE; });
            if (m_bStop)
                return 0;
            nRequest = m_nSlot;
            m_nSlot = REQ_NONE;
        }
        const int nCompletion = nRequest == REQ_SEARCH   ? WM_CLIENT_SEARCHED
                                : nRequest == REQ_STATUS ? WM_CLIENT_PCSTATUS
                                                         : WM_CLIENT_OPERATED;
        const int nError = CarryOut(nRequest);
        // Idle before the end is reported, so that the receiver may ask again at once. Every
        // record of the exchange was reported before this point.
        BecomeIdle();
        Post(nCompletion, 0, nError);
        if (StopPending())
            return 0;
    }
}

int CKwvtClient::Impl::CarryOut(int nRequest)
{
    try {
        const ClientConfig config = m_hooks.fnConfig ? m_hooks.fnConfig() : ConfigFromSettings();
        CTimeoutSocket sock(m_nStopFd, &m_bStopPending);
        if (const int nError = sock.Create())
            return nError;
        m_nReceiveBuffer = sock.EnlargeReceiveBuffer(kReceiveBufferWanted);
        if (const int nError = sock.Bind(config.dwLocalIp, config.wPort))
            return nError;
        const auto wAgentPort = static_cast<std::uint16_t>(config.wPort + 1);
        switch (nRequest) {
        case REQ_SEARCH:
            return DoSearch(sock, wAgentPort);
        case REQ_STATUS:
            return DoStatus(sock, wAgentPort);
        default:
            return DoOperate(sock, wAgentPort);
        }
    } catch (const std::bad_alloc&) {
        return vtwsa::kNoMemory;
    }
}

int CKwvtClient::Impl::DoSearch(CTimeoutSocket& sock, std::uint16_t wAgentPort)
{
    if (const int nError = sock.EnableBroadcast())
        return nError;
    const std::uint32_t dwDestination = htonl(m_hooks.dwSearchDestination);
    std::vector<std::uint32_t> found;
    std::vector<std::uint8_t> request;
    std::vector<std::uint8_t> buf(vtdgram::kReceiveBuffer);
    bool bRepeat = true;
    int nRound = 0;
    int nError = 0;

    if (!StopPending()) {
        while (nError == 0 && found.size() < kMaxSearchPcs && bRepeat) {
            bRepeat = false;
            try {
                request = vtdgram::BuildSearchRequest(found);
            } catch (const std::bad_alloc&) {
                nError = vtwsa::kNoMemory;
                break;
            }
            if (sock.SendTo(request.data(), request.size(), dwDestination, wAgentPort) !=
                static_cast<int>(request.size())) {
                nError = sock.LastError();
                break;
            }
            int nNoMemory = 0;
            nError = ReceivePhase(sock, buf, 0, [&](std::size_t nLen, std::uint32_t dwSender) {
                // Any agent may answer a broadcast, so any sender belongs.
                if (!vtdgram::MatchesRequest(buf.data(), nLen, request.data(), request.size(), dwSender))
                    return Fit::Foreign;
                auto record = vtdgram::AcceptSearchReply(buf.data(), nLen, request.data(), request.size(),
                                                         dwSender, found);
                if (!record)
                    return Fit::Belongs;
                try {
                    found.push_back(dwSender);
                } catch (const std::bad_alloc&) {
                    nNoMemory = vtwsa::kNoMemory;
                    return Fit::Last;
                }
                AddRecord(std::move(*record), WM_CLIENT_PCSTATUS, 1, 1);
                if (nRound < kLastRepeatingRound)
                    bRepeat = true;
                return found.size() < kMaxSearchPcs ? Fit::Belongs : Fit::Last;
            });
            if (nNoMemory != 0)
                nError = nNoMemory;
            ++nRound;
            if (StopPending())
                break;
        }
    }
    return nError == vtwsa::kInterrupted ? 0 : nError;
}

// Sends one request per target, back to back; `request` keeps the last one sent, which
// the replies are matched against.
int CKwvtClient::Impl::SendPhase(CTimeoutSocket& sock, std::uint16_t wAgentPort,
                                 std::vector<std::uint8_t>& request,
                                 const std::function<std::vector<std::uint8_t>(std::size_t)>& fnBuild)
{
    int nError = 0;
    for (std::size_t i = 0; i < m_addresses.size() && nError == 0 && !StopPending(); ++i) {
        request = fnBuild(i);
        if (sock.SendTo(request.data(), request.size(), m_addresses[i], wAgentPort) !=
            static_cast<int>(request.size())) {
            if (!IsSkippedSendError(sock.LastError()))
                nError = sock.LastError();
        }
    }
    return nError;
}

// Receives until no datagram of the exchange has come for the quiet time, the exchange
// has all it can accept, a stop, or a kept error. Datagrams of no concern to the exchange
// do not restart the quiet time, so a trickle of them cannot hold the worker.
int CKwvtClient::Impl::ReceivePhase(CTimeoutSocket& sock, std::vector<std::uint8_t>& buf, int nError,
                                    const std::function<Fit(std::size_t, std::uint32_t)>& fnOnDatagram)
{
    using Clock = std::chrono::steady_clock;
    const auto quiet = std::chrono::milliseconds(m_hooks.nQuietMs);
    auto quietEnd = Clock::now() + quiet;
    while (nError == 0 && !StopPending()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(quietEnd - Clock::now()).count();
        if (left <= 0)
            break;
        std::uint32_t dwSender = 0;
        const int nLen = sock.ReceiveFromTimeout(buf.data(), buf.size(), &dwSender, static_cast<int>(left));
        if (nLen < 0) {
            const int nFailure = sock.LastError();
            if (nFailure == vtwsa::kTimedOut)
                break;
            if (!IsIgnoredReceiveError(nFailure))
                nError = nFailure;
            continue;
        }
        const Fit fit = fnOnDatagram(static_cast<std::size_t>(nLen), dwSender);
        if (fit == Fit::Last)
            break;
        if (fit == Fit::Belongs)
            quietEnd = Clock::now() + quiet;
    }
    return nError;
}

int CKwvtClient::Impl::DoStatus(CTimeoutSocket& sock, std::uint16_t wAgentPort)
{
    const std::uint32_t dwId = TickCount();
    std::vector<std::uint8_t> request = vtdgram::BuildStatusRequest(dwId, 0);
    std::vector<std::uint8_t> buf(vtdgram::kReceiveBuffer);
    int nError = SendPhase(sock, wAgentPort, request,
                           [&](std::size_t i) { return vtdgram::BuildStatusRequest(dwId, m_addresses[i]); });
    // Answered entries become 0, so the addresses asked are kept aside.
    std::vector<std::uint32_t> asked = m_addresses;
    std::sort(asked.begin(), asked.end());
    auto nUnanswered = static_cast<std::size_t>(
        std::count_if(m_addresses.begin(), m_addresses.end(), [](std::uint32_t dw) { return dw != 0; }));
    if (nUnanswered > 0) {
        nError = ReceivePhase(sock, buf, nError, [&](std::size_t nLen, std::uint32_t dwSender) {
            if (!vtdgram::MatchesRequest(buf.data(), nLen, request.data(), request.size(), dwSender) ||
                !std::binary_search(asked.begin(), asked.end(), dwSender))
                return Fit::Foreign;
            auto match = vtdgram::AcceptStatusReply(buf.data(), nLen, request.data(), request.size(),
                                                    dwSender, m_addresses);
            if (!match)
                return Fit::Belongs;
            m_addresses[match->nIndex] = 0;
            AddRecord(std::move(match->strRecord), WM_CLIENT_PCSTATUS, 1, 1);
            // Once every PC has answered, no further reply can match.
            return --nUnanswered > 0 ? Fit::Belongs : Fit::Last;
        });
    }

    auto next = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < m_addresses.size() && !StopPending(); ++i) {
        if (m_addresses[i] == 0)
            continue;
        AddRecord(vtdgram::SilentRecord(m_addresses[i]), WM_CLIENT_PCSTATUS, 1, 0);
        next += std::chrono::milliseconds(kSilentPauseMs);
        PauseUntil(next);
    }
    return nError == vtwsa::kInterrupted ? 0 : nError;
}

int CKwvtClient::Impl::DoOperate(CTimeoutSocket& sock, std::uint16_t wAgentPort)
{
    if (m_addresses.size() > 1) {
        const std::vector<std::uint32_t> own =
            m_hooks.fnLocalAddresses ? m_hooks.fnLocalAddresses() : InterfaceAddresses();
        if (!own.empty())
            vtdgram::MoveOwnAddressesLast(m_addresses, m_codes, own);
    }
    const std::uint32_t dwId = TickCount();
    std::vector<std::uint8_t> request = vtdgram::BuildOperateRequest(dwId, 0, 0);
    std::vector<std::uint8_t> buf(vtdgram::kReceiveBuffer);
    int nError = SendPhase(sock, wAgentPort, request, [&](std::size_t i) {
        const std::uint32_t dwOperation = i < m_codes.size() ? m_codes[i] : 0;
        return vtdgram::BuildOperateRequest(dwId, dwOperation, m_addresses[i]);
    });
    nError = ReceivePhase(sock, buf, nError, [&](std::size_t nLen, std::uint32_t dwSender) {
        if (!vtdgram::MatchesRequest(buf.data(), nLen, request.data(), request.size(), dwSender) ||
            std::find(m_addresses.begin(), m_addresses.end(), dwSender) == m_addresses.end())
            return Fit::Foreign;
        auto record = vtdgram::AcceptOperateReply(buf.data(), nLen, request.data(), request.size(), dwSender,
                                                  m_addresses);
        if (record)
            AddRecord(std::move(*record), WM_CLIENT_OPERATED, 1, 0);
        return Fit::Belongs;
    });
    return nError == vtwsa::kInterrupted ? 0 : nError;
}

bool CKwvtClient::Impl::Request(int nRequest, const std::vector<std::uint32_t>* pAddresses,
                                const std::vector<std::uint32_t>* pCodes)
{
    std::lock_guard lock(m_cs);
    if (m_owner.m_bBusy)
        return false;
    if (pAddresses && pAddresses->empty())
        return false;
    if (pCodes && pCodes->size() != pAddresses->size())
        return false;
    m_addresses.clear();
    m_codes.clear();
    m_results.clear();
    if (pAddresses)
        m_addresses = *pAddresses;
    if (pCodes)
        m_codes = *pCodes;
    if (m_bLoopEnded || m_bStop)
        return false;
    m_nSlot = nRequest;
    m_cvWake.notify_one();
    m_owner.m_bBusy = true;
    m_owner.m_nRequest = nRequest;
    return true;
}

CKwvtClient::CKwvtClient(IClientReceiver* pReceiver, ClientHooks hooks)
    : m_pImpl(std::make_unique<Impl>(*this, pReceiver, std::move(hooks)))
{
}

CKwvtClient::~CKwvtClient() = default;

CKwvtClient* CKwvtClient::Start(IClientReceiver* pReceiver, ClientHooks hooks)
{
    CKwvtClient* pClient = nullptr;
    try {
        pClient = new CKwvtClient(pReceiver, std::move(hooks));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    if (pClient->m_pImpl->m_nStopFd < 0) {
        delete pClient;
        return nullptr;
    }
    try {
        pClient->m_pImpl->m_thread = std::thread([pImpl = pClient->m_pImpl.get()] { pImpl->ThreadMain(); });
    } catch (const std::system_error&) {
        delete pClient;
        return nullptr;
    }
    return pClient;
}

void CKwvtClient::Stop()
{
    Impl& impl = *m_pImpl;
    impl.SignalStop();
    bool bEnded = false;
    {
        std::unique_lock lock(impl.m_cs);
        bEnded = impl.m_cvEnded.wait_for(lock, std::chrono::milliseconds(kStopWaitMs),
                                         [&impl] { return impl.m_bThreadEnded; });
    }
    if (!bEnded) {
        // The thread still runs on this object's fields: leave it alive (leaked on
        // purpose) rather than pull the memory from under it.
        impl.m_thread.detach();
        return;
    }
    impl.m_thread.join();
    if (impl.m_pReceiver)
        impl.m_pReceiver->DiscardPending();
    delete this;
}

bool CKwvtClient::RequestSearch()
{
    return m_pImpl->Request(REQ_SEARCH, nullptr, nullptr);
}

bool CKwvtClient::RequestStatus(const std::vector<std::uint32_t>& addresses)
{
    return m_pImpl->Request(REQ_STATUS, &addresses, nullptr);
}

bool CKwvtClient::RequestOperate(const std::vector<std::uint32_t>& addresses,
                                 const std::vector<std::uint32_t>& codes)
{
    return m_pImpl->Request(REQ_OPERATE, &addresses, &codes);
}

std::string CKwvtClient::PopResult()
{
    std::lock_guard lock(m_pImpl->m_cs);
    if (m_pImpl->m_results.empty())
        return {};
    std::string strRecord = std::move(m_pImpl->m_results.front());
    m_pImpl->m_results.pop_front();
    return strRecord;
}

int CKwvtClient::ReceiveBufferSize() const
{
    return m_pImpl->m_nReceiveBuffer.load();
}

bool CKwvtClient::WakeUp(const std::vector<std::uint8_t>& macs, const std::vector<std::uint32_t>& broadcasts)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int nPort = vtsettings::Port();
    if (fd < 0)
        return true;
    const int nOn = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &nOn, sizeof(nOn));
    const std::size_t nPcs = std::min(broadcasts.size(), macs.size() / 6);
    for (std::size_t i = 0; i < nPcs; ++i) {
        const auto packet = vtdgram::BuildWakePacket(macs.data() + 6 * i);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(broadcasts[i]);
        to.sin_port = htons(static_cast<std::uint16_t>(nPort));
        ::sendto(fd, packet.data(), packet.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to),
                 sizeof(to));
    }
    ::close(fd);
    return true;
}
