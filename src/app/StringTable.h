#pragma once

#include <cstdint>
#include <string>

/// @brief The program's numbered strings in English and Japanese.
///
/// Every text the program shows in a message box, list header, tree item, tab, status
/// bar, tray menu or command prompt is loaded here by number in the language in force.
namespace vtstr {

enum class Language { English, Japanese };

/// The language in force (default: chosen from the system's UI language at first use).
Language CurrentLanguage();
void SetLanguage(Language lang);
/// English unless the system's UI language (QLocale::system().uiLanguages()) is Japanese.
Language SystemLanguage();

/// UTF-8 text of string `id` in the language in force; empty for an unknown id.
std::string LoadString(std::uint32_t id);
std::string LoadString(std::uint32_t id, Language lang);
/// String 1039 ("Error\nError code:%u") with the number in place of %u.
std::string FormatError(std::uint32_t nCode);

} // namespace vtstr
