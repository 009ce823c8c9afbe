#include "app/views/sidebar/ParameterChange.h"

#include "core/support/text/NumberFormat.h"

#include <cmath>

namespace ostrel::ParameterChange {

bool isDoubleChange(double current, double value) noexcept {
    if (!std::isfinite(value)) return false;
    if (!std::isfinite(current)) return true;
    return std::abs(current - value) > kDoubleTolerance;
}

std::optional<std::int64_t> integerFor(double value) noexcept { return roundedInt64(value); }

bool writeDouble(VectorizerController& document, double VectorizerParams::*field, double value, std::uint64_t delayMs) {
    if (!isDoubleChange(document.params().*field, value)) return false;
    VectorizerParams params = document.params();
    params.*field = value;
    document.setParams(params, RunSchedule::after(delayMs));
    return true;
}

bool writeInteger(VectorizerController& document, std::int64_t VectorizerParams::*field, double value,
                  std::uint64_t delayMs) {
    const std::optional<std::int64_t> rounded = integerFor(value);
    if (!rounded || *rounded == document.params().*field) return false;
    VectorizerParams params = document.params();
    params.*field = *rounded;
    document.setParams(params, RunSchedule::after(delayMs));
    return true;
}

}  // namespace ostrel::ParameterChange
