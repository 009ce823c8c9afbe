// The four built-in demonstration drawings, rendered with an antialiased 2-D rasteriser
// (QPainter on a QImage) and returned as a grey raster, exactly as if loaded from a file.
// Cost: one raster of width × height pixels; a few hundred stroked curves per scene.
#pragma once

#include "core/model/VectorizerParams.h"
#include "core/pipeline/RasterImage.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

/// The size a built-in drawing is rendered at when it is loaded as a document.
inline constexpr int kPresetDocumentWidth = 720;
inline constexpr int kPresetDocumentHeight = 960;

enum class SyntheticPreset { portrait, stageArch, hatching, rosette };

template <>
constexpr auto allCases<SyntheticPreset>() {
    return std::array{SyntheticPreset::portrait, SyntheticPreset::stageArch, SyntheticPreset::hatching,
                      SyntheticPreset::rosette};
}

/// "portrait", "stage", "hatching", "rosette"; also the preset's identifier.
[[nodiscard]] std::string_view rawValue(SyntheticPreset preset) noexcept;
/// The preset whose raw value is exactly `text` (case-sensitive), if any.
[[nodiscard]] std::optional<SyntheticPreset> syntheticPresetFromRaw(std::string_view text) noexcept;
/// The preset's title in the interface language.
[[nodiscard]] std::string label(SyntheticPreset preset);
/// The name of the preset's symbol image.
[[nodiscard]] std::string_view icon(SyntheticPreset preset) noexcept;

namespace SyntheticDrawing {

/// The preset drawn at width × height pixels as grey values (0.299 R + 0.587 G + 0.114 B in
/// 32-bit floats); the untouched background is grey 249.658, never pure white. Identical on every
/// call. When the bitmap cannot be allocated the result is plain white (255) of the requested size;
/// a size below 1 pixel, or above 2^27 pixels in all, gives an empty 0 × 0 raster.
[[nodiscard]] RasterImage generate(SyntheticPreset preset, int width, int height);

}  // namespace SyntheticDrawing

}  // namespace ostrel
