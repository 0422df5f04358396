#include "app/Password.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PasswordTest, PaddingOfShortPasswords)
{
    EXPECT_EQ(EncodePassword(""), "");
    EXPECT_EQ(EncodePassword("A"), "QQ==");
    EXPECT_EQ(EncodePassword("AB"), "QUI=");
    EXPECT_EQ(EncodePassword("ABC"), "QUJD");
    EXPECT_EQ(EncodePassword("PASSWORD12345678901X"), "UEFTU1dPUkQxMjM0NTY3ODkwMVg=");
    EXPECT_EQ(DecodePassword("QQ=="), "A");
    EXPECT_EQ(DecodePassword("QUI="), "AB");
    EXPECT_EQ(DecodePassword(""), "");
}

TEST(PasswordTest, RoundTripsUpToTwentyBytes)
{
    // Every length and every 6-bit value in each position, high bytes included.
    for (unsigned seed = 1; seed < 64; seed += 7) {
        std::string pw;
        for (std::size_t len = 0; len <= 20; ++len) {
            EXPECT_EQ(DecodePassword(EncodePassword(pw)), pw) << "len " << len << " seed " << seed;
            EXPECT_EQ(EncodePassword(pw).size(), (len + 2) / 3 * 4);
            pw += static_cast<char>((seed * 37 + len * 101) % 255 + 1);
        }
    }
    const std::string upper = "ABCDEFGHIJKLMNOPQRST";
    EXPECT_EQ(DecodePassword(EncodePassword(upper)), upper);
}

TEST(PasswordTest, InputEndsAtZeroByte)
{
    EXPECT_EQ(EncodePassword(std::string("AB\0CD", 5)), "QUI=");
}

TEST(PasswordTest, TolerantDecode)
{
    // Missing padding: the short group is completed with zeros.
    EXPECT_EQ(DecodePassword("QQ"), "A");
    EXPECT_EQ(DecodePassword("QUI"), "AB");
    EXPECT_EQ(DecodePassword("QUJDQQ"), "ABCA");
    // Characters outside the alphabet count as 0 and do not end the text by themselves.
    EXPECT_EQ(DecodePassword("Q=JD"), std::string("@\x02"
                                                  "C"));
    EXPECT_EQ(DecodePassword("Q!JD"), std::string("@\x02"
                                                  "C"));
    // ... but the zero byte that padding produces does.
    EXPECT_EQ(DecodePassword("QQ==QUJD"), "A");
    EXPECT_EQ(DecodePassword("A==="), "");
    EXPECT_EQ(DecodePassword("===="), "");
    // Case matters: "q" is 42, not 16.
    EXPECT_EQ(DecodePassword("qg=="), std::string(1, static_cast<char>(0xAA)));
}

} // namespace
