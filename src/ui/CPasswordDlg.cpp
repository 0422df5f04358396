#include "CPasswordDlg.h"

#include "CServerApp.h"
#include "DialogSupport.h"
#include "UiText.h"
#include "app/Password.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>
#include <QVBoxLayout>

namespace {

/// Turns every letter upper case as it is typed or pasted.
class CUpperCaseValidator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& strInput, int&) const override
    {
        for (QChar& ch : strInput)
            ch = ch.toUpper();
        return Acceptable;
    }
};

} // namespace

void SetupPasswordEdit(QLineEdit* pEdit)
{
    pEdit->setEchoMode(QLineEdit::Password);
    pEdit->setMaxLength(kMaxPasswordLength);
    pEdit->setValidator(new CUpperCaseValidator(pEdit));
}

CPasswordDlg::CPasswordDlg(QWidget* pParent)
    : QDialog(pParent)
    , m_pEdit(new QLineEdit(this))
{
    setWindowTitle(tr("Enter password"));
    SetupPasswordEdit(m_pEdit);

    auto* pLabel = new QLabel(tr("Password"), this);
    pLabel->setBuddy(m_pEdit);

    auto* pButtons = new QDialogButtonBox(this);
    QPushButton* pOk = pButtons->addButton(tr("O K"), QDialogButtonBox::AcceptRole);
    pButtons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    pOk->setDefault(true);
    connect(pButtons, &QDialogButtonBox::accepted, this, &CPasswordDlg::accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &CPasswordDlg::reject);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(pLabel);
    pLayout->addWidget(m_pEdit);
    pLayout->addWidget(pButtons);
    m_pEdit->setMinimumWidth(240);
    vtdialog::MakeFixedSize(this);
    m_pEdit->setFocus();
}

void CPasswordDlg::accept()
{
    m_strPassword = m_pEdit->text();
    QDialog::accept();
}

bool RunPasswordPrompt(const std::string& strStored, QWidget* pParent)
{
    const std::string strExpected = DecodePassword(strStored);
    for (;;) {
        CPasswordDlg dlg(pParent);
        if (dlg.exec() != QDialog::Accepted)
            return false;
        if (dlg.m_strPassword.toStdString() == strExpected)
            return true;
        vtshell::ShowMessage(pParent, S(1031), QMessageBox::Information);
    }
}
