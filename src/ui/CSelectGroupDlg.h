#pragma once

#include <QDialog>
#include <QIcon>

#include <vector>

class CGroup;
class QListWidget;

/// @brief Lets the operator pick one or more of the offered groups.
///
/// On entry m_groupList holds the groups to offer, in display order; after OK it holds
/// the chosen ones in that same order. Cancel leaves it unchanged.
class CSelectGroupDlg final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSelectGroupDlg)
public:
    explicit CSelectGroupDlg(QWidget* pParent = nullptr);

    /// The group tree's picture of a group (coloured screens).
    static QIcon GroupIcon();

    std::vector<CGroup*> m_groupList;

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* pEvent) override;

private:
    void InitDialog();

    QListWidget* m_listCtrl = nullptr;
    std::vector<CGroup*> m_offered;
    bool m_bInitialized = false;
};
