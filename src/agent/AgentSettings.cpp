#include "AgentSettings.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <utility>

namespace vtagentd {

namespace {

enum class Kind { Value, Flag };

const std::map<std::string, Kind, std::less<>> kKeys = {
    {"port", Kind::Value},           {"bind", Kind::Value},   {"name", Kind::Value},   {"allow", Kind::Value},
    {"action-command", Kind::Value}, {"dry-run", Kind::Flag}, {"verbose", Kind::Flag},
};

struct Setting {
    std::string strValue;
    std::string strWhere; ///< "--port" or "FILE:LINE: port", for messages
};

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

bool ParseFlag(std::string_view text, bool& bValue)
{
    for (const char* psz : {"yes", "true", "on", "1"}) {
        if (text == psz) {
            bValue = true;
            return true;
        }
    }
    for (const char* psz : {"no", "false", "off", "0"}) {
        if (text == psz) {
            bValue = false;
            return true;
        }
    }
    return false;
}

bool IsValidName(std::string_view name)
{
    if (name.empty() || name.size() > kMaxNameLength)
        return false;
    for (const char ch : name) {
        if (ch < 0x20 || ch > 0x7E)
            return false;
    }
    return true;
}

bool Apply(const std::string& strKey, const Setting& setting, AgentSettings& settings, std::string& strError)
{
    const std::string& strValue = setting.strValue;
    const auto fail = [&](const std::string& strWhy) {
        strError = setting.strWhere + ": " + strWhy;
        return false;
    };
    if (strKey == "port") {
        unsigned long nPort = 0;
        if (strValue.empty() || strValue.size() > 5 ||
            strValue.find_first_not_of("0123456789") != std::string::npos ||
            (nPort = std::stoul(strValue)) == 0 || nPort > 65535)
            return fail("\"" + strValue + "\" is not a port number (1 to 65535)");
        settings.wPort = static_cast<std::uint16_t>(nPort);
    } else if (strKey == "bind") {
        const auto address = ParseIpv4(strValue);
        if (!address)
            return fail("\"" + strValue + "\" is not an IPv4 address");
        settings.dwBind = *address;
    } else if (strKey == "name") {
        if (!IsValidName(strValue))
            return fail(
                "the name must be 1 to 15 printable ASCII characters (the server ignores longer ones)");
        settings.strName = strValue;
    } else if (strKey == "allow") {
        std::string strWhy;
        if (!ParseIpv4NetList(strValue, settings.allow, strWhy))
            return fail(strWhy);
    } else if (strKey == "action-command") {
        settings.strActionCommand = strValue;
    } else if (!ParseFlag(strValue, strKey == "dry-run" ? settings.bDryRun : settings.bVerbose)) {
        return fail("\"" + strValue + "\" is neither yes nor no");
    }
    return true;
}

bool ReadConfig(const std::string& strPath, bool bRequired, std::map<std::string, Setting>& values,
                std::string& strError)
{
    if (!bRequired && ::access(strPath.c_str(), F_OK) != 0 && errno == ENOENT)
        return true;
    std::ifstream file(strPath);
    if (!file) {
        strError = "cannot read " + strPath + ": " + std::strerror(errno);
        return false;
    }
    std::string strLine;
    for (int nLine = 1; std::getline(file, strLine); ++nLine) {
        const std::string strWhere = strPath + ':' + std::to_string(nLine);
        const std::string_view line = Trim(strLine);
        if (line.empty() || line.front() == '#')
            continue;
        const std::size_t nEq = line.find('=');
        if (nEq == std::string_view::npos) {
            strError = strWhere + ": expected KEY = VALUE";
            return false;
        }
        const std::string strKey(Trim(line.substr(0, nEq)));
        if (kKeys.find(strKey) == kKeys.end()) {
            strError = strWhere + ": unknown key \"" + strKey + "\"";
            return false;
        }
        values[strKey] = Setting{std::string(Trim(line.substr(nEq + 1))), strWhere + ": " + strKey};
    }
    if (file.bad()) {
        strError = "cannot read " + strPath;
        return false;
    }
    return true;
}

} // namespace

bool LoadSettings(const std::vector<std::string>& args, AgentSettings& settings, std::string& strError,
                  const std::string& strDefaultConfig)
{
    AgentSettings result;
    std::map<std::string, Setting> fromCommandLine;
    std::string strConfig;
    bool bConfigGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& strArg = args[i];
        if (strArg == "-h" || strArg == "--help") {
            result.bHelp = true;
            continue;
        }
        if (strArg.rfind("--", 0) != 0) {
            strError = "unexpected argument \"" + strArg + "\"";
            return false;
        }
        const std::size_t nEq = strArg.find('=');
        const std::string strKey = strArg.substr(2, nEq == std::string::npos ? std::string::npos : nEq - 2);
        const auto it = kKeys.find(strKey);
        if (strKey != "config" && it == kKeys.end()) {
            strError = "unknown option --" + strKey;
            return false;
        }
        std::string strValue;
        if (nEq != std::string::npos) {
            strValue = strArg.substr(nEq + 1);
        } else if (it != kKeys.end() && it->second == Kind::Flag) {
            strValue = "yes";
        } else if (i + 1 < args.size()) {
            strValue = args[++i];
        } else {
            strError = "--" + strKey + " needs a value";
            return false;
        }
        if (strKey == "config") {
            strConfig = strValue;
            bConfigGiven = true;
        } else {
            fromCommandLine[strKey] = Setting{strValue, "--" + strKey};
        }
    }
    if (result.bHelp) {
        settings = result;
        return true;
    }

