#include "app/StringTable.h"

#include <QString>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using vtstr::Language;
using vtstr::LoadString;

constexpr std::uint32_t kIds[] = {
    128,   129,   130,   1024,  1025,  1026,  1027,  1028,  1029,  1030,  1031,  1036,  1037,  1038,  1039,
    1536,  1537,  1538,  1539,  2048,  2049,  2050,  2051,  2052,  2053,  2054,  2055,  2057,  2058,  2059,
    2060,  2061,  2062,  2063,  2064,  2065,  32771, 32772, 32773, 32774, 32775, 32776, 32777, 32778, 32780,
    32781, 32782, 32784, 32785, 32786, 32787, 32788, 32789, 32793, 32794, 57344, 57345, 57642, 57664, 57665,
    59142, 59392, 59393, 61184, 61185, 61186, 61187, 61188, 61189, 61190, 61202, 61203};

// Both languages have every text, as valid UTF-8 and with the same lines (a command's
// prompt and tooltip, a message's paragraphs).
TEST(StringTableTest, EveryIdLoadsInBothLanguages)
{
    for (std::uint32_t id : kIds) {
        const std::string en = LoadString(id, Language::English);
        const std::string ja = LoadString(id, Language::Japanese);
        EXPECT_FALSE(en.empty() || ja.empty()) << id;
        EXPECT_EQ(std::count(en.begin(), en.end(), '\n'), std::count(ja.begin(), ja.end(), '\n')) << id;
        for (const std::string& s : {en, ja})
            EXPECT_EQ(QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())).toStdString(), s) << id;
    }
    for (std::uint32_t id : {0U, 2056U, 99999U})
        EXPECT_EQ(LoadString(id, Language::English) + LoadString(id, Language::Japanese), "");
}

// Help > Contents has its own id in each language's menu; error codes fill the message's
// number in either language.
TEST(StringTableTest, HelpContentsAndErrorCodes)
{
    EXPECT_EQ(LoadString(32791, Language::English) + LoadString(32792, Language::Japanese), "");
    EXPECT_EQ(LoadString(32791, Language::Japanese), "ヘルプを表示します\n目次");
    EXPECT_EQ(LoadString(32792, Language::English), "Displays \"Help\".\nContents");
    vtstr::SetLanguage(Language::Japanese);
    EXPECT_EQ(vtstr::FormatError(10048), "エラーです。\nエラーコード：10048");
    vtstr::SetLanguage(Language::English);
    EXPECT_EQ(vtstr::FormatError(4294967295U), "Error\nError code:4294967295");
}

// Run once with an English and once with a Japanese system environment (see CMakeLists).
TEST(LanguageTest, FollowsSystemUntilSet)
{
    const Language expected = qgetenv("VT_EXPECT_LANGUAGE") == "ja" ? Language::Japanese : Language::English;
    EXPECT_EQ(vtstr::SystemLanguage(), expected);
    EXPECT_EQ(vtstr::CurrentLanguage(), expected);
    EXPECT_EQ(LoadString(2054), LoadString(2054, expected));

    const Language other = expected == Language::English ? Language::Japanese : Language::English;
    vtstr::SetLanguage(other);
    EXPECT_EQ(vtstr::CurrentLanguage(), other);
    EXPECT_EQ(vtstr::SystemLanguage(), expected);
    EXPECT_EQ(LoadString(2054), LoadString(2054, other));
}

} // namespace
