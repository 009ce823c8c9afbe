// The two extractors that do not follow stroke centre lines.
//
// Vision contours: the ink outlines of the preprocessing fields, found by the
// hierarchical contour finder (Suzuki–Abe border following) on an image redrawn
// from the fields, without the picture's frame; when the finder yields nothing,
// the boundary pixels of the mask traced as chains. Cost: linear in the pixels
// plus the total contour length.
//
// Canny edges: J. Canny, "A Computational Approach to Edge Detection", PAMI 8(6),
// 1986 — Gaussian blur, Sobel gradient, non-maximum suppression in four
// directions, double threshold with hysteresis — then Guo-Hall thinning into a
// skeleton for the centre-line tracer. Cost: linear in the pixels.
#pragma once

#include "core/model/VectorModel.h"
#include "core/model/VectorizerParams.h"
#include "core/pipeline/ContourFinder.h"
#include "core/pipeline/PreprocessedFields.h"
#include "core/pipeline/RasterImage.h"

#include <QImage>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace ostrel::NeuralRidgeFilter {

/// A hierarchical contour detector: the contour tree of `image`, or none when it fails.
using ContourDetector = std::function<std::optional<ContourFinder::ContourTree>(const QImage& image,
                                                                                const ContourFinder::Options& options)>;

/// The default detector: ContourFinder::findContours.
[[nodiscard]] std::optional<ContourFinder::ContourTree> findImageContours(const QImage& image,
                                                                          const ContourFinder::Options& options);

/// Ink outlines in image pixels (y down); a closed contour repeats its first point at the end.
/// Reads the image's width and height, the fields' width, height, binary and ridgeField, and
/// minPathLengthPx. Falls back to extractMarchingSquaresContours when the detector image cannot be
/// made, the detector fails or throws, or nothing is kept from its contours.
[[nodiscard]] std::vector<std::vector<VectorPoint>> extractVisionContours(const RasterImage& image,
                                                                          const PreprocessedFields& fields,
                                                                          const VectorizerParams& params);

/// The same with another detector in place of the contour finder.
[[nodiscard]] std::vector<std::vector<VectorPoint>> extractVisionContours(const RasterImage& image,
                                                                          const PreprocessedFields& fields,
                                                                          const VectorizerParams& params,
                                                                          const ContourDetector& detector);

/// The detector's input: opaque RGBA (premultiplied, 8 bits per channel) of the fields' size, white
/// background, ink grey round((1 − a) × 255) with a = min(max(0.65 + 0.35 × ridge, 0.75), 1). None
/// when the fields are under 3 × 3, when binary or ridgeField do not hold width × height values, or
/// when the image cannot be allocated.
[[nodiscard]] std::optional<QImage> makePreprocessedVisionImage(const RasterImage& image,
                                                                const PreprocessedFields& fields,
                                                                const VectorizerParams& params);

/// The detector options for an image: contrast adjustment 2.0, dark objects on a light background,
/// maximum dimension clamp(max(width, height), 512, 2048).
[[nodiscard]] ContourFinder::Options visionDetectorOptions(std::int64_t width, std::int64_t height) noexcept;

/// Converts a contour tree into point lists in pixels of a width × height image, depth first (a parent
/// before its children): drops contours of fewer than 2 points and the picture's frame (spanning at
/// least 94 % of both sides with no point more than 3 px inside the border), closes contours whose
/// ends are more than 0.05 and less than 6 px apart, and keeps those of at least `minArcLengthPx` of
/// arc. Children of dropped contours are still visited.
[[nodiscard]] std::vector<std::vector<VectorPoint>> collectContours(const ContourFinder::ContourTree& tree,
                                                                    double width, double height, double minArcLengthPx);

/// The fallback: the mask's boundary pixels (interior ink pixels with a background 4-neighbour)
/// traced into refined, smoothed chains; the boundary rings come out closed. No contours for fields
/// under 3 × 3 or whose binary or ridgeField do not hold width × height values.
[[nodiscard]] std::vector<std::vector<VectorPoint>> extractMarchingSquaresContours(const PreprocessedFields& fields,
                                                                                   std::int64_t minLength);

/// The Canny edge mask of an already smoothed width × height image, before thinning: 1 on the edge
/// pixels that survive non-maximum suppression and are strong or chained to strong ones, 0 elsewhere.
/// high = clamp(threshold, 30, 220), low = 0.45 × high. An all-zero mask under 3 × 3 or when
/// `smoothed` does not hold width × height values; empty for a negative size.
[[nodiscard]] std::vector<std::uint8_t> cannyEdgeMask(std::span<const float> smoothed, std::int64_t width,
                                                      std::int64_t height, std::int64_t threshold);

/// The thinned Canny edge skeleton (0/1 per pixel) of the image's luma, blurred with
/// σ = max(blurRadius, 1). Reads blurRadius and threshold. All zero under 3 × 3.
[[nodiscard]] std::vector<std::uint8_t> extractCannySkeleton(const RasterImage& image, const VectorizerParams& params);

}  // namespace ostrel::NeuralRidgeFilter
