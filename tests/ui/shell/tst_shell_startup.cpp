// Start-up sequence: instance lock, password prompt, data file beside the executable,
// saving through the running frame.

#include "ShellTestSupport.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray Contents(const QString& strPath)
{
    QFile file(strPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const std::uint8_t kMac[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};

QStringList Entries(const QString& strDir)
{
    return QDir(strDir).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot | QDir::Hidden,
                                  QDir::Name);
}

} // namespace

class TestShellStartup final : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_pDir;

    QString DataPath() const { return m_pDir->path() + QStringLiteral("/vtcopy.DAT"); }

private slots:
    void init()
    {
        ResetShell();
        m_pDir = std::make_unique<QTemporaryDir>();
        CServerApp::SetExecutablePathForTesting(m_pDir->path() + QStringLiteral("/vtcopy"));
    }

    // A second copy is refused before any prompt and touches nothing; once the next copy holds
    // the lock, what saves cut short left goes and look-alikes stay.
    void secondInstanceIsRefusedWhileTheFirstRuns()
    {
        auto pFirst = std::make_unique<CServerApp>();
        QVERIFY(pFirst->InitInstance());
        vtsettings::WriteString("Settings", "Pass", EncodePassword("ABC"));
        const QStringList kept = L({"other.DAT.saving-Ab12Cd", "vtcopy.DAT.bak", "vtcopy.DAT.saving-Ab12C"});
        for (const QString& strName : kept + L({"vtcopy.DAT.saving-Ab12Cd", "vtcopy.DAT.saving-Zz9Yy8"})) {
            QFile file(m_pDir->path() + QLatin1Char('/') + strName);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("partial") == 7);
        }
        const QStringList all = Entries(m_pDir->path());

        ModalDriver driver({});
        CServerApp second;
        QVERIFY(!second.InitInstance());
        QCOMPARE(second.ExitCode(), int(CServerApp::ExitAlreadyRunning));
        QCOMPARE(g_messages, QStringList(QStringLiteral("Program is already running.")));
        QCOMPARE(g_icons, QList<QMessageBox::Icon>({QMessageBox::Information}));
        QVERIFY(driver.m_seen.isEmpty());
        QVERIFY(!second.MainFrame());
        QCOMPARE(Entries(m_pDir->path()), all);

        pFirst.reset();
        vtsettings::WriteString("Settings", "Pass", "");
        CServerApp third;
        QVERIFY(third.InitInstance());
        QCOMPARE(Entries(m_pDir->path()), kept);
    }

    void startUpPassword_data()
    {
        QTest::addColumn<QString>("strStored");
        QTest::addColumn<QStringList>("typed"); // "<cancel>" presses Cancel
        QTest::addColumn<bool>("bStarted");
        QTest::newRow("none: no prompt") << "" << QStringList() << true;
        // A prefix and a longer text are wrong; lower case is taken as upper case.
        QTest::newRow("wrong twice, then right") << "SECRET1" << L({"SECRET", "secret1x", "secret1"}) << true;
        QTest::newRow("cancel after a wrong one") << "SECRET1" << L({"no", "<cancel>"}) << false;
    }

    void startUpPassword()
    {
        QFETCH(QString, strStored);
        QFETCH(QStringList, typed);
        QFETCH(bool, bStarted);
        vtsettings::WriteString("Settings", "Pass", EncodePassword(strStored.toStdString()));
        const QString strConfig = QSettings(QString::fromUtf8(vtsettings::kOrganization),
                                            QString::fromUtf8(vtsettings::kApplication))
                                      .fileName();
        const QByteArray before = Contents(strConfig);
        std::deque<ModalDriver::Step> steps;
        for (const QString& strTyped : typed) {
            steps.push_back([strTyped](QDialog* pModal) {
                auto* pDlg = qobject_cast<CPasswordDlg*>(pModal);
                QVERIFY(pDlg);
                if (strTyped == QStringLiteral("<cancel>"))
                    return pDlg->findChildren<QPushButton*>().at(1)->click(); // O K, Cancel
                QTest::keyClicks(pDlg->PasswordEdit(), strTyped);
                QTest::keyClick(pDlg->PasswordEdit(), Qt::Key_Return);
            });
        }
        ModalDriver driver(std::move(steps));
        CServerApp app;
        QCOMPARE(app.InitInstance(), bStarted);
        QCOMPARE(driver.m_seen, QStringList(typed.size(), QStringLiteral("CPasswordDlg")));
        QCOMPARE(g_messages,
                 QStringList(std::max(0, int(typed.size()) - 1), QStringLiteral("Incorrect passward.")));
        QCOMPARE(app.ExitCode(), int(CServerApp::ExitNormal));
        QCOMPARE(app.MainFrame() && app.MainFrame()->isVisible(), bStarted);
        QCOMPARE(app.Doc() != nullptr, bStarted);
        QTest::qWait(50);
        QCOMPARE(Contents(strConfig), before); // start-up writes no setting
    }

    // A link to nowhere is refused at start-up as a damaged file is, and left as it is.
    void dataFileThatIsNoRegularFile()
    {
        const QString strTarget = m_pDir->path() + QStringLiteral("/nowhere.DAT");
        QVERIFY(QFile::link(strTarget, DataPath()));
        CServerApp app;
        QVERIFY(!app.InitInstance());
        QCOMPARE(app.ExitCode(), int(CServerApp::ExitDataFile));
        QCOMPARE(g_messages, QStringList(QStringLiteral("Cannot open the data file %1.").arg(DataPath())));
        QCOMPARE(g_icons, QList<QMessageBox::Icon>({QMessageBox::Critical}));
        QVERIFY(!app.MainFrame());
        QCOMPARE(Entries(m_pDir->path()), L({"vtcopy.DAT"}));
        QCOMPARE(QFile::symLinkTarget(DataPath()), strTarget);
    }

    // A lock left by a copy that died does not block the next start.
    void lockOfADeadCopy()
    {
        const pid_t pid = ::fork();
        if (pid == 0) {
            QLockFile held(CServerApp::LockFilePath());
            ::_exit(held.tryLock(0) ? 0 : 1);
        }
        int status = 0;
        QCOMPARE(::waitpid(pid, &status, 0), pid);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        QVERIFY(QFileInfo::exists(CServerApp::LockFilePath()));
        CServerApp app;
        QVERIFY(app.InitInstance());
        QVERIFY(g_messages.isEmpty());
    }

    void unsavedChanges_data()
    {
        QTest::addColumn<int>("nCase"); // 0 read-only file, 1 directory, 2 folder gone
        QTest::newRow("read-only file: changes stay in memory") << 0;
        QTest::newRow("directory: changes stay in memory") << 1;
        QTest::newRow("folder gone: save retried, closing refused") << 2;
    }

    void unsavedChanges()
    {
        QFETCH(int, nCase);
        const QString strDir = m_pDir->path() + QStringLiteral("/not-yet");
        if (nCase == 0) {
            CDoc doc;
            doc.SetPathName(DataPath().toStdString());
            QVERIFY(doc.AddPc("PC01", 0x7F000003, kMac, 0x7FFFFFFF));
            QCOMPARE(doc.DoFileSave(), SaveResult::Saved);
            QCOMPARE(::chmod(QFile::encodeName(DataPath()).constData(), 0444), 0);
        }
        if (nCase == 1)
            QVERIFY(QDir().mkdir(DataPath()));
        if (nCase == 2) {
            QVERIFY(QDir().mkdir(strDir));
            CServerApp::SetExecutablePathForTesting(strDir + QStringLiteral("/vt"));
        }
        const QByteArray bytes = Contents(DataPath());
        const bool bDropped = nCase < 2;

        CServerApp app;
        QVERIFY(app.InitInstance());
        if (nCase == 2) // the folder goes away while the program runs
            QVERIFY(QDir(strDir).removeRecursively());
        CDoc* pDoc = app.Doc();
        QCOMPARE(pDoc->m_pcs.size(), std::size_t(nCase == 0 ? 1 : 0));
        const std::uint8_t mac2[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x56};
        QVERIFY(pDoc->AddPc("PC02", 0x7F000004, mac2, 0x7FFFFFFF));
        QTRY_COMPARE_WITH_TIMEOUT(g_messages.size(), 1, 5000);
        QVERIFY2(bDropped ? g_messages[0] == QStringLiteral("Data cannot be saved file.")
                          : g_messages[0].contains(strDir),
                 qPrintable(g_messages[0]));
        QCOMPARE(g_icons[0], QMessageBox::Warning);
        QCOMPARE(pDoc->IsModified(), !bDropped);

        // Dropped changes are reported on each change; a failed save retries quietly.
        pDoc->RenamePc(pDoc->m_pcs.front().get(), "RENAMED");
        QTest::qWait(100);
        QTRY_COMPARE_WITH_TIMEOUT(g_messages.size(), bDropped ? 2 : 1, 5000);
        QCOMPARE(Contents(DataPath()), bytes);
        QSignalSpy closed(app.MainFrame(), &CMainFrame::closed);
        QCOMPARE(app.MainFrame()->close(), bDropped);
        if (!bDropped) {
            QCOMPARE(g_messages.size(), 2);
            QVERIFY(QDir().mkdir(strDir));
            QVERIFY(app.MainFrame()->close());
            QVERIFY(QFileInfo::exists(strDir + QStringLiteral("/vt.DAT")));
        }
        QCOMPARE(closed.count(), 1);
    }
};

VT_SHELL_TEST_MAIN(TestShellStartup)
#include "tst_shell_startup.moc"
