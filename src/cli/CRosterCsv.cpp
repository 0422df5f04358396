#include "cli/CRosterCsv.h"

#include "cli/Csv.h"
#include "model/CDoc.h"
#include "net/AddressLookup.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <set>

namespace {

constexpr std::uint32_t kNoAddress = 0xFFFFFFFFu;
constexpr std::uint32_t kLocalHost = 0x7F000001u;
const std::array<const char*, 5> kColumns = {"name", "ip", "mac", "broadcast", "groups"};
enum Column { ColName, ColIp, ColMac, ColBroadcast, ColGroups };

bool HasAddress(std::uint32_t dwIp)
{
    return dwIp != 0 && dwIp != kNoAddress;
}

bool HasControl(const std::string& str)
{
    return std::any_of(str.begin(), str.end(),
                       [](char ch) { return static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F; });
}

std::string TrimBlanks(const std::string& str)
{
    const std::size_t nBegin = str.find_first_not_of(" \t");
    if (nBegin == std::string::npos)
        return {};
    return str.substr(nBegin, str.find_last_not_of(" \t") - nBegin + 1);
}

std::vector<std::string> SplitGroups(const std::string& strCell)
{
    std::vector<std::string> names;
    std::size_t nStart = 0;
    for (;;) {
        const std::size_t nEnd = strCell.find(';', nStart);
        const std::string strName = TrimBlanks(strCell.substr(nStart, nEnd - nStart));
        if (!strName.empty() && std::find(names.begin(), names.end(), strName) == names.end())
            names.push_back(strName);
        if (nEnd == std::string::npos)
            return names;
        nStart = nEnd + 1;
    }
}

bool FitsGroupsColumn(const std::string& strName)
{
    return !strName.empty() && strName.find(';') == std::string::npos && TrimBlanks(strName) == strName;
}

QString Q(const std::string& str)
{
    return QString::fromStdString(str);
}

QString IpText(std::uint32_t dwIp)
{
    return Q(vtlookup::FormatIp(dwIp));
}

struct Row {
    int nLine = 0;
    std::string strName;
    std::uint32_t dwIp = kNoAddress;
    std::optional<vtcsv::Mac> mac; ///< empty cell, or all zero: no MAC
    std::uint32_t dwBroadcast = kNoAddress;
    std::vector<std::string> groups;
};

CGroup* FindGroup(const CDoc& doc, const std::string& strName)
{
    for (const auto& pGroup : doc.m_groups)
        if (pGroup->m_strName == strName)
            return pGroup.get();
    return nullptr;
}

// New groups in an order that keeps every row's listing in order, so that a roster
// exported and imported again lists each PC's groups as before; ties and contradictions
// go by first appearance.
std::vector<std::string> NewGroupOrder(const CDoc& doc, const std::vector<Row>& rows,
                                       std::map<std::string, int>& firstLine)
{
    std::vector<std::string> names;
    std::map<std::string, std::set<std::string>> after; // name -> names that must follow
    std::map<std::string, int> nBefore;
    for (const Row& row : rows) {
        const std::string* pPrevious = nullptr;
        for (const std::string& strName : row.groups) {
            if (FindGroup(doc, strName))
                continue;
            if (firstLine.emplace(strName, row.nLine).second) {
                names.push_back(strName);
                nBefore[strName] = 0;
            }
            if (pPrevious && after[*pPrevious].insert(strName).second)
                ++nBefore[strName];
            pPrevious = &strName;
        }
    }
    std::vector<std::string> order;
    std::set<std::string> placed;
    while (order.size() < names.size()) {
        auto it = std::find_if(names.begin(), names.end(),
                               [&](const std::string& s) { return !placed.count(s) && nBefore[s] == 0; });
        if (it == names.end())
            it = std::find_if(names.begin(), names.end(),
                              [&](const std::string& s) { return !placed.count(s); });
        placed.insert(*it);
        order.push_back(*it);
        for (const std::string& strNext : after[*it])
            --nBefore[strNext];
    }
    return order;
}

} // namespace

QString CRosterCsv::Report::Summary() const
{
    return tr("%1 PCs added, %2 updated, %3 groups created, %4 memberships added.")
        .arg(nAdded)
        .arg(nUpdated)
        .arg(nGroupsCreated)
        .arg(nMemberships);
}

