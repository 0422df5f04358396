#pragma once

#include "Commands.h"

#include <QMessageBox>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class CDoc;
class CMainFrame;
class QLockFile;

namespace vtshell {

using MessageHook = std::function<void(const QString& strText, QMessageBox::Icon icon)>;

/// Routes the shell's message boxes to `fnHook` instead (null restores the boxes), so
/// tests can record them without a modal loop.
void SetMessageHook(MessageHook fnHook);
/// A "VT Server" message box with an O K button, or the hook when one is set.
void ShowMessage(QWidget* pParent, const QString& strText, QMessageBox::Icon icon);

} // namespace vtshell

/// @brief The program's start and end: single-instance lock, password, the document
/// read from the data file beside the executable, and the main frame.
///
/// Also serves the application's own commands (Settings > Password, Help > About).
class CServerApp final : public QObject, public CCommandTarget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CServerApp)
public:
    enum ExitCode { ExitNormal = 0, ExitAlreadyRunning = 1, ExitStartFailed = 2, ExitDataFile = 3 };

    CServerApp();
    ~CServerApp() override;

    /// The start-up sequence. False ends the program with ExitCode(); nothing of the
    /// later steps has happened then.
    bool InitInstance();
    int ExitCode() const { return m_nExitCode; }

    CDoc* Doc() const { return m_pDoc.get(); }
    CMainFrame* MainFrame() const { return m_pFrame.get(); }

    bool OnUpdateCommand(int id, bool* pEnabled) override;
    bool OnCommand(int id) override;

    /// Settings > Password: the change dialog; Settings/Pass is written on O K only.
    static void OnPassword(QWidget* pParent);
    static void OnAppAbout(QWidget* pParent);

    /// The single-instance lock (vtpaths::InstanceLockPath).
    static QString LockFilePath();
    /// The running executable's path (or the one set for testing).
    static QString ExecutablePath();
    static void SetExecutablePathForTesting(const QString& strPath);

signals:
    /// The main frame has closed: the event loop should end.
    void finished();

private:
    void Fail(int nExitCode, const QString& strText);

    std::unique_ptr<QLockFile> m_pLock;
    std::unique_ptr<CDoc> m_pDoc;
    std::unique_ptr<CMainFrame> m_pFrame;
    int m_nExitCode = ExitNormal;
};
