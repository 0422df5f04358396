#include "net/CTimeoutSocket.h"

#include "net/WsaError.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

CTimeoutSocket::CTimeoutSocket(int nStopFd, const std::atomic<bool>* pStopPending)
    : m_nStopFd(nStopFd), m_pStopPending(pStopPending)
{
}

CTimeoutSocket::~CTimeoutSocket()
{
    Close();
}

void CTimeoutSocket::Close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool CTimeoutSocket::StopPending() const
{
    return m_pStopPending && m_pStopPending->load();
}

int CTimeoutSocket::Create()
{
    Close();
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    m_nLastError = m_fd < 0 ? vtwsa::LastError() : 0;
    return m_nLastError;
}

int CTimeoutSocket::Bind(std::uint32_t dwIpHostOrder, std::uint16_t wPort)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(dwIpHostOrder);
    addr.sin_port = htons(wPort);
    const int rc = ::bind(m_fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr));
    m_nLastError = rc < 0 ? vtwsa::LastError() : 0;
    return m_nLastError;
}

int CTimeoutSocket::EnableBroadcast()
{
    const int nOn = 1;
    const int rc = ::setsockopt(m_fd, SOL_SOCKET, SO_BROADCAST, &nOn, sizeof(nOn));
    m_nLastError = rc < 0 ? vtwsa::LastError() : 0;
    return m_nLastError;
}

int CTimeoutSocket::EnlargeReceiveBuffer(int nBytes)
{
    auto granted = [this] {
        int nSize = 0;
        socklen_t nLen = sizeof(nSize);
        return ::getsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &nSize, &nLen) == 0 ? nSize : 0;
    };
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &nBytes, sizeof(nBytes));
    int nGranted = granted();
    // The kernel caps SO_RCVBUF at net.core.rmem_max; a privileged process may go past it.
    if (nGranted < nBytes && ::geteuid() == 0) {
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &nBytes, sizeof(nBytes));
        nGranted = granted();
    }
    return nGranted;
}

int CTimeoutSocket::SendTo(const std::uint8_t* p, std::size_t nLen, std::uint32_t dwIp, std::uint16_t wPort)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = dwIp;
    addr.sin_port = htons(wPort);
    ssize_t n;
    do {
        n = ::sendto(m_fd, p, nLen, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr));
    } while (n < 0 && errno == EINTR && !StopPending());
    if (n < 0) {
        m_nLastError = vtwsa::LastError();
        return -1;
    }
    if (static_cast<std::size_t>(n) < nLen)
        m_nLastError = vtwsa::kNoBufs;
    return static_cast<int>(n);
}

int CTimeoutSocket::ReceiveFromTimeout(std::uint8_t* pBuf, std::size_t nLen, std::uint32_t* pSender,
                                       int nTimeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(nTimeoutMs);
    for (;;) {
        if (StopPending()) {
            m_nLastError = vtwsa::kInterrupted;
            return -1;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        // Round up so the wait never ends a little before the deadline.
        const int nWait = left.count() <= 0 ? 0 : static_cast<int>(left.count()) + 1;
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_nStopFd, POLLIN, 0}};
        const int nFds = m_nStopFd >= 0 ? 2 : 1;
        const int rc = ::poll(fds, static_cast<nfds_t>(nFds), nWait);
        if (rc < 0) {
            if (errno == EINTR)
                continue;
            m_nLastError = vtwsa::LastError();
            return -1;
        }
        if (nFds == 2 && fds[1].revents != 0) {
            m_nLastError = vtwsa::kInterrupted;
            return -1;
        }
        if (rc == 0) {
            m_nLastError = vtwsa::kTimedOut;
            return -1;
        }
        if (fds[0].revents & POLLNVAL) {
            m_nLastError = 10038;
            return -1;
        }
        sockaddr_in from{};
        socklen_t nFrom = sizeof(from);
        // MSG_TRUNC makes the call return the datagram's real length.
        const ssize_t n = ::recvfrom(m_fd, pBuf, nLen, MSG_TRUNC | MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&from), &nFrom);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR)
                continue;
            m_nLastError = vtwsa::LastError();
            return -1;
        }
        if (static_cast<std::size_t>(n) > nLen) {
            m_nLastError = vtwsa::kMessageSize;
            return -1;
        }
        if (pSender)
            *pSender = from.sin_family == AF_INET ? from.sin_addr.s_addr : 0;
        m_nLastError = 0;
        return static_cast<int>(n);
    }
}
