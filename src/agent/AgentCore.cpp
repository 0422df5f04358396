#include "AgentCore.h"

#include "net/AgentDatagram.h"

#include <arpa/inet.h>

#include <algorithm>
#include <utility>

namespace vtagentd {

namespace {

std::string OperationText(std::uint16_t wCommand, std::uint16_t wForce)
{
    if ((wCommand == vtdgram::OP_REBOOT || wCommand == vtdgram::OP_SHUTDOWN) && wForce <= 1)
        return std::string(wForce ? "forcible " : "") +
               (wCommand == vtdgram::OP_REBOOT ? "reboot" : "shutdown");
    return "operation " + std::to_string(wCommand) + " (force " + std::to_string(wForce) + ")";
}

std::string ResultText(std::uint32_t dwResult)
{
    switch (dwResult) {
    case kResultAccepted:
        return "0 accepted";
    case kResultRefused:
        return "1 refused by policy";
    case kResultUnknownOperation:
        return "2 unknown operation";
    case kResultNotStarted:
        return "3 could not be started";
    default:
        return std::to_string(dwResult);
    }
}

} // namespace

AgentCore::AgentCore(std::string strName, std::vector<Ipv4Net> allow, bool bVerbose, HostAddresses& host,
                     PowerControl& power, LogSink log)
    : m_strName(std::move(strName)), m_allow(std::move(allow)), m_bVerbose(bVerbose), m_host(host),
      m_power(power), m_log(std::move(log))
{
}

bool AgentCore::IsAllowed(std::uint32_t dwSender)
{
    const std::vector<Ipv4Net> nets = m_allow.empty() ? m_host.OwnNetworks() : m_allow;
    return std::any_of(nets.begin(), nets.end(), [&](const Ipv4Net& net) { return net.Contains(dwSender); });
}

bool AgentCore::IsOwn(std::uint32_t dwHost)
{
    const std::vector<std::uint32_t> own = m_host.OwnAddresses();
    return std::find(own.begin(), own.end(), dwHost) != own.end();
}

void AgentCore::NoteDenied(std::uint32_t dwSender, Clock::time_point now)
{
    std::erase_if(m_denied, [&](const auto& entry) { return now - entry.second >= kDeniedLogInterval; });
    // A flood from many spoofed senders fills the table and is then noted no more.
    if (m_denied.count(dwSender) || m_denied.size() >= kMaxRemembered)
        return;
    m_denied[dwSender] = now;
    m_log("ignoring datagrams from " + Ipv4Text(dwSender) +
          ": not in the allowed list (noted at most once a minute per sender)");
}

bool AgentCore::TakeReplyToken(Clock::time_point now)
{
    if (m_tokensAt != Clock::time_point{}) {
        const double dSeconds = std::chrono::duration<double>(now - m_tokensAt).count();
        m_dTokens =
            std::min<double>(kRepliesPerSecond, m_dTokens + std::max(0.0, dSeconds) * kRepliesPerSecond);
    }
    m_tokensAt = now;
    if (m_dTokens < 1.0)
        return false;
    m_dTokens -= 1.0;
    return true;
}

AgentCore::Answer AgentCore::Handle(const std::uint8_t* p, std::size_t nLen, std::uint32_t dwSender,
                                    std::uint16_t wSenderPort, Clock::time_point now)
{
    const std::string strSender = Ipv4Text(dwSender);
    const auto note = [&](const std::string& strWhat) {
        if (m_bVerbose)
            m_log(strSender + ':' + std::to_string(wSenderPort) + ", " + std::to_string(nLen) +
                  " bytes: " + strWhat);
    };
    if (!IsAllowed(dwSender)) {
        note("sender not allowed, dropped");
        NoteDenied(dwSender, now);
        return {};
    }

    const vtdgram::AgentRequest req = vtdgram::ParseAgentRequest(p, nLen);
    Answer answer;
    std::string strWhat;
    switch (req.type) {
    case vtdgram::RequestType::Invalid:
        note("not a request, dropped");
        return {};
    case vtdgram::RequestType::Search: {
        const std::vector<std::uint32_t> own = m_host.OwnAddresses();
        if (std::any_of(own.begin(), own.end(), [&](std::uint32_t dw) { return req.Lists(htonl(dw)); })) {
            note("search that lists this PC, not answered");
            return {};
        }
        answer.reply = vtdgram::BuildNameReply(req.dwId, m_strName);
        strWhat = "search";
        break;
    }
    case vtdgram::RequestType::Status: {
        const std::uint32_t dwTarget = ntohl(req.addresses.front());
        if (!IsOwn(dwTarget)) {
            note("status request for " + Ipv4Text(dwTarget) + ", not this PC");
            return {};
        }
        answer.reply = vtdgram::BuildNameReply(req.dwId, m_strName);
        strWhat = "status request";
        break;
    }
    case vtdgram::RequestType::Operate: {
        const std::uint32_t dwTarget = ntohl(req.addresses.front());
        const std::string strOperation = OperationText(req.wCommand, req.wForce);
        if (!IsOwn(dwTarget)) {
            m_log(strOperation + " from " + strSender + " for " + Ipv4Text(dwTarget) +
                  ": not this PC, ignored");
            return {};
        }
        while (!m_done.empty() && now - m_done.front().at >= kRepeatWindow)
            m_done.pop_front();
        const auto repeat = std::find_if(m_done.begin(), m_done.end(), [&](const Done& done) {
            return done.dwSender == dwSender && done.dwId == req.dwId && done.wCommand == req.wCommand &&
                   done.wForce == req.wForce;
        });
        std::uint32_t dwResult = 0;
        if (repeat != m_done.end()) {
            dwResult = repeat->dwResult;
            m_log(strOperation + " from " + strSender + ": repeated, answered " + ResultText(dwResult) +
                  " again, not carried out again");
        } else {
            const bool bKnown =
                (req.wCommand == vtdgram::OP_REBOOT || req.wCommand == vtdgram::OP_SHUTDOWN) &&
                req.wForce <= 1;
            const PowerOperation op{req.wCommand == vtdgram::OP_REBOOT, req.wForce == 1, dwSender};
            dwResult = bKnown ? m_power.Prepare(op) : kResultUnknownOperation;
            if (m_done.size() >= kMaxRemembered)
                m_done.pop_front();
            m_done.push_back({now, dwSender, req.dwId, req.wCommand, req.wForce, dwResult});
            m_log(strOperation + " from " + strSender + ": " + ResultText(dwResult));
            if (bKnown && dwResult == kResultAccepted)
                answer.carryOut = op;
        }
        answer.reply = vtdgram::BuildOperateReply(req.dwId, req.wCommand, req.wForce, dwResult);
        strWhat = strOperation;
        break;
    }
    }
    if (!TakeReplyToken(now)) {
        note(strWhat + ", reply dropped: over " + std::to_string(kRepliesPerSecond) + " replies a second");
        answer.reply.clear();
    } else {
        note(strWhat + ", answered");
    }
    return answer;
}

} // namespace vtagentd
