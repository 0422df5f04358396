#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// @brief IPv4 addresses and networks as the agent's options name them. Addresses are held
/// in host byte order throughout the agent.
namespace vtagentd {

struct Ipv4Net {
    std::uint32_t dwAddress = 0;
    int nPrefix = 32;

    std::uint32_t Mask() const;
    bool Contains(std::uint32_t dwHost) const;
    std::string Text() const; ///< "a.b.c.d/n", or the address alone for a /32
};

std::string Ipv4Text(std::uint32_t dwHost);
/// Dotted decimal only ("10.0.0.1"); no host names, no shortened forms.
std::optional<std::uint32_t> ParseIpv4(std::string_view text);
/// "ADDR" (a /32) or "ADDR/N"; bits beyond the prefix are ignored.
std::optional<Ipv4Net> ParseIpv4Net(std::string_view text);
/// Comma-separated networks, blanks around items allowed; at least one.
bool ParseIpv4NetList(std::string_view text, std::vector<Ipv4Net>& nets, std::string& strError);
std::string Ipv4NetListText(const std::vector<Ipv4Net>& nets);

} // namespace vtagentd
