#include "core/pipeline/SyntheticDrawing.h"

#include "testsupport/LanguageScope.h"

#include <gtest/gtest.h>

#include <cmath>

namespace ostrel {
namespace {

using test::LanguageScope;

/// Grey value at scene point (x, y): origin bottom-left, y up.
float lumaAtScene(const RasterImage& image, double x, double y) {
    const auto column = static_cast<std::int64_t>(std::floor(x));
    const auto row = static_cast<std::int64_t>(std::floor(static_cast<double>(image.height) - y));
    return image.luma[static_cast<std::size_t>(row * image.width + column)];
}

const float kBackground = 0.299f * 250.0f + 0.587f * 250.0f + 0.114f * 247.0f;
constexpr float kInk = 60;  // well inside a stroke or the blot; ink colours give grey 11…19

TEST(SyntheticPreset, RawValuesLabelsAndLookup) {
    ASSERT_EQ(allCases<SyntheticPreset>().size(), 4u);
    const char* raws[] = {"portrait", "stage", "hatching", "rosette"};
    for (std::size_t i = 0; i < 4; ++i) {
        const SyntheticPreset preset = allCases<SyntheticPreset>()[i];
        EXPECT_EQ(rawValue(preset), raws[i]);
        EXPECT_EQ(syntheticPresetFromRaw(raws[i]), preset);
    }
    EXPECT_EQ(syntheticPresetFromRaw("stage"), SyntheticPreset::stageArch);
    for (const char* unknown : {"stageArch", "Portrait", "", "rosette "}) {
        EXPECT_EQ(syntheticPresetFromRaw(unknown), std::nullopt) << unknown;
    }
    {
        LanguageScope french(AppLanguage::fr);
        EXPECT_EQ(label(SyntheticPreset::portrait), "Portrait & drapés au trait");
        EXPECT_EQ(label(SyntheticPreset::rosette), "Rosace guillochée AxiDraw");
    }
    LanguageScope english(AppLanguage::en);
    EXPECT_EQ(label(SyntheticPreset::stageArch), "Stage Scenography & Perspective");
    EXPECT_EQ(label(SyntheticPreset::hatching), "Variable Pens & Cross-Hatching");
    EXPECT_EQ(icon(SyntheticPreset::hatching), "lines.measurement.horizontal");
}

TEST(SyntheticDrawing, SizesBackgroundAndRepeatability) {
    EXPECT_NEAR(kBackground, 249.658f, 1e-4f);
    for (SyntheticPreset preset : allCases<SyntheticPreset>()) {
        for (auto [width, height] : {std::pair{360, 480}, std::pair{37, 53}}) {
            const RasterImage first = SyntheticDrawing::generate(preset, width, height);
            ASSERT_EQ(first.width, width);
            ASSERT_EQ(first.height, height);
            ASSERT_EQ(first.luma.size(), static_cast<std::size_t>(width * height));
            EXPECT_EQ(first.luma.front(), kBackground) << rawValue(preset);
            EXPECT_EQ(first, SyntheticDrawing::generate(preset, width, height)) << rawValue(preset);
            bool hasInk = false;
            for (float value : first.luma) {
                ASSERT_TRUE(value >= 0 && value <= 255);
                hasInk = hasInk || value < kInk;
            }
            EXPECT_TRUE(hasInk) << rawValue(preset);
        }
    }
    for (auto [width, height] : {std::pair{0, 10}, std::pair{10, -1}, std::pair{1 << 20, 1 << 20}}) {
        const RasterImage none = SyntheticDrawing::generate(SyntheticPreset::portrait, width, height);
        EXPECT_EQ(none.width, 0);
        EXPECT_TRUE(none.luma.empty());
    }
}

TEST(SyntheticDrawing, StageArchesUpTopAndFloorLinesBelow) {
    const RasterImage image = SyntheticDrawing::generate(SyntheticPreset::stageArch, 720, 960);
    const double w = 720, h = 960, c = 360;
    // The arch tops, centred at (c, 0.58 h): the first rows of the raster hold them.
    for (double radius : {0.14 * w, 0.22 * w, 0.30 * w}) {
        EXPECT_LT(lumaAtScene(image, c, 0.58 * h + radius), kInk) << radius;
        EXPECT_LT(lumaAtScene(image, c + radius, 0.58 * h + 1), kInk) << radius;
        EXPECT_EQ(lumaAtScene(image, c, 0.58 * h - radius), kBackground) << "no lower half at " << radius;
    }
    // The middle floor line runs straight up at x = c from 0.12 h to 0.32 h; the frame's bottom is at 0.12 h.
    EXPECT_LT(lumaAtScene(image, c + 0.5, 0.22 * h) + lumaAtScene(image, c - 0.5, 0.22 * h), 2 * 128.0f);
    EXPECT_LT(lumaAtScene(image, 0.5 * w + 7, 0.12 * h), kInk);
    EXPECT_EQ(lumaAtScene(image, 0.05 * w, 0.5 * h), kBackground);
    EXPECT_EQ(lumaAtScene(image, c, 0.5 * h), kBackground);
}

TEST(SyntheticDrawing, PortraitRosetteAndPensPlaceTheirElements) {
    const RasterImage portrait = SyntheticDrawing::generate(SyntheticPreset::portrait, 720, 960);
    // Chin of the head outline at (c.x, c.y − 0.22 h) and a left-side point of the head.
    EXPECT_LT(lumaAtScene(portrait, 360, (0.54 - 0.22) * 960), kInk);
    EXPECT_LT(lumaAtScene(portrait, 0.3 * 720, (0.54 + 0.18) * 960), kInk);
    EXPECT_EQ(lumaAtScene(portrait, 0.05 * 720, 0.05 * 960), kBackground);

    const RasterImage rosette = SyntheticDrawing::generate(SyntheticPreset::rosette, 600, 800);
    const double r = 0.4 * 600;
    EXPECT_LT(lumaAtScene(rosette, 300 + r, 400), kInk);
    EXPECT_LT(lumaAtScene(rosette, 300, 400 - 0.52 * r), kInk);
    // The hypotrochoid starts at θ = 0, (c.x + a + d, c.y), and never comes nearer the centre than a − d.
    const double bigRadius = 0.74 * r, q = bigRadius * 3 / 11;
    EXPECT_LT(lumaAtScene(rosette, 300 + (bigRadius - q) + 0.42 * bigRadius, 400.5), kInk);
    EXPECT_EQ(lumaAtScene(rosette, 300, 400), kBackground);

    // Pens at 480 × 640: the blot is 96 × 67.2 px around (0.5 w, 0.78 h + 0.07 w).
    const RasterImage pens = SyntheticDrawing::generate(SyntheticPreset::hatching, 480, 640);
    const double blotY = 0.78 * 640 + 0.07 * 480;
    for (double dx : {-40.0, 0.0, 40.0}) EXPECT_LT(lumaAtScene(pens, 240 + dx, blotY), kInk) << dx;
    EXPECT_LT(lumaAtScene(pens, 240, blotY + 30), kInk);
    EXPECT_EQ(lumaAtScene(pens, 240 - 55, blotY), kBackground);
    EXPECT_EQ(lumaAtScene(pens, 240, blotY + 40), kBackground);
}

TEST(SyntheticDrawing, PenBandsGrowThickerUpThePage) {
    // At x = 0.5 w each wave crosses its base height; count inked rows per band in that column.
    const RasterImage pens = SyntheticDrawing::generate(SyntheticPreset::hatching, 720, 960);
    const double bases[] = {0.18, 0.36, 0.54, 0.72};
    int previous = 0;
    for (double base : bases) {
        int inked = 0;
        for (double y = base * 960 - 12; y < base * 960 + 48; y += 1) {
            if (lumaAtScene(pens, 360, y) < 128) ++inked;
        }
        EXPECT_GT(inked, previous) << "band at " << base;
        previous = inked;
    }
    // Three separate lines per band: between them, background.
    EXPECT_EQ(lumaAtScene(pens, 360, 0.18 * 960 + 9), kBackground);
}

}  // namespace
}  // namespace ostrel
