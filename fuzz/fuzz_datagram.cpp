// Feeds arbitrary datagrams to the reply acceptance and to the matching of the three
// exchanges. The first input byte picks the sender, the rest is the datagram.
#include "net/Datagram.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    static const std::uint32_t kSenders[] = {0x0200000A, 0x0100007F, 0, 0xFFFFFFFF};
    const std::uint32_t dwSender = kSenders[data[0] % 4];
    const std::uint8_t* p = data + 1;
    const std::size_t n = size - 1;

    const bool bValid = vtdgram::IsValidReply(p, n);
    vtdgram::VerifyChecksum(p, n);
    vtdgram::ReplyName(p, n);

    // Requests that a reply could answer: its own id and operation, so matching goes deep.
    const std::uint32_t dwId = vtdgram::ReadU32(p, n, vtdgram::kOffId);
    const std::uint32_t dwOperation =
        vtdgram::ReadU16(p, n, vtdgram::kOffCommand) |
        (static_cast<std::uint32_t>(vtdgram::ReadU16(p, n, vtdgram::kOffForce)) << 16);
    std::vector<std::uint32_t> targets = {0, dwSender, 0x0300000A};

    const auto search = vtdgram::BuildSearchRequest({0x0300000A});
    const auto status = vtdgram::BuildStatusRequest(dwId, dwSender);
    const auto operate = vtdgram::BuildOperateRequest(dwId, dwOperation, dwSender);

    const auto found = vtdgram::AcceptSearchReply(p, n, search.data(), search.size(), dwSender, {0x0300000A});
    const auto answered = vtdgram::AcceptStatusReply(p, n, status.data(), status.size(), dwSender, targets);
    const auto operated =
        vtdgram::AcceptOperateReply(p, n, operate.data(), operate.size(), dwSender, targets);

    if ((found || answered || operated) && !bValid)
        __builtin_trap();
    if (answered &&
        (answered->nIndex >= targets.size() || answered->strRecord.size() < vtdgram::kRecordField))
        __builtin_trap();
    if (found && found->size() < vtdgram::kRecordField)
        __builtin_trap();
    if (operated && operated->size() <= vtdgram::kRecordField)
        __builtin_trap();
    return 0;
}
