#include "cli/CCtl.h"

#include "app/Paths.h"
#include "cli/CCtlClient.h"
#include "cli/CRosterCsv.h"
#include "cli/CtlText.h"
#include "model/CDoc.h"
#include "net/AddressLookup.h"
#include "net/Datagram.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>

#include <algorithm>
#include <arpa/inet.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kNoAddress = 0xFFFFFFFFu;

bool HasAddress(std::uint32_t dwIp)
{
    return dwIp != 0 && dwIp != kNoAddress;
}

QString Q(const std::string& str)
{
    return QString::fromStdString(str);
}

bool SameName(const std::string& a, const std::string& b)
{
    return Q(a).compare(Q(b), Qt::CaseInsensitive) == 0;
}

QString Names(const std::vector<const CKw*>& pcs)
{
    QStringList names;
    for (const CKw* pPc : pcs)
        names << Q(pPc->m_strName);
    return names.join(QStringLiteral(", "));
}

QJsonValue TimeJson(VtTime t)
{
    if (t == kNoTime)
        return QJsonValue::Null;
    // With the local offset, so that scripts need not know the machine's zone.
    const QDateTime local = QDateTime::fromSecsSinceEpoch(t);
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

QJsonValue OperationJson(std::uint16_t wType)
{
    if (wType == OP_REBOOT)
        return QStringLiteral("reboot");
    if (wType == OP_SHUTDOWN)
        return QStringLiteral("shutdown");
    return wType;
}

// The whole schedule, language-neutral, for scripts; null while released.
QJsonValue ReserveJson(const CReserve& r, bool bWake)
{
    if (!r.m_bSet)
        return QJsonValue::Null;
    static const char* const kModes[] = {"monthly", "weekly", "daily"};
    static const char* const kWeekDays[] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};
    QJsonObject o;
    o[QStringLiteral("mode")] = r.m_nMode >= ReserveMonthly && r.m_nMode <= ReserveDaily
                                    ? QLatin1String(kModes[r.m_nMode])
                                    : QLatin1String("none");
    o[QStringLiteral("time")] =
        r.m_time == kNoTime
            ? QJsonValue(QJsonValue::Null)
            : QJsonValue(QDateTime::fromSecsSinceEpoch(r.m_time).toString(QStringLiteral("HH:mm")));
    if (r.m_nMode == ReserveWeekly) {
        QJsonArray days;
        for (int d = 0; d < 7; ++d)
            if (r.m_dwWeekDays & (1u << d))
                days.append(QLatin1String(kWeekDays[d]));
        o[QStringLiteral("weekdays")] = days;
    }
    if (r.m_nMode == ReserveMonthly) {
        QJsonArray days;
        for (int d = 0; d < 31; ++d)
            if (r.m_dwDays & (1u << d))
                days.append(d + 1);
        o[QStringLiteral("days")] = days;
    }
    if (!bWake) {
        o[QStringLiteral("operation")] = OperationJson(r.m_wType);
        o[QStringLiteral("forcible")] = r.m_wForce == 1;
    }
    o[QStringLiteral("next")] = TimeJson(r.m_timeNext);
    return o;
}

std::string JsonText(const QJsonArray& array)
{
    return QJsonDocument(array).toJson(QJsonDocument::Indented).toStdString();
}

std::vector<const CGroup*> GroupsNamed(const CDoc& doc, const std::string& strName)
{
    std::vector<const CGroup*> groups;
    for (const auto& pGroup : doc.m_groups)
        if (SameName(pGroup->m_strName, strName))
            groups.push_back(pGroup.get());
    return groups;
}

} // namespace

struct CCtl::Args {
    std::string strCommand;
    std::vector<std::string> positional;
    std::optional<std::string> data;
    std::vector<std::string> options;
    bool bHelp = false;
    bool bJson = false;
    bool bAll = false;
    bool bForce = false;
    bool bDryRun = false;
};

CCtl::CCtl(CtlEnv env) : m_env(std::move(env))
{
}

std::uint32_t CCtl::OperationWord(bool bReboot, bool bForce)
{
    return vtdgram::OperationWord(bReboot ? vtdgram::OP_REBOOT : vtdgram::OP_SHUTDOWN, bForce ? 1 : 0);
}

void CCtl::Out(const QString& str) const
{
    if (m_env.fnOut)
        m_env.fnOut(str.toStdString() + '\n');
}

