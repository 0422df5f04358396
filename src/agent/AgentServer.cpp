#include "AgentServer.h"

#include "Ipv4Net.h"
#include "net/Datagram.h"
#include "net/PacketInfo.h"

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
    vtpktinfo::Enable(m_fd);
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
        vtpktinfo::Received got;
        if (vtpktinfo::Receive(m_fd, m_buffer.data(), m_buffer.size(), from, got) < 0) {
            if (errno == EINTR)
                continue;
            return; // nothing more now, or an error reported for an earlier send
        }
        // Longer than any request: cut short by the buffer, so never well formed.
        if (got.bTruncated)
            continue;
        const std::uint32_t dwLocal = got.dwLocal;
        const std::uint32_t dwSender = ntohl(from.sin_addr.s_addr);
        const std::uint16_t wSenderPort = ntohs(from.sin_port);
        const AgentCore::Answer answer =
            m_core.Handle(m_buffer.data(), got.nLength, dwSender, wSenderPort, AgentCore::Clock::now());
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
    // The server accepts a reply only from the address it asked.
    if (vtpktinfo::SendFrom(m_fd, bytes.data(), bytes.size(), to, m_bBoundToAll ? dwFrom : 0) < 0)
        m_log("cannot reply to " + Ipv4Text(dwTo) + ':' + std::to_string(wToPort) + ": " +
              std::strerror(errno));
}

} // namespace vtagentd
