// A guard for JSON lines from outside: copying, printing or comparing a parsed value recurses once
// per level of nesting, so a line nested tens of thousands of levels deep would exhaust the stack.
// The bridge links nothing of the application, so this is its own copy of the application's check.
#pragma once

#include <cstddef>
#include <string_view>

namespace ostrel::mcp {

/// How deep arrays and objects may nest in one message.
inline constexpr std::size_t maxJsonNesting = 256;

/// True when the arrays and objects of `text` nest deeper than `limit`, brackets inside strings not
/// counted. One pass without recursion, before any parse.
[[nodiscard]] bool jsonNestsDeeperThan(std::string_view text, std::size_t limit) noexcept;

}  // namespace ostrel::mcp
