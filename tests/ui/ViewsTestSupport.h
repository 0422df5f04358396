#pragma once

#include "AgentLab.h"
#include "CGpTree.h"
#include "CKwList.h"
#include "CKwListModel.h"
#include "Commands.h"
#include "ViewSupport.h"
#include "app/Settings.h"
#include "app/StringTable.h"
#include "model/CDoc.h"
#include "net/AddressLookup.h"
#include "schedule/CReserve.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHBoxLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMenu>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <ctime>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

// Settings go to a temporary folder before anything reads them; texts in English.
#define VT_VIEWS_TEST_MAIN(TestClass)                                                                        \
    int main(int argc, char** argv)                                                                          \
    {                                                                                                        \
        QTemporaryDir settingsDir;                                                                           \
        qputenv("XDG_CONFIG_HOME", settingsDir.path().toUtf8());                                             \
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());               \
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());                  \
        QApplication app(argc, argv);                                                                        \
        vtstr::SetLanguage(vtstr::Language::English);                                                        \
        TestClass tc;                                                                                        \
        return QTest::qExec(&tc, argc, argv);                                                                \
    }

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
    std::tm tm{};
    tm.tm_year = 124;
    tm.tm_mon = 2;
    tm.tm_mday = nDay;
    tm.tm_hour = nHour;
    tm.tm_min = nMinute;
    tm.tm_sec = nSecond;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

/// Every test starts from a still clock (nothing falls due unless a test moves it), no
/// periodic poll and no Power OFF items.
inline void ResetEnvironment()
{
    vtclock::SetClockForTesting([] { return March(5, 12, 0); });
    vtsettings::WriteInt("Settings", "Type", 0);
    vtsettings::WriteInt("Settings", "Interval", 60);
    SetPowerOffEnabled(false);
    SetCommandRouter(nullptr);
    CKwList::SetSettingWriterForTesting({});
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
        items << (pAction->isSeparator() ? QStringLiteral("-")
                                         : (pAction->isEnabled() ? QString() : QStringLiteral("!")) + pAction->text());
    return items.join(QLatin1Char('|'));
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
    vtagent::AgentSpec spec;
    spec.dwAddress = Ip(pszIp);
    spec.strName = pszName;
    return spec;
}

/// The views' message boxes, recorded and answered from a script (Yes when it runs out).
struct Messages {
    QStringList texts;
    std::vector<QMessageBox::Icon> icons;
    std::vector<QMessageBox::StandardButtons> buttons;
    std::deque<QMessageBox::StandardButton> answers;

    Messages()
    {
        vtview::SetMessageBoxForTesting([this](QWidget*, const QString& strText, QMessageBox::Icon icon,
                                               QMessageBox::StandardButtons shown) {
            texts << strText;
            icons.push_back(icon);
            buttons.push_back(shown);
            const QMessageBox::StandardButton answer = answers.empty() ? QMessageBox::Yes : answers.front();
            if (!answers.empty())
                answers.pop_front();
            return answer;
        });
    }
    ~Messages() { vtview::SetMessageBoxForTesting({}); }
    Messages(const Messages&) = delete;
    Messages& operator=(const Messages&) = delete;
};

inline bool WaitIdle(const CDoc& doc, int nMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < nMs) {
        if (doc.m_pClient && !doc.m_pClient->m_bBusy)
            return true;
        QTest::qWait(10);
    }
    return false;
}

/// Runs `fn` on the next modal dialog once it is open (bounded wait).
template <typename Dialog> void OnNextModal(std::function<void(Dialog*)> fn)
{
    auto* pTimer = new QTimer;
    auto nTries = std::make_shared<int>(0);
    pTimer->setInterval(20);
    QObject::connect(pTimer, &QTimer::timeout, pTimer, [pTimer, fn, nTries] {
        auto* pDlg = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (pDlg || ++*nTries > 250) {
            pTimer->stop();
            pTimer->deleteLater();
        }
        if (pDlg)
            fn(pDlg);
    });
    pTimer->start();
}

