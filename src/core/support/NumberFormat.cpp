#include "support/NumberFormat.h"

#include <fmt/format.h>

#include <charconv>
#include <cmath>

namespace ostrel {

std::string fixed(double value, int decimals) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    // std::to_chars with a precision is printf's "%.Nf" in the C locale, and several times faster
    // than the general formatter on the writers' hot paths.
    char buffer[400];  // enough for any finite double in fixed notation
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals < 0 ? 0 : decimals);
    if (ec != std::errc()) return fmt::format("{:.{}f}", value, decimals < 0 ? 0 : decimals);
    return std::string(buffer, end);
}

std::string integerText(std::int64_t value) { return fmt::format("{}", value); }

std::string shortestText(double value) { return fmt::format("{}", value); }

std::string withDecimalComma(std::string text) {
    for (char& c : text) {
        if (c == '.') c = ',';
    }
    return text;
}

std::optional<std::int64_t> checkedInt64(double value) noexcept {
    // 2^63 is exactly representable; anything at or above it overflows.
    constexpr double kLimit = 9223372036854775808.0;
    if (!std::isfinite(value)) return std::nullopt;
    const double truncated = std::trunc(value);
    if (truncated >= kLimit || truncated < -kLimit) return std::nullopt;
    return static_cast<std::int64_t>(truncated);
}

std::optional<std::int64_t> roundedInt64(double value) noexcept {
    if (!std::isfinite(value)) return std::nullopt;
    return checkedInt64(std::round(value));
}

std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

}  // namespace ostrel
