#include "CPasswordSetDlg.h"

#include "CPasswordDlg.h"
#include "CServerApp.h"
#include "DialogSupport.h"
#include "UiText.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CPasswordSetDlg::CPasswordSetDlg(QWidget* pParent)
    : QDialog(pParent)
    , m_pOld(new QLineEdit(this))
    , m_pNew(new QLineEdit(this))
    , m_pConfirm(new QLineEdit(this))
{
    setWindowTitle(tr("Passwords settings"));
    for (QLineEdit* pEdit : {m_pOld, m_pNew, m_pConfirm})
        SetupPasswordEdit(pEdit);

    auto* pForm = new QFormLayout;
    pForm->addRow(tr("Old password"), m_pOld);
    pForm->addRow(tr("New password"), m_pNew);
    pForm->addRow(tr("New password confirmation"), m_pConfirm);

    auto* pButtons = new QDialogButtonBox(this);
    QPushButton* pOk = pButtons->addButton(tr("O K"), QDialogButtonBox::AcceptRole);
    pButtons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    pOk->setDefault(true);
    connect(pButtons, &QDialogButtonBox::accepted, this, &CPasswordSetDlg::accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &CPasswordSetDlg::reject);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->addLayout(pForm);
    pLayout->addWidget(pButtons);
    vtdialog::MakeFixedSize(this);
    m_pOld->setFocus();
}

void CPasswordSetDlg::accept()
{
    m_strOld = m_pOld->text();
    if (m_strOld != m_strCurrent) {
        Refuse(m_pOld);
        return;
    }
    m_strNew = m_pNew->text();
    m_strConfirm = m_pConfirm->text();
    if (m_strNew != m_strConfirm) {
        Refuse(m_pConfirm);
        return;
    }
    m_strCurrent = m_strNew;
    QDialog::accept();
}

void CPasswordSetDlg::Refuse(QLineEdit* pEdit)
{
    vtshell::ShowMessage(this, S(1031), QMessageBox::Information);
    pEdit->setFocus();
    pEdit->selectAll();
}
