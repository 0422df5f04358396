#include "CReserveDlg.h"

#include "DialogSupport.h"
#include "UiText.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QVBoxLayout>

namespace {

const char* const kDayLabels[31] = {
    QT_TRANSLATE_NOOP("CReserveDlg", "1st"),  QT_TRANSLATE_NOOP("CReserveDlg", "2nd"),
    QT_TRANSLATE_NOOP("CReserveDlg", "3rd"),  QT_TRANSLATE_NOOP("CReserveDlg", "4th"),
    QT_TRANSLATE_NOOP("CReserveDlg", "5th"),  QT_TRANSLATE_NOOP("CReserveDlg", "6th"),
    QT_TRANSLATE_NOOP("CReserveDlg", "7th"),  QT_TRANSLATE_NOOP("CReserveDlg", "8th"),
    QT_TRANSLATE_NOOP("CReserveDlg", "9th"),  QT_TRANSLATE_NOOP("CReserveDlg", "10th"),
    QT_TRANSLATE_NOOP("CReserveDlg", "11th"), QT_TRANSLATE_NOOP("CReserveDlg", "12th"),
    QT_TRANSLATE_NOOP("CReserveDlg", "13th"), QT_TRANSLATE_NOOP("CReserveDlg", "14th"),
    QT_TRANSLATE_NOOP("CReserveDlg", "15th"), QT_TRANSLATE_NOOP("CReserveDlg", "16th"),
    QT_TRANSLATE_NOOP("CReserveDlg", "17th"), QT_TRANSLATE_NOOP("CReserveDlg", "18th"),
    QT_TRANSLATE_NOOP("CReserveDlg", "19th"), QT_TRANSLATE_NOOP("CReserveDlg", "20th"),
    QT_TRANSLATE_NOOP("CReserveDlg", "21st"), QT_TRANSLATE_NOOP("CReserveDlg", "22nd"),
    QT_TRANSLATE_NOOP("CReserveDlg", "23rd"), QT_TRANSLATE_NOOP("CReserveDlg", "24th"),
    QT_TRANSLATE_NOOP("CReserveDlg", "25th"), QT_TRANSLATE_NOOP("CReserveDlg", "26th"),
    QT_TRANSLATE_NOOP("CReserveDlg", "27th"), QT_TRANSLATE_NOOP("CReserveDlg", "28th"),
    QT_TRANSLATE_NOOP("CReserveDlg", "29th"), QT_TRANSLATE_NOOP("CReserveDlg", "30th"),
    QT_TRANSLATE_NOOP("CReserveDlg", "31st"),
};

const char* const kWeekDayLabels[7] = {
    QT_TRANSLATE_NOOP("CReserveDlg", "Sun"), QT_TRANSLATE_NOOP("CReserveDlg", "Mon"),
    QT_TRANSLATE_NOOP("CReserveDlg", "Tue"), QT_TRANSLATE_NOOP("CReserveDlg", "Wed"),
    QT_TRANSLATE_NOOP("CReserveDlg", "Thu"), QT_TRANSLATE_NOOP("CReserveDlg", "Fri"),
    QT_TRANSLATE_NOOP("CReserveDlg", "Sat"),
};

} // namespace

