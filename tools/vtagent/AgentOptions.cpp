#include "AgentOptions.h"

#include "AgentProtocol.h"

#include <cstdlib>
#include <map>
#include <set>
#include <utility>

namespace vtagent {

namespace {

constexpr int kMaxAgents = 4096;

bool ParseUnsigned(const std::string& strText, unsigned long long nMax, unsigned long long& nValue)
{
    if (strText.empty() || strText.size() > 20)
        return false;
    unsigned long long nResult = 0;
    for (const char ch : strText) {
        if (ch < '0' || ch > '9')
            return false;
        nResult = nResult * 10 + unsigned(ch - '0');
        if (nResult > nMax)
            return false;
    }
    nValue = nResult;
    return true;
}

bool ParsePort(const std::string& strText, std::uint16_t& wPort)
{
    unsigned long long nValue = 0;
    if (!ParseUnsigned(strText, 65535, nValue) || nValue == 0)
        return false;
    wPort = static_cast<std::uint16_t>(nValue);
    return true;
}

std::vector<std::string> Split(const std::string& strText, char chSep)
{
    std::vector<std::string> parts;
    std::size_t nStart = 0;
    while (true) {
        const std::size_t nEnd = strText.find(chSep, nStart);
        parts.push_back(strText.substr(nStart, nEnd - nStart));
        if (nEnd == std::string::npos)
            return parts;
        nStart = nEnd + 1;
    }
}

// "LIST=VALUE" or, when bListOptional, a bare "VALUE" meaning every agent.
bool SplitAssignment(const std::string& strText, bool bListOptional, std::string& strList,
                     std::string& strValue)
{
    const std::size_t nEq = strText.rfind('=');
    if (nEq == std::string::npos) {
        if (!bListOptional)
            return false;
        strList = "all";
        strValue = strText;
        return true;
    }
    strList = strText.substr(0, nEq);
    strValue = strText.substr(nEq + 1);
    return !strList.empty();
}

// Indices of the agents an address list names: "all", or addresses, ranges A-B and "any".
bool ResolveList(const std::string& strList, const std::vector<AgentSpec>& agents,
                 std::vector<std::size_t>& indices, std::string& strError)
{
    indices.clear();
    if (strList == "all") {
        for (std::size_t i = 0; i < agents.size(); ++i)
            indices.push_back(i);
        return true;
    }
    std::map<std::uint32_t, std::size_t> byAddress;
    for (std::size_t i = 0; i < agents.size(); ++i)
        byAddress[agents[i].dwAddress] = i;
    for (const std::string& strItem : Split(strList, ',')) {
        std::uint32_t dwLow = 0;
        std::uint32_t dwHigh = 0;
        const std::size_t nDash = strItem.find('-');
        if (strItem == "any") {
            dwLow = dwHigh = 0;
        } else if (nDash != std::string::npos) {
            if (!ParseAddress(strItem.substr(0, nDash), dwLow) ||
                !ParseAddress(strItem.substr(nDash + 1), dwHigh) || dwHigh < dwLow) {
                strError = "bad address range \"" + strItem + "\"";
                return false;
            }
        } else if (!ParseAddress(strItem, dwLow)) {
            strError = "bad address \"" + strItem + "\" (expected a.b.c.d, a.b.c.d-e.f.g.h, any or all)";
            return false;
        } else {
            dwHigh = dwLow;
        }
        const auto first = byAddress.lower_bound(dwLow);
        const auto last = byAddress.upper_bound(dwHigh);
        if (first == last) {
            strError = "no agent at " + strItem;
            return false;
        }
        for (auto it = first; it != last; ++it)
            indices.push_back(it->second);
    }
    return true;
}

struct RawOptions {
    long long nCount = -1;
    std::uint32_t dwFirst = 0x7F000002; // 127.0.0.2
    std::vector<std::pair<std::uint32_t, std::string>> addresses;
    bool bBindAny = false;
    std::string strNameFormat = "PC-%03d";
    std::uint16_t wServerPort = 9000;
    int nAgentPort = -1;
    std::vector<std::pair<std::string, std::string>> flags; // option, address list
    std::vector<std::pair<std::string, int>> late;
    std::vector<std::pair<std::string, std::uint32_t>> results;
    std::uint32_t dwResultDefault = 0;
};

bool BuildAgents(const RawOptions& raw, LabConfig& config, std::string& strError)
{
    std::vector<AgentSpec>& agents = config.agents;
    const long long nCount = raw.nCount >= 0 ? raw.nCount : (raw.addresses.empty() && !raw.bBindAny ? 1 : 0);
    if (raw.dwFirst == 0 || std::uint64_t(raw.dwFirst) + std::uint64_t(nCount) > 0xFFFFFFFFull) {
        strError = "--first and --count reach past 255.255.255.254";
        return false;
    }
    for (long long i = 0; i < nCount; ++i) {
        AgentSpec agent;
        agent.dwAddress = raw.dwFirst + static_cast<std::uint32_t>(i);
        agents.push_back(agent);
    }
    for (const auto& [dwAddress, strName] : raw.addresses) {
        AgentSpec agent;
        agent.dwAddress = dwAddress;
        agent.strName = strName;
        agents.push_back(agent);
    }
    if (raw.bBindAny)
        agents.push_back(AgentSpec{});
    if (agents.size() > std::size_t(kMaxAgents)) {
        strError = "at most " + std::to_string(kMaxAgents) + " agents";
        return false;
    }
    std::set<std::uint32_t> seen;
    for (std::size_t i = 0; i < agents.size(); ++i) {
        if (!seen.insert(agents[i].dwAddress).second) {
            strError = "two agents at " + FormatAddress(agents[i].dwAddress);
            return false;
        }
        if (agents[i].strName.empty())
            agents[i].strName = FormatName(raw.strNameFormat, static_cast<int>(i + 1));
        agents[i].dwResultCode = raw.dwResultDefault;
    }

    std::vector<std::size_t> indices;
    for (const auto& [strOption, strList] : raw.flags) {
        if (!ResolveList(strList, agents, indices, strError)) {
            strError = strOption + ": " + strError;
            return false;
        }
        for (const std::size_t i : indices) {
            AgentSpec& agent = agents[i];
            if (strOption == "--silent")
                agent.bSilent = true;
            else if (strOption == "--twice")
                agent.bTwice = true;
            else if (strOption == "--wrong-id")
                agent.bWrongId = true;
            else if (strOption == "--long-name")
                agent.bLongName = true;
            else if (strOption == "--name-empty")
                agent.bNameEmpty = true;
        }
    }
    for (const auto& [strList, nMs] : raw.late) {
        if (!ResolveList(strList, agents, indices, strError)) {
            strError = "--late: " + strError;
            return false;
        }
        for (const std::size_t i : indices)
            agents[i].nLateMs = nMs;
    }
    for (const auto& [strList, dwCode] : raw.results) {
        if (!ResolveList(strList, agents, indices, strError)) {
            strError = "--result: " + strError;
            return false;
        }
        for (const std::size_t i : indices)
            agents[i].dwResultCode = dwCode;
    }
    return true;
}

} // namespace

std::string FormatName(const std::string& strFormat, int nNumber)
{
    std::string strOut;
    bool bDone = false;
    for (std::size_t i = 0; i < strFormat.size(); ++i) {
        const char ch = strFormat[i];
        if (ch != '%' || i + 1 >= strFormat.size()) {
            strOut += ch;
            continue;
        }
        if (strFormat[i + 1] == '%') {
            strOut += '%';
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        const bool bZero = strFormat[j] == '0';
        if (bZero)
            ++j;
        std::size_t nWidth = 0;
        while (j < strFormat.size() && strFormat[j] >= '0' && strFormat[j] <= '9' && nWidth < 100)
            nWidth = nWidth * 10 + std::size_t(strFormat[j++] - '0');
        if (bDone || j >= strFormat.size() || strFormat[j] != 'd') {
            strOut += ch;
            continue;
        }
        std::string strDigits = std::to_string(nNumber);
        if (strDigits.size() < nWidth)
            strDigits.insert(0, nWidth - strDigits.size(), bZero ? '0' : ' ');
        strOut += strDigits;
        bDone = true;
        i = j;
    }
    return strOut;
}

bool ParseCommandLine(const std::vector<std::string>& args, CommandLine& cmd, std::string& strError)
{
    RawOptions raw;
    LabConfig& config = cmd.config;
    static const std::set<std::string> kListFlags = {"--silent", "--twice", "--wrong-id", "--long-name",
                                                     "--name-empty"};
    static const std::set<std::string> kBare = {"--help", "-h", "--bind-any"};

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string strOption = args[i];
        std::string strValue;
        bool bHasValue = false;
        if (const std::size_t nEq = strOption.find('=');
            strOption.rfind("--", 0) == 0 && nEq != std::string::npos) {
            strValue = strOption.substr(nEq + 1);
            strOption.resize(nEq);
            bHasValue = true;
        }
        if (kBare.count(strOption)) {
            if (bHasValue) {
                strError = strOption + " takes no value";
                return false;
            }
            if (strOption == "--bind-any")
                raw.bBindAny = true;
            else
                cmd.bHelp = true;
            continue;
        }
        if (!bHasValue) {
            if (i + 1 >= args.size()) {
                strError = strOption.rfind("-", 0) == 0 ? strOption + " needs a value"
                                                        : "unexpected argument \"" + strOption + "\"";
                return false;
            }
            strValue = args[++i];
        }
        const auto bad = [&](const std::string& strWhat) {
            strError = strOption + ": " + strWhat + " \"" + strValue + "\"";
            return false;
        };
        unsigned long long nValue = 0;
        if (strOption == "--count") {
            if (!ParseUnsigned(strValue, kMaxAgents, nValue))
                return bad("expected a number from 0 to " + std::to_string(kMaxAgents) + ", got");
            raw.nCount = static_cast<long long>(nValue);
        } else if (strOption == "--first") {
            if (!ParseAddress(strValue, raw.dwFirst))
                return bad("bad address");
        } else if (strOption == "--address") {
            for (const std::string& strItem : Split(strValue, ',')) {
                const std::size_t nEq = strItem.find('=');
                std::uint32_t dwAddress = 0;
                if (!ParseAddress(strItem.substr(0, nEq), dwAddress) || dwAddress == 0)
                    return bad("bad address in");
                raw.addresses.emplace_back(dwAddress, nEq == std::string::npos ? std::string()
                                                                               : strItem.substr(nEq + 1));
            }
        } else if (strOption == "--name-format") {
            raw.strNameFormat = strValue;
        } else if (strOption == "--server-port") {
            if (!ParsePort(strValue, raw.wServerPort))
                return bad("bad port");
        } else if (strOption == "--agent-port") {
            std::uint16_t wPort = 0;
            if (!ParsePort(strValue, wPort))
                return bad("bad port");
            raw.nAgentPort = wPort;
        } else if (strOption == "--search-listen") {
            std::uint32_t dwAddress = 0;
            if (!ParseAddress(strValue, dwAddress))
                return bad("bad address");
            config.searchListen.push_back(dwAddress);
        } else if (kListFlags.count(strOption)) {
            raw.flags.emplace_back(strOption, strValue);
        } else if (strOption == "--late") {
            std::string strList;
            std::string strMs;
            if (!SplitAssignment(strValue, true, strList, strMs) || !ParseUnsigned(strMs, 600000, nValue))
                return bad("expected MS or LIST=MS (milliseconds up to 600000), got");
            raw.late.emplace_back(strList, static_cast<int>(nValue));
        } else if (strOption == "--result-code") {
            if (!ParseUnsigned(strValue, 0xFFFFFFFFull, nValue))
                return bad("expected a 32-bit unsigned number, got");
            raw.dwResultDefault = static_cast<std::uint32_t>(nValue);
        } else if (strOption == "--result") {
            std::string strList;
            std::string strCode;
            if (!SplitAssignment(strValue, false, strList, strCode) ||
                !ParseUnsigned(strCode, 0xFFFFFFFFull, nValue))
                return bad("expected LIST=N, got");
            raw.results.emplace_back(strList, static_cast<std::uint32_t>(nValue));
        } else if (strOption == "--log") {
            config.strLogPath = strValue;
        } else if (strOption == "--wol-listen") {
            const std::size_t nColon = strValue.rfind(':');
            Endpoint wol;
            if (nColon == std::string::npos || !ParseAddress(strValue.substr(0, nColon), wol.dwAddress) ||
                !ParsePort(strValue.substr(nColon + 1), wol.wPort))
                return bad("expected ADDR:PORT, got");
            config.wolListen.push_back(wol);
        } else if (strOption == "--ready-file") {
            config.strReadyFile = strValue;
        } else if (strOption == "--duration") {
            char* pEnd = nullptr;
            const double dSeconds = std::strtod(strValue.c_str(), &pEnd);
            if (strValue.empty() || *pEnd != '\0' || !(dSeconds > 0) || dSeconds > 1e7)
                return bad("expected a positive number of seconds, got");
            config.dDurationSec = dSeconds;
        } else {
            strError = "unknown option \"" + strOption + "\" (see --help)";
            return false;
        }
    }
    if (cmd.bHelp)
        return true;

    if (raw.nAgentPort >= 0) {
        config.wAgentPort = static_cast<std::uint16_t>(raw.nAgentPort);
    } else if (raw.wServerPort == 65535) {
        strError = "--server-port 65535 leaves no agent port; give --agent-port";
        return false;
    } else {
        config.wAgentPort = static_cast<std::uint16_t>(raw.wServerPort + 1);
    }
    return BuildAgents(raw, config, strError);
}

std::string HelpText()
{
    return R"(Usage: vtagent [options]

Simulates PC agents for VT Server on this machine. Each agent has a UDP socket
bound to its own address at the agent port (the server's "IP Port" plus 1) and
answers the server's search, status and operation requests with replies sent
back to the request's source address and port. Runs until SIGINT/SIGTERM (exit
status 0) or until --duration has passed. Addresses 127.0.0.2 to 127.255.255.254
are all local on Linux and need no setup; avoid 127.0.0.1, whose replies the
server ignores.

Agents:
  --count N              N agents at consecutive addresses (default 1 when no
                         --address or --bind-any is given)
  --first ADDR           address of the first of them (default 127.0.0.2)
  --address LIST         agents at the listed addresses, comma-separated, each
                         optionally ADDR=NAME (repeatable; added after --count)
  --name-format FMT      names of agents without a NAME; the first %d (or %03d
                         and the like) becomes the agent's number, counted from 1
                         in the order above (default "PC-%03d")
  --bind-any             one more agent bound to 0.0.0.0 that answers from the
                         address each request reached (for a real broadcast to
                         255.255.255.255 inside a network namespace); lists call
                         it "any"

Ports:
  --server-port P        the server's "IP Port" (default 9000); agents use P+1
  --agent-port P         the agent port itself, overriding --server-port

Search:
  A search is answered by each agent that is not silent and whose own address is
  not listed in the request.
  --search-listen ADDR   also receive searches sent to ADDR at the agent port
                         and let every agent bound to its own address answer
                         them from its own socket (repeatable). 0.0.0.0 hears
                         the server's broadcasts to 255.255.255.255;
                         127.255.255.255 hears only the loopback broadcast; an
                         unused local address hears searches sent straight to it

Behaviour (LIST is "all" or addresses, ranges A-B and "any", comma-separated):
  --silent LIST          never answer
  --late [LIST=]MS       answer after MS milliseconds (bare MS: every agent)
  --twice LIST           send every reply twice
  --wrong-id LIST        reply with the request's id plus 1
  --long-name LIST       report a 16-character name (one more than the server
                         accepts)
  --name-empty LIST      report an empty name
  --result-code N        result code of operation replies (default 0: success)
  --result LIST=N        result code for the listed agents

Output:
  --log FILE             one JSON line per datagram received, "-" for standard
                         output, flushed after every line, e.g.
                         {"t":1733500000.123,"agent":"127.0.0.2","from":"127.0.0.1:9000",
                          "len":32,"kind":"C","id":123,"command":4,"force":1,"param":1,
                          "list":["127.0.0.2"],"type":"operate","valid":true,"action":"reply"}
                         action: reply, twice, late, silent, listed (search
                         naming the agent) or invalid (not answered)
  --wol-listen ADDR:PORT log Wake-on-LAN packets arriving there (repeatable):
                         {"t":...,"wol":true,"to":"127.0.0.2:9000","from":"...",
                          "len":102,"mac":"00-11-22-33-44-55","valid":true}
  --ready-file FILE      written once every socket is bound
  --duration SEC         stop after SEC seconds
  -h, --help             this text

Examples:
  Try the server with five PCs: run
      vtagent --count 5 --first 127.0.0.2 --search-listen 0.0.0.0
  and keep the server's settings at "IP Port" 9000 and "IP Address" 0. A search
  finds PC-001 to PC-005 at 127.0.0.2 to 127.0.0.6 (the listener on 0.0.0.0
  hears the server's broadcast); status polls, reboots and shutdowns then reach
  the agents. Without --search-listen, register the five addresses by hand.

  A lab of 254 PCs, 54 of them switched off, logging every request:
      vtagent --count 254 --first 127.0.0.2 --silent 127.0.0.202-127.0.0.255 \
              --search-listen 0.0.0.0 --log lab.jsonl
)";
}

} // namespace vtagent
