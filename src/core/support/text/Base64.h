// Base 64 with the standard alphabet and "=" padding, no line breaks (RFC 4648, section 4).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ostrel::Base64 {

/// `bytes` in base 64; 4 characters per started group of 3 bytes. Example: "Ma" -> "TWE=".
[[nodiscard]] std::string encode(std::string_view bytes);

/// The bytes of `text`, strictly: a multiple of 4 characters of the alphabet, with at most two "="
/// and only at the end. None for anything else (white space included).
[[nodiscard]] std::optional<std::string> decode(std::string_view text);

}  // namespace ostrel::Base64
