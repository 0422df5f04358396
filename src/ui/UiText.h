#pragma once

#include "app/StringTable.h"

#include <QMessageBox>
#include <QString>

class QWidget;

/// A string-table entry as a QString in the language in force.
inline QString S(unsigned id)
{
    return QString::fromStdString(vtstr::LoadString(id));
}

/// A message box with the application title "VT Server" as its caption.
QMessageBox::StandardButton VtMessageBox(QWidget* pParent, const QString& strText,
                                         QMessageBox::Icon icon = QMessageBox::Information,
                                         QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                         QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
