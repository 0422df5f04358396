#pragma once

#include "AgentLab.h"

#include <string>
#include <vector>

/// @brief The vtagent command line: turns the arguments into a lab configuration.
namespace vtagent {

struct CommandLine {
    LabConfig config;
    bool bHelp = false;
};

/// Arguments without the program name. False with a message on the first bad one.
bool ParseCommandLine(const std::vector<std::string>& args, CommandLine& cmd, std::string& strError);
std::string HelpText();
/// Expands the first %d (with optional 0 flag and width) to nNumber; "%%" gives "%".
std::string FormatName(const std::string& strFormat, int nNumber);

} // namespace vtagent
