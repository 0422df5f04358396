#include "net/Datagram.h"
#include "net/WsaError.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>

using namespace vtdgram;

namespace {

std::uint32_t Ip(const char* text)
{
    in_addr addr{};
    inet_pton(AF_INET, text, &addr);
    return addr.s_addr;
}

std::vector<std::uint8_t> Reply(std::uint32_t dwId, std::uint16_t wCommand, std::uint16_t wForce,
                                std::size_t nLen)
{
    std::vector<std::uint8_t> b(nLen, 0);
    std::memcpy(b.data(), kMagic, 7);
    b[7] = 'R';
    WriteU32(b.data(), nLen, kOffId, dwId);
    WriteU16(b.data(), nLen, kOffCommand, wCommand);
    WriteU16(b.data(), nLen, kOffForce, wForce);
    return b;
}

std::vector<std::uint8_t> NamedReply(std::uint32_t dwId, const std::string& strName)
{
    auto b = Reply(dwId, 0, 0, kOffParam + strName.size() + 1);
    if (b.size() < kHeaderSize)
        b.resize(kHeaderSize);
    std::memcpy(b.data() + kOffParam, strName.data(), strName.size());
    SetChecksum(b.data(), b.size());
    return b;
}

bool Valid(const std::vector<std::uint8_t>& b)
{
    return IsValidReply(b.data(), b.size());
}

} // namespace

TEST(Checksum, FirstRoundSearchRequest)
{
    const auto req = BuildSearchRequest({});
    ASSERT_EQ(req.size(), 28u);
    EXPECT_EQ(0, std::memcmp(req.data(), "KWVTV10C", 8));
    EXPECT_EQ(ComputeChecksum(req.data(), req.size()), 582u);
    EXPECT_EQ(req[16], 0x46);
    EXPECT_EQ(req[17], 0x02);
    EXPECT_EQ(req[18], 0x00);
    EXPECT_EQ(req[19], 0x00);
    for (std::size_t i = 8; i < 28; ++i) {
        if (i < 16 || i > 19) {
            EXPECT_EQ(req[i], 0) << i;
        }
    }
    EXPECT_TRUE(VerifyChecksum(req.data(), req.size()));
}

TEST(Checksum, WrapsAroundAndSkipsItsOwnBytes)
{
    // Big enough for the sum to pass 2^32.
    const std::size_t nLen = 17'000'000;
    std::vector<std::uint8_t> b(nLen, 0xFF);
    const auto dwExpected = static_cast<std::uint32_t>(0xFFull * (nLen - 4));
    ASSERT_LT(dwExpected, 0xFFull * (nLen - 4));
    EXPECT_EQ(ComputeChecksum(b.data(), b.size()), dwExpected);
    SetChecksum(b.data(), b.size());
    EXPECT_TRUE(VerifyChecksum(b.data(), b.size()));
    std::vector<std::uint8_t> shortBuf(19, 1);
    SetChecksum(shortBuf.data(), shortBuf.size());
    EXPECT_EQ(shortBuf, std::vector<std::uint8_t>(19, 1));
    EXPECT_FALSE(VerifyChecksum(shortBuf.data(), shortBuf.size()));
}

TEST(Acceptance, LengthAndHeaderBoundaries)
{
    const auto good = NamedReply(7, "");
    ASSERT_EQ(good.size(), 24u);
    EXPECT_TRUE(Valid(good));

    auto shortOne = Reply(7, 0, 0, 23);
    SetChecksum(shortOne.data(), shortOne.size());
    EXPECT_FALSE(Valid(shortOne));

    auto request = good;
    request[7] = 'C';
    SetChecksum(request.data(), request.size());
    EXPECT_FALSE(Valid(request));

    auto badMagic = good;
    badMagic[6] = '1';
    SetChecksum(badMagic.data(), badMagic.size());
    EXPECT_FALSE(Valid(badMagic));
    EXPECT_FALSE(IsValidReply(nullptr, 24));
}

