// Registration and Settings dialogs, with a stand-in resolver and
// neighbour table. Every dialog's texts and size are checked with the frame's.

#include "../shell/ShellTestSupport.h"

#include <arpa/inet.h>

#include <thread>

using Mac = std::array<std::uint8_t, 6>;

namespace {

constexpr std::uint32_t kPc7 = 0x0A000007u; // 10.0.0.7: known by name, reverse lookup and neighbour table
constexpr Mac kMac7{0x00, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F};

struct Register {
    const char* pTyped; // name|IP|MAC as aa-bb-..|broadcast
    int nMode;          // 0 no document, 1 registering, 2 editing the PC 10.0.0.7
    int nMessage;       // 0: accepted
    const char* pShown = nullptr;
    quint32 nIp = 0xFFFFFFFFu;
    quint32 nBroadcast = 0xFFFFFFFFu;
};

struct Settings {
    const char* pPort = "9000";
    const char* pInterval = "60";
    int nReportType = 2;
    const char* pRefused = ""; // the box refused, empty when accepted
    quint32 nStored = 0;       // interface, host order
    int nShown = 0;            // interface entry shown at opening
    int nChoose = -1;          // interface entry chosen, -1: as opened
    quint32 nInterface = 0;    // after OK
};

QLineEdit* Edit(QWidget& dlg, const char* pName, int nMac = 0)
{
    const QString strName = QString::fromLatin1(pName);
    return dlg.findChild<QLineEdit*>(strName.contains(u'%') ? strName.arg(nMac) : strName);
}

/// The boxes as name|IP|MAC as aa-bb-..|broadcast.
QString Boxes(QWidget& dlg)
{
    QString str = Edit(dlg, "editName")->text() + u'|' + Edit(dlg, "editIp")->text() + u'|';
    for (int i = 0; i < 6; ++i)
        str += Edit(dlg, "editMac%1", i)->text() + (i < 5 ? u'-' : u'|');
    return str + Edit(dlg, "editBroadcast")->text();
}

/// Holds name lookups while closed, counting the calls that entered and left. Shared with
/// the lookup's thread, which may outlive the test.
struct Gate {
    std::atomic<bool> bOpen = true, bOnUiThread = false;
    std::atomic<int> nEntered = 0, nLeft = 0;

    void Pass()
    {
        ++nEntered;
        bOnUiThread = bOnUiThread || QThread::currentThread() == qApp->thread();
        for (int i = 0; i < 1000 && !bOpen; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ++nLeft;
    }
};

} // namespace

Q_DECLARE_METATYPE(Register)
Q_DECLARE_METATYPE(Settings)

class DialogsTest : public QObject {
    Q_OBJECT

private:
    QStringList m_messages;
    std::shared_ptr<Gate> m_pGate;

    void Fill(CRegisterDlg& dlg, const char* pTyped)
    {
        const QStringList typed = QString::fromUtf8(pTyped).split(u'|');
        const QStringList mac = typed[2].split(u'-');
        dlg.m_fnMessage = [this](unsigned nId) { m_messages << QString::number(nId); };
        dlg.show();
        Edit(dlg, "editName")->setText(typed[0]);
        Edit(dlg, "editIp")->setText(typed[1]);
        for (int i = 0; i < 6; ++i)
            Edit(dlg, "editMac%1", i)->setText(mac.value(i));
        Edit(dlg, "editBroadcast")->setText(typed.value(3));
    }

private slots:
    void init()
    {
        ResetShell();
        m_messages.clear();
        m_pGate = std::make_shared<Gate>();
        vtlookup::Functions fns;
        fns.fnResolve = [pGate = m_pGate](const std::string& name) {
            pGate->Pass();
            return name == "pc7" ? std::optional<std::uint32_t>(kPc7) : std::nullopt;
        };
        fns.fnReverse = [](std::uint32_t dw) -> std::optional<std::string> {
            if (dw == kPc7 || dw == kPc7 + 1)
                return dw == kPc7 ? "pc7.lab" : "pc8.lab";
            return std::nullopt;
        };
        fns.fnArp = [](std::uint32_t dw) { return dw == kPc7 ? std::optional<Mac>(kMac7) : std::nullopt; };
        fns.fnLocalAddresses = [] {
            return std::vector<std::uint32_t>{0x7F000001u, 0x0A000001u, 0x0A000002u};
        };
        vtlookup::SetLookupForTesting(fns);
    }

