// JSON texts the way the application writes them.
//
// Objects keep their keys sorted by bytes (nlohmann's std::map), "/" is never
// escaped, and invalid UTF-8 (a file name can carry it) becomes U+FFFD instead
// of throwing.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace ostrel {

using Json = nlohmann::json;

/// Indented document text for files and HTTP answers; never throws on bad UTF-8.
[[nodiscard]] std::string prettyJson(const Json& value);

/// One-line text (protocol messages); never throws on bad UTF-8.
[[nodiscard]] std::string compactJson(const Json& value);

}  // namespace ostrel
