// Start-up sequence: instance lock, password prompt, data file beside the executable,
// saving through the running frame.

#include "ShellTestSupport.h"

#include "CMainFrame.h"
#include "CPasswordDlg.h"
#include "UiText.h"
#include "app/Password.h"
#include "model/CDoc.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QLockFile>
#include <QPushButton>

#include <sys/stat.h>

namespace {

ModalDriver::Step TypePassword(const QString& strText)
{
    return [strText](QWidget* pModal) {
        auto* pDlg = qobject_cast<CPasswordDlg*>(pModal);
        QVERIFY(pDlg);
        QTest::keyClicks(pDlg->PasswordEdit(), strText);
        QTest::keyClick(pDlg->PasswordEdit(), Qt::Key_Return);
    };
}

ModalDriver::Step CancelPrompt(bool bByButton)
{
    return [bByButton](QWidget* pModal) {
        auto* pDlg = qobject_cast<CPasswordDlg*>(pModal);
        QVERIFY(pDlg);
        if (!bByButton) {
            QTest::keyClick(pDlg->PasswordEdit(), Qt::Key_Escape);
            return;
        }
        for (QPushButton* pButton : pDlg->findChildren<QPushButton*>()) {
            if (pButton->text() == QStringLiteral("Cancel"))
                pButton->click();
        }
    };
}

bool AnyMainFrame()
{
    for (QWidget* pWidget : QApplication::topLevelWidgets()) {
        if (qobject_cast<CMainFrame*>(pWidget))
            return true;
    }
    return false;
}

const std::uint8_t kMac[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};

} // namespace

class TestShellStartup final : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_pDir;

    QString ExePath(const QString& strName = QStringLiteral("vtcopy")) const
    {
        return m_pDir->path() + QLatin1Char('/') + strName;
    }
    QString DataPath(const QString& strName = QStringLiteral("vtcopy")) const
    {
        return ExePath(strName) + QStringLiteral(".DAT");
    }