    void cleanup() { vtlookup::SetLookupForTesting({}); }

    void registerOk_data()
    {
        QTest::addColumn<Register>("c");
        QTest::newRow("name fills address, name and MAC")
            << Register{"pc7|||", 1, 1028, "pc7.lab|10.0.0.7|00-1B-2C-3D-4E-5F|255.255.255.255", kPc7};
        QTest::newRow("address without reverse entry")
            << Register{"|10.0.0.9||", 0, 0, "??? (10.0.0.9)|10.0.0.9|-----|255.255.255.255", 0x0A000009u};
        QTest::newRow("typed address wins over the name") << Register{
            "pc7|10.0.0.8||10.0.0.255", 1, 0, "pc8.lab|10.0.0.8|-----|10.0.0.255", 0x0A000008u, 0x0A0000FFu};
        QTest::newRow("typed name stays without reverse entry")
            << Register{"my-pc|10.0.0.9||10.0.0", 0, 0, "my-pc|10.0.0.9|-----|10.0.0", 0x0A000009u};
        QTest::newRow("invalid address replaced by the resolved one")
            << Register{"pc7|10.0.0.256||", 2, 0, "pc7.lab|10.0.0.7|00-1B-2C-3D-4E-5F|255.255.255.255", kPc7};
        QTest::newRow("MAC boxes keep leading hex digits")
            << Register{"||fF-g1-1g- a--z|", 0, 0, "||FF-00-01-0A-00-00|255.255.255.255"};
        QTest::newRow("everything empty") << Register{"|||", 0, 1030, "||-----|"};
        QTest::newRow("zero address") << Register{"|0.0.0.0|", 0, 1027};
        QTest::newRow("unknown name") << Register{"nosuchpc||", 0, 1027};
        QTest::newRow("loopback and zero MAC") << Register{"|127.0.0.1|00", 0, 1027};
        QTest::newRow("same MAC, new IP") << Register{"|10.0.0.9|00-1B-2C-3D-4E-5F", 1, 1028};
        QTest::newRow("same MAC, no IP") << Register{"||00-1B-2C-3D-4E-5F", 1, 1028};
        QTest::newRow("new IP and MAC") << Register{"|10.0.0.9|02-00-00-00-00-09", 1, 0};
        QTest::newRow("editing keeps its own") << Register{"|10.0.0.7|00-1B-2C-3D-4E-5F", 2, 0};
    }

    void registerOk()
    {
        QFETCH(Register, c);
        CDoc doc;
        CKw* pPc = doc.AddPc("pc7", kPc7, kMac7.data(), 0x0A0000FFu);
        CRegisterDlg dlg;
        dlg.m_pDoc = c.nMode == 1 ? &doc : nullptr;
        dlg.m_pPc = c.nMode == 2 ? pPc : nullptr;
        if (c.nMode == 2) { // editing shows the record; Search is offered
            dlg.show();
            QCOMPARE(Boxes(dlg), QStringLiteral("pc7|10.0.0.7|00-1B-2C-3D-4E-5F|10.0.0.255"));
            QVERIFY(dlg.findChild<QPushButton*>(QStringLiteral("btnSearch"))->isEnabled());
        }
        Fill(dlg, c.pTyped);
        dlg.accept();
        QTRY_VERIFY(!dlg.IsLookingUp());
        QCOMPARE(m_messages, c.nMessage ? QStringList(QString::number(c.nMessage)) : QStringList());
        QCOMPARE(dlg.result() == QDialog::Accepted, c.nMessage == 0);
        QCOMPARE(dlg.isVisible(), c.nMessage != 0);
        if (!c.pShown)
            return;
        QCOMPARE(Boxes(dlg), QString::fromUtf8(c.pShown));
        const QString strMac = Boxes(dlg).section(u'|', 2, 2);
        const QByteArray mac(reinterpret_cast<const char*>(dlg.m_mac.data()), 6);
        QCOMPARE(mac.toHex('-').toUpper(),
                 strMac == QStringLiteral("-----") ? "00-00-00-00-00-00" : strMac.toLatin1());
        QCOMPARE(QString::fromStdString(dlg.m_strName), Boxes(dlg).section(u'|', 0, 0));
        QCOMPARE(dlg.m_dwIp, htonl(c.nIp));
        QCOMPARE(dlg.m_dwBroadcast, htonl(c.nBroadcast));
    }

