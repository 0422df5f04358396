#include "Ipv4Net.h"

#include "net/Datagram.h"

#include <arpa/inet.h>

namespace vtagentd {

namespace {

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::uint32_t Ipv4Net::Mask() const
{
    return nPrefix <= 0 ? 0 : ~std::uint32_t(0) << (32 - nPrefix);
}

bool Ipv4Net::Contains(std::uint32_t dwHost) const
{
    return (dwHost & Mask()) == (dwAddress & Mask());
}

std::string Ipv4Net::Text() const
{
    return nPrefix == 32 ? Ipv4Text(dwAddress) : Ipv4Text(dwAddress) + '/' + std::to_string(nPrefix);
}

std::string Ipv4Text(std::uint32_t dwHost)
{
    return vtdgram::IpText(htonl(dwHost));
}

std::optional<std::uint32_t> ParseIpv4(std::string_view text)
{
    if (text.empty() || text.size() > 15)
        return std::nullopt;
    const std::string strText(text);
    in_addr addr{};
    if (::inet_pton(AF_INET, strText.c_str(), &addr) != 1)
        return std::nullopt;
    return ntohl(addr.s_addr);
}

std::optional<Ipv4Net> ParseIpv4Net(std::string_view text)
{
    const std::size_t nSlash = text.find('/');
    const auto address = ParseIpv4(text.substr(0, nSlash));
    if (!address)
        return std::nullopt;
    Ipv4Net net{*address, 32};
    if (nSlash == std::string_view::npos)
        return net;
    const std::string_view prefix = text.substr(nSlash + 1);
    if (prefix.empty() || prefix.size() > 2)
        return std::nullopt;
    int nPrefix = 0;
    for (const char ch : prefix) {
        if (ch < '0' || ch > '9')
            return std::nullopt;
        nPrefix = nPrefix * 10 + (ch - '0');
    }
    if (nPrefix > 32)
        return std::nullopt;
    net.nPrefix = nPrefix;
    return net;
}

bool ParseIpv4NetList(std::string_view text, std::vector<Ipv4Net>& nets, std::string& strError)
{
    std::vector<Ipv4Net> parsed;
    while (true) {
        const std::size_t nComma = text.find(',');
        const std::string_view item = Trim(text.substr(0, nComma));
        const auto net = ParseIpv4Net(item);
        if (!net) {
            strError = item.empty() ? "an empty item in the address list"
                                    : "\"" + std::string(item) + "\" is not an IPv4 address or network";
            return false;
        }
        parsed.push_back(*net);
        if (nComma == std::string_view::npos)
            break;
        text.remove_prefix(nComma + 1);
    }
    nets = std::move(parsed);
    return true;
}

std::string Ipv4NetListText(const std::vector<Ipv4Net>& nets)
{
    std::string strText;
    for (const Ipv4Net& net : nets)
        strText += (strText.empty() ? "" : ",") + net.Text();
    return strText;
}

} // namespace vtagentd
