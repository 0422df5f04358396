#include "AgentServer.h"

#include "Ipv4Net.h"
#include "net/Datagram.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace vtagentd {

namespace {

constexpr int kMaxDrain = 64; // datagrams read in one go before the stop descriptor is looked at again

} // namespace

AgentServer::AgentServer(AgentCore& core, PowerControl& power, ChildProcesses& children, LogSink log)
    : m_core(core), m_power(power), m_children(children), m_log(std::move(log)),
      m_buffer(vtdgram::kReceiveBuffer)
{
}

AgentServer::~AgentServer()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool AgentServer::Open(std::uint32_t dwBind, std::uint16_t wPort, std::string& strError)
{
    const std::string strWhere = Ipv4Text(dwBind) + ':' + std::to_string(wPort);
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        strError = std::string("cannot create a UDP socket: ") + std::strerror(errno);
        return false;
    }
    const int nOne = 1;
    ::setsockopt(m_fd, IPPROTO_IP, IP_PKTINFO, &nOne, sizeof nOne);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(dwBind);
    sa.sin_port = htons(wPort);
    if (::bind(m_fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        strError = "cannot listen at " + strWhere + ": " + std::strerror(errno);
        return false;
    }
    m_bBoundToAll = dwBind == 0;
    return true;
}

void AgentServer::Run(int nStopFd)
{
    pollfd fds[2] = {{m_fd, POLLIN, 0}, {nStopFd, POLLIN, 0}};
    while (true) {
        // Children that outlive their wait are reaped on a slow tick.
        const int nTimeoutMs = m_children.ReapFinished() > 0 ? 1000 : -1;
        const int nReady = ::poll(fds, 2, nTimeoutMs);
        if (nReady < 0) {
            if (errno == EINTR)
                continue;
            m_log(std::string("cannot wait for datagrams: ") + std::strerror(errno));
            return;
        }
        if (fds[1].revents != 0)
            return;
        if (fds[0].revents != 0)
            Drain();
    }
}

void AgentServer::Drain()
{
    for (int i = 0; i < kMaxDrain; ++i) {
        sockaddr_in from{};
        iovec iov{m_buffer.data(), m_buffer.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
        msghdr msg{};
        msg.msg_name = &from;
        msg.msg_namelen = sizeof from;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        const ssize_t nGot = ::recvmsg(m_fd, &msg, MSG_TRUNC);
        if (nGot < 0) {
            if (errno == EINTR)
                continue;
            return; // nothing more now, or an error reported for an earlier send
        }
        // Longer than any request: cut short by the buffer, so never well formed.
        if (static_cast<std::size_t>(nGot) > m_buffer.size() || (msg.msg_flags & MSG_TRUNC))
            continue;
        std::uint32_t dwLocal = 0;
        for (cmsghdr* pCmsg = CMSG_FIRSTHDR(&msg); pCmsg; pCmsg = CMSG_NXTHDR(&msg, pCmsg)) {
            if (pCmsg->cmsg_level == IPPROTO_IP && pCmsg->cmsg_type == IP_PKTINFO) {
                in_pktinfo info;
                std::memcpy(&info, CMSG_DATA(pCmsg), sizeof info);
                dwLocal = ntohl(info.ipi_spec_dst.s_addr);
            }
        }
        const std::uint32_t dwSender = ntohl(from.sin_addr.s_addr);
        const std::uint16_t wSenderPort = ntohs(from.sin_port);
        const AgentCore::Answer answer = m_core.Handle(m_buffer.data(), static_cast<std::size_t>(nGot),
                                                       dwSender, wSenderPort, AgentCore::Clock::now());
        if (!answer.reply.empty())
            Send(answer.reply, dwSender, wSenderPort, dwLocal);
        if (answer.carryOut)
            m_power.CarryOut(*answer.carryOut);
    }
}

void AgentServer::Send(const std::vector<std::uint8_t>& bytes, std::uint32_t dwTo, std::uint16_t wToPort,
                       std::uint32_t dwFrom)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(dwTo);
    to.sin_port = htons(wToPort);
    iovec iov{const_cast<std::uint8_t*>(bytes.data()), bytes.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr msg{};
    msg.msg_name = &to;
    msg.msg_namelen = sizeof to;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    if (m_bBoundToAll && dwFrom != 0) {
        // The server accepts a reply only from the address it asked.
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        cmsghdr* pCmsg = CMSG_FIRSTHDR(&msg);
        pCmsg->cmsg_level = IPPROTO_IP;
        pCmsg->cmsg_type = IP_PKTINFO;
        pCmsg->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_spec_dst.s_addr = htonl(dwFrom);
        std::memcpy(CMSG_DATA(pCmsg), &info, sizeof info);
    }
    if (::sendmsg(m_fd, &msg, 0) < 0)
        m_log("cannot reply to " + Ipv4Text(dwTo) + ':' + std::to_string(wToPort) + ": " +
              std::strerror(errno));
}

} // namespace vtagentd
