#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

struct sockaddr_in;

/// @brief UDP with the address each datagram reached: an agent bound to every address
/// must answer from the address it was asked at, since the server accepts a reply only
/// from the address it asked.
namespace vtpktinfo {

/// Asks the system to report each datagram's destination address on this socket.
void Enable(int fd);

struct Received {
    std::size_t nLength = 0;   ///< bytes in the buffer
    bool bTruncated = false;   ///< the datagram was longer than the buffer
    std::uint32_t dwLocal = 0; ///< the address it reached (host order); 0 when not reported
};

/// recvmsg of one datagram into `pBuffer`; -1 (errno set) when nothing was read.
ssize_t Receive(int fd, std::uint8_t* pBuffer, std::size_t nSize, sockaddr_in& from, Received& info);

/// Sends `pData` to `to`, from the local address `dwFrom` (host order; 0: the system's
/// choice). The result of sendmsg.
ssize_t SendFrom(int fd, const std::uint8_t* pData, std::size_t nSize, const sockaddr_in& to,
                 std::uint32_t dwFrom);

} // namespace vtpktinfo
