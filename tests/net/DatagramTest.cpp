#include "NetTestSupport.h"

#include "net/AgentDatagram.h"
#include "net/WsaError.h"

#include <cerrno>

using namespace vtdgram;
using namespace vttest;

namespace {

/// Bytes from hex text; blanks only separate fields.
Bytes Hex(const std::string& strText)
{
    Bytes b;
    for (std::size_t i = 0; i + 1 < strText.size(); i += strText[i] == ' ' ? 1 : 2)
        if (strText[i] != ' ')
            b.push_back(static_cast<std::uint8_t>(std::stoi(strText.substr(i, 2), nullptr, 16)));
    return b;
}

/// `b` with nLen bytes (0: as long as it is) and byte nAt set to v, its checksum made right again.
Bytes Resum(Bytes b, std::size_t nAt, std::uint8_t v, std::size_t nLen = 0)
{
    b.resize(nLen ? nLen : b.size());
    b[nAt] = v;
    SetChecksum(b.data(), b.size());
    return b;
}

} // namespace

TEST(Wire, RequestsRepliesAndWakePacketByteForByte)
{
    const std::string strHead = "4B575654563130 43 "; // magic, 'C'
    const std::uint32_t dwPc = Ip("192.168.1.20");
    const std::pair<Bytes, std::string> cases[] = {
        {BuildSearchRequest({Ip("10.0.0.3"), Ip("10.0.0.1"), dwPc}),
         strHead + "00000000 0000 0000 DB030000 00000000 0A000003 0A000001 C0A80114 00000000"},
        {BuildStatusRequest(0xA1B2C3D4, dwPc),
         strHead + "D4C3B2A1 0000 0000 AE060000 01000000 C0A80114 00000000"},
        {BuildOperateRequest(9, (1u << 16) | OP_SHUTDOWN, dwPc),
         strHead + "09000000 0400 0100 D2030000 01000000 C0A80114 00000000"},
        {BuildNameReply(0x12345678, "PC-ALPHA"),
         "4B575654563130 52 78563412 0000 0000 8F050000 50432D414C50484100"},
        {BuildOperateReply(99, OP_SHUTDOWN, 1, 5), "4B575654563130 52 63000000 0400 0100 C2020000 05000000"}};
    for (const auto& [built, strExpected] : cases)
        EXPECT_EQ(built, Hex(strExpected));

    std::string strWake = "FFFFFFFFFFFF";
    for (int i = 0; i < 16; ++i)
        strWake += " 001122334455";
    const std::uint8_t mac[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    const auto packet = BuildWakePacket(mac);
    EXPECT_EQ(Bytes(packet.begin(), packet.end()), Hex(strWake));
}

TEST(Acceptance, EachRuleAtItsBoundary)
{
    auto valid = [](const Bytes& b) { return IsValidReply(b.data(), b.size()); };
    const Bytes named = BuildNameReply(7, "ABCDEFGHI"), operated = BuildOperateReply(7, OP_SHUTDOWN, 0, 5);
    ASSERT_EQ(named.size(), 30u);
    for (const Bytes& b : {BuildNameReply(7, ""), named, operated})
        EXPECT_TRUE(valid(b));
    // 23 bytes; magic; kind 'C'; last byte not zero; an operation reply of 25 bytes.
    const Bytes rejected[] = {Resum(BuildNameReply(7, ""), 22, 0, 23), Resum(named, 6, '1'),
                              Resum(named, kOffKind, 'C'), Resum(named, 29, 'J'), Resum(operated, 24, 0, 25)};
    for (std::size_t i = 0; i < std::size(rejected); ++i)
        EXPECT_FALSE(valid(rejected[i])) << "case " << i;
    EXPECT_FALSE(IsValidReply(nullptr, 24));

    for (std::size_t i = 8; i < named.size() - 1; ++i) {
        Bytes bad = named;
        bad[i] ^= 0x01;
        EXPECT_FALSE(valid(bad)) << "byte " << i;
    }
}

TEST(Texts, RecordsHaveAFifteenCharacterAddressFieldNamesBecomeUtf8)
{
    EXPECT_EQ(OperatedRecord(Ip("255.255.255.254"), 4294967295u), "255.255.255.2544294967295");
    // Bytes that are not UTF-8 are Latin-1.
    const std::pair<std::string, std::string> names[] = {{"caf\xC3\xA9", "caf\xC3\xA9"},
                                                         {"caf\xC3", "caf\xC3\x83"}};
    for (const auto& [wire, text] : names)
        EXPECT_EQ(ReplyName(BuildNameReply(1, wire).data(), BuildNameReply(1, wire).size()), text);
}

// Senders that cannot be played over sockets; ids, operations and the rest are matched in the worker tests.
TEST(Matching, ExcludedSendersNeverMatch)
{
    const Bytes status = BuildStatusRequest(77, 0), named = BuildNameReply(77, "X");
    const Bytes operate = BuildOperateRequest(5, OP_REBOOT, 0), code = BuildOperateReply(5, OP_REBOOT, 0, 5);
    const std::vector<std::uint32_t> targets = {Ip("10.0.0.1"), Ip("10.0.0.2"), Ip("10.0.0.2"), 0,
                                                0xFFFFFFFF};
    EXPECT_EQ(AcceptStatusReply(named.data(), 24, status.data(), 32, Ip("10.0.0.2"), targets)->nIndex, 1u);
    EXPECT_TRUE(AcceptOperateReply(code.data(), 24, operate.data(), 32, Ip("10.0.0.2"), targets));
    for (const std::uint32_t dwFrom : {0u, 0xFFFFFFFFu}) {
        EXPECT_FALSE(AcceptStatusReply(named.data(), 24, status.data(), 32, dwFrom, targets)) << dwFrom;
        EXPECT_FALSE(AcceptOperateReply(code.data(), 24, operate.data(), 32, dwFrom, targets)) << dwFrom;
    }
}

TEST(WsaError, MapsErrnoToSocketNumbers)
{
    const std::pair<int, int> numbers[] = {
        {0, 0}, {ETIMEDOUT, 10060}, {ECONNREFUSED, 10054}, {ENOMEM, 14}, {ENOSPC, 10000 + ENOSPC}};
    for (const auto& [nErrno, nNumber] : numbers)
        EXPECT_EQ(vtwsa::FromErrno(nErrno), nNumber) << nErrno;
}
