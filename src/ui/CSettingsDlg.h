#pragma once

#include <QDialog>

#include <cstdint>
#include <functional>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;

/// @brief Communication settings (interface, port) and the Auto Status Report.
///
/// The caller fills the fields before opening and reads them after OK; the dialog
/// itself reads and writes no stored setting. "Auto" is always the first interface
/// entry and stands for 0; any other entry is stored as exactly the address shown.
class CSettingsDlg final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSettingsDlg)
public:
    static constexpr unsigned kMinPort = 1;
    static constexpr unsigned kMaxPort = 65534;
    static constexpr int kMinInterval = 5;
    static constexpr int kMaxInterval = 3600;

    explicit CSettingsDlg(QWidget* pParent = nullptr);

    std::uint32_t m_dwInterface = 0; ///< host order; 0 = "Auto"
    unsigned m_nPort = 9000;
    int m_nReportType = 2;
    int m_nInterval = 60;
    bool m_bConfirmOperation = true; ///< ask before an operator's reboot or shutdown

    /// Shows a refusal; defaults to a message box with the information icon.
    std::function<void(const QString&)> m_fnMessage;

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* pEvent) override;

private:
    void InitDialog();
    void Refuse(QLineEdit* pEdit, long long nMin, long long nMax);

    QComboBox* m_cbInterface = nullptr;
    QLineEdit* m_pEditPort = nullptr;
    QLineEdit* m_pEditInterval = nullptr;
    QButtonGroup* m_pReportGroup = nullptr;
    QCheckBox* m_pConfirm = nullptr;
    bool m_bInitialized = false;
};
