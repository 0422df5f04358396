#pragma once

#include "shell/ShellTestSupport.h"

#include "AgentLab.h"
#include "CClientBridge.h"
#include "ViewSupport.h"
#include "schedule/CReserve.h"

#include <QtNetwork>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vttest {

inline std::uint32_t Ip(const char* psz)
{
    return *vtlookup::ParseIp(psz);
}

inline QString S(unsigned nId)
{
    return QString::fromStdString(vtstr::LoadString(nId));
}

/// Local time on a day of March 2024.
inline VtTime March(int nDay, int nHour, int nMinute, int nSecond = 0)
{
    return QDateTime(QDate(2024, 3, nDay), QTime(nHour, nMinute, nSecond)).toSecsSinceEpoch();
}

/// Every test starts as the shell's do, from a still clock (nothing falls due unless a test moves
/// it) and without the Power OFF items.
inline void ResetEnvironment()
{
    ResetShell();
    vtclock::SetClockForTesting([] { return March(5, 12, 0); });
    SetPowerOffEnabled(false);
}

inline bool Enabled(CCommandTarget& target, int id)
{
    bool bEnabled = false;
    return target.OnUpdateCommand(id, &bEnabled) && bEnabled;
}

inline CKw* AddPc(CDoc& doc, const char* pszName, const char* pszIp, MacAddress mac = {})
{
    return doc.AddPc(pszName, pszIp ? Ip(pszIp) : 0, mac.data(), 0xFFFFFFFFu);
}

/// A context menu's items ("-" a separator, "!" before a disabled item); the menu is deleted.
inline QString MenuText(QMenu* pMenu)
{
    std::unique_ptr<QMenu> pOwned(pMenu);
    QStringList items;
    for (const QAction* pAction : pMenu->actions())
        items << (pAction->isSeparator()
                      ? QStringLiteral("-")
                      : (pAction->isEnabled() ? QString() : QStringLiteral("!")) + pAction->text());
    return items.join(QLatin1Char('|'));
}

inline QAbstractButton* Button(QWidget* pDlg, const char* pszName)
{
    return pDlg->findChild<QAbstractButton*>(QLatin1String(pszName));
}

inline void SetText(QWidget* pDlg, const char* pszName, const char* pszText)
{
    pDlg->findChild<QLineEdit*>(QLatin1String(pszName))->setText(QString::fromUtf8(pszText));
}

inline CReserve Daily(int nHour, int nMinute, std::uint16_t wType, std::uint16_t wForce = 0)
{
    CReserve rec;
    rec.Set(1, ReserveDaily, 0, 0, March(5, nHour, nMinute), wType, wForce);
    return rec;
}

inline vtagent::AgentSpec Agent(const char* pszIp, const char* pszName)
{
    return {.dwAddress = Ip(pszIp), .strName = pszName};
}

inline bool WaitIdle(const CDoc& doc)
{
    return QTest::qWaitFor([&doc] { return doc.m_pClient && !doc.m_pClient->m_bBusy; }, 5000);
}

/// The tree and the list side by side in one window, as the main frame holds them, with a worker
/// that only talks to simulated agents on loopback (searches go to 127.0.0.3 only), every lookup
/// answered here, and every message box and question recorded and answered from a script (Yes
/// when it runs out; `ticks`: whether the question's "Don't ask again" is ticked).
struct Desk {
    std::map<std::uint32_t, MacAddress> arp;
    struct {
        QStringList texts;
        std::vector<QMessageBox::Icon> icons;
        std::vector<QMessageBox::StandardButtons> buttons;
        QList<QMessageBox::StandardButton> answers;
        QList<bool> ticks;
        std::function<void()> fnWhileAsked; ///< runs once, while the next question is open
    } log;
    CDoc doc;
    quint16 wPort = 0;
    QTemporaryDir labDir;
    std::unique_ptr<vtagent::AgentLab> pLab;
    std::unique_ptr<QWidget> pHost;
    CGpTree* pTree = nullptr;
    CKwList* pList = nullptr;

