#include "CAboutDlg.h"
#include "CRegisterDlg.h"
#include "CSelectGroupDlg.h"
#include "CSettingsDlg.h"
#include "UiText.h"
#include "app/StringTable.h"
#include "model/CDoc.h"
#include "net/AddressLookup.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include <chrono>
#include <future>
#include <map>
#include <memory>

#include <arpa/inet.h>

using Mac = std::array<std::uint8_t, 6>;

namespace {

constexpr std::uint32_t kPc7 = 0x0A000007u; // 10.0.0.7
constexpr std::uint32_t kPc8 = 0x0A000008u;
constexpr std::uint32_t kPc9 = 0x0A000009u;

// What the stand-in resolver and neighbour table know.
struct FakeNet {
    std::map<std::string, std::uint32_t> names;
    std::map<std::uint32_t, std::string> hosts;
    std::map<std::uint32_t, Mac> neighbours;
    std::vector<std::uint32_t> local;
    int nResolveCalls = 0;
};

QLineEdit* Edit(QWidget& dlg, const char* name)
{
    auto* p = dlg.findChild<QLineEdit*>(QString::fromLatin1(name));
    Q_ASSERT(p);
    return p;
}

QLineEdit* MacEdit(QWidget& dlg, int i)
{
    return Edit(dlg, QStringLiteral("editMac%1").arg(i).toLatin1().constData());
}

QStringList L(std::initializer_list<const char*> texts)
{
    QStringList list;
    for (const char* p : texts)
        list << QString::fromLatin1(p);
    return list;
}

QStringList MacTexts(QWidget& dlg)
{
    QStringList texts;
    for (int i = 0; i < 6; ++i)
        texts << MacEdit(dlg, i)->text();
    return texts;
}

void SetMacTexts(QWidget& dlg, const QStringList& texts)
{
    for (int i = 0; i < 6; ++i)
        MacEdit(dlg, i)->setText(i < texts.size() ? texts[i] : QString());
}

} // namespace

class DialogsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_settingsDir;
    FakeNet m_net;
    std::vector<unsigned> m_messages;
    std::vector<QString> m_settingsMessages;

    void Hook(CRegisterDlg& dlg)
    {
        dlg.m_fnMessage = [this](unsigned nId) { m_messages.push_back(nId); };
    }
    void Hook(CSettingsDlg& dlg)
    {
        dlg.m_fnMessage = [this](const QString& str) { m_settingsMessages.push_back(str); };
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_settingsDir.isValid());
        qputenv("XDG_CONFIG_HOME", m_settingsDir.path().toLocal8Bit());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settingsDir.path());
        vtstr::SetLanguage(vtstr::Language::English);
    }

    void init()
    {
        m_net = FakeNet{};
        m_messages.clear();
        m_settingsMessages.clear();
        vtlookup::Functions fns;
        fns.fnResolve = [this](const std::string& name) -> std::optional<std::uint32_t> {
            ++m_net.nResolveCalls;
            auto it = m_net.names.find(name);
            return it == m_net.names.end() ? std::nullopt : std::optional<std::uint32_t>(it->second);
        };
        fns.fnReverse = [this](std::uint32_t dw) -> std::optional<std::string> {
            auto it = m_net.hosts.find(dw);
            return it == m_net.hosts.end() ? std::nullopt : std::optional<std::string>(it->second);
        };
        fns.fnArp = [this](std::uint32_t dw) -> std::optional<Mac> {
            auto it = m_net.neighbours.find(dw);
            return it == m_net.neighbours.end() ? std::nullopt : std::optional<Mac>(it->second);
        };
        fns.fnLocalAddresses = [this] { return m_net.local; };
        vtlookup::SetLookupForTesting(fns);
    }

    void cleanup()
    {
        vtlookup::SetLookupForTesting({});
        vtlookup::detail::SetSystemCallsForTesting({});
        vtlookup::detail::SetTimeout(std::chrono::milliseconds(3000));
        QVERIFY(!QApplication::overrideCursor());
    }

    // --- registration: lookups -------------------------------------------------------

    void registerNameFillsAddressNameAndMac()
    {
        m_net.names["pc7"] = kPc7;
        m_net.hosts[kPc7] = "pc7.lab";
        m_net.neighbours[kPc7] = Mac{0x00, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F};
        CRegisterDlg dlg;
        dlg.show();
        Edit(dlg, "editName")->setText(QStringLiteral("pc7"));
        QTest::mouseClick(dlg.findChild<QPushButton*>(QStringLiteral("btnSearch")), Qt::LeftButton);

        QCOMPARE(Edit(dlg, "editIp")->text(), QStringLiteral("10.0.0.7"));
        QCOMPARE(Edit(dlg, "editName")->text(), QStringLiteral("pc7.lab"));
        QCOMPARE(MacTexts(dlg), L({"00", "1B", "2C", "3D", "4E", "5F"}));
        QCOMPARE(Edit(dlg, "editBroadcast")->text(), QStringLiteral("255.255.255.255"));
        QCOMPARE(dlg.m_strName, std::string("pc7.lab"));
        QCOMPARE(dlg.m_dwIp, htonl(kPc7));
        QCOMPARE(dlg.IpHostOrder(), kPc7);
        QCOMPARE(dlg.m_mac, (Mac{0x00, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}));
        QCOMPARE(dlg.m_dwBroadcast, 0xFFFFFFFFu);
    }

    void registerAddressWithoutReverseGetsPlaceholderName()
    {
        CRegisterDlg dlg;
        dlg.show();
        Edit(dlg, "editIp")->setText(QStringLiteral("10.0.0.9"));
        dlg.LookupAddress();
        QCOMPARE(Edit(dlg, "editName")->text(), QStringLiteral("??? (10.0.0.9)"));
        QCOMPARE(dlg.m_strName, std::string("??? (10.0.0.9)"));
        QCOMPARE(dlg.m_dwIp, htonl(kPc9));
        QCOMPARE(MacTexts(dlg), L({"", "", "", "", "", ""}));
    }

    void registerTypedAddressWinsOverName()
    {
        m_net.names["pc7"] = kPc7;
        m_net.hosts[kPc8] = "pc8.lab";
        CRegisterDlg dlg;
        dlg.show();
        Edit(dlg, "editName")->setText(QStringLiteral("pc7"));
        Edit(dlg, "editIp")->setText(QStringLiteral("10.0.0.8"));
        dlg.LookupAddress();
        QCOMPARE(dlg.IpHostOrder(), kPc8);
        QCOMPARE(Edit(dlg, "editIp")->text(), QStringLiteral("10.0.0.8"));
        QCOMPARE(Edit(dlg, "editName")->text(), QStringLiteral("pc8.lab"));

        // Without a reverse entry the typed name stays.
        Edit(dlg, "editName")->setText(QStringLiteral("my-pc"));
        Edit(dlg, "editIp")->setText(QStringLiteral("10.0.0.9"));
        dlg.LookupAddress();
        QCOMPARE(dlg.IpHostOrder(), kPc9);
        QCOMPARE(Edit(dlg, "editName")->text(), QStringLiteral("my-pc"));
        QCOMPARE(dlg.m_strName, std::string("my-pc"));
    }

    void registerInvalidTypedAddressIsReplacedByResolvedOne()
    {
        m_net.names["pc7"] = kPc7;
        CRegisterDlg dlg;
        dlg.show();
        Edit(dlg, "editName")->setText(QStringLiteral("pc7"));
        Edit(dlg, "editIp")->setText(QStringLiteral("10.0.0.256"));
        dlg.LookupAddress();
        QCOMPARE(Edit(dlg, "editIp")->text(), QStringLiteral("10.0.0.7"));
        QCOMPARE(dlg.IpHostOrder(), kPc7);
    }

    void registerNothingTypedChangesNothing()
    {
        CRegisterDlg dlg;
        dlg.show();
        dlg.m_dwIp = 0x12345678u;
        dlg.LookupAddress();
        QCOMPARE(dlg.m_dwIp, 0x12345678u);
        QCOMPARE(Edit(dlg, "editBroadcast")->text(), QString());
        QCOMPARE(m_net.nResolveCalls, 0);
    }

    void registerBroadcast_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<quint32>("hostOrder");
        QTest::newRow("empty") << QString() << QStringLiteral("255.255.255.255") << 0xFFFFFFFFu;
        QTest::newRow("subnet") << QStringLiteral("10.0.0.255") << QStringLiteral("10.0.0.255")
                                << 0x0A0000FFu;
        QTest::newRow("invalid") << QStringLiteral("10.0.0") << QStringLiteral("10.0.0") << 0xFFFFFFFFu;
    }

    void registerBroadcast()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(quint32, hostOrder);
        CRegisterDlg dlg;
        dlg.show();
        Edit(dlg, "editIp")->setText(QStringLiteral("10.0.0.9"));
        Edit(dlg, "editBroadcast")->setText(typed);
        dlg.LookupAddress();
        QCOMPARE(Edit(dlg, "editBroadcast")->text(), shown);
        QCOMPARE(dlg.BroadcastHostOrder(), hostOrder);
    }

    void registerSearchButtonFollowsNameAndAddress()
    {
        CRegisterDlg dlg;
        dlg.show();
        auto* pSearch = dlg.findChild<QPushButton*>(QStringLiteral("btnSearch"));
        QVERIFY(!pSearch->isEnabled());
        SetMacTexts(dlg, L({"01"}));
        QVERIFY(!pSearch->isEnabled());
        QTest::keyClicks(Edit(dlg, "editName"), QStringLiteral("x"));
        QVERIFY(pSearch->isEnabled());
        Edit(dlg, "editIp")->setText(QStringLiteral("1"));
        Edit(dlg, "editName")->clear();
        QVERIFY(pSearch->isEnabled());
        Edit(dlg, "editIp")->clear();
        QVERIFY(!pSearch->isEnabled());
    }

    void registerHangingResolverDoesNotFreeze()
    {
        vtlookup::SetLookupForTesting({});
        auto pGate = std::make_shared<std::promise<void>>();
        std::shared_future<void> gate = pGate->get_future().share();
        vtlookup::detail::SetSystemCallsForTesting(
            {[gate](const std::string&) -> std::optional<std::uint32_t> {
                 gate.wait_for(std::chrono::seconds(10));
                 return std::nullopt;
             },
             {}});
        vtlookup::detail::SetTimeout(std::chrono::milliseconds(100));
        CRegisterDlg dlg;
        Hook(dlg);
        dlg.show();
        Edit(dlg, "editName")->setText(QStringLiteral("hangs"));
        QElapsedTimer timer;
        timer.start();
        dlg.accept();
        QVERIFY(timer.elapsed() < 5000);
        QCOMPARE(m_messages, std::vector<unsigned>{1027});
        pGate->set_value();
    }

    // --- registration: OK ------------------------------------------------------------

    void registerMacOnlyIsAccepted()
    {
        CRegisterDlg dlg;
        Hook(dlg);
        dlg.show();
        SetMacTexts(dlg, L({"0", "1b", "2"}));
        dlg.accept();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(m_messages.empty());
        QCOMPARE(MacTexts(dlg), L({"00", "1B", "02", "00", "00", "00"}));
        QCOMPARE(dlg.m_mac, (Mac{0x00, 0x1B, 0x02, 0, 0, 0}));
        QCOMPARE(dlg.m_dwIp, 0xFFFFFFFFu);
        QCOMPARE(Edit(dlg, "editBroadcast")->text(), QStringLiteral("255.255.255.255"));
        QCOMPARE(dlg.m_strName, std::string());
    }

    void registerMacBoxesParseLeadingHexDigits()
    {
        CRegisterDlg dlg;
        dlg.show();
        SetMacTexts(dlg, L({"fF", "g1", "1g", " a", "", "z"}));
        dlg.LookupAddress();
        QCOMPARE(dlg.m_mac, (Mac{0xFF, 0x00, 0x01, 0x0A, 0x00, 0x00}));
        QCOMPARE(MacTexts(dlg), L({"FF", "00", "01", "0A", "00", "00"}));
    }

    void registerRefusals_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QStringList>("mac");
        QTest::addColumn<unsigned>("message");
        QTest::newRow("everything empty") << QString() << QString() << QStringList() << 1030u;
        QTest::newRow("loopback only") << QString() << QStringLiteral("127.0.0.1") << QStringList() << 1027u;
        QTest::newRow("zero address") << QString() << QStringLiteral("0.0.0.0") << QStringList() << 1027u;
        QTest::newRow("limited broadcast")
            << QString() << QStringLiteral("255.255.255.255") << QStringList() << 1027u;
        QTest::newRow("unknown name") << QStringLiteral("nosuchpc") << QString() << QStringList() << 1027u;
        QTest::newRow("zero mac") << QString() << QString() << L({"0", "00"}) << 1027u;
        QTest::newRow("loopback and zero mac")
            << QString() << QStringLiteral("127.0.0.1") << L({"00"}) << 1027u;
    }

    void registerRefusals()
    {
        QFETCH(QString, name);
        QFETCH(QString, ip);
        QFETCH(QStringList, mac);
        QFETCH(unsigned, message);
        CDoc doc;
        CRegisterDlg dlg;
        dlg.m_pDoc = &doc;
        Hook(dlg);
        dlg.show();
        Edit(dlg, "editName")->setText(name);
        Edit(dlg, "editIp")->setText(ip);
        SetMacTexts(dlg, mac);
        dlg.accept();
        QCOMPARE(m_messages, std::vector<unsigned>{message});
        QVERIFY(dlg.isVisible());
        QVERIFY(dlg.result() != QDialog::Accepted);
    }

    void registerDuplicates_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QStringList>("mac");
        QTest::addColumn<bool>("registering");
        QTest::addColumn<bool>("accepted");
        const QStringList otherMac = L({"02", "00", "00", "00", "00", "09"});
        const QStringList ownMac = L({"00", "1B", "2C", "3D", "4E", "5F"});
        QTest::newRow("same ip") << QStringLiteral("10.0.0.7") << QStringList() << true << false;
        QTest::newRow("same mac, new ip") << QStringLiteral("10.0.0.9") << ownMac << true << false;
        QTest::newRow("same mac, no ip") << QString() << ownMac << true << false;
        QTest::newRow("new ip and mac") << QStringLiteral("10.0.0.9") << otherMac << true << true;
        QTest::newRow("editing keeps own") << QStringLiteral("10.0.0.7") << ownMac << false << true;
    }

    void registerDuplicates()
    {
        QFETCH(QString, ip);
        QFETCH(QStringList, mac);
        QFETCH(bool, registering);
        QFETCH(bool, accepted);
        CDoc doc;
        const Mac pcMac{0x00, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F};
        CKw* pPc = doc.AddPc("pc7", kPc7, pcMac.data(), 0x0A0000FFu);
        QVERIFY(pPc);
        CRegisterDlg dlg;
        if (registering)
            dlg.m_pDoc = &doc;
        else
            dlg.m_pPc = pPc;
        Hook(dlg);
        dlg.show();
        Edit(dlg, "editIp")->setText(ip);
        SetMacTexts(dlg, mac);
        dlg.accept();
        QCOMPARE(dlg.result() == QDialog::Accepted, accepted);
        QCOMPARE(m_messages, accepted ? std::vector<unsigned>{} : std::vector<unsigned>{1028});
    }

    void registerEditShowsRecord()
    {
        CDoc doc;
        const Mac mac{0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F};
        CKw* pPc = doc.AddPc("lab-01", kPc7, mac.data(), 0x0A0000FFu);
        CRegisterDlg dlg;
        dlg.m_pPc = pPc;
        dlg.show();
        QCOMPARE(Edit(dlg, "editName")->text(), QStringLiteral("lab-01"));
        QCOMPARE(Edit(dlg, "editIp")->text(), QStringLiteral("10.0.0.7"));
        QCOMPARE(MacTexts(dlg), L({"0A", "1B", "2C", "3D", "4E", "5F"}));
        QCOMPARE(Edit(dlg, "editBroadcast")->text(), QStringLiteral("10.0.0.255"));
        QVERIFY(dlg.findChild<QPushButton*>(QStringLiteral("btnSearch"))->isEnabled());

        const Mac none{};
        CKw* pBare = doc.AddPc("bare", 0xFFFFFFFFu, none.data(), 0xFFFFFFFFu);
        CRegisterDlg bare;
        bare.m_pPc = pBare;
        bare.show();
        QCOMPARE(Edit(bare, "editIp")->text(), QString());
        QCOMPARE(MacTexts(bare), L({"", "", "", "", "", ""}));
        QCOMPARE(Edit(bare, "editBroadcast")->text(), QStringLiteral("255.255.255.255"));
    }

    // --- settings ----------------------------------------------------------------------

    void settingsRanges_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("interval");
        QTest::addColumn<int>("reportType");
        QTest::addColumn<QString>("refusedField");
        QTest::newRow("port 1") << QStringLiteral("1") << QStringLiteral("60") << 2 << QString();
        QTest::newRow("port 65534") << QStringLiteral("65534") << QStringLiteral("60") << 2 << QString();
        QTest::newRow("port 0") << QStringLiteral("0") << QStringLiteral("60") << 2
                                << QStringLiteral("editPort");
        QTest::newRow("port 65535") << QStringLiteral("65535") << QStringLiteral("60") << 2
                                    << QStringLiteral("editPort");
        QTest::newRow("port empty") << QStringLiteral("") << QStringLiteral("60") << 2
                                    << QStringLiteral("editPort");
        QTest::newRow("port text") << QStringLiteral("9x") << QStringLiteral("60") << 2
                                   << QStringLiteral("editPort");
        QTest::newRow("port huge") << QStringLiteral("4294967297") << QStringLiteral("60") << 2
                                   << QStringLiteral("editPort");
        QTest::newRow("interval 5") << QStringLiteral("9000") << QStringLiteral("5") << 2 << QString();
        QTest::newRow("interval 3600") << QStringLiteral("9000") << QStringLiteral("3600") << 1 << QString();
        QTest::newRow("interval 4") << QStringLiteral("9000") << QStringLiteral("4") << 2
                                    << QStringLiteral("editInterval");
        QTest::newRow("interval 3601")
            << QStringLiteral("9000") << QStringLiteral("3601") << 2 << QStringLiteral("editInterval");
        QTest::newRow("interval 4, not used")
            << QStringLiteral("9000") << QStringLiteral("4") << 0 << QStringLiteral("editInterval");
        QTest::newRow("interval 3601, not used")
            << QStringLiteral("9000") << QStringLiteral("3601") << 0 << QStringLiteral("editInterval");
        QTest::newRow("interval 5, not used")
            << QStringLiteral("9000") << QStringLiteral("5") << 0 << QString();
        QTest::newRow("interval empty")
            << QStringLiteral("9000") << QStringLiteral("") << 0 << QStringLiteral("editInterval");
        QTest::newRow("both bad: port first")
            << QStringLiteral("0") << QStringLiteral("4") << 2 << QStringLiteral("editPort");
    }

    void settingsRanges()
    {
        QFETCH(QString, port);
        QFETCH(QString, interval);
        QFETCH(int, reportType);
        QFETCH(QString, refusedField);
        CSettingsDlg dlg;
        dlg.m_nPort = 9000;
        dlg.m_nInterval = 60;
        dlg.m_nReportType = 2;
        Hook(dlg);
        dlg.show();
        const char* radios[] = {"radioNotUsed", "radioStartUp", "radioPeriodic"};
        dlg.findChild<QRadioButton*>(QString::fromLatin1(radios[reportType]))->setChecked(true);
        Edit(dlg, "editPort")->setText(port);
        Edit(dlg, "editInterval")->setText(interval);
        QVERIFY(Edit(dlg, "editInterval")->isEnabled());
        dlg.accept();
        if (refusedField.isEmpty()) {
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
            QVERIFY(m_settingsMessages.empty());
            QCOMPARE(dlg.m_nPort, port.toUInt());
            QCOMPARE(dlg.m_nInterval, interval.toInt());
            QCOMPARE(dlg.m_nReportType, reportType);
        } else {
            QVERIFY(dlg.result() != QDialog::Accepted);
            QCOMPARE(m_settingsMessages.size(), std::size_t(1));
            QLineEdit* pField = Edit(dlg, refusedField.toLatin1().constData());
            QCOMPARE(dlg.focusWidget(), pField);
            QCOMPARE(pField->selectedText(), pField->text());
            const QString range = refusedField == QLatin1String("editPort") ? QStringLiteral("1 and 65534")
                                                                            : QStringLiteral("5 and 3600");
            QVERIFY2(m_settingsMessages[0].contains(range), qPrintable(m_settingsMessages[0]));
        }
    }

    void settingsShowsFields()
    {
        CSettingsDlg dlg;
        dlg.m_nPort = 9100;
        dlg.m_nReportType = 1;
        dlg.m_nInterval = 300;
        dlg.show();
        QCOMPARE(Edit(dlg, "editPort")->text(), QStringLiteral("9100"));
        QCOMPARE(Edit(dlg, "editInterval")->text(), QStringLiteral("300"));
        QVERIFY(dlg.findChild<QRadioButton*>(QStringLiteral("radioStartUp"))->isChecked());
        QVERIFY(Edit(dlg, "editPort")->alignment() & Qt::AlignRight);
        QVERIFY(Edit(dlg, "editInterval")->alignment() & Qt::AlignRight);
    }

    void settingsInterfaces_data()
    {
        QTest::addColumn<quint32>("stored");
        QTest::addColumn<int>("chooseIndex"); // -1: leave the selection as opened
        QTest::addColumn<int>("shownIndex");
        QTest::addColumn<quint32>("result");
        QTest::newRow("auto") << 0u << -1 << 0 << 0u;
        QTest::newRow("second address") << 0x0A000002u << -1 << 2 << 0x0A000002u;
        QTest::newRow("gone address") << 0x0A090909u << -1 << 0 << 0u;
        QTest::newRow("choose first address") << 0u << 1 << 0 << 0x0A000001u;
        QTest::newRow("choose auto") << 0x0A000001u << 0 << 1 << 0u;
        QTest::newRow("stored loopback") << 0x7F000001u << -1 << 0 << 0u;
    }

    void settingsInterfaces()
    {
        QFETCH(quint32, stored);
        QFETCH(int, chooseIndex);
        QFETCH(int, shownIndex);
        QFETCH(quint32, result);
        m_net.local = {0x7F000001u, 0x0A000001u, 0x0A000002u};
        CSettingsDlg dlg;
        Hook(dlg);
        dlg.m_dwInterface = stored;
        dlg.show();
        auto* pCombo = dlg.findChild<QComboBox*>(QStringLiteral("cbInterface"));
        QCOMPARE(pCombo->count(), 3);
        QCOMPARE(pCombo->itemText(0), S(2061));
        QCOMPARE(pCombo->itemText(1), QStringLiteral("10.0.0.1"));
        QCOMPARE(pCombo->itemText(2), QStringLiteral("10.0.0.2"));
        QCOMPARE(pCombo->currentIndex(), shownIndex);
        if (chooseIndex >= 0)
            pCombo->setCurrentIndex(chooseIndex);
        dlg.accept();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.m_dwInterface, result);
    }

    void settingsWithoutLocalAddressesOffersAutoOnly()
    {
        m_net.local = {0x7F000001u};
        CSettingsDlg dlg;
        dlg.m_dwInterface = 0x0A000001u;
        dlg.show();
        auto* pCombo = dlg.findChild<QComboBox*>(QStringLiteral("cbInterface"));
        QCOMPARE(pCombo->count(), 1);
        QCOMPARE(pCombo->currentIndex(), 0);
    }

    void settingsCancelKeepsFields()
    {
        m_net.local = {0x0A000001u};
        CSettingsDlg dlg;
        dlg.m_dwInterface = 0x0A000001u;
        dlg.show();
        Edit(dlg, "editPort")->setText(QStringLiteral("1234"));
        dlg.findChild<QComboBox*>(QStringLiteral("cbInterface"))->setCurrentIndex(0);
        dlg.reject();
        QCOMPARE(dlg.m_nPort, 9000u);
        QCOMPARE(dlg.m_dwInterface, 0x0A000001u);
    }

    // --- select group ------------------------------------------------------------------

    void selectGroupReturnsChosenInListOrder()
    {
        CDoc doc;
        std::vector<CGroup*> groups;
        for (const char* name : {"Room A", "Room B", "Room C", "Room D"})
            groups.push_back(doc.AddGroup(name));
        QVERIFY(groups.back());

        CSelectGroupDlg dlg;
        dlg.m_groupList = groups;
        dlg.show();
        auto* pList = dlg.findChild<QListWidget*>(QStringLiteral("listGroups"));
        QCOMPARE(pList->count(), 4);
        QCOMPARE(pList->item(2)->text(), QStringLiteral("Room C"));
        QVERIFY(!pList->item(0)->icon().isNull());
        QVERIFY(pList->selectedItems().isEmpty());
        QCOMPARE(pList->selectionMode(), QAbstractItemView::ExtendedSelection);

        pList->item(3)->setSelected(true);
        pList->item(0)->setSelected(true);
        pList->item(2)->setSelected(true);
        dlg.accept();
        QCOMPARE(dlg.m_groupList, (std::vector<CGroup*>{groups[0], groups[2], groups[3]}));
    }

    void selectGroupNoneSelectedOrCancelled()
    {
        CDoc doc;
        std::vector<CGroup*> groups{doc.AddGroup("A"), doc.AddGroup("B")};

        CSelectGroupDlg none;
        none.m_groupList = groups;
        none.show();
        none.accept();
        QVERIFY(none.m_groupList.empty());

        CSelectGroupDlg cancelled;
        cancelled.m_groupList = groups;
        cancelled.show();
        cancelled.findChild<QListWidget*>(QStringLiteral("listGroups"))->item(1)->setSelected(true);
        cancelled.reject();
        QCOMPARE(cancelled.m_groupList, groups);

        CSelectGroupDlg empty;
        empty.show();
        QCOMPARE(empty.findChild<QListWidget*>(QStringLiteral("listGroups"))->count(), 0);
        empty.accept();
        QVERIFY(empty.m_groupList.empty());
    }

    // --- about and languages -----------------------------------------------------------

    void aboutShowsProductAndVersion()
    {
        CAboutDlg dlg;
        const QString product = dlg.findChild<QLabel*>(QStringLiteral("labelProduct"))->text();
        QVERIFY(product.contains(QStringLiteral("Veltrane Server")));
        QVERIFY(product.contains(QStringLiteral("1.0.0")));
        QVERIFY(!dlg.findChild<QLabel*>(QStringLiteral("labelPurpose"))->text().isEmpty());
        auto* pOk = dlg.findChild<QPushButton*>(QStringLiteral("btnOk"));
        dlg.show();
        QTest::mouseClick(pOk, Qt::LeftButton);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
    }

    void japaneseTexts()
    {
        QTranslator translator;
        QVERIFY(translator.load(QStringLiteral(":/i18n/dialogs_ja.qm")));
        QCoreApplication::installTranslator(&translator);
        CRegisterDlg reg;
        CSettingsDlg settings;
        CSelectGroupDlg select;
        CAboutDlg about;
        QCoreApplication::removeTranslator(&translator);

        QCOMPARE(reg.windowTitle(), QString::fromUtf8("PCの登録"));
        QCOMPARE(reg.findChild<QPushButton*>(QStringLiteral("btnSearch"))->text(), QString::fromUtf8("検索"));
        QCOMPARE(reg.findChild<QPushButton*>(QStringLiteral("btnCancel"))->text(),
                 QString::fromUtf8("ｷｬﾝｾﾙ"));
        QCOMPARE(settings.windowTitle(), QString::fromUtf8("設定"));
        QCOMPARE(settings.findChild<QRadioButton*>(QStringLiteral("radioPeriodic"))->text(),
                 QString::fromUtf8("定期間隔"));
        QCOMPARE(select.windowTitle(), QString::fromUtf8("グループの選択"));
        QVERIFY(about.findChild<QLabel*>(QStringLiteral("labelProduct"))
                    ->text()
                    .contains(QStringLiteral("1.0.0")));
    }
};

QTEST_MAIN(DialogsTest)
#include "test_dialogs.moc"
