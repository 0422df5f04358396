#pragma once

#include <QDialog>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class CDoc;
class CKw;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vtlookup {
class CHostLookup;
struct HostAnswer;
} // namespace vtlookup

/// @brief PC Registration: collects a PC's name, IP, MAC and broadcast address, fills in
/// what the resolver and the neighbour table know, and refuses unusable or (when
/// registering) duplicate input.
///
/// m_dwIp and m_dwBroadcast are in network byte order; IpHostOrder() and
/// BroadcastHostOrder() give the values a CKw record holds.
///
/// The lookups run on a thread of their own while the dialog stays responsive; typing
/// in the name or address box, Cancel or closing the dialog abandons them.
class CRegisterDlg final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CRegisterDlg)
public:
    explicit CRegisterDlg(QWidget* pParent = nullptr);
    ~CRegisterDlg() override;

    /// Name -> address, address -> name, address -> MAC; MAC and broadcast normalised
    /// once the answers are in.
    void LookupAddress();
    bool IsLookingUp() const { return m_pLookup != nullptr; }

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
    /// Looks up first, then checks; the dialog closes only when the checks pass.
    void accept() override;
    void reject() override;

protected:
    void showEvent(QShowEvent* pEvent) override;

private:
    void InitDialog();
    void UpdateSearchButton();
    bool AllEmpty() const;
    void StartLookup(bool bThenAccept);
    void AbandonLookup();
    void OnLookupDone(const vtlookup::HostAnswer& answer);
    void ApplyAnswer(const vtlookup::HostAnswer& answer);
    void FinishAccept();
    void ShowMessage(unsigned nId);

    QLineEdit* m_pEditName = nullptr;
    QLineEdit* m_pEditIp = nullptr;
    std::array<QLineEdit*, 6> m_editMac{};
    QLineEdit* m_pEditBroadcast = nullptr;
    QPushButton* m_pBtnSearch = nullptr;
    QLabel* m_pBusy = nullptr;
    bool m_bInitialized = false;
    std::unique_ptr<vtlookup::CHostLookup> m_pLookup;
    bool m_bAcceptAfterLookup = false;
};
