#pragma once

// The server's side for tests that speak to agents, simulated or real: one UDP socket with
// bounded receives. Plain POSIX, so a test made inside a network namespace can use it too.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace vtagenttest {

struct Datagram {
    std::vector<std::uint8_t> bytes;
    std::uint32_t dwFrom = 0; ///< host order
    std::uint16_t wFromPort = 0;
    std::chrono::steady_clock::time_point at; ///< when it was read
};

class ServerSocket {
public:
    /// Bound to dwBind (host order) at wPort, 0: a port of the system's choice; broadcasts
    /// allowed. Port() is 0 when the bind failed.
    explicit ServerSocket(std::uint32_t dwBind = INADDR_LOOPBACK, std::uint16_t wPort = 0)
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int nOne = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_BROADCAST, &nOne, sizeof nOne);
        sockaddr_in sa = Address(dwBind, wPort);
        ::bind(m_fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
        socklen_t nLen = sizeof sa;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&sa), &nLen);
        m_wPort = ntohs(sa.sin_port);
    }
    ~ServerSocket() { ::close(m_fd); }
    ServerSocket(const ServerSocket&) = delete;
    ServerSocket& operator=(const ServerSocket&) = delete;

    std::uint16_t Port() const { return m_wPort; }

    bool Send(std::uint32_t dwTo, std::uint16_t wPort, const std::vector<std::uint8_t>& bytes) const
    {
        const sockaddr_in sa = Address(dwTo, wPort);
        return ::sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&sa),
                        sizeof sa) == static_cast<ssize_t>(bytes.size());
    }

    std::optional<Datagram> Receive(std::chrono::milliseconds wait) const
    {
        pollfd pfd{m_fd, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(wait.count())) != 1)
            return std::nullopt;
        std::uint8_t buffer[4096];
        sockaddr_in from{};
        socklen_t nLen = sizeof from;
        const ssize_t nGot =
            ::recvfrom(m_fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &nLen);
        if (nGot < 0)
            return std::nullopt;
        return Datagram{{buffer, buffer + nGot},
                        ntohl(from.sin_addr.s_addr),
                        ntohs(from.sin_port),
                        std::chrono::steady_clock::now()};
    }

    /// Everything that arrives within `first`, then until the line is quiet for 300 ms; at most 300.
    std::vector<Datagram> ReceiveAll(std::chrono::milliseconds first) const
    {
        std::vector<Datagram> all;
        for (auto dgram = Receive(first); dgram && all.size() < 300;
             dgram = Receive(std::chrono::milliseconds(300)))
            all.push_back(std::move(*dgram));
        return all;
    }

    /// The first datagram that comes back within `wait` after sending `request`.
    std::optional<Datagram> Ask(std::uint32_t dwTo, std::uint16_t wPort,
                                const std::vector<std::uint8_t>& request,
                                std::chrono::milliseconds wait) const
    {
        return Send(dwTo, wPort, request) ? Receive(wait) : std::nullopt;
    }

private:
    static sockaddr_in Address(std::uint32_t dwHost, std::uint16_t wPort)
    {
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(dwHost);
        sa.sin_port = htons(wPort);
        return sa;
    }

    int m_fd = -1;
    std::uint16_t m_wPort = 0;
};

/// A port that no socket holds on any address right now.
inline std::uint16_t FreePort()
{
    return ServerSocket(INADDR_ANY).Port();
}

} // namespace vtagenttest