    void registerLooksUpOffTheUiThread_data()
    {
        // How the hanging lookup was started (O K or Search), how it ends, and the boxes then.
        QTest::addColumn<bool>("bOk");
        QTest::addColumn<QString>("strEnd");
        QTest::addColumn<QString>("strShown");
        const QString strAnswered = QStringLiteral("pc7.lab|10.0.0.7|00-1B-2C-3D-4E-5F|255.255.255.255");
        const QString strAbandoned = QStringLiteral("pc7||-----9|");
        QTest::newRow("Search, answered") << false << "answer" << strAnswered;
        QTest::newRow("O K, answered: closes") << true << "answer" << strAnswered;
        QTest::newRow("Cancel during O K") << true << "cancel" << strAbandoned;
        QTest::newRow("close box") << false << "close" << strAbandoned;
        QTest::newRow("dialog deleted during O K") << true << "delete" << QString();
        QTest::newRow("typing in the name box") << true << "type" << QStringLiteral("pc78||-----9|");
        QTest::newRow("typing in the address box") << false << "typeIp" << QStringLiteral("pc7|8|-----9|");
    }

    void registerLooksUpOffTheUiThread()
    {
        QFETCH(bool, bOk);
        QFETCH(QString, strEnd);
        QFETCH(QString, strShown);
        Gate& gate = *m_pGate;
        gate.bOpen = false;
        const auto opener = qScopeGuard([pGate = m_pGate] { pGate->bOpen = true; });
        CDoc doc;
        auto pDlg = std::make_unique<CRegisterDlg>();
        CRegisterDlg& dlg = *pDlg;
        dlg.m_pDoc = &doc;
        Fill(dlg, "pc7|||");
        auto* pSearch = dlg.findChild<QPushButton*>(QStringLiteral("btnSearch"));
        auto* pBusy = dlg.findChild<QLabel*>(QStringLiteral("labelBusy"));
        QVERIFY(pSearch->isEnabled() && !pBusy->isVisible());
        if (bOk)
            QTest::keyClick(Edit(dlg, "editName"), Qt::Key_Return);
        else
            QTest::mouseClick(pSearch, Qt::LeftButton);
        QTRY_COMPARE(gate.nEntered.load(), 1);

        // While the resolver hangs: busy, Search disabled, and the boxes take input.
        QVERIFY(dlg.IsLookingUp() && dlg.isVisible() && !pSearch->isEnabled() && pBusy->isVisible());
        QTest::keyClicks(Edit(dlg, "editMac%1", 5), QStringLiteral("9"));
        const bool bAnswer = strEnd == QLatin1String("answer");
        const bool bTyped = strEnd.startsWith(QLatin1String("type"));
        if (strEnd == QLatin1String("cancel"))
            QTest::mouseClick(dlg.findChild<QPushButton*>(QStringLiteral("btnCancel")), Qt::LeftButton);
        else if (strEnd == QLatin1String("close"))
            dlg.close();
        else if (strEnd == QLatin1String("delete"))
            pDlg.reset();
        else if (bTyped)
            QTest::keyClicks(Edit(dlg, strEnd == QLatin1String("type") ? "editName" : "editIp"),
                             QStringLiteral("8"));
        QCOMPARE(gate.nLeft.load(), 0); // nothing waited for the resolver
        if (pDlg && !bAnswer)
            QVERIFY(!dlg.IsLookingUp() && !pBusy->isVisible() && dlg.isVisible() == bTyped &&
                    (!bTyped || pSearch->isEnabled()));

        gate.bOpen = true;
        QTRY_COMPARE(gate.nLeft.load(), 1);
        QTRY_VERIFY(!pDlg || !dlg.IsLookingUp());
        QTest::qWait(50); // room for an answer that should not come
        QVERIFY(!gate.bOnUiThread && m_messages.isEmpty());
        if (!pDlg)
            return;
        // Answered: filled in, and O K goes on. Abandoned: the late answer changes nothing.
        QCOMPARE(Boxes(dlg), strShown);
        QCOMPARE(dlg.result() == QDialog::Accepted, bAnswer && bOk);
        QCOMPARE(dlg.isVisible(), (bAnswer && !bOk) || bTyped);
        QVERIFY(!pBusy->isVisible());
    }

