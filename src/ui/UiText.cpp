#include "UiText.h"

QMessageBox::StandardButton VtMessageBox(QWidget* pParent, const QString& strText, QMessageBox::Icon icon,
                                         QMessageBox::StandardButtons buttons,
                                         QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(icon, S(57344), strText, buttons, pParent);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

#include "Commands.h"
#include "net/Datagram.h"

namespace {
std::function<void(int)>& Router()
{
    static std::function<void(int)> fn;
    return fn;
}
bool g_bPowerOffEnabled = false;
} // namespace

void SetCommandRouter(std::function<void(int)> fnRoute)
{
    Router() = std::move(fnRoute);
}

void RouteCommand(int id)
{
    if (Router())
        Router()(id);
}

bool IsPowerOffEnabled()
{
    return g_bPowerOffEnabled;
}

void SetPowerOffEnabled(bool bEnabled)
{
    g_bPowerOffEnabled = bEnabled;
}

std::optional<std::uint32_t> OperationWordOf(int id)
{
    using vtdgram::OP_REBOOT;
    using vtdgram::OP_SHUTDOWN;
    switch (id) {
    case ID_REBOOT:
        return vtdgram::OperationWord(OP_REBOOT, 0);
    case ID_FORCIBLE_REBOOT:
        return vtdgram::OperationWord(OP_REBOOT, 1);
    case ID_SHUTDOWN:
    case ID_POWER_OFF:
        return vtdgram::OperationWord(OP_SHUTDOWN, 0);
    case ID_FORCIBLE_SHUTDOWN:
    case ID_FORCED_POWER_OFF:
        return vtdgram::OperationWord(OP_SHUTDOWN, 1);
    default:
        return std::nullopt;
    }
}
