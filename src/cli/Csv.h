#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// @brief Comma-separated text as spreadsheets write it: fields quoted with double quotes
/// when they hold a comma, a quote or a line break, a doubled quote inside a quoted field.
///
/// Pure functions over UTF-8 text. Reading keeps the line on which each record begins, so
/// every problem can be reported by line number.
namespace vtcsv {

struct Field {
    std::string strText;
    bool bQuoted = false;
};

struct Record {
    int nLine = 0; ///< 1-based line on which the record begins
    std::vector<Field> fields;
};

struct ReadResult {
    std::vector<Record> records;
    int nErrorLine = 0; ///< nonzero: reading stopped at a broken record on this line
    enum class Error { None, UnclosedQuote, TextAfterQuote } error = Error::None;
};

/// Splits the text into records; a leading UTF-8 byte order mark is skipped. Line ends may
/// be LF, CRLF or CR. Unquoted fields lose the blanks (spaces, tabs) around them.
ReadResult Read(std::string_view text);

/// The field as written: quoted when it holds a comma, quote, line break or surrounding
/// blanks, so that Read gives it back unchanged.
std::string Quote(const std::string& strField);
/// One line of fields, ended by a line feed.
std::string Line(const std::vector<std::string>& fields);

/// True when the bytes are well-formed UTF-8.
bool IsUtf8(std::string_view text);

using Mac = std::array<std::uint8_t, 6>;
/// Six pairs of hexadecimal digits (either case) separated by '-' or ':'.
std::optional<Mac> ParseMac(std::string_view text);
/// "00-1B-21-3A-4C-10".
std::string FormatMac(const Mac& mac);

} // namespace vtcsv
