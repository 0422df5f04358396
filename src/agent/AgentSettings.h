#pragma once

#include "Ipv4Net.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vtagentd {

inline constexpr char kDefaultConfigPath[] = "/etc/vtagentd.conf";
inline constexpr std::uint16_t kDefaultPort = 9001;
inline constexpr std::size_t kMaxNameLength = 15;

/// @brief Everything the agent is told: its options, read from the configuration file and
/// then from the command line, which wins.
struct AgentSettings {
    std::uint16_t wPort = kDefaultPort;
    std::uint32_t dwBind = 0;   ///< host order; 0 listens on every address
    std::string strName;        ///< filled from the host name when not given
    std::vector<Ipv4Net> allow; ///< empty: the networks of this PC's own interfaces
    std::string strActionCommand;
    bool bDryRun = false;
    bool bVerbose = false;
    std::string strConfigPath; ///< the file that was read; empty when none was
    bool bHelp = false;
};

/// Reads `args` (without the program name) and the configuration file they name, or
/// `strDefaultConfig` when it exists. False with a message on the first mistake.
bool LoadSettings(const std::vector<std::string>& args, AgentSettings& settings, std::string& strError,
                  const std::string& strDefaultConfig = kDefaultConfigPath);

/// The host name's first label, printable ASCII only, at most 15 bytes; "PC" when nothing is left.
std::string DefaultName(std::string_view hostName);

std::string HelpText();

} // namespace vtagentd
