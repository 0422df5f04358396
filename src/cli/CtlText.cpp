#include "cli/CtlText.h"

#include <QCoreApplication>
#include <QTranslator>

#include <algorithm>

void CtlText::InstallTranslations(vtstr::Language lang)
{
    if (lang != vtstr::Language::Japanese || !QCoreApplication::instance())
        return;
    static QTranslator translator;
    if (translator.isEmpty() && translator.load(QStringLiteral(":/vtctl/vtctl_ja.qm")))
        QCoreApplication::installTranslator(&translator);
}

int CtlText::DisplayWidth(const QString& str)
{
    int nWidth = 0;
    for (const char32_t cp : str.toUcs4()) {
        const bool bWide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
                           (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                           (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                           (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
        nWidth += bWide ? 2 : 1;
    }
    return nWidth;
}

std::string CtlText::Table(const std::vector<std::vector<QString>>& rows)
{
    std::vector<int> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()), 0);
        for (std::size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], DisplayWidth(row[c]));
    }
    std::string strOut;
    for (const auto& row : rows) {
        QString strLine;
        for (std::size_t c = 0; c < row.size(); ++c) {
            strLine += row[c];
            if (c + 1 < row.size())
                strLine += QString(widths[c] - DisplayWidth(row[c]) + 2, QLatin1Char(' '));
        }
        while (strLine.endsWith(QLatin1Char(' ')))
            strLine.chop(1);
        strOut += strLine.toStdString() + '\n';
    }
    return strOut;
}
