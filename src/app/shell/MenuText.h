// Texts for menus, actions and buttons. The toolkit reads "&" in them as the mark of a mnemonic
// (the next letter is underlined and Alt+letter chooses it), so every text that comes from data or
// a translation is escaped before it reaches one; the menu bar's titles carry their mnemonic on purpose.
#pragma once

#include <QString>

#include <string_view>

namespace ostrel {

/// `text` shown as it is in a menu item, an action or a button: each "&" doubled.
[[nodiscard]] QString menuText(std::string_view text);
[[nodiscard]] QString menuText(const QString& text);

/// A menu-bar title with a mnemonic: `text` escaped, then "&" put before its first `mnemonic`
/// (compared without case); `text` alone when it has no such letter.
[[nodiscard]] QString menuTitle(std::string_view text, QChar mnemonic);

}  // namespace ostrel