TEST(Acceptance, ChecksumCoversEveryOtherByte)
{
    const auto good = NamedReply(0x01020304, "PC-ALPHA");
    ASSERT_TRUE(Valid(good));
    for (std::size_t i = 16; i < 20; ++i) {
        auto bad = good;
        bad[i] ^= 0x01;
        EXPECT_FALSE(Valid(bad)) << "checksum byte " << i;
    }
    for (std::size_t i = 8; i < good.size() - 1; ++i) {
        if (i >= 16 && i < 20)
            continue;
        auto bad = good;
        bad[i] ^= 0x10;
        EXPECT_FALSE(Valid(bad)) << "byte " << i;
    }
    // A change that keeps the byte sum passes the checksum.
    auto same = good;
    same[8] = static_cast<std::uint8_t>(same[8] + 1);
    same[9] = static_cast<std::uint8_t>(same[9] - 1);
    EXPECT_TRUE(Valid(same));
}

TEST(Acceptance, LengthRuleDependsOnCommand)
{
    auto named = Reply(1, 0, 0, 30);
    std::memcpy(named.data() + 20, "ABCDEFGHIJ", 10);
    SetChecksum(named.data(), named.size());
    EXPECT_FALSE(Valid(named)) << "last byte not zero";
    named[29] = 0;
    SetChecksum(named.data(), named.size());
    EXPECT_TRUE(Valid(named));

    auto op = Reply(1, 4, 0, 24);
    WriteU32(op.data(), op.size(), kOffParam, 5);
    SetChecksum(op.data(), op.size());
    EXPECT_TRUE(Valid(op));
    auto opLong = Reply(1, 4, 0, 25);
    SetChecksum(opLong.data(), opLong.size());
    EXPECT_FALSE(Valid(opLong));
}

TEST(RequestLayout, SearchListsFoundPcsInOrder)
{
    const std::vector<std::uint32_t> found = {Ip("10.0.0.3"), Ip("10.0.0.1"), Ip("192.168.1.20")};
    const auto req = BuildSearchRequest(found);
    ASSERT_EQ(req.size(), 40u);
    const std::uint8_t expected[] = {10, 0, 0, 3, 10, 0, 0, 1, 192, 168, 1, 20, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(req.data() + 24, expected, sizeof(expected)));
    EXPECT_EQ(ReadU32(req.data(), req.size(), kOffId), 0u);
    EXPECT_EQ(ReadU32(req.data(), req.size(), kOffParam), 0u);
    EXPECT_TRUE(VerifyChecksum(req.data(), req.size()));
    EXPECT_EQ(BuildSearchRequest(std::vector<std::uint32_t>(253, 1)).size(), 1040u);
}

TEST(RequestLayout, StatusAndOperationCarryOneAddress)
{
    const auto status = BuildStatusRequest(0xA1B2C3D4, Ip("192.168.1.20"));
    ASSERT_EQ(status.size(), 32u);
    const std::uint8_t addr[] = {0xC0, 0xA8, 0x01, 0x14, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(status.data() + 24, addr, 8));
    const std::uint8_t header[] = {'C', 0xD4, 0xC3, 0xB2, 0xA1, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(status.data() + 7, header, sizeof(header)));
    EXPECT_EQ(ReadU32(status.data(), status.size(), kOffParam), 1u);
    EXPECT_TRUE(VerifyChecksum(status.data(), status.size()));

    const auto op = BuildOperateRequest(9, (1u << 16) | OP_SHUTDOWN, Ip("192.168.1.20"));
    ASSERT_EQ(op.size(), 32u);
    EXPECT_EQ(ReadU16(op.data(), op.size(), kOffCommand), 4);
    EXPECT_EQ(ReadU16(op.data(), op.size(), kOffForce), 1);
    EXPECT_EQ(ReadU32(op.data(), op.size(), kOffParam), 1u);
    EXPECT_EQ(0, std::memcmp(op.data() + 24, addr, 8));
    EXPECT_TRUE(VerifyChecksum(op.data(), op.size()));
}