/// The tree and the list side by side in one window, as the main frame holds them, with
/// a worker that only talks to simulated agents on loopback, every lookup answered here
/// and every message box recorded.
struct Desk {
    std::map<std::uint32_t, MacAddress> arp;
    Messages log;
    CDoc doc;
    quint16 wPort = 0;
    QTemporaryDir labDir;
    std::unique_ptr<vtagent::AgentLab> pLab;
    std::unique_ptr<QWidget> pHost;
    CGpTree* pTree = nullptr;
    CKwList* pList = nullptr;

    explicit Desk(std::vector<vtagent::AgentSpec> agents = {}, const char* pszSearch = "127.0.0.3")
    {
        vtlookup::Functions fns;
        fns.fnResolve = [](const std::string&) { return std::optional<std::uint32_t>(); };
        fns.fnReverse = [](std::uint32_t) { return std::optional<std::string>(); };
        fns.fnArp = [this](std::uint32_t dwIp) {
            const auto it = arp.find(dwIp);
            return it == arp.end() ? std::optional<MacAddress>() : std::optional<MacAddress>(it->second);
        };
        fns.fnLocalAddresses = [] { return std::vector<std::uint32_t>{}; };
        vtlookup::SetLookupForTesting(fns);

        // A server port whose agent port (+1) nobody else holds on the agents' addresses.
        for (int nTry = 0; nTry < 50 && wPort == 0; ++nTry) {
            const auto wTry = static_cast<quint16>(20000 + QRandomGenerator::global()->bounded(40000));
            QUdpSocket server;
            bool bFree = server.bind(QHostAddress::AnyIPv4, wTry, QAbstractSocket::DontShareAddress);
            for (const vtagent::AgentSpec& spec : agents) {
                QUdpSocket probe;
                bFree = bFree && probe.bind(QHostAddress(spec.dwAddress), static_cast<quint16>(wTry + 1),
                                            QAbstractSocket::DontShareAddress);
            }
            wPort = bFree ? wTry : 0;
        }
        if (!agents.empty() && wPort != 0) {
            vtagent::LabConfig config;
            config.agents = std::move(agents);
            config.wAgentPort = static_cast<std::uint16_t>(wPort + 1);
            config.strLogPath = LogPath().toStdString();
            pLab = std::make_unique<vtagent::AgentLab>(std::move(config));
            std::string strError;
            if (!pLab->Start(strError))
                wPort = 0;
        }
        ClientHooks hooks;
        hooks.fnConfig = [this] { return ClientConfig{0, wPort}; };
        hooks.dwSearchDestination = Ip(pszSearch);
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
    }
    Desk(const Desk&) = delete;
    Desk& operator=(const Desk&) = delete;

    bool Start()
    {
        if (wPort == 0)
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
        pHost->setGeometry(40, 40, 900, 400);
        pHost->show();
        pHost->activateWindow();
        return QTest::qWaitForWindowActive(pHost.get()) && WaitIdle(doc);
    }

    QString LogPath() const { return labDir.filePath(QStringLiteral("agents.log")); }
    /// What the agent at `pszIp` received, in order: "status", "search", or "command/force".
    QStringList Received(const char* pszIp) const
    {
        QFile file(LogPath());
        QStringList out;
        if (!file.open(QIODevice::ReadOnly))
            return out;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (o.value(QLatin1String("agent")).toString() != QLatin1String(pszIp) ||
                o.contains(QLatin1String("listener")))
                continue;
            const QString strType = o.value(QLatin1String("type")).toString();
            out << (strType != QLatin1String("operate") ? strType
                                                         : QStringLiteral("%1/%2")
                                                               .arg(o.value(QLatin1String("command")).toInt())
                                                               .arg(o.value(QLatin1String("force")).toInt()));
        }
        return out;
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
    QString Text(int nRow, int nColumn) const { return pList->Model()->index(nRow, nColumn).data().toString(); }
    int Image(int nRow) const { return pList->Model()->index(nRow, 0).data(CKwListModel::ImageRole).toInt(); }
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
