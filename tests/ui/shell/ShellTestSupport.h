#pragma once

#include "CServerApp.h"
#include "app/Settings.h"
#include "app/StringTable.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <deque>
#include <functional>

/// Settings, the instance lock and the settings folder go to a temporary folder
/// before anything reads them; the language is English unless a test switches.
inline void PrepareShellTestEnvironment(const QTemporaryDir& dir)
{
    const QByteArray config = (dir.path() + QStringLiteral("/config")).toUtf8();
    qputenv("XDG_CONFIG_HOME", config);
    qputenv("VT_LOCK_FILE", (dir.path() + QStringLiteral("/vt.lock")).toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromUtf8(config));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromUtf8(config));
}

#define VT_SHELL_TEST_MAIN(TestClass)                                                                    \
    int main(int argc, char** argv)                                                                      \
    {                                                                                                    \
        QTemporaryDir dir;                                                                               \
        if (!dir.isValid())                                                                              \
            return 2;                                                                                    \
        PrepareShellTestEnvironment(dir);                                                                \
        QApplication app(argc, argv);                                                                    \
        QApplication::setQuitOnLastWindowClosed(false);                                                  \
        vtstr::SetLanguage(vtstr::Language::English);                                                    \
        TestClass test;                                                                                  \
        return QTest::qExec(&test, argc, argv);                                                          \
    }

/// Clears the stored settings and keeps the worker's traffic on loopback.
inline void ResetShellSettings()
{
    QSettings(QString::fromUtf8(vtsettings::kOrganization), QString::fromUtf8(vtsettings::kApplication)).clear();
    vtsettings::WriteInt("Settings", "Type", 0);
    vtsettings::WriteInt("Interface", "IP Address", 0x7F000002); // 127.0.0.2
    vtsettings::WriteInt("Interface", "IP Port", 47311);
}

/// Records the shell's messages instead of showing them.
struct MessageLog {
    struct Entry {
        QString strText;
        QMessageBox::Icon icon;
    };
    QList<Entry> entries;

    MessageLog()
    {
        vtshell::SetMessageHook([this](const QString& strText, QMessageBox::Icon icon) {
            entries.append({strText, icon});
        });
    }
    ~MessageLog() { vtshell::SetMessageHook(nullptr); }
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;
};

/// Answers modal dialogs as they appear, one step per new dialog, from a timer that
/// runs inside their event loops. Dialogs beyond the steps are rejected (so nothing
/// blocks), and the timer gives up after a bounded number of ticks.
class ModalDriver final : public QObject {
public:
    using Step = std::function<void(QWidget*)>;

    explicit ModalDriver(std::deque<Step> steps, int nMaxTicks = 500)
        : m_steps(std::move(steps))
        , m_nTicksLeft(nMaxTicks)
    {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, &ModalDriver::Tick);
        m_timer.start();
    }

    QStringList m_seen;   ///< class names of the dialogs met, in order
    QStringList m_texts;  ///< message box texts met, in order

private:
    void Tick()
    {
        if (--m_nTicksLeft <= 0)
            m_timer.stop();
        QWidget* pModal = QApplication::activeModalWidget();
        if (!pModal || pModal == m_pLast.data())
            return;
        m_pLast = pModal;
        m_seen.append(QString::fromUtf8(pModal->metaObject()->className()));
        if (auto* pBox = qobject_cast<QMessageBox*>(pModal))
            m_texts.append(pBox->text());
        if (m_steps.empty() || m_nTicksLeft <= 0) {
            if (auto* pDialog = qobject_cast<QDialog*>(pModal))
                pDialog->reject();
            return;
        }
        Step step = std::move(m_steps.front());
        m_steps.pop_front();
        step(pModal);
    }

    std::deque<Step> m_steps;
    int m_nTicksLeft;
    QTimer m_timer;
    QPointer<QWidget> m_pLast;
};

/// A step that dismisses a message box.
inline ModalDriver::Step CloseBox()
{
    return [](QWidget* pModal) {
        if (auto* pDialog = qobject_cast<QDialog*>(pModal))
            pDialog->reject();
    };
}
