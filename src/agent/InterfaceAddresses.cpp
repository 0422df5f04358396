#include "InterfaceAddresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <algorithm>
#include <bit>

namespace vtagentd {

namespace {

constexpr auto kRereadAfter = std::chrono::seconds(2);

} // namespace

InterfaceAddresses::InterfaceAddresses(std::uint32_t dwBind) : m_dwBind(dwBind)
{
}

void InterfaceAddresses::Refresh()
{
    const auto now = std::chrono::steady_clock::now();
    if (m_bRead && now - m_read < kRereadAfter)
        return;
    ifaddrs* pList = nullptr;
    if (::getifaddrs(&pList) != 0)
        return; // keep what was read last
    m_interfaces.clear();
    for (const ifaddrs* p = pList; p; p = p->ifa_next) {
        if (!p->ifa_addr || p->ifa_addr->sa_family != AF_INET)
            continue;
        const auto* pAddr = reinterpret_cast<const sockaddr_in*>(p->ifa_addr);
        const auto* pMask = reinterpret_cast<const sockaddr_in*>(p->ifa_netmask);
        const std::uint32_t dwMask = pMask ? ntohl(pMask->sin_addr.s_addr) : ~std::uint32_t(0);
        m_interfaces.push_back({ntohl(pAddr->sin_addr.s_addr), std::popcount(dwMask)});
    }
    ::freeifaddrs(pList);
    m_read = now;
    m_bRead = true;
}

std::vector<std::uint32_t> InterfaceAddresses::OwnAddresses()
{
    if (m_dwBind != 0)
        return {m_dwBind};
    Refresh();
    std::vector<std::uint32_t> own;
    for (const Ipv4Net& net : m_interfaces)
        own.push_back(net.dwAddress);
    return own;
}

std::vector<Ipv4Net> InterfaceAddresses::OwnNetworks()
{
    Refresh();
    return m_interfaces;
}

} // namespace vtagentd
