#include "core/pipeline/VectorizationEngine.h"

#include "core/export/SVGExporter.h"
#include "core/pipeline/BezierFitting.h"
#include "core/pipeline/CenterlineTracer.h"
#include "core/pipeline/ContourExtractor.h"
#include "core/pipeline/NeuralRidgeFilter.h"
#include "core/pipeline/PenClassifier.h"
#include "core/pipeline/PlotterTour.h"
#include "core/support/parallel/ParallelFor.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <utility>

namespace ostrel::VectorizationEngine {

namespace {

constexpr int kThinningIterations = 120;
constexpr double kStageAStitchGapCapPx = 4.0;
constexpr double kHatchRadiusPx = 0.6;
constexpr double kClosedEndGapPx = 1.5;
constexpr double kMinSmoothingForCurves = 0.02;
constexpr double kDrawSpeedMMPerS = 38;
constexpr double kTravelSpeedMMPerS = 110;
constexpr double kSecondsPerLift = 0.14;

using Chains = std::vector<std::vector<VectorPoint>>;

// The Canny edge skeleton of the image's pixels for that algorithm, none for the others. Made before
// preprocessing, so that an image handed over can give its pixels up to it.
std::vector<std::uint8_t> cannySkeletonFor(const RasterImage& image, const VectorizerParams& params) {
    if (params.algorithm != VectorAlgorithm::cannyEdges) return {};
    return NeuralRidgeFilter::extractCannySkeleton(image, params);
}

// Of `image`, only its size is read (by vision contours); Canny edges trace `cannySkeleton`.
Chains extractRawChains(const RasterImage& image, const std::vector<std::uint8_t>& cannySkeleton,
                        const PreprocessedFields& fields, const VectorizerParams& params) {
    const double stitchGap = std::min(params.maxStitchGapPx, kStageAStitchGapCapPx);
    switch (params.algorithm) {
        case VectorAlgorithm::neuralCenterline:
        case VectorAlgorithm::skeletonize: {
            const auto skeleton =
                CenterlineTracer::thinGuoHall(fields.binary, fields.width, fields.height, kThinningIterations);
            const auto chains = CenterlineTracer::traceSkeletonChains(skeleton, fields, params.minPathLengthPx,
                                                                      params.stegerSubpixel, params.crossJunctions);
            const double continuity = params.algorithm == VectorAlgorithm::neuralCenterline ? 15 : 10;
            return CenterlineTracer::stitchPaths(chains, stitchGap, continuity);
        }
        case VectorAlgorithm::visionContours:
            return NeuralRidgeFilter::extractVisionContours(image, fields, params);
        case VectorAlgorithm::cannyEdges:
            return CenterlineTracer::traceSkeletonChains(cannySkeleton, fields, params.minPathLengthPx,
                                                         params.stegerSubpixel, false);
    }
    return {};
}

/// The derived geometry of one stroke, shared by stage B and refitPath.
struct FinishedStroke {
    std::vector<CubicBezierSegment> beziers;
    std::vector<CubicBezierSegment> outline;
    bool isClosed = false;
};

FinishedStroke finishStroke(const std::vector<VectorPoint>& points, const std::vector<double>& radii,
                            double defaultRadius, bool isHatch, const VectorizerParams& params) {
    FinishedStroke out;
    const std::size_t n = points.size();
    out.isClosed = n >= 5 && points.front().distance(points.back()) < kClosedEndGapPx;
    if (!isHatch && params.curveSmoothing > kMinSmoothingForCurves) {
        out.beziers = BezierAndPlotterOptimizer::fitCubicBeziers(points, params.curveSmoothing, params.cornerAngleDeg);
    }
    const bool ribbonMode = params.outputMode == VectorOutputMode::illustration &&
                            params.illustrationStrokeStyle == IllustrationStrokeStyle::variableRibbon;
    if (ribbonMode && !isHatch) {
        out.outline = BezierAndPlotterOptimizer::buildVariableWidthRibbon(points, radii, out.beziers, defaultRadius,
                                                                          params.strokeWidthScale, out.isClosed);
    }
    return out;
}

/// Whole-result accumulators of stage B and of the rebuild.
struct Totals {
    std::int64_t pointCount = 0;
    std::int64_t bezierSegmentCount = 0;
    double drawPx = 0;
    std::int64_t penLifts = 0;
    double rawTravelPx = 0;
    double optimizedTravelPx = 0;

