#include "CSettingsDlg.h"

#include "DialogSupport.h"
#include "UiText.h"
#include "net/AddressLookup.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace {

constexpr std::uint32_t kLoopback = 0x7F000001u;
constexpr int kAutoString = 2061;

QLineEdit* NumberEdit(QWidget* pParent, const QString& strName)
{
    auto* pEdit = new QLineEdit(pParent);
    pEdit->setObjectName(strName);
    pEdit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    pEdit->setMaxLength(10);
    pEdit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), pEdit));
    return pEdit;
}

} // namespace

CSettingsDlg::CSettingsDlg(QWidget* pParent) : QDialog(pParent)
{
    setWindowTitle(tr("Settings"));

    auto* pComm = new QGroupBox(tr("Communication Settings"), this);
    m_cbInterface = new QComboBox(pComm);
    m_cbInterface->setObjectName(QStringLiteral("cbInterface"));
    m_pEditPort = NumberEdit(pComm, QStringLiteral("editPort"));
    auto* pInterfaceLabel = new QLabel(tr("Interface"), pComm);
    pInterfaceLabel->setBuddy(m_cbInterface);
    auto* pPortLabel = new QLabel(tr("Port NO."), pComm);
    pPortLabel->setBuddy(m_pEditPort);
    auto* pCommGrid = new QGridLayout(pComm);
    pCommGrid->addWidget(pInterfaceLabel, 0, 0, 1, 2);
    pCommGrid->addWidget(m_cbInterface, 1, 0, 1, 2);
    pCommGrid->addWidget(pPortLabel, 2, 0);
    pCommGrid->addWidget(m_pEditPort, 2, 1);
    pCommGrid->setColumnStretch(1, 1);

    auto* pReport = new QGroupBox(tr("Auto Status Report"), this);
    m_pReportGroup = new QButtonGroup(this);
    auto* pNotUsed = new QRadioButton(tr("Not used"), pReport);
    pNotUsed->setObjectName(QStringLiteral("radioNotUsed"));
    auto* pStartUp = new QRadioButton(tr("Used only at start up"), pReport);
    pStartUp->setObjectName(QStringLiteral("radioStartUp"));
    auto* pPeriodic = new QRadioButton(tr("Used periodically"), pReport);
    pPeriodic->setObjectName(QStringLiteral("radioPeriodic"));
    m_pReportGroup->addButton(pNotUsed, 0);
    m_pReportGroup->addButton(pStartUp, 1);
    m_pReportGroup->addButton(pPeriodic, 2);
    m_pEditInterval = NumberEdit(pReport, QStringLiteral("editInterval"));
    auto* pPeriodicRow = new QHBoxLayout;
    pPeriodicRow->addWidget(pPeriodic);
    pPeriodicRow->addWidget(m_pEditInterval);
    pPeriodicRow->addWidget(new QLabel(tr("seconds"), pReport));
    auto* pReportBox = new QVBoxLayout(pReport);
    pReportBox->addWidget(pNotUsed);
    pReportBox->addWidget(pStartUp);
    pReportBox->addLayout(pPeriodicRow);

    m_pConfirm = new QCheckBox(tr("Ask before reboot and shutdown"), this);
    m_pConfirm->setObjectName(QStringLiteral("checkConfirm"));

    auto* pOk = new QPushButton(tr("O K"), this);
    pOk->setObjectName(QStringLiteral("btnOk"));
    pOk->setDefault(true);
    auto* pCancel = new QPushButton(tr("Cancel"), this);
    pCancel->setObjectName(QStringLiteral("btnCancel"));
    auto* pButtons = new QHBoxLayout;
    pButtons->addStretch();
    pButtons->addWidget(pOk);
    pButtons->addWidget(pCancel);

    auto* pMain = new QVBoxLayout(this);
    pMain->addWidget(pComm);
    pMain->addWidget(pReport);
    pMain->addWidget(m_pConfirm);
    pMain->addLayout(pButtons);
    vtdialog::MakeFixedSize(this);

    connect(pOk, &QPushButton::clicked, this, &CSettingsDlg::accept);
    connect(pCancel, &QPushButton::clicked, this, &CSettingsDlg::reject);
}

void CSettingsDlg::showEvent(QShowEvent* pEvent)
{
    if (!m_bInitialized)
        InitDialog();
    QDialog::showEvent(pEvent);
}

void CSettingsDlg::InitDialog()
{
    m_bInitialized = true;
    m_pEditPort->setText(QString::number(m_nPort));
    if (QAbstractButton* pButton = m_pReportGroup->button(m_nReportType))
        pButton->setChecked(true);
    m_pEditInterval->setText(QString::number(m_nInterval));
    m_pConfirm->setChecked(m_bConfirmOperation);

    m_cbInterface->clear();
    m_cbInterface->addItem(S(kAutoString));
    int nSelected = 0;
    for (const std::uint32_t dw : vtlookup::LocalAddresses()) {
        if (dw == kLoopback)
            continue;
        m_cbInterface->addItem(QString::fromStdString(vtlookup::FormatIp(dw)));
        if (dw == m_dwInterface && m_dwInterface != 0)
            nSelected = m_cbInterface->count() - 1;
    }
    m_cbInterface->setCurrentIndex(nSelected);
}

void CSettingsDlg::Refuse(QLineEdit* pEdit, long long nMin, long long nMax)
{
    const QString strText = tr("Enter an integer between %1 and %2.").arg(nMin).arg(nMax);
    if (m_fnMessage)
        m_fnMessage(strText);
    else
        VtMessageBox(this, strText, QMessageBox::Information);
    pEdit->setFocus(Qt::OtherFocusReason);
    pEdit->selectAll();
}

void CSettingsDlg::accept()
{
    bool bOk = false;
    const unsigned nPort = m_pEditPort->text().toUInt(&bOk);
    if (!bOk || nPort < kMinPort || nPort > kMaxPort) {
        Refuse(m_pEditPort, kMinPort, kMaxPort);
        return;
    }
    m_nPort = nPort;

    if (m_pReportGroup->checkedId() >= 0)
        m_nReportType = m_pReportGroup->checkedId();

    const int nInterval = m_pEditInterval->text().toInt(&bOk);
    if (!bOk || nInterval < kMinInterval || nInterval > kMaxInterval) {
        Refuse(m_pEditInterval, kMinInterval, kMaxInterval);
        return;
    }
    m_nInterval = nInterval;
    m_bConfirmOperation = m_pConfirm->isChecked();

    m_dwInterface = 0;
    if (m_cbInterface->currentIndex() > 0) {
        if (const auto dw = vtlookup::ParseIp(m_cbInterface->currentText().toStdString()))
            m_dwInterface = *dw;
    }
    QDialog::accept();
}