QString CRosterCsv::Report::Text(const Problem& problem)
{
    return problem.nLine > 0 ? tr("line %1: %2").arg(problem.nLine).arg(problem.strText) : problem.strText;
}

std::string CRosterCsv::Export(const CDoc& doc, std::vector<QString>* pWarnings)
{
    std::string strOut = vtcsv::Line({kColumns.begin(), kColumns.end()});
    for (const auto& pGroup : doc.m_groups) {
        if (!FitsGroupsColumn(pGroup->m_strName) && pWarnings)
            pWarnings->push_back(
                tr("The group \"%1\" cannot be written in the groups column (a ';' or blanks "
                   "at either end of its name): its memberships are left out.")
                    .arg(Q(pGroup->m_strName)));
    }
    for (const auto& pPc : doc.m_pcs) {
        std::string strGroups;
        for (const auto& pGroup : doc.m_groups) {
            if (!pGroup->IsMember(pPc->m_nId) || !FitsGroupsColumn(pGroup->m_strName))
                continue;
            strGroups += (strGroups.empty() ? "" : ";") + pGroup->m_strName;
        }
        strOut += vtcsv::Line({pPc->m_strName, HasAddress(pPc->m_dwIp) ? vtlookup::FormatIp(pPc->m_dwIp) : "",
                               IsUsableMac(pPc->m_mac.data()) ? vtcsv::FormatMac(pPc->m_mac) : "",
                               vtlookup::FormatIp(pPc->m_dwBroadcast), strGroups});
    }
    return strOut;
}

