#include "CSelectGroupDlg.h"

#include "DialogSupport.h"
#include "ViewSupport.h"
#include "model/CGroup.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

CSelectGroupDlg::CSelectGroupDlg(QWidget* pParent) : QDialog(pParent)
{
    setWindowTitle(tr("Select Group"));

    m_listCtrl = new QListWidget(this);
    m_listCtrl->setObjectName(QStringLiteral("listGroups"));
    m_listCtrl->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_listCtrl->setIconSize(QSize(18, 17));
    auto* pLabel = new QLabel(tr("Add to Group"), this);
    pLabel->setBuddy(m_listCtrl);

    auto* pOk = new QPushButton(tr("O K"), this);
    pOk->setObjectName(QStringLiteral("btnOk"));
    pOk->setDefault(true);
    auto* pCancel = new QPushButton(tr("Cancel"), this);
    pCancel->setObjectName(QStringLiteral("btnCancel"));

    auto* pLeft = new QVBoxLayout;
    pLeft->addWidget(pLabel);
    pLeft->addWidget(m_listCtrl);
    auto* pButtons = new QVBoxLayout;
    pButtons->addWidget(pOk);
    pButtons->addWidget(pCancel);
    pButtons->addStretch();
    auto* pMain = new QHBoxLayout(this);
    pMain->addLayout(pLeft, 1);
    pMain->addLayout(pButtons);
    vtdialog::MakeFixedSize(this);

    connect(pOk, &QPushButton::clicked, this, &CSelectGroupDlg::accept);
    connect(pCancel, &QPushButton::clicked, this, &CSelectGroupDlg::reject);
}

QIcon CSelectGroupDlg::GroupIcon()
{
    return vtview::TreeIcon(1, 1);
}

void CSelectGroupDlg::showEvent(QShowEvent* pEvent)
{
    if (!m_bInitialized)
        InitDialog();
    QDialog::showEvent(pEvent);
}

void CSelectGroupDlg::InitDialog()
{
    m_bInitialized = true;
    const QIcon icon = GroupIcon();
    m_offered = m_groupList;
    m_listCtrl->clear();
    for (std::size_t i = 0; i < m_offered.size(); ++i) {
        auto* pItem = new QListWidgetItem(icon, QString::fromStdString(m_offered[i]->m_strName), m_listCtrl);
        pItem->setData(Qt::UserRole, static_cast<qulonglong>(i));
    }
    m_listCtrl->clearSelection();
    m_listCtrl->setCurrentRow(-1);
}

void CSelectGroupDlg::accept()
{
    if (!m_bInitialized)
        InitDialog();
    m_groupList.clear();
    for (int nRow = 0; nRow < m_listCtrl->count(); ++nRow) {
        const QListWidgetItem* pItem = m_listCtrl->item(nRow);
        if (pItem->isSelected())
            m_groupList.push_back(m_offered[pItem->data(Qt::UserRole).toULongLong()]);
    }
    QDialog::accept();
}
