#include "app/Password.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PasswordTest, Base64BothWaysAndTolerantDecode)
{
    const std::pair<std::string, std::string> pairs[] = {
        {"", ""}, {"A", "QQ=="}, {"AB", "QUI="}, {"ABC", "QUJD"}};
    for (const auto& [plain, coded] : pairs) {
        EXPECT_EQ(EncodePassword(plain), coded);
        EXPECT_EQ(DecodePassword(coded), plain);
    }
    EXPECT_EQ(EncodePassword(std::string("AB\0CD", 5)), "QUI="); // the input ends at a zero byte

    // Every length up to twenty bytes, every 6-bit value in each position, high bytes too.
    for (unsigned seed = 1; seed < 64; seed += 7) {
        std::string pw;
        for (std::size_t len = 0; len <= 20; ++len) {
            EXPECT_EQ(DecodePassword(EncodePassword(pw)), pw) << "len " << len << " seed " << seed;
            pw += static_cast<char>((seed * 37 + len * 101) % 255 + 1);
        }
    }

    const std::pair<const char*, std::string> cases[] = {
        // Missing padding: the short group is completed with zeros.
        {"QQ", "A"},
        {"QUI", "AB"},
        {"QUJDQQ", "ABCA"},
        // Characters outside the alphabet count as 0 and do not end the text by themselves ...
        {"Q=JD", "@\x02\x43"},
        // ... but the zero byte that padding produces does.
        {"QQ==QUJD", "A"},
        {"====", ""},
        {"qg==", "\xAA"}, // case matters: "q" is 42, not 16
    };
    for (const auto& [coded, plain] : cases)
        EXPECT_EQ(DecodePassword(coded), plain) << coded;
}

} // namespace
