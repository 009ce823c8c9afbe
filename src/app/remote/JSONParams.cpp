#include "app/remote/JSONParams.h"

#include "core/model/ParameterTable.h"
#include "core/support/text/NumberFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

namespace ostrel {
namespace {

const Json* lookUp(const Json& args, const char* key) {
    if (!args.is_object()) return nullptr;
    const auto found = args.find(key);
    return found == args.end() ? nullptr : &*found;
}

std::optional<bool> boolean(const Json& args, const char* key) {
    const Json* value = lookUp(args, key);
    if (value == nullptr || !value->is_boolean()) return std::nullopt;
    return value->get<bool>();
}

std::optional<std::string> text(const Json& args, const char* key) {
    const Json* value = lookUp(args, key);
    if (value == nullptr || !value->is_string()) return std::nullopt;
    return value->get<std::string>();
}

std::optional<double> number(const Json& args, const char* key) {
    const Json* value = lookUp(args, key);
    if (value == nullptr || !value->is_number()) return std::nullopt;
    return value->get<double>();
}

// An integral JSON number as it is, a fractional one truncated toward zero,
// then clamped. Numbers beyond the 64-bit range (or infinite) clamp by sign;
// NaN cannot be converted and skips the key.
std::optional<std::int64_t> clampedInteger(const Json& args, const char* key, std::int64_t lower, std::int64_t upper) {
    const Json* value = lookUp(args, key);
    if (value == nullptr || !value->is_number()) return std::nullopt;
    std::int64_t integer = 0;
    if (value->is_number_unsigned()) {
        const std::uint64_t raw = value->get<std::uint64_t>();
        integer = raw > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                      ? std::numeric_limits<std::int64_t>::max()
                      : static_cast<std::int64_t>(raw);
    } else if (value->is_number_integer()) {
        integer = value->get<std::int64_t>();
    } else {
        const double real = value->get<double>();
        if (std::isnan(real)) return std::nullopt;
        const std::optional<std::int64_t> truncated = checkedInt64(real);
        integer = truncated ? *truncated
                            : (real > 0 ? std::numeric_limits<std::int64_t>::max()
                                        : std::numeric_limits<std::int64_t>::min());
    }
    return std::max(lower, std::min(integer, upper));
}

// The smaller of the value and the upper bound, then the larger of that and
// the lower bound, preferring a number over NaN.
std::optional<double> clampedReal(const Json& args, const char* key, double lower, double upper) {
    const std::optional<double> value = number(args, key);
    if (!value) return std::nullopt;
    return std::fmax(lower, std::fmin(*value, upper));
}

}  // namespace

void applyJSONParams(const Json& args, VectorizerParams& params, const ParamsChange& onChange) {
    const auto changed = [&] {
        if (onChange) onChange(params);
    };
    const auto setBool = [&](const ParameterSpec& spec) {
        if (const auto value = boolean(args, spec.key.data())) {
            params.*spec.toggleField = *value;
            changed();
        }
    };
    const auto setInteger = [&](const ParameterSpec& spec) {
        if (const auto value = clampedInteger(args, spec.key.data(), spec.lowerInteger(), spec.upperInteger())) {
            params.*spec.integerField = *value;
            changed();
        }
    };
    const auto setReal = [&](const ParameterSpec& spec) {
        if (const auto value = clampedReal(args, spec.key.data(), spec.accepted->lower, spec.accepted->upper)) {
            params.*spec.realField = *value;
            changed();
        }
    };

    if (const auto name = text(args, parameter::algorithm.key.data())) {
        if (const auto algorithm = enumFromRaw<VectorAlgorithm>(*name)) {
            params.algorithm = *algorithm;
            changed();
        }
    }
    setBool(parameter::adaptiveThreshold);
    setBool(parameter::invert);
    setInteger(parameter::threshold);
    setReal(parameter::blurRadius);
    setInteger(parameter::morphCleanup);
    setReal(parameter::rdpTolerance);
    setReal(parameter::curveSmoothing);
    setInteger(parameter::cornerAngleDeg);
    setInteger(parameter::minPathLengthPx);
    setBool(parameter::stegerSubpixel);
    setBool(parameter::crossJunctions);
    setReal(parameter::maxStitchGapPx);
    setReal(parameter::continuity);
    setBool(parameter::hatchEnabled);
    setReal(parameter::hatchSpacingPx);
    if (const auto angle = number(args, parameter::hatchAngleDeg.key.data()); angle && std::isfinite(*angle)) {
        params.hatchAngleDeg = *angle;  // any finite angle, unclamped
        changed();
    }
    setBool(parameter::crossHatch);
    setInteger(parameter::penCount);
    if (const auto name = text(args, parameter::paperFormat.key.data())) {
        const std::string lowered = asciiLower(*name);
        for (PaperFormat format : allCases<PaperFormat>()) {
            if (asciiLower(rawValue(format)) == lowered) {
                params.paperFormat = format;
                changed();
                break;
            }
        }
    }
    if (const auto name = text(args, parameter::paperOrientation.key.data())) {
        if (const auto orientation = enumFromRaw<PaperOrientation>(asciiLower(*name))) {
            params.paperOrientation = *orientation;
            changed();
        }
    }
    setReal(parameter::marginMM);
    setBool(parameter::optimize2Opt);
    setBool(parameter::exportBlackStrokes);
}

}  // namespace ostrel
