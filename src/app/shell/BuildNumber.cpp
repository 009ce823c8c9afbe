#include "app/shell/BuildNumber.h"

#include <limits>

namespace ostrel {

std::optional<std::int64_t> parseBuildNumber(std::string_view text) noexcept {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    // Accumulate towards the negative side, which has room for the smallest value.
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const int digit = c - '0';
        if (value < (kMin + digit) / 10) return std::nullopt;
        value = value * 10 - digit;
    }
    if (negative) return value;
    if (value == kMin) return std::nullopt;
    return -value;
}

std::int64_t updaterBuildNumber(const std::optional<std::string>& buildText) noexcept {
    if (!buildText) return 1;
    return parseBuildNumber(*buildText).value_or(1);
}

}  // namespace ostrel
