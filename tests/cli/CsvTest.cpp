#include "cli/Csv.h"

#include <gtest/gtest.h>

namespace {

using Rows = std::vector<std::pair<int, std::vector<std::string>>>;

Rows Fields(const vtcsv::ReadResult& result)
{
    Rows rows;
    for (const vtcsv::Record& record : result.records) {
        rows.push_back({record.nLine, {}});
        for (const vtcsv::Field& field : record.fields)
            rows.back().second.push_back(field.strText);
    }
    return rows;
}

TEST(Csv, ReadsSpreadsheetTextWithTheLineEachRecordBeginsOn)
{
    const struct {
        const char* pszText;
        Rows expected;
    } cases[] = {
        {"\xEF\xBB\xBF"
         "a,b\r\nc,d\r\n",
         {{1, {"a", "b"}}, {2, {"c", "d"}}}},
        {" a , b\t,\n", {{1, {"a", "b", ""}}}},
        {"\"x, \"\"y\"\"\",\" kept \"\n", {{1, {"x, \"y\"", " kept "}}}},
        {"\"two\nlines\",z\nnext,\"\"\r\nlast", {{1, {"two\nlines", "z"}}, {3, {"next", ""}}, {4, {"last"}}}},
        {"a\rb\n\n,\n", {{1, {"a"}}, {2, {"b"}}, {3, {""}}, {4, {"", ""}}}},
    };
    for (const auto& c : cases) {
        const vtcsv::ReadResult result = vtcsv::Read(c.pszText);
        EXPECT_EQ(result.error, vtcsv::ReadResult::Error::None) << c.pszText;
        EXPECT_EQ(Fields(result), c.expected) << c.pszText;
    }

    EXPECT_EQ(vtcsv::Read("a\nb,\"open\n\n").nErrorLine, 2);
    EXPECT_EQ(vtcsv::Read("a\nb,\"open\n\n").error, vtcsv::ReadResult::Error::UnclosedQuote);
    EXPECT_EQ(vtcsv::Read("a\n\"q\"x,b\n").error, vtcsv::ReadResult::Error::TextAfterQuote);
}

TEST(Csv, MacAddressesInEitherNotationAndUtf8Checks)
{
    const vtcsv::Mac expected = {0x00, 0x1B, 0x21, 0x3A, 0x4C, 0x10};
    for (const char* pszGood : {"00-1B-21-3A-4C-10", "00:1b:21:3a:4c:10", "00-1b:21-3A:4c-10"})
        EXPECT_EQ(vtcsv::ParseMac(pszGood), expected) << pszGood;
    for (const char* pszBad : {"", "00-1B-21-3A-4C", "00-1B-21-3A-4C-10-", "001B213A4C10",
                               "00 1B 21 3A 4C 10", "0G-1B-21-3A-4C-10", "0-1B-21-3A-4C-100"})
        EXPECT_FALSE(vtcsv::ParseMac(pszBad)) << pszBad;
    EXPECT_EQ(vtcsv::FormatMac({0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}), "0A-1B-2C-3D-4E-5F");

    for (const char* pszGood : {"", "abc", "端末３", "\xF0\x9F\x98\x80"})
        EXPECT_TRUE(vtcsv::IsUtf8(pszGood)) << pszGood;
    for (const char* pszBad : {"\xFF", "a\xE7\xAB", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80"})
        EXPECT_FALSE(vtcsv::IsUtf8(pszBad));
}

} // namespace
