// The parameters as every interface sees them: the name in a parameter object, the kind of value,
// the range the remote interfaces and the command line clamp to, and the span and step of the
// window's slider. One table, read by the command line, OSC, the JSON parameter object and the
// sidebar; each keeps its own conversion rule (truncation, NaN, order of the clamp) and takes only
// the numbers from here. Defaults are those of `VectorizerParams()`.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/model/VectorizerParams.h"

namespace ostrel {

enum class ParameterKind { toggle, integer, real, choice, widthList };

/// A closed range [lower, upper].
struct ValueRange {
    double lower = 0;
    double upper = 0;
    friend constexpr bool operator==(const ValueRange&, const ValueRange&) = default;
};

struct ParameterSpec {
    std::string_view key;  ///< the field's name, also its key in a JSON parameter object
    ParameterKind kind = ParameterKind::real;
    /// What the remote interfaces and the command line clamp a number to; none where no clamp applies
    /// (`hatchAngleDeg` takes any finite angle) or where the value is not a number.
    std::optional<ValueRange> accepted = std::nullopt;
    /// The window slider's span and step; none where the window has no slider for the field.
    std::optional<ValueRange> slider = std::nullopt;
    double sliderStep = 0;
    /// The field itself, for the numeric and toggle kinds (exactly one is set for those kinds).
    bool VectorizerParams::*toggleField = nullptr;
    std::int64_t VectorizerParams::*integerField = nullptr;
    double VectorizerParams::*realField = nullptr;

