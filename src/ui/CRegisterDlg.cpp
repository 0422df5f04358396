#include "CRegisterDlg.h"

#include "DialogSupport.h"
#include "UiText.h"
#include "model/CDoc.h"
#include "model/CKw.h"
#include "net/AddressLookup.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include <arpa/inet.h>

namespace {

constexpr int kNameLimit = 128;
constexpr int kAddressLimit = 15;
constexpr std::uint32_t kNone = 0xFFFFFFFFu;

bool HasAddress(std::uint32_t dw)
{
    return dw != 0 && dw != kNone;
}

QString HexByte(std::uint8_t b)
{
    return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
}

// The leading hexadecimal digits of the text, low 8 bits kept; 0 when there are none.
std::uint8_t ParseHexByte(const QString& strText)
{
    unsigned value = 0;
    int i = 0;
    while (i < strText.size() && strText.at(i).isSpace())
        ++i;
    for (; i < strText.size(); ++i) {
        const char16_t c = strText.at(i).unicode();
        unsigned digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'a' && c <= u'f')
            digit = c - u'a' + 10u;
        else if (c >= u'A' && c <= u'F')
            digit = c - u'A' + 10u;
        else
            break;
        value = ((value << 4) | digit) & 0xFFu;
    }
    return static_cast<std::uint8_t>(value);
}

QString IpText(std::uint32_t dwHostOrder)
{
    return QString::fromStdString(vtlookup::FormatIp(dwHostOrder));
}

} // namespace

CRegisterDlg::CRegisterDlg(QWidget* pParent) : QDialog(pParent)
{
    setWindowTitle(tr("PCRegistration"));

    auto* pGrid = new QGridLayout;
    m_pEditName = new QLineEdit(this);
    m_pEditName->setObjectName(QStringLiteral("editName"));
    m_pEditName->setMaxLength(kNameLimit);
    m_pEditIp = new QLineEdit(this);
    m_pEditIp->setObjectName(QStringLiteral("editIp"));
    m_pEditIp->setMaxLength(kAddressLimit);
    m_pEditBroadcast = new QLineEdit(this);
    m_pEditBroadcast->setObjectName(QStringLiteral("editBroadcast"));
    m_pEditBroadcast->setMaxLength(kAddressLimit);

    auto* pMacRow = new QHBoxLayout;
    pMacRow->setSpacing(2);
    const int nMacWidth = m_pEditIp->fontMetrics().horizontalAdvance(QStringLiteral("WWW")) + 8;
    for (std::size_t i = 0; i < m_editMac.size(); ++i) {
        if (i > 0)
            pMacRow->addWidget(new QLabel(QStringLiteral("-"), this));
        QLineEdit* pEdit = new QLineEdit(this);
        pEdit->setObjectName(QStringLiteral("editMac%1").arg(i));
        pEdit->setMaxLength(2);
        pEdit->setFixedWidth(nMacWidth);
        pEdit->setAlignment(Qt::AlignCenter);
        pMacRow->addWidget(pEdit);
        m_editMac[i] = pEdit;
    }
    pMacRow->addStretch();

    auto addRow = [&](int nRow, const QString& strLabel, QWidget* pField, QLayout* pLayout = nullptr) {
        auto* pLabel = new QLabel(strLabel, this);
        pGrid->addWidget(pLabel, nRow, 0);
        if (pField) {
            pLabel->setBuddy(pField);
            pGrid->addWidget(pField, nRow, 1);
        } else {
            pGrid->addLayout(pLayout, nRow, 1);
        }
    };
    addRow(0, tr("Computer Name"), m_pEditName);
    addRow(1, tr("IP Address"), m_pEditIp);
    addRow(2, tr("MAC Address"), nullptr, pMacRow);
    addRow(3, tr("Broadcast Address"), m_pEditBroadcast);

    auto* pOk = new QPushButton(tr("O K"), this);
    pOk->setObjectName(QStringLiteral("btnOk"));
    pOk->setDefault(true);
    auto* pCancel = new QPushButton(tr("Cancel"), this);
    pCancel->setObjectName(QStringLiteral("btnCancel"));
    m_pBtnSearch = new QPushButton(tr("Search"), this);
    m_pBtnSearch->setObjectName(QStringLiteral("btnSearch"));
    m_pBtnSearch->setAutoDefault(false);
    m_pBtnSearch->setEnabled(false);

    m_pBusy = new QLabel(tr("Looking up…"), this);
    m_pBusy->setObjectName(QStringLiteral("labelBusy"));
    m_pBusy->setAlignment(Qt::AlignCenter);
    QSizePolicy busyPolicy = m_pBusy->sizePolicy();
    busyPolicy.setRetainSizeWhenHidden(true);
    m_pBusy->setSizePolicy(busyPolicy);
    m_pBusy->hide();

    auto* pButtons = new QVBoxLayout;
    pButtons->addWidget(pOk);
    pButtons->addWidget(pCancel);
    pButtons->addSpacing(12);
    pButtons->addWidget(m_pBtnSearch);
    pButtons->addWidget(m_pBusy);
    pButtons->addStretch();

    auto* pMain = new QHBoxLayout(this);
    pMain->addLayout(pGrid, 1);
    pMain->addLayout(pButtons);
    vtdialog::MakeFixedSize(this);

    connect(pOk, &QPushButton::clicked, this, &CRegisterDlg::accept);
    connect(pCancel, &QPushButton::clicked, this, &CRegisterDlg::reject);
    connect(m_pBtnSearch, &QPushButton::clicked, this, &CRegisterDlg::LookupAddress);
    connect(m_pEditName, &QLineEdit::textChanged, this, &CRegisterDlg::UpdateSearchButton);
    connect(m_pEditIp, &QLineEdit::textChanged, this, &CRegisterDlg::UpdateSearchButton);
    // What is being looked up no longer matches the boxes.
    connect(m_pEditName, &QLineEdit::textEdited, this, &CRegisterDlg::AbandonLookup);
    connect(m_pEditIp, &QLineEdit::textEdited, this, &CRegisterDlg::AbandonLookup);
}

