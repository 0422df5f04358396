// Registration, Settings and Select Group dialogs, with a stand-in resolver and
// neighbour table.

#include "../shell/ShellTestSupport.h"

#include "CRegisterDlg.h"
#include "CSelectGroupDlg.h"
#include "CSettingsDlg.h"
#include "model/CDoc.h"
#include "net/AddressLookup.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include <arpa/inet.h>

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

struct Range {
    const char* pPort;
    const char* pInterval;
    int nReportType;
    const char* pRefused; // the box refused, empty when accepted
};

struct Interface {
    quint32 nStored;
    int nChoose; // -1: leave the selection as opened
    int nShown;
    quint32 nResult;
};

QLineEdit* Edit(QWidget& dlg, const char* pName)
{
    return dlg.findChild<QLineEdit*>(QString::fromLatin1(pName));
}

QLineEdit* MacEdit(QWidget& dlg, int i)
{
    return dlg.findChild<QLineEdit*>(QStringLiteral("editMac%1").arg(i));
}

/// The boxes as name|IP|MAC as aa-bb-..|broadcast.
QString Boxes(QWidget& dlg)
{
    QString str = Edit(dlg, "editName")->text() + u'|' + Edit(dlg, "editIp")->text() + u'|';
    for (int i = 0; i < 6; ++i)
        str += MacEdit(dlg, i)->text() + (i < 5 ? u'-' : u'|');
    return str + Edit(dlg, "editBroadcast")->text();
}

} // namespace

Q_DECLARE_METATYPE(Register)
Q_DECLARE_METATYPE(Range)
Q_DECLARE_METATYPE(Interface)

class DialogsTest : public QObject {
    Q_OBJECT

private:
    QStringList m_messages;

