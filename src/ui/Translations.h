#pragma once

#include "app/StringTable.h"

namespace vtshell {

/// Installs the Japanese translators of every area (:/i18n/*_ja.qm) and Qt's own
/// strings, or removes them again for English. May be called again to switch.
void InstallTranslations(vtstr::Language lang);

/// Registers the shell's embedded icons (a static library's resources are not
/// linked in on their own). Idempotent.
void InitShellResources();

} // namespace vtshell
