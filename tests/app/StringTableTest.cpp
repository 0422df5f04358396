#include "app/StringTable.h"

#include <QString>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using vtstr::Language;
using vtstr::LoadString;

constexpr std::uint32_t kMessageIds[] = {128,  129,  130,  1024, 1025, 1026, 1027,  1028,  1029, 1030,
                                         1031, 1036, 1037, 1038, 1039, 1536, 1537,  1538,  1539, 2048,
                                         2049, 2050, 2051, 2052, 2053, 2054, 2055,  2057,  2058, 2059,
                                         2060, 2061, 2062, 2063, 2064, 2065, 57344, 57345, 59142};
// Prompt, line break, tooltip.
constexpr std::uint32_t kCommandIds[] = {32771, 32772, 32773, 32774, 32775, 32776, 32777, 32778,
                                         32780, 32781, 32782, 32784, 32785, 32786, 32787, 32788,
                                         32789, 32793, 32794, 57642, 57664, 57665, 59392, 59393};
constexpr std::uint32_t kSystemMenuIds[] = {61184, 61185, 61186, 61187, 61188, 61189, 61190, 61202, 61203};

int Lines(const std::string& s)
{
    int n = 1;
    for (char c : s)
        n += c == '\n' ? 1 : 0;
    return n;
}

bool ValidUtf8(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())).toStdString() == s &&
           !QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()))
                .contains(QChar::ReplacementCharacter);
}

TEST(StringTableTest, EveryIdLoadsInBothLanguages)
{
    for (Language lang : {Language::English, Language::Japanese}) {
        for (std::uint32_t id : kMessageIds) {
            const std::string s = LoadString(id, lang);
            EXPECT_FALSE(s.empty()) << id;
            EXPECT_TRUE(ValidUtf8(s)) << id;
        }
        for (std::uint32_t id : kCommandIds) {
            const std::string s = LoadString(id, lang);
            EXPECT_EQ(Lines(s), 2) << id;
            EXPECT_NE(s.front(), '\n') << id;
            EXPECT_NE(s.back(), '\n') << id;
            EXPECT_TRUE(ValidUtf8(s)) << id;
        }
        for (std::uint32_t id : kSystemMenuIds) {
            const std::string s = LoadString(id, lang);
            EXPECT_EQ(Lines(s), 1) << id;
            EXPECT_FALSE(s.empty()) << id;
            EXPECT_TRUE(ValidUtf8(s)) << id;
        }
        EXPECT_EQ(LoadString(0, lang), "");
        EXPECT_EQ(LoadString(2056, lang), "");
        EXPECT_EQ(LoadString(99999, lang), "");
    }
    // Help > Contents has its own id in each language's menu.
    EXPECT_EQ(LoadString(32791, Language::English), "");
    EXPECT_EQ(LoadString(32791, Language::Japanese), "ヘルプを表示します\n目次");
    EXPECT_EQ(LoadString(32792, Language::English), "Displays \"Help\".\nContents");
    EXPECT_EQ(LoadString(32792, Language::Japanese), "");
}

TEST(StringTableTest, TextsKeptVerbatim)
{
    EXPECT_EQ(LoadString(1031, Language::English), "Incorrect passward.");
    EXPECT_EQ(LoadString(57642, Language::English), "Select all item in the windowt\nSelect All");
    EXPECT_EQ(LoadString(32786, Language::English), "Force Power OFF of selected object.\nFotced Power OFF.");
    EXPECT_EQ(LoadString(2057, Language::Japanese), "検索処理中です．．．");
    EXPECT_EQ(LoadString(32786, Language::Japanese),
              "選択したオブジェクトを強制パワーＯＦＦさせる\n強制パワーＯＦＦ");
    EXPECT_EQ(LoadString(61190, Language::Japanese), "作業中のｳｨﾝﾄﾞｳを閉る");
    for (Language lang : {Language::English, Language::Japanese}) {
        EXPECT_EQ(LoadString(57344, lang), "VT Server");
        EXPECT_EQ(LoadString(57345, lang), " ");
        EXPECT_EQ(LoadString(128, lang), "Veltrane Server\n\nZEV\n\n\nZEV.Document\nZEV Document");
    }
}

TEST(StringTableTest, ActivityPaneWidthIs24Characters)
{
    const std::string en = LoadString(59142, Language::English);
    EXPECT_EQ(en, std::string(24, '-'));
    const QString ja = QString::fromUtf8(LoadString(59142, Language::Japanese).c_str());
    ASSERT_EQ(ja.size(), 24);
    EXPECT_EQ(ja, QString(24, QChar(0xFF0D)));
}

TEST(StringTableTest, ErrorCodeFormatting)
{
    vtstr::SetLanguage(Language::Japanese);
    EXPECT_EQ(vtstr::FormatError(10048), "エラーです。\nエラーコード：10048");
    EXPECT_EQ(LoadString(2048), "ネットワーク上のPC");
    vtstr::SetLanguage(Language::English);
    EXPECT_EQ(vtstr::FormatError(10048), "Error\nError code:10048");
    EXPECT_EQ(vtstr::FormatError(4294967295U), "Error\nError code:4294967295");
    EXPECT_EQ(LoadString(2048), "PC in Network");
}

// Run once with an English and once with a Japanese system environment (see CMakeLists).
TEST(LanguageTest, FollowsSystemUntilSet)
{
    const char* expect = std::getenv("VT_EXPECT_LANGUAGE");
    const Language expected =
        expect != nullptr && std::string(expect) == "ja" ? Language::Japanese : Language::English;
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