    void Fill(CRegisterDlg& dlg, const char* pTyped)
    {
        const QStringList typed = QString::fromUtf8(pTyped).split(u'|');
        const QStringList mac = typed[2].split(u'-');
        dlg.m_fnMessage = [this](unsigned nId) { m_messages << QString::number(nId); };
        dlg.show();
        Edit(dlg, "editName")->setText(typed[0]);
        Edit(dlg, "editIp")->setText(typed[1]);
        for (int i = 0; i < 6; ++i)
            MacEdit(dlg, i)->setText(mac.value(i));
        Edit(dlg, "editBroadcast")->setText(typed.value(3));
    }

private slots:
    void init()
    {
        ResetShell();
        m_messages.clear();
        vtlookup::Functions fns;
        fns.fnResolve = [](const std::string& name) {
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

    void cleanup()
    {
        vtlookup::SetLookupForTesting({});
        QVERIFY(!QApplication::overrideCursor());
    }

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
        QTest::newRow("MAC only") << Register{"||0-1b-2|", 1, 0, "||00-1B-02-00-00-00|255.255.255.255"};
        QTest::newRow("MAC boxes keep leading hex digits")
            << Register{"||fF-g1-1g- a--z|", 0, 0, "||FF-00-01-0A-00-00|255.255.255.255"};
        QTest::newRow("everything empty") << Register{"|||", 0, 1030, "||-----|"};
        QTest::newRow("loopback only") << Register{"|127.0.0.1|", 0, 1027};
        QTest::newRow("zero address") << Register{"|0.0.0.0|", 0, 1027};
        QTest::newRow("limited broadcast") << Register{"|255.255.255.255|", 0, 1027};
        QTest::newRow("unknown name") << Register{"nosuchpc||", 0, 1027};
        QTest::newRow("zero MAC") << Register{"||0-00", 0, 1027};
        QTest::newRow("loopback and zero MAC") << Register{"|127.0.0.1|00", 0, 1027};
        QTest::newRow("same IP") << Register{"|10.0.0.7|", 1, 1028};
        QTest::newRow("same MAC, new IP") << Register{"|10.0.0.9|00-1B-2C-3D-4E-5F", 1, 1028};
        QTest::newRow("same MAC, no IP") << Register{"||00-1B-2C-3D-4E-5F", 1, 1028};
        QTest::newRow("new IP and MAC") << Register{"|10.0.0.9|02-00-00-00-00-09", 1, 0};
        QTest::newRow("editing keeps its own") << Register{"|10.0.0.7|00-1B-2C-3D-4E-5F", 2, 0};
        QTest::newRow("another PC's IP, no document") << Register{"|10.0.0.7|", 0, 0};
    }

    void registerOk()
    {
        QFETCH(Register, c);
        CDoc doc;
        CKw* pPc = doc.AddPc("pc7", kPc7, kMac7.data(), 0x0A0000FFu);
        CRegisterDlg dlg;
        dlg.m_pDoc = c.nMode == 1 ? &doc : nullptr;
        dlg.m_pPc = c.nMode == 2 ? pPc : nullptr;
        Fill(dlg, c.pTyped);
        dlg.accept();
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

    void registerEditingShowsTheRecord()
    {
        CDoc doc;
        CRegisterDlg dlg;
        dlg.m_pPc = doc.AddPc("lab-01", kPc7, kMac7.data(), 0x0A0000FFu);
        dlg.show();
        QCOMPARE(Boxes(dlg), QStringLiteral("lab-01|10.0.0.7|00-1B-2C-3D-4E-5F|10.0.0.255"));
        QVERIFY(dlg.findChild<QPushButton*>(QStringLiteral("btnSearch"))->isEnabled());
    }

    void settingsRanges_data()
    {
        QTest::addColumn<Range>("c");
        QTest::newRow("port 1") << Range{"1", "60", 2, ""};
        QTest::newRow("port 65534") << Range{"65534", "60", 2, ""};
        QTest::newRow("port 0") << Range{"0", "60", 2, "editPort"};
        QTest::newRow("port 65535") << Range{"65535", "60", 2, "editPort"};
        QTest::newRow("port empty") << Range{"", "60", 2, "editPort"};
        QTest::newRow("port wrapping to 1") << Range{"4294967297", "60", 2, "editPort"};
        QTest::newRow("interval 5") << Range{"9000", "5", 2, ""};
        QTest::newRow("interval 3600, at start-up") << Range{"9000", "3600", 1, ""};
        QTest::newRow("interval 4") << Range{"9000", "4", 2, "editInterval"};
        QTest::newRow("interval 3601") << Range{"9000", "3601", 2, "editInterval"};
        QTest::newRow("interval 5, not used") << Range{"9000", "5", 0, ""};
        QTest::newRow("interval 4, not used") << Range{"9000", "4", 0, "editInterval"};
        QTest::newRow("interval 3601, not used") << Range{"9000", "3601", 0, "editInterval"};
        QTest::newRow("both bad: port first") << Range{"0", "4", 2, "editPort"};
    }

    void settingsRanges()
    {
        QFETCH(Range, c);
        CSettingsDlg dlg;
        dlg.m_nPort = 9100;
        dlg.m_nInterval = 300;
        dlg.m_fnMessage = [this](const QString& str) { m_messages << str; };
        dlg.show();
        QCOMPARE(Edit(dlg, "editPort")->text() + u'/' + Edit(dlg, "editInterval")->text(),
                 QStringLiteral("9100/300"));
        const char* radios[] = {"radioNotUsed", "radioStartUp", "radioPeriodic"};
        dlg.findChild<QRadioButton*>(QString::fromLatin1(radios[c.nReportType]))->setChecked(true);
        Edit(dlg, "editPort")->setText(QString::fromLatin1(c.pPort));
        Edit(dlg, "editInterval")->setText(QString::fromLatin1(c.pInterval));
        dlg.accept();
        const bool bAccepted = *c.pRefused == '\0';
        QCOMPARE(dlg.result() == QDialog::Accepted, bAccepted);
        QCOMPARE(m_messages.size(), bAccepted ? 0 : 1);
        if (bAccepted) {
            QCOMPARE(QStringLiteral("%1/%2/%3").arg(dlg.m_nPort).arg(dlg.m_nInterval).arg(dlg.m_nReportType),
                     QStringLiteral("%1/%2/%3")
                         .arg(QLatin1String(c.pPort), QLatin1String(c.pInterval))
                         .arg(c.nReportType));
            return;
        }
        QLineEdit* pBox = Edit(dlg, c.pRefused);
        QCOMPARE(dlg.focusWidget(), pBox);
        QCOMPARE(pBox->selectedText(), pBox->text());
        const QString strRange =
            pBox == Edit(dlg, "editPort") ? QStringLiteral("1 and 65534") : QStringLiteral("5 and 3600");
        QVERIFY2(m_messages[0].contains(strRange), qPrintable(m_messages[0]));
    }

    void settingsInterfaces_data()
    {
        QTest::addColumn<Interface>("c");
        QTest::newRow("auto") << Interface{0u, -1, 0, 0u};
        QTest::newRow("second address") << Interface{0x0A000002u, -1, 2, 0x0A000002u};
        QTest::newRow("gone address") << Interface{0x0A090909u, -1, 0, 0u};
        QTest::newRow("stored loopback") << Interface{0x7F000001u, -1, 0, 0u};
        QTest::newRow("choose first address") << Interface{0u, 1, 0, 0x0A000001u};
        QTest::newRow("choose auto") << Interface{0x0A000001u, 0, 1, 0u};
    }

    void settingsInterfaces()
    {
        QFETCH(Interface, c);
        CSettingsDlg dlg;
        dlg.m_dwInterface = c.nStored;
        dlg.show();
        auto* pCombo = dlg.findChild<QComboBox*>(QStringLiteral("cbInterface"));
        QStringList items;
        for (int i = 0; i < pCombo->count(); ++i)
            items << pCombo->itemText(i);
        QCOMPARE(items, L({"Auto", "10.0.0.1", "10.0.0.2"}));
        QCOMPARE(pCombo->currentIndex(), c.nShown);
        if (c.nChoose >= 0)
            pCombo->setCurrentIndex(c.nChoose);
        dlg.accept();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.m_dwInterface, c.nResult);
    }

    void selectGroupReturnsChosenInListOrder()
    {
        CDoc doc;
        std::vector<CGroup*> groups;
        for (const char* pName : {"Room A", "Room B", "Room C", "Room D"})
            groups.push_back(doc.AddGroup(pName));
        const auto choose = [&groups](std::vector<int> rows, bool bOk) {
            CSelectGroupDlg dlg;
            dlg.m_groupList = groups;
            dlg.show();
            for (int nRow : rows)
                dlg.findChild<QListWidget*>(QStringLiteral("listGroups"))->item(nRow)->setSelected(true);
            bOk ? dlg.accept() : dlg.reject();
            return dlg.m_groupList;
        };
        QCOMPARE(choose({3, 0, 2}, true), (std::vector<CGroup*>{groups[0], groups[2], groups[3]}));
        QVERIFY(choose({}, true).empty());
        QCOMPARE(choose({1}, false), groups);
    }
};

VT_SHELL_TEST_MAIN(DialogsTest)
#include "test_dialogs.moc"