CRosterCsv::Report CRosterCsv::Import(CDoc& doc, std::string_view text)
{
    Report report;
    const auto problem = [&](int nLine, const QString& strText) {
        report.problems.push_back({nLine, strText});
    };

    const vtcsv::ReadResult read = vtcsv::Read(text);
    if (read.error == vtcsv::ReadResult::Error::UnclosedQuote) {
        problem(read.nErrorLine, tr("a quoted field is not closed"));
        return report;
    }
    if (read.error == vtcsv::ReadResult::Error::TextAfterQuote) {
        problem(read.nErrorLine, tr("text follows a closing quote"));
        return report;
    }

    const auto isEmpty = [](const vtcsv::Record& r) {
        return std::all_of(r.fields.begin(), r.fields.end(),
                           [](const vtcsv::Field& f) { return f.strText.empty(); });
    };
    const auto header = std::find_if_not(read.records.begin(), read.records.end(), isEmpty);
    if (header == read.records.end()) {
        problem(0, tr("The file has no header line (name,ip,mac,broadcast,groups)."));
        return report;
    }

    // Columns by name, in any order; broadcast and groups may be left out.
    std::array<int, kColumns.size()> columnAt;
    columnAt.fill(-1);
    for (std::size_t i = 0; i < header->fields.size(); ++i) {
        const QString strName = Q(header->fields[i].strText).trimmed().toLower();
        const auto known = std::find_if(kColumns.begin(), kColumns.end(),
                                        [&](const char* p) { return strName == QLatin1String(p); });
        if (known == kColumns.end()) {
            problem(header->nLine,
                    tr("unknown column \"%1\" (the columns are name, ip, mac, broadcast, groups)")
                        .arg(Q(header->fields[i].strText)));
            continue;
        }
        int& nAt = columnAt[static_cast<std::size_t>(known - kColumns.begin())];
        if (nAt >= 0)
            problem(header->nLine, tr("the column \"%1\" appears twice").arg(strName));
        nAt = static_cast<int>(i);
    }
    for (const Column col : {ColName, ColIp, ColMac})
        if (columnAt[col] < 0)
            problem(header->nLine, tr("the column \"%1\" is missing").arg(QLatin1String(kColumns[col])));
    if (!report.problems.empty())
        return report;

    // Each row on its own.
    std::vector<Row> rows;
    for (auto it = header + 1; it != read.records.end(); ++it) {
        const vtcsv::Record& record = *it;
        if (isEmpty(record))
            continue;
        const int nLine = record.nLine;
        if (record.fields.size() != header->fields.size()) {
            problem(
                nLine,
                tr("%1 fields, but the header has %2").arg(record.fields.size()).arg(header->fields.size()));
            continue;
        }
        const auto cell = [&](Column col) -> const std::string& {
            static const std::string kEmpty;
            return columnAt[col] < 0 ? kEmpty
                                     : record.fields[static_cast<std::size_t>(columnAt[col])].strText;
        };
        if (!std::all_of(record.fields.begin(), record.fields.end(),
                         [](const vtcsv::Field& f) { return vtcsv::IsUtf8(f.strText); })) {
            problem(nLine, tr("the text is not UTF-8"));
            continue;
        }
        const std::size_t nBefore = report.problems.size();
        Row row;
        row.nLine = nLine;
        row.strName = cell(ColName);
        if (row.strName.empty())
            problem(nLine, tr("the name is empty"));
        else if (Q(row.strName).size() > kMaxNameChars)
            problem(nLine, tr("the name is longer than %1 characters").arg(kMaxNameChars));
        else if (HasControl(row.strName))
            problem(nLine, tr("the name holds a control character"));

        if (const std::string& strIp = cell(ColIp); !strIp.empty()) {
            const auto ip = vtlookup::ParseIp(strIp);
            if (ip && HasAddress(*ip))
                row.dwIp = *ip;
            else
                problem(nLine, tr("bad IP address \"%1\"").arg(Q(strIp)));
        }
        if (const std::string& strMac = cell(ColMac); !strMac.empty()) {
            const auto mac = vtcsv::ParseMac(strMac);
            if (!mac)
                problem(nLine, tr("bad MAC address \"%1\" (six pairs of hexadecimal digits, such as "
                                  "00-1B-21-3A-4C-10)")
                                   .arg(Q(strMac)));
            else if (IsUsableMac(mac->data()))
                row.mac = mac;
        }
        if (const std::string& strBroadcast = cell(ColBroadcast); !strBroadcast.empty()) {
            const auto broadcast = vtlookup::ParseIp(strBroadcast);
            if (broadcast)
                row.dwBroadcast = *broadcast;
            else
                problem(nLine, tr("bad broadcast address \"%1\"").arg(Q(strBroadcast)));
        }
        if (report.problems.size() == nBefore && (!HasAddress(row.dwIp) || row.dwIp == kLocalHost) &&
            !row.mac)
            problem(nLine, tr("neither a usable IP address nor a MAC address"));

        row.groups = SplitGroups(cell(ColGroups));
        for (const std::string& strGroup : row.groups) {
            if (static_cast<int>(strGroup.size()) > kMaxGroupNameBytes)
                problem(nLine, tr("the group name \"%1\" is longer than %2 bytes")
                                   .arg(Q(strGroup))
                                   .arg(kMaxGroupNameBytes));
            else if (HasControl(strGroup))
                problem(nLine, tr("the group name \"%1\" holds a control character").arg(Q(strGroup)));
        }
        if (report.problems.size() == nBefore)
            rows.push_back(std::move(row));
    }

    // Rows against each other.
    std::map<std::uint32_t, int> ipLine;
    std::map<vtcsv::Mac, int> macLine;
    std::vector<Row> unique;
    for (Row& row : rows) {
        bool bDuplicate = false;
        if (HasAddress(row.dwIp)) {
            const auto [it, bNew] = ipLine.emplace(row.dwIp, row.nLine);
            if (!bNew) {
                problem(row.nLine,
                        tr("the IP address %1 is also on line %2").arg(IpText(row.dwIp)).arg(it->second));
                bDuplicate = true;
            }
        }
        if (row.mac) {
            const auto [it, bNew] = macLine.emplace(*row.mac, row.nLine);
            if (!bNew) {
                problem(row.nLine, tr("the MAC address %1 is also on line %2")
                                       .arg(Q(vtcsv::FormatMac(*row.mac)))
                                       .arg(it->second));
                bDuplicate = true;
            }
        }
        if (!bDuplicate)
            unique.push_back(std::move(row));
    }
    rows = std::move(unique);

    // Groups first, so that memberships can be added row by row.
    std::map<std::string, int> firstLine;
    for (const std::string& strName : NewGroupOrder(doc, rows, firstLine)) {
        if (!doc.AddGroup(strName)) {
            problem(firstLine[strName],
                    tr("the group \"%1\" would be one more than the %2 groups a roster may hold")
                        .arg(Q(strName))
                        .arg(CDoc::kMaxGroups));
            continue;
        }
        ++report.nGroupsCreated;
        report.changes.push_back(tr("new group \"%1\"").arg(Q(strName)));
    }

    std::map<const CKw*, const Row*> rowOf;
    for (const Row& row : rows) {
        CKw* pPc = nullptr;
        if (HasAddress(row.dwIp)) {
            pPc = doc.FindPcByIp(row.dwIp);
        } else {
            // Without an address, the MAC names the PC, provided that PC has no address either.
            for (const auto& p : doc.m_pcs)
                if (!HasAddress(p->m_dwIp) && row.mac && p->m_mac == *row.mac)
                    pPc = p.get();
        }
        const QString strWhere = HasAddress(row.dwIp) ? IpText(row.dwIp) : Q(vtcsv::FormatMac(*row.mac));
        if (pPc) {
            QStringList what;
            if (pPc->m_strName != row.strName) {
                what << tr("name \"%1\" -> \"%2\"").arg(Q(pPc->m_strName), Q(row.strName));
                doc.RenamePc(pPc, row.strName);
            }
            if (row.mac && pPc->m_mac != *row.mac) {
                what << tr("MAC %1 -> %2").arg(Q(pPc->GetMacText()), Q(vtcsv::FormatMac(*row.mac)));
                doc.SetPcMac(pPc, row.mac->data());
            }
            if (pPc->m_dwBroadcast != row.dwBroadcast) {
                what << tr("broadcast %1 -> %2").arg(IpText(pPc->m_dwBroadcast), IpText(row.dwBroadcast));
                pPc->m_dwBroadcast = row.dwBroadcast;
                doc.SetModifiedFlag();
            }
            if (!what.isEmpty()) {
                ++report.nUpdated;
                report.changes.push_back(tr("update %1: %2").arg(strWhere, what.join(QStringLiteral(", "))));
            }
        } else {
            const vtcsv::Mac mac = row.mac.value_or(vtcsv::Mac{});
            pPc = doc.AddPc(row.strName, row.dwIp, mac.data(), row.dwBroadcast);
            if (!pPc) {
                problem(row.nLine, tr("one PC more than the %1 a roster may hold").arg(CDoc::kMaxPcs));
                continue;
            }
            ++report.nAdded;
            report.changes.push_back(tr("add %1 (%2)").arg(Q(row.strName), strWhere));
        }
        rowOf[pPc] = &row;
        for (const std::string& strGroup : row.groups) {
            CGroup* pGroup = FindGroup(doc, strGroup);
            if (!pGroup || pGroup->IsMember(pPc->m_nId))
                continue;
            if (!doc.AddToGroup(pGroup, pPc->m_nId)) {
                problem(row.nLine, tr("the group \"%1\" already has %2 members, the most a group may hold")
                                       .arg(Q(strGroup))
                                       .arg(CGroup::kMaxMembers));
                continue;
            }
            ++report.nMemberships;
            report.changes.push_back(tr("add %1 to group \"%2\"").arg(Q(row.strName), Q(strGroup)));
        }
    }

    // A MAC that ends up on a second PC: registered PCs the rows leave alone, or whose
    // row keeps the MAC they have.
    for (const auto& [pPc, pRow] : rowOf) {
        if (!pRow->mac)
            continue;
        for (const auto& pOther : doc.m_pcs) {
            if (pOther.get() == pPc || pOther->m_mac != *pRow->mac)
                continue;
            const auto other = rowOf.find(pOther.get());
            if (other == rowOf.end() || !other->second->mac) {
                problem(pRow->nLine, tr("the MAC address %1 is registered for %2 (%3)")
                                         .arg(Q(vtcsv::FormatMac(*pRow->mac)), Q(pOther->m_strName),
                                              Q(pOther->GetIpText())));
                break;
            }
        }
    }
    std::stable_sort(report.problems.begin(), report.problems.end(),
                     [](const Problem& a, const Problem& b) { return a.nLine < b.nLine; });
    return report;
}