void CCtl::Err(const QString& str) const
{
    if (m_env.fnErr)
        m_env.fnErr(str.toStdString() + '\n');
}

int CCtl::Usage(const QString& strText)
{
    Err(tr("vtctl: %1").arg(strText));
    Err(tr("\"vtctl --help\" lists the commands and options."));
    return ExitUsage;
}

int CCtl::Run(const std::vector<std::string>& argv)
{
    Args args;
    bool bRest = false;
    for (std::size_t i = 0; i < argv.size(); ++i) {
        const std::string& strArg = argv[i];
        if (bRest || strArg == "-" || strArg.empty() || strArg[0] != '-') {
            args.positional.push_back(strArg);
        } else if (strArg == "--") {
            bRest = true;
        } else if (strArg == "--data" || strArg.rfind("--data=", 0) == 0) {
            if (strArg == "--data" && i + 1 >= argv.size())
                return Usage(tr("--data needs a file name"));
            args.data = strArg == "--data" ? argv[++i] : strArg.substr(7);
        } else if (strArg == "-h" || strArg == "--help") {
            args.bHelp = true;
        } else if (strArg == "--json" || strArg == "--all" || strArg == "--force" || strArg == "--dry-run") {
            args.options.push_back(strArg);
            args.bJson |= strArg == "--json";
            args.bAll |= strArg == "--all";
            args.bForce |= strArg == "--force";
            args.bDryRun |= strArg == "--dry-run";
        } else {
            return Usage(tr("unknown option \"%1\"").arg(Q(strArg)));
        }
    }
    if (!args.positional.empty()) {
        args.strCommand = args.positional.front();
        args.positional.erase(args.positional.begin());
    }
    if (args.strCommand == "help") {
        args.bHelp = true;
        args.strCommand = args.positional.empty() ? "" : args.positional.front();
    }

    struct Command {
        const char* pszName;
        std::vector<std::string> options;
        int (CCtl::*fn)(const Args&);
    };
    static const Command kCommands[] = {
        {"list", {"--json"}, &CCtl::List},
        {"groups", {"--json"}, &CCtl::Groups},
        {"status", {"--all", "--json"}, &CCtl::Status},
        {"wake", {"--all"}, &CCtl::Wake},
        {"reboot", {"--all", "--force"}, &CCtl::Operate},
        {"shutdown", {"--all", "--force"}, &CCtl::Operate},
        {"export", {}, &CCtl::Export},
        {"import", {"--dry-run"}, &CCtl::Import},
    };
    const auto command = std::find_if(std::begin(kCommands), std::end(kCommands),
                                      [&](const Command& c) { return args.strCommand == c.pszName; });
    if (args.strCommand.empty() && args.bHelp)
        return Help({});
    if (args.strCommand.empty())
        return Usage(tr("name a command"));
    if (command == std::end(kCommands))
        return Usage(tr("unknown command \"%1\"").arg(Q(args.strCommand)));
    if (args.bHelp)
        return Help(args.strCommand);
    for (const std::string& strOption : args.options)
        if (std::find(command->options.begin(), command->options.end(), strOption) == command->options.end())
            return Usage(tr("%1 does not take the option %2").arg(Q(args.strCommand), Q(strOption)));
    return (this->*command->fn)(args);
}

