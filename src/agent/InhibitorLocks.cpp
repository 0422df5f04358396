#include "InhibitorLocks.h"

#include <algorithm>
#include <charconv>
#include <utility>

namespace vtagentd {

namespace {

constexpr std::string_view kSignature = "a(ssssuu)";
constexpr std::string_view kBlanks = " \t\r\n";

class Reader {
public:
    explicit Reader(std::string_view text) : m_text(text) {}

    bool AtEnd()
    {
        SkipBlanks();
        return m_text.empty();
    }

    std::optional<std::string_view> Word()
    {
        SkipBlanks();
        const std::size_t nEnd = std::min(m_text.find_first_of(kBlanks), m_text.size());
        if (nEnd == 0)
            return std::nullopt;
        const std::string_view word = m_text.substr(0, nEnd);
        m_text.remove_prefix(nEnd);
        return word;
    }

    std::optional<unsigned long> Number()
    {
        const auto word = Word();
        unsigned long ul = 0;
        if (!word)
            return std::nullopt;
        const auto [pEnd, error] = std::from_chars(word->data(), word->data() + word->size(), ul);
        if (error != std::errc() || pEnd != word->data() + word->size())
            return std::nullopt;
        return ul;
    }

    std::optional<std::string> Quoted()
    {
        SkipBlanks();
        if (m_text.empty() || m_text.front() != '"')
            return std::nullopt;
        std::string str;
        for (std::size_t i = 1; i < m_text.size(); ++i) {
            const char ch = m_text[i];
            if (ch == '"') {
                m_text.remove_prefix(i + 1);
                // The closing quote ends a word.
                if (!m_text.empty() && kBlanks.find(m_text.front()) == std::string_view::npos)
                    return std::nullopt;
                return str;
            }
            if (ch == '\\' && i + 1 < m_text.size()) {
                const char next = m_text[++i];
                if (next != '"' && next != '\\')
                    str += '\\';
                str += next;
                continue;
            }
            str += ch;
        }
        return std::nullopt;
    }

private:
    void SkipBlanks()
    {
        const std::size_t nStart = m_text.find_first_not_of(kBlanks);
        m_text.remove_prefix(nStart == std::string_view::npos ? m_text.size() : nStart);
    }

    std::string_view m_text;
};

} // namespace

bool InhibitorLock::BlocksShutdown() const
{
    if (strMode != "block")
        return false;
    std::string_view what = strWhat;
    while (!what.empty()) {
        const std::size_t nColon = std::min(what.find(':'), what.size());
        if (what.substr(0, nColon) == "shutdown")
            return true;
        what.remove_prefix(std::min(nColon + 1, what.size()));
    }
    return false;
}

std::vector<std::string> ListInhibitorsCommand(const std::string& strBusctl)
{
    return {strBusctl,
            "--system",
            "call",
            "org.freedesktop.login1",
            "/org/freedesktop/login1",
            "org.freedesktop.login1.Manager",
            "ListInhibitors"};
}

std::optional<std::vector<InhibitorLock>> ParseInhibitorLocks(std::string_view text)
{
    Reader reader(text);
    const auto signature = reader.Word();
    const auto count = reader.Number();
    // Every lock takes at least 16 bytes, so a count beyond that is not believed.
    if (signature != kSignature || !count || *count > text.size() / 16)
        return std::nullopt;
    std::vector<InhibitorLock> locks(*count);
    for (InhibitorLock& lock : locks) {
        auto what = reader.Quoted();
        auto who = reader.Quoted();
        auto why = reader.Quoted();
        auto mode = reader.Quoted();
        const auto uid = reader.Number();
        const auto pid = reader.Number();
        if (!what || !who || !why || !mode || !uid || !pid)
            return std::nullopt;
        lock = {std::move(*what), std::move(*who), std::move(*why), std::move(*mode), *uid, *pid};
    }
    if (!reader.AtEnd())
        return std::nullopt;
    return locks;
}

} // namespace vtagentd
