// Key names in the words the toolkit uses for the interface language, so a text that names a key
// says what the menus show beside their items ("Ctrl+Maj+Z", "Suppr", "Échap" in French; "Ctrl+Shift+Z",
// "Del", "Esc" in English). The toolkit's own translations decide (see QtTranslations); without them
// the names are the English ones.
#pragma once

#include <string>
#include <string_view>

namespace ostrel {

/// The key combinations `keys`, written in the toolkit's portable form and separated by " / "
/// ("Ctrl+S / Ctrl+Shift+E"), as the toolkit names them now. A part it cannot read stays as written.
[[nodiscard]] std::string keyNames(std::string_view keys);

/// `text`, a space, and the key names of `keys` in brackets: "Redo stroke edit (Ctrl+Shift+Z)".
[[nodiscard]] std::string withKeys(std::string_view text, std::string_view keys);

}  // namespace ostrel
