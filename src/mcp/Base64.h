// Base 64 encoding with the standard alphabet and "=" padding, no line breaks (RFC 4648, §4).
#pragma once

#include <string>
#include <string_view>

namespace ostrel::mcp::Base64 {

/// `bytes` in base 64; 4 characters per started group of 3 bytes. Example: "Ma" -> "TWE=".
[[nodiscard]] std::string encode(std::string_view bytes);

}  // namespace ostrel::mcp::Base64
