#pragma once

class QDialog;

namespace vtdialog {

/// Gives a dialog the frame of a desktop dialog: as large as its contents ask, not
/// resizable, no maximize or minimize button. Call once its layout is set.
void MakeFixedSize(QDialog* pDlg);

} // namespace vtdialog
