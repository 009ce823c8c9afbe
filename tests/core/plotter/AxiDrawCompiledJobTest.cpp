#include "core/plotter/AxiDrawCompiledJob.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace ostrel {

void PrintTo(const AxiDrawJobStep& step, std::ostream* os) { *os << describe(step); }

namespace {

using Step = AxiDrawJobStep;

VectorPath polyline(std::int64_t id, std::vector<VectorPoint> points) {
    VectorPath path;
    path.id = id;
    path.points = std::move(points);
    return path;
}

PenLayer layer(std::int64_t index, std::vector<VectorPath> paths, bool visible = true) {
    return PenLayer::make(index, "P" + std::to_string(index), 0.5, std::nullopt, visible, std::move(paths));
}

VectorizationResult resultOf(std::vector<PenLayer> layers) {
    VectorizationResult result;
    result.layers = std::move(layers);  // default page transform: pixels are millimetres
    return result;
}

/// One Bézier segment on the line y = 10 with the given x of P0, C1, C2, P3.
VectorPath bezierAlongX(std::int64_t id, double p0, double c1, double c2, double p3) {
    VectorPath path;
    path.id = id;
    path.beziers = {{{p0, 10}, {c1, 10}, {c2, 10}, {p3, 10}}};
    return path;
}

std::size_t drawMoves(const AxiDrawCompiledJob& job) {
    std::size_t n = 0;
    for (const Step& s : job.steps) {
        if (const auto* m = s.as<Step::MoveXY>(); m && m->penDown) ++n;
    }
    return n;
}

TEST(AxiDrawCompiledJob, SinglePolylineStepsAndTotals) {
    const auto job = AxiDrawCompiledJob::compile(resultOf({layer(0, {polyline(7, {{10, 10}, {20, 10}})})}), {});
    const std::vector<Step> expected{Step::moveXY({10, 10}, false, 7), Step::setPen(true, 150),
                                     Step::moveXY({20, 10}, true, 7), Step::setPen(false, 150),
                                     Step::moveXY({0, 0}, false, std::nullopt)};
    EXPECT_EQ(job.steps, expected);
    EXPECT_DOUBLE_EQ(job.totalDrawMM, 10.0);
    // Out to (10, 10), back from (20, 10): √200 + √500.
    EXPECT_NEAR(job.totalTravelMM, std::sqrt(200.0) + std::sqrt(500.0), 1e-12);
    EXPECT_NEAR(job.totalTravelMM, 36.503, 5e-4);
    EXPECT_EQ(job.boundingBoxMM, (AxiDrawBoundingBox{{10, 10}, {20, 10}}));
    EXPECT_EQ(job.clampedPointCount, 0);
}

TEST(AxiDrawCompiledJob, JoinsAndMinimumStep) {
    // B starts 0.079 mm from A's end: drawn on without lifting; C starts 0.081 mm away: lift and travel.
    const auto joined = AxiDrawCompiledJob::compile(
        resultOf({layer(0, {polyline(1, {{10, 10}, {20, 10}}), polyline(2, {{20.079, 10}, {30, 10}}),
                            polyline(3, {{30.081, 10}, {40, 10}})})}),
        {});
    const std::vector<Step> expected{Step::moveXY({10, 10}, false, 1), Step::setPen(true, 150),
                                     Step::moveXY({20, 10}, true, 1),  Step::moveXY({30, 10}, true, 2),
                                     Step::setPen(false, 150),         Step::moveXY({30.081, 10}, false, 3),
                                     Step::setPen(true, 150),          Step::moveXY({40, 10}, true, 3),
                                     Step::setPen(false, 150),         Step::moveXY({0, 0}, false, std::nullopt)};
    EXPECT_EQ(joined.steps, expected);

    // Points 0.015 mm apart: a move only once a point is more than 0.02 mm past the last target.
    const auto chain = AxiDrawCompiledJob::compile(
        resultOf({layer(0, {polyline(1, {{10, 10}, {10.015, 10}, {10.03, 10}, {10.045, 10}, {10.06, 10}})})}), {});
    std::vector<VectorPoint> targets;
    for (const Step& s : chain.steps) {
        if (const auto* m = s.as<Step::MoveXY>(); m && m->penDown) targets.push_back(m->targetMM);
    }
    EXPECT_EQ(targets, (std::vector<VectorPoint>{{10.03, 10}, {10.06, 10}}));
    EXPECT_EQ(chain.boundingBoxMM, (AxiDrawBoundingBox{{10, 10}, {10.06, 10}}));

    // A path at home: the pen goes down where it is, and a job ending within 0.05 mm of home
    // ends with the pen raise alone.
    const auto atHome =
        AxiDrawCompiledJob::compile(resultOf({layer(0, {polyline(4, {{0.05, 0}, {5, 0}, {0.03, 0.03}})})}), {});
    EXPECT_EQ(atHome.steps.front(), Step::setPen(true, 150));
    EXPECT_EQ(atHome.steps.back(), Step::setPen(false, 150));
}

TEST(AxiDrawCompiledJob, LayerPausesOnAndOff) {
    const auto result =
        resultOf({layer(0, {polyline(1, {{10, 10}, {20, 10}})}), layer(1, {polyline(2, {{20.05, 10}, {20, 30}})}),
                  layer(2, {}), layer(3, {polyline(9, {{50, 50}, {60, 60}})}, false)});
    AxiDrawConfig config;
    const auto paused = AxiDrawCompiledJob::compile(result, config);
    const std::vector<Step> expected{Step::moveXY({10, 10}, false, 1),          Step::setPen(true, 150),
                                     Step::moveXY({20, 10}, true, 1),           Step::setPen(false, 150),
                                     Step::moveXY({0, 0}, false, std::nullopt), Step::beginLayer(1, "P1", 0.5),
                                     Step::moveXY({20.05, 10}, false, 2),       Step::setPen(true, 150),
                                     Step::moveXY({20, 30}, true, 2),           Step::setPen(false, 150),
                                     Step::moveXY({0, 0}, false, std::nullopt)};
    EXPECT_EQ(paused.steps, expected);

    config.pauseBetweenPenLayers = false;
    const auto straight = AxiDrawCompiledJob::compile(result, config);
    const std::vector<Step> joined{Step::moveXY({10, 10}, false, 1), Step::setPen(true, 150),
                                   Step::moveXY({20, 10}, true, 1),  Step::moveXY({20, 30}, true, 2),
                                   Step::setPen(false, 150),         Step::moveXY({0, 0}, false, std::nullopt)};
    EXPECT_EQ(straight.steps, joined);

    // Only one pen: the layer alone, without a pen change.
    const auto second = AxiDrawCompiledJob::compile(result, {}, 1);
    EXPECT_EQ(second.steps.front(), Step::moveXY({20.05, 10}, false, 2));

    // A later layer of paths that produce nothing still gets its pen change (after the return home).
    const auto emptyPaths = AxiDrawCompiledJob::compile(
        resultOf({layer(0, {polyline(1, {{10, 10}, {20, 10}})}), layer(1, {polyline(2, {{5, 5}}), VectorPath{}})}), {});
    ASSERT_GE(emptyPaths.steps.size(), 2u);
    EXPECT_EQ(emptyPaths.steps.back(), Step::beginLayer(1, "P1", 0.5));
    EXPECT_EQ(emptyPaths.boundingBoxMM, (AxiDrawBoundingBox{{10, 10}, {20, 10}}));
}

TEST(AxiDrawCompiledJob, NothingToCompile) {
    const std::vector<VectorizationResult> empties{
        resultOf({}), resultOf({layer(0, {polyline(1, {{1, 1}, {2, 2}})}, false)}), resultOf({layer(0, {})})};
    for (const auto& result : empties) {
        EXPECT_EQ(AxiDrawCompiledJob::compile(result, {}), AxiDrawCompiledJob{});
        EXPECT_EQ(AxiDrawCompiledJob::compileBoundingBoxTour(result, {}), AxiDrawCompiledJob{});
    }
    EXPECT_TRUE(
        AxiDrawCompiledJob::compile(resultOf({layer(0, {polyline(1, {{1, 1}, {2, 2}})})}), {}, 5).steps.empty());
    // One-point and empty paths make no step at all.
    EXPECT_TRUE(
        AxiDrawCompiledJob::compile(resultOf({layer(0, {polyline(1, {{1, 1}}), VectorPath{}})}), {}).steps.empty());
}

TEST(AxiDrawCompiledJob, BezierSampleCounts) {
    // Control polygons of 0.9, 0.91, 6, 14.4 and 100 mm; every sample is more than 0.02 mm from
    // the one before, so each one is a move.
    struct Case {
        double c1, c2, p3;
        std::size_t samples;
    };
    for (const Case c : {Case{0.45, 0.45, 0.9, 2}, Case{0.3, 0.6, 0.91, 3}, Case{2, 4, 6, 14}, Case{4.8, 9.6, 14.4, 32},
                         Case{33.3, 66.6, 100, 32}}) {
        const auto job = AxiDrawCompiledJob::compile(resultOf({layer(0, {bezierAlongX(1, 0, c.c1, c.c2, c.p3)})}), {});
        EXPECT_EQ(drawMoves(job), c.samples) << c.p3;
        EXPECT_EQ(job.boundingBoxMM->max.x, c.p3);
    }
    // A degenerate segment: two samples at the same point, so nothing is drawn but the pen goes down.
    VectorPath dot;
    dot.beziers = {{{10, 10}, {10, 10}, {10, 10}, {10, 10}}};
    const auto job = AxiDrawCompiledJob::compile(resultOf({layer(0, {dot})}), {});
    EXPECT_EQ(drawMoves(job), 0u);
    EXPECT_EQ(job.steps[1], Step::setPen(true, 150));

    // A gap between segments is joined by the first sample of the next one.
    VectorPath gap;
    gap.beziers = {{{10, 10}, {10, 10}, {10.2, 10}, {10.2, 10}}, {{20, 10}, {20, 10}, {20.2, 10}, {20.2, 10}}};
    const auto gapJob = AxiDrawCompiledJob::compile(resultOf({layer(0, {gap})}), {});
    EXPECT_EQ(drawMoves(gapJob), 4u);
}

TEST(AxiDrawCompiledJob, ClampsToTravelAreaAndCountsIt) {
    const auto job = AxiDrawCompiledJob::compile(
        resultOf({layer(0, {polyline(1, {{-5, 500}, {10, 10}, {400, 10}}), polyline(2, {{900, 900}})})}), {});
    EXPECT_EQ(job.steps.front(), Step::moveXY({0, 218}, false, 1));
    EXPECT_EQ(job.steps[3], Step::moveXY({300, 10}, true, 1));
    EXPECT_EQ(job.clampedPointCount, 2);  // the skipped one-point path does not count
    EXPECT_EQ(job.boundingBoxMM, (AxiDrawBoundingBox{{0, 10}, {300, 218}}));

    AxiDrawConfig mini;
    mini.machineModel = AxiDrawMachineModel::miniKit;
    const auto small = AxiDrawCompiledJob::compile(resultOf({layer(0, {polyline(1, {{150, 90}, {200, 200}})})}), mini);
    EXPECT_EQ(small.boundingBoxMM, (AxiDrawBoundingBox{{150, 90}, {160, 101}}));
    EXPECT_EQ(small.clampedPointCount, 1);
}

TEST(AxiDrawCompiledJob, RawPixelsAreMeasuredAt96Dpi) {
    auto result = resultOf({layer(0, {polyline(1, {{96, 96}, {192, 96}})})});
    result.pageTransform.isRawPixels = true;
    const auto job = AxiDrawCompiledJob::compile(result, {});
    EXPECT_EQ(job.steps.front(), Step::moveXY({96 * (25.4 / 96), 96 * (25.4 / 96)}, false, 1));
    EXPECT_NEAR(job.totalDrawMM, 25.4, 1e-12);

    // A fitted page transform is applied as it is.
    result.pageTransform = {};
    result.pageTransform.scalePxToMM = 0.5;
    result.pageTransform.offsetXMM = 3;
    result.pageTransform.offsetYMM = 4;
    EXPECT_EQ(AxiDrawCompiledJob::compile(result, {}).steps.front(), Step::moveXY({51, 52}, false, 1));
}

TEST(AxiDrawCompiledJob, FramingTour) {
    const auto result = resultOf(
        {layer(0, {polyline(1, {{20, 30}, {120, 80}})}), layer(1, {polyline(2, {{50, 50}, {60, 60}})}, false)});
    const auto tour = AxiDrawCompiledJob::compileBoundingBoxTour(result, {});
    const std::vector<Step> expected{Step::setPen(false, 150),
                                     Step::moveXY({20, 30}, false, std::nullopt),
                                     Step::moveXY({120, 30}, false, std::nullopt),
                                     Step::moveXY({120, 80}, false, std::nullopt),
                                     Step::moveXY({20, 80}, false, std::nullopt),
                                     Step::moveXY({20, 30}, false, std::nullopt),
                                     Step::moveXY({0, 0}, false, std::nullopt)};
    EXPECT_EQ(tour.steps, expected);
    EXPECT_EQ(tour.totalDrawMM, 0);
    EXPECT_NEAR(tour.totalTravelMM, 2 * std::sqrt(1300.0) + 300, 1e-9);
}

// Invariants over whole jobs: every move inside the travel area, the totals equal the sums of the
// moves, pen changes happen pen-up at home, and the job ends pen-up at home.
TEST(AxiDrawCompiledJob, WholeJobInvariants) {
    std::uint64_t seed = 0x9E3779B97F4A7C15ull;
    const auto next = [&] {  // splitmix64 in [0, 1)
        seed += 0x9E3779B97F4A7C15ull;
        std::uint64_t z = seed;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<double>((z ^ (z >> 31)) >> 11) / 9007199254740992.0;
    };
    std::vector<PenLayer> layers;
    std::int64_t id = 0;
    for (int l = 0; l < 3; ++l) {
        std::vector<VectorPath> paths;
        for (int p = 0; p < 40; ++p) {
            VectorPath path;
            path.id = id++;
            const VectorPoint start{next() * 340 - 20, next() * 260 - 20};  // some outside the area
            if (p % 2 == 0) {
                for (int k = 0; k < 6; ++k) path.points.push_back({start.x + next() * 8, start.y + next() * 8});
            } else {
                VectorPoint at = start;
                for (int k = 0; k < 3; ++k) {
                    const VectorPoint end{at.x + next() * 10 - 5, at.y + next() * 10 - 5};
                    path.beziers.push_back({at, {at.x + next() * 4, at.y}, {end.x, end.y + next() * 4}, end});
                    at = end;
                }
            }
            paths.push_back(std::move(path));
        }
        layers.push_back(layer(l, std::move(paths)));
    }
    for (const bool pauses : {true, false}) {
        AxiDrawConfig config;
        config.pauseBetweenPenLayers = pauses;
        const auto job = AxiDrawCompiledJob::compile(resultOf(layers), config);
        VectorPoint at = VectorPoint::zero;
        bool penDown = false;
        double draw = 0;
        double travel = 0;
        int pauseCount = 0;
        for (const Step& s : job.steps) {
            if (const auto* m = s.as<Step::MoveXY>()) {
                EXPECT_EQ(m->penDown, penDown) << describe(s);
                EXPECT_TRUE(m->targetMM.x >= 0 && m->targetMM.x <= 300 && m->targetMM.y >= 0 && m->targetMM.y <= 218)
                    << describe(s) << " " << m->targetMM.x - 300 << " " << m->targetMM.y - 218;
                (m->penDown ? draw : travel) += at.distance(m->targetMM);
                at = m->targetMM;
            } else if (const auto* pen = s.as<Step::SetPen>()) {
                EXPECT_NE(pen->down, penDown) << "redundant pen step";
                penDown = pen->down;
            } else {
                ++pauseCount;
                EXPECT_FALSE(penDown);
                EXPECT_EQ(at, VectorPoint::zero);
            }
        }
        EXPECT_FALSE(penDown);
        EXPECT_EQ(at, VectorPoint::zero);
        EXPECT_EQ(pauseCount, pauses ? 2 : 0);
        EXPECT_NEAR(job.totalDrawMM, draw, 1e-9);
        EXPECT_NEAR(job.totalTravelMM, travel, 1e-9);
        EXPECT_GT(job.clampedPointCount, 0);
    }
}

}  // namespace
}  // namespace ostrel
