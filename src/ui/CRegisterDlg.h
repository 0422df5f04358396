#pragma once

#include <QDialog>

#include <array>
#include <cstdint>
#include <functional>
#include <string>

class CDoc;
class CKw;
class QLineEdit;
class QPushButton;

/// @brief PC Registration: collects a PC's name, IP, MAC and broadcast address, fills in
/// what the resolver and the neighbour table know, and refuses unusable or (when
/// registering) duplicate input.
///
/// m_dwIp and m_dwBroadcast are in network byte order; IpHostOrder() and
/// BroadcastHostOrder() give the values a CKw record holds.
class CRegisterDlg final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CRegisterDlg)
public:
    explicit CRegisterDlg(QWidget* pParent = nullptr);

    /// Name -> address, address -> name, address -> MAC; MAC and broadcast normalised.
    void LookupAddress();

    std::uint32_t IpHostOrder() const;
    std::uint32_t BroadcastHostOrder() const;

    std::string m_strName;
    std::uint32_t m_dwIp = 0xFFFFFFFFu;
    std::array<std::uint8_t, 6> m_mac{};
    std::uint32_t m_dwBroadcast = 0xFFFFFFFFu;
    CKw* m_pPc = nullptr;
    CDoc* m_pDoc = nullptr;

    /// Shows a refusal (string id); defaults to a message box with the information icon.
    std::function<void(unsigned)> m_fnMessage;

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* pEvent) override;

private:
    void InitDialog();
    void UpdateSearchButton();
    bool AllEmpty() const;
    void ShowMessage(unsigned nId);

    QLineEdit* m_pEditName = nullptr;
    QLineEdit* m_pEditIp = nullptr;
    std::array<QLineEdit*, 6> m_editMac{};
    QLineEdit* m_pEditBroadcast = nullptr;
    QPushButton* m_pBtnSearch = nullptr;
    bool m_bInitialized = false;
};