private slots:
    void init()
    {
        ResetShellSettings();
        m_pDir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_pDir->isValid());
        CServerApp::SetExecutablePathForTesting(ExePath());
    }

    void cleanup()
    {
        CServerApp::SetExecutablePathForTesting(QString());
        QFile::setPermissions(DataPath(), QFile::ReadOwner | QFile::WriteOwner);
        m_pDir.reset();
    }

    void secondInstanceIsRefusedWithoutTouchingAnything()
    {
        vtsettings::WriteString("Settings", "Pass", EncodePassword("ABC"));
        QLockFile other(CServerApp::LockFilePath());
        QVERIFY(other.tryLock(0));

        MessageLog log;
        ModalDriver driver({});
        CServerApp app;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!app.InitInstance());
        const qint64 nElapsed = timer.elapsed();

        QCOMPARE(app.ExitCode(), int(CServerApp::ExitAlreadyRunning));
        QCOMPARE(log.entries.size(), 1);
        QCOMPARE(log.entries[0].strText, QStringLiteral("Program is already running."));
        QCOMPARE(log.entries[0].icon, QMessageBox::Information);
        QVERIFY2(nElapsed >= 400 && nElapsed < 3000, qPrintable(QString::number(nElapsed)));
        QVERIFY(driver.m_seen.isEmpty()); // the password prompt never came
        QVERIFY(!app.MainFrame());
        QVERIFY(!AnyMainFrame());
        QVERIFY(!QFileInfo::exists(DataPath()));
    }

    void twoStartUpsThenTheLockIsFreed()
    {
        MessageLog log;
        auto pFirst = std::make_unique<CServerApp>();
        QVERIFY(pFirst->InitInstance());
        QVERIFY(pFirst->MainFrame()->isVisible());

        CServerApp second;
        QVERIFY(!second.InitInstance());
        QCOMPARE(second.ExitCode(), int(CServerApp::ExitAlreadyRunning));
        QCOMPARE(log.entries.size(), 1);
        QVERIFY(pFirst->MainFrame()->isVisible());

        // The lock belongs to the running instance for its whole life, then is freed.
        pFirst.reset();
        CServerApp third;
        QVERIFY(third.InitInstance());
        QCOMPARE(log.entries.size(), 1);
    }

    void noStoredPasswordMeansNoPrompt_data()
    {
        QTest::addColumn<bool>("bStoreEmpty");
        QTest::newRow("missing") << false;
        QTest::newRow("empty") << true;
    }

    void noStoredPasswordMeansNoPrompt()
    {
        QFETCH(bool, bStoreEmpty);
        if (bStoreEmpty)
            vtsettings::WriteString("Settings", "Pass", "");
        const QString strConfig =
            QSettings(QString::fromUtf8(vtsettings::kOrganization), QString::fromUtf8(vtsettings::kApplication))
                .fileName();
        const auto contents = [&strConfig] {
            QFile file(strConfig);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        const QByteArray before = contents();
        QVERIFY(!before.isEmpty());

        ModalDriver driver({});
        CServerApp app;
        QVERIFY(app.InitInstance());
        QVERIFY(driver.m_seen.isEmpty());
        QVERIFY(app.MainFrame()->isVisible());
        QTest::qWait(50);
        QCOMPARE(contents(), before); // start-up writes no setting
        QCOMPARE(QString::fromStdString(app.Doc()->GetPathName()), DataPath());
        QVERIFY(app.Doc()->m_pcs.empty());
    }

    void wrongPasswordsThenTheRightOne()
    {
        vtsettings::WriteString("Settings", "Pass", EncodePassword("SECRET1"));
        ModalDriver driver({TypePassword(QStringLiteral("wrong")), CloseBox(), TypePassword(QStringLiteral("SECRET")),
                            CloseBox(), TypePassword(QStringLiteral("secret1x")), CloseBox(),
                            // typed in lower case, taken as upper case
                            TypePassword(QStringLiteral("secret1"))});
        CServerApp app;
        QVERIFY(app.InitInstance());
        QCOMPARE(driver.m_seen,
                 QStringList({QStringLiteral("CPasswordDlg"), QStringLiteral("QMessageBox"),
                              QStringLiteral("CPasswordDlg"), QStringLiteral("QMessageBox"),
                              QStringLiteral("CPasswordDlg"), QStringLiteral("QMessageBox"),
                              QStringLiteral("CPasswordDlg")}));
        QCOMPARE(driver.m_texts, QStringList(3, QStringLiteral("Incorrect passward.")));
        QVERIFY(app.MainFrame());
    }

    void cancellingThePromptEndsBeforeAnyWindow_data()
    {
        QTest::addColumn<bool>("bByButton");
        QTest::addColumn<bool>("bWrongFirst");
        QTest::newRow("escape") << false << false;
        QTest::newRow("cancel button") << true << false;
        QTest::newRow("after a wrong attempt") << true << true;
    }

    void cancellingThePromptEndsBeforeAnyWindow()
    {
        QFETCH(bool, bByButton);
        QFETCH(bool, bWrongFirst);
        vtsettings::WriteString("Settings", "Pass", EncodePassword("PW"));
        std::deque<ModalDriver::Step> steps;
        if (bWrongFirst) {
            steps.push_back(TypePassword(QStringLiteral("no")));
            steps.push_back(CloseBox());
        }
        steps.push_back(CancelPrompt(bByButton));
        ModalDriver driver(std::move(steps));
        CServerApp app;
        QVERIFY(!app.InitInstance());
        QCOMPARE(app.ExitCode(), int(CServerApp::ExitNormal));
        QVERIFY(!app.MainFrame());
        QVERIFY(!app.Doc());
        QVERIFY(!AnyMainFrame());
        QCOMPARE(driver.m_seen.size(), bWrongFirst ? 3 : 1);
    }

    void dataFileFollowsTheExecutableName()
    {
        CServerApp::SetExecutablePathForTesting(QString());
        QCOMPARE(CServerApp::ExecutablePath(), QCoreApplication::applicationFilePath());
        QCOMPARE(DataFilePathFor("/opt/tools/server"), std::string("/opt/tools/server.DAT"));

        CServerApp::SetExecutablePathForTesting(ExePath(QStringLiteral("other-name")));
        CServerApp app;
        QVERIFY(app.InitInstance());
        QCOMPARE(QString::fromStdString(app.Doc()->GetPathName()), DataPath(QStringLiteral("other-name")));

        // The first change creates the file there.
        QVERIFY(app.Doc()->AddPc("PC01", 0x7F000003, kMac, 0x7FFFFFFF));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(DataPath(QStringLiteral("other-name"))), 5000);
        QVERIFY(!app.Doc()->IsModified());
        QVERIFY(!QFileInfo::exists(DataPath()));
    }

    void unreadableDataFileStopsStartUp()
    {
        const QByteArray garbage("this is not a roster");
        {
            QFile file(DataPath());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(garbage);
        }
        MessageLog log;
        CServerApp app;
        QVERIFY(!app.InitInstance());
        QCOMPARE(app.ExitCode(), int(CServerApp::ExitDataFile));
        QVERIFY(!app.MainFrame());
        QVERIFY(!AnyMainFrame());
        QCOMPARE(log.entries.size(), 1);
        QCOMPARE(log.entries[0].icon, QMessageBox::Critical);
        QVERIFY(log.entries[0].strText.contains(DataPath()));
        QFile file(DataPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), garbage);
    }

    void directoryInPlaceOfTheDataFileStartsEmpty()
    {
        QVERIFY(QDir().mkdir(DataPath()));
        MessageLog log;
        CServerApp app;
        QVERIFY(app.InitInstance());
        QVERIFY(app.Doc()->m_pcs.empty());
        QVERIFY(log.entries.isEmpty());

        // Saving there is refused like a read-only file.
        QVERIFY(app.Doc()->AddPc("PC01", 0x7F000003, kMac, 0x7FFFFFFF));
        QTRY_COMPARE_WITH_TIMEOUT(log.entries.size(), 1, 5000);
        QCOMPARE(log.entries[0].strText, QStringLiteral("Data cannot be saved file."));
    }

    void readOnlyDataFileKeepsTheRosterInMemory()
    {
        {
            CDoc doc;
            doc.SetPathName(DataPath().toStdString());
            QVERIFY(doc.AddPc("PC01", 0x7F000003, kMac, 0x7FFFFFFF));
            QCOMPARE(doc.DoFileSave(), SaveResult::Saved);
        }
        QCOMPARE(::chmod(QFile::encodeName(DataPath()).constData(), 0444), 0);
        QFile original(DataPath());
        QVERIFY(original.open(QIODevice::ReadOnly));
        const QByteArray bytes = original.readAll();
        original.close();

        MessageLog log;
        CServerApp app;
        QVERIFY(app.InitInstance());
        CDoc* pDoc = app.Doc();
        QCOMPARE(pDoc->m_pcs.size(), std::size_t(1));

        const std::uint8_t mac2[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x56};
        QVERIFY(pDoc->AddPc("PC02", 0x7F000004, mac2, 0x7FFFFFFF));
        QTRY_COMPARE_WITH_TIMEOUT(log.entries.size(), 1, 5000);
        QCOMPARE(log.entries[0].strText, QStringLiteral("Data cannot be saved file."));
        QCOMPARE(log.entries[0].icon, QMessageBox::Warning);
        QCOMPARE(pDoc->m_pcs.size(), std::size_t(2));
        QVERIFY(!pDoc->IsModified());

        // Each further change is reported again.
        pDoc->RenamePc(pDoc->m_pcs.front().get(), "RENAMED");
        QTRY_COMPARE_WITH_TIMEOUT(log.entries.size(), 2, 5000);

        QVERIFY(original.open(QIODevice::ReadOnly));
        QCOMPARE(original.readAll(), bytes);
        // Closing is not refused: nothing is pending.
        QVERIFY(app.MainFrame()->close());
    }

    void failedSaveIsReportedOnceAndBlocksClosing()
    {
        const QString strDir = m_pDir->path() + QStringLiteral("/not-yet");
        CServerApp::SetExecutablePathForTesting(strDir + QStringLiteral("/vt"));
        MessageLog log;
        CServerApp app;
        QVERIFY(app.InitInstance());
        CDoc* pDoc = app.Doc();
        QSignalSpy closed(app.MainFrame(), &CMainFrame::closed);

        QVERIFY(pDoc->AddPc("PC01", 0x7F000003, kMac, 0x7FFFFFFF));
        QTRY_COMPARE_WITH_TIMEOUT(log.entries.size(), 1, 5000);
        QCOMPARE(log.entries[0].icon, QMessageBox::Warning);
        QVERIFY(log.entries[0].strText.contains(strDir));
        QVERIFY(pDoc->IsModified());

        pDoc->RenamePc(pDoc->m_pcs.front().get(), "AGAIN");
        QTest::qWait(100);
        QCOMPARE(log.entries.size(), 1);

        QVERIFY(!app.MainFrame()->close());
        QCOMPARE(closed.count(), 0);
        QCOMPARE(log.entries.size(), 2);

        QVERIFY(QDir().mkdir(strDir));
        QVERIFY(app.MainFrame()->close());
        QCOMPARE(closed.count(), 1);
        QVERIFY(QFileInfo::exists(strDir + QStringLiteral("/vt.DAT")));
        QCOMPARE(log.entries.size(), 2);
    }
};

VT_SHELL_TEST_MAIN(TestShellStartup)
#include "tst_shell_startup.moc"
