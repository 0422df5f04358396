#include "CServerApp.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("vtserver"));
    // The window may live in the tray: closing a message box there must not end the
    // program; only the main frame's close does.
    QApplication::setQuitOnLastWindowClosed(false);

    CServerApp theApp;
    if (!theApp.InitInstance())
        return theApp.ExitCode();
    QObject::connect(&theApp, &CServerApp::finished, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    return QApplication::exec();
}
