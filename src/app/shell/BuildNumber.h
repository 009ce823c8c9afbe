// The build number handed to the updater, read from the version record's build text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

/// The decimal integer `text` spells: an optional "+" or "-", then ASCII digits only, within the
/// range of a signed 64-bit integer; none for anything else (blanks, a point, an empty text).
[[nodiscard]] std::optional<std::int64_t> parseBuildNumber(std::string_view text) noexcept;

/// The updater's build number: the build text read as above; 1 when it is missing or unreadable,
/// so there always is one.
[[nodiscard]] std::int64_t updaterBuildNumber(const std::optional<std::string>& buildText) noexcept;

}  // namespace ostrel