int CCtl::Help(const std::string& strCommand)
{
    QString strText;
    if (strCommand.empty()) {
        strText = tr("Usage: vtctl [--data FILE] COMMAND [OPTIONS] [ARGUMENTS]\n"
                     "\n"
                     "VT Server's roster from the command line: the same data file, settings and\n"
                     "network exchanges as the program.\n"
                     "\n"
                     "Commands:\n"
                     "  list [GROUP] [--json]       the PCs, as the PC list shows them\n"
                     "  groups [--json]             the groups, their member counts and reservations\n"
                     "  status TARGETS [--json]     asks the PCs now whether they are running\n"
                     "  wake TARGETS                wakes the PCs with Wake-on-LAN\n"
                     "  reboot [--force] TARGETS    reboots the PCs\n"
                     "  shutdown [--force] TARGETS  shuts the PCs down\n"
                     "  export [FILE]               writes the roster as CSV\n"
                     "  import FILE [--dry-run]     adds and updates PCs and groups from CSV\n"
                     "\n"
                     "TARGETS are PC names, IP addresses and group names (in any case), or --all.\n"
                     "\n"
                     "Options:\n"
                     "  --data FILE  this data file instead of the program's\n"
                     "  -h, --help   this help; \"vtctl COMMAND --help\" tells more of a command\n"
                     "\n"
                     "Exit status: 0 success; 1 some targets did not answer or refused; 2 bad usage\n"
                     "or bad input, nothing done; 3 the data file cannot be read.\n"
                     "\n"
                     "Data file: %1")
                      .arg(QFile::decodeName(QByteArray::fromStdString(DataPath(Args{}))));
    } else if (strCommand == "list") {
        strText = tr("Usage: vtctl list [GROUP] [--json]\n"
                     "\n"
                     "Prints every PC of the roster, or the members of GROUP, with the columns of\n"
                     "the PC list: name, IP address, status, MAC address, broadcast address, next\n"
                     "shutdown time and next wake-up time (the group's, when GROUP is given), and\n"
                     "the groups each PC belongs to. The status is the one the program stored last;\n"
                     "\"vtctl status\" asks the PCs now.\n"
                     "\n"
                     "  --json  one JSON array with language-neutral values, for scripts");
    } else if (strCommand == "groups") {
        strText = tr("Usage: vtctl groups [--json]\n"
                     "\n"
                     "Prints each group with its number of members and the next due times of its\n"
                     "shutdown and wake-up reservations.\n"
                     "\n"
                     "  --json  one JSON array with the whole schedules, for scripts");
    } else if (strCommand == "status") {
        strText = tr("Usage: vtctl status TARGETS [--json]\n"
                     "       vtctl status --all [--json]\n"
                     "\n"
                     "Asks the PCs now whether they are running (the exchange of View > Refresh)\n"
                     "and prints each PC with the name it answered with. It ends once the network\n"
                     "has been quiet for 3 seconds. The data file is not written. PCs without an\n"
                     "IP address are named in a warning.\n"
                     "\n"
                     "Exit status 1 when a PC did not answer.");
    } else if (strCommand == "wake") {
        strText = tr("Usage: vtctl wake TARGETS\n"
                     "       vtctl wake --all\n"
                     "\n"
                     "Sends each PC one Wake-on-LAN magic packet to its broadcast address at the\n"
                     "\"IP Port\" of the settings, as Operation > Wake up does. PCs without a MAC\n"
                     "address are named in a warning, and the exit status is then 1.");
    } else if (strCommand == "reboot" || strCommand == "shutdown") {
        strText = tr("Usage: vtctl %1 [--force] TARGETS\n"
                     "       vtctl %1 [--force] --all\n"
                     "\n"
                     "Sends the PCs the request of the menu command %2 (with --force: %3) and\n"
                     "ends once the network has been quiet for 3 seconds. Each PC that refuses is\n"
                     "printed with its result code, and the exit status is then 1. A PC that does\n"
                     "not answer cannot be told from one that obeys: \"vtctl status\" tells which\n"
                     "PCs still run.")
                      .arg(Q(strCommand))
                      .arg(strCommand == "reboot" ? tr("Reboot") : tr("Shutdown"))
                      .arg(strCommand == "reboot" ? tr("Forcible Reboot") : tr("Forcible Shutdown"));
    } else if (strCommand == "export") {
        strText = tr("Usage: vtctl export [FILE]\n"
                     "\n"
                     "Writes the roster as CSV (UTF-8) to FILE, or to standard output without FILE\n"
                     "or with \"-\": the header name,ip,mac,broadcast,groups, then one line per PC.\n"
                     "MAC addresses look like 00-1B-21-3A-4C-10 (empty when unknown); a PC's groups\n"
                     "are joined with \";\". Reservations and statuses are not exported.");
    } else {
        strText = tr("Usage: vtctl import FILE [--dry-run]\n"
                     "\n"
                     "Reads CSV (UTF-8; a byte order mark is ignored; \"-\" reads standard input)\n"
                     "with a header naming the columns name, ip, mac, broadcast, groups in any\n"
                     "order (broadcast and groups may be left out). Each row adds a PC, or updates\n"
                     "the name, MAC address and broadcast address of the PC registered at its IP\n"
                     "address (for a row without one: of the PC without one that has its MAC\n"
                     "address). Missing groups are created, and the PC joins every group listed.\n"
                     "Nothing is removed.\n"
                     "\n"
                     "MAC addresses may use \":\" or \"-\" and either case; an empty mac cell keeps\n"
                     "a known MAC address; an empty broadcast cell means 255.255.255.255.\n"
                     "\n"
                     "All or nothing: every problem (a bad address, duplicate rows, a name over its\n"
                     "limit, more than 254 PCs, 100 groups or 254 members in a group) is reported\n"
                     "with its line number, and the data file stays as it was (exit status 2).\n"
                     "Refused while VT Server is running (exit status 1).\n"
                     "\n"
                     "  --dry-run  prints what would change and writes nothing");
    }
    Out(strText);
    return ExitOk;
}