TEST(Records, AddressFieldIsFifteenCharacters)
{
    EXPECT_EQ(AnsweredRecord(Ip("10.0.0.5"), "PC-ALPHA"), "10.0.0.5       PC-ALPHA");
    EXPECT_EQ(AnsweredRecord(Ip("10.0.0.5"), ""), "10.0.0.5       10.0.0.5");
    EXPECT_EQ(SilentRecord(Ip("10.0.0.5")), "10.0.0.5       ");
    EXPECT_EQ(OperatedRecord(Ip("255.255.255.254"), 4294967295u), "255.255.255.2544294967295");
    EXPECT_EQ(OperatedRecord(Ip("1.2.3.4"), 5), "1.2.3.4        5");
}

TEST(Matching, NameLengthSenderAndRequestFields)
{
    const auto request = BuildStatusRequest(77, Ip("10.0.0.2"));
    const std::vector<std::uint32_t> targets = {0, Ip("10.0.0.2"), Ip("10.0.0.2")};
    auto accept = [&](const std::vector<std::uint8_t>& r, const char* from) {
        return AcceptStatusReply(r.data(), r.size(), request.data(), request.size(), Ip(from), targets);
    };
    auto match = accept(NamedReply(77, "ABCDEFGHIJKLMNO"), "10.0.0.2");
    ASSERT_TRUE(match);
    EXPECT_EQ(match->nIndex, 1u);
    EXPECT_EQ(match->strRecord, "10.0.0.2       ABCDEFGHIJKLMNO");
    EXPECT_FALSE(accept(NamedReply(77, "ABCDEFGHIJKLMNOP"), "10.0.0.2"));
    EXPECT_FALSE(accept(NamedReply(78, "X"), "10.0.0.2"));
    EXPECT_FALSE(accept(NamedReply(77, "X"), "10.0.0.3"));
    EXPECT_FALSE(accept(NamedReply(77, "X"), "0.0.0.0"));

    const std::vector<std::uint32_t> odd = {Ip("127.0.0.1"), Ip("255.255.255.255"), Ip("0.0.0.0")};
    for (std::uint32_t dwSender : odd) {
        const auto r = NamedReply(77, "X");
        EXPECT_FALSE(AcceptStatusReply(r.data(), r.size(), request.data(), request.size(), dwSender, odd));
    }
    EXPECT_TRUE(IsExcludedSender(Ip("127.0.0.1")));
    EXPECT_FALSE(IsExcludedSender(Ip("127.0.0.2")));
}

TEST(Matching, SearchIgnoresListedSenders)
{
    const auto request = BuildSearchRequest({Ip("10.0.0.2")});
    const auto reply = NamedReply(0, "NEW");
    const std::vector<std::uint32_t> found = {Ip("10.0.0.2")};
    EXPECT_FALSE(
        AcceptSearchReply(reply.data(), reply.size(), request.data(), request.size(), Ip("10.0.0.2"), found));
    EXPECT_EQ(
        *AcceptSearchReply(reply.data(), reply.size(), request.data(), request.size(), Ip("10.0.0.3"), found),
        "10.0.0.3       NEW");
}

