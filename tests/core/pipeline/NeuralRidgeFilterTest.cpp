#include "core/pipeline/NeuralRidgeFilter.h"
#include "testsupport/ThreadCountScope.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <span>

namespace ostrel {
namespace {

using namespace NeuralRidgeFilter;

bool sameBits(std::span<const float> a, std::span<const float> b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// --- Blur ------------------------------------------------------------------------------------------

// Reach of the kernel: the blurred impulse is non-zero exactly within the radius.
struct BlurCase {
    float sigma;
    int radius;
};

class BlurRadius : public ::testing::TestWithParam<BlurCase> {};

TEST_P(BlurRadius, ImpulseSpreadsExactlyToTheKernelRadius) {
    const BlurCase c = GetParam();
    constexpr int kSize = 41;
    std::vector<float> row(kSize, 0.0f);
    row[20] = 1000.0f;
    const std::vector<float> out = gaussianBlurSeparable(row, kSize, 1, c.sigma);
    ASSERT_EQ(out.size(), std::size_t(kSize));
    for (int x = 0; x < kSize; ++x) {
        EXPECT_EQ(out[std::size_t(x)] != 0.0f, std::abs(x - 20) <= c.radius) << "x=" << x;
    }
    // The same reach along columns.
    const std::vector<float> column = gaussianBlurSeparable(row, 1, kSize, c.sigma);
    for (int y = 0; y < kSize; ++y) {
        EXPECT_EQ(column[std::size_t(y)] != 0.0f, std::abs(y - 20) <= c.radius) << "y=" << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Rule, BlurRadius,
                         ::testing::Values(BlurCase{0.16f, 1}, BlurCase{1.0f, 3}, BlurCase{2.0f, 5},
                                           BlurCase{4.79f, 12}, BlurCase{5.0f, 12}, BlurCase{100.0f, 12}));

TEST(GaussianBlur, KeepsFlatImagesRepeatsEdgesAndHandlesEmptyInput) {
    const std::vector<float> flat(6 * 5, 42.0f);
    for (const float v : gaussianBlurSeparable(flat, 6, 5, 1.5f)) EXPECT_NEAR(v, 42.0f, 1e-4f);
    // Edge repetition: a step at the border stays a step's average, never pulled toward 0.
    std::vector<float> step(8, 0.0f);
    for (int x = 0; x < 4; ++x) step[std::size_t(x)] = 100.0f;
    const auto out = gaussianBlurSeparable(step, 8, 1, 1.0f);
    EXPECT_NEAR(out[0], 100.0f, 0.5f);
    EXPECT_NEAR(out[7], 0.0f, 0.5f);
    EXPECT_NEAR(out[3] + out[4], 100.0f, 1e-3f);
    EXPECT_TRUE(gaussianBlurSeparable({}, 0, 0, 1.0f).empty());
    EXPECT_TRUE(gaussianBlurSeparable({}, 0, 7, 1.0f).empty());
}

// The blur against the separable formula written out plainly, bit for bit, at widths below, at and
// past the vectorised blocks (16 and 32 pixels) and with band edges in the vertical pass, on one
// thread and on several.
TEST(GaussianBlur, MatchesTheSeparableFormulaBitForBitAtEveryWidth) {
    std::mt19937 random(3);
    std::uniform_real_distribution<float> noise(0.0f, 255.0f);
    for (const float sigma : {0.5f, 1.0f, 5.0f}) {
        const float reach = std::ceil(2.5f * sigma);
        const int r = reach >= 12.0f ? 12 : (reach <= 1.0f ? 1 : int(reach));
        const float d = std::max(2.0f * sigma * sigma, 0.001f);
        std::vector<float> k(std::size_t(2 * r + 1));
        float total = 0;
        for (int i = -r; i <= r; ++i) total += (k[std::size_t(i + r)] = std::exp(-float(i * i) / d));
        for (float& weight : k) weight /= total;
        for (const int w : {1, 5, 15, 16, 17, 31, 32, 33, 48, 65, 100}) {
            for (const int h : {1, 7, 70}) {
                SCOPED_TRACE(testing::Message() << "sigma " << sigma << ", " << w << " x " << h);
                std::vector<float> image(std::size_t(w * h));
                for (float& v : image) v = noise(random);
                const auto at = [](const std::vector<float>& values, int width, int x, int y) {
                    return values[std::size_t(y * width + x)];
                };
                std::vector<float> across(image.size());
                std::vector<float> expected(image.size());
                for (int y = 0; y < h; ++y) {
                    for (int x = 0; x < w; ++x) {
                        float sum = 0.0f;
                        for (int i = -r; i <= r; ++i) {
                            sum += at(image, w, std::clamp(x + i, 0, w - 1), y) * k[std::size_t(i + r)];
                        }
                        across[std::size_t(y * w + x)] = sum;
                    }
                }
                for (int y = 0; y < h; ++y) {
                    for (int x = 0; x < w; ++x) {
                        float sum = 0.0f;
                        for (int i = -r; i <= r; ++i) {
                            sum += at(across, w, x, std::clamp(y + i, 0, h - 1)) * k[std::size_t(i + r)];
                        }
                        expected[std::size_t(y * w + x)] = sum;
                    }
                }
                for (const int threads : {1, 0}) {
                    const test::ThreadCountScope scope(threads);
                    EXPECT_TRUE(sameBits(gaussianBlurSeparable(image, w, h, sigma), expected)) << threads << " threads";
                }
            }
        }
    }
}

// preprocess blurs only above 0.15: a huge neighbour leaks into a black pixel through even the
// faintest kernel tail (weight e^-19.5 at σ 0.16) and lifts it above the threshold.
TEST(Preprocess, BlursOnlyAboveSigma015) {
    for (const auto& [sigma, ink] : {std::pair{0.15, true}, std::pair{0.16, false}}) {
        RasterImage image{3, 3, PixelBuffer<float>(9, 255.0f)};
        image.luma[4] = 0.0f;
        image.luma[5] = 1e30f;
        VectorizerParams params;
        params.algorithm = VectorAlgorithm::skeletonize;
        params.adaptiveThreshold = false;
        params.blurRadius = sigma;
        const PreprocessedFields fields = preprocess(image, params);
        EXPECT_EQ(fields.binary[4] == 1, ink) << sigma;
    }
}

// --- Threshold -------------------------------------------------------------------------------------

struct FlipCase {
    int width;
    int height;
    int inkPixels;
    bool flipped;
};

class PolarityFlip : public ::testing::TestWithParam<FlipCase> {};

TEST_P(PolarityFlip, MaskIsInvertedAboveFiftyFivePercentInk) {
    const FlipCase c = GetParam();
    const int n = c.width * c.height;
    RasterImage image{c.width, c.height, PixelBuffer<float>(std::size_t(n), 255.0f)};
    for (int i = 0; i < c.inkPixels; ++i) image.luma[std::size_t(i)] = 0.0f;
    VectorizerParams params;
    params.algorithm = VectorAlgorithm::skeletonize;
    params.adaptiveThreshold = false;
    params.blurRadius = 0;
    params.threshold = 128;
    const PreprocessedFields fields = preprocess(image, params);
    for (int i = 0; i < n; ++i) {
        const bool dark = i < c.inkPixels;
        EXPECT_EQ(fields.binary[std::size_t(i)], (dark != c.flipped) ? 1 : 0) << i;
    }
    // With invert the comparison turns round and there is never a flip.
    params.invert = true;
    const PreprocessedFields inverted = preprocess(image, params);
    for (int i = 0; i < n; ++i) EXPECT_EQ(inverted.binary[std::size_t(i)], i < c.inkPixels ? 0 : 1) << i;
}

// n × 55 / 100 with integer division: 55 of 100, 11 of 20, 5 of 9 (4.95 → 4, so 5 already flips).
INSTANTIATE_TEST_SUITE_P(Boundary, PolarityFlip,
                         ::testing::Values(FlipCase{10, 10, 55, false}, FlipCase{10, 10, 56, true},
                                           FlipCase{5, 4, 11, false}, FlipCase{5, 4, 12, true},
                                           FlipCase{3, 3, 4, false}, FlipCase{3, 3, 5, true},
                                           FlipCase{10, 10, 100, true}, FlipCase{10, 10, 0, false}));

TEST(Preprocess, GlobalThresholdIsStrictlyBelowTheLevel) {
    RasterImage image{3, 2, {127.0f, 127.99f, 128.0f, 200.0f, 0.0f, 255.0f}};
    VectorizerParams params;
    params.algorithm = VectorAlgorithm::skeletonize;
    params.adaptiveThreshold = false;
    params.blurRadius = 0;
    params.threshold = 128;
    EXPECT_EQ(preprocess(image, params).binary, (std::vector<std::uint8_t>{1, 1, 0, 0, 1, 0}));
}

// Adaptive threshold: half window R and offset C follow from the threshold t.
struct AdaptiveCase {
    std::int64_t threshold;
    int radius;
    int offset;
};

class AdaptiveThreshold : public ::testing::TestWithParam<AdaptiveCase> {};

// An 81 × 81 field of 200 with the centre pixel P darker by δ. P is ink exactly when δ(1 − 1/area) > C;
// a much darker outlier pulls the window mean below P when, and only when, it lies inside the window.
TEST_P(AdaptiveThreshold, WindowAndOffsetFollowTheThreshold) {
    const AdaptiveCase c = GetParam();
    constexpr int kSize = 81;
    constexpr int kCentre = 40;
    const auto run = [&](float delta, int outlierOffset, bool invert) {
        RasterImage image{kSize, kSize, PixelBuffer<float>(kSize * kSize, invert ? 55.0f : 200.0f)};
        const auto put = [&](int x, int y, float v) {
            image.luma[std::size_t(y * kSize + x)] = invert ? 255.0f - v : v;
        };
        put(kCentre, kCentre, 200.0f - delta);
        if (outlierOffset > 0) put(kCentre + outlierOffset, kCentre, 200.0f - 1e7f);
        VectorizerParams params;
        params.algorithm = VectorAlgorithm::skeletonize;
        params.adaptiveThreshold = true;
        params.invert = invert;
        params.blurRadius = 0;
        params.threshold = c.threshold;
        return preprocess(image, params).binary[std::size_t(kCentre * kSize + kCentre)] == 1;
    };
    for (const bool invert : {false, true}) {
        SCOPED_TRACE(invert ? "inverted" : "plain");
        EXPECT_FALSE(run(float(c.offset) - 0.5f, 0, invert));
        EXPECT_TRUE(run(float(c.offset) + 1.0f, 0, invert));
        EXPECT_FALSE(run(float(c.offset) + 1.0f, c.radius, invert));
        EXPECT_TRUE(run(float(c.offset) + 1.0f, c.radius + 1, invert));
    }
}

INSTANTIATE_TEST_SUITE_P(Constants, AdaptiveThreshold,
                         ::testing::Values(AdaptiveCase{128, 22, 22}, AdaptiveCase{0, 6, 34}, AdaptiveCase{255, 36, 10},
                                           AdaptiveCase{-500, 6, 22 + 62}, AdaptiveCase{1000, 36, 4},
                                           AdaptiveCase{7, 6, 34}, AdaptiveCase{8, 7, 34}));

// The adaptive threshold written out plainly: a whole-image integral image in doubles, S(x + 1, y + 1)
// = S(x + 1, y) + R(x, y) with R the running row sum from 0, and the clipped window's mean from it.
std::vector<std::uint8_t> referenceAdaptiveMask(const std::vector<float>& luma, int w, int h, std::int64_t threshold,
                                                bool invert) {
    const std::int64_t radius = 6 + std::min<std::int64_t>(std::max<std::int64_t>(threshold / 8, 0), 30);
    const float offset = float(22 + std::max<std::int64_t>((128 - threshold) / 10, -18));
    const auto value = [&](int x, int y) {
        const float l = luma[std::size_t(y * w + x)];
        return invert ? 255.0f - l : l;
    };
    std::vector<double> sums(std::size_t((w + 1) * (h + 1)), 0.0);  // S(x, y) at y * (w + 1) + x
    for (int y = 0; y < h; ++y) {
        double row = 0;
        for (int x = 0; x < w; ++x) {
            row += double(value(x, y));
            sums[std::size_t((y + 1) * (w + 1) + x + 1)] = sums[std::size_t(y * (w + 1) + x + 1)] + row;
        }
    }
    const auto S = [&](std::int64_t x, std::int64_t y) { return sums[std::size_t(y * (w + 1) + x)]; };
    std::vector<std::uint8_t> mask(std::size_t(w * h));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::int64_t x0 = std::max<std::int64_t>(x - radius, 0);
            const std::int64_t x1 = std::min<std::int64_t>(x + radius, w - 1);
            const std::int64_t y0 = std::max<std::int64_t>(y - radius, 0);
            const std::int64_t y1 = std::min<std::int64_t>(y + radius, h - 1);
            const double sum = S(x1 + 1, y1 + 1) - S(x1 + 1, y0) - S(x0, y1 + 1) + S(x0, y0);
            const auto mean = float(sum / double((x1 - x0 + 1) * (y1 - y0 + 1)));
            mask[std::size_t(y * w + x)] = value(x, y) < mean - offset ? 1 : 0;
        }
    }
    return mask;
}

// The mask equals the plain computation bit for bit on noisy images: widths narrower than every window
// (no pixel has whole columns on both sides), wide ones that mix clipped and unclipped windows, single
// rows and columns, heights that end partway through a group of integral rows, on one thread and on
// several (bands of columns), through the function and through preprocess.
TEST(AdaptiveThresholdMask, MatchesThePlainIntegralImageBitForBit) {
    struct Shape {
        int w;
        int h;
    };
    const std::vector<Shape> shapes{{20, 61}, {83, 61}, {157, 61}, {1, 90},  {90, 1},
                                    {2, 2},   {157, 3}, {131, 6},  {9, 130}, {300, 47}};
    std::mt19937 random(5);
    std::uniform_real_distribution<float> noise(0.0f, 255.0f);
    for (const Shape& shape : shapes) {
        std::vector<float> luma(std::size_t(shape.w * shape.h));
        for (auto& v : luma) v = noise(random);
        for (const std::int64_t threshold : {0, 128, 255}) {
            for (const bool invert : {false, true}) {
                const auto expected = referenceAdaptiveMask(luma, shape.w, shape.h, threshold, invert);
                for (const int threads : {1, 3, 0}) {
                    SCOPED_TRACE(testing::Message() << shape.w << " x " << shape.h << ", t " << threshold << ", invert "
                                                    << invert << ", threads " << threads);
                    const test::ThreadCountScope scope(threads);
                    EXPECT_EQ(adaptiveThresholdMask(luma, shape.w, shape.h, threshold, invert), expected);
                }
                VectorizerParams params;
                params.algorithm = VectorAlgorithm::skeletonize;
                params.adaptiveThreshold = true;
                params.invert = invert;
                params.blurRadius = 0;
                params.threshold = threshold;
                EXPECT_EQ(preprocess(RasterImage{shape.w, shape.h, {luma.begin(), luma.end()}}, params).binary,
                          expected);
            }
        }
    }
    EXPECT_TRUE(adaptiveThresholdMask({}, 0, 5, 128, false).empty());
    EXPECT_TRUE(adaptiveThresholdMask(std::vector<float>(3), 2, 2, 128, false).empty());  // too short: refused
}

TEST(Preprocess, ExtremeThresholdsDoNotOverflow) {
    RasterImage image{4, 4, PixelBuffer<float>(16, 100.0f)};
    VectorizerParams params;
    params.algorithm = VectorAlgorithm::skeletonize;
    for (const std::int64_t t : {std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max()}) {
        params.threshold = t;
        params.adaptiveThreshold = true;
        const auto adaptive = preprocess(image, params);
        EXPECT_EQ(adaptive.binary, std::vector<std::uint8_t>(16, 0));
        params.adaptiveThreshold = false;
        const auto global = preprocess(image, params);
        ASSERT_EQ(global.binary.size(), 16u);
    }
}

// --- Morphology ------------------------------------------------------------------------------------

TEST(Morphology, ClippedNeighbourhoodAtTheBorder) {
    const std::vector<std::uint8_t> full(4 * 3, 7);
    EXPECT_EQ(morphErode3x3(full, 4, 3), std::vector<std::uint8_t>(12, 1));  // outside counts as nothing
    std::vector<std::uint8_t> corner(4 * 3, 0);
    corner[0] = 1;
    EXPECT_EQ(morphDilate3x3(corner, 4, 3), (std::vector<std::uint8_t>{1, 1, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(morphErode3x3(corner, 4, 3), std::vector<std::uint8_t>(12, 0));
    EXPECT_TRUE(morphOpen3x3({}, 0, 0).empty());
}

struct CleanupCase {
    std::int64_t level;
    bool isolatedKept;
    bool holeFilled;
};

class MorphCleanup : public ::testing::TestWithParam<CleanupCase> {};

// A 16 × 16 white image with an isolated black pixel at (2, 2) and a 7 × 7 black block (x, y 5…11)
// holding a one-pixel white hole at (8, 8).
TEST_P(MorphCleanup, IsolatedPixelsAndHoles) {
    const CleanupCase c = GetParam();
    constexpr int kSize = 16;
    RasterImage image{kSize, kSize, PixelBuffer<float>(kSize * kSize, 255.0f)};
    const auto at = [](int x, int y) { return std::size_t(y * kSize + x); };
    image.luma[at(2, 2)] = 0;
    for (int y = 5; y <= 11; ++y) {
        for (int x = 5; x <= 11; ++x) image.luma[at(x, y)] = 0;
    }
    image.luma[at(8, 8)] = 255;
    VectorizerParams params;
    params.algorithm = VectorAlgorithm::skeletonize;
    params.adaptiveThreshold = false;
    params.blurRadius = 0;
    params.morphCleanup = c.level;
    const auto mask = preprocess(image, params).binary;
    EXPECT_EQ(mask[at(2, 2)], c.isolatedKept ? 1 : 0);
    EXPECT_EQ(mask[at(8, 8)], c.holeFilled ? 1 : 0);
    for (const auto& [x, y] : {std::pair{5, 5}, std::pair{11, 11}, std::pair{5, 11}, std::pair{7, 8}}) {
        EXPECT_EQ(mask[at(x, y)], 1);
    }
    EXPECT_EQ(mask[at(4, 4)], 0);
    EXPECT_EQ(mask[at(12, 8)], 0);
}

INSTANTIATE_TEST_SUITE_P(Levels, MorphCleanup,
                         ::testing::Values(CleanupCase{-1, true, false}, CleanupCase{0, true, false},
                                           CleanupCase{1, true, true}, CleanupCase{2, false, true},
                                           CleanupCase{5, false, true}));

// --- Distance transform ----------------------------------------------------------------------------

// The procedure as written: the parabola envelope over every column, then over every row.
void envelope(const std::vector<float>& f, std::vector<float>& d) {
    const auto n = std::int64_t(f.size());
    std::vector<std::int64_t> v(static_cast<std::size_t>(n));
    std::vector<float> z(static_cast<std::size_t>(n) + 1);
    const float m = std::numeric_limits<float>::max();
    const auto sq = [](std::int64_t i) { return float(i * i); };
    std::int64_t k = 0;
    v[0] = 0;
    z[0] = -m;
    z[1] = m;
    for (std::int64_t q = 1; q < n; ++q) {
        float s = ((f[q] + sq(q)) - (f[v[k]] + sq(v[k]))) / float(2 * q - 2 * v[k]);
        while (s <= z[k]) {
            --k;
            s = ((f[q] + sq(q)) - (f[v[k]] + sq(v[k]))) / float(2 * q - 2 * v[k]);
        }
        ++k;
        v[k] = q;
        z[k] = s;
        z[k + 1] = m;
    }
    k = 0;
    d.assign(std::size_t(n), 0.0f);
    for (std::int64_t q = 0; q < n; ++q) {
        while (z[k + 1] < float(q)) ++k;
        d[q] = sq(q - v[k]) + f[v[k]];
    }
}

std::vector<float> referenceEDT(const std::vector<std::uint8_t>& mask, int w, int h) {
    const float side = float(w + h + 1000);
    const float big = side * side;
    std::vector<float> field(mask.size());
    for (std::size_t i = 0; i < mask.size(); ++i) field[i] = mask[i] ? big : 0.0f;
    std::vector<float> line;
    std::vector<float> out;
    for (int x = 0; x < w; ++x) {
        line.resize(std::size_t(h));
        for (int y = 0; y < h; ++y) line[std::size_t(y)] = field[std::size_t(y * w + x)];
        envelope(line, out);
        for (int y = 0; y < h; ++y) field[std::size_t(y * w + x)] = out[std::size_t(y)];
    }
    for (int y = 0; y < h; ++y) {
        line.assign(field.begin() + y * w, field.begin() + (y + 1) * w);
        envelope(line, out);
        for (int x = 0; x < w; ++x) field[std::size_t(y * w + x)] = std::sqrt(out[std::size_t(x)]);
    }
    return field;
}

TEST(ExactEDT, MatchesBruteForceAndTheEnvelopeBitForBit) {
    std::mt19937 random(7);
    struct Shape {
        int w;
        int h;
        double ink;
    };
    // Densities up to 1 give columns and rows without background; 4100 rows take the envelope path.
    // Rows up to 9 px wide are settled by the near offsets alone, wider ones with dense ink continue
    // with the search.
    const std::vector<Shape> shapes{{1, 1, 0.5},    {1, 9, 0.7},   {9, 1, 0.7},    {17, 13, 0.3},
                                    {31, 29, 0.85}, {40, 7, 0.97}, {6, 50, 1.0},   {23, 23, 0.0},
                                    {3, 4100, 0.9}, {64, 48, 0.6}, {10, 40, 0.95}, {150, 20, 0.98}};
    for (const Shape& s : shapes) {
        for (int round = 0; round < 4; ++round) {
            SCOPED_TRACE(testing::Message() << s.w << "x" << s.h << " ink " << s.ink << " round " << round);
            std::bernoulli_distribution ink(s.ink);
            std::vector<std::uint8_t> mask(std::size_t(s.w * s.h));
            for (auto& b : mask) b = ink(random) ? std::uint8_t(1 + random() % 255) : 0;
            const std::vector<float> edt = computeExactEDT(mask, s.w, s.h);
            ASSERT_TRUE(sameBits(edt, referenceEDT(mask, s.w, s.h)));
            if (s.w * s.h > 4000) continue;
            bool anyBackground = false;
            for (auto b : mask) anyBackground |= b == 0;
            for (int y = 0; y < s.h; ++y) {
                for (int x = 0; x < s.w; ++x) {
                    const std::size_t i = std::size_t(y * s.w + x);
                    if (!mask[i]) {
                        ASSERT_EQ(edt[i], 0.0f);
                        continue;
                    }
                    std::int64_t best = std::numeric_limits<std::int64_t>::max();
                    for (int by = 0; by < s.h; ++by) {
                        for (int bx = 0; bx < s.w; ++bx) {
                            if (mask[std::size_t(by * s.w + bx)]) continue;
                            best = std::min<std::int64_t>(best, std::int64_t(bx - x) * (bx - x) + (by - y) * (by - y));
                        }
                    }
                    if (anyBackground) {
                        ASSERT_EQ(edt[i], std::sqrt(float(best))) << x << "," << y;
                    } else {
                        ASSERT_NEAR(edt[i], float(s.w + s.h + 1000), 1.0f);
                    }
                }
            }
        }
    }
}

TEST(ExactEDT, ThinStrokesAndSolidBlocksMatchTheEnvelope) {
    // Rows of thin strokes take the outward search, rows through a solid block fall back to the
    // envelope part-way (the search's budget runs out); a column of ink from top to bottom has no
    // background, so rows crossing it take the envelope from the start.
    for (const bool fullColumn : {false, true}) {
        SCOPED_TRACE(fullColumn);
        const int w = 260;
        const int h = 170;
        std::vector<std::uint8_t> mask(std::size_t(w * h), 0);
        const auto set = [&](int x, int y) { mask[std::size_t(y * w + x)] = 1; };
        for (int y = 20; y < 150; ++y) {
            for (int x = 30; x < 200; ++x) set(x, y);  // a solid block
        }
        for (int i = 0; i < 160; ++i) {
            set(5 + i % 7, i);                            // a thin wavy stroke
            set(210 + i / 4, 5 + i);                      // a diagonal
            for (int t = 0; t < 3; ++t) set(240 + t, i);  // a 3 px vertical bar
        }
        if (fullColumn) {
            for (int y = 0; y < h; ++y) set(250, y);
        }
        ASSERT_TRUE(sameBits(computeExactEDT(mask, w, h), referenceEDT(mask, w, h)));
    }
}

TEST(ExactEDT, OneAtFourNeighboursRootTwoAtDiagonalOnes) {
    // A 3 × 3 ink block in a 5 × 5 image: edge-adjacent ink 1, its centre 2; a lone diagonal contact √2.
    std::vector<std::uint8_t> mask(25, 0);
    for (int y = 1; y <= 3; ++y) {
        for (int x = 1; x <= 3; ++x) mask[std::size_t(y * 5 + x)] = 1;
    }
    const auto edt = computeExactEDT(mask, 5, 5);
    EXPECT_EQ(edt[6], 1.0f);
    EXPECT_EQ(edt[12], 2.0f);
    EXPECT_EQ(edt[0], 0.0f);
    std::vector<std::uint8_t> ring(9, 1);
    ring[0] = 0;
    ring[1] = 1;
    const auto d = computeExactEDT(ring, 3, 3);
    EXPECT_EQ(d[4], std::sqrt(2.0f));
    EXPECT_EQ(d[1], 1.0f);
}

// --- Hessian and the whole chain -------------------------------------------------------------------

TEST(HessianRidge, SmallImagesAreZeroAndBrightRidgesScoreOne) {
    for (const auto& [w, h] : {std::pair{2, 5}, std::pair{5, 2}, std::pair{1, 1}}) {
        const auto s = computeHessianRidgeStrength(std::vector<float>(std::size_t(w * h), 3.0f), w, h);
        EXPECT_EQ(s, std::vector<float>(std::size_t(w * h), 0.0f));
    }
    // A bright vertical line on x = 3 in a 7 × 5 image.
    std::vector<float> values(35, 0.0f);
    for (int y = 0; y < 5; ++y) values[std::size_t(y * 7 + 3)] = 1.0f;
    const auto s = computeHessianRidgeStrength(values, 7, 5);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 7; ++x) {
            const float v = s[std::size_t(y * 7 + x)];
            const bool border = x == 0 || y == 0 || x == 6 || y == 4;
            if (border || x != 3) {
                EXPECT_EQ(v, 0.0f) << x << "," << y;
            } else {
                EXPECT_EQ(v, 1.0f) << x << "," << y;
            }
        }
    }
    // A flat image stays 0 (the running maximum starts at 1e-5, so nothing divides by 0).
    EXPECT_EQ(computeHessianRidgeStrength(std::vector<float>(16, 9.0f), 4, 4), std::vector<float>(16, 0.0f));
}

TEST(HessianRidge, MatchesTheScalarFormulaBitForBitAtEveryWidth) {
    // Widths around the four-pixel blocks of the vectorised rows, on random values with flat runs (so
    // some measures are exactly 0 or -0 before the floor) and a wide dynamic range.
    std::mt19937 random(3);
    std::uniform_real_distribution<float> value(-40.0f, 300.0f);
    for (const int w : {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 37}) {
        const int h = 6;
        std::vector<float> values(std::size_t(w * h));
        for (auto& v : values) v = random() % 4 == 0 ? 7.0f : value(random);
        std::vector<float> raw(values.size(), 0.0f);
        float largest = 1e-5f;
        for (int y = 1; y + 1 < h; ++y) {
            for (int x = 1; x + 1 < w; ++x) {
                const auto at = [&](int dx, int dy) { return values[std::size_t((y + dy) * w + x + dx)]; };
                const float c = at(0, 0);
                const float ixx = at(1, 0) - 2.0f * c + at(-1, 0);
                const float iyy = at(0, 1) - 2.0f * c + at(0, -1);
                const float ixy = (at(1, 1) - at(-1, 1) - at(1, -1) + at(-1, -1)) * 0.25f;
                const float diff = ixx - iyy;
                const float s = -0.5f * (ixx + iyy - std::sqrt(diff * diff + 4.0f * ixy * ixy));
                raw[std::size_t(y * w + x)] = s > 0.0f ? s : 0.0f;
                largest = std::max(largest, raw[std::size_t(y * w + x)]);
            }
        }
        std::vector<float> expected(values.size(), 0.0f);
        for (std::size_t i = 0; i < raw.size(); ++i) expected[i] = std::min(raw[i] * (1.0f / largest), 1.0f);
        SCOPED_TRACE(w);
        EXPECT_TRUE(sameBits(computeHessianRidgeStrength(values, w, h), expected));
    }
}

// The neural ridge field and the pixels it adds to the mask, bit for bit from the public steps: ink
// level of the blurred grey blurred with σ = 1, distance of the plain mask, Hessian strength. Sizes
// from below the Hessian's 3 × 3 to images whose parallel bands hold many rows.
TEST(Preprocess, NeuralRidgeFieldFollowsItsFormulaBitForBit) {
    struct Size {
        int w;
        int h;
    };
    for (const Size size : {Size{47, 29}, Size{3, 3}, Size{2, 9}, Size{9, 2}, Size{31, 300}}) {
        const int w = size.w;
        const int h = size.h;
        SCOPED_TRACE(testing::Message() << w << " x " << h);
        std::mt19937 random(9);
        std::uniform_real_distribution<float> noise(0.0f, 255.0f);
        RasterImage image{w, h, PixelBuffer<float>(std::size_t(w * h))};
        for (auto& v : image.luma) v = noise(random);
        VectorizerParams params;
        params.algorithm = VectorAlgorithm::skeletonize;
        const PreprocessedFields plain = preprocess(image, params);
        params.algorithm = VectorAlgorithm::neuralCenterline;
        const PreprocessedFields neural = preprocess(image, params);

        const auto grey = gaussianBlurSeparable(image.luma, w, h, float(params.blurRadius));
        std::vector<float> level(grey.size());
        for (std::size_t i = 0; i < grey.size(); ++i) level[i] = std::clamp((255.0f - grey[i]) / 255.0f, 0.0f, 1.0f);
        const auto ink = gaussianBlurSeparable(level, w, h, 1.0f);
        const auto strength = computeHessianRidgeStrength(ink, w, h);
        std::vector<float> ridge(ink.size());
        std::vector<std::uint8_t> mask = plain.binary;
        for (std::size_t i = 0; i < ink.size(); ++i) {
            const float base = 0.55f * ink[i] + 0.45f * std::min(plain.distanceField[i], 12.0f) / 12.0f;
            ridge[i] = std::min(base + 0.35f * strength[i], 1.0f);
            if (mask[i] == 0 && strength[i] > 0.28f && ink[i] > 0.22f) mask[i] = 1;
        }
        EXPECT_TRUE(sameBits(neural.ridgeField, ridge));
        EXPECT_EQ(neural.binary, mask);
        if (w >= 9 && h >= 9) {
            EXPECT_NE(mask, plain.binary);  // the Hessian term added pixels
        }
    }
}

// A faint thin line below the threshold: skeletonize keeps exactly the thresholded mask, the neural
// algorithm may only add to it, and its ridge field includes the Hessian term.
TEST(Preprocess, NeuralMaskOnlyGrowsAndFieldsAreConsistent) {
    constexpr int kW = 24;
    constexpr int kH = 20;
    RasterImage image{kW, kH, PixelBuffer<float>(kW * kH, 255.0f)};
    for (int y = 2; y < 18; ++y) {
        image.luma[std::size_t(y * kW + 6)] = 120.0f;  // faint: never under the global threshold 100
        image.luma[std::size_t(y * kW + 7)] = 120.0f;
        for (int x = 14; x < 18; ++x) image.luma[std::size_t(y * kW + x)] = 0.0f;
    }
    VectorizerParams params;
    params.adaptiveThreshold = false;
    params.threshold = 100;
    params.blurRadius = 0;
    params.algorithm = VectorAlgorithm::skeletonize;
    const PreprocessedFields plain = preprocess(image, params);
    EXPECT_FALSE(plain.usedNeuralEngine);
    params.algorithm = VectorAlgorithm::neuralCenterline;
    const PreprocessedFields neural = preprocess(image, params);
    EXPECT_TRUE(neural.usedNeuralEngine);

    ASSERT_EQ(plain.binary.size(), std::size_t(kW * kH));
    std::size_t added = 0;
    for (std::size_t i = 0; i < plain.binary.size(); ++i) {
        EXPECT_EQ(plain.binary[i], (image.luma[i] < 100.0f) ? 1 : 0);
        EXPECT_GE(neural.binary[i], plain.binary[i]);
        added += neural.binary[i] - plain.binary[i];
        EXPECT_EQ(neural.distanceField[i], plain.distanceField[i]);  // from the mask before the addition
        EXPECT_GE(neural.ridgeField[i], plain.ridgeField[i]);
        EXPECT_GE(neural.ridgeField[i], 0.0f);
        EXPECT_LE(neural.ridgeField[i], 1.0f);
    }
    EXPECT_GT(added, 0u);  // the faint line joined the mask
    EXPECT_EQ(neural.binary[std::size_t(10 * kW + 6)], 1);
    // Ridge field: 0.55 × blurred ink + 0.45 × min(distance, 12) / 12; ink 1 deep inside the bar.
    EXPECT_GT(plain.ridgeField[std::size_t(10 * kW + 15)], plain.ridgeField[std::size_t(10 * kW + 10)]);
    EXPECT_EQ(plain.distanceField[std::size_t(10 * kW + 15)], 2.0f);

    VectorizerParams vision = params;
    vision.algorithm = VectorAlgorithm::visionContours;
    EXPECT_TRUE(preprocess(image, vision).usedNeuralEngine);
    vision.algorithm = VectorAlgorithm::cannyEdges;
    EXPECT_FALSE(preprocess(image, vision).usedNeuralEngine);
}

}  // namespace
}  // namespace ostrel
