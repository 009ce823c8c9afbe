#include "core/model/PageTransform.h"
#include "core/model/VectorModel.h"
#include "core/model/VectorizerParams.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

VectorizerParams paper(PaperFormat format, PaperOrientation orientation, double marginMM) {
    VectorizerParams params;
    params.paperFormat = format;
    params.paperOrientation = orientation;
    params.marginMM = marginMM;
    return params;
}

TEST(PageTransform, FitsTheImageCentredOnThePage) {
    struct Case {
        const char* name;
        std::int64_t width, height;
        VectorizerParams params;
        double pageW, pageH, scale, offsetX, offsetY;
    };
    const Case cases[] = {
        // Wider than tall on auto: landscape, fills the width, centred vertically.
        {"auto landscape", 1000, 500, paper(PaperFormat::a4, PaperOrientation::automatic, 12), 297, 210, 0.273, 12,
         36.75},
        {"forced portrait", 1000, 500, paper(PaperFormat::a4, PaperOrientation::portrait, 12), 210, 297, 0.186, 12,
         102},
        {"square stays portrait", 500, 500, paper(PaperFormat::a4, PaperOrientation::automatic, 12), 210, 297, 0.372,
         12, 55.5},
        {"forced landscape", 500, 1000, paper(PaperFormat::a3, PaperOrientation::landscape, 10), 420, 297, 0.277,
         140.75, 10},
        // The margin is capped at 0.4 × 105 = 42 mm: drawable 21 × 64 mm.
        {"A6 margin capped", 100, 100, paper(PaperFormat::a6, PaperOrientation::automatic, 50), 105, 148, 0.21, 42,
         63.5},
        // A negative margin widens the drawable area: 158 × 220 mm.
        {"negative margin", 148, 210, paper(PaperFormat::a5, PaperOrientation::portrait, -5), 148, 210, 220.0 / 210.0,
         (148 - 148 * (220.0 / 210.0)) / 2, -5},
    };
    for (const Case& c : cases) {
        const PageTransform t = PageTransform::make(c.width, c.height, c.params);
        SCOPED_TRACE(c.name);
        EXPECT_EQ(t.imageWidth, c.width);
        EXPECT_EQ(t.imageHeight, c.height);
        EXPECT_DOUBLE_EQ(t.pageWidthMM, c.pageW);
        EXPECT_DOUBLE_EQ(t.pageHeightMM, c.pageH);
        EXPECT_DOUBLE_EQ(t.scalePxToMM, c.scale);
        EXPECT_NEAR(t.offsetXMM, c.offsetX, 1e-9);
        EXPECT_NEAR(t.offsetYMM, c.offsetY, 1e-9);
        EXPECT_FALSE(t.isRawPixels);
    }
}

TEST(PageTransform, OriginalPixelsAt96Dpi) {
    const PageTransform t =
        PageTransform::make(800, 600, paper(PaperFormat::original, PaperOrientation::landscape, 40));
    EXPECT_TRUE(t.isRawPixels);
    EXPECT_DOUBLE_EQ(t.pageWidthMM, 211.66666666666666);
    EXPECT_DOUBLE_EQ(t.pageHeightMM, 158.75);
    EXPECT_EQ(t.scalePxToMM, 0.26458333333333334);
    EXPECT_EQ(t.offsetXMM, 0);
    EXPECT_EQ(t.offsetYMM, 0);
    EXPECT_EQ(t.toPage({12.5, -3}), (VectorPoint{12.5, -3}));
}

TEST(PageTransform, DegenerateImageSizeCountsAsOnePixel) {
    const PageTransform t = PageTransform::make(0, -7, paper(PaperFormat::a4, PaperOrientation::automatic, 12));
    EXPECT_EQ(t.imageWidth, 1);
    EXPECT_EQ(t.imageHeight, 1);
    EXPECT_EQ(t.pageWidthMM, 210);  // 1 × 1 is square: portrait
    EXPECT_DOUBLE_EQ(t.scalePxToMM, 186);
    EXPECT_DOUBLE_EQ(t.offsetXMM, 12);
    EXPECT_DOUBLE_EQ(t.offsetYMM, 55.5);
}

TEST(PageTransform, ToPageScalesThenOffsets) {
    const PageTransform t = PageTransform::make(1000, 500, paper(PaperFormat::a4, PaperOrientation::automatic, 12));
    const VectorPoint corner = t.toPage({1000, 500});
    EXPECT_NEAR(corner.x, 285, 1e-9);     // 12 + 273
    EXPECT_NEAR(corner.y, 173.25, 1e-9);  // 36.75 + 136.5
    EXPECT_EQ(t.toPage({0, 0}), (VectorPoint{t.offsetXMM, t.offsetYMM}));
}

}  // namespace
}  // namespace ostrel
