#include "core/model/Format.h"

#include "core/model/Localization.h"
#include "core/support/text/NumberFormat.h"

#include <cmath>
#include <cstdint>

#include <fmt/format.h>

namespace ostrel::Format {

namespace {
std::string localDecimal(std::string text) {
    return Localization::isEnglish() ? text : withDecimalComma(std::move(text));
}
}  // namespace

std::string distanceMM(double millimetres) {
    if (!std::isfinite(millimetres) || !(millimetres > 0)) return "0 mm";
    if (millimetres >= 1000) return localDecimal(fixed(millimetres / 1000, 2)) + " m";
    return fixed(std::round(millimetres), 0) + " mm";
}

std::string latency(std::optional<double> milliseconds) {
    if (!milliseconds || !std::isfinite(*milliseconds)) return "\u2014";
    if (*milliseconds >= 10) return fixed(*milliseconds, 0) + " ms";
    return localDecimal(fixed(*milliseconds, 1)) + " ms";
}

std::string duration(double seconds) {
    // Beyond 2^53 s a double no longer holds every whole second; far beyond any plot, and safely
    // inside the range of a 64-bit integer.
    constexpr double kLargestShown = 9007199254740992.0;
    if (!std::isfinite(seconds) || !(seconds > 0) || seconds >= kLargestShown) return "\u2014";
    const auto whole = static_cast<std::int64_t>(std::round(seconds));
    if (whole <= 59) return fmt::format("{} s", whole);
    return fmt::format("{} min {:02} s", whole / 60, whole % 60);
}

}  // namespace ostrel::Format
