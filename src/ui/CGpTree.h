#pragma once

#include "Commands.h"
#include "model/CDoc.h"

#include <QTreeWidget>

/// Placeholder: the group tree (left pane). Replaced by the views work.
class CGpTree : public QTreeWidget, public CDocView, public CCommandTarget {
    Q_OBJECT
public:
    explicit CGpTree(CDoc* pDoc, QWidget* pParent = nullptr);
    void OnInitialUpdate();
    void OnUpdate(CDocView* pSender, int nHint, CGroup* pGroup) override;
    bool OnUpdateCommand(int id, bool* pEnabled) override;
    bool OnCommand(int id) override;
signals:
    /// Selection or state changed: command enabling should be re-evaluated.
    void commandStateChanged();

private:
    CDoc* m_pDoc;
};