    /// The bounds of `accepted` as integers (for the integer kind).
    [[nodiscard]] constexpr std::int64_t lowerInteger() const { return static_cast<std::int64_t>(accepted->lower); }
    [[nodiscard]] constexpr std::int64_t upperInteger() const { return static_cast<std::int64_t>(accepted->upper); }
};

namespace parameter {

using P = VectorizerParams;
using K = ParameterKind;

inline constexpr ParameterSpec outputMode{.key = "outputMode", .kind = K::choice};
inline constexpr ParameterSpec illustrationStrokeStyle{.key = "illustrationStrokeStyle", .kind = K::choice};
inline constexpr ParameterSpec strokeWidthScale{.key = "strokeWidthScale",
                                                .kind = K::real,
                                                .slider = ValueRange{0.3, 2.5},
                                                .sliderStep = 0.05,
                                                .realField = &P::strokeWidthScale};
inline constexpr ParameterSpec algorithm{.key = "algorithm", .kind = K::choice};
inline constexpr ParameterSpec adaptiveThreshold{
    .key = "adaptiveThreshold", .kind = K::toggle, .toggleField = &P::adaptiveThreshold};
inline constexpr ParameterSpec invert{.key = "invert", .kind = K::toggle, .toggleField = &P::invert};
inline constexpr ParameterSpec threshold{.key = "threshold",
                                         .kind = K::integer,
                                         .accepted = ValueRange{0, 255},
                                         .slider = ValueRange{10, 245},
                                         .sliderStep = 1,
                                         .integerField = &P::threshold};
inline constexpr ParameterSpec blurRadius{.key = "blurRadius",
                                          .kind = K::real,
                                          .accepted = ValueRange{0, 10},
                                          .slider = ValueRange{0, 6},
                                          .sliderStep = 0.2,
                                          .realField = &P::blurRadius};
inline constexpr ParameterSpec morphCleanup{.key = "morphCleanup",
                                            .kind = K::integer,
                                            .accepted = ValueRange{0, 2},
                                            .slider = ValueRange{0, 2},
                                            .sliderStep = 1,
                                            .integerField = &P::morphCleanup};
inline constexpr ParameterSpec rdpTolerance{.key = "rdpTolerance",
                                            .kind = K::real,
                                            .accepted = ValueRange{0.1, 5},
                                            .slider = ValueRange{0.1, 5},
                                            .sliderStep = 0.1,
                                            .realField = &P::rdpTolerance};
inline constexpr ParameterSpec curveSmoothing{.key = "curveSmoothing",
                                              .kind = K::real,
                                              .accepted = ValueRange{0, 1},
                                              .slider = ValueRange{0, 1},
                                              .sliderStep = 0.05,
                                              .realField = &P::curveSmoothing};
inline constexpr ParameterSpec cornerAngleDeg{.key = "cornerAngleDeg",
                                              .kind = K::integer,
                                              .accepted = ValueRange{15, 90},
                                              .slider = ValueRange{15, 90},
                                              .sliderStep = 1,
                                              .integerField = &P::cornerAngleDeg};
inline constexpr ParameterSpec minPathLengthPx{.key = "minPathLengthPx",
                                               .kind = K::integer,
                                               .accepted = ValueRange{1, 30},
                                               .slider = ValueRange{1, 30},
                                               .sliderStep = 1,
                                               .integerField = &P::minPathLengthPx};
inline constexpr ParameterSpec stegerSubpixel{
    .key = "stegerSubpixel", .kind = K::toggle, .toggleField = &P::stegerSubpixel};
inline constexpr ParameterSpec crossJunctions{
    .key = "crossJunctions", .kind = K::toggle, .toggleField = &P::crossJunctions};
inline constexpr ParameterSpec maxStitchGapPx{.key = "maxStitchGapPx",
                                              .kind = K::real,
                                              .accepted = ValueRange{1, 25},
                                              .slider = ValueRange{1, 24},
                                              .sliderStep = 1,
                                              .realField = &P::maxStitchGapPx};
inline constexpr ParameterSpec continuity{.key = "continuity",
                                          .kind = K::real,
                                          .accepted = ValueRange{0, 100},
                                          .slider = ValueRange{0, 100},
                                          .sliderStep = 5,
                                          .realField = &P::continuity};
inline constexpr ParameterSpec hatchEnabled{.key = "hatchEnabled", .kind = K::toggle, .toggleField = &P::hatchEnabled};
inline constexpr ParameterSpec hatchSpacingPx{.key = "hatchSpacingPx",
                                              .kind = K::real,
                                              .accepted = ValueRange{2.5, 20},
                                              .slider = ValueRange{3, 16},
                                              .sliderStep = 0.5,
                                              .realField = &P::hatchSpacingPx};
inline constexpr ParameterSpec hatchAngleDeg{.key = "hatchAngleDeg", .kind = K::real, .realField = &P::hatchAngleDeg};
inline constexpr ParameterSpec crossHatch{.key = "crossHatch", .kind = K::toggle, .toggleField = &P::crossHatch};
inline constexpr ParameterSpec penCount{.key = "penCount",
                                        .kind = K::integer,
                                        .accepted = ValueRange{1, 4},
                                        .slider = ValueRange{1, 4},
                                        .sliderStep = 1,
                                        .integerField = &P::penCount};
inline constexpr ParameterSpec penWidthsMM{.key = "penWidthsMM", .kind = K::widthList};
inline constexpr ParameterSpec paperFormat{.key = "paperFormat", .kind = K::choice};
inline constexpr ParameterSpec paperOrientation{.key = "paperOrientation", .kind = K::choice};
inline constexpr ParameterSpec marginMM{.key = "marginMM",
                                        .kind = K::real,
                                        .accepted = ValueRange{0, 50},
                                        .slider = ValueRange{0, 35},
                                        .sliderStep = 1,
                                        .realField = &P::marginMM};
inline constexpr ParameterSpec optimize2Opt{.key = "optimize2Opt", .kind = K::toggle, .toggleField = &P::optimize2Opt};
inline constexpr ParameterSpec exportBlackStrokes{
    .key = "exportBlackStrokes", .kind = K::toggle, .toggleField = &P::exportBlackStrokes};

}  // namespace parameter

/// Every parameter, in the order of the fields of `VectorizerParams`.
inline constexpr std::array<const ParameterSpec*, 28> kAllParameters{
    &parameter::outputMode,        &parameter::illustrationStrokeStyle,
    &parameter::strokeWidthScale,  &parameter::algorithm,
    &parameter::adaptiveThreshold, &parameter::invert,
    &parameter::threshold,         &parameter::blurRadius,
    &parameter::morphCleanup,      &parameter::rdpTolerance,
    &parameter::curveSmoothing,    &parameter::cornerAngleDeg,
    &parameter::minPathLengthPx,   &parameter::stegerSubpixel,
    &parameter::crossJunctions,    &parameter::maxStitchGapPx,
    &parameter::continuity,        &parameter::hatchEnabled,
    &parameter::hatchSpacingPx,    &parameter::hatchAngleDeg,
    &parameter::crossHatch,        &parameter::penCount,
    &parameter::penWidthsMM,       &parameter::paperFormat,
    &parameter::paperOrientation,  &parameter::marginMM,
    &parameter::optimize2Opt,      &parameter::exportBlackStrokes};

/// The parameter named `key` (exact spelling), if any.
[[nodiscard]] const ParameterSpec* findParameter(std::string_view key) noexcept;

}  // namespace ostrel
