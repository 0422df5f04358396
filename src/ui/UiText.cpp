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
