#pragma once

#include <QDialog>

/// @brief The About box: product name, version and what the program is for.
class CAboutDlg final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CAboutDlg)
public:
    static constexpr const char* kVersion = "1.0.0";

    explicit CAboutDlg(QWidget* pParent = nullptr);
};
