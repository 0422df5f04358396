#include "AgentLab.h"

#include "AgentProtocol.h"
#include "net/PacketInfo.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <queue>
#include <set>
#include <thread>

namespace vtagent {

using Clock = std::chrono::steady_clock;

std::string AgentSpec::ReplyName() const
{
    if (bNameEmpty)
        return {};
    if (bLongName) {
        std::string strLong = strName.substr(0, 16);
        strLong.resize(16, 'X');
        return strLong;
    }
    return strName;
}

namespace {

enum class SockKind { Agent, Search, Wol };

struct Sock {
    int fd = -1;
    SockKind kind = SockKind::Agent;
    std::size_t nAgent = 0;
    std::uint32_t dwAddress = 0;
    std::uint16_t wPort = 0;
};

struct Pending {
    Clock::time_point due;
    std::uint64_t nSeq = 0;
    int fd = -1;
    sockaddr_in to{};
    std::uint32_t dwFrom = 0;
    std::vector<std::uint8_t> bytes;
};

struct LaterFirst {
    bool operator()(const Pending& a, const Pending& b) const
    {
        return a.due != b.due ? a.due > b.due : a.nSeq > b.nSeq;
    }
};

constexpr std::uint64_t kWakeToken = ~std::uint64_t(0);
constexpr int kMaxEvents = 64;
constexpr int kMaxDrain = 64; // datagrams taken from one socket before the others get a turn
constexpr std::size_t kMaxPending = 100000;

sockaddr_in MakeSockaddr(std::uint32_t dwHost, std::uint16_t wPort)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(dwHost);
    sa.sin_port = htons(wPort);
    return sa;
}

std::string FormatEndpoint(const sockaddr_in& sa)
{
    return FormatAddress(ntohl(sa.sin_addr.s_addr)) + ':' + std::to_string(ntohs(sa.sin_port));
}

std::string NowText()
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    char szText[32];
    std::snprintf(szText, sizeof szText, "%lld.%03lld", static_cast<long long>(ms / 1000),
                  static_cast<long long>(ms % 1000));
    return szText;
}

// The kind byte as JSON text; bytes outside printable ASCII are escaped so the line stays valid UTF-8.
std::string KindText(const Request& req)
{
    const auto uch = static_cast<unsigned char>(req.cKind);
    if (req.nLength < 8)
        return {};
    if (uch >= 0x20 && uch < 0x7F)
        return JsonEscape(std::string(1, req.cKind));
    char szEscape[8];
    std::snprintf(szEscape, sizeof szEscape, "\\u%04x", uch);
    return szEscape;
}

const char* TypeName(RequestType type)
{
    switch (type) {
    case RequestType::Search:
        return "search";
    case RequestType::Status:
        return "status";
    case RequestType::Operate:
        return "operate";
    case RequestType::Invalid:
        break;
    }
    return "invalid";
}

} // namespace

struct AgentLab::Impl {
    LabConfig config;
    int nEpoll = -1;
    int nWake = -1;
    std::vector<Sock> socks;
    FILE* pLog = nullptr;
    bool bOwnLog = false;
    bool bOpen = false;
    std::thread thread;
    std::atomic<bool> bStop{false};
    std::atomic<std::uint64_t> nReceived{0};
    std::atomic<std::uint64_t> nSent{0};
    std::priority_queue<Pending, std::vector<Pending>, LaterFirst> pending;
    std::uint64_t nSeq = 0;
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(65536);

    ~Impl();
    bool BindSocket(Sock sock, bool bPktInfo, bool bBroadcast, std::string& strError);
    bool WriteReadyFile(std::string& strError) const;
    void Drain(const Sock& sock);
    void HandleAgent(const Sock& sock, const sockaddr_in& from, std::size_t nLength, std::uint32_t dwLocal);
    void HandleSearch(const Sock& sock, const sockaddr_in& from, std::size_t nLength);
    void HandleWol(const Sock& sock, const sockaddr_in& from, std::size_t nLength);
    std::string Answer(const AgentSpec& agent, int fd, std::uint32_t dwOwn, const Request& req,
                       const sockaddr_in& from, std::uint32_t dwPktFrom);
    void Send(int fd, const sockaddr_in& to, std::uint32_t dwFrom, const std::vector<std::uint8_t>& bytes);
    void SendDue();
    void WriteLog(const std::string& strLine);
    std::string RequestFields(const Request& req) const;
};

