#include "AgentLab.h"
#include "AgentOptions.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

namespace {

vtagent::AgentLab* g_pLab = nullptr;

extern "C" void OnSignal(int)
{
    if (g_pLab)
        g_pLab->Stop();
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    vtagent::CommandLine cmd;
    std::string strError;
    if (!vtagent::ParseCommandLine(args, cmd, strError)) {
        std::fprintf(stderr, "vtagent: %s\n", strError.c_str());
        return 2;
    }
    if (cmd.bHelp) {
        std::fputs(vtagent::HelpText().c_str(), stdout);
        return 0;
    }

    vtagent::AgentLab lab(cmd.config);
    // Handlers go in before the sockets open, so a signal never finds the default action.
    g_pLab = &lab;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    if (!lab.Open(strError)) {
        std::fprintf(stderr, "vtagent: %s\n", strError.c_str());
        return 1;
    }
    if (cmd.config.strLogPath != "-") {
        std::fprintf(stderr, "vtagent: %zu agent(s) listening at port %u\n", cmd.config.agents.size(),
                     unsigned(cmd.config.wAgentPort));
    }
    lab.Run();
    g_pLab = nullptr;
    return 0;
}
