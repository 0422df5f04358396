#pragma once

#include "Commands.h"
#include "model/CDoc.h"

#include <QTableView>

/// Placeholder: the PC list (right pane). Replaced by the views work.
class CKwList : public QTableView, public CDocView, public CCommandTarget {
    Q_OBJECT
public:
    explicit CKwList(CDoc* pDoc, QWidget* pParent = nullptr);
    ~CKwList() override;
    /// Starts the communication worker; false when it cannot be started.
    bool Create();
    void OnInitialUpdate();
    void OnUpdate(CDocView* pSender, int nHint, CGroup* pGroup) override;
    bool OnUpdateCommand(int id, bool* pEnabled) override;
    bool OnCommand(int id) override;
signals:
    void commandStateChanged();

private:
    CDoc* m_pDoc;
};
