// JSON texts the way the application writes them.
//
// Objects keep their keys sorted by bytes (nlohmann's std::map), "/" is never
// escaped, and invalid UTF-8 (a file name can carry it) becomes U+FFFD instead
// of throwing.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <string>
#include <string_view>

namespace ostrel {

using Json = nlohmann::json;

/// Indented document text for files and HTTP answers; never throws on bad UTF-8.
[[nodiscard]] std::string prettyJson(const Json& value);

/// One-line text (protocol messages); never throws on bad UTF-8.
[[nodiscard]] std::string compactJson(const Json& value);

/// How deep arrays and objects may nest in JSON from outside. Deeper texts are refused before they
/// are parsed: copying, printing or comparing a value recurses once per level.
inline constexpr std::size_t kMaxJsonNesting = 256;

/// True when the arrays and objects of `text` nest deeper than `limit`, brackets inside strings not
/// counted. One pass without recursion; meant for texts not yet known to be JSON.
[[nodiscard]] bool jsonNestsDeeperThan(std::string_view text, std::size_t limit) noexcept;

}  // namespace ostrel