std::string CCtl::DataPath(const Args& args) const
{
    if (args.data)
        return *args.data;
    const fs::path exe(m_env.strExePath);
    return vtpaths::DataFilePath((exe.parent_path() / "vtserver").string());
}

bool CCtl::Load(CDoc& doc, const std::string& strPath)
{
    std::error_code ec;
    const fs::file_status st = fs::status(strPath, ec);
    if (st.type() == fs::file_type::not_found)
        return true;
    if (ec || fs::is_directory(st) || !doc.OnOpenDocument(strPath)) {
        Err(tr("Cannot read the data file %1.").arg(QFile::decodeName(QByteArray::fromStdString(strPath))));
        return false;
    }
    return true;
}

std::optional<std::vector<CKw*>> CCtl::Targets(const CDoc& doc, const Args& args)
{
    if (args.bAll == !args.positional.empty()) {
        Usage(args.bAll ? tr("name targets or --all, not both") : tr("name the targets, or --all"));
        return std::nullopt;
    }
    std::vector<CKw*> pcs;
    const auto add = [&](CKw* pPc) {
        if (std::find(pcs.begin(), pcs.end(), pPc) == pcs.end())
            pcs.push_back(pPc);
    };
    if (args.bAll) {
        for (const auto& pPc : doc.m_pcs)
            add(pPc.get());
        return pcs;
    }
    QStringList unknown;
    for (const std::string& strWord : args.positional) {
        std::vector<CKw*> named;
        bool bGroup = false;
        if (const auto ip = vtlookup::ParseIp(strWord)) {
            for (const auto& pPc : doc.m_pcs)
                if (pPc->m_dwIp == *ip)
                    named.push_back(pPc.get());
        } else {
            // A group may be empty; it still names something.
            for (const CGroup* pGroup : GroupsNamed(doc, strWord)) {
                bGroup = true;
                for (const std::int32_t nId : pGroup->m_members)
                    if (CKw* pPc = doc.FindPcById(nId))
                        named.push_back(pPc);
            }
            for (const auto& pPc : doc.m_pcs)
                if (SameName(pPc->m_strName, strWord))
                    named.push_back(pPc.get());
        }
        if (named.empty() && !bGroup)
            unknown << Q(strWord);
        std::for_each(named.begin(), named.end(), add);
    }
    if (!unknown.isEmpty()) {
        for (const QString& strWord : unknown)
            Err(tr("vtctl: unknown target \"%1\": no PC name, IP address or group name of the roster")
                    .arg(strWord));
        return std::nullopt;
    }
    return pcs;
}

