#include "CServerApp.h"

#include <QApplication>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

// Milliseconds since the kernel started this process (exec and loading included).
long long MsSinceProcessStart()
{
    std::ifstream stat("/proc/self/stat");
    std::string strStat((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(strStat.substr(strStat.rfind(')') + 2));
    std::string strField;
    for (int i = 3; i < 22 && fields >> strField; ++i) {
    }
    unsigned long long nStartTicks = 0;
    fields >> nStartTicks;
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const long long nNowMs = static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    return nNowMs -
           static_cast<long long>(nStartTicks * 1000 / static_cast<unsigned long long>(sysconf(_SC_CLK_TCK)));
}

long long RssKb()
{
    std::ifstream status("/proc/self/status");
    for (std::string strLine; std::getline(status, strLine);) {
        if (strLine.rfind("VmRSS:", 0) == 0)
            return std::stoll(strLine.substr(6));
    }
    return -1;
}

// bench/startup: with VT_STARTUP_PROBE naming a file, once the first window has been painted
// and the event loop is idle, write "ms=<since process start> rss_kb=<VmRSS>" there and quit.
class CStartupProbe final : public QObject {
public:
    explicit CStartupProbe(QString strPath) : m_strPath(std::move(strPath))
    {
        qApp->installEventFilter(this);
    }

    bool eventFilter(QObject* pWatched, QEvent* pEvent) override
    {
        if (pEvent->type() == QEvent::Paint && !m_bPainted) {
            m_bPainted = true;
            QTimer::singleShot(0, this, &CStartupProbe::Report);
        }
        return QObject::eventFilter(pWatched, pEvent);
    }

private:
    void Report()
    {
        QFile file(m_strPath);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(QStringLiteral("ms=%1 rss_kb=%2\n").arg(MsSinceProcessStart()).arg(RssKb()).toUtf8());
        QCoreApplication::quit();
    }

    QString m_strPath;
    bool m_bPainted = false;
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("vtserver"));
    // The window may live in the tray: closing a message box there must not end the
    // program; only the main frame's close does.
    QApplication::setQuitOnLastWindowClosed(false);

    // Without a screen nobody can press O K: a start-up failure goes to standard error so
    // the process still ends by itself.
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        vtshell::SetMessageHook([](const QString& strText, QMessageBox::Icon) {
            std::fprintf(stderr, "VT Server: %s\n", strText.toLocal8Bit().constData());
        });
    }

    std::unique_ptr<CStartupProbe> pProbe;
    if (const QString strProbe = qEnvironmentVariable("VT_STARTUP_PROBE"); !strProbe.isEmpty())
        pProbe = std::make_unique<CStartupProbe>(strProbe);

    CServerApp theApp;
    const bool bStarted = theApp.InitInstance();
    vtshell::SetMessageHook(nullptr);
    if (!bStarted)
        return theApp.ExitCode();

    QObject::connect(&theApp, &CServerApp::finished, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    return QApplication::exec();
}
