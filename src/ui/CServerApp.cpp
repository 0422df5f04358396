#include "CServerApp.h"

#include "CAboutDlg.h"
#include "CMainFrame.h"
#include "CPasswordDlg.h"
#include "CPasswordSetDlg.h"
#include "Translations.h"
#include "UiText.h"
#include "app/Password.h"
#include "app/Paths.h"
#include "app/Settings.h"
#include "model/CDoc.h"
#include "model/DataFile.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QLockFile>

namespace vtshell {

namespace {
MessageHook& Hook()
{
    static MessageHook fnHook;
    return fnHook;
}
} // namespace

void SetMessageHook(MessageHook fnHook)
{
    Hook() = std::move(fnHook);
}

void ShowMessage(QWidget* pParent, const QString& strText, QMessageBox::Icon icon)
{
    if (Hook())
        Hook()(strText, icon);
    else
        VtMessageBox(pParent, strText, icon);
}

} // namespace vtshell

namespace {
QString& ExecutableOverride()
{
    static QString strPath;
    return strPath;
}
} // namespace

CServerApp::CServerApp() = default;

CServerApp::~CServerApp()
{
    m_pFrame.reset();
    m_pDoc.reset();
}

QString CServerApp::LockFilePath()
{
    return QFile::decodeName(QByteArray::fromStdString(vtpaths::InstanceLockPath()));
}

QString CServerApp::ExecutablePath()
{
    if (!ExecutableOverride().isEmpty())
        return ExecutableOverride();
    return QCoreApplication::applicationFilePath();
}

void CServerApp::SetExecutablePathForTesting(const QString& strPath)
{
    ExecutableOverride() = strPath;
}

void CServerApp::Fail(int nExitCode, const QString& strText)
{
    m_nExitCode = nExitCode;
    if (!strText.isEmpty())
        vtshell::ShowMessage(nullptr, strText,
                             nExitCode == ExitAlreadyRunning ? QMessageBox::Information
                                                             : QMessageBox::Critical);
}

bool CServerApp::InitInstance()
{
    vtshell::InitShellResources();
    vtshell::InstallTranslations(vtstr::CurrentLanguage());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/shell/vtserver.svg")));

    // The lock must be held for the whole run: age-based staleness would let a second
    // instance break it after a while. A lock left by a dead copy is still taken over.
    m_pLock = std::make_unique<QLockFile>(LockFilePath());
    m_pLock->setStaleLockTime(0);
    if (!m_pLock->tryLock(500)) {
        m_pLock.reset();
        Fail(ExitAlreadyRunning, S(1025));
        return false;
    }

    const std::string strStored = vtsettings::Password();
    if (!strStored.empty() && !RunPasswordPrompt(strStored)) {
        m_nExitCode = ExitNormal;
        return false;
    }

    SetPowerOffEnabled(vtsettings::EnablePowOffCmd() != 0);

    const QString strExe = ExecutablePath();
    if (strExe.isEmpty()) {
        Fail(ExitStartFailed, S(1026));
        return false;
    }
    const std::string strDataFile = vtpaths::DataFilePath(QFile::encodeName(strExe).toStdString());
    const QFileInfo info(QFile::decodeName(QByteArray::fromStdString(strDataFile)));
    const QString strCannotOpen =
        tr("Cannot open the data file %1.").arg(QDir::toNativeSeparators(info.filePath()));

    // A FIFO, a device or a link to nowhere is never opened, nor replaced later.
    const vtdatafile::Kind kind = vtdatafile::Probe(strDataFile);
    if (kind == vtdatafile::Kind::Other) {
        Fail(ExitDataFile, strCannotOpen);
        return false;
    }
    // Saves cut short by a crash leave their temporary files; with the lock held no other
    // copy of this user is saving.
    vtdatafile::RemoveLeftovers(strDataFile);

    m_pDoc = std::make_unique<CDoc>();
    if (kind == vtdatafile::Kind::Regular && !m_pDoc->OnOpenDocument(strDataFile)) {
        m_pDoc.reset();
        Fail(ExitDataFile, strCannotOpen);
        return false;
    }
    m_pDoc->SetPathName(strDataFile);
    // The per-user folder of an installed program may not exist before the first save.
    QDir().mkpath(info.absolutePath());

    m_pFrame = std::make_unique<CMainFrame>(m_pDoc.get(), this);
    if (!m_pFrame->Create()) {
        m_pFrame.reset();
        Fail(ExitStartFailed, S(1026));
        return false;
    }
    connect(m_pFrame.get(), &CMainFrame::closed, this, &CServerApp::finished);
    m_pFrame->ShowAtStartUp();
    return true;
}

bool CServerApp::OnUpdateCommand(int id, bool* pEnabled)
{
    if (id != ID_PASSWORD && id != ID_APP_ABOUT)
        return false;
    *pEnabled = true;
    return true;
}

bool CServerApp::OnCommand(int id)
{
    QWidget* pParent = m_pFrame.get();
    switch (id) {
    case ID_PASSWORD:
        OnPassword(pParent);
        return true;
    case ID_APP_ABOUT:
        OnAppAbout(pParent);
        return true;
    default:
        return false;
    }
}

void CServerApp::OnPassword(QWidget* pParent)
{
    CPasswordSetDlg dlg(pParent);
    dlg.m_strCurrent = QString::fromStdString(DecodePassword(vtsettings::Password()));
    if (dlg.exec() == QDialog::Accepted)
        vtsettings::WriteString("Settings", "Pass", EncodePassword(dlg.m_strCurrent.toStdString()));
}

void CServerApp::OnAppAbout(QWidget* pParent)
{
    CAboutDlg dlg(pParent);
    dlg.exec();
}
