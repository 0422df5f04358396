#include "CClientBridge.h"

CClientBridge::CClientBridge(QObject* pParent) : QObject(pParent)
{
}

CClientBridge::~CClientBridge() = default;

void CClientBridge::OnClientMessage(int nMsg, std::intptr_t wParam, std::intptr_t lParam)
{
    const unsigned nGeneration = m_nGeneration.load();
    QMetaObject::invokeMethod(
        this,
        [this, nGeneration, nMsg, wParam, lParam] {
            if (nGeneration == m_nGeneration.load())
                emit clientMessage(nMsg, wParam, lParam);
        },
        Qt::QueuedConnection);
}

void CClientBridge::DiscardPending()
{
    ++m_nGeneration;
}
