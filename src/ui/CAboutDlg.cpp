#include "CAboutDlg.h"

CAboutDlg::CAboutDlg(QWidget* pParent) : QDialog(pParent) {}
