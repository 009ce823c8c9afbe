// Preprocessing of a grey raster into the fields every extractor reads: blur, global or adaptive
// threshold, 3 × 3 morphology, the exact Euclidean distance transform and a ridge field that peaks on
// stroke centre lines (blurred ink level, distance and the Hessian ridge measure). No neural network is
// involved: the "neural" ridge filter is the Hessian measure below. All arithmetic in 32-bit floats
// unless stated, so results are reproducible.
//
// Distance transform: P. F. Felzenszwalb, D. P. Huttenlocher, "Distance Transforms of Sampled
// Functions", Theory of Computing 8, 2012 (lower envelope of parabolas, linear time).
//
// The namespace's contour and edge extractors (`extractVisionContours`, Canny) are in ContourExtractor.h.
#pragma once

#include "core/model/VectorizerParams.h"
#include "core/pipeline/PreprocessedFields.h"
#include "core/pipeline/RasterImage.h"

#include <cstdint>
#include <span>
#include <vector>

namespace ostrel::NeuralRidgeFilter {

/// The whole chain: blur, threshold (with the 55 % polarity flip in global mode), clean-up, distance
/// field, ridge field and, for neural_centerline, Hessian strength that may add faint strokes to the
/// mask. Reads blurRadius, adaptiveThreshold, threshold, invert, morphCleanup and algorithm.
[[nodiscard]] PreprocessedFields preprocess(const RasterImage& image, const VectorizerParams& params);

/// preprocess for an image the caller gives up: its luma is freed as soon as it is blurred, before
/// the fields are made, so the input's largest buffer is not held at the chain's peak. Same result.
[[nodiscard]] PreprocessedFields preprocess(RasterImage&& image, const VectorizerParams& params);

/// Separable Gaussian blur with kernel radius clamp(ceil(2.5 σ), 1, 12), the edge pixel repeated
/// beyond the border. `values` holds width × height floats; a zero-sized image gives an empty result.
[[nodiscard]] std::vector<float> gaussianBlurSeparable(std::span<const float> values, std::int64_t width,
                                                       std::int64_t height, float sigma);

/// The adaptive threshold of `preprocess` on a width × height grey image: ink (1) where the value is
/// below the mean of its window minus an offset, the value being luma or, with `invert`, 255 − luma.
/// The window is (2R + 1)² clipped to the image, R = 6 + min(max(threshold / 8, 0), 30), the offset
/// 22 + max((128 − threshold) / 10, −18), the mean taken from an integral image in doubles. An
/// inconsistent size gives an empty result.
[[nodiscard]] std::vector<std::uint8_t> adaptiveThresholdMask(std::span<const float> luma, std::int64_t width,
                                                              std::int64_t height, std::int64_t threshold, bool invert);

/// 3 × 3 erosion / dilation on a width × height mask (non-zero = set), the neighbourhood clipped to the
/// image; the result holds 0 and 1.
[[nodiscard]] std::vector<std::uint8_t> morphErode3x3(const std::vector<std::uint8_t>& mask, std::int64_t width,
                                                      std::int64_t height);
[[nodiscard]] std::vector<std::uint8_t> morphDilate3x3(const std::vector<std::uint8_t>& mask, std::int64_t width,
                                                       std::int64_t height);
/// Erosion, then dilation of its result.
[[nodiscard]] std::vector<std::uint8_t> morphOpen3x3(const std::vector<std::uint8_t>& mask, std::int64_t width,
                                                     std::int64_t height);
/// Dilation, then erosion of its result.
[[nodiscard]] std::vector<std::uint8_t> morphClose3x3(const std::vector<std::uint8_t>& mask, std::int64_t width,
                                                      std::int64_t height);

/// Exact Euclidean distance of every set pixel of `binary` to the nearest clear pixel, 0 on clear
/// pixels; about w + h + 1000 everywhere when no pixel is clear. Linear in the number of pixels.
[[nodiscard]] std::vector<float> computeExactEDT(const std::vector<std::uint8_t>& binary, std::int64_t width,
                                                 std::int64_t height);

/// Minus the smaller Hessian eigenvalue of `values` at every interior pixel, floored at 0 and scaled by
/// the largest value (at least 1e-5) into 0…1; border pixels and images under 3 px on a side give 0.
[[nodiscard]] std::vector<float> computeHessianRidgeStrength(std::span<const float> values, std::int64_t width,
                                                             std::int64_t height);

}  // namespace ostrel::NeuralRidgeFilter
