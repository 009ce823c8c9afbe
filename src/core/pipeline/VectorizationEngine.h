// The raster-to-vector pipeline in two stages.
//
// Stage A (preprocess, extract, stitch, classify into pens, hatch) depends only
// on the extraction parameters and can be kept; stage B (simplify, fit, ribbons,
// tour, page, metrics, SVG texts) turns it into a finished result. Keeps no
// state and starts no threads of its own (its loops run on the shared pool of
// core/support/parallel/ParallelFor.h); never fails: degenerate input gives
// empty layers.
#pragma once

#include "core/model/VectorModel.h"
#include "core/model/VectorizerParams.h"
#include "core/pipeline/RasterImage.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ostrel {

/// One raw stroke of stage A.
struct RawPath {
    std::vector<VectorPoint> points;
    double radiusPx = 0;
    std::vector<double> pointRadii;  // one half width per point; may be empty or of another length
    bool isHatch = false;

    friend bool operator==(const RawPath&, const RawPath&) = default;
};

/// The kept result of stage A.
struct RawExtractionStage {
    std::int64_t imageWidth = 0;
    std::int64_t imageHeight = 0;
    std::string extractionCacheKey;
    bool usedNeuralEngine = false;
    std::vector<std::vector<RawPath>> pathsByPen;  // pathsByPen[pen]: raw paths in extraction order
    std::vector<double> breakpointsPx;

    friend bool operator==(const RawExtractionStage&, const RawExtractionStage&) = default;
};

struct VectorizationOutput {
    RawExtractionStage stageA;
    VectorizationResult result;
};

namespace VectorizationEngine {

/// Seconds on the monotonic clock that times every computation.
[[nodiscard]] double clockSeconds() noexcept;

[[nodiscard]] RawExtractionStage extractStageA(const RasterImage& image, const VectorizerParams& params);

/// extractStageA for an image the caller gives up: its pixels are freed during preprocessing (Canny
/// edges take what they need of them first); same result.
[[nodiscard]] RawExtractionStage extractStageA(RasterImage&& image, const VectorizerParams& params);

/// `existingVisibility` maps a pen index to the visibility its layer keeps; `computeStartTime` is a
/// clockSeconds() reading taken when the computation began.
/// How a result gets its two SVG texts: written before it is returned, or each written when first
/// read (a window that may never export them does not keep tens of megabytes of text).
enum class SvgTexts { written, deferred };

[[nodiscard]] VectorizationResult finalizeStageB(const RawExtractionStage& stageA, const VectorizerParams& params,
                                                 const std::map<std::int64_t, bool>& existingVisibility,
                                                 double computeStartTime, SvgTexts texts = SvgTexts::written);

/// Both stages, timed from now.
[[nodiscard]] VectorizationOutput vectorize(const RasterImage& image, const VectorizerParams& params);

/// Both stages for an image the caller gives up (see the extractStageA that takes one).
[[nodiscard]] VectorizationOutput vectorize(RasterImage&& image, const VectorizerParams& params);

/// Recomputes the derived geometry (curve, radii, outline, closed flag) of one edited stroke.
[[nodiscard]] VectorPath refitPath(const VectorPath& path, const VectorizerParams& params);

/// A complete result from edited layers, without running either stage.
[[nodiscard]] VectorizationResult rebuildFromEditedLayers(std::vector<PenLayer> layers, std::int64_t imageWidth,
                                                          std::int64_t imageHeight, const VectorizerParams& params,
                                                          bool usedNeuralEngine,
                                                          const std::vector<double>& breakpointsPx,
                                                          bool reoptimizeTour);

/// rebuildFromEditedLayers without its two SVG texts (left empty): the layers (in a new tour when
/// `reoptimizeTour`), the page transform and the metrics. writeSvgTexts completes it.
[[nodiscard]] VectorizationResult rebuildGeometryFromEditedLayers(std::vector<PenLayer> layers, std::int64_t imageWidth,
                                                                  std::int64_t imageHeight,
                                                                  const VectorizerParams& params, bool usedNeuralEngine,
                                                                  const std::vector<double>& breakpointsPx,
                                                                  bool reoptimizeTour);

/// Writes the preview and plotter SVG texts of `result` from its layers, page transform and metrics,
/// and touches nothing else of it (other threads may read those meanwhile). On a large document the
/// two texts are written at the same time, each by the same sequential writer: the same bytes.
void writeSvgTexts(VectorizationResult& result, const VectorizerParams& params);

/// Gives `result` the same two texts as writeSvgTexts, each written when first read (from a copy of
/// the layers, page transform, metrics and parameters taken now), so a commit that nobody reads the
/// texts of costs no text writing.
void deferSvgTexts(VectorizationResult& result, const VectorizerParams& params);

/// Whether `layers` are large enough (points plus three per cubic segment and outline segment, at least
/// 20,000) that writing their two texts side by side pays.
[[nodiscard]] bool isLargeDocument(const std::vector<PenLayer>& layers) noexcept;

}  // namespace VectorizationEngine
}  // namespace ostrel
