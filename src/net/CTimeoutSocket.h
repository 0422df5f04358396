#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

/// @brief The worker's UDP socket: a receive that gives up after a quiet time and that a
/// stop request cuts short at once.
///
/// The stop request is a descriptor that becomes readable (and stays so) plus a flag; the
/// receive waits on both the socket and that descriptor with poll(). Errors are Windows
/// Sockets numbers, kept in LastError() as the socket's last error.
class CTimeoutSocket final {
public:
    CTimeoutSocket(int nStopFd, const std::atomic<bool>* pStopPending);
    ~CTimeoutSocket();
    CTimeoutSocket(const CTimeoutSocket&) = delete;
    CTimeoutSocket& operator=(const CTimeoutSocket&) = delete;

    /// Each returns 0 or the error.
    int Create();
    int Bind(std::uint32_t dwIpHostOrder, std::uint16_t wPort);
    int EnableBroadcast();
    /// Asks for nBytes of receive buffer; returns what the system granted (0 on failure).
    int EnlargeReceiveBuffer(int nBytes);

    /// Bytes sent, or -1 with LastError() set. dwIp in network order.
    int SendTo(const std::uint8_t* p, std::size_t nLen, std::uint32_t dwIp, std::uint16_t wPort);
    /// Bytes of the first datagram (sender in network order), or -1 with LastError():
    /// 10060 when nothing came within nTimeoutMs of the call, 10004 when a stop is pending,
    /// 10040 for a datagram longer than the buffer (it is consumed).
    int ReceiveFromTimeout(std::uint8_t* pBuf, std::size_t nLen, std::uint32_t* pSender, int nTimeoutMs);

    int LastError() const { return m_nLastError; }
    int Handle() const { return m_fd; }
    void Close();

private:
    bool StopPending() const;

    int m_fd = -1;
    int m_nStopFd;
    const std::atomic<bool>* m_pStopPending;
    int m_nLastError = 0;
};
