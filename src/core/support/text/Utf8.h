// UTF-8 checks and repair for bytes that come from outside (files, input lines, HTTP bodies and
// headers). Decoding follows the Unicode Standard, ch. 3 "U+FFFD Substitution of Maximal Subparts":
// each maximal ill-formed subsequence becomes one U+FFFD. Linear in the input.
#pragma once

#include <string>
#include <string_view>

namespace ostrel {

/// True when `bytes` is well-formed UTF-8 (no surrogates, no overlong forms, <= U+10FFFF).
[[nodiscard]] bool isValidUtf8(std::string_view bytes) noexcept;

/// `bytes` as valid UTF-8: each maximal ill-formed subsequence becomes U+FFFD. Returns the input
/// unchanged when it is already valid.
[[nodiscard]] std::string lossyUtf8(std::string_view bytes);

/// `text` (valid UTF-8) without white space and line ends at both ends: ASCII blanks and
/// controls 0x09-0x0D, U+0085 and every space, line and paragraph separator (Zs, Zl, Zp).
[[nodiscard]] std::string_view trimmedWhitespace(std::string_view text) noexcept;

}  // namespace ostrel