int CCtl::List(const Args& args)
{
    if (args.positional.size() > 1)
        return Usage(tr("list takes at most one group"));
    CDoc doc;
    if (!Load(doc, DataPath(args)))
        return ExitDataFile;
    const CGroup* pGroup = nullptr;
    std::vector<const CKw*> pcs;
    if (!args.positional.empty()) {
        const auto groups = GroupsNamed(doc, args.positional.front());
        if (groups.empty()) {
            Err(tr("vtctl: there is no group \"%1\"").arg(Q(args.positional.front())));
            return ExitUsage;
        }
        pGroup = groups.front();
        for (const std::int32_t nId : pGroup->m_members)
            if (const CKw* pPc = doc.FindPcById(nId))
                pcs.push_back(pPc);
    } else {
        for (const auto& pPc : doc.m_pcs)
            pcs.push_back(pPc.get());
    }

    const auto groupsOf = [&](const CKw* pPc) {
        QStringList names;
        for (const auto& g : doc.m_groups)
            if (g->IsMember(pPc->m_nId))
                names << Q(g->m_strName);
        return names;
    };
    if (args.bJson) {
        QJsonArray array;
        for (const CKw* pPc : pcs) {
            const CReserve& off = pGroup ? pGroup->m_reserveOff : pPc->m_reserveOff;
            const CReserve& on = pGroup ? pGroup->m_reserveOn : pPc->m_reserveOn;
            QJsonObject o;
            o[QStringLiteral("name")] = Q(pPc->m_strName);
            o[QStringLiteral("ip")] = HasAddress(pPc->m_dwIp) ? QJsonValue(Q(vtlookup::FormatIp(pPc->m_dwIp)))
                                                              : QJsonValue(QJsonValue::Null);
            o[QStringLiteral("status")] =
                pPc->m_nStatus == 1 ? QLatin1String("unknown") : QLatin1String("operating");
            o[QStringLiteral("mac")] = IsUsableMac(pPc->m_mac.data()) ? QJsonValue(Q(pPc->GetMacText()))
                                                                      : QJsonValue(QJsonValue::Null);
            o[QStringLiteral("broadcast")] = Q(pPc->GetBroadcastText());
            o[QStringLiteral("shutdown")] = ReserveJson(off, false);
            o[QStringLiteral("wakeup")] = ReserveJson(on, true);
            o[QStringLiteral("groups")] = QJsonArray::fromStringList(groupsOf(pPc));
            array.append(o);
        }
        m_env.fnOut(JsonText(array));
        return ExitOk;
    }
    std::vector<std::vector<QString>> rows(1);
    for (const std::uint32_t nId : kListHeaderIds)
        rows.front().push_back(CtlText::S(nId));
    rows.front().push_back(tr("Groups"));
    for (const CKw* pPc : pcs) {
        std::vector<QString>& row = rows.emplace_back();
        for (const std::string& strText : pPc->GetListTexts(pGroup))
            row.push_back(Q(strText));
        row.push_back(groupsOf(pPc).join(QStringLiteral(", ")));
    }
    m_env.fnOut(CtlText::Table(rows));
    return ExitOk;
}

int CCtl::Groups(const Args& args)
{
    if (!args.positional.empty())
        return Usage(tr("groups takes no arguments"));
    CDoc doc;
    if (!Load(doc, DataPath(args)))
        return ExitDataFile;
    if (args.bJson) {
        QJsonArray array;
        for (const auto& pGroup : doc.m_groups) {
            QJsonObject o;
            o[QStringLiteral("name")] = Q(pGroup->m_strName);
            o[QStringLiteral("members")] = static_cast<int>(pGroup->m_members.size());
            o[QStringLiteral("shutdown")] = ReserveJson(pGroup->m_reserveOff, false);
            o[QStringLiteral("wakeup")] = ReserveJson(pGroup->m_reserveOn, true);
            array.append(o);
        }
        m_env.fnOut(JsonText(array));
        return ExitOk;
    }
    std::vector<std::vector<QString>> rows = {
        {tr("Group"), tr("Members"), CtlText::S(2062), CtlText::S(2065)}};
    for (const auto& pGroup : doc.m_groups)
        rows.push_back({Q(pGroup->m_strName), QString::number(pGroup->m_members.size()),
                        Q(pGroup->m_reserveOff.FormatNext()), Q(pGroup->m_reserveOn.FormatNext())});
    m_env.fnOut(CtlText::Table(rows));
    return ExitOk;
}

// The data file and the targets named on the command line; the exit status when either fails.
int CCtl::LoadTargets(CDoc& doc, const Args& args, std::vector<CKw*>& targets)
{
    if (!Load(doc, DataPath(args)))
        return ExitDataFile;
    auto named = Targets(doc, args);
    if (!named)
        return ExitUsage;
    targets = std::move(*named);
    return ExitOk;
}

// The targets' addresses (network order) for the worker; PCs without one are named.
std::vector<std::uint32_t> CCtl::AddressesOf(const std::vector<CKw*>& targets,
                                             std::vector<const CKw*>& skipped) const
{
    std::vector<std::uint32_t> addresses;
    for (const CKw* pPc : targets) {
        if (HasAddress(pPc->m_dwIp))
            addresses.push_back(htonl(pPc->m_dwIp));
        else
            skipped.push_back(pPc);
    }
    if (!skipped.empty())
        Err(tr("No IP address, left out: %1").arg(Names(skipped)));
    return addresses;
}

