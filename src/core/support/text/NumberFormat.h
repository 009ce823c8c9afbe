// Locale-free number texts for files, keys and protocol text.
//
// printf and streams follow LC_NUMERIC; these never do: "." is always the
// decimal separator and there is no grouping. Fixed-decimal texts round the
// exact binary value to nearest, ties to even, like "%.Nf" in the C locale.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

/// "%.<decimals>f" in the C locale: fixed(0.801, 2) == "0.80"; NaN gives "nan", infinities "inf"/"-inf".
/// A negative number of decimals counts as 0.
[[nodiscard]] std::string fixed(double value, int decimals);

/// Appends fixed(value, decimals) to `out` without a temporary string. Exact integer arithmetic for
/// 0…3 decimals and |value| < 2^52 (every coordinate and measure we write); std::to_chars otherwise.
void appendFixed(std::string& out, double value, int decimals);

/// Appends integerText(value) to `out`.
void appendInteger(std::string& out, std::int64_t value);

/// "%d" of a 64-bit integer.
[[nodiscard]] std::string integerText(std::int64_t value);

/// Shortest text that reads back as the same double ("0.3", "12", "1e+20").
[[nodiscard]] std::string shortestText(double value);

/// Replaces the decimal point of a number text by a comma (French display texts only).
[[nodiscard]] std::string withDecimalComma(std::string text);

/// A double as a 64-bit integer only when it is finite and within range; truncates toward zero.
[[nodiscard]] std::optional<std::int64_t> checkedInt64(double value) noexcept;

/// Rounds half away from zero, then converts as checkedInt64.
[[nodiscard]] std::optional<std::int64_t> roundedInt64(double value) noexcept;

/// Lower-cases ASCII letters only.
[[nodiscard]] std::string asciiLower(std::string_view text);

}  // namespace ostrel