CReserveDlg::CReserveDlg(QWidget* pParent) : QDialog(pParent)
{
    setWindowTitle(tr("Reservation Settings"));

    m_pTabs = new QTabBar(this);
    m_pTabs->setObjectName(QStringLiteral("tabs"));
    m_pTabs->setDrawBase(true);
    m_pTabs->addTab(S(2063));
    m_pTabs->addTab(S(2064));

    auto* pPage = new QFrame(this);
    pPage->setFrameShape(QFrame::StyledPanel);

    m_pSet = new QRadioButton(tr("Set Reservation"), pPage);
    m_pSet->setObjectName(QStringLiteral("set"));
    m_pRelease = new QRadioButton(tr("Release Reservation"), pPage);
    m_pRelease->setObjectName(QStringLiteral("release"));
    m_pSetGroup = new QButtonGroup(this);
    m_pSetGroup->addButton(m_pSet);
    m_pSetGroup->addButton(m_pRelease);
    auto* pSetRow = new QHBoxLayout;
    pSetRow->addWidget(m_pSet);
    pSetRow->addSpacing(24);
    pSetRow->addWidget(m_pRelease);
    pSetRow->addStretch(1);

    m_pDateBox = new QGroupBox(tr("Reservation Date"), pPage);
    auto* pDateGrid = new QGridLayout(m_pDateBox);
    pDateGrid->setHorizontalSpacing(10);
    m_pMonthly = new QRadioButton(tr("Monthly"), m_pDateBox);
    m_pMonthly->setObjectName(QStringLiteral("monthly"));
    m_pWeekly = new QRadioButton(tr("Weekly"), m_pDateBox);
    m_pWeekly->setObjectName(QStringLiteral("weekly"));
    m_pDaily = new QRadioButton(tr("Daily"), m_pDateBox);
    m_pDaily->setObjectName(QStringLiteral("daily"));
    m_pModeGroup = new QButtonGroup(this);
    m_pModeGroup->addButton(m_pMonthly);
    m_pModeGroup->addButton(m_pWeekly);
    m_pModeGroup->addButton(m_pDaily);
    pDateGrid->addWidget(m_pMonthly, 0, 0, Qt::AlignTop);
    for (int d = 0; d < 31; ++d) {
        auto* pBox = new QCheckBox(tr(kDayLabels[d]), m_pDateBox);
        pBox->setObjectName(QStringLiteral("day%1").arg(d + 1));
        m_days[static_cast<std::size_t>(d)] = pBox;
        pDateGrid->addWidget(pBox, d / 7, 1 + d % 7);
    }
    pDateGrid->setRowMinimumHeight(5, 6);
    pDateGrid->addWidget(m_pWeekly, 6, 0);
    for (int k = 0; k < 7; ++k) {
        auto* pBox = new QCheckBox(tr(kWeekDayLabels[k]), m_pDateBox);
        pBox->setObjectName(QStringLiteral("wday%1").arg(k));
        m_weekDays[static_cast<std::size_t>(k)] = pBox;
        pDateGrid->addWidget(pBox, 6, 1 + k);
    }
    pDateGrid->addWidget(m_pDaily, 7, 0);
    pDateGrid->setColumnStretch(8, 1);

    m_pTimeBox = new QGroupBox(tr("Time"), pPage);
    auto* pTimeLayout = new QHBoxLayout(m_pTimeBox);
    m_pTime = new QDateTimeEdit(m_pTimeBox);
    m_pTime->setObjectName(QStringLiteral("time"));
    m_pTime->setDisplayFormat(QStringLiteral("HH:mm"));
    QFont timeFont = m_pTime->font();
    if (timeFont.pointSizeF() > 0)
        timeFont.setPointSizeF(timeFont.pointSizeF() * 3);
    else
        timeFont.setPixelSize(timeFont.pixelSize() * 3);
    m_pTime->setFont(timeFont);
    pTimeLayout->addStretch(1);
    pTimeLayout->addWidget(m_pTime);
    pTimeLayout->addStretch(1);

    m_pTypeBox = new QGroupBox(tr("Type"), pPage);
    m_pTypeBox->setObjectName(QStringLiteral("typeBox"));
    auto* pTypeGrid = new QGridLayout(m_pTypeBox);
    m_pReboot = new QRadioButton(tr("Reboot"), m_pTypeBox);
    m_pReboot->setObjectName(QStringLiteral("reboot"));
    m_pShutdown = new QRadioButton(tr("Shutdown"), m_pTypeBox);
    m_pShutdown->setObjectName(QStringLiteral("shutdown"));
    m_pForcible = new QCheckBox(tr("Forcible"), m_pTypeBox);
    m_pForcible->setObjectName(QStringLiteral("forcible"));
    m_pTypeGroup = new QButtonGroup(this);
    m_pTypeGroup->addButton(m_pReboot);
    m_pTypeGroup->addButton(m_pShutdown);
    pTypeGrid->addWidget(m_pReboot, 0, 0);
    pTypeGrid->addWidget(m_pForcible, 0, 1);
    pTypeGrid->addWidget(m_pShutdown, 1, 0);
    pTypeGrid->setColumnStretch(2, 1);

    auto* pLowerRow = new QHBoxLayout;
    pLowerRow->addWidget(m_pTimeBox, 1);
    pLowerRow->addWidget(m_pTypeBox, 1);

    auto* pPageLayout = new QVBoxLayout(pPage);
    pPageLayout->addLayout(pSetRow);
    pPageLayout->addWidget(m_pDateBox);
    pPageLayout->addLayout(pLowerRow);

    auto* pOk = new QPushButton(tr("O K"), this);
    pOk->setObjectName(QStringLiteral("ok"));
    pOk->setDefault(true);
    auto* pCancel = new QPushButton(tr("Cancel"), this);
    pCancel->setObjectName(QStringLiteral("cancel"));
    auto* pButtons = new QHBoxLayout;
    pButtons->addStretch(1);
    pButtons->addWidget(pOk);
    pButtons->addStretch(1);
    pButtons->addWidget(pCancel);
    pButtons->addStretch(1);

    auto* pMain = new QVBoxLayout(this);
    pMain->setSpacing(0);
    pMain->addWidget(m_pTabs);
    pMain->addWidget(pPage, 1);
    pMain->addSpacing(10);
    pMain->addLayout(pButtons);
    vtdialog::MakeFixedSize(this);

    connect(pOk, &QPushButton::clicked, this, &CReserveDlg::accept);
    connect(pCancel, &QPushButton::clicked, this, &CReserveDlg::reject);
    for (QRadioButton* pButton : {m_pSet, m_pRelease, m_pMonthly, m_pWeekly, m_pDaily})
        connect(pButton, &QRadioButton::clicked, this, &CReserveDlg::UpdateEnabling);
}