    explicit Desk(std::vector<vtagent::AgentSpec> agents = {})
    {
        vtview::SetMessageBoxForTesting([this](QWidget*, const QString& strText, QMessageBox::Icon icon,
                                               QMessageBox::StandardButtons shown) {
            log.texts << strText;
            log.icons.push_back(icon);
            log.buttons.push_back(shown);
            return log.answers.isEmpty() ? QMessageBox::Yes : log.answers.takeFirst();
        });
        vtview::SetQuestionForTesting(
            [this](QWidget*, const QString& strText, const QString&, bool* pChecked) {
                log.texts << strText;
                if (log.fnWhileAsked)
                    std::exchange(log.fnWhileAsked, {})();
                *pChecked = !log.ticks.isEmpty() && log.ticks.takeFirst();
                return log.answers.isEmpty() ? QMessageBox::Yes : log.answers.takeFirst();
            });
        vtlookup::SetLookupForTesting(
            {.fnResolve = [](const std::string&) { return std::optional<std::uint32_t>(); },
             .fnReverse = [](std::uint32_t) { return std::optional<std::string>(); },
             .fnArp =
                 [this](std::uint32_t dwIp) {
                     return arp.contains(dwIp) ? arp.at(dwIp) : std::optional<MacAddress>();
                 },
             .fnLocalAddresses = [] { return std::vector<std::uint32_t>{}; }});

        // A server port whose agent port (+1) nobody else holds.
        for (int nTry = 0; nTry < 50 && wPort == 0; ++nTry) {
            const auto wTry = static_cast<quint16>(QRandomGenerator::global()->bounded(20000, 60000));
            QUdpSocket server, agent;
            if (server.bind(QHostAddress::AnyIPv4, wTry, QAbstractSocket::DontShareAddress) &&
                agent.bind(QHostAddress::AnyIPv4, wTry + 1, QAbstractSocket::DontShareAddress))
                wPort = wTry;
        }
        if (!agents.empty() && wPort != 0) {
            vtagent::LabConfig config;
            config.agents = std::move(agents);
            config.wAgentPort = static_cast<std::uint16_t>(wPort + 1);
            config.strLogPath = labDir.filePath(QStringLiteral("agents.log")).toStdString();
            pLab = std::make_unique<vtagent::AgentLab>(std::move(config));
            std::string strError;
            if (!pLab->Start(strError))
                wPort = 0;
        }
        ClientHooks hooks;
        hooks.fnConfig = [this] { return ClientConfig{0, wPort}; };
        hooks.dwSearchDestination = Ip("127.0.0.3");
        hooks.nQuietMs = 300;
        hooks.fnLocalAddresses = [] { return std::vector<std::uint32_t>{}; };
        CKwList::SetClientHooksForTesting(hooks);
    }
    ~Desk()
    {
        pHost.reset();
        pLab.reset();
        CKwList::SetClientHooksForTesting(std::nullopt);
        vtlookup::SetLookupForTesting({});
        vtview::SetMessageBoxForTesting({});
        vtview::SetQuestionForTesting({});
    }

    bool Start()
    {
        if (wPort == 0)
            return false;
        pHost = std::make_unique<QWidget>();
        auto* pLayout = new QHBoxLayout(pHost.get());
        pLayout->addWidget(pTree = new CGpTree(&doc));
        pLayout->addWidget(pList = new CKwList(&doc), 1);
        if (!pList->Create())
            return false;
        pTree->OnInitialUpdate();
        pList->OnInitialUpdate();
        pHost->setGeometry(40, 40, 900, 400);
        pHost->show();
        pHost->activateWindow();
        return QTest::qWaitForWindowActive(pHost.get()) && WaitIdle(doc);
    }

    /// What the agent at `pszIp` received, in order: "status", "search", or "command/force".
    QStringList Received(const char* pszIp) const
    {
        QFile file(labDir.filePath(QStringLiteral("agents.log")));
        QStringList out;
        for (const QByteArray& line :
             file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QByteArrayList()) {
            const QJsonObject m = QJsonDocument::fromJson(line).object();
            if (m[u"agent"].toString() == QLatin1String(pszIp))
                out << (m[u"type"].toString() != u"operate"
                            ? m[u"type"].toString()
                            : QStringLiteral("%1/%2").arg(m[u"command"].toInt()).arg(m[u"force"].toInt()));
        }
        return out;
    }

    /// Shows a group (null = the whole roster) the way a click in the tree does.
    void Show(CGroup* pGroup) { pTree->setCurrentItem(pGroup ? pTree->ItemOf(pGroup) : pTree->RootItem()); }
    void Select(const std::vector<int>& rows)
    {
        pList->clearSelection();
        for (int nRow : rows)
            pList->selectionModel()->select(pList->Model()->index(nRow, 0),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QString Text(int nRow, int nCol) const { return pList->Model()->index(nRow, nCol).data().toString(); }
    /// One column of every row, joined by commas.
    QString Column(int nColumn) const
    {
        QStringList texts;
        for (int nRow = 0; nRow < pList->Model()->rowCount(); ++nRow)
            texts << Text(nRow, nColumn);
        return texts.join(QLatin1Char(','));
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

} // namespace vttest
