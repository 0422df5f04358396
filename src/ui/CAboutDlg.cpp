#include "CAboutDlg.h"

#include "CSelectGroupDlg.h"
#include "DialogSupport.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

CAboutDlg::CAboutDlg(QWidget* pParent) : QDialog(pParent)
{
    setWindowTitle(tr("About Veltrane Server"));

    auto* pPicture = new QLabel(this);
    pPicture->setPixmap(CSelectGroupDlg::GroupIcon().pixmap(18, 17));
    pPicture->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    auto* pProduct = new QLabel(tr("Veltrane Server Version %1").arg(QLatin1String(kVersion)), this);
    pProduct->setObjectName(QStringLiteral("labelProduct"));
    auto* pPurpose =
        new QLabel(tr("Manages, wakes and shuts down the PCs on your network from one place."), this);
    pPurpose->setObjectName(QStringLiteral("labelPurpose"));
    pPurpose->setWordWrap(true);

    auto* pOk = new QPushButton(tr("O K"), this);
    pOk->setObjectName(QStringLiteral("btnOk"));
    pOk->setDefault(true);
    connect(pOk, &QPushButton::clicked, this, &CAboutDlg::accept);

    auto* pGrid = new QGridLayout(this);
    pGrid->addWidget(pPicture, 0, 0, 2, 1);
    pGrid->addWidget(pProduct, 0, 1);
    pGrid->addWidget(pPurpose, 1, 1);
    pGrid->addWidget(pOk, 0, 2, Qt::AlignTop);
    pGrid->setColumnStretch(1, 1);
    vtdialog::MakeFixedSize(this);
}
