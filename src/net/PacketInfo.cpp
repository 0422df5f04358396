#include "net/PacketInfo.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>

namespace vtpktinfo {

void Enable(int fd)
{
    const int nOne = 1;
    ::setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &nOne, sizeof nOne);
}

ssize_t Receive(int fd, std::uint8_t* pBuffer, std::size_t nSize, sockaddr_in& from, Received& info)
{
    info = {};
    from = {};
    iovec iov{pBuffer, nSize};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
    msghdr msg{};
    msg.msg_name = &from;
    msg.msg_namelen = sizeof from;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    const ssize_t nGot = ::recvmsg(fd, &msg, MSG_TRUNC);
    if (nGot < 0)
        return nGot;
    info.bTruncated = static_cast<std::size_t>(nGot) > nSize || (msg.msg_flags & MSG_TRUNC) != 0;
    info.nLength = info.bTruncated ? nSize : static_cast<std::size_t>(nGot);
    for (cmsghdr* pCmsg = CMSG_FIRSTHDR(&msg); pCmsg; pCmsg = CMSG_NXTHDR(&msg, pCmsg)) {
        if (pCmsg->cmsg_level == IPPROTO_IP && pCmsg->cmsg_type == IP_PKTINFO) {
            in_pktinfo pktinfo;
            std::memcpy(&pktinfo, CMSG_DATA(pCmsg), sizeof pktinfo);
            info.dwLocal = ntohl(pktinfo.ipi_spec_dst.s_addr);
        }
    }
    return nGot;
}

ssize_t SendFrom(int fd, const std::uint8_t* pData, std::size_t nSize, const sockaddr_in& to,
                 std::uint32_t dwFrom)
{
    iovec iov{const_cast<std::uint8_t*>(pData), nSize};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr msg{};
    msg.msg_name = const_cast<sockaddr_in*>(&to);
    msg.msg_namelen = sizeof to;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    if (dwFrom != 0) {
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        cmsghdr* pCmsg = CMSG_FIRSTHDR(&msg);
        pCmsg->cmsg_level = IPPROTO_IP;
        pCmsg->cmsg_type = IP_PKTINFO;
        pCmsg->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo pktinfo{};
        pktinfo.ipi_spec_dst.s_addr = htonl(dwFrom);
        std::memcpy(CMSG_DATA(pCmsg), &pktinfo, sizeof pktinfo);
    }
    return ::sendmsg(fd, &msg, 0);
}

} // namespace vtpktinfo
