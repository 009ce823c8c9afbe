// Hatching of thick ink regions and the drawing order of a pen layer's strokes.
//
// `generateHatchPaths` samples parallel lines across the image every 1.5 px and keeps the stretches
// lying at least 2.8 px deep inside the ink: O((2R / spacing) × (2R / 1.5)) field look-ups per angle,
// R = 0.55 × the image diagonal.
// `optimizePlotterTour` orders strokes by a greedy nearest-end walk from the image origin (each
// stroke may be reversed), then improves the order with a windowed 2-opt (Croes 1958) that reverses
// runs of strokes. The nearest end is found with a k-d tree over the stroke ends whose subtrees are
// pruned by the bounding boxes of their ends, O(n log n) in practice; 2-opt is O(passes × n × 140).
#pragma once

#include "core/model/VectorModel.h"
#include "core/pipeline/PreprocessedFields.h"

#include <vector>

namespace ostrel::BezierAndPlotterOptimizer {

/// Strokes in drawing order with the pen-up travel before and after ordering.
struct PlotterTour {
    std::vector<VectorPath> paths;  // drawing order; some strokes reversed
    double rawTravelPx = 0;         // travel of the input order (0 below two strokes)
    double optimizedTravelPx = 0;   // travel of `paths`, but never above rawTravelPx

    friend bool operator==(const PlotterTour&, const PlotterTour&) = default;
};

/// Two-point hatch strokes at `angleDeg` (and `angleDeg` + 90 with `crossHatch`), `spacingPx` apart
/// (at least 2.5), over the pixels at least 2.8 px inside the ink; alternate lines run backwards.
/// Empty for an empty or inconsistent field.
[[nodiscard]] std::vector<std::vector<VectorPoint>> generateHatchPaths(const PreprocessedFields& fields,
                                                                       double spacingPx, double angleDeg,
                                                                       bool crossHatch);

/// Pen-up distance of drawing `paths` in order from (0, 0): to the first start, then from each end to
/// the next start; no return leg. 0 for no strokes.
[[nodiscard]] double computeTravelDistance(const std::vector<VectorPath>& paths);

/// Greedy nearest-end order from (0, 0), then (with `enable2Opt` and at least 4 strokes) windowed 2-opt.
/// Fewer than 2 strokes come back unchanged with both figures 0.
[[nodiscard]] PlotterTour optimizePlotterTour(const std::vector<VectorPath>& paths, bool enable2Opt);

}  // namespace ostrel::BezierAndPlotterOptimizer
