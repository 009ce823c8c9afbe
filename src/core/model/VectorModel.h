// The value records every part of Ostrel passes around: points, cubic
// segments, strokes, pen layers, the statistics of a vectorization and its
// whole result. No references, copied by value (a stroke's points and
// segments are shared by its copies until one is changed), compared field by field.
#pragma once

#include "core/model/DeferredText.h"
#include "core/model/PageTransform.h"
#include "core/model/CopyOnWrite.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ostrel {

/// A point in image pixels (y down) or, after the page transform, in millimetres.
struct VectorPoint {
    double x = 0;
    double y = 0;

    static const VectorPoint zero;

    [[nodiscard]] double distance(const VectorPoint& other) const noexcept;
    [[nodiscard]] double distanceSquared(const VectorPoint& other) const noexcept;
    friend bool operator==(const VectorPoint&, const VectorPoint&) = default;
};

struct VectorPointHash {
    std::size_t operator()(const VectorPoint& p) const noexcept;
};

/// One cubic Bézier segment.
struct CubicBezierSegment {
    VectorPoint p0;
    VectorPoint c1;
    VectorPoint c2;
    VectorPoint p3;

    /// Sum of the 8 chords between B(k/8), k = 0…8.
    [[nodiscard]] double approximateLength() const noexcept;
    friend bool operator==(const CubicBezierSegment&, const CubicBezierSegment&) = default;
};

/// One stroke. Its points and segments are shared between copies until one is changed.
struct VectorPath {
    std::int64_t id = 0;
    std::int64_t penIndex = 0;
    SharedVector<VectorPoint> points;                 // polyline in image pixels
    SharedVector<CubicBezierSegment> beziers;         // fitted curve; empty when drawn as a polyline
    double strokeRadiusPx = 0;                        // measured half-width
    SharedVector<double> pointRadiiPx;                // pointRadiiPx[i]: half-width at points[i]
    SharedVector<CubicBezierSegment> outlineBeziers;  // closed ribbon outline, or empty
    bool isClosed = false;
    bool isHatch = false;

    [[nodiscard]] VectorPoint startPoint() const noexcept;
    [[nodiscard]] VectorPoint endPoint() const noexcept;
    [[nodiscard]] VectorPath reversedPath() const;
    [[nodiscard]] double lengthPx() const noexcept;
    friend bool operator==(const VectorPath&, const VectorPath&) = default;
};

inline constexpr std::array<double, 4> kDefaultPenWidthsMM{0.3, 0.5, 0.8, 1.2};
inline constexpr std::array<const char*, 4> kDefaultPenColorsHex{"#FFB454", "#5CE1E6", "#C792EA", "#9ECE6A"};

/// One pen and one Inkscape layer.
struct PenLayer {
    std::int64_t index = 0;
    std::string name;
    double widthMM = 0;
    std::string colorHex;
    bool visible = true;
    std::vector<VectorPath> paths;  // in plotting order

    /// Absent name, width or colour take the defaults of `index` (name in the current language).
    static PenLayer make(std::int64_t index, std::optional<std::string> name = std::nullopt,
                         std::optional<double> widthMM = std::nullopt,
                         std::optional<std::string> colorHex = std::nullopt, bool visible = true,
                         std::vector<VectorPath> paths = {});

    [[nodiscard]] std::int64_t id() const noexcept { return index; }
    /// "1 - Stylo 1 (0.3mm)".
    [[nodiscard]] std::string inkscapeLayerLabel() const;
    friend bool operator==(const PenLayer&, const PenLayer&) = default;
};

/// Default width and colour of a pen index (wrapping negative indexes too).
[[nodiscard]] double defaultPenWidthMM(std::int64_t index) noexcept;
[[nodiscard]] std::string defaultPenColorHex(std::int64_t index);
/// "Stylo n" / "Pen n" by the current interface language, n = index + 1.
[[nodiscard]] std::string defaultPenName(std::int64_t index);

/// Statistics of one vectorization.
struct PlotterMetrics {
    std::int64_t imageWidth = 0;
    std::int64_t imageHeight = 0;
    double pageWidthMM = 210;
    double pageHeightMM = 297;
    std::int64_t pathCount = 0;
    std::int64_t pointCount = 0;
    std::int64_t bezierSegmentCount = 0;
    double drawDistancePx = 0;
    double drawDistanceMM = 0;
    double travelDistanceRawMM = 0;
    double travelDistanceOptimizedMM = 0;
    double travelSavingsPercent = 0;
    std::int64_t penLifts = 0;
    double estimatedPlotSeconds = 0;
    double computeMilliseconds = 0;
    bool usedNeuralEngine = true;
    std::vector<std::int64_t> penPathCounts;
    std::vector<double> penBreakpointsPx;

    friend bool operator==(const PlotterMetrics&, const PlotterMetrics&) = default;
};

/// The whole result of one vectorization.
struct VectorizationResult {
    std::vector<PenLayer> layers;  // in pen order
    PageTransform pageTransform;
    PlotterMetrics metrics;
    // The two SVG texts; after an edit they are written when first read.
    DeferredText svgPreview;
    DeferredText svgAxiDraw;

    /// Paths of the visible layers, layer by layer.
    [[nodiscard]] std::vector<VectorPath> allVisiblePaths() const;
    friend bool operator==(const VectorizationResult&, const VectorizationResult&) = default;
};

}  // namespace ostrel
