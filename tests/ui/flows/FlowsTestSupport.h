#pragma once

#include "../views/ViewsTestSupport.h"

#include "CGpTree.h"
#include "CKwListModel.h"
#include "schedule/CReserve.h"

#include <QHBoxLayout>
#include <QWidget>

#include <ctime>
#include <deque>

namespace vtflows {

/// Every lookup the registration dialog and the reply handling make, answered here:
/// no name ever reaches the system resolver.
struct FakeLookup {
    std::map<std::uint32_t, MacAddress> arp;
    std::map<std::string, std::uint32_t> names;

    FakeLookup()
    {
        vtlookup::Functions fns;
        fns.fnResolve = [this](const std::string& strName) -> std::optional<std::uint32_t> {
            const auto it = names.find(strName);
            return it == names.end() ? std::nullopt : std::optional<std::uint32_t>(it->second);
        };
        fns.fnReverse = [](std::uint32_t) -> std::optional<std::string> { return std::nullopt; };
        fns.fnArp = [this](std::uint32_t dwIp) -> std::optional<MacAddress> {
            const auto it = arp.find(dwIp);
            return it == arp.end() ? std::nullopt : std::optional<MacAddress>(it->second);
        };
        fns.fnLocalAddresses = [] { return std::vector<std::uint32_t>{}; };
        vtlookup::SetLookupForTesting(fns);
    }
    ~FakeLookup() { vtlookup::SetLookupForTesting({}); }
    FakeLookup(const FakeLookup&) = delete;
    FakeLookup& operator=(const FakeLookup&) = delete;
};

/// The views' message boxes, recorded and answered from a script (Yes when it runs out).
struct MessageScript {
    struct Entry {
        QString strText;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
    };
    std::vector<Entry> entries;
    std::deque<QMessageBox::StandardButton> answers;

    MessageScript()
    {
        vtview::SetMessageBoxForTesting([this](QWidget*, const QString& strText, QMessageBox::Icon icon,
                                               QMessageBox::StandardButtons buttons) {
            entries.push_back({strText, icon, buttons});
            if (answers.empty())
                return QMessageBox::Yes;
            const QMessageBox::StandardButton answer = answers.front();
            answers.pop_front();
            return answer;
        });
    }
    ~MessageScript() { vtview::SetMessageBoxForTesting({}); }
    MessageScript(const MessageScript&) = delete;
    MessageScript& operator=(const MessageScript&) = delete;

    /// The string ids of the texts shown, in order (0 for a text of no known id).
    std::vector<unsigned> Ids() const
    {
        std::vector<unsigned> ids;
        for (const Entry& e : entries) {
            unsigned nFound = 0;
            for (unsigned nId : {1026u, 1029u, 1536u, 1537u, 1538u, 1539u})
                if (e.strText == QString::fromStdString(vtstr::LoadString(nId)))
                    nFound = nId;
            ids.push_back(nFound);
        }
        return ids;
    }
};

/// The two views side by side in one window, as the main frame holds them, with a
/// worker that only ever talks to agents on loopback.
struct Desk {
    CDoc doc;
    quint16 wPort = 0;
    std::vector<std::unique_ptr<vttest::Agent>> agents;
    std::unique_ptr<QWidget> pHost;
    CGpTree* pTree = nullptr;
    CKwList* pList = nullptr;

    using Agents = std::vector<std::pair<const char*, const char*>>;
    explicit Desk(const Agents& agentSpecs = {}, const char* pszSearch = "127.0.0.3")
    {
        std::vector<const char*> addresses;
        for (const auto& spec : agentSpecs)
            addresses.push_back(spec.first);
        wPort = vttest::PickPort(addresses);
        for (const auto& [pszAddress, pszName] : agentSpecs)
            agents.push_back(
                std::make_unique<vttest::Agent>(pszAddress, static_cast<quint16>(wPort + 1), pszName));
        CKwList::SetClientHooksForTesting(vttest::LoopbackHooks(wPort, vttest::Ip(pszSearch)));
    }
    ~Desk()
    {
        pHost.reset();
        CKwList::SetClientHooksForTesting(std::nullopt);
    }
    Desk(const Desk&) = delete;
    Desk& operator=(const Desk&) = delete;

    bool Start()
    {
        if (wPort == 0)
            return false;
        for (const auto& pAgent : agents)
            if (!pAgent->IsBound())
                return false;
        pHost = std::make_unique<QWidget>();
        auto* pLayout = new QHBoxLayout(pHost.get());
        pTree = new CGpTree(&doc, pHost.get());
        pList = new CKwList(&doc, pHost.get());
        pLayout->addWidget(pTree);
        pLayout->addWidget(pList, 1);
        if (!pList->Create())
            return false;
        pTree->OnInitialUpdate();
        pList->OnInitialUpdate();
        pHost->resize(900, 400);
        pHost->move(40, 40);
        pHost->show();
        if (!QTest::qWaitForWindowExposed(pHost.get()))
            return false;
        return vttest::WaitIdle(doc);
    }

    /// Shows a group (null = the whole roster) the way a click in the tree does.
    void Show(CGroup* pGroup) { pTree->setCurrentItem(pGroup ? pTree->ItemOf(pGroup) : pTree->RootItem()); }
    void Select(std::initializer_list<int> rows)
    {
        pList->clearSelection();
        for (int nRow : rows)
            pList->selectionModel()->select(pList->Model()->index(nRow, 0),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QString Text(int nRow, int nColumn) const
    {
        return pList->Model()->index(nRow, nColumn).data().toString();
    }
    bool Enabled(int id) const
    {
        bool bEnabled = false;
        return pList->OnUpdateCommand(id, &bEnabled) && bEnabled;
    }
    /// Screen point of the middle of a tree item, or of a list row.
    QPoint TreePoint(QTreeWidgetItem* pItem) const
    {
        return pTree->viewport()->mapToGlobal(pTree->visualItemRect(pItem).center());
    }
    QPoint ListPoint(int nRow) const
    {
        return pList->viewport()->mapToGlobal(pList->visualRect(pList->Model()->index(nRow, 0)).center());
    }
};

inline VtTime LocalNoon()
{
    std::tm tm{};
    tm.tm_year = 124;
    tm.tm_mon = 2;
    tm.tm_mday = 5;
    tm.tm_hour = 12;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

/// Test set-up shared by the flows tests: a still clock, no periodic poll, every lookup
/// answered locally.
inline void PrepareEnvironment()
{
    vtclock::SetClockForTesting([] { return LocalNoon(); });
    vtsettings::WriteInt("Settings", "Type", 0);
    vtsettings::WriteInt("Settings", "Interval", 60);
    SetPowerOffEnabled(false);
}

} // namespace vtflows
