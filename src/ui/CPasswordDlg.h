#pragma once

#include <QDialog>

#include <string>

class QLineEdit;

/// Longest password any box accepts.
inline constexpr int kMaxPasswordLength = 20;

/// Makes `pEdit` a password box: masked, at most 20 characters, typed letters turn
/// upper case (so a password never holds lower-case letters).
void SetupPasswordEdit(QLineEdit* pEdit);

/// The start-up prompt: one masked box, O K and Cancel.
class CPasswordDlg final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CPasswordDlg)
public:
    explicit CPasswordDlg(QWidget* pParent = nullptr);

    QLineEdit* PasswordEdit() const { return m_pEdit; }

    QString m_strPassword;

public slots:
    void accept() override;

private:
    QLineEdit* m_pEdit;
};

/// Asks for the password stored (encoded) as `strStored` until it is typed right.
/// False when the operator leaves a prompt any way but O K.
bool RunPasswordPrompt(const std::string& strStored, QWidget* pParent = nullptr);
