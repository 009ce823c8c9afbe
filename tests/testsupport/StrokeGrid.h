// Test support: small vector documents on a raw-pixel page (one millimetre per pixel) for the canvas
// renderer's tests, and the grid of strokes several of them draw.
#pragma once

#include "core/model/VectorModel.h"

#include <cstdint>
#include <vector>

namespace ostrel::test {

/// The straight segment from `a` to `b` as a cubic, its controls at the thirds.
[[nodiscard]] CubicBezierSegment straightSegment(VectorPoint a, VectorPoint b);

/// Stroke `i` (id i + 1) of a 6 × 5 grid over a 200 × 200 image: a 20-point zigzag polyline with a ribbon
/// outline and one of four radii (several width bands), shifted by (dx, dy). Neighbours stay apart, halo included.
[[nodiscard]] VectorPath gridStroke(int i, double dx = 0, double dy = 0);

/// A result of `side` × `side` pixels on a raw-pixel page of as many millimetres, with `paths` on one
/// visible pen (index `layerIndex`, `widthMM` wide, black).
[[nodiscard]] VectorizationResult rawPixelResult(std::int64_t side, std::vector<VectorPath> paths,
                                                 std::int64_t layerIndex = 1, double widthMM = 1.2);

}  // namespace ostrel::test
