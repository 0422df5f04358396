#pragma once

#include <QIcon>
#include <QMessageBox>
#include <QString>

#include <functional>

class CCommandTarget;
class QMenu;
class QWidget;

/// @brief What the group tree and the PC list share: their pictures, their message
/// boxes (replaceable so tests never block on one) and the notion of the active view.
namespace vtview {

inline constexpr int kTreeImageCount =
    5; ///< network, coloured pair, coloured pair + clock, grey pair, grey pair + clock
inline constexpr int kListImageCount = 8; ///< on/off x clock x link arrow

/// Tree picture `nImage` shown normally and `nSelected` while its item is selected.
QIcon TreeIcon(int nImage, int nSelected);
/// List picture `nImage` (the same whether selected or not).
QIcon ListIcon(int nImage);
/// Two stacked PCs with a plus sign, for dragging rows.
QPixmap DragPixmap();

using MessageFn = std::function<QMessageBox::StandardButton(QWidget*, const QString&, QMessageBox::Icon,
                                                            QMessageBox::StandardButtons)>;
/// Replaces every message box of the views; an empty function restores VtMessageBox.
void SetMessageBoxForTesting(MessageFn fn);
QMessageBox::StandardButton Message(QWidget* pParent, const QString& strText,
                                    QMessageBox::Icon icon = QMessageBox::Information,
                                    QMessageBox::StandardButtons buttons = QMessageBox::Ok);

/// Adds a context-menu item for command `id`, enabled by `pTarget`'s own rule.
void AddCommandItem(QMenu* pMenu, CCommandTarget* pTarget, const QString& strText, int id);

/// A modal dialog is open: reports from the worker are then dropped, not shown.
bool IsModalOpen();
/// The view holds the focus of its window, or held it last.
bool IsActiveView(const QWidget* pView);

} // namespace vtview
