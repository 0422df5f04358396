#pragma once

#include "schedule/CReserve.h"

#include <QDialog>

#include <array>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QDateTimeEdit;
class QGroupBox;
class QRadioButton;
class QTabBar;

/// @brief "Reservation Settings": edits a shutdown reservation (tab "Shutdown") and a
/// wake-up reservation (tab "Wake up") on copies that the caller writes back on OK.
///
/// Both tabs share one set of controls: leaving a tab reads the controls into its
/// record, entering one shows its record. Nothing is validated.
class CReserveDlg final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CReserveDlg)
public:
    explicit CReserveDlg(QWidget* pParent = nullptr);
    ~CReserveDlg() override;

    /// Shows tab 0 and its record; runs once, when the dialog is first shown, unless
    /// called earlier.
    void OnInitDialog();
    /// Selects a tab as the operator does (the record of the tab left is kept).
    void SelectTab(int nTab);
    int CurrentTab() const { return m_nTab; }

    void accept() override;

    CReserve m_reserveOff; ///< record 0, tab "Shutdown"
    CReserve m_reserveOn;  ///< record 1, tab "Wake up"

protected:
    void showEvent(QShowEvent* pEvent) override;

private:
    CReserve& Current() { return m_nTab == 0 ? m_reserveOff : m_reserveOn; }
    void OnTabChanged(int nTab);
    void ShowRecord();
    void ReadControls();
    void UpdateEnabling();
    void UpdateTypeVisibility();
    static void CheckOnly(QButtonGroup* pGroup, QAbstractButton* pButton);

    QTabBar* m_pTabs;
    QRadioButton* m_pSet;
    QRadioButton* m_pRelease;
    QButtonGroup* m_pSetGroup;
    QGroupBox* m_pDateBox;
    QRadioButton* m_pMonthly;
    QRadioButton* m_pWeekly;
    QRadioButton* m_pDaily;
    QButtonGroup* m_pModeGroup;
    std::array<QCheckBox*, 31> m_days{};
    std::array<QCheckBox*, 7> m_weekDays{};
    QGroupBox* m_pTimeBox;
    QDateTimeEdit* m_pTime;
    QGroupBox* m_pTypeBox;
    QRadioButton* m_pReboot;
    QRadioButton* m_pShutdown;
    QButtonGroup* m_pTypeGroup;
    QCheckBox* m_pForcible;
    int m_nTab = 0;
    bool m_bInitialized = false;
};
