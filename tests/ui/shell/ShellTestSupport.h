#pragma once

#include <QtWidgets> // before the views' headers, which use QLineEdit inline

#include "CAboutDlg.h"
#include "CGpTree.h"
#include "CKwList.h"
#include "CKwListModel.h"
#include "CMainFrame.h"
#include "CPasswordDlg.h"
#include "CPasswordSetDlg.h"
#include "CRegisterDlg.h"
#include "CReserveDlg.h"
#include "CSelectGroupDlg.h"
#include "CServerApp.h"
#include "CSettingsDlg.h"
#include "Commands.h"
#include "Translations.h"
#include "app/Password.h"
#include "app/Settings.h"
#include "app/StringTable.h"
#include "model/CDoc.h"
#include "net/AddressLookup.h"

#include <QtTest>

#include <deque>
#include <functional>

/// The shell's messages, recorded instead of shown.
inline QStringList g_messages;
inline QList<QMessageBox::Icon> g_icons;

// Every widget test: settings, the per-user data folder and the instance lock live in a
// temporary folder before anything reads them.
#define VT_SHELL_TEST_MAIN(TestClass)                                                                        \
    int main(int argc, char** argv)                                                                          \
    {                                                                                                        \
        QTemporaryDir dir;                                                                                   \
        qputenv("XDG_CONFIG_HOME", (dir.path() + QStringLiteral("/config")).toUtf8());                       \
        qputenv("XDG_DATA_HOME", (dir.path() + QStringLiteral("/data")).toUtf8());                           \
        qputenv("VT_LOCK_FILE", (dir.path() + QStringLiteral("/vt.lock")).toUtf8());                         \
        QApplication app(argc, argv);                                                                        \
        QApplication::setQuitOnLastWindowClosed(false);                                                      \
        vtshell::SetMessageHook([](const QString& strText, QMessageBox::Icon icon) {                         \
            g_messages << strText;                                                                           \
            g_icons << icon;                                                                                 \
        });                                                                                                  \
        TestClass test;                                                                                      \
        return dir.isValid() ? QTest::qExec(&test, argc, argv) : 2;                                          \
    }

inline QStringList L(std::initializer_list<const char*> texts)
{
    QStringList list;
    for (const char* pText : texts)
        list << QString::fromUtf8(pText);
    return list;
}

/// Switches the strings and the translators of every area.
inline void UseLanguage(vtstr::Language lang)
{
    vtstr::SetLanguage(lang);
    vtshell::InstallTranslations(lang);
}

/// Clears settings and messages, English; the worker's traffic stays on loopback.
inline void ResetShell()
{
    QSettings(QString::fromUtf8(vtsettings::kOrganization), QString::fromUtf8(vtsettings::kApplication))
        .clear();
    vtsettings::WriteInt("Settings", "Type", 0);
    vtsettings::WriteInt("Interface", "IP Address", 0x7F000002); // 127.0.0.2
    vtsettings::WriteInt("Interface", "IP Port", 47311);
    g_messages.clear();
    g_icons.clear();
    UseLanguage(vtstr::Language::English);
}

/// Answers modal dialogs as they appear, one step per new dialog, from a timer running
/// inside their event loops; dialogs beyond the steps are rejected. Bounded in ticks.
class ModalDriver final : public QObject {
public:
    using Step = std::function<void(QDialog*)>;

    explicit ModalDriver(std::deque<Step> steps) : m_steps(std::move(steps))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto* pModal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            const bool bExpired = --m_nTicksLeft <= 0;
            if (bExpired)
                m_timer.stop();
            if (!pModal || (pModal == m_pLast.data() && !bExpired))
                return;
            m_pLast = pModal;
            m_seen.append(QString::fromUtf8(pModal->metaObject()->className()));
            if (m_steps.empty() || bExpired)
                return pModal->reject();
            m_steps.front()(pModal);
            m_steps.pop_front();
        });
        m_timer.start(20);
    }

    QStringList m_seen; ///< class names of the dialogs met, in order

private:
    std::deque<Step> m_steps;
    int m_nTicksLeft = 500;
    QTimer m_timer;
    QPointer<QDialog> m_pLast;
};