CReserveDlg::~CReserveDlg() = default;

void CReserveDlg::showEvent(QShowEvent* pEvent)
{
    if (!m_bInitialized)
        OnInitDialog();
    QDialog::showEvent(pEvent);
}

void CReserveDlg::OnInitDialog()
{
    m_bInitialized = true;
    m_pTabs->blockSignals(true);
    m_pTabs->setCurrentIndex(0);
    m_pTabs->blockSignals(false);
    m_nTab = 0;
    connect(m_pTabs, &QTabBar::currentChanged, this, &CReserveDlg::OnTabChanged, Qt::UniqueConnection);
    ShowRecord();
    UpdateTypeVisibility();
}

void CReserveDlg::SelectTab(int nTab)
{
    if (!m_bInitialized)
        OnInitDialog();
    m_pTabs->setCurrentIndex(nTab);
}

void CReserveDlg::OnTabChanged(int nTab)
{
    ReadControls();
    m_nTab = nTab == 0 ? 0 : 1;
    ShowRecord();
    UpdateTypeVisibility();
}

void CReserveDlg::accept()
{
    if (!m_bInitialized)
        OnInitDialog();
    ReadControls();
    QDialog::accept();
}

void CReserveDlg::CheckOnly(QButtonGroup* pGroup, QAbstractButton* pButton)
{
    pGroup->setExclusive(false);
    for (QAbstractButton* pOther : pGroup->buttons())
        pOther->setChecked(pOther == pButton);
    pGroup->setExclusive(true);
}

void CReserveDlg::ShowRecord()
{
    CReserve& rec = Current();
    CheckOnly(m_pSetGroup, rec.m_bSet ? m_pSet : m_pRelease);
    QAbstractButton* pMode = nullptr;
    if (rec.m_nMode == ReserveMonthly)
        pMode = m_pMonthly;
    else if (rec.m_nMode == ReserveWeekly)
        pMode = m_pWeekly;
    else if (rec.m_nMode == ReserveDaily)
        pMode = m_pDaily;
    CheckOnly(m_pModeGroup, pMode);
    for (std::size_t d = 0; d < m_days.size(); ++d)
        m_days[d]->setChecked((rec.m_dwDays >> d) & 1u);
    for (std::size_t k = 0; k < m_weekDays.size(); ++k)
        m_weekDays[k]->setChecked((rec.m_dwWeekDays >> k) & 1u);
    if (rec.m_time == kNoTime)
        rec.m_time = vtclock::GetCurrentMinute();
    m_pTime->setDateTime(QDateTime::fromSecsSinceEpoch(rec.m_time));
    if (rec.m_wType == OP_REBOOT)
        CheckOnly(m_pTypeGroup, m_pReboot);
    else if (rec.m_wType == OP_SHUTDOWN)
        CheckOnly(m_pTypeGroup, m_pShutdown);
    m_pForcible->setChecked(rec.m_wForce == 1);
    UpdateEnabling();
}

void CReserveDlg::ReadControls()
{
    const std::int32_t bSet = m_pSet->isChecked() ? 1 : 0;
    std::int32_t nMode = ReserveNone;
    if (m_pMonthly->isChecked())
        nMode = ReserveMonthly;
    else if (m_pWeekly->isChecked())
        nMode = ReserveWeekly;
    else if (m_pDaily->isChecked())
        nMode = ReserveDaily;
    std::uint32_t dwDays = 0;
    for (std::size_t d = 0; d < m_days.size(); ++d)
        if (m_days[d]->isChecked())
            dwDays |= 1u << d;
    std::uint32_t dwWeekDays = 0;
    for (std::size_t k = 0; k < m_weekDays.size(); ++k)
        if (m_weekDays[k]->isChecked())
            dwWeekDays |= 1u << k;
    const VtTime time = m_pTime->dateTime().toSecsSinceEpoch();
    std::uint16_t wType = OP_WAKEUP;
    std::uint16_t wForce = 0;
    if (m_nTab == 0) {
        wType = m_pReboot->isChecked() ? OP_REBOOT : OP_SHUTDOWN;
        wForce = m_pForcible->isChecked() ? 1 : 0;
    }
    Current().Set(bSet, nMode, dwDays, dwWeekDays, time, wType, wForce);
}

void CReserveDlg::UpdateEnabling()
{
    const bool bOn = m_pSet->isChecked();
    for (QWidget* pWidget : std::initializer_list<QWidget*>{m_pDateBox, m_pTimeBox, m_pTypeBox})
        pWidget->setEnabled(bOn);
    for (QCheckBox* pBox : m_days)
        pBox->setEnabled(bOn && m_pMonthly->isChecked());
    for (QCheckBox* pBox : m_weekDays)
        pBox->setEnabled(bOn && m_pWeekly->isChecked());
}

void CReserveDlg::UpdateTypeVisibility()
{
    m_pTypeBox->setVisible(m_nTab == 0);
}
