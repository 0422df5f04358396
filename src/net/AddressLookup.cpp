#include "net/AddressLookup.h"

#include <QHostAddress>
#include <QMetaObject>
#include <QNetworkInterface>
#include <QObject>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <future>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace vtlookup {

namespace {

// Never destroyed: a lookup thread left running may still read them while the program ends.
struct State {
    std::mutex mutex;
    Functions overrides;
    detail::SystemCalls systemOverrides;
    std::chrono::milliseconds timeout{3000};
};
State& Globals()
{
    static State* const pState = new State;
    return *pState;
}

template <class T> T Current(const T& member)
{
    std::lock_guard<std::mutex> lock(Globals().mutex);
    return member;
}

std::optional<std::uint32_t> SystemResolve(const std::string& strName)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* pList = nullptr;
    if (getaddrinfo(strName.c_str(), nullptr, &hints, &pList) != 0 || pList == nullptr)
        return std::nullopt;
    std::optional<std::uint32_t> result;
    for (const addrinfo* p = pList; p != nullptr; p = p->ai_next) {
        if (p->ai_family == AF_INET && p->ai_addr != nullptr && p->ai_addrlen >= sizeof(sockaddr_in)) {
            sockaddr_in sin{};
            std::memcpy(&sin, p->ai_addr, sizeof sin);
            result = ntohl(sin.sin_addr.s_addr);
            break;
        }
    }
    freeaddrinfo(pList);
    return result;
}

std::optional<std::string> SystemReverse(std::uint32_t dwHostOrder)
{
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(dwHostOrder);
    char host[NI_MAXHOST] = {};
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&sin), sizeof sin, host, sizeof host, nullptr, 0,
                    NI_NAMEREQD) != 0)
        return std::nullopt;
    return std::string(host);
}

// Runs fn on a detached thread and waits at most the time-out. The thread owns copies
// of everything it needs, so it may finish long after the caller has given up.
template <class R> std::optional<R> RunBounded(std::function<std::optional<R>()> fn)
{
    auto pPromise = std::make_shared<std::promise<std::optional<R>>>();
    std::future<std::optional<R>> future = pPromise->get_future();
    try {
        std::thread([pPromise, fn = std::move(fn)]() {
            std::optional<R> result;
            try {
                result = fn();
            } catch (...) {
            }
            pPromise->set_value(std::move(result));
        }).detach();
    } catch (const std::system_error&) {
        return std::nullopt;
    }
    if (future.wait_for(detail::Timeout()) != std::future_status::ready)
        return std::nullopt;
    return future.get();
}

} // namespace

std::optional<std::array<std::uint8_t, 6>> ParseMac(std::string_view text, std::string_view separators)
{
    std::array<std::uint8_t, 6> mac{};
    if (text.size() != 17)
        return std::nullopt;
    for (std::size_t i = 0; i < 6; ++i) {
        unsigned value = 0;
        for (std::size_t j = 0; j < 2; ++j) {
            const char c = text[i * 3 + j];
            unsigned digit;
            if (c >= '0' && c <= '9')
                digit = static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f')
                digit = static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                digit = static_cast<unsigned>(c - 'A' + 10);
            else
                return std::nullopt;
            value = value * 16 + digit;
        }
        if (i < 5 && separators.find(text[i * 3 + 2]) == std::string_view::npos)
            return std::nullopt;
        mac[i] = static_cast<std::uint8_t>(value);
    }
    return mac;
}

std::optional<std::uint32_t> Resolve(const std::string& strName)
{
    if (auto fn = Current(Globals().overrides.fnResolve))
        return fn(strName);
    auto fnSystem = Current(Globals().systemOverrides.fnResolve);
    if (!fnSystem)
        fnSystem = SystemResolve;
    return RunBounded<std::uint32_t>([fnSystem, strName]() { return fnSystem(strName); });
}

std::optional<std::string> Reverse(std::uint32_t dwHostOrder)
{
    if (auto fn = Current(Globals().overrides.fnReverse))
        return fn(dwHostOrder);
    auto fnSystem = Current(Globals().systemOverrides.fnReverse);
    if (!fnSystem)
        fnSystem = SystemReverse;
    return RunBounded<std::string>([fnSystem, dwHostOrder]() { return fnSystem(dwHostOrder); });
}

std::optional<std::array<std::uint8_t, 6>> Arp(std::uint32_t dwHostOrder)
{
    if (auto fn = Current(Globals().overrides.fnArp))
        return fn(dwHostOrder);
#ifdef __linux__
    std::ifstream file("/proc/net/arp");
    if (!file)
        return std::nullopt;
    std::ostringstream text;
    text << file.rdbuf();
    return detail::ParseArpTable(text.str(), dwHostOrder);
#else
    return std::nullopt;
#endif
}

