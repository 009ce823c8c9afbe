#include "core/plotter/AxiDrawCompiledJob.h"

#include "core/model/CubicBezier.h"
#include "core/model/PageTransform.h"
#include "core/support/text/NumberFormat.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace ostrel {

namespace {

constexpr double kSampleSpacingMM = 0.45;
constexpr int kMinSamplesPerSegment = 2;
constexpr int kMaxSamplesPerSegment = 32;
constexpr double kLiftAndTravelThresholdMM = 0.08;
constexpr double kMinimumDrawStepMM = 0.02;
constexpr double kReturnThresholdMM = 0.05;

/// Image pixels to millimetres inside the travel area [0, W] × [0, H]; counts the points it moved.
class TravelAreaMapping {
public:
    TravelAreaMapping(const PageTransform& transform, const AxiDrawConfig& config)
        : transform_(transform),
          width_(maxTravelWidthMM(config.machineModel)),
          height_(maxTravelHeightMM(config.machineModel)) {}

    // clampMM: page transform, then each coordinate limited to its travel range (NaN → 0).
    VectorPoint operator()(const VectorPoint& imagePoint) {
        const VectorPoint page = transform_.isRawPixels ? VectorPoint{imagePoint.x * kMillimetresPerPixelAt96Dpi,
                                                                      imagePoint.y * kMillimetresPerPixelAt96Dpi}
                                                        : transform_.toPage(imagePoint);
        const VectorPoint limited{limit(page.x, width_), limit(page.y, height_)};
        if (!(limited == page)) ++clamped_;
        return limited;
    }

    /// A point sampled between mapped points: inside in exact arithmetic, but the Bernstein sum can
    /// overshoot the border by an ulp or two; limited again, without counting.
    [[nodiscard]] VectorPoint keepInside(const VectorPoint& sample) const noexcept {
        return {limit(sample.x, width_), limit(sample.y, height_)};
    }

    [[nodiscard]] std::int64_t takeClampedCount() noexcept { return std::exchange(clamped_, 0); }

private:
    static double limit(double value, double maximum) noexcept {
        if (value > maximum) return maximum;
        return value >= 0 ? value : 0.0;
    }

    PageTransform transform_;
    double width_;
    double height_;
    std::int64_t clamped_ = 0;
};

/// The path as millimetre points: its polyline, or its Bézier segments sampled (segment starts
/// after the first are not emitted; the next sample joins any gap).
std::vector<VectorPoint> discretizePathToMM(const VectorPath& path, TravelAreaMapping& clampMM) {
    std::vector<VectorPoint> out;
    if (path.beziers.empty()) {
        out.reserve(path.points.size());
        for (const VectorPoint& p : path.points) out.push_back(clampMM(p));
        return out;
    }
    out.reserve(path.beziers.size() * 6 + 1);
    out.push_back(clampMM(path.beziers.front().p0));
    for (const CubicBezierSegment& segment : path.beziers) {
        const CubicBezierSegment mapped{clampMM(segment.p0), clampMM(segment.c1), clampMM(segment.c2),
                                        clampMM(segment.p3)};
        const double polygon =
            mapped.p0.distance(mapped.c1) + mapped.c1.distance(mapped.c2) + mapped.c2.distance(mapped.p3);
        const double wanted = std::ceil(polygon / kSampleSpacingMM);
        const int n = wanted < kMinSamplesPerSegment   ? kMinSamplesPerSegment
                      : wanted > kMaxSamplesPerSegment ? kMaxSamplesPerSegment
                                                       : static_cast<int>(wanted);
        for (int k = 1; k <= n; ++k) {
            out.push_back(clampMM.keepInside(cubicPoint(mapped, static_cast<double>(k) / static_cast<double>(n))));
        }
    }
    return out;
}

void include(std::optional<AxiDrawBoundingBox>& box, const VectorPoint& p) {
    if (!box) {
        box = AxiDrawBoundingBox{p, p};
        return;
    }
    box->min = {std::min(box->min.x, p.x), std::min(box->min.y, p.y)};
    box->max = {std::max(box->max.x, p.x), std::max(box->max.y, p.y)};
}

}  // namespace

AxiDrawJobStep AxiDrawJobStep::beginLayer(std::int64_t penIndex, std::string penName, double widthMM) {
    return {BeginLayer{penIndex, std::move(penName), widthMM}};
}

AxiDrawJobStep AxiDrawJobStep::setPen(bool down, int delayMs) { return {SetPen{down, delayMs}}; }

AxiDrawJobStep AxiDrawJobStep::moveXY(VectorPoint targetMM, bool penDown, std::optional<std::int64_t> pathID) {
    return {MoveXY{targetMM, penDown, pathID}};
}

