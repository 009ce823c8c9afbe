// How every sidebar control writes one field of the document's parameters: only a real change is
// written (a double that moved by more than 1e-6, an integer field after rounding the slider's
// double half away from zero, a different bool or choice), as one observable change of the whole
// parameter set, and only then is a run asked for after the control's own delay, never forcing a
// full extraction. Anything else does nothing at all: no write, no notification, no run.
#pragma once

#include "app/document/VectorizerController.h"
#include "core/model/VectorizerParams.h"

#include <cstdint>
#include <type_traits>

namespace ostrel::ParameterChange {

/// Smallest move of a double field that counts as a change (strictly greater).
inline constexpr double kDoubleTolerance = 1e-6;

/// Whether `value` is a real change of the double `current`.
[[nodiscard]] bool isDoubleChange(double current, double value) noexcept;

/// The integer a slider's `value` stands for (halves away from zero), or none for a value that is
/// not finite or does not fit: such a value is ignored, never converted.
[[nodiscard]] std::optional<std::int64_t> integerFor(double value) noexcept;

/// Each returns whether the value was written (and the run asked for).
bool writeDouble(VectorizerController& document, double VectorizerParams::*field, double value, std::uint64_t delayMs);
bool writeInteger(VectorizerController& document, std::int64_t VectorizerParams::*field, double value,
                  std::uint64_t delayMs);

/// Bool and enumeration fields.
template <class T>
requires(std::is_same_v<T, bool> || std::is_enum_v<T>) bool writeChoice(VectorizerController& document,
                                                                        T VectorizerParams::*field, T value,
                                                                        std::uint64_t delayMs) {
    if (document.params().*field == value) return false;
    VectorizerParams params = document.params();
    params.*field = value;
    document.setParams(params, RunSchedule::after(delayMs));
    return true;
}

}  // namespace ostrel::ParameterChange
