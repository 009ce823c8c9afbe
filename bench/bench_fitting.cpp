// Stage-B curve work on a seeded set of random smooth strokes, as a tracer gives them
// (points about 1 px apart, one radius per point): RDP simplification, Bézier fitting and
// the variable-width ribbon outline, separately and together.
#include "core/pipeline/BezierFitting.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

using namespace ostrel;
using namespace ostrel::BezierAndPlotterOptimizer;

struct Stroke {
    std::vector<VectorPoint> points;
    std::vector<double> radii;  // radii[i]: half width at points[i]
};

/// `count` strokes of 20…600 points with smoothly varying curvature and radius; a third are closed.
std::vector<Stroke> makeStrokes(std::size_t count, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0, 1);
    std::vector<Stroke> strokes;
    strokes.reserve(count);
    for (std::size_t s = 0; s < count; ++s) {
        const std::size_t n = 20 + static_cast<std::size_t>(unit(rng) * 580);
        const double a1 = 0.02 + 0.08 * unit(rng), a2 = 0.03 + 0.08 * unit(rng);
        const double f1 = 0.01 + 0.04 * unit(rng), f2 = 0.03 + 0.05 * unit(rng), phase = 6.28 * unit(rng);
        Stroke stroke;
        VectorPoint p{2400 * unit(rng), 2400 * unit(rng)};
        double heading = 6.28 * unit(rng);
        for (std::size_t i = 0; i < n; ++i) {
            stroke.points.push_back(p);
            stroke.radii.push_back(1.5 + std::sin(0.02 * double(i) + phase));
            heading += a1 * std::sin(f1 * double(i) + phase) + a2 * std::sin(f2 * double(i));
            p = {p.x + std::cos(heading), p.y + std::sin(heading)};
        }
        if (s % 3 == 0) {
            stroke.points.push_back(stroke.points.front());
            stroke.radii.push_back(stroke.radii.front());
        }
        strokes.push_back(std::move(stroke));
    }
    return strokes;
}

const std::vector<Stroke>& strokes() {
    static const std::vector<Stroke> set = makeStrokes(3000, 20240611);
    return set;
}

void BM_SimplifyRDP(benchmark::State& state) {
    std::size_t kept = 0;
    for (auto _ : state) {
        kept = 0;
        for (const Stroke& stroke : strokes())
            kept += simplifyRDPWithRadii(stroke.points, stroke.radii, 1.0).points.size();
        benchmark::DoNotOptimize(kept);
    }
    state.counters["strokes"] = static_cast<double>(strokes().size());
    state.counters["keptPoints"] = static_cast<double>(kept);
}
BENCHMARK(BM_SimplifyRDP)->Unit(benchmark::kMillisecond);

/// Fitting of the simplified strokes, as stage B does; range(0) is the smoothing in hundredths.
void BM_FitCubicBeziers(benchmark::State& state) {
    const double smoothing = static_cast<double>(state.range(0)) / 100;
    std::vector<SimplifiedStroke> simplified;
    for (const Stroke& stroke : strokes()) simplified.push_back(simplifyRDPWithRadii(stroke.points, stroke.radii, 1.0));
    std::size_t segments = 0;
    for (auto _ : state) {
        segments = 0;
        for (const SimplifiedStroke& stroke : simplified)
            segments += fitCubicBeziers(stroke.points, smoothing, 45).size();
        benchmark::DoNotOptimize(segments);
    }
    state.counters["segments"] = static_cast<double>(segments);
}
BENCHMARK(BM_FitCubicBeziers)->Arg(20)->Arg(65)->Arg(100)->Unit(benchmark::kMillisecond);

/// Least-squares fitting straight on the raw points (no simplification first).
void BM_FitRawStrokes(benchmark::State& state) {
    std::size_t segments = 0;
    for (auto _ : state) {
        segments = 0;
        for (const Stroke& stroke : strokes()) segments += fitCubicBeziers(stroke.points, 0.65, 45).size();
        benchmark::DoNotOptimize(segments);
    }
    state.counters["segments"] = static_cast<double>(segments);
}
BENCHMARK(BM_FitRawStrokes)->Unit(benchmark::kMillisecond);

void BM_Ribbons(benchmark::State& state) {
    std::vector<SimplifiedStroke> simplified;
    std::vector<std::vector<CubicBezierSegment>> fitted;
    for (const Stroke& stroke : strokes()) {
        simplified.push_back(simplifyRDPWithRadii(stroke.points, stroke.radii, 1.0));
        fitted.push_back(fitCubicBeziers(simplified.back().points, 0.65, 45));
    }
    std::size_t outlineSegments = 0;
    for (auto _ : state) {
        outlineSegments = 0;
        for (std::size_t i = 0; i < simplified.size(); ++i) {
            const bool isClosed = simplified[i].points.front().distance(simplified[i].points.back()) < 1.5;
            outlineSegments +=
                buildVariableWidthRibbon(simplified[i].points, simplified[i].radii, fitted[i], 1.5, 1.0, isClosed)
                    .size();
        }
        benchmark::DoNotOptimize(outlineSegments);
    }
    state.counters["outlineSegments"] = static_cast<double>(outlineSegments);
}
BENCHMARK(BM_Ribbons)->Unit(benchmark::kMillisecond);

/// The whole per-stroke chain of stage B: simplify, fit, outline.
void BM_SimplifyFitAndRibbon(benchmark::State& state) {
    std::size_t outlineSegments = 0;
    for (auto _ : state) {
        outlineSegments = 0;
        for (const Stroke& stroke : strokes()) {
            const SimplifiedStroke simple = simplifyRDPWithRadii(stroke.points, stroke.radii, 1.0);
            const std::vector<CubicBezierSegment> beziers = fitCubicBeziers(simple.points, 0.65, 45);
            const bool isClosed = simple.points.front().distance(simple.points.back()) < 1.5;
            outlineSegments +=
                buildVariableWidthRibbon(simple.points, simple.radii, beziers, 1.5, 1.0, isClosed).size();
        }
        benchmark::DoNotOptimize(outlineSegments);
    }
    state.counters["outlineSegments"] = static_cast<double>(outlineSegments);
}
BENCHMARK(BM_SimplifyFitAndRibbon)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
