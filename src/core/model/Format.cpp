#include "core/model/Format.h"

#include "core/model/Localization.h"
#include "core/support/text/NumberFormat.h"

#include <cmath>

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

}  // namespace ostrel::Format