AgentLab::Impl::~Impl()
{
    for (const Sock& sock : socks)
        ::close(sock.fd);
    if (nEpoll >= 0)
        ::close(nEpoll);
    if (nWake >= 0)
        ::close(nWake);
    if (pLog && bOwnLog)
        std::fclose(pLog);
}

bool AgentLab::Impl::BindSocket(Sock sock, bool bPktInfo, bool bBroadcast, std::string& strError)
{
    const std::string strWhere = FormatAddress(sock.dwAddress) + ':' + std::to_string(sock.wPort);
    sock.fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (sock.fd < 0) {
        strError = "cannot create a socket for " + strWhere + ": " + std::strerror(errno);
        return false;
    }
    const int nOne = 1;
    ::setsockopt(sock.fd, SOL_SOCKET, SO_REUSEADDR, &nOne, sizeof nOne);
    if (bPktInfo)
        vtpktinfo::Enable(sock.fd);
    if (bBroadcast)
        ::setsockopt(sock.fd, SOL_SOCKET, SO_BROADCAST, &nOne, sizeof nOne);
    const sockaddr_in sa = MakeSockaddr(sock.dwAddress, sock.wPort);
    if (::bind(sock.fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        strError = "cannot bind " + strWhere + ": " + std::strerror(errno);
        ::close(sock.fd);
        return false;
    }
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = socks.size();
    if (::epoll_ctl(nEpoll, EPOLL_CTL_ADD, sock.fd, &ev) != 0) {
        strError = "cannot watch " + strWhere + ": " + std::strerror(errno);
        ::close(sock.fd);
        return false;
    }
    socks.push_back(sock);
    return true;
}

bool AgentLab::Impl::WriteReadyFile(std::string& strError) const
{
    const std::string strTemp = config.strReadyFile + ".tmp";
    FILE* pFile = std::fopen(strTemp.c_str(), "w");
    if (!pFile) {
        strError = "cannot write " + strTemp + ": " + std::strerror(errno);
        return false;
    }
    std::fprintf(pFile, "{\"agents\":%zu,\"agent_port\":%u}\n", config.agents.size(),
                 unsigned(config.wAgentPort));
    const bool bWritten = std::fclose(pFile) == 0;
    if (!bWritten || std::rename(strTemp.c_str(), config.strReadyFile.c_str()) != 0) {
        strError = "cannot write " + config.strReadyFile + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void AgentLab::Impl::Drain(const Sock& sock)
{
    for (int i = 0; i < kMaxDrain; ++i) {
        sockaddr_in from{};
        vtpktinfo::Received got;
        if (vtpktinfo::Receive(sock.fd, buffer.data(), buffer.size(), from, got) < 0) {
            if (errno == EINTR)
                continue;
            return; // EAGAIN, or an error reported for an earlier send: nothing to read now
        }
        ++nReceived;
        const std::size_t nLength = got.nLength;
        const std::uint32_t dwLocal = got.dwLocal != 0 ? got.dwLocal : sock.dwAddress;
        switch (sock.kind) {
        case SockKind::Agent:
            HandleAgent(sock, from, nLength, dwLocal);
            break;
        case SockKind::Search:
            HandleSearch(sock, from, nLength);
            break;
        case SockKind::Wol:
            HandleWol(sock, from, nLength);
            break;
        }
    }
}

std::string AgentLab::Impl::Answer(const AgentSpec& agent, int fd, std::uint32_t dwOwn, const Request& req,
                                   const sockaddr_in& from, std::uint32_t dwPktFrom)
{
    if (!req.bValid)
        return "invalid";
    if (agent.bSilent)
        return "silent";
    if (req.type == RequestType::Search && req.Lists(dwOwn))
        return "listed";
    const std::uint32_t dwId = agent.bWrongId ? req.dwId + 1 : req.dwId;
    const std::vector<std::uint8_t> reply =
        req.type == RequestType::Operate
            ? BuildOperateReply(dwId, req.wCommand, req.wForce, agent.dwResultCode)
            : BuildNameReply(dwId, agent.ReplyName());
    const int nCopies = agent.bTwice ? 2 : 1;
    if (agent.nLateMs > 0) {
        if (pending.size() >= kMaxPending)
            return "dropped";
        const auto due = Clock::now() + std::chrono::milliseconds(agent.nLateMs);
        for (int i = 0; i < nCopies; ++i)
            pending.push(Pending{due, nSeq++, fd, from, dwPktFrom, reply});
        return "late";
    }
    for (int i = 0; i < nCopies; ++i)
        Send(fd, from, dwPktFrom, reply);
    return nCopies == 2 ? "twice" : "reply";
}

void AgentLab::Impl::Send(int fd, const sockaddr_in& to, std::uint32_t dwFrom,
                          const std::vector<std::uint8_t>& bytes)
{
    // An agent bound to every address answers from the address the request reached.
    if (vtpktinfo::SendFrom(fd, bytes.data(), bytes.size(), to, dwFrom) == static_cast<ssize_t>(bytes.size()))
        ++nSent;
}

void AgentLab::Impl::SendDue()
{
    const auto now = Clock::now();
    while (!pending.empty() && pending.top().due <= now) {
        const Pending& next = pending.top();
        Send(next.fd, next.to, next.dwFrom, next.bytes);
        pending.pop();
    }
}

std::string AgentLab::Impl::RequestFields(const Request& req) const
{
    std::string strLine = ",\"len\":" + std::to_string(req.nLength);
    strLine += ",\"kind\":\"" + KindText(req) + '"';
    if (req.bHasHeader) {
        strLine += ",\"id\":" + std::to_string(req.dwId) + ",\"command\":" + std::to_string(req.wCommand) +
                   ",\"force\":" + std::to_string(req.wForce) + ",\"param\":" + std::to_string(req.dwParam);
        strLine += ",\"list\":[";
        for (std::size_t i = 0; i < req.addresses.size(); ++i)
            strLine += (i ? ",\"" : "\"") + FormatAddress(req.addresses[i]) + '"';
        strLine += ']';
    }
    strLine += ",\"type\":\"";
    strLine += TypeName(req.type);
    strLine += "\",\"valid\":";
    strLine += req.bValid ? "true" : "false";
    return strLine;
}

void AgentLab::Impl::HandleAgent(const Sock& sock, const sockaddr_in& from, std::size_t nLength,
                                 std::uint32_t dwLocal)
{
    const AgentSpec& agent = config.agents[sock.nAgent];
    const Request req = ParseRequest(buffer.data(), nLength);
    const std::uint32_t dwOwn = agent.dwAddress != 0 ? agent.dwAddress : dwLocal;
    const std::string strAction = Answer(agent, sock.fd, dwOwn, req, from, agent.dwAddress != 0 ? 0 : dwOwn);
    if (pLog) {
        WriteLog("{\"t\":" + NowText() + ",\"agent\":\"" + FormatAddress(dwOwn) + "\",\"from\":\"" +
                 FormatEndpoint(from) + '"' + RequestFields(req) + ",\"action\":\"" + strAction + "\"}");
    }
}

void AgentLab::Impl::HandleSearch(const Sock& sock, const sockaddr_in& from, std::size_t nLength)
{
    const Request req = ParseRequest(buffer.data(), nLength);
    int nAnswered = 0;
    if (req.bValid && req.type == RequestType::Search) {
        for (const Sock& other : socks) {
            if (other.kind != SockKind::Agent || other.dwAddress == 0)
                continue;
            const std::string strAction =
                Answer(config.agents[other.nAgent], other.fd, other.dwAddress, req, from, 0);
            if (strAction == "reply" || strAction == "twice" || strAction == "late")
                ++nAnswered;
        }
    }
    if (pLog) {
        WriteLog("{\"t\":" + NowText() + ",\"agent\":\"" + FormatAddress(sock.dwAddress) +
                 "\",\"listener\":\"search\",\"from\":\"" + FormatEndpoint(from) + '"' + RequestFields(req) +
                 ",\"answered\":" + std::to_string(nAnswered) + '}');
    }
}

void AgentLab::Impl::HandleWol(const Sock& sock, const sockaddr_in& from, std::size_t nLength)
{
    if (!pLog)
        return;
    const std::string strTo = FormatAddress(sock.dwAddress) + ':' + std::to_string(sock.wPort);
    WriteLog("{\"t\":" + NowText() + ",\"wol\":true,\"to\":\"" + strTo + "\",\"from\":\"" +
             FormatEndpoint(from) + "\",\"len\":" + std::to_string(nLength) + ",\"mac\":\"" +
             FormatMac(buffer.data(), nLength) +
             "\",\"valid\":" + (IsMagicPacket(buffer.data(), nLength) ? "true" : "false") + '}');
}

void AgentLab::Impl::WriteLog(const std::string& strLine)
{
    std::fwrite(strLine.data(), 1, strLine.size(), pLog);
    std::fputc('\n', pLog);
    std::fflush(pLog);
}

AgentLab::AgentLab(LabConfig config) : m_pImpl(std::make_unique<Impl>())
{
    m_pImpl->config = std::move(config);
}

AgentLab::~AgentLab()
{
    Stop();
    Join();
}

bool AgentLab::Open(std::string& strError)
{
    Impl& d = *m_pImpl;
    if (d.bOpen) {
        strError = "the lab is already open";
        return false;
    }
    std::set<std::uint32_t> seen;
    for (const AgentSpec& agent : d.config.agents) {
        if (!seen.insert(agent.dwAddress).second) {
            strError = "two agents at " + FormatAddress(agent.dwAddress);
            return false;
        }
    }
    d.nWake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    d.nEpoll = ::epoll_create1(EPOLL_CLOEXEC);
    if (d.nWake < 0 || d.nEpoll < 0) {
        strError = std::string("cannot set up the event loop: ") + std::strerror(errno);
        return false;
    }
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kWakeToken;
    ::epoll_ctl(d.nEpoll, EPOLL_CTL_ADD, d.nWake, &ev);

    for (std::size_t i = 0; i < d.config.agents.size(); ++i) {
        const std::uint32_t dwAddress = d.config.agents[i].dwAddress;
        if (!d.BindSocket(Sock{-1, SockKind::Agent, i, dwAddress, d.config.wAgentPort}, dwAddress == 0, false,
                          strError))
            return false;
    }
    for (const std::uint32_t dwAddress : d.config.searchListen) {
        if (!d.BindSocket(Sock{-1, SockKind::Search, 0, dwAddress, d.config.wAgentPort}, false, true,
                          strError))
            return false;
    }
    for (const Endpoint& wol : d.config.wolListen) {
        if (!d.BindSocket(Sock{-1, SockKind::Wol, 0, wol.dwAddress, wol.wPort}, false, true, strError))
            return false;
    }

    if (d.config.strLogPath == "-") {
        d.pLog = stdout;
    } else if (!d.config.strLogPath.empty()) {
        d.pLog = std::fopen(d.config.strLogPath.c_str(), "a");
        if (!d.pLog) {
            strError = "cannot open the log " + d.config.strLogPath + ": " + std::strerror(errno);
            return false;
        }
        d.bOwnLog = true;
    }
    if (!d.config.strReadyFile.empty() && !d.WriteReadyFile(strError))
        return false;
    d.bOpen = true;
    return true;
}

void AgentLab::Run()
{
    Impl& d = *m_pImpl;
    if (!d.bOpen)
        return;
    const bool bTimed = d.config.dDurationSec > 0;
    const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(bTimed ? d.config.dDurationSec : 0.0));
    epoll_event events[kMaxEvents];
    while (!d.bStop.load()) {
        auto wakeAt = Clock::time_point::max();
        if (bTimed)
            wakeAt = end;
        if (!d.pending.empty() && d.pending.top().due < wakeAt)
            wakeAt = d.pending.top().due;
        int nTimeoutMs = -1;
        if (wakeAt != Clock::time_point::max()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(wakeAt - Clock::now()).count();
            nTimeoutMs = static_cast<int>(std::clamp<long long>(left, 0, 60000));
        }
        const int nReady = ::epoll_wait(d.nEpoll, events, kMaxEvents, nTimeoutMs);
        for (int i = 0; i < nReady; ++i) {
            if (events[i].data.u64 == kWakeToken) {
                std::uint64_t nCount = 0;
                [[maybe_unused]] const ssize_t nRead = ::read(d.nWake, &nCount, sizeof nCount);
                continue;
            }
            d.Drain(d.socks[events[i].data.u64]);
        }
        d.SendDue();
        if (bTimed && Clock::now() >= end)
            break;
    }
}

bool AgentLab::Start(std::string& strError)
{
    if (m_pImpl->thread.joinable()) {
        strError = "the lab is already running";
        return false;
    }
    if (!Open(strError))
        return false;
    m_pImpl->thread = std::thread([this] { Run(); });
    return true;
}

void AgentLab::Stop()
{
    m_pImpl->bStop.store(true);
    if (m_pImpl->nWake >= 0) {
        const std::uint64_t nOne = 1;
        [[maybe_unused]] const ssize_t nWritten = ::write(m_pImpl->nWake, &nOne, sizeof nOne);
    }
}

void AgentLab::Join()
{
    if (m_pImpl->thread.joinable())
        m_pImpl->thread.join();
}

std::uint64_t AgentLab::DatagramsReceived() const
{
    return m_pImpl->nReceived.load();
}

std::uint64_t AgentLab::RepliesSent() const
{
    return m_pImpl->nSent.load();
}

} // namespace vtagent
