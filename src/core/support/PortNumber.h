// Port numbers read from the environment.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace ostrel {

/// A whole text read as a decimal 16-bit unsigned number: an optional "+"
/// (or "-" with a zero value), then digits only. "+8080" gives 8080; "8080 ",
/// "70000", "-1" and "" give none.
[[nodiscard]] std::optional<std::uint16_t> parsePortNumber(std::string_view text) noexcept;

/// The environment variable `name` read by parsePortNumber, else `fallback`.
[[nodiscard]] std::uint16_t portFromEnvironment(const char* name, std::uint16_t fallback) noexcept;

}  // namespace ostrel
