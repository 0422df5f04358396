#include "TestAgents.h"

#include "net/Datagram.h"

#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <arpa/inet.h>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace vttest {

namespace {

int BoundSocket(std::uint32_t dwAddress, std::uint16_t wPort)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = dwAddress;
    addr.sin_port = htons(wPort);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::vector<std::uint8_t> ReplyHeader(const std::vector<std::uint8_t>& request, std::size_t nLen)
{
    std::vector<std::uint8_t> reply(std::max(nLen, vtdgram::kHeaderSize), 0);
    std::memcpy(reply.data(), request.data(), std::min<std::size_t>(vtdgram::kOffParam, request.size()));
    reply[vtdgram::kOffKind] = vtdgram::kKindReply;
    return reply;
}

class SettingsEnvironment : public ::testing::Environment {
public:
    void SetUp() override { RedirectSettings(); }
};

// Settings never reach the real user folder, whichever test runs first.
[[maybe_unused]] const auto* const g_pSettingsEnvironment =
    ::testing::AddGlobalTestEnvironment(new SettingsEnvironment);

} // namespace

std::uint32_t Ip(const char* text)
{
    in_addr addr{};
    ::inet_pton(AF_INET, text, &addr);
    return addr.s_addr;
}

std::uint16_t FreePortPair()
{
    for (int nAttempt = 0; nAttempt < 100; ++nAttempt) {
        const int a = BoundSocket(0, 0);
        if (a < 0)
            continue;
        sockaddr_in addr{};
        socklen_t nLen = sizeof(addr);
        ::getsockname(a, reinterpret_cast<sockaddr*>(&addr), &nLen);
        const std::uint16_t wPort = ntohs(addr.sin_port);
        if (wPort >= 65534) {
            ::close(a);
            continue;
        }
        const int b = BoundSocket(0, static_cast<std::uint16_t>(wPort + 1));
        ::close(a);
        if (b < 0)
            continue;
        ::close(b);
        return wPort;
    }
    return 0;
}

void RedirectSettings()
{
    static QTemporaryDir dir;
    static bool bDone = false;
    if (bDone)
        return;
    bDone = true;
    ::setenv("XDG_CONFIG_HOME", dir.path().toUtf8().constData(), 1);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
}

std::vector<std::uint8_t> NameReply(const std::vector<std::uint8_t>& request, const std::string& strName)
{
    auto reply = ReplyHeader(request, vtdgram::kOffParam + strName.size() + 1);
    std::memcpy(reply.data() + vtdgram::kOffParam, strName.data(), strName.size());
    vtdgram::SetChecksum(reply.data(), reply.size());
    return reply;
}

std::vector<std::uint8_t> CodeReply(const std::vector<std::uint8_t>& request, std::uint32_t dwCode)
{
    auto reply = ReplyHeader(request, vtdgram::kHeaderSize);
    vtdgram::WriteU32(reply.data(), reply.size(), vtdgram::kOffParam, dwCode);
    vtdgram::SetChecksum(reply.data(), reply.size());
    return reply;
}

LoopbackAgent::LoopbackAgent(std::uint16_t wPort, Handler handler, std::uint32_t dwBind)
    : m_handler(std::move(handler))
{
    m_fd = BoundSocket(dwBind, wPort);
    m_nStopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_fd >= 0) {
        const int nOn = 1;
        ::setsockopt(m_fd, IPPROTO_IP, IP_PKTINFO, &nOn, sizeof(nOn));
        const int nBuffer = 1 << 20;
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &nBuffer, sizeof(nBuffer));
        m_thread = std::thread([this] { Run(); });
    }
}

LoopbackAgent::~LoopbackAgent()
{
    const std::uint64_t one = 1;
    if (m_nStopFd >= 0) [[maybe_unused]]
        auto n = ::write(m_nStopFd, &one, sizeof(one));
    if (m_thread.joinable())
        m_thread.join();
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_nStopFd >= 0)
        ::close(m_nStopFd);
}