TEST(Matching, OperationNeedsSameOperationAndNonzeroCode)
{
    const auto request = BuildOperateRequest(5, (1u << 16) | OP_REBOOT, Ip("10.0.0.9"));
    const std::vector<std::uint32_t> targets = {Ip("10.0.0.9")};
    auto reply = [](std::uint16_t wCommand, std::uint16_t wForce, std::uint32_t dwCode) {
        auto r = Reply(5, wCommand, wForce, 24);
        WriteU32(r.data(), r.size(), kOffParam, dwCode);
        SetChecksum(r.data(), r.size());
        return r;
    };
    auto accept = [&](const std::vector<std::uint8_t>& r, std::uint32_t dwSender) {
        return AcceptOperateReply(r.data(), r.size(), request.data(), request.size(), dwSender, targets);
    };
    EXPECT_EQ(*accept(reply(2, 1, 5), Ip("10.0.0.9")), "10.0.0.9       5");
    EXPECT_FALSE(accept(reply(2, 1, 0), Ip("10.0.0.9")));
    EXPECT_FALSE(accept(reply(2, 0, 5), Ip("10.0.0.9")));
    EXPECT_FALSE(accept(reply(4, 1, 5), Ip("10.0.0.9")));
    EXPECT_FALSE(accept(reply(2, 1, 5), Ip("10.0.0.8")));
}

TEST(ReplyName, StopsAtZeroAndKeepsTextUtf8)
{
    const auto r = NamedReply(1, "AB");
    EXPECT_EQ(*ReplyName(r.data(), r.size()), "AB");
    std::vector<std::uint8_t> latin = NamedReply(1, "caf\xE9");
    EXPECT_EQ(*ReplyName(latin.data(), latin.size()), "caf\xC3\xA9");
    std::vector<std::uint8_t> utf8 = NamedReply(1, "caf\xC3\xA9");
    EXPECT_EQ(*ReplyName(utf8.data(), utf8.size()), "caf\xC3\xA9");
    std::vector<std::uint8_t> cut = NamedReply(1, "caf\xC3");
    EXPECT_EQ(*ReplyName(cut.data(), cut.size()), "caf\xC3\x83");
}

TEST(OwnAddressesLast, KeepOrderOfOthersAndReverseOwn)
{
    std::vector<std::uint32_t> addresses = {1, 2, 3, 4, 5};
    std::vector<std::uint32_t> codes = {10, 20, 30, 40, 50};
    MoveOwnAddressesLast(addresses, codes, {2, 4, 99});
    EXPECT_EQ(addresses, (std::vector<std::uint32_t>{1, 3, 5, 4, 2}));
    EXPECT_EQ(codes, (std::vector<std::uint32_t>{10, 30, 50, 40, 20}));
    MoveOwnAddressesLast(addresses, codes, {});
    EXPECT_EQ(addresses, (std::vector<std::uint32_t>{1, 3, 5, 4, 2}));
}

TEST(WakePacket, MagicThenSixteenCopies)
{
    const std::uint8_t mac[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    const auto packet = BuildWakePacket(mac);
    ASSERT_EQ(packet.size(), 102u);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(packet[static_cast<std::size_t>(i)], 0xFF);
    for (std::size_t copy = 0; copy < 16; ++copy)
        EXPECT_EQ(0, std::memcmp(packet.data() + 6 + 6 * copy, mac, 6)) << copy;
}

TEST(WsaError, MapsErrnoToSocketNumbers)
{
    const std::pair<int, int> table[] = {{0, 0},
                                         {EADDRINUSE, 10048},
                                         {EADDRNOTAVAIL, 10049},
                                         {EACCES, 10013},
                                         {ENETUNREACH, 10051},
                                         {EHOSTUNREACH, 10065},
                                         {ECONNABORTED, 10053},
                                         {ECONNRESET, 10054},
                                         {ECONNREFUSED, 10054},
                                         {EMSGSIZE, 10040},
                                         {EFAULT, 10014},
                                         {EINTR, 10004},
                                         {ETIMEDOUT, 10060},
                                         {EINVAL, 10022},
                                         {EAFNOSUPPORT, 10047},
                                         {EMFILE, 10024},
                                         {ENOBUFS, 10055},
                                         {ENOMEM, 14}};
    for (const auto& [nErrno, nWsa] : table)
        EXPECT_EQ(vtwsa::FromErrno(nErrno), nWsa) << nErrno;
    EXPECT_EQ(vtwsa::FromErrno(ENOSPC), 10000 + ENOSPC);
}