int CCtl::Status(const Args& args)
{
    CDoc doc;
    std::vector<CKw*> targets;
    if (const int nExit = LoadTargets(doc, args, targets); nExit != ExitOk)
        return nExit;
    std::vector<const CKw*> skipped;
    const std::vector<std::uint32_t> addresses = AddressesOf(targets, skipped);

    CCtlClient::Outcome outcome;
    if (!addresses.empty())
        outcome = CCtlClient(m_env.hooks, m_env.nBusyRetries, m_env.nRetryPauseMs).Status(addresses);
    if (outcome.nError != 0)
        Err(outcome.nError > 0 ? Q(vtstr::FormatError(static_cast<std::uint32_t>(outcome.nError)))
                               : CtlText::S(1038));
    bool bAllAnswered = skipped.empty() && outcome.nError == 0;
    std::vector<std::vector<QString>> rows = {
        {CtlText::S(2050), CtlText::S(2051), CtlText::S(2052), tr("Answered as")}};
    QJsonArray array;
    for (const CKw* pPc : targets) {
        const auto answer = std::find_if(outcome.records.begin(), outcome.records.end(), [&](const auto& r) {
            return r.bAnswered && HasAddress(pPc->m_dwIp) && r.dwIp == pPc->m_dwIp;
        });
        const bool bAnswered = answer != outcome.records.end();
        bAllAnswered = bAllAnswered && bAnswered;
        rows.push_back({Q(pPc->m_strName), Q(pPc->GetIpText()), CtlText::S(bAnswered ? 2055 : 2054),
                        bAnswered ? Q(answer->strText) : QString()});
        QJsonObject o;
        o[QStringLiteral("name")] = Q(pPc->m_strName);
        o[QStringLiteral("ip")] = HasAddress(pPc->m_dwIp) ? QJsonValue(Q(vtlookup::FormatIp(pPc->m_dwIp)))
                                                          : QJsonValue(QJsonValue::Null);
        o[QStringLiteral("answered")] = bAnswered;
        o[QStringLiteral("answered_as")] =
            bAnswered ? QJsonValue(Q(answer->strText)) : QJsonValue(QJsonValue::Null);
        array.append(o);
    }
    m_env.fnOut(args.bJson ? JsonText(array) : CtlText::Table(rows));
    return bAllAnswered ? ExitOk : ExitTargets;
}

int CCtl::Wake(const Args& args)
{
    CDoc doc;
    std::vector<CKw*> targets;
    if (const int nExit = LoadTargets(doc, args, targets); nExit != ExitOk)
        return nExit;
    std::vector<std::uint8_t> macs;
    std::vector<std::uint32_t> broadcasts;
    std::vector<const CKw*> skipped;
    for (const CKw* pPc : targets) {
        if (!IsUsableMac(pPc->m_mac.data())) {
            skipped.push_back(pPc);
            continue;
        }
        macs.insert(macs.end(), pPc->m_mac.begin(), pPc->m_mac.end());
        broadcasts.push_back(pPc->m_dwBroadcast);
    }
    if (!skipped.empty())
        Err(tr("No MAC address, not woken: %1").arg(Names(skipped)));
    if (!broadcasts.empty())
        CKwvtClient::WakeUp(macs, broadcasts);
    Out(tr("Wake-on-LAN magic packets sent to %1 PCs.").arg(broadcasts.size()));
    return skipped.empty() ? ExitOk : ExitTargets;
}

