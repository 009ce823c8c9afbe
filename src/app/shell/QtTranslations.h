// The toolkit's own texts (file dialogs, standard buttons, key names) in the interface language:
// one translator of Qt's catalogue ("qt_fr.qm", Debian package qt6-translations-l10n) installed in
// the application and swapped when the language changes. Installing or removing it tells every
// widget the language changed (QEvent::LanguageChange).
#pragma once

#include <string>

namespace ostrel::QtTranslations {

/// Installs the catalogue of the language `L` resolves to now, replacing the one installed before;
/// nothing when that language is already in force or there is no application object. A missing
/// catalogue leaves the toolkit's English texts. Main thread only.
void followInterfaceLanguage();

/// The language ("fr", "en") whose catalogue is installed, or empty when none is.
[[nodiscard]] std::string installedLanguage();

}  // namespace ostrel::QtTranslations
