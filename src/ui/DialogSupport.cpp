#include "DialogSupport.h"

#include <QDialog>
#include <QLayout>

namespace vtdialog {

void MakeFixedSize(QDialog* pDlg)
{
    Qt::WindowFlags flags = pDlg->windowFlags();
    flags &= ~(Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint | Qt::WindowContextHelpButtonHint);
    pDlg->setWindowFlags(flags | Qt::MSWindowsFixedSizeDialogHint);
    pDlg->setSizeGripEnabled(false);
    // The layout keeps the size at its hint, also when a text changes later.
    if (QLayout* pLayout = pDlg->layout())
        pLayout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace vtdialog
