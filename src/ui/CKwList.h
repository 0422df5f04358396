#pragma once

#include "Commands.h"
#include "model/CDoc.h"
#include "net/CKwvtClient.h"

#include <QTableView>
#include <QTimer>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class CClientBridge;
class CKwListModel;

/// @brief The PC list (right pane): the whole roster or the members of the current
/// group, the power operations, Wake-on-LAN, Refresh and Reserve on the selected PCs,
/// and the handling of everything the communication worker reports.
///
/// Creating the list starts the worker through the document; destroying it stops the
/// worker. A periodic status timer (mode 2) and a one-second reservation check run on
/// the user-interface thread.
class CKwList : public QTableView, public CDocView, public CCommandTarget {
    Q_OBJECT
public:
    explicit CKwList(CDoc* pDoc, QWidget* pParent = nullptr);
    ~CKwList() override;
    CKwList(const CKwList&) = delete;
    CKwList& operator=(const CKwList&) = delete;

    /// Starts the communication worker; false when it cannot be started.
    bool Create();
    void OnInitialUpdate();
    void OnUpdate(CDocView* pSender, int nHint, CGroup* pGroup) override;
    bool OnUpdateCommand(int id, bool* pEnabled) override;
    bool OnCommand(int id) override;

    // Rows
    void FillList();
    int InsertPcRow(CKw* pPc);
    int InsertMemberRow(std::int32_t nId);
    void UpdateRows();
    CGroup* CurrentGroup() const { return m_pCurrent; }
    CKwListModel* Model() const { return m_pModel; }
    /// Records of the selected rows, first row first.
    std::vector<CKw*> SelectedRecords() const;
    /// Selected row numbers, ascending.
    std::vector<int> SelectedRows() const;

    // Sorting (a header click)
    void OnColumnClick(int nColumn);
    int SortColumn() const { return m_nSortColumn; }
    bool SortDescending() const { return m_bSortDescending; }

    // Timers
    int ReportType() const { return m_nReportType; }
    int Interval() const { return m_nInterval; }
    /// Takes a new status report mode and interval and restarts the periodic timer.
    void RestartPeriodicTimer(int nReportType, int nInterval);
    /// Period of the running periodic timer in milliseconds, 0 when none runs.
    int PeriodicTimerPeriod() const;
    bool IsCheckTimerActive() const;

    // Operations
    void OperateSelected(std::uint16_t wOperation, std::uint16_t wForce);
    void WakeSelected();
    void Refresh();
    void ReserveSelected();
    /// The one-second check: sends what has come due (the worker must be idle).
    void FireDueReservations();

    /// One report of the worker, on the user-interface thread.
    void OnClientMessage(int nMsg, qintptr wParam, qintptr lParam);
    CClientBridge* Bridge() const { return m_pBridge; }

    // Test seams
    /// Used by Create() instead of the document's default worker when set.
    static void SetClientHooksForTesting(std::optional<ClientHooks> hooks);
    /// Where result records come from; empty = the worker's PopResult.
    void SetResultSourceForTesting(std::function<std::string()> fn) { m_fnPopResult = std::move(fn); }

signals:
    /// Selection or worker state changed: command enabling should be re-evaluated.
    void commandStateChanged();

private:
    bool WorkerIdle() const;
    bool WorkerBusy() const;
    std::string PopResult();
    void PostRefresh();
    void StartupRefresh(int nTriesLeft);
    void OnPcStatus(qintptr wParam, qintptr lParam);
    void OnOperated(qintptr wParam, qintptr lParam);
    void ShowWorkerError(qintptr nCode);
    void OnPeriodicTimer();
    void OnCheckTimer();

    CDoc* m_pDoc;
    CKwListModel* m_pModel;
    CClientBridge* m_pBridge = nullptr;
    CGroup* m_pCurrent = nullptr;
    QTimer m_periodicTimer;
    QTimer m_checkTimer;
    int m_nReportType;
    int m_nInterval;
    int m_nSortColumn = -1;
    bool m_bSortDescending = false;
    std::function<std::string()> m_fnPopResult;
};
