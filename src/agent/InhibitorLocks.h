#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// @brief The inhibitor locks logind holds, as `busctl call org.freedesktop.login1
/// /org/freedesktop/login1 org.freedesktop.login1.Manager ListInhibitors` prints them: the
/// reply's signature, the number of locks, then per lock four quoted strings (what, who,
/// why, mode) and two numbers (uid, pid), separated by blanks.
namespace vtagentd {

struct InhibitorLock {
    std::string strWhat; ///< colon-separated: shutdown, sleep, idle, handle-…
    std::string strWho;
    std::string strWhy;
    std::string strMode; ///< "block" or "delay"
    unsigned long ulUid = 0;
    unsigned long ulPid = 0;

    /// A block-mode lock on shutdown: it holds back a plain reboot or shutdown. A delay-mode
    /// lock does not; logind itself waits for it, a few seconds at most.
    bool BlocksShutdown() const;
};

/// The command line that lists the locks, busctl being `strBusctl`.
std::vector<std::string> ListInhibitorsCommand(const std::string& strBusctl);

/// Anything but that exact shape (another signature, a count that does not match, text
/// left over) is nullopt: the locks cannot be known. Inside the quotes, \" and \\ are
/// read as the character; other escapes are kept as written.
std::optional<std::vector<InhibitorLock>> ParseInhibitorLocks(std::string_view text);

} // namespace vtagentd
