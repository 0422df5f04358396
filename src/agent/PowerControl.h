#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vtagentd {

/// One line of the agent's log (standard error, the journal under systemd).
using LogSink = std::function<void(const std::string&)>;

/// Result codes of an operation reply.
inline constexpr std::uint32_t kResultAccepted = 0;
inline constexpr std::uint32_t kResultRefused = 1;
inline constexpr std::uint32_t kResultUnknownOperation = 2;
inline constexpr std::uint32_t kResultNotStarted = 3;

struct PowerOperation {
    bool bReboot = true; ///< else shut down
    bool bForce = false;
    std::uint32_t dwSender = 0; ///< host order, for the log

    std::string_view Word() const { return bReboot ? "reboot" : "shutdown"; }
    std::string_view Mode() const { return bForce ? "force" : "plain"; }
};

/// @brief Carries out reboots and shutdowns in two steps around the reply: the result code
/// is decided before the reply leaves, the operation starts after it has left.
class PowerControl {
public:
    virtual ~PowerControl() = default;
    /// May wait, but for a bounded time well under the server's quiet time.
    virtual std::uint32_t Prepare(const PowerOperation& op) = 0;
    /// Called for an accepted operation once its reply has been sent.
    virtual void CarryOut(const PowerOperation& op) = 0;
};

} // namespace vtagentd
