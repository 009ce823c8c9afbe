// Gap stitching of traced paths and their sorting into pens by stroke width.
//
// `stitchPaths` joins path ends across small gaps in up to three passes of
// growing radius, scoring each candidate end by distance and by how well the
// directions continue; ends are found through a spatial hash whose cells are
// never smaller than the search radius, so each join looks at 3 × 3 cells.
// `measureAndClassifyPens` measures each path's width on the distance field,
// clusters the widths with Lloyd's one-dimensional k-means into one class per
// pen, stitches again within each pen and gives every path a smoothed radius
// profile. Cost: O(total points) per stitching pass plus the local candidate
// scans; O(n log n) for the clustering of n widths.
#pragma once

#include "core/model/VectorModel.h"
#include "core/model/VectorizerParams.h"
#include "core/pipeline/PreprocessedFields.h"

#include <cstdint>
#include <vector>

namespace ostrel::CenterlineTracer {

/// One stitched path of a pen group with its measured half-widths.
struct ClassifiedPath {
    std::vector<VectorPoint> points;  // image pixels
    double radiusPx = 1.0;            // representative half-width, never below 0.5 (1.0 without points)
    std::vector<double> pointRadii;   // pointRadii[i]: smoothed half-width at points[i]

    friend bool operator==(const ClassifiedPath&, const ClassifiedPath&) = default;
};

/// Paths sorted into pens, thinnest pen first.
struct PenClassification {
    std::vector<std::vector<ClassifiedPath>> pathsByPen;  // always clamp(penCount, 1, 4) groups
    std::vector<double> breakpoints;                      // ascending width thresholds; empty with one pen

    friend bool operator==(const PenClassification&, const PenClassification&) = default;
};

/// Radius profile of one path.
struct PathProfile {
    double radiusPx = 1.0;
    std::vector<double> pointRadii;

    friend bool operator==(const PathProfile&, const PathProfile&) = default;
};

/// Joins path ends across gaps of up to `maxGap` px (more in later passes), `continuity` on 0…100.
/// Returns the input unchanged with fewer than 2 paths, `maxGap` ≤ 0.5 or a non-finite `maxGap`.
/// Closed loops (≥ 5 points, ends < 2.5 px apart) are never extended nor absorbed. Never drops a point.
[[nodiscard]] std::vector<std::vector<VectorPoint>> stitchPaths(const std::vector<std::vector<VectorPoint>>& paths,
                                                                double maxGap, double continuity);

/// The k − 1 ascending thresholds between k cluster centres of `values` (Lloyd's algorithm in one
/// dimension, centres seeded at evenly spaced ranks). Empty when k < 2 or fewer than k finite values.
[[nodiscard]] std::vector<double> kmeans1DBreakpoints(std::vector<double> values, std::int64_t k,
                                                      std::int64_t maxIterations);

/// Half-size of the distance-field window used to measure a path: 2 for the contour and edge
/// algorithms (their paths run along a stroke's border), 1 for the centre-line algorithms.
[[nodiscard]] int measurementHalfWindow(VectorAlgorithm algorithm) noexcept;

/// Width of a path for classification: the 75th percentile of the distance-field maxima sampled at
/// fewer than 96 points along it (0.6 outside the image, at least 0.5 inside); 1.0 without points.
[[nodiscard]] double measureClassificationWidth(const std::vector<VectorPoint>& points,
                                                const PreprocessedFields& fields, int halfWindow);

/// Per-point radii (three [1 2 1]/4 smoothing passes) and the 75th percentile of them (at least 0.5).
[[nodiscard]] PathProfile measurePathProfile(const std::vector<VectorPoint>& points, const PreprocessedFields& fields,
                                             int halfWindow);

/// Clusters the paths into clamp(`penCount`, 1, 4) pens by width, stitches within each pen with
/// `maxStitchGapPx` and `continuity`, and measures every resulting path.
[[nodiscard]] PenClassification measureAndClassifyPens(const std::vector<std::vector<VectorPoint>>& rawPaths,
                                                       const PreprocessedFields& fields,
                                                       const VectorizerParams& params);

}  // namespace ostrel::CenterlineTracer
