// Quality measures of a vectorization against its input bitmap, on pixel masks of the same size:
// the symmetric distance between drawn lines and the input's ink boundary, and the intersection
// over union of two ink masks. Cost: O(width × height) each (two exact distance transforms for the
// distance, Felzenszwalb & Huttenlocher 2012), plus a sort of the distance samples.
//
// A mask is a std::vector<std::uint8_t> of width × height bytes, mask[y * width + x]; non-zero marks
// the pixel as set.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

class QImage;

namespace ostrel::bench {

using PixelMask = std::vector<std::uint8_t>;

/// Grey at which a pixel of an ink drawing counts as ink (luma strictly below it).
inline constexpr float kInkLuma = 128.0f;
/// Grey at which a pixel of a rendered 1 px line counts as line (luma strictly below it): a quarter
/// of full coverage. An antialiased 1 px line spreads its coverage over at most two pixels across
/// its width, so the larger share is at least a half and the line stays connected.
inline constexpr float kLineLuma = 192.0f;

struct BoundaryDistance {
    double meanPx = 0;         // mean of every sample of both directions
    double p95Px = 0;          // 95th percentile (nearest rank) of the same samples
    std::int64_t samples = 0;  // boundary pixels + line pixels
};

/// The pixels whose luma, after compositing over white, is strictly below `lumaLimit`
/// (luma = 0.299 R + 0.587 G + 0.114 B in 32-bit floats). Empty for a null image.
[[nodiscard]] PixelMask darkMask(const QImage& image, float lumaLimit);

/// The set pixels of `ink` with at least one unset 4-neighbour inside the image; pixels outside
/// the image count neither as ink nor as background. `ink` holds width × height bytes.
[[nodiscard]] PixelMask inkBoundary(const PixelMask& ink, int width, int height);

/// Symmetric distance between `lines` and `boundary`: for every boundary pixel its distance to the
/// nearest line pixel and for every line pixel its distance to the nearest boundary pixel, all in
/// one sample set. None when either mask is empty (no distance exists) or the sizes do not match.
[[nodiscard]] std::optional<BoundaryDistance> symmetricDistance(const PixelMask& lines, const PixelMask& boundary,
                                                                int width, int height);

/// |a ∩ b| / |a ∪ b|; 1 when both are empty (they are identical); none when the sizes differ.
[[nodiscard]] std::optional<double> intersectionOverUnion(const PixelMask& a, const PixelMask& b) noexcept;

}  // namespace ostrel::bench
