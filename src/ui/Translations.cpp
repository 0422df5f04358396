#include "Translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>
#include <vector>

static void RegisterShellQrc()
{
    Q_INIT_RESOURCE(shell);
}

namespace vtshell {

namespace {

std::vector<std::unique_ptr<QTranslator>>& Installed()
{
    static std::vector<std::unique_ptr<QTranslator>> translators;
    return translators;
}

void Install(std::unique_ptr<QTranslator> pTranslator)
{
    if (QCoreApplication::installTranslator(pTranslator.get()))
        Installed().push_back(std::move(pTranslator));
}

} // namespace

void InitShellResources()
{
    static bool bDone = false;
    if (!bDone) {
        bDone = true;
        RegisterShellQrc();
    }
}

void InstallTranslations(vtstr::Language lang)
{
    for (const auto& pTranslator : Installed())
        QCoreApplication::removeTranslator(pTranslator.get());
    Installed().clear();
    if (lang != vtstr::Language::Japanese)
        return;

    const QString strQtBase = QStringLiteral("qtbase_ja.qm");
    const QDir dir(QStringLiteral(":/i18n"));
    const QStringList names = dir.entryList({QStringLiteral("*_ja.qm")}, QDir::Files, QDir::Name);
    for (const QString& strName : names) {
        if (strName == strQtBase)
            continue;
        auto pTranslator = std::make_unique<QTranslator>();
        if (pTranslator->load(dir.filePath(strName)))
            Install(std::move(pTranslator));
    }

    auto pQt = std::make_unique<QTranslator>();
    if (pQt->load(dir.filePath(strQtBase))
        || pQt->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        Install(std::move(pQt));
}

} // namespace vtshell
