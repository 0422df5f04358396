#include "cli/Csv.h"

#include "model/CKw.h"
#include "net/AddressLookup.h"

namespace vtcsv {

namespace {

bool IsBlank(char ch)
{
    return ch == ' ' || ch == '\t';
}

std::string Trimmed(const std::string& str)
{
    std::size_t nBegin = 0;
    std::size_t nEnd = str.size();
    while (nBegin < nEnd && IsBlank(str[nBegin]))
        ++nBegin;
    while (nEnd > nBegin && IsBlank(str[nEnd - 1]))
        --nEnd;
    return str.substr(nBegin, nEnd - nBegin);
}

} // namespace

ReadResult Read(std::string_view text)
{
    ReadResult result;
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);

    std::size_t i = 0;
    int nLine = 1;
    const auto atLineEnd = [&] { return text[i] == '\n' || text[i] == '\r'; };
    const auto skipLineEnd = [&] {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        ++i;
        ++nLine;
    };

    while (i < text.size()) {
        Record record;
        record.nLine = nLine;
        for (;;) {
            Field field;
            std::size_t nLead = i;
            while (nLead < text.size() && IsBlank(text[nLead]))
                ++nLead;
            if (nLead < text.size() && text[nLead] == '"') {
                const int nQuoteLine = nLine;
                field.bQuoted = true;
                i = nLead + 1;
                for (;;) {
                    if (i >= text.size()) {
                        result.error = ReadResult::Error::UnclosedQuote;
                        result.nErrorLine = nQuoteLine;
                        return result;
                    }
                    if (text[i] == '"') {
                        if (i + 1 < text.size() && text[i + 1] == '"') {
                            field.strText += '"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')))
                        ++nLine;
                    field.strText += text[i++];
                }
                while (i < text.size() && IsBlank(text[i]))
                    ++i;
                if (i < text.size() && text[i] != ',' && !atLineEnd()) {
                    result.error = ReadResult::Error::TextAfterQuote;
                    result.nErrorLine = nLine;
                    return result;
                }
            } else {
                const std::size_t nBegin = i;
                while (i < text.size() && text[i] != ',' && !atLineEnd())
                    ++i;
                field.strText = Trimmed(std::string(text.substr(nBegin, i - nBegin)));
            }
            record.fields.push_back(std::move(field));
            if (i < text.size() && text[i] == ',') {
                ++i;
                continue;
            }
            break;
        }
        if (i < text.size())
            skipLineEnd();
        result.records.push_back(std::move(record));
    }
    return result;
}

std::string Quote(const std::string& strField)
{
    const bool bQuote = strField.find_first_of(",\"\r\n") != std::string::npos ||
                        (!strField.empty() && (IsBlank(strField.front()) || IsBlank(strField.back())));
    if (!bQuote)
        return strField;
    std::string strOut = "\"";
    for (const char ch : strField) {
        if (ch == '"')
            strOut += '"';
        strOut += ch;
    }
    return strOut + '"';
}

std::string Line(const std::vector<std::string>& fields)
{
    std::string strLine;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            strLine += ',';
        strLine += Quote(fields[i]);
    }
    return strLine + '\n';
}

bool IsUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t nMore = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if (c >= 0xC2 && c <= 0xDF) {
            nMore = 1;
            cp = c & 0x1Fu;
        } else if (c >= 0xE0 && c <= 0xEF) {
            nMore = 2;
            cp = c & 0x0Fu;
        } else if (c >= 0xF0 && c <= 0xF4) {
            nMore = 3;
            cp = c & 0x07u;
        } else {
            return false;
        }
        if (i + nMore >= text.size())
            return false;
        for (std::size_t k = 1; k <= nMore; ++k) {
            const auto cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0u) != 0x80u)
                return false;
            cp = (cp << 6) | (cc & 0x3Fu);
        }
        // Over-long forms, surrogates and values past U+10FFFF.
        if ((nMore == 2 && cp < 0x800) || (nMore == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += nMore + 1;
    }
    return true;
}

std::optional<Mac> ParseMac(std::string_view text)
{
    return vtlookup::ParseMac(text, "-:");
}

std::string FormatMac(const Mac& mac)
{
    return MacToText(mac.data());
}

} // namespace vtcsv
