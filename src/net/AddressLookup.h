#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// @brief Name, address and MAC lookups used by registration and by the handling of
/// replies. Every lookup is bounded in time so a hanging resolver never hangs the
/// program; tests replace the whole set with SetLookupForTesting.
namespace vtlookup {

struct Functions {
    /// Name -> first IPv4 address (host order).
    std::function<std::optional<std::uint32_t>(const std::string&)> fnResolve;
    /// Address (host order) -> official host name.
    std::function<std::optional<std::string>(std::uint32_t)> fnReverse;
    /// Address (host order) -> MAC from the local neighbour (ARP) table.
    std::function<std::optional<std::array<std::uint8_t, 6>>(std::uint32_t)> fnArp;
    /// The local host's own IPv4 addresses (host order), in lookup order.
    std::function<std::vector<std::uint32_t>()> fnLocalAddresses;
};

std::optional<std::uint32_t> Resolve(const std::string& strName);
std::optional<std::string> Reverse(std::uint32_t dwHostOrder);
std::optional<std::array<std::uint8_t, 6>> Arp(std::uint32_t dwHostOrder);
std::vector<std::uint32_t> LocalAddresses();

/// Replace the lookups (empty members keep the real ones); call with {} to restore.
void SetLookupForTesting(Functions fns);

/// Parses dotted-decimal text; nullopt for anything else.
std::optional<std::uint32_t> ParseIp(const std::string& strText);

/// Dotted-decimal text of a host-order address.
std::string FormatIp(std::uint32_t dwHostOrder);

namespace detail {

/// The blocking resolver calls that Resolve and Reverse run on a helper thread.
struct SystemCalls {
    std::function<std::optional<std::uint32_t>(const std::string&)> fnResolve;
    std::function<std::optional<std::string>(std::uint32_t)> fnReverse;
};

/// Replace the blocking calls (empty members keep the real ones); {} restores them.
void SetSystemCallsForTesting(SystemCalls calls);
/// How long Resolve and Reverse wait for the resolver (default 3 s).
void SetTimeout(std::chrono::milliseconds timeout);
std::chrono::milliseconds Timeout();

/// The MAC of `dwHostOrder` in a Linux neighbour table in /proc/net/arp format, when
/// the entry is complete and the MAC is not all zero.
std::optional<std::array<std::uint8_t, 6>> ParseArpTable(std::string_view text, std::uint32_t dwHostOrder);

} // namespace detail

} // namespace vtlookup
