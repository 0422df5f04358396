#pragma once

#include <QDialog>

class QLineEdit;

/// Settings > Password: old password, new password and its confirmation.
///
/// O K checks the boxes in that order and stays open at the first mismatch, with the
/// focus on the box in question; after O K `m_strCurrent` holds the new password.
class CPasswordSetDlg final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CPasswordSetDlg)
public:
    explicit CPasswordSetDlg(QWidget* pParent = nullptr);

    QLineEdit* OldEdit() const { return m_pOld; }
    QLineEdit* NewEdit() const { return m_pNew; }
    QLineEdit* ConfirmEdit() const { return m_pConfirm; }

    QString m_strCurrent;
    QString m_strOld;
    QString m_strNew;
    QString m_strConfirm;

public slots:
    void accept() override;

private:
    void Refuse(QLineEdit* pEdit);

    QLineEdit* m_pOld;
    QLineEdit* m_pNew;
    QLineEdit* m_pConfirm;
};