void LoopbackAgent::Run()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::vector<std::uint8_t> buf(65536);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_nStopFd, POLLIN, 0}};
        if (::poll(fds, 2, 100) < 0 || fds[1].revents != 0)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        sockaddr_in from{};
        char control[CMSG_SPACE(sizeof(in_pktinfo))];
        iovec iov{buf.data(), buf.size()};
        msghdr msg{};
        msg.msg_name = &from;
        msg.msg_namelen = sizeof(from);
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof(control);
        const ssize_t n = ::recvmsg(m_fd, &msg, MSG_DONTWAIT);
        if (n < 0)
            continue;
        Received rec;
        rec.dwSource = from.sin_addr.s_addr;
        rec.bytes.assign(buf.begin(), buf.begin() + n);
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                in_pktinfo info{};
                std::memcpy(&info, CMSG_DATA(c), sizeof(info));
                rec.dwDestination = info.ipi_addr.s_addr;
            }
        }
        const std::vector<Reply> replies = m_handler ? m_handler(rec) : std::vector<Reply>{};
        {
            std::lock_guard lock(m_mutex);
            m_log.push_back(rec);
        }
        m_cv.notify_all();
        for (const Reply& reply : replies) {
            iovec out{const_cast<std::uint8_t*>(reply.bytes.data()), reply.bytes.size()};
            msghdr send{};
            send.msg_name = &from;
            send.msg_namelen = sizeof(from);
            send.msg_iov = &out;
            send.msg_iovlen = 1;
            char sendControl[CMSG_SPACE(sizeof(in_pktinfo))] = {};
            if (reply.dwFrom != 0) {
                send.msg_control = sendControl;
                send.msg_controllen = sizeof(sendControl);
                cmsghdr* c = CMSG_FIRSTHDR(&send);
                c->cmsg_level = IPPROTO_IP;
                c->cmsg_type = IP_PKTINFO;
                c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
                in_pktinfo info{};
                info.ipi_spec_dst.s_addr = reply.dwFrom;
                std::memcpy(CMSG_DATA(c), &info, sizeof(info));
            }
            ::sendmsg(m_fd, &send, 0);
        }
    }
}

std::vector<Received> LoopbackAgent::Log()
{
    std::lock_guard lock(m_mutex);
    return m_log;
}

bool LoopbackAgent::WaitForCount(std::size_t nCount, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, timeout, [&] { return m_log.size() >= nCount; });
}

Listener::Listener(std::uint32_t dwAddress, std::uint16_t wPort)
{
    m_fd = BoundSocket(dwAddress, wPort);
}

Listener::~Listener()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::vector<std::vector<std::uint8_t>> Listener::Collect(std::size_t nMax, std::chrono::milliseconds timeout)
{
    std::vector<std::vector<std::uint8_t>> got;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::vector<std::uint8_t> buf(4096);
    while (got.size() < nMax) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd fd{m_fd, POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0)
            break;
        const ssize_t n = ::recv(m_fd, buf.data(), buf.size(), MSG_DONTWAIT);
        if (n >= 0)
            got.emplace_back(buf.begin(), buf.begin() + n);
    }
    return got;
}

void Collector::OnClientMessage(int nMsg, std::intptr_t wParam, std::intptr_t lParam)
{
    {
        std::lock_guard lock(m_mutex);
        m_messages.push_back({nMsg, wParam, lParam});
    }
    m_cv.notify_all();
}

void Collector::DiscardPending()
{
    std::lock_guard lock(m_mutex);
    m_bDiscarded = true;
}

std::intptr_t Collector::WaitForCompletion(int nMsg, std::chrono::milliseconds timeout, int nOccurrence)
{
    std::unique_lock lock(m_mutex);
    std::intptr_t nError = -999;
    m_cv.wait_for(lock, timeout, [&] {
        int nSeen = 0;
        for (const Message& m : m_messages) {
            if (m.nMsg == nMsg && m.wParam == 0 && ++nSeen == nOccurrence) {
                nError = m.lParam;
                return true;
            }
        }
        return false;
    });
    return nError;
}

std::vector<Collector::Message> Collector::Messages()
{
    std::lock_guard lock(m_mutex);
    return m_messages;
}

bool Collector::Discarded()
{
    std::lock_guard lock(m_mutex);
    return m_bDiscarded;
}

bool WaitIdle(const CKwvtClient& client, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (client.m_bBusy) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

std::vector<std::string> PopAll(CKwvtClient& client)
{
    std::vector<std::string> records;
    for (int i = 0; i < 1000; ++i) {
        std::string strRecord = client.PopResult();
        if (strRecord.empty())
            break;
        records.push_back(std::move(strRecord));
    }
    return records;
}

} // namespace vttest
