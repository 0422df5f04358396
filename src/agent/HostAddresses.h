#pragma once

#include "Ipv4Net.h"

#include <cstdint>
#include <vector>

namespace vtagentd {

/// @brief What the agent needs to know about this PC's own addresses; tests stand in for it.
class HostAddresses {
public:
    virtual ~HostAddresses() = default;
    /// The addresses a request must name to be for this PC (host order).
    virtual std::vector<std::uint32_t> OwnAddresses() = 0;
    /// The networks of this PC's IPv4 interfaces, which may command it unless told otherwise.
    virtual std::vector<Ipv4Net> OwnNetworks() = 0;
};

} // namespace vtagentd