    void settings_data()
    {
        QTest::addColumn<Settings>("c");
        QTest::newRow("port 1") << Settings{.pPort = "1"};
        QTest::newRow("port 65534") << Settings{.pPort = "65534"};
        QTest::newRow("port 0") << Settings{.pPort = "0", .pRefused = "editPort"};
        QTest::newRow("port 65535") << Settings{.pPort = "65535", .pRefused = "editPort"};
        QTest::newRow("port wrapping to 1") << Settings{.pPort = "4294967297", .pRefused = "editPort"};
        QTest::newRow("interval 5") << Settings{.pInterval = "5"};
        QTest::newRow("interval 3600, at start-up") << Settings{.pInterval = "3600", .nReportType = 1};
        QTest::newRow("interval 4") << Settings{.pInterval = "4", .pRefused = "editInterval"};
        QTest::newRow("interval 3601") << Settings{.pInterval = "3601", .pRefused = "editInterval"};
        QTest::newRow("interval 4, not used")
            << Settings{.pInterval = "4", .nReportType = 0, .pRefused = "editInterval"};
        QTest::newRow("both bad: port first")
            << Settings{.pPort = "0", .pInterval = "4", .pRefused = "editPort"};
        QTest::newRow("gone address: Auto") << Settings{.nStored = 0x0A090909u};
        QTest::newRow("choose first address") << Settings{.nChoose = 1, .nInterface = 0x0A000001u};
        QTest::newRow("choose Auto") << Settings{.nStored = 0x0A000001u, .nShown = 1, .nChoose = 0};
    }

    void settings()
    {
        QFETCH(Settings, c);
        CSettingsDlg dlg;
        dlg.m_nPort = 9100;
        dlg.m_nInterval = 300;
        dlg.m_dwInterface = c.nStored;
        dlg.m_fnMessage = [this](const QString& str) { m_messages << str; };
        dlg.show();
        auto* pCombo = dlg.findChild<QComboBox*>(QStringLiteral("cbInterface"));
        QStringList shown = {Edit(dlg, "editPort")->text(), Edit(dlg, "editInterval")->text()};
        for (int i = 0; i < pCombo->count(); ++i)
            shown << pCombo->itemText(i);
        QCOMPARE(shown, L({"9100", "300", "Auto", "10.0.0.1", "10.0.0.2"})); // never 127.0.0.1
        QCOMPARE(pCombo->currentIndex(), c.nShown);
        pCombo->setCurrentIndex(c.nChoose >= 0 ? c.nChoose : c.nShown);
        const char* radios[] = {"radioNotUsed", "radioStartUp", "radioPeriodic"};
        dlg.findChild<QRadioButton*>(QString::fromLatin1(radios[c.nReportType]))->setChecked(true);
        Edit(dlg, "editPort")->setText(QString::fromLatin1(c.pPort));
        Edit(dlg, "editInterval")->setText(QString::fromLatin1(c.pInterval));
        dlg.accept();
        const bool bAccepted = *c.pRefused == '\0';
        QCOMPARE(dlg.result() == QDialog::Accepted, bAccepted);
        QCOMPARE(m_messages.size(), bAccepted ? 0 : 1);
        if (bAccepted) {
            QCOMPARE(QString::asprintf("%u/%d/%d/%x", dlg.m_nPort, dlg.m_nInterval, dlg.m_nReportType,
                                       dlg.m_dwInterface),
                     QString::asprintf("%s/%s/%d/%x", c.pPort, c.pInterval, c.nReportType, c.nInterface));
            return;
        }
        QLineEdit* pBox = Edit(dlg, c.pRefused);
        QCOMPARE(dlg.focusWidget(), pBox);
        QCOMPARE(pBox->selectedText(), pBox->text());
        const QString strRange =
            pBox == Edit(dlg, "editPort") ? QStringLiteral("1 and 65534") : QStringLiteral("5 and 3600");
        QVERIFY2(m_messages[0].contains(strRange), qPrintable(m_messages[0]));
    }
};
VT_SHELL_TEST_MAIN(DialogsTest)
#include "test_dialogs.moc"
