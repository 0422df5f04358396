#include "ViewSupport.h"

#include "Commands.h"

#include <QAction>
#include <QMenu>

#include "UiText.h"

#include <QApplication>
#include <QPixmap>
#include <QWidget>

#include <array>

static void InitViewResources()
{
    // The pictures live in a static library: pull its resource object in explicitly.
    Q_INIT_RESOURCE(views);
}

namespace vtview {
namespace {

const char* const kTreeFiles[kTreeImageCount] = {
    "tree_network", "tree_group_on", "tree_group_on_clock", "tree_group_off", "tree_group_off_clock",
};
const char* const kListFiles[kListImageCount] = {
    "pc_on",      "pc_off",      "pc_on_clock",      "pc_off_clock",
    "pc_on_link", "pc_off_link", "pc_on_clock_link", "pc_off_clock_link",
};

QPixmap LoadPicture(const char* pszName, QSize size)
{
    static const bool bInit = (InitViewResources(), true);
    Q_UNUSED(bInit);
    const QString strPath = QStringLiteral(":/views/icons/views/%1.svg").arg(QLatin1String(pszName));
    QPixmap pix = QIcon(strPath).pixmap(size);
    if (pix.isNull()) {
        pix = QPixmap(size);
        pix.fill(Qt::transparent);
    }
    return pix;
}

MessageFn& MessageHook()
{
    static MessageFn fn;
    return fn;
}

} // namespace

QIcon TreeIcon(int nImage, int nSelected)
{
    // Kept for the whole run: pixmaps must not outlive the application object's teardown.
    static auto* pPixmaps = new std::array<QPixmap, kTreeImageCount>;
    if (pPixmaps->at(0).isNull())
        for (int i = 0; i < kTreeImageCount; ++i)
            pPixmaps->at(static_cast<std::size_t>(i)) = LoadPicture(kTreeFiles[i], QSize(18, 17));
    QIcon icon;
    icon.addPixmap(pPixmaps->at(static_cast<std::size_t>(nImage)), QIcon::Normal);
    icon.addPixmap(pPixmaps->at(static_cast<std::size_t>(nSelected)), QIcon::Selected);
    return icon;
}

QIcon ListIcon(int nImage)
{
    static auto* pIcons = new std::array<QIcon, kListImageCount>;
    QIcon& icon = pIcons->at(static_cast<std::size_t>(nImage));
    if (icon.isNull()) {
        const QPixmap pix = LoadPicture(kListFiles[nImage], QSize(18, 16));
        icon.addPixmap(pix, QIcon::Normal);
        icon.addPixmap(pix, QIcon::Selected);
    }
    return icon;
}

QPixmap DragPixmap()
{
    return LoadPicture("drag_pcs", QSize(24, 17));
}

void SetMessageBoxForTesting(MessageFn fn)
{
    MessageHook() = std::move(fn);
}

QMessageBox::StandardButton Message(QWidget* pParent, const QString& strText, QMessageBox::Icon icon,
                                    QMessageBox::StandardButtons buttons)
{
    if (MessageHook())
        return MessageHook()(pParent, strText, icon, buttons);
    return VtMessageBox(pParent, strText, icon, buttons);
}

bool IsModalOpen()
{
    return QApplication::activeModalWidget() != nullptr;
}

bool IsActiveView(const QWidget* pView)
{
    const QWidget* pFocus = pView->window()->focusWidget();
    return pFocus && (pFocus == pView || pView->isAncestorOf(pFocus));
}

void AddCommandItem(QMenu* pMenu, CCommandTarget* pTarget, const QString& strText, int id)
{
    QAction* pAction = pMenu->addAction(strText);
    pAction->setData(id);
    bool bEnabled = false;
    pTarget->OnUpdateCommand(id, &bEnabled);
    pAction->setEnabled(bEnabled);
}

} // namespace vtview
