#pragma once

#include <QIcon>
#include <QMessageBox>
#include <QString>

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

class CCommandTarget;
class CDoc;
class CKw;
class QObject;
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

/// Whom a power operation reaches, for the question asked before it is sent.
struct OperationTarget {
    enum Kind { Selection, Group, Roster };
    Kind kind = Selection;
    int nCount = 0;    ///< PCs of the target
    QString strGroup;  ///< the group's name (Group)
    QString strOnlyPc; ///< the PC's name when the target holds exactly one
};

/// "Shut down 38 PCs in “Lab A”?" and its other forms, in the language in force.
QString OperationQuestion(int id, const OperationTarget& target);
/// The question box: question icon, Yes/No with No the default, a "Don't ask again"
/// check box; the caller runs it.
QMessageBox* MakeOperationBox(QWidget* pParent, const QString& strText);
/// Asks before a power operation that the operator chose, unless Settings/
/// ConfirmOperation says not to; true = go ahead. A Yes with the check box ticked
/// stores that the operator is not to be asked again.
bool ConfirmOperation(QWidget* pParent, int id, const OperationTarget& target);

/// The request of one operation word to PCs: the usable addresses (network byte order)
/// and the word once for each; PCs without a usable address are left out.
std::pair<std::vector<std::uint32_t>, std::vector<std::uint32_t>> OperationLists(const std::vector<CKw*>& pcs,
                                                                                 std::uint32_t dwWord);

/// Sends an operation the operator has confirmed (addresses in network byte order, one
/// operation word each). Should the worker have taken up a poll or a reservation while
/// the question was open, it goes as soon as the worker is idle again, within 15 s;
/// `fnSent` runs once it has been handed over. Nothing is sent once `pContext` is gone.
void SendConfirmedOperation(QObject* pContext, CDoc* pDoc, std::vector<std::uint32_t> addresses,
                            std::vector<std::uint32_t> codes, std::function<void()> fnSent);

/// Replaces the operation question (tests): gets the text and the check box's text,
/// answers the button and whether the box was ticked.
using QuestionFn = std::function<QMessageBox::StandardButton(QWidget*, const QString& strText,
                                                             const QString& strCheck, bool* pChecked)>;
void SetQuestionForTesting(QuestionFn fn);

/// Adds a context-menu item for command `id`, enabled by `pTarget`'s own rule.
void AddCommandItem(QMenu* pMenu, CCommandTarget* pTarget, const QString& strText, int id);

/// A modal dialog is open: reports from the worker are then dropped, not shown.
bool IsModalOpen();
/// The view holds the focus of its window, or held it last.
bool IsActiveView(const QWidget* pView);

} // namespace vtview