AxiDrawCompiledJob AxiDrawCompiledJob::compile(const VectorizationResult& result, const AxiDrawConfig& config,
                                               std::optional<std::int64_t> onlyPenIndex) {
    AxiDrawCompiledJob job;
    std::vector<const PenLayer*> layers;
    for (const PenLayer& layer : result.layers) {
        if (!layer.visible || layer.paths.empty()) continue;
        if (onlyPenIndex && layer.index != *onlyPenIndex) continue;
        layers.push_back(&layer);
    }
    if (layers.empty()) return job;

    TravelAreaMapping clampMM(result.pageTransform, config);
    const int delay = config.penDelayMs;
    VectorPoint current = VectorPoint::zero;
    bool penDown = false;

    const auto returnHome = [&] {
        const double d = current.distance(VectorPoint::zero);
        if (d > kReturnThresholdMM) {
            job.steps.push_back(AxiDrawJobStep::moveXY(VectorPoint::zero, false, std::nullopt));
            job.totalTravelMM += d;
            current = VectorPoint::zero;
        }
    };

    for (std::size_t layerIndex = 0; layerIndex < layers.size(); ++layerIndex) {
        const PenLayer& layer = *layers[layerIndex];
        if (layerIndex > 0 && config.pauseBetweenPenLayers) {
            if (penDown) job.steps.push_back(AxiDrawJobStep::setPen(false, delay));
            returnHome();
            job.steps.push_back(AxiDrawJobStep::beginLayer(layer.index, layer.name, layer.widthMM));
            penDown = false;
        }
        for (const VectorPath& path : layer.paths) {
            const std::vector<VectorPoint> q = discretizePathToMM(path, clampMM);
            const std::int64_t clamped = clampMM.takeClampedCount();
            if (q.size() < 2) continue;
            job.clampedPointCount += clamped;

            const double d = current.distance(q[0]);
            if (d > kLiftAndTravelThresholdMM) {
                if (penDown) job.steps.push_back(AxiDrawJobStep::setPen(false, delay));
                job.steps.push_back(AxiDrawJobStep::moveXY(q[0], false, path.id));
                job.totalTravelMM += d;
                current = q[0];
                job.steps.push_back(AxiDrawJobStep::setPen(true, delay));
            } else if (!penDown) {
                job.steps.push_back(AxiDrawJobStep::setPen(true, delay));
            }
            include(job.boundingBoxMM, q[0]);
            for (std::size_t k = 1; k < q.size(); ++k) {
                const double e = current.distance(q[k]);
                if (e > kMinimumDrawStepMM) {
                    job.steps.push_back(AxiDrawJobStep::moveXY(q[k], true, path.id));
                    job.totalDrawMM += e;
                    current = q[k];
                }
                include(job.boundingBoxMM, q[k]);
            }
            penDown = true;
        }
    }
    if (penDown) job.steps.push_back(AxiDrawJobStep::setPen(false, delay));
    returnHome();
    return job;
}

AxiDrawCompiledJob AxiDrawCompiledJob::compileBoundingBoxTour(const VectorizationResult& result,
                                                              const AxiDrawConfig& config) {
    const AxiDrawCompiledJob full = compile(result, config, std::nullopt);
    AxiDrawCompiledJob tour;
    if (!full.boundingBoxMM) return tour;
    tour.boundingBoxMM = full.boundingBoxMM;
    tour.clampedPointCount = full.clampedPointCount;
    const VectorPoint lo = full.boundingBoxMM->min;
    const VectorPoint hi = full.boundingBoxMM->max;
    const VectorPoint corners[] = {lo, {hi.x, lo.y}, hi, {lo.x, hi.y}, lo, VectorPoint::zero};
    tour.steps.push_back(AxiDrawJobStep::setPen(false, config.penDelayMs));
    VectorPoint current = VectorPoint::zero;
    for (const VectorPoint& corner : corners) {
        tour.steps.push_back(AxiDrawJobStep::moveXY(corner, false, std::nullopt));
        tour.totalTravelMM += current.distance(corner);
        current = corner;
    }
    return tour;
}

std::string describe(const AxiDrawJobStep& step) {
    if (const auto* b = step.as<AxiDrawJobStep::BeginLayer>()) {
        return "AxiDrawJobStep::beginLayer(" + integerText(b->penIndex) + ", " + b->penName + ", " +
               shortestText(b->widthMM) + ")";
    }
    if (const auto* s = step.as<AxiDrawJobStep::SetPen>()) {
        return std::string("AxiDrawJobStep::setPen(") + (s->down ? "down" : "up") + ", " + integerText(s->delayMs) +
               ")";
    }
    const auto& m = *step.as<AxiDrawJobStep::MoveXY>();
    return "AxiDrawJobStep::moveXY((" + shortestText(m.targetMM.x) + ", " + shortestText(m.targetMM.y) + "), " +
           (m.penDown ? "down" : "up") + ", " + (m.pathID ? integerText(*m.pathID) : std::string("none")) + ")";
}

}  // namespace ostrel