int CCtl::Operate(const Args& args)
{
    CDoc doc;
    std::vector<CKw*> targets;
    if (const int nExit = LoadTargets(doc, args, targets); nExit != ExitOk)
        return nExit;
    const bool bReboot = args.strCommand == "reboot";
    const std::uint32_t dwWord = OperationWord(bReboot, args.bForce);
    std::vector<const CKw*> skipped;
    const std::vector<std::uint32_t> addresses = AddressesOf(targets, skipped);

    CCtlClient::Outcome outcome;
    if (!addresses.empty())
        outcome = CCtlClient(m_env.hooks, m_env.nBusyRetries, m_env.nRetryPauseMs)
                      .Operate(addresses, std::vector<std::uint32_t>(addresses.size(), dwWord));
    for (const CCtlClient::Record& record : outcome.records) {
        QStringList names;
        for (const CKw* pPc : targets)
            if (pPc->m_dwIp == record.dwIp)
                names << Q(pPc->m_strName);
        Out(tr("%1 (%2): result code %3")
                .arg(names.join(QStringLiteral(", ")), Q(vtlookup::FormatIp(record.dwIp)),
                     Q(record.strText)));
    }
    if (outcome.nError != 0)
        Err(outcome.nError > 0 ? Q(vtstr::FormatError(static_cast<std::uint32_t>(outcome.nError)))
                               : CtlText::S(1038));
    const QString strOperation = bReboot ? (args.bForce ? tr("Forcible Reboot") : tr("Reboot"))
                                         : (args.bForce ? tr("Forcible Shutdown") : tr("Shutdown"));
    Out(tr("%1 sent to %2 PCs.").arg(strOperation).arg(outcome.nError == 0 ? addresses.size() : 0));
    return skipped.empty() && outcome.records.empty() && outcome.nError == 0 ? ExitOk : ExitTargets;
}

int CCtl::Export(const Args& args)
{
    if (args.positional.size() > 1)
        return Usage(tr("export takes at most one file"));
    CDoc doc;
    if (!Load(doc, DataPath(args)))
        return ExitDataFile;
    std::vector<QString> warnings;
    const std::string strCsv = CRosterCsv::Export(doc, &warnings);
    for (const QString& strWarning : warnings)
        Err(strWarning);
    if (args.positional.empty() || args.positional.front() == "-") {
        m_env.fnOut(strCsv);
        return ExitOk;
    }
    const QString strFile = QFile::decodeName(QByteArray::fromStdString(args.positional.front()));
    QSaveFile file(strFile);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(strCsv.data(), static_cast<qint64>(strCsv.size())) != static_cast<qint64>(strCsv.size()) ||
        !file.commit()) {
        Err(tr("vtctl: cannot write %1").arg(strFile));
        return ExitUsage;
    }
    return ExitOk;
}

int CCtl::Import(const Args& args)
{
    if (args.positional.size() != 1)
        return Usage(tr("import takes one file"));
    std::string strText;
    const std::string& strFile = args.positional.front();
    if (strFile == "-") {
        strText = m_env.fnReadStdin ? m_env.fnReadStdin() : std::string();
    } else {
        std::ifstream in(strFile, std::ios::binary);
        if (!in || fs::is_directory(strFile)) {
            Err(tr("vtctl: cannot read %1").arg(QFile::decodeName(QByteArray::fromStdString(strFile))));
            return ExitUsage;
        }
        strText.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // The program keeps the roster in memory and saves it whole: while it runs, an import
    // would be overwritten, and it must not start halfway through one.
    QLockFile lock(QFile::decodeName(QByteArray::fromStdString(vtpaths::InstanceLockPath())));
    lock.setStaleLockTime(0);
    if (!args.bDryRun && !lock.tryLock(500)) {
        Err(tr("vtctl: VT Server is running. Close it before importing: it would write its own roster over "
               "the import."));
        return ExitTargets;
    }

    const std::string strPath = DataPath(args);
    CDoc doc;
    if (!Load(doc, strPath))
        return ExitDataFile;
    const CRosterCsv::Report report = CRosterCsv::Import(doc, strText);
    if (!report.problems.empty()) {
        for (const CRosterCsv::Problem& problem : report.problems)
            Err(CRosterCsv::Report::Text(problem));
        Err(tr("Nothing was imported: %1 problems.").arg(report.problems.size()));
        return ExitUsage;
    }
    for (const QString& strChange : report.changes)
        Out(strChange);
    if (!report.HasChanges()) {
        Out(tr("Nothing to change."));
        return ExitOk;
    }
    Out(report.Summary());
    if (args.bDryRun) {
        Out(tr("Dry run: the data file was not changed."));
        return ExitOk;
    }
    const QString strQtPath = QFile::decodeName(QByteArray::fromStdString(strPath));
    QDir().mkpath(QFileInfo(strQtPath).absolutePath());
    doc.SetPathName(strPath);
    switch (doc.DoFileSave()) {
    case SaveResult::Saved:
        return ExitOk;
    case SaveResult::Refused:
        Err(CtlText::S(1037));
        return ExitDataFile;
    case SaveResult::Failed:
        break;
    }
    Err(tr("vtctl: cannot write the data file %1").arg(strQtPath));
    return ExitDataFile;
}
