#include "core/pipeline/PrefaultedImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace ostrel {
namespace {

TEST(PrefaultedImage, ZeroPixelsLaidOutAsQtLaysOutItsOwn) {
    struct Case {
        QImage::Format format;
        int width;
        int height;
    };
    // Odd widths, so that rows of 1, 8 and 24 bits a pixel need padding.
    const std::vector<Case> cases = {
        {QImage::Format_Grayscale8, 37, 5}, {QImage::Format_RGB32, 3, 2}, {QImage::Format_RGBA8888_Premultiplied, 9, 4},
        {QImage::Format_RGB888, 5, 3},      {QImage::Format_Mono, 13, 2}, {QImage::Format_Grayscale8, 1200, 1100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "format " << c.format << ", " << c.width << " x " << c.height);
        const QImage image = prefaultedImage(c.width, c.height, c.format);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(c.width, c.height));
        EXPECT_EQ(image.format(), c.format);
        EXPECT_EQ(image.bytesPerLine(), QImage(c.width, c.height, c.format).bytesPerLine());
        bool zero = true;
        for (int y = 0; y < image.height(); ++y) {
            const uchar* row = image.constScanLine(y);
            zero = zero && std::all_of(row, row + image.bytesPerLine(), [](uchar b) { return b == 0; });
        }
        EXPECT_TRUE(zero);
    }
}

TEST(PrefaultedImage, TheLastCopyKeepsTheBufferAndWritesInPlace) {
    QImage copy;
    const uchar* pixels = nullptr;
    {
        const QImage image = prefaultedImage(640, 480, QImage::Format_RGB32);
        ASSERT_FALSE(image.isNull());
        pixels = image.constBits();
        copy = image;
    }
    copy.fill(Qt::red);  // the only copy left: no detach
    EXPECT_EQ(copy.constBits(), pixels);
    EXPECT_EQ(copy.pixel(639, 479), QColor(Qt::red).rgb());
}

TEST(PrefaultedImage, NullForSizesOrFormatsItCannotHold) {
    EXPECT_TRUE(prefaultedImage(0, 10, QImage::Format_RGB32).isNull());
    EXPECT_TRUE(prefaultedImage(10, -1, QImage::Format_RGB32).isNull());
    EXPECT_TRUE(prefaultedImage(10, 10, QImage::Format_Invalid).isNull());
}

}  // namespace
}  // namespace ostrel
