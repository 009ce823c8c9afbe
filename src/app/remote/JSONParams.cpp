#include "app/remote/JSONParams.h"

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
    const auto setBool = [&](const char* key, bool VectorizerParams::*field) {
        if (const auto value = boolean(args, key)) {
            params.*field = *value;
            changed();
        }
    };
    const auto setInteger = [&](const char* key, std::int64_t VectorizerParams::*field, std::int64_t lower,
                                std::int64_t upper) {
        if (const auto value = clampedInteger(args, key, lower, upper)) {
            params.*field = *value;
            changed();
        }
    };
    const auto setReal = [&](const char* key, double VectorizerParams::*field, double lower, double upper) {
        if (const auto value = clampedReal(args, key, lower, upper)) {
            params.*field = *value;
            changed();
        }
    };

    if (const auto name = text(args, "algorithm")) {
        if (const auto algorithm = enumFromRaw<VectorAlgorithm>(*name)) {
            params.algorithm = *algorithm;
            changed();
        }
    }
    setBool("adaptiveThreshold", &VectorizerParams::adaptiveThreshold);
    setBool("invert", &VectorizerParams::invert);
    setInteger("threshold", &VectorizerParams::threshold, 0, 255);
    setReal("blurRadius", &VectorizerParams::blurRadius, 0.0, 10.0);
    setInteger("morphCleanup", &VectorizerParams::morphCleanup, 0, 2);
    setReal("rdpTolerance", &VectorizerParams::rdpTolerance, 0.1, 5.0);
    setReal("curveSmoothing", &VectorizerParams::curveSmoothing, 0.0, 1.0);
    setInteger("cornerAngleDeg", &VectorizerParams::cornerAngleDeg, 15, 90);
    setInteger("minPathLengthPx", &VectorizerParams::minPathLengthPx, 1, 30);
    setBool("stegerSubpixel", &VectorizerParams::stegerSubpixel);
    setBool("crossJunctions", &VectorizerParams::crossJunctions);
    setReal("maxStitchGapPx", &VectorizerParams::maxStitchGapPx, 1.0, 25.0);
    setReal("continuity", &VectorizerParams::continuity, 0.0, 100.0);
    setBool("hatchEnabled", &VectorizerParams::hatchEnabled);
    setReal("hatchSpacingPx", &VectorizerParams::hatchSpacingPx, 2.5, 20.0);
    if (const auto angle = number(args, "hatchAngleDeg"); angle && std::isfinite(*angle)) {
        params.hatchAngleDeg = *angle;  // any finite angle, unclamped
        changed();
    }
    setBool("crossHatch", &VectorizerParams::crossHatch);
    setInteger("penCount", &VectorizerParams::penCount, 1, 4);
    if (const auto name = text(args, "paperFormat")) {
        const std::string lowered = asciiLower(*name);
        for (PaperFormat format : allCases<PaperFormat>()) {
            if (asciiLower(rawValue(format)) == lowered) {
                params.paperFormat = format;
                changed();
                break;
            }
        }
    }
    if (const auto name = text(args, "paperOrientation")) {
        if (const auto orientation = enumFromRaw<PaperOrientation>(asciiLower(*name))) {
            params.paperOrientation = *orientation;
            changed();
        }
    }
    setReal("marginMM", &VectorizerParams::marginMM, 0.0, 50.0);
    setBool("optimize2Opt", &VectorizerParams::optimize2Opt);
    setBool("exportBlackStrokes", &VectorizerParams::exportBlackStrokes);
}

}  // namespace ostrel