std::vector<std::uint32_t> LocalAddresses()
{
    if (auto fn = Current(Globals().overrides.fnLocalAddresses))
        return fn();
    std::vector<std::uint32_t> addresses;
    const QList<QHostAddress> all = QNetworkInterface::allAddresses();
    for (const QHostAddress& address : all) {
        if (address.protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        const std::uint32_t dw = address.toIPv4Address();
        if (std::find(addresses.begin(), addresses.end(), dw) == addresses.end())
            addresses.push_back(dw);
    }
    return addresses;
}

HostAnswer LookUpHost(const HostQuery& query)
{
    HostAnswer answer;
    std::uint32_t dwIp = 0xFFFFFFFFu;
    if (query.typedIp) {
        dwIp = *query.typedIp;
    } else if (!query.strName.empty()) {
        answer.resolved = Resolve(query.strName);
        dwIp = answer.resolved.value_or(0xFFFFFFFFu);
    }
    if (dwIp == 0 || dwIp == 0xFFFFFFFFu)
        return answer;
    answer.reverseName = Reverse(dwIp);
    answer.mac = Arp(dwIp);
    return answer;
}

struct CHostLookup::Shared {
    std::mutex mutex;
    QObject* pReceiver; ///< null once cancelled
    DoneFn fnDone;
};

CHostLookup::CHostLookup(HostQuery query, QObject* pReceiver, DoneFn fnDone)
    : m_pShared(std::make_shared<Shared>())
{
    m_pShared->pReceiver = pReceiver;
    m_pShared->fnDone = std::move(fnDone);
    // Runs on the receiver's thread: Cancel() may have come after the answer was posted.
    const auto deliver = [](const std::shared_ptr<Shared>& pShared, HostAnswer answer) {
        std::unique_lock<std::mutex> lock(pShared->mutex);
        if (!pShared->pReceiver)
            return;
        QMetaObject::invokeMethod(
            pShared->pReceiver,
            [pShared, answer = std::move(answer)]() {
                DoneFn fn;
                {
                    std::lock_guard<std::mutex> inner(pShared->mutex);
                    if (!pShared->pReceiver)
                        return;
                    pShared->pReceiver = nullptr;
                    fn = std::move(pShared->fnDone);
                }
                fn(answer);
            },
            Qt::QueuedConnection);
    };
    try {
        std::thread([pShared = m_pShared, query = std::move(query), deliver]() {
            HostAnswer answer;
            try {
                answer = LookUpHost(query);
            } catch (...) {
            }
            deliver(pShared, std::move(answer));
        }).detach();
    } catch (const std::system_error&) {
        deliver(m_pShared, HostAnswer{}); // nothing can be looked up: the lookups fail quietly
    }
}

CHostLookup::~CHostLookup()
{
    Cancel();
}

void CHostLookup::Cancel()
{
    std::lock_guard<std::mutex> lock(m_pShared->mutex);
    m_pShared->pReceiver = nullptr;
    m_pShared->fnDone = nullptr;
}

void SetLookupForTesting(Functions fns)
{
    std::lock_guard<std::mutex> lock(Globals().mutex);
    Globals().overrides = std::move(fns);
}

std::optional<std::uint32_t> ParseIp(const std::string& strText)
{
    std::uint32_t dwResult = 0;
    std::size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= strText.size() || strText[pos] != '.')
                return std::nullopt;
            ++pos;
        }
        unsigned value = 0;
        std::size_t digits = 0;
        while (pos < strText.size() && strText[pos] >= '0' && strText[pos] <= '9' && digits < 4) {
            value = value * 10 + static_cast<unsigned>(strText[pos] - '0');
            ++pos;
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255)
            return std::nullopt;
        dwResult = (dwResult << 8) | value;
    }
    if (pos != strText.size())
        return std::nullopt;
    return dwResult;
}

std::string FormatIp(std::uint32_t dwHostOrder)
{
    return std::to_string(dwHostOrder >> 24) + '.' + std::to_string((dwHostOrder >> 16) & 0xFF) + '.' +
           std::to_string((dwHostOrder >> 8) & 0xFF) + '.' + std::to_string(dwHostOrder & 0xFF);
}

namespace detail {

void SetSystemCallsForTesting(SystemCalls calls)
{
    std::lock_guard<std::mutex> lock(Globals().mutex);
    Globals().systemOverrides = std::move(calls);
}

void SetTimeout(std::chrono::milliseconds timeout)
{
    std::lock_guard<std::mutex> lock(Globals().mutex);
    Globals().timeout = timeout;
}

std::chrono::milliseconds Timeout()
{
    std::lock_guard<std::mutex> lock(Globals().mutex);
    return Globals().timeout;
}

std::optional<std::array<std::uint8_t, 6>> ParseArpTable(std::string_view text, std::uint32_t dwHostOrder)
{
    constexpr unsigned kComplete = 0x2;
    std::istringstream lines{std::string(text)};
    std::string line;
    bool bHeader = true;
    while (std::getline(lines, line)) {
        if (bHeader) {
            bHeader = false;
            continue;
        }
        std::istringstream fields(line);
        std::string strIp, strType, strFlags, strMac;
        if (!(fields >> strIp >> strType >> strFlags >> strMac))
            continue;
        const auto ip = ParseIp(strIp);
        if (!ip || *ip != dwHostOrder)
            continue;
        unsigned long flags = 0;
        try {
            flags = std::stoul(strFlags, nullptr, 16);
        } catch (const std::exception&) {
            continue;
        }
        if ((flags & kComplete) == 0)
            continue;
        const auto mac = ParseMac(strMac, ":");
        if (!mac || std::all_of(mac->begin(), mac->end(), [](std::uint8_t b) { return b == 0; }))
            continue;
        return mac;
    }
    return std::nullopt;
}

} // namespace detail

} // namespace vtlookup
