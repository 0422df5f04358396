// Feeds arbitrary datagrams to the agent's decisions, each twice. The first input byte
// picks the sender and how long after the first the second copy arrives; the rest is the
// datagram.
#include "AgentCore.h"
#include "net/Datagram.h"

#include <cstddef>
#include <cstdint>

namespace {

class Host final : public vtagentd::HostAddresses {
public:
    std::vector<std::uint32_t> OwnAddresses() override { return {0x7F000001, 0x0A00000B}; }
    std::vector<vtagentd::Ipv4Net> OwnNetworks() override { return {{0x0A000000, 8}}; }
};

class Power final : public vtagentd::PowerControl {
public:
    std::uint32_t Prepare(const vtagentd::PowerOperation&) override
    {
        ++m_nPrepared;
        return m_nPrepared % 2 == 1 ? vtagentd::kResultAccepted : vtagentd::kResultRefused;
    }
    void CarryOut(const vtagentd::PowerOperation&) override {}
    int m_nPrepared = 0;
};

void Check(const vtagentd::AgentCore::Answer& answer, const std::uint8_t* p, std::size_t n)
{
    if (answer.reply.empty())
        return;
    // Every reply passes the server's own acceptance test and answers the request's id.
    if (!vtdgram::IsValidReply(answer.reply.data(), answer.reply.size()) ||
        vtdgram::ReadU32(answer.reply.data(), answer.reply.size(), vtdgram::kOffId) !=
            vtdgram::ReadU32(p, n, vtdgram::kOffId))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    static const std::uint32_t kSenders[] = {0x0A000001, 0x0B000001, 0x0A0000FF, 0};
    const std::uint32_t dwSender = kSenders[data[0] & 3];
    const auto later = std::chrono::milliseconds((data[0] >> 2) * 250); // up to 15.75 s
    const std::uint8_t* p = data + 1;
    const std::size_t n = size - 1;

    Host host;
    Power power;
    vtagentd::AgentCore core("FUZZ", {}, true, host, power, [](const std::string&) {});
    const auto t0 = vtagentd::AgentCore::Clock::time_point{} + std::chrono::hours(1);
    const auto first = core.Handle(p, n, dwSender, 9000, t0);
    Check(first, p, n);
    if (first.carryOut && power.m_nPrepared != 1)
        __builtin_trap();
    const auto second = core.Handle(p, n, dwSender, 9000, t0 + later);
    Check(second, p, n);
    // A copy within 10 s is answered like the first and never carried out again.
    if (later < vtagentd::AgentCore::kRepeatWindow && (second.carryOut || second.reply != first.reply))
        __builtin_trap();
    return 0;
}
