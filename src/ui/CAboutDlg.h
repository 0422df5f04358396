#pragma once

#include <QDialog>

/// Placeholder: the About box. Replaced by the dialogs work.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* pParent = nullptr);
};