    void add(const std::vector<VectorPath>& ordered, double rawPx, double optPx) {
        const std::vector<double> lengths = strokeLengths(ordered);
        for (std::size_t i = 0; i < ordered.size(); ++i) {
            pointCount += static_cast<std::int64_t>(ordered[i].points.size());
            bezierSegmentCount += static_cast<std::int64_t>(ordered[i].beziers.size());
            drawPx += lengths[i];
        }
        penLifts += static_cast<std::int64_t>(ordered.size());
        rawTravelPx += rawPx;
        optimizedTravelPx += optPx;
    }

    /// Each stroke's length. A long layer is measured side by side (its strokes' segments lie all
    /// over memory); the sums are still taken in stroke order, so the totals do not change by a bit.
    static std::vector<double> strokeLengths(const std::vector<VectorPath>& paths) {
        std::vector<double> lengths(paths.size());
        parallelFor(paths.size(), kMeasuredSideBySide, [&](std::size_t first, std::size_t last) {
            for (std::size_t i = first; i < last; ++i) lengths[i] = paths[i].lengthPx();
        });
        return lengths;
    }

    static constexpr std::size_t kMeasuredSideBySide = 1024;  // strokes
};

PlotterMetrics makeMetrics(const std::vector<PenLayer>& layers, const PageTransform& transform, const Totals& totals,
                           std::int64_t imageWidth, std::int64_t imageHeight) {
    const double s = transform.scalePxToMM;
    PlotterMetrics m;
    m.imageWidth = imageWidth;
    m.imageHeight = imageHeight;
    m.pageWidthMM = transform.pageWidthMM;
    m.pageHeightMM = transform.pageHeightMM;
    m.pathCount = 0;
    for (const auto& layer : layers) {
        m.pathCount += static_cast<std::int64_t>(layer.paths.size());
        m.penPathCounts.push_back(static_cast<std::int64_t>(layer.paths.size()));
    }
    m.pointCount = totals.pointCount;
    m.bezierSegmentCount = totals.bezierSegmentCount;
    m.drawDistancePx = totals.drawPx;
    m.drawDistanceMM = totals.drawPx * s;
    m.travelDistanceRawMM = totals.rawTravelPx * s;
    m.travelDistanceOptimizedMM = totals.optimizedTravelPx * s;
    const double raw = m.travelDistanceRawMM;
    const double opt = m.travelDistanceOptimizedMM;
    m.travelSavingsPercent = raw > 0.001 ? std::max((raw - opt) / raw * 100, 0.0) : 0;
    m.penLifts = m.pathCount;
    m.estimatedPlotSeconds = m.drawDistanceMM / kDrawSpeedMMPerS + m.travelDistanceOptimizedMM / kTravelSpeedMMPerS +
                             static_cast<double>(m.penLifts) * kSecondsPerLift;
    return m;
}

VectorizationResult assembleWithoutTexts(std::vector<PenLayer> layers, const PageTransform& transform,
                                         PlotterMetrics metrics) {
    VectorizationResult result;
    result.layers = std::move(layers);
    result.pageTransform = transform;
    result.metrics = std::move(metrics);
    return result;
}

VectorizationResult assemble(std::vector<PenLayer> layers, const PageTransform& transform, PlotterMetrics metrics,
                             const VectorizerParams& params) {
    VectorizationResult result = assembleWithoutTexts(std::move(layers), transform, std::move(metrics));
    writeSvgTexts(result, params);
    return result;
}

}  // namespace

double clockSeconds() noexcept {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

namespace {

// Stage A after preprocessing; `image` and `cannySkeleton` as extractRawChains takes them.
RawExtractionStage extractFromFields(const RasterImage& image, const std::vector<std::uint8_t>& cannySkeleton,
                                     const PreprocessedFields& fields, const VectorizerParams& params) {
    const Chains raw = extractRawChains(image, cannySkeleton, fields, params);
    const auto classification = CenterlineTracer::measureAndClassifyPens(raw, fields, params);

    RawExtractionStage stage;
    stage.imageWidth = image.width;
    stage.imageHeight = image.height;
    stage.extractionCacheKey = params.extractionCacheKey();
    stage.usedNeuralEngine = fields.usedNeuralEngine;
    stage.breakpointsPx = classification.breakpoints;
    stage.pathsByPen.reserve(classification.pathsByPen.size());
    for (const auto& group : classification.pathsByPen) {
        std::vector<RawPath>& out = stage.pathsByPen.emplace_back();
        out.reserve(group.size());
        for (const auto& path : group) out.push_back({path.points, path.radiusPx, path.pointRadii, false});
    }

    if (params.hatchEnabled && !stage.pathsByPen.empty()) {
        const Chains lines = BezierAndPlotterOptimizer::generateHatchPaths(fields, params.hatchSpacingPx,
                                                                           params.hatchAngleDeg, params.crossHatch);
        for (const auto& line : lines) {
            stage.pathsByPen.front().push_back(
                {line, kHatchRadiusPx, std::vector<double>(line.size(), kHatchRadiusPx), true});
        }
    }
    return stage;
}

}  // namespace

RawExtractionStage extractStageA(const RasterImage& image, const VectorizerParams& params) {
    const std::vector<std::uint8_t> cannySkeleton = cannySkeletonFor(image, params);
    const PreprocessedFields fields = NeuralRidgeFilter::preprocess(image, params);
    return extractFromFields(image, cannySkeleton, fields, params);
}

RawExtractionStage extractStageA(RasterImage&& image, const VectorizerParams& params) {
    const std::vector<std::uint8_t> cannySkeleton = cannySkeletonFor(image, params);
    RasterImage size;  // the image without its pixels
    size.width = image.width;
    size.height = image.height;
    const PreprocessedFields fields = NeuralRidgeFilter::preprocess(std::move(image), params);
    return extractFromFields(size, cannySkeleton, fields, params);
}

VectorizationResult finalizeStageB(const RawExtractionStage& stageA, const VectorizerParams& params,
                                   const std::map<std::int64_t, bool>& existingVisibility, double computeStartTime,
                                   SvgTexts texts) {
    const std::int64_t pens = std::clamp<std::int64_t>(params.penCount, 1, 4);
    const auto penSlots = static_cast<std::size_t>(pens);

    // Every stroke of every pen is simplified and finished on its own, in parallel; the results keep
    // the order of the strokes, so ids are then numbered exactly as one pass over the pens would.
    struct StrokeSource {
        std::size_t pen;
        const RawPath* raw;
    };
    std::vector<StrokeSource> sources;
    for (std::size_t pen = 0; pen < penSlots && pen < stageA.pathsByPen.size(); ++pen) {
        for (const RawPath& raw : stageA.pathsByPen[pen]) sources.push_back({pen, &raw});
    }
    std::vector<std::optional<VectorPath>> strokes(sources.size());
    parallelFor(sources.size(), 4, [&](std::size_t first, std::size_t last) {
        for (std::size_t s = first; s < last; ++s) {
            const RawPath& raw = *sources[s].raw;
            auto simplified =
                BezierAndPlotterOptimizer::simplifyRDPWithRadii(raw.points, raw.pointRadii, params.rdpTolerance);
            if (simplified.points.size() < 2) continue;
            FinishedStroke finished =
                finishStroke(simplified.points, simplified.radii, raw.radiusPx, raw.isHatch, params);
            VectorPath& path = strokes[s].emplace();
            path.penIndex = static_cast<std::int64_t>(sources[s].pen);
            path.points = std::move(simplified.points);
            path.beziers = std::move(finished.beziers);
            path.strokeRadiusPx = raw.radiusPx;
            path.pointRadiiPx = std::move(simplified.radii);
            path.outlineBeziers = std::move(finished.outline);
            path.isClosed = finished.isClosed;
            path.isHatch = raw.isHatch;
        }
    });
    std::vector<std::vector<VectorPath>> pathsByPen(penSlots);
    std::int64_t nextID = 1;
    for (std::size_t s = 0; s < sources.size(); ++s) {
        if (!strokes[s]) continue;
        strokes[s]->id = nextID++;
        pathsByPen[sources[s].pen].push_back(std::move(*strokes[s]));
    }
    strokes.clear();

    // The pens' tours are independent of each other; the totals are then added in pen order. Only two
    // paths or more have an order to find: fewer (a blank or tiny image) are worth no thread.
    std::vector<BezierAndPlotterOptimizer::PlotterTour> tours(penSlots);
    const auto tourPens = [&](std::size_t first, std::size_t last) {
        for (std::size_t pen = first; pen < last; ++pen) {
            tours[pen] = BezierAndPlotterOptimizer::optimizePlotterTour(pathsByPen[pen], params.optimize2Opt);
        }
    };
    const std::int64_t strokeCount = nextID - 1;
    if (strokeCount < 2) {
        tourPens(0, penSlots);
    } else {
        parallelFor(penSlots, 1, tourPens);
    }
    Totals totals;
    std::vector<PenLayer> layers;
    layers.reserve(penSlots);
    for (std::int64_t i = 0; i < pens; ++i) {
        const auto index = static_cast<std::size_t>(i);
        auto& tour = tours[index];
        totals.add(tour.paths, tour.rawTravelPx, tour.optimizedTravelPx);
        const double width = index < params.penWidthsMM.size() ? params.penWidthsMM[index] : defaultPenWidthMM(i);
        const auto visibility = existingVisibility.find(i);
        const bool visible = visibility == existingVisibility.end() ? true : visibility->second;
        layers.push_back(PenLayer::make(i, std::nullopt, width, std::nullopt, visible, std::move(tour.paths)));
    }

    const PageTransform transform = PageTransform::make(stageA.imageWidth, stageA.imageHeight, params);
    PlotterMetrics metrics = makeMetrics(layers, transform, totals, stageA.imageWidth, stageA.imageHeight);
    metrics.computeMilliseconds = std::max((clockSeconds() - computeStartTime) * 1000, 0.1);
    metrics.usedNeuralEngine = stageA.usedNeuralEngine;
    metrics.penBreakpointsPx = stageA.breakpointsPx;
    if (texts == SvgTexts::written) return assemble(std::move(layers), transform, std::move(metrics), params);
    VectorizationResult result = assembleWithoutTexts(std::move(layers), transform, std::move(metrics));
    deferSvgTexts(result, params);
    return result;
}

VectorizationOutput vectorize(const RasterImage& image, const VectorizerParams& params) {
    const double start = clockSeconds();
    VectorizationOutput out;
    out.stageA = extractStageA(image, params);
    out.result = finalizeStageB(out.stageA, params, {}, start);
    return out;
}

VectorizationOutput vectorize(RasterImage&& image, const VectorizerParams& params) {
    const double start = clockSeconds();
    VectorizationOutput out;
    out.stageA = extractStageA(std::move(image), params);
    out.result = finalizeStageB(out.stageA, params, {}, start);
    return out;
}

VectorPath refitPath(const VectorPath& path, const VectorizerParams& params) {
    const std::size_t n = path.points.size();
    if (n < 2) return path;
    std::vector<double> radii =
        path.pointRadiiPx.size() == n ? path.pointRadiiPx.vector() : std::vector<double>(n, path.strokeRadiusPx);
    FinishedStroke finished = finishStroke(path.points, radii, path.strokeRadiusPx, path.isHatch, params);
    VectorPath out = path;
    out.beziers = std::move(finished.beziers);
    out.pointRadiiPx = std::move(radii);
    out.outlineBeziers = std::move(finished.outline);
    out.isClosed = finished.isClosed;
    return out;
}

VectorizationResult rebuildGeometryFromEditedLayers(std::vector<PenLayer> layers, std::int64_t imageWidth,
                                                    std::int64_t imageHeight, const VectorizerParams& params,
                                                    bool usedNeuralEngine, const std::vector<double>& breakpointsPx,
                                                    bool reoptimizeTour) {
    Totals totals;
    for (PenLayer& layer : layers) {
        if (reoptimizeTour) {
            auto tour = BezierAndPlotterOptimizer::optimizePlotterTour(layer.paths, params.optimize2Opt);
            layer.paths = std::move(tour.paths);
            totals.add(layer.paths, tour.rawTravelPx, tour.optimizedTravelPx);
        } else {
            const double travel = BezierAndPlotterOptimizer::computeTravelDistance(layer.paths);
            totals.add(layer.paths, travel, travel);
        }
    }
    const PageTransform transform = PageTransform::make(imageWidth, imageHeight, params);
    PlotterMetrics metrics = makeMetrics(layers, transform, totals, imageWidth, imageHeight);
    metrics.computeMilliseconds = 1.0;
    metrics.usedNeuralEngine = usedNeuralEngine;
    metrics.penBreakpointsPx = breakpointsPx;
    return assembleWithoutTexts(std::move(layers), transform, std::move(metrics));
}

VectorizationResult rebuildFromEditedLayers(std::vector<PenLayer> layers, std::int64_t imageWidth,
                                            std::int64_t imageHeight, const VectorizerParams& params,
                                            bool usedNeuralEngine, const std::vector<double>& breakpointsPx,
                                            bool reoptimizeTour) {
    VectorizationResult result = rebuildGeometryFromEditedLayers(std::move(layers), imageWidth, imageHeight, params,
                                                                 usedNeuralEngine, breakpointsPx, reoptimizeTour);
    writeSvgTexts(result, params);
    return result;
}

void writeSvgTexts(VectorizationResult& result, const VectorizerParams& params) {
    const auto write = [&result, &params](bool forPreview) {
        return SVGExporter::generateSVG(result.layers, result.pageTransform, result.metrics, params, forPreview);
    };
    if (!isLargeDocument(result.layers)) {
        result.svgPreview = write(true);
        result.svgAxiDraw = write(false);
        return;
    }
    // The two texts side by side on the parallel pool; neither writes what the other reads. A failure
    // of either surfaces here, after both have stopped.
    parallelFor(2, 1, [&](std::size_t first, std::size_t last) {
        for (std::size_t text = first; text < last; ++text) {
            const bool forPreview = text == 0;
            (forPreview ? result.svgPreview : result.svgAxiDraw) = write(forPreview);
        }
    });
}

void deferSvgTexts(VectorizationResult& result, const VectorizerParams& params) {
    struct Inputs {
        std::vector<PenLayer> layers;
        PageTransform pageTransform;
        PlotterMetrics metrics;
        VectorizerParams params;
    };
    auto inputs = std::make_shared<const Inputs>(Inputs{result.layers, result.pageTransform, result.metrics, params});
    const auto writer = [inputs](bool forPreview) {
        return [inputs, forPreview] {
            return SVGExporter::generateSVG(inputs->layers, inputs->pageTransform, inputs->metrics, inputs->params,
                                            forPreview);
        };
    };
    result.svgPreview = DeferredText::later(writer(true));
    result.svgAxiDraw = DeferredText::later(writer(false));
}

bool isLargeDocument(const std::vector<PenLayer>& layers) noexcept {
    constexpr std::size_t kLargeDocumentElements = 20000;
    std::size_t elements = 0;
    for (const auto& layer : layers) {
        for (const auto& path : layer.paths) {
            elements += path.points.size() + 3 * path.beziers.size() + 3 * path.outlineBeziers.size();
        }
        if (elements >= kLargeDocumentElements) return true;
    }
    return false;
}

}  // namespace ostrel::VectorizationEngine