CRegisterDlg::~CRegisterDlg() = default;

std::uint32_t CRegisterDlg::IpHostOrder() const
{
    return ntohl(m_dwIp);
}

std::uint32_t CRegisterDlg::BroadcastHostOrder() const
{
    return ntohl(m_dwBroadcast);
}

void CRegisterDlg::showEvent(QShowEvent* pEvent)
{
    if (!m_bInitialized)
        InitDialog();
    QDialog::showEvent(pEvent);
}

void CRegisterDlg::InitDialog()
{
    m_bInitialized = true;
    m_pBtnSearch->setEnabled(false);
    if (!m_pPc)
        return;
    m_pEditName->setText(QString::fromStdString(m_pPc->m_strName));
    if (HasAddress(m_pPc->m_dwIp))
        m_pEditIp->setText(IpText(m_pPc->m_dwIp));
    if (std::any_of(m_pPc->m_mac.begin(), m_pPc->m_mac.end(), [](std::uint8_t b) { return b != 0; })) {
        for (std::size_t i = 0; i < m_editMac.size(); ++i)
            m_editMac[i]->setText(HexByte(m_pPc->m_mac[i]));
    }
    m_pEditBroadcast->setText(IpText(m_pPc->m_dwBroadcast));
    UpdateSearchButton();
}

void CRegisterDlg::UpdateSearchButton()
{
    m_pBtnSearch->setEnabled(!m_pLookup && (!m_pEditName->text().isEmpty() || !m_pEditIp->text().isEmpty()));
}

bool CRegisterDlg::AllEmpty() const
{
    return m_pEditName->text().isEmpty() && m_pEditIp->text().isEmpty() &&
           std::all_of(m_editMac.begin(), m_editMac.end(),
                       [](const QLineEdit* p) { return p->text().isEmpty(); });
}

void CRegisterDlg::LookupAddress()
{
    StartLookup(false);
}

