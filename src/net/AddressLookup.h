#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QObject;

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

/// What registration asks about a PC: its typed name and, when one was typed that is
/// neither 0 nor 255.255.255.255, its address.
struct HostQuery {
    std::string strName;
    std::optional<std::uint32_t> typedIp; ///< host order
};

/// What the lookups found for a HostQuery.
struct HostAnswer {
    /// The name's first address (host order); asked only when no address was typed.
    std::optional<std::uint32_t> resolved;
    /// The official name and the neighbour-table MAC of the address used (the typed one,
    /// else the resolved one), when that address is neither 0 nor 255.255.255.255.
    std::optional<std::string> reverseName;
    std::optional<std::array<std::uint8_t, 6>> mac;
};

/// Name -> address, address -> name, address -> MAC, one after the other. Blocks for as
/// long as the resolver takes (each call is bounded by the resolver time-out).
HostAnswer LookUpHost(const HostQuery& query);

/// @brief LookUpHost on a thread of its own, so that a window stays responsive meanwhile.
///
/// The answer is handed to `fnDone` in the thread of `pReceiver` unless Cancel() came
/// first. The thread is never waited for (a blocked resolver call cannot be interrupted):
/// after Cancel() or the handle's destruction it finishes on its own and its answer is
/// dropped. `pReceiver` must outlive the handle.
class CHostLookup final {
public:
    using DoneFn = std::function<void(const HostAnswer&)>;

    CHostLookup(HostQuery query, QObject* pReceiver, DoneFn fnDone);
    ~CHostLookup();
    CHostLookup(const CHostLookup&) = delete;
    CHostLookup& operator=(const CHostLookup&) = delete;

    void Cancel();

private:
    struct Shared;
    std::shared_ptr<Shared> m_pShared;
};

/// Parses dotted-decimal text; nullopt for anything else.
std::optional<std::uint32_t> ParseIp(const std::string& strText);

/// Dotted-decimal text of a host-order address.
std::string FormatIp(std::uint32_t dwHostOrder);

/// Six pairs of hexadecimal digits (either case), each pair but the last followed by one
/// of `separators`; nullopt for anything else.
std::optional<std::array<std::uint8_t, 6>> ParseMac(std::string_view text, std::string_view separators);

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
