#pragma once

#include "HostAddresses.h"

#include <chrono>

namespace vtagentd {

/// @brief This PC's IPv4 interfaces, read again at most every two seconds so that a new
/// lease or a cable plugged in later is followed without a restart.
class InterfaceAddresses final : public HostAddresses {
public:
    /// dwBind (host order): an agent bound to one address owns that address alone.
    explicit InterfaceAddresses(std::uint32_t dwBind);

    std::vector<std::uint32_t> OwnAddresses() override;
    std::vector<Ipv4Net> OwnNetworks() override;

private:
    void Refresh();

    std::uint32_t m_dwBind;
    std::chrono::steady_clock::time_point m_read{};
    bool m_bRead = false;
    std::vector<Ipv4Net> m_interfaces; ///< address and prefix of each interface
};

} // namespace vtagentd
