// Plotter tour and pen classification on seeded synthetic strokes.
//
// Tour: greedy nearest-end order alone and followed by windowed 2-opt, on 2,300 and 20,000 random
// polylines over a 2400 × 2400 image. Counters report the pen-up travel (px) of the input order,
// after the greedy phase and after 2-opt, so the saving of each phase can be compared with other tools.
// Classification: stitching of broken random chains and pen classification on a distance field
// whose stroke half-width grows from left to right.
#include "core/pipeline/PenClassifier.h"
#include "core/pipeline/PlotterTour.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <random>

namespace {

using namespace ostrel;

constexpr double kImageSide = 2400;

/// Seeded random polylines: 2–12 points, a random walk of 3–15 px steps with a slowly turning heading.
std::vector<VectorPath> randomPolylines(std::size_t count, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> position(0, kImageSide);
    std::uniform_real_distribution<double> heading(0, 2 * std::numbers::pi);
    std::uniform_real_distribution<double> turn(-0.5, 0.5);
    std::uniform_real_distribution<double> step(3, 15);
    std::uniform_int_distribution<int> length(2, 12);
    std::vector<VectorPath> paths(count);
    for (std::size_t i = 0; i < count; ++i) {
        VectorPath& path = paths[i];
        path.id = static_cast<std::int64_t>(i + 1);
        VectorPoint p{position(rng), position(rng)};
        double angle = heading(rng);
        const int n = length(rng);
        for (int k = 0; k < n; ++k) {
            path.points.push_back(p);
            angle += turn(rng);
            const double s = step(rng);
            p = {std::clamp(p.x + s * std::cos(angle), 0.0, kImageSide),
                 std::clamp(p.y + s * std::sin(angle), 0.0, kImageSide)};
        }
        path.pointRadiiPx.assign(path.points.size(), 1.0);
        path.strokeRadiusPx = 1.0;
    }
    return paths;
}

void BM_TourGreedy(benchmark::State& state) {
    const auto paths = randomPolylines(static_cast<std::size_t>(state.range(0)), 2300);
    BezierAndPlotterOptimizer::PlotterTour tour;
    for (auto _ : state) {
        tour = BezierAndPlotterOptimizer::optimizePlotterTour(paths, false);
        benchmark::DoNotOptimize(tour.paths.data());
    }
    state.counters["raw_travel_px"] = tour.rawTravelPx;
    state.counters["greedy_travel_px"] = tour.optimizedTravelPx;
}
BENCHMARK(BM_TourGreedy)->Arg(2300)->Arg(20000)->Unit(benchmark::kMillisecond);

void BM_TourGreedyTwoOpt(benchmark::State& state) {
    const auto paths = randomPolylines(static_cast<std::size_t>(state.range(0)), 2300);
    const double greedy = BezierAndPlotterOptimizer::optimizePlotterTour(paths, false).optimizedTravelPx;
    BezierAndPlotterOptimizer::PlotterTour tour;
    for (auto _ : state) {
        tour = BezierAndPlotterOptimizer::optimizePlotterTour(paths, true);
        benchmark::DoNotOptimize(tour.paths.data());
    }
    state.counters["raw_travel_px"] = tour.rawTravelPx;
    state.counters["greedy_travel_px"] = greedy;
    state.counters["two_opt_travel_px"] = tour.optimizedTravelPx;
    state.counters["saving_pct"] =
        tour.rawTravelPx > 0 ? (tour.rawTravelPx - tour.optimizedTravelPx) / tour.rawTravelPx * 100 : 0;
}
BENCHMARK(BM_TourGreedyTwoOpt)->Arg(2300)->Arg(20000)->Unit(benchmark::kMillisecond);

/// A 2400 × 2400 field whose distance is 1 + 4 × x / width everywhere (stroke half-widths 1 to 5 px).
PreprocessedFields syntheticField() {
    PreprocessedFields fields;
    const auto side = static_cast<std::int64_t>(kImageSide);
    fields.width = side;
    fields.height = side;
    fields.distanceField.resize(static_cast<std::size_t>(side * side));
    for (std::int64_t y = 0; y < side; ++y) {
        for (std::int64_t x = 0; x < side; ++x) {
            fields.distanceField[static_cast<std::size_t>(y * side + x)] =
                static_cast<float>(1.0 + 4.0 * static_cast<double>(x) / kImageSide);
        }
    }
    return fields;
}

/// Seeded smooth random chains of 20–200 points (1 px apart), each cut into pieces with 1–5 px gaps,
/// as a tracer leaves them at junctions and faint passages.
std::vector<std::vector<VectorPoint>> brokenChains(std::size_t chains, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> position(50, kImageSide - 50);
    std::uniform_real_distribution<double> heading(0, 2 * std::numbers::pi);
    std::uniform_real_distribution<double> turn(-0.08, 0.08);
    std::uniform_int_distribution<int> length(20, 200);
    std::uniform_int_distribution<int> piece(8, 60);
    std::uniform_int_distribution<int> gap(1, 5);
    std::vector<std::vector<VectorPoint>> out;
    for (std::size_t c = 0; c < chains; ++c) {
        VectorPoint p{position(rng), position(rng)};
        double angle = heading(rng);
        const int n = length(rng);
        std::vector<VectorPoint> current;
        int left = piece(rng);
        for (int k = 0; k < n; ++k) {
            current.push_back(p);
            angle += turn(rng);
            p = {p.x + std::cos(angle), p.y + std::sin(angle)};
            if (--left == 0) {
                out.push_back(std::move(current));
                current.clear();
                const int skip = gap(rng);
                for (int g = 0; g < skip; ++g) p = {p.x + std::cos(angle), p.y + std::sin(angle)};
                left = piece(rng);
            }
        }
        if (current.size() >= 2) out.push_back(std::move(current));
    }
    return out;
}

void BM_StitchAndClassify(benchmark::State& state) {
    const PreprocessedFields fields = syntheticField();
    const auto chains = brokenChains(static_cast<std::size_t>(state.range(0)), 2104);
    VectorizerParams params;  // 2 pens, gap 8 px, continuity 55
    std::size_t stitchedCount = 0;
    std::size_t pen0 = 0;
    std::size_t pen1 = 0;
    for (auto _ : state) {
        const auto stitched = CenterlineTracer::stitchPaths(chains, std::min(params.maxStitchGapPx, 4.0), 15);
        const auto pens = CenterlineTracer::measureAndClassifyPens(stitched, fields, params);
        benchmark::DoNotOptimize(pens.pathsByPen.data());
        stitchedCount = stitched.size();
        pen0 = pens.pathsByPen[0].size();
        pen1 = pens.pathsByPen[1].size();
    }
    state.counters["chains_in"] = static_cast<double>(chains.size());
    state.counters["after_stitch"] = static_cast<double>(stitchedCount);
    state.counters["pen0_paths"] = static_cast<double>(pen0);
    state.counters["pen1_paths"] = static_cast<double>(pen1);
}
BENCHMARK(BM_StitchAndClassify)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
