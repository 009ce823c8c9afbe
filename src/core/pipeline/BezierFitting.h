// From a traced polyline to what a plotter or an illustration needs: fewer points
// (Ramer–Douglas–Peucker, carrying each point's stroke radius along), cubic Bézier
// segments (split at sharp corners, then Schneider's least-squares fit, or a scaled
// Catmull-Rom conversion for short pieces and low smoothing), and the closed outline of a
// stroke whose half width follows the measured radius, with round caps.
//
// Sources: Douglas & Peucker, Can. Cartographer 10(2), 1973; P. J. Schneider, "An Algorithm
// for Automatically Fitting Digitized Curves", Graphics Gems I, 1990.
//
// The namespace's hatching and stroke order (`generateHatchPaths`, `optimizePlotterTour`) are in
// PlotterTour.h.
// Cost: simplification O(n²) worst case, O(n log n) typical, iterative (explicit stack);
// fitting O(n) per fit and at most 8 nested splits (≤ 256 segments a piece); the ribbon
// O(segments × points).
//
// Coordinates are image pixels. The hatching and tour functions of the same namespace live in
// PlotterTour.h.
#pragma once

#include "core/model/VectorModel.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace ostrel::BezierAndPlotterOptimizer {

/// Points of a simplification and, when they were given one per point, their radii.
struct SimplifiedStroke {
    std::vector<VectorPoint> points;
    std::vector<double> radii;  // radii[i] belongs to points[i]; empty when the input counts differed
    friend bool operator==(const SimplifiedStroke&, const SimplifiedStroke&) = default;
};

/// Ramer–Douglas–Peucker with tolerance `epsilon` px; the points of simplifyRDPWithRadii.
[[nodiscard]] std::vector<VectorPoint> simplifyRDP(const std::vector<VectorPoint>& points, double epsilon);

/// Simplification that keeps the radii of the kept points. Fewer than 3 points or epsilon ≤ 0.01
/// return the input unchanged. A stroke of at least 5 points whose ends are less than 1.5 px apart
/// is treated as closed: its two halves are simplified separately, so the far side survives.
/// The radii come back empty whenever their count differs from the point count.
[[nodiscard]] SimplifiedStroke simplifyRDPWithRadii(const std::vector<VectorPoint>& points,
                                                    const std::vector<double>& radii, double epsilon);

/// Pieces between sharp corners: a vertex whose direction turns by more than
/// 180° − cornerAngleDeg ends one piece and starts the next. cornerAngleDeg < 1 splits nothing.
[[nodiscard]] std::vector<std::vector<VectorPoint>> splitAtCorners(const std::vector<VectorPoint>& points,
                                                                   std::int64_t cornerAngleDeg);

/// The cubic segments of a whole stroke, consecutive segments sharing their end points.
/// Smoothing ≤ 0.02 (or not a number) gives no segments; it is the Catmull-Rom tension (at most 1)
/// and sets the Schneider tolerance max(2.2 × smoothing, 0.35) px (2.2 px from smoothing 1 up).
[[nodiscard]] std::vector<CubicBezierSegment> fitCubicBeziers(const std::vector<VectorPoint>& points, double smoothing,
                                                              std::int64_t cornerAngleDeg);

/// The closed outline of a stroke of varying half width: the left offset of every segment, a round
/// end cap, the right offsets in reverse and a round start cap, each segment starting where the
/// previous one ends. Segments longer than 16 px are halved once first. The half width follows
/// `pointRadiiPx` (one per point; otherwise `defaultRadiusPx`) times `scale` (clamped to 0.15…4),
/// never below 0.35 px. Fewer than 2 points give no segments.
[[nodiscard]] std::vector<CubicBezierSegment> buildVariableWidthRibbon(const std::vector<VectorPoint>& points,
                                                                       const std::vector<double>& pointRadiiPx,
                                                                       const std::vector<CubicBezierSegment>& beziers,
                                                                       double defaultRadiusPx, double scale,
                                                                       bool isClosed);

namespace detail {

/// Indices kept by RDP on an open polyline, ascending; first and last always kept.
[[nodiscard]] std::vector<std::size_t> simplifyRDPOpenIndices(const std::vector<VectorPoint>& points, double epsilon);

/// Schneider's recursive fit of one corner-free piece; `leftTangent` points into the curve from
/// the first point, `rightTangent` from the last. Splits only while depth ≤ 7.
[[nodiscard]] std::vector<CubicBezierSegment> fitSchneiderCubic(const std::vector<VectorPoint>& points,
                                                                VectorPoint leftTangent, VectorPoint rightTangent,
                                                                double error, int depth);

/// Cumulative chord lengths normalised to 0…1 (left unnormalised when the total is ≤ 1e-9).
[[nodiscard]] std::vector<double> chordLengthParameterize(const std::vector<VectorPoint>& points);

/// The least-squares cubic through the end points with the given end tangents at parameters `u`.
[[nodiscard]] CubicBezierSegment generateBezier(const std::vector<VectorPoint>& points, const std::vector<double>& u,
                                                VectorPoint leftTangent, VectorPoint rightTangent);

/// Largest distance |P[i] − bez(u[i])| over the interior points and its index (last on ties).
[[nodiscard]] std::pair<double, std::size_t> computeMaxError(const std::vector<VectorPoint>& points,
                                                             const CubicBezierSegment& bez,
                                                             const std::vector<double>& u);

/// One Newton–Raphson step per interior parameter towards the nearest curve point.
[[nodiscard]] std::vector<double> reparameterize(const std::vector<VectorPoint>& points, const std::vector<double>& u,
                                                 const CubicBezierSegment& bez);

}  // namespace detail

}  // namespace ostrel::BezierAndPlotterOptimizer
