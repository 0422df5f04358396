// Cold start of the real program to its main window shown and idle, and its resident memory
// then: once with an empty roster, once with the largest one (254 PCs, 100 groups of 254
// members, every reservation set). vtserver reports both figures itself through
// VT_STARTUP_PROBE and quits; the wall time from fork to exit is kept as a cross-check.
#include "FullRoster.h"
#include "model/CDoc.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace {
constexpr int kRuns = 15;

std::vector<std::uint8_t> FullRoster()
{
    CDoc doc;
    // Loopback addresses and a time of day six hours away: nothing can fire or leave the machine.
    const VtTime at = static_cast<VtTime>(std::time(nullptr)) + 6 * 3600;
    FillFullRoster(doc, at, 0x7F4E0001, 0x7F4E00FF);
    return doc.SaveToBytes();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Figures {
    std::vector<double> ms, rssMb, wallMs;
};

bool Measure(const QString& strDir, const std::vector<std::uint8_t>& roster, Figures& out)
{
    QFile data(strDir + QStringLiteral("/vtserver.DAT"));
    if (!data.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    data.write(reinterpret_cast<const char*>(roster.data()), static_cast<qint64>(roster.size()));
    data.close();

    const QString strProbe = strDir + QStringLiteral("/probe.txt");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), strDir + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), strDir);
    env.insert(QStringLiteral("VT_LOCK_FILE"), strDir + QStringLiteral("/vtserver.lock"));
    env.insert(QStringLiteral("VT_STARTUP_PROBE"), strProbe);

    // The first run only warms the file cache.
    for (int nRun = 0; nRun <= kRuns; ++nRun) {
        QFile::remove(strProbe);
        QProcess process;
        process.setProcessEnvironment(env);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        QElapsedTimer wall;
        wall.start();
        process.start(strDir + QStringLiteral("/vtserver"), {});
        if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0) {
            process.kill();
            process.waitForFinished(5000);
            std::fprintf(stderr, "vtserver did not start and quit cleanly\n");
            return false;
        }
        const double dWallMs = static_cast<double>(wall.nsecsElapsed()) / 1e6;
        QFile probe(strProbe);
        if (!probe.open(QIODevice::ReadOnly))
            return false;
        long long nMs = -1;
        long long nRssKb = -1;
        if (std::sscanf(probe.readAll().constData(), "ms=%lld rss_kb=%lld", &nMs, &nRssKb) != 2)
            return false;
        if (nRun == 0)
            continue;
        out.ms.push_back(static_cast<double>(nMs));
        out.rssMb.push_back(static_cast<double>(nRssKb) / 1024.0);
        out.wallMs.push_back(dWallMs);
    }
    return true;
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid() ||
        !QFile::copy(QStringLiteral(VTSERVER_EXE), dir.filePath(QStringLiteral("vtserver"))))
        return 1;
    // Type 0: no status poll at start, so no network traffic at all.
    QDir().mkpath(dir.filePath(QStringLiteral("config/TORVANE")));
    QFile settings(dir.filePath(QStringLiteral("config/TORVANE/VT Server.conf")));
    if (!settings.open(QIODevice::WriteOnly))
        return 1;
    settings.write("[Settings]\nType=0\n\n[Interface]\nIP%20Address=2130706433\n");
    settings.close();

    CDoc empty;
    Figures emptyRoster, fullRoster;
    if (!Measure(dir.path(), empty.SaveToBytes(), emptyRoster) ||
        !Measure(dir.path(), FullRoster(), fullRoster))
        return 1;

    std::printf("start_empty_ms: %.0f\n", Median(emptyRoster.ms));
    std::printf("start_full_ms: %.0f\n", Median(fullRoster.ms));
    std::printf("rss_empty_mb: %.1f\n", Median(emptyRoster.rssMb));
    std::printf("rss_full_mb: %.1f\n", Median(fullRoster.rssMb));
    std::printf("start_empty_wall_ms: %.1f\n", Median(emptyRoster.wallMs));
    std::printf("start_full_wall_ms: %.1f\n", Median(fullRoster.wallMs));
    std::printf("runs: %d\n", kRuns);
    return 0;
}
