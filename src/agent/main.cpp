// vtagentd: the agent that runs on each PC of a lab managed by Veltrane Server.
#include "AgentCore.h"
#include "AgentServer.h"
#include "AgentSettings.h"
#include "ChildProcesses.h"
#include "CommandPower.h"
#include "InterfaceAddresses.h"
#include "SystemdPower.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using namespace vtagentd;

int main(int argc, char** argv)
{
    AgentSettings settings;
    std::string strError;
    if (!LoadSettings(std::vector<std::string>(argv + 1, argv + argc), settings, strError)) {
        std::fprintf(stderr, "vtagentd: %s\nTry vtagentd --help.\n", strError.c_str());
        return 2;
    }
    if (settings.bHelp) {
        std::fputs(HelpText().c_str(), stdout);
        return 0;
    }
    const LogSink log = [](const std::string& strLine) {
        std::fprintf(stderr, "%s\n", strLine.c_str());
        std::fflush(stderr);
    };

    // Stop signals are read from a descriptor, so they end the loop between two datagrams.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (const int nSignal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&stopSignals, nSignal);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    const int nStopFd = ::signalfd(-1, &stopSignals, SFD_CLOEXEC);
    if (nStopFd < 0) {
        std::perror("vtagentd: signalfd");
        return 1;
    }

    ChildProcesses children;
    std::unique_ptr<PowerControl> pPower;
    if (!settings.strActionCommand.empty())
        pPower = std::make_unique<CommandPower>(settings.strActionCommand, settings.bDryRun, children, log);
    else
        pPower = std::make_unique<SystemdPower>(settings.bDryRun, children, log);
    InterfaceAddresses host(settings.dwBind);
    AgentCore core(settings.strName, settings.allow, settings.bVerbose, host, *pPower, log);
    AgentServer server(core, *pPower, children, log);
    if (!server.Open(settings.dwBind, settings.wPort, strError)) {
        std::fprintf(stderr, "vtagentd: %s\n", strError.c_str());
        return 1;
    }

    std::string strAllowed =
        settings.allow.empty()
            ? "this PC's own networks (" + Ipv4NetListText(host.OwnNetworks()) + ", as they change)"
            : Ipv4NetListText(settings.allow);
    log("listening at " + Ipv4Text(settings.dwBind) + ':' + std::to_string(settings.wPort) + " as \"" +
        settings.strName + "\"; allowed: " + strAllowed + "; operations by " +
        (settings.strActionCommand.empty() ? std::string("systemctl")
                                           : "\"" + settings.strActionCommand + "\"") +
        (settings.bDryRun ? " (dry run: nothing is carried out)" : "") +
        (settings.strConfigPath.empty() ? "" : "; configuration " + settings.strConfigPath));
    server.Run(nStopFd);
    log("stopped");
    ::close(nStopFd);
    return 0;
}