    std::map<std::string, Setting> values;
    const std::string strPath = bConfigGiven ? strConfig : strDefaultConfig;
    if (!strPath.empty()) {
        if (!ReadConfig(strPath, bConfigGiven, values, strError))
            return false;
        if (bConfigGiven || ::access(strPath.c_str(), F_OK) == 0)
            result.strConfigPath = strPath;
    }
    for (auto& [strKey, setting] : fromCommandLine)
        values[strKey] = std::move(setting);
    for (const auto& [strKey, setting] : values) {
        if (!Apply(strKey, setting, result, strError))
            return false;
    }
    if (result.strName.empty()) {
        char host[256] = {};
        ::gethostname(host, sizeof host - 1);
        result.strName = DefaultName(host);
    }
    settings = std::move(result);
    return true;
}

std::string DefaultName(std::string_view hostName)
{
    std::string strName;
    for (const char ch : hostName.substr(0, hostName.find('.'))) {
        if (ch > 0x20 && ch < 0x7F && strName.size() < kMaxNameLength)
            strName += ch;
    }
    return strName.empty() ? "PC" : strName;
}

std::string HelpText()
{
    return R"(Usage: vtagentd [OPTION]...
The agent of a PC that Veltrane Server manages: it answers the server's search and
status requests with this PC's name, and reboots or shuts the PC down when told to.

Options:
  --port N              UDP port to listen at (default 9001, the server's port plus 1)
  --bind ADDR           listen on this IPv4 address only; the default is every address,
                        broadcasts included (a search is a broadcast)
  --name NAME           the name reported to the server, 1 to 15 printable ASCII
                        characters (default: the host name's first label, cut to 15)
  --allow LIST          who may send requests: IPv4 addresses and networks (ADDR/N),
                        comma-separated (default: the networks of this PC's own IPv4
                        interfaces, followed as they change)
  --action-command CMD  carry operations out by running CMD instead of systemctl; /bin/sh
                        runs CMD with two words appended: reboot|shutdown plain|force
  --dry-run             log what an operation would do, do nothing, and reply 0
  --verbose             log every datagram received
  --config FILE         configuration file (default /etc/vtagentd.conf, when present)
  -h, --help            show this text

Configuration file: one "KEY = VALUE" per line, the keys being the option names without
dashes (port, bind, name, allow, action-command, dry-run, verbose; yes or no for the last
two); lines starting with # are comments. The command line wins over the file.

Requests (UDP datagrams of the Veltrane Server protocol):
  search     answered with the name unless one of this PC's addresses is already listed
  status     answered with the name when it names one of this PC's addresses
  operation  reboot (2) or shut down (4), plain or forcible, carried out only when it
             names one of this PC's addresses (otherwise ignored, without a reply): the
             24-byte reply leaves before systemctl starts the operation (an action command
             runs first, since its exit status is the reply's code). A repeat from the
             same sender with the same id and operation within 10 s is answered again with
             the same code but not carried out again.
  With --bind, this PC's addresses are the bound one alone. Malformed datagrams are
  dropped silently; datagrams from senders outside --allow are dropped and logged at most
  once a minute per sender; at most 100 replies leave per second in all. Wake-on-LAN
  packets go to the PC's network card, not to the agent.

Result codes of an operation:
  0  accepted: the operation has been started
  1  refused by policy: a plain operation while an inhibitor lock in block mode holds
     back shutdown (a user's "don't shut down now"); the forcible one overrides that
  2  unknown operation: a command other than 2 or 4, or a force flag other than 0 or 1
  3  could not be started: busctl or systemctl is missing or failed, or logind or the
     system manager cannot be reached; the action command could not be run or was killed
  With --action-command the command's exit status is the result code as it is (so 0
  means accepted; a shell reports 126 or 127 when it cannot run CMD). A command still
  running after 2 s counts as started (0) and goes on. The command should start the
  operation and return at once, e.g. a script ending in "systemctl --no-block reboot".

How operations are carried out (without --action-command):
  reboot, shutdown      the inhibitor locks are listed first (busctl call
                        org.freedesktop.login1 /org/freedesktop/login1
                        org.freedesktop.login1.Manager ListInhibitors): a lock in block
                        mode whose "what" includes shutdown refuses the operation (1);
                        delay-mode locks do not refuse it (logind waits for them, a few
                        seconds at most), nor do users who are logged in
  forcible reboot, forcible shutdown
                        no locks are listed; "systemctl --dry-run" checks that the call
                        can start
  Once the reply has left:  systemctl --check-inhibitors=no reboot|poweroff

Logging: one line per operation (sender, operation, result) on standard error, which is
the journal under systemd (journalctl -u vtagentd).
)";
}

} // namespace vtagentd