void CRegisterDlg::StartLookup(bool bThenAccept)
{
    if (m_pLookup) {
        m_bAcceptAfterLookup = m_bAcceptAfterLookup || bThenAccept;
        return;
    }
    m_strName = m_pEditName->text().toStdString();
    if (AllEmpty()) {
        if (bThenAccept)
            FinishAccept();
        return;
    }
    vtlookup::HostQuery query;
    query.strName = m_strName;
    const auto typed = vtlookup::ParseIp(m_pEditIp->text().toStdString());
    if (typed && HasAddress(*typed))
        query.typedIp = *typed;

    m_bAcceptAfterLookup = bThenAccept;
    m_pLookup = std::make_unique<vtlookup::CHostLookup>(
        std::move(query), this, [this](const vtlookup::HostAnswer& answer) { OnLookupDone(answer); });
    m_pBusy->show();
    setCursor(Qt::BusyCursor);
    UpdateSearchButton();
}

void CRegisterDlg::AbandonLookup()
{
    if (!m_pLookup)
        return;
    m_pLookup.reset();
    m_bAcceptAfterLookup = false;
    m_pBusy->hide();
    unsetCursor();
    UpdateSearchButton();
}

void CRegisterDlg::OnLookupDone(const vtlookup::HostAnswer& answer)
{
    const bool bAccept = m_bAcceptAfterLookup;
    AbandonLookup();
    ApplyAnswer(answer);
    if (bAccept)
        FinishAccept();
}

void CRegisterDlg::ApplyAnswer(const vtlookup::HostAnswer& answer)
{
    m_dwIp = kNone;
    if (answer.resolved)
        m_dwIp = htonl(*answer.resolved);

    const auto typed = vtlookup::ParseIp(m_pEditIp->text().toStdString());
    if (typed && HasAddress(*typed))
        m_dwIp = htonl(*typed);
    else if (HasAddress(m_dwIp))
        m_pEditIp->setText(IpText(ntohl(m_dwIp)));

    if (HasAddress(m_dwIp)) {
        if (answer.reverseName) {
            m_pEditName->setText(QString::fromStdString(*answer.reverseName));
            m_strName = m_pEditName->text().toStdString();
        } else if (m_strName.empty()) {
            m_pEditName->setText(QStringLiteral("??? (%1)").arg(IpText(ntohl(m_dwIp))));
            m_strName = m_pEditName->text().toStdString();
        }
        if (answer.mac) {
            for (std::size_t i = 0; i < m_editMac.size(); ++i)
                m_editMac[i]->setText(HexByte((*answer.mac)[i]));
        }
    }

    m_mac.fill(0);
    if (std::any_of(m_editMac.begin(), m_editMac.end(),
                    [](const QLineEdit* p) { return !p->text().isEmpty(); })) {
        for (std::size_t i = 0; i < m_editMac.size(); ++i) {
            m_mac[i] = ParseHexByte(m_editMac[i]->text());
            m_editMac[i]->setText(HexByte(m_mac[i]));
        }
    }

    if (m_pEditBroadcast->text().isEmpty())
        m_pEditBroadcast->setText(QStringLiteral("255.255.255.255"));
    const auto broadcast = vtlookup::ParseIp(m_pEditBroadcast->text().toStdString());
    m_dwBroadcast = broadcast ? htonl(*broadcast) : kNone;
}

void CRegisterDlg::accept()
{
    StartLookup(true);
}

void CRegisterDlg::reject()
{
    AbandonLookup();
    QDialog::reject();
}

void CRegisterDlg::FinishAccept()
{
    if (AllEmpty()) {
        ShowMessage(1030);
        return;
    }
    const bool bIpUsable = HasAddress(m_dwIp) && m_dwIp != htonl(0x7F000001u);
    const bool bMacUsable = std::any_of(m_mac.begin(), m_mac.end(), [](std::uint8_t b) { return b != 0; });
    if (!bIpUsable && !bMacUsable) {
        ShowMessage(1027);
        return;
    }
    if (m_pDoc) {
        if ((bIpUsable && m_pDoc->FindPcByIp(IpHostOrder())) ||
            (bMacUsable && m_pDoc->FindPcByMac(m_mac.data()))) {
            ShowMessage(1028);
            return;
        }
    }
    QDialog::accept();
}

void CRegisterDlg::ShowMessage(unsigned nId)
{
    if (m_fnMessage)
        m_fnMessage(nId);
    else
        VtMessageBox(this, S(nId), QMessageBox::Information);
}
