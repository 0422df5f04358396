#pragma once

#include "net/CKwvtClient.h"

#include <QObject>

#include <atomic>

/// @brief Carries the worker's reports from its thread to the user-interface thread.
///
/// Each report becomes one queued call, delivered in order as clientMessage(). Reports
/// still queued when DiscardPending runs (the worker has been stopped) are dropped.
class CClientBridge final : public QObject, public IClientReceiver {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CClientBridge)
public:
    explicit CClientBridge(QObject* pParent = nullptr);
    ~CClientBridge() override;

    void OnClientMessage(int nMsg, std::intptr_t wParam, std::intptr_t lParam) override;
    void DiscardPending() override;

signals:
    void clientMessage(int nMsg, qintptr wParam, qintptr lParam);

private:
    std::atomic<unsigned> m_nGeneration{0};
};
