#pragma once

#include "app/StringTable.h"

#include <QString>

#include <string>
#include <string_view>
#include <vector>

/// @brief The command line's own texts (English, with Japanese from the embedded
/// translation) and the plain-text tables it prints.
class CtlText final {
public:
    /// Loads the Japanese texts when `lang` is Japanese; needs the application object.
    static void InstallTranslations(vtstr::Language lang);

    /// A numbered string of the program's string table, in the language in force.
    static QString S(std::uint32_t id) { return QString::fromStdString(vtstr::LoadString(id)); }

    /// Columns on a terminal: East Asian wide and full-width characters take two.
    static int DisplayWidth(const QString& str);
    /// Rows of cells as aligned columns two blanks apart; the last column is not padded.
    static std::string Table(const std::vector<std::vector<QString>>& rows);
};
