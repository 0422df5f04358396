#include "ViewSupport.h"

#include "Commands.h"
#include "UiText.h"
#include "app/Settings.h"
#include "model/CDoc.h"
#include "model/CKw.h"
#include "net/CKwvtClient.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QMenu>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <QtEndian>

#include <array>
#include <memory>

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

QuestionFn& QuestionHook()
{
    static QuestionFn fn;
    return fn;
}

constexpr int kSendRetryMs = 100;
constexpr int kSendTries = 150;

void SendWhenIdle(QObject* pContext, CDoc* pDoc, std::vector<std::uint32_t> addresses,
                  std::vector<std::uint32_t> codes, std::function<void()> fnSent, int nTriesLeft)
{
    CKwvtClient* pClient = pDoc->m_pClient;
    if (!pClient)
        return;
    if (!pClient->m_bBusy) {
        if (pClient->RequestOperate(addresses, codes) && fnSent)
            fnSent();
        return;
    }
    if (nTriesLeft <= 0)
        return;
    QTimer::singleShot(kSendRetryMs, pContext,
                       [pContext, pDoc, addresses = std::move(addresses), codes = std::move(codes),
                        fnSent = std::move(fnSent), nTriesLeft]() mutable {
                           SendWhenIdle(pContext, pDoc, std::move(addresses), std::move(codes),
                                        std::move(fnSent), nTriesLeft - 1);
                       });
}

QString Tr(const char* pszText)
{
    return QCoreApplication::translate("vtview", pszText);
}

QString OperationVerb(int id)
{
    switch (id) {
    case ID_REBOOT:
        return Tr("Reboot");
    case ID_FORCIBLE_REBOOT:
        return Tr("Forcibly reboot");
    case ID_SHUTDOWN:
        return Tr("Shut down");
    case ID_FORCIBLE_SHUTDOWN:
        return Tr("Forcibly shut down");
    case ID_POWER_OFF:
        return Tr("Power off");
    case ID_FORCED_POWER_OFF:
        return Tr("Forcibly power off");
    default:
        return {};
    }
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

QString OperationQuestion(int id, const OperationTarget& target)
{
    QString strWhom;
    if (target.nCount == 1 && !target.strOnlyPc.isEmpty())
        strWhom = target.kind == OperationTarget::Group
                      ? Tr("\u201c%1\u201d in \u201c%2\u201d").arg(target.strOnlyPc, target.strGroup)
                      : Tr("\u201c%1\u201d").arg(target.strOnlyPc);
    else if (target.kind == OperationTarget::Group)
        strWhom = Tr("%1 PCs in \u201c%2\u201d").arg(target.nCount).arg(target.strGroup);
    else if (target.kind == OperationTarget::Roster)
        strWhom = Tr("all %1 PCs").arg(target.nCount);
    else
        strWhom = Tr("%1 selected PCs").arg(target.nCount);
    //: %1 the operation, %2 whom it reaches
    return Tr("%1 %2?").arg(OperationVerb(id), strWhom);
}

QMessageBox* MakeOperationBox(QWidget* pParent, const QString& strText)
{
    auto* pBox = new QMessageBox(QMessageBox::Question, S(57344), strText, QMessageBox::Yes | QMessageBox::No,
                                 pParent);
    pBox->setDefaultButton(QMessageBox::No);
    pBox->setEscapeButton(QMessageBox::No);
    pBox->setCheckBox(new QCheckBox(Tr("Don't ask again"), pBox));
    return pBox;
}

bool ConfirmOperation(QWidget* pParent, int id, const OperationTarget& target)
{
    if (!vtsettings::ConfirmOperation())
        return true;
    const QString strText = OperationQuestion(id, target);
    bool bChecked = false;
    QMessageBox::StandardButton answer = QMessageBox::No;
    if (QuestionHook()) {
        answer = QuestionHook()(pParent, strText, Tr("Don't ask again"), &bChecked);
    } else {
        std::unique_ptr<QMessageBox> pBox(MakeOperationBox(pParent, strText));
        answer = static_cast<QMessageBox::StandardButton>(pBox->exec());
        bChecked = pBox->checkBox()->isChecked();
    }
    if (answer != QMessageBox::Yes)
        return false;
    if (bChecked)
        vtsettings::WriteConfirmOperation(false);
    return true;
}

std::pair<std::vector<std::uint32_t>, std::vector<std::uint32_t>> OperationLists(const std::vector<CKw*>& pcs,
                                                                                 std::uint32_t dwWord)
{
    std::pair<std::vector<std::uint32_t>, std::vector<std::uint32_t>> lists;
    for (const CKw* pPc : pcs) {
        if (pPc->m_dwIp == 0 || pPc->m_dwIp == 0xFFFFFFFFu)
            continue;
        lists.first.push_back(qToBigEndian(pPc->m_dwIp));
        lists.second.push_back(dwWord);
    }
    return lists;
}

void SendConfirmedOperation(QObject* pContext, CDoc* pDoc, std::vector<std::uint32_t> addresses,
                            std::vector<std::uint32_t> codes, std::function<void()> fnSent)
{
    SendWhenIdle(pContext, pDoc, std::move(addresses), std::move(codes), std::move(fnSent), kSendTries);
}

void SetQuestionForTesting(QuestionFn fn)
{
    QuestionHook() = std::move(fn);
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
