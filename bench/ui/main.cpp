// Measures the PC list with 254 PCs shown: the handling of one status poll's 254
// records delivered as queued reports (total UI-thread time and the longest stall of
// one event-loop iteration), and UpdateRows with nothing / every status changed.
#include "CClientBridge.h"
#include "CKwList.h"
#include "CKwListModel.h"
#include "app/StringTable.h"
#include "model/CDoc.h"
#include "net/CKwvtClient.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <string>
#include <thread>

namespace {

constexpr int kPcs = 254;
constexpr std::uint32_t kBase = 0x0A140000u; // 10.20.0.0

std::string Dotted(std::uint32_t dw)
{
    return std::to_string(dw >> 24) + '.' + std::to_string((dw >> 16) & 0xFF) + '.' +
           std::to_string((dw >> 8) & 0xFF) + '.' + std::to_string(dw & 0xFF);
}

std::string Record(int i)
{
    std::string str = Dotted(kBase + static_cast<std::uint32_t>(i) + 1);
    str.resize(15, ' ');
    char szName[16];
    std::snprintf(szName, sizeof szName, "PC-%03d", i);
    return str + szName;
}

/// Busy time of each event-loop iteration: from waking up until it blocks again.
class LoopMeter {
public:
    LoopMeter()
    {
        QAbstractEventDispatcher* pDispatcher = QAbstractEventDispatcher::instance();
        QObject::connect(pDispatcher, &QAbstractEventDispatcher::awake, pDispatcher, [this] {
            if (!m_bAwake) {
                m_bAwake = true;
                m_nAwakeAt = m_clock.nsecsElapsed();
            }
        });
        QObject::connect(pDispatcher, &QAbstractEventDispatcher::aboutToBlock, pDispatcher, [this] {
            if (m_bAwake && m_bRecording) {
                const qint64 nSpan = m_clock.nsecsElapsed() - m_nAwakeAt;
                m_nTotal += nSpan;
                m_nMax = std::max(m_nMax, nSpan);
            }
            m_bAwake = false;
        });
        m_clock.start();
    }
    void Start()
    {
        m_nTotal = m_nMax = 0;
        m_bRecording = true;
        m_bAwake = true;
        m_nAwakeAt = m_clock.nsecsElapsed();
    }
    void Stop() { m_bRecording = false; }
    double TotalMs() const { return static_cast<double>(m_nTotal) / 1e6; }
    double MaxMs() const { return static_cast<double>(m_nMax) / 1e6; }

private:
    QElapsedTimer m_clock;
    qint64 m_nAwakeAt = 0;
    qint64 m_nTotal = 0;
    qint64 m_nMax = 0;
    bool m_bAwake = false;
    bool m_bRecording = false;
};

void Settle(int nMs)
{
    QEventLoop loop;
    QTimer::singleShot(nMs, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The plain Unix dispatcher reports waking and blocking around each poll exactly.
    qputenv("QT_NO_GLIB", "1");
    QTemporaryDir settingsDir; // never the user's settings
    qputenv("XDG_CONFIG_HOME", settingsDir.path().toUtf8());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QApplication app(argc, argv);
    vtstr::SetLanguage(vtstr::Language::English);

    CDoc doc;
    const std::uint8_t mac[6] = {};
    for (int i = 0; i < kPcs; ++i)
        doc.AddPc("pc" + std::to_string(i), kBase + static_cast<std::uint32_t>(i) + 1, mac, 0xFFFFFFFFu);

    // The worker never gets a request here; keep it away from the settings' port anyway.
    ClientHooks hooks;
    hooks.fnConfig = [] { return ClientConfig{0x7F000002u, 1}; };
    CKwList::SetClientHooksForTesting(hooks);
    CKwList list(&doc);
    if (!list.Create()) {
        std::fprintf(stderr, "worker could not be started\n");
        return 1;
    }
    list.RestartPeriodicTimer(0, 60);
    list.OnInitialUpdate();
    list.resize(1000, 700);
    list.show();
    Settle(300);

    std::deque<std::string> records;
    for (int i = 0; i < kPcs; ++i)
        records.push_back(Record(i));
    QElapsedTimer wall;
    qint64 nFirstNs = -1;
    qint64 nLastNs = 0;
    list.SetResultSourceForTesting([&] {
        nLastNs = wall.nsecsElapsed();
        if (nFirstNs < 0)
            nFirstNs = nLastNs;
        if (records.empty())
            return std::string();
        std::string str = std::move(records.front());
        records.pop_front();
        return str;
    });
    QEventLoop loop;
    QObject::connect(list.Bridge(), &CClientBridge::clientMessage, &list,
                     [&loop](int, qintptr wParam, qintptr) {
                         if (wParam == 0) // the repaint of the changed rows is measured too
                             QTimer::singleShot(200, &loop, &QEventLoop::quit);
                     });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);

    LoopMeter meter;
    wall.start();
    meter.Start();
    std::thread worker([&list] {
        for (int i = 0; i < kPcs; ++i)
            list.Bridge()->OnClientMessage(WM_CLIENT_PCSTATUS, 1, 1);
        list.Bridge()->OnClientMessage(WM_CLIENT_PCSTATUS, 0, 0);
    });
    loop.exec();
    meter.Stop();
    worker.join();
    int nAnswered = 0;
    for (const auto& pPc : doc.m_pcs)
        nAnswered += pPc->m_nStatus == 0 ? 1 : 0;
    if (nAnswered != kPcs)
        std::fprintf(stderr, "only %d of %d records took effect\n", nAnswered, kPcs);
    std::printf("records254_total_ms: %.3f\n", meter.TotalMs());
    std::printf("records254_max_stall_ms: %.3f\n", meter.MaxMs());
    std::printf("records254_first_to_last_ms: %.3f\n", static_cast<double>(nLastNs - nFirstNs) / 1e6);

    constexpr int kRuns = 200;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kRuns; ++i)
        list.UpdateRows();
    std::printf("updaterows_nochange_ms: %.3f\n", static_cast<double>(timer.nsecsElapsed()) / 1e6 / kRuns);

    constexpr int kFlips = 50;
    qint64 nFlipNs = 0;
    for (int i = 0; i < kFlips; ++i) {
        for (const auto& pPc : doc.m_pcs)
            doc.SetPcStatus(pPc.get(), pPc->m_nStatus == 0 ? 1 : 0);
        timer.restart();
        list.UpdateRows();
        nFlipNs += timer.nsecsElapsed();
        QCoreApplication::processEvents();
    }
    std::printf("updaterows_allchanged_ms: %.3f\n", static_cast<double>(nFlipNs) / 1e6 / kFlips);
    CKwList::SetClientHooksForTesting(std::nullopt);
    return 0;
}
