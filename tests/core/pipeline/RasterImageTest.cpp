#include "core/pipeline/RasterImage.h"

#include "core/pipeline/PngDirect.h"
#include "testsupport/PngChunks.h"

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cmath>
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace ostrel {
namespace {

struct SizeCase {
    int width;
    int height;
    int maxDimension;
    bool accepted;
    int expectedWidth;
    int expectedHeight;
};

class RasterImageSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(RasterImageSize, FromImageAndFromFileFollowTheSizeRules) {
    const SizeCase c = GetParam();
    QImage image(c.width, c.height, QImage::Format_Grayscale8);
    image.fill(90);

    const auto fromImage = RasterImage::fromImage(image, c.maxDimension);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("size.png");
    ASSERT_TRUE(image.save(path, "PNG"));
    const auto fromFile = RasterImage::fromFile(path.toStdString(), c.maxDimension);

    for (const auto& raster : {fromImage, fromFile}) {
        ASSERT_EQ(raster.has_value(), c.accepted);
        if (!raster) continue;
        EXPECT_EQ(raster->width, c.expectedWidth);
        EXPECT_EQ(raster->height, c.expectedHeight);
        ASSERT_EQ(raster->luma.size(), std::size_t(c.expectedWidth) * std::size_t(c.expectedHeight));
        // A uniform grey stays the same grey through scaling (luma 0.299 + 0.587 + 0.114 = 1).
        EXPECT_NEAR(raster->luma[raster->luma.size() / 2], 90.0f, 0.01f);
    }
}

INSTANTIATE_TEST_SUITE_P(Rules, RasterImageSize,
                         ::testing::Values(SizeCase{1, 40, 2400, false, 0, 0}, SizeCase{40, 1, 2400, false, 0, 0},
                                           SizeCase{2, 2, 2400, true, 2, 2},
                                           SizeCase{4800, 1200, 2400, true, 2400, 600},
                                           SizeCase{100, 50, 2400, true, 100, 50}, SizeCase{100, 50, 40, true, 40, 20},
                                           // Half away from zero: 4 × 5 / 8 = 2.5 → 3.
                                           SizeCase{8, 4, 5, true, 5, 3}, SizeCase{400, 3, 40, true, 40, 2}));

TEST(RasterImage, TransparencyReadsAsWhiteAndLumaUsesRec601Weights) {
    QImage image(4, 2, QImage::Format_ARGB32);
    image.setPixelColor(0, 0, QColor(0, 0, 0, 0));        // fully transparent
    image.setPixelColor(1, 0, QColor(0, 0, 0, 255));      // opaque black
    image.setPixelColor(2, 0, QColor(255, 0, 0, 255));    // opaque red
    image.setPixelColor(3, 0, QColor(0, 0, 0, 128));      // half-transparent black over white
    image.setPixelColor(0, 1, QColor(0, 255, 0, 255));    // opaque green
    image.setPixelColor(1, 1, QColor(0, 0, 255, 255));    // opaque blue
    image.setPixelColor(2, 1, QColor(255, 255, 255, 0));  // transparent white
    image.setPixelColor(3, 1, QColor(10, 20, 30, 255));
    const auto raster = RasterImage::fromImage(image, 2400);
    ASSERT_TRUE(raster);
    EXPECT_EQ(raster->luma[0], 255.0f);
    EXPECT_EQ(raster->luma[1], 0.0f);
    EXPECT_FLOAT_EQ(raster->luma[2], 0.299f * 255.0f);
    EXPECT_NEAR(raster->luma[3], 127.0f, 1.0f);
    EXPECT_FLOAT_EQ(raster->luma[4], 0.587f * 255.0f);
    EXPECT_FLOAT_EQ(raster->luma[5], 0.114f * 255.0f);
    EXPECT_EQ(raster->luma[6], 255.0f);
    EXPECT_FLOAT_EQ(raster->luma[7], 0.299f * 10 + 0.587f * 20 + 0.114f * 30);
}

// Opaque grey, RGB and palette images are read straight from their bytes; the values must equal
// those of drawing the same pixels over white (the path every image with an alpha channel takes).
TEST(RasterImage, OpaqueFormatsGiveTheSameLumaAsDrawingOverWhite) {
    QImage rgb(61, 37, QImage::Format_RGB32);
    std::uint32_t state = 12345;
    for (int y = 0; y < rgb.height(); ++y) {
        for (int x = 0; x < rgb.width(); ++x) {
            state = state * 1664525u + 1013904223u;
            rgb.setPixel(x, y, 0xff000000u | (state >> 8));
        }
    }
    QImage grey(256, 3, QImage::Format_Grayscale8);
    for (int y = 0; y < grey.height(); ++y) {
        for (int x = 0; x < grey.width(); ++x) grey.scanLine(y)[x] = static_cast<uchar>((x + 97 * y) % 256);
    }
    // A 1-bit image in a palette of two colours (or none: then black and white) and an 8-bit palette
    // image with a colour table of three entries.
    QImage mono = rgb.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    mono.setColorTable({qRgb(20, 200, 90), qRgb(250, 240, 3)});
    QImage bareMono = mono;  // no colour table: Qt reads 0 as black and 1 as white
    bareMono.setColorTable({});
    QImage shortPalette(61, 37, QImage::Format_Indexed8);
    shortPalette.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(12, 34, 56)});
    for (int y = 0; y < shortPalette.height(); ++y) {
        for (int x = 0; x < shortPalette.width(); ++x) shortPalette.scanLine(y)[x] = static_cast<uchar>((x * y) % 3);
    }
    const std::vector<QImage> opaque{
        grey,         rgb,  rgb.convertToFormat(QImage::Format_RGB888),   rgb.convertToFormat(QImage::Format_Indexed8),
        shortPalette, mono, mono.convertToFormat(QImage::Format_MonoLSB), bareMono};
    for (const QImage& image : opaque) {
        SCOPED_TRACE(testing::Message() << "format " << int(image.format()));
        ASSERT_FALSE(image.hasAlphaChannel());
        const auto direct = RasterImage::fromImage(image, 2400);
        const auto drawn = RasterImage::fromImage(image.convertToFormat(QImage::Format_ARGB32), 2400);
        ASSERT_TRUE(direct && drawn);
        EXPECT_EQ(*direct, *drawn);
    }
    const auto greyRaster = RasterImage::fromImage(grey, 2400);
    EXPECT_EQ(greyRaster->luma[0], 0.0f);
    EXPECT_EQ(greyRaster->luma[255], 255.0f);
}

// A reduced image averages the area each of its pixels covers, luma composited over white first:
// at a whole factor, each pixel is the mean of a block of the image kept at its size, whatever the
// format's depth (16-bit and 1-bit formats are converted a band of rows at a time).
TEST(RasterImage, ReducedImagesAverageTheAreaEachPixelCovers) {
    QImage noise(90, 60, QImage::Format_ARGB32);
    std::uint32_t state = 777;
    for (int y = 0; y < noise.height(); ++y) {
        for (int x = 0; x < noise.width(); ++x) {
            state = state * 1664525u + 1013904223u;
            noise.setPixel(x, y, (state >> 8) | (x % 3 == 0 ? 0xff000000u : (state & 0xff000000u)));
        }
    }
    const QImage opaque = noise.convertToFormat(QImage::Format_RGB32);
    struct Case {
        const char* name;
        QImage image;
        float tolerance;  // drawing over white at the kept size rounds each channel to 8 bits
    };
    const Case cases[] = {
        {"RGB32", opaque, 1e-3f},
        {"RGB888", opaque.convertToFormat(QImage::Format_RGB888), 1e-3f},
        {"grey 8", opaque.convertToFormat(QImage::Format_Grayscale8), 1e-3f},
        {"grey 16", opaque.convertToFormat(QImage::Format_Grayscale16), 1e-3f},
        {"RGBX 64", opaque.convertToFormat(QImage::Format_RGBX64), 1e-3f},
        {"palette", opaque.convertToFormat(QImage::Format_Indexed8), 1e-3f},
        {"mono", opaque.convertToFormat(QImage::Format_Mono), 1e-3f},
        {"ARGB32", noise, 1.0f},
        {"RGBA 64", noise.convertToFormat(QImage::Format_RGBA64), 1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto kept = RasterImage::fromImage(c.image, 2400);
        const auto reduced = RasterImage::fromImage(c.image, 30);
        ASSERT_TRUE(kept && reduced);
        ASSERT_EQ(reduced->width, 30);
        ASSERT_EQ(reduced->height, 20);
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 30; ++x) {
                float sum = 0;
                for (int dy = 0; dy < 3; ++dy) {
                    for (int dx = 0; dx < 3; ++dx) sum += kept->luma[std::size_t((3 * y + dy) * 90 + 3 * x + dx)];
                }
                ASSERT_NEAR(reduced->luma[std::size_t(y * 30 + x)], sum / 9, c.tolerance) << x << "," << y;
            }
        }
    }
    // A fractional factor: a one-pixel black column of a 7-pixel-wide white image reduced to 3
    // pixels is shared between the two cells that cover it (7 / 3 = 2.33 source pixels a cell).
    QImage column(7, 2, QImage::Format_Grayscale8);
    column.fill(255);
    for (int y = 0; y < 2; ++y) column.scanLine(y)[2] = 0;
    const auto shared = RasterImage::fromImage(column, 3);
    ASSERT_TRUE(shared);
    ASSERT_EQ(shared->width, 3);
    ASSERT_EQ(shared->height, 2);  // max(round(2 × 3 / 7), 2)
    // Cell 0 covers [0, 2.33): a third of pixel 2; cell 1 covers [2.33, 4.67): two thirds of it.
    EXPECT_NEAR(shared->luma[0], 255.0f * (1 - (1.0f / 3) / (7.0f / 3)), 1e-3f);
    EXPECT_NEAR(shared->luma[1], 255.0f * (1 - (2.0f / 3) / (7.0f / 3)), 1e-3f);
    EXPECT_NEAR(shared->luma[2], 255.0f, 1e-3f);
}

// Grey and palette images are reduced through a table of their pixel values; the result must equal
// reducing the same pixels as 32-bit colour, which is converted a band of rows at a time.
TEST(RasterImage, ReducedGreyAndPaletteImagesEqualTheirColourImages) {
    QImage noise(97, 41, QImage::Format_RGB32);
    std::uint32_t state = 4242;
    for (int y = 0; y < noise.height(); ++y) {
        for (int x = 0; x < noise.width(); ++x) {
            state = state * 1664525u + 1013904223u;
            noise.setPixel(x, y, 0xff000000u | (state >> 8));
        }
    }
    const QImage mono = noise.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    QImage seeThroughMono = mono;
    seeThroughMono.setColorTable({qRgba(10, 20, 30, 0), qRgba(200, 100, 50, 128)});
    QImage seeThroughPalette = noise.convertToFormat(QImage::Format_Indexed8);
    QList<QRgb> colours = seeThroughPalette.colorTable();
    for (qsizetype i = 0; i < colours.size(); ++i)
        colours[i] = (colours[i] & 0xffffffu) | (std::uint32_t(i * 37 % 256) << 24);
    seeThroughPalette.setColorTable(colours);
    struct Case {
        const char* name;
        QImage image;
    };
    const Case cases[] = {
        {"grey 8", noise.convertToFormat(QImage::Format_Grayscale8)},
        {"palette", noise.convertToFormat(QImage::Format_Indexed8)},
        {"translucent palette", seeThroughPalette},
        {"mono", mono},
        {"mono LSB", mono.convertToFormat(QImage::Format_MonoLSB)},
        {"translucent mono", seeThroughMono},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QImage colour =
            c.image.convertToFormat(c.image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        const auto reduced = RasterImage::fromImage(c.image, 40);
        const auto reference = RasterImage::fromImage(colour, 40);
        ASSERT_TRUE(reduced && reference);
        ASSERT_EQ(reduced->width, 40);
        ASSERT_EQ(reduced->height, 17);
        EXPECT_EQ(*reduced, *reference);
    }
}

TEST(RasterImage, GrayImageRoundsAndClamps) {
    const RasterImage raster{3, 2, {-20.0f, 0.49f, 0.5f, 127.5f, 254.6f, 1000.0f}};
    const QImage gray = raster.toGrayImage();
    ASSERT_FALSE(gray.isNull());
    ASSERT_EQ(gray.format(), QImage::Format_Grayscale8);
    const std::vector<int> expected{0, 0, 1, 128, 255, 255};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(gray.constScanLine(i / 3)[i % 3], expected[std::size_t(i)]) << i;

    EXPECT_TRUE((RasterImage{0, 0, {}}.toGrayImage().isNull()));
    EXPECT_TRUE((RasterImage{3, 3, {1.0f}}.toGrayImage().isNull()));  // luma shorter than the image
}

// --- Files of every format the reader handles ----------------------------------------------------

// A test picture: left half black, right half white.
QImage halfBlack(int w, int h, QImage::Format format) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w / 2; ++x) image.setPixel(x, y, qRgb(0, 0, 0));
    }
    return image.convertToFormat(format);
}

QByteArray encode(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format)) << format;
    return bytes;
}

// An APP1 segment holding an Exif block whose only tag is Orientation (0x0112), inserted after SOI.
QByteArray withExifOrientation(QByteArray jpeg, std::uint16_t orientation) {
    const char tiff[] = {'M',  'M',
                         0,    0x2A,
                         0,    0,
                         0,    8,  // big-endian header, IFD at 8
                         0,    1,  // one entry
                         0x01, 0x12,
                         0,    3,
                         0,    0,
                         0,    1,  // Orientation, SHORT, count 1
                         0,    static_cast<char>(orientation),
                         0,    0,  // value
                         0,    0,
                         0,    0};  // no next IFD
    QByteArray segment("\xFF\xE1", 2);
    const int length = 2 + 6 + int(sizeof tiff);
    segment.append(char(length >> 8)).append(char(length & 0xFF));
    segment.append("Exif\0\0", 6).append(tiff, sizeof tiff);
    EXPECT_EQ(std::uint8_t(jpeg[0]), 0xFF);
    EXPECT_EQ(std::uint8_t(jpeg[1]), 0xD8);
    jpeg.insert(2, segment);
    return jpeg;
}

// An uncompressed GIF89a (Qt reads GIF but cannot write it): 2-bit LZW codes with a clear code
// before every pair of pixels so the code width stays 3 bits. Palette: 0 black, 1 white, 2 transparent.
QByteArray gifOf(int w, int h, const std::vector<int>& pixels) {
    QByteArray out("GIF89a");
    const auto u16 = [&out](int v) { out.append(char(v & 0xFF)).append(char(v >> 8)); };
    u16(w);
    u16(h);
    out.append(char(0xF1)).append('\0').append('\0');  // global table of 4 colours
    const unsigned char palette[] = {0, 0, 0, 255, 255, 255, 0, 255, 0, 128, 128, 128};
    out.append(reinterpret_cast<const char*>(palette), sizeof palette);
    out.append("\x21\xF9\x04\x01\x00\x00\x02\x00", 8);  // graphic control: colour 2 transparent
    out.append(',');
    u16(0);
    u16(0);
    u16(w);
    u16(h);
    out.append('\0').append(char(2));  // no local table; LZW minimum code size 2
    QByteArray data;
    unsigned bits = 0;
    int count = 0;
    const auto put = [&](unsigned code) {
        bits |= code << count;
        count += 3;
        while (count >= 8) {
            data.append(char(bits & 0xFF));
            bits >>= 8;
            count -= 8;
        }
    };
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        if (i % 2 == 0) put(4);
        put(unsigned(pixels[i]));
    }
    put(5);
    if (count > 0) data.append(char(bits & 0xFF));
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const QByteArray block = data.mid(at, 255);
        out.append(char(block.size())).append(block);
    }
    out.append('\0').append(';');
    return out;
}

struct FormatCase {
    const char* name;
    QByteArray bytes;
    int width;
    int height;
    bool leftDark;  // left half dark (else top half dark)
    double tolerance;
};

std::vector<FormatCase> formatCases() {
    std::vector<FormatCase> cases;
    cases.push_back({"png8", encode(halfBlack(40, 20, QImage::Format_Grayscale8), "PNG"), 40, 20, true, 0});
    cases.push_back({"png16", encode(halfBlack(40, 20, QImage::Format_RGBA64), "PNG"), 40, 20, true, 0});
    QImage indexed = halfBlack(40, 20, QImage::Format_Indexed8);
    EXPECT_EQ(indexed.format(), QImage::Format_Indexed8);
    cases.push_back({"png-palette", encode(indexed, "PNG"), 40, 20, true, 0});
    cases.push_back({"jpeg", encode(halfBlack(40, 20, QImage::Format_RGB32), "JPEG"), 40, 20, true, 40});
    // Orientation 6: the stored image is turned 90° clockwise for display, so its left half goes on top.
    cases.push_back({"jpeg-exif-6", withExifOrientation(encode(halfBlack(40, 20, QImage::Format_RGB32), "JPEG"), 6), 20,
                     40, false, 40});
    cases.push_back({"tiff", encode(halfBlack(40, 20, QImage::Format_RGB32), "TIFF"), 40, 20, true, 0});
    cases.push_back({"bmp", encode(halfBlack(40, 20, QImage::Format_RGB32), "BMP"), 40, 20, true, 0});
    cases.push_back({"webp", encode(halfBlack(40, 20, QImage::Format_RGB32), "WEBP"), 40, 20, true, 40});
    std::vector<int> gifPixels(40 * 20);
    for (int i = 0; i < 40 * 20; ++i) gifPixels[std::size_t(i)] = (i % 40) < 20 ? 0 : 1;
    cases.push_back({"gif", gifOf(40, 20, gifPixels), 40, 20, true, 0});
    return cases;
}

TEST(RasterImageFile, DecodesEveryFormatWithOrientationApplied) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const FormatCase& c : formatCases()) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QString::fromUtf8(c.name));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.bytes);
        file.close();
        const auto raster = RasterImage::fromFile(path.toStdString(), 2400);
        ASSERT_TRUE(raster);
        ASSERT_EQ(raster->width, c.width);
        ASSERT_EQ(raster->height, c.height);
        const auto at = [&](int x, int y) { return raster->luma[std::size_t(y * c.width + x)]; };
        // Sample well inside each half (away from the edge that lossy formats blur).
        const int dx = c.leftDark ? c.width / 4 : c.width / 2;
        const int dy = c.leftDark ? c.height / 2 : c.height / 4;
        const int lx = c.leftDark ? c.width * 3 / 4 : c.width / 2;
        const int ly = c.leftDark ? c.height / 2 : c.height * 3 / 4;
        EXPECT_NEAR(at(dx, dy), 0.0f, c.tolerance);
        EXPECT_NEAR(at(lx, ly), 255.0f, c.tolerance);
    }
}

// The file's suffix names the reader first, as for formats known by their suffix alone (TGA, whose
// header reads as an icon directory too); when that reader cannot read the bytes, their content
// decides (a PNG file named .jpg).
TEST(RasterImageFile, TheSuffixChoosesTheReaderThenTheContent) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QByteArray tga("\0\0\x02\0\0\0\0\0\0\0\0\0\x28\0\x14\0\x18\x20", 18);  // 40 x 20, 24 bits, top first
    for (int i = 0; i < 40 * 20; ++i) tga += QByteArray(3, (i % 40) < 20 ? '\0' : '\xff');
    tga += QByteArray(8, '\0') + QByteArray("TRUEVISION-XFILE.\0", 18);
    const QByteArray png = encode(halfBlack(40, 20, QImage::Format_RGB32), "PNG");
    for (const auto& [name, bytes] : {std::pair{"drawing.tga", tga}, std::pair{"drawing.jpg", png}}) {
        SCOPED_TRACE(name);
        const QString path = dir.filePath(QString::fromUtf8(name));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        const auto raster = RasterImage::fromFile(path.toStdString(), 2400);
        ASSERT_TRUE(raster);
        ASSERT_EQ(raster->width, 40);
        ASSERT_EQ(raster->height, 20);
        EXPECT_EQ(raster->luma[10 * 40 + 5], 0.0f);
        EXPECT_EQ(raster->luma[10 * 40 + 35], 255.0f);
    }
}

TEST(RasterImageFile, GifTransparencyReadsAsWhite) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("t.gif");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(gifOf(2, 2, {0, 2, 2, 3}));
    file.close();
    const auto raster = RasterImage::fromFile(path.toStdString(), 2400);
    ASSERT_TRUE(raster);
    EXPECT_EQ(raster->luma, (PixelBuffer<float>{0.0f, 255.0f, 255.0f, 128.0f}));
}

TEST(RasterImageFile, OrientedLargeJpegIsDecodedScaled) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("big.jpg");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(withExifOrientation(encode(halfBlack(4800, 1200, QImage::Format_RGB32), "JPEG"), 6));
    file.close();
    const auto raster = RasterImage::fromFile(path.toStdString(), 2400);
    ASSERT_TRUE(raster);
    EXPECT_EQ(raster->width, 600);
    EXPECT_EQ(raster->height, 2400);
    EXPECT_LT(raster->luma[std::size_t(600 * 600 + 300)], 40.0f);    // top half dark
    EXPECT_GT(raster->luma[std::size_t(600 * 1800 + 300)], 215.0f);  // bottom half light
}

// Every stored orientation is applied to the kept raster as Qt's reader applies it to the image: the
// same pixels at the kept size, and close to them on average when reduced.
TEST(RasterImageFile, EveryOrientationIsAppliedAsTheReaderApplies) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QImage picture(48, 30, QImage::Format_RGB32);
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 48; ++x) picture.setPixel(x, y, qRgb(x * 5, y * 8, (x < 12 && y < 8) ? 0 : 255));
    }
    const QByteArray jpeg = encode(picture, "JPEG");
    for (std::uint16_t orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(testing::Message() << "orientation " << orientation);
        const QString path = dir.filePath(QStringLiteral("o%1.jpg").arg(orientation));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(withExifOrientation(jpeg, orientation));
        file.close();
        QImageReader reader(path);
        reader.setAutoTransform(true);
        const QImage turned = reader.read();
        ASSERT_FALSE(turned.isNull());
        const auto expected = RasterImage::fromImage(turned, 2400);
        const auto kept = RasterImage::fromFile(path.toStdString(), 2400);
        ASSERT_TRUE(expected && kept);
        EXPECT_EQ(*kept, *expected);
        const auto expectedSmall = RasterImage::fromImage(turned, 16);
        const auto reduced = RasterImage::fromFile(path.toStdString(), 16);
        ASSERT_TRUE(expectedSmall && reduced);
        ASSERT_EQ(reduced->width, expectedSmall->width);
        ASSERT_EQ(reduced->height, expectedSmall->height);
        // JPEG decodes reduced itself, so pixels differ at edges; a wrong turn would differ everywhere.
        double difference = 0;
        for (std::size_t i = 0; i < reduced->luma.size(); ++i)
            difference += std::abs(reduced->luma[i] - expectedSmall->luma[i]);
        EXPECT_LT(difference / double(reduced->luma.size()), 6.0);
    }
}

// A little-endian TIFF of one deflated strip: a white grey image of `bits` (8 or 16) per pixel.
QByteArray whiteGreyTiff(std::uint32_t w, std::uint32_t h, std::uint16_t bits) {
    const QByteArray rows(qsizetype(w) * h * bits / 8, '\xff');
    const QByteArray strip = qCompress(rows, 9).mid(4);  // a zlib stream, without Qt's length prefix
    const auto le16 = [](std::uint32_t v) { return QByteArray(1, char(v & 0xFF)) + QByteArray(1, char(v >> 8)); };
    const auto le32 = [&le16](std::uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); };
    const std::uint32_t directory = 8 + std::uint32_t(strip.size() + (strip.size() & 1));
    QByteArray out = QByteArray("II*\0", 4) + le32(directory) + strip + QByteArray(strip.size() & 1, '\0');
    const std::pair<std::uint16_t, std::uint32_t> shorts[] = {{258, bits}, {259, 8}, {262, 1}, {277, 1}, {284, 1}};
    const std::pair<std::uint16_t, std::uint32_t> longs[] = {
        {256, w}, {257, h}, {273, 8}, {278, h}, {279, std::uint32_t(strip.size())}};
    std::vector<std::pair<std::uint16_t, QByteArray>> entries;
    for (const auto& [tag, value] : shorts)
        entries.push_back({tag, le16(tag) + le16(3) + le32(1) + le16(value) + le16(0)});
    for (const auto& [tag, value] : longs) entries.push_back({tag, le16(tag) + le16(4) + le32(1) + le32(value)});
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    out += le16(std::uint32_t(entries.size()));
    for (const auto& entry : entries) out += entry.second;
    return out + le32(0);
}

// Large grey images take a byte or two a pixel: within the bound in bytes they decode and reduce to
// the kept size, though a 32-bit image of as many pixels would not fit.
TEST(RasterImageFile, LargeGreyImagesWithinTheByteBoundAreReduced) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("large-grey.tif");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(whiteGreyTiff(9000, 8000, 8));  // 72 million pixels, 4 bytes each would be 275 MiB
    file.close();
    const auto raster = RasterImage::fromFile(path.toStdString(), 2400);
    ASSERT_TRUE(raster);
    EXPECT_EQ(raster->width, 2400);
    EXPECT_EQ(raster->height, 2133);
    EXPECT_NEAR(*std::min_element(raster->luma.begin(), raster->luma.end()), 255.0f, 0.01f);

    const QString small = dir.filePath("small-grey16.tif");
    QFile smallFile(small);
    ASSERT_TRUE(smallFile.open(QIODevice::WriteOnly));
    smallFile.write(whiteGreyTiff(30, 20, 16));
    smallFile.close();
    const auto grey16 = RasterImage::fromFile(small.toStdString(), 2400);
    ASSERT_TRUE(grey16);
    EXPECT_EQ(grey16->width, 30);
    EXPECT_NEAR(grey16->luma[0], 255.0f, 1e-3f);
}

// --- Bad input ------------------------------------------------------------------------------------

// A PNG whose header claims w × h RGBA pixels, followed by a tiny image data chunk.
QByteArray pngClaiming(std::uint32_t w, std::uint32_t h) {
    QByteArray out("\x89PNG\r\n\x1A\n", 8);
    const auto chunk = [&out](const char* type, const QByteArray& data) { out.append(test::pngChunk(type, data)); };
    chunk("IHDR", test::bigEndian32(w) + test::bigEndian32(h) + QByteArray("\x08\x06\x00\x00\x00", 5));
    chunk("IDAT", QByteArray("\x78\x9C\x03\x00\x00\x00\x00\x01", 8));
    chunk("IEND", QByteArray());
    return out;
}

// A BMP whose header claims w × h pixels at 24 bits and holds no pixel data.
QByteArray bmpClaiming(std::int32_t w, std::int32_t h) {
    QByteArray out("BM", 2);
    const auto le32 = [&out](std::uint32_t v) {
        for (int shift = 0; shift < 32; shift += 8) out.append(char((v >> shift) & 0xFF));
    };
    const auto le16 = [&out](std::uint16_t v) { out.append(char(v & 0xFF)).append(char(v >> 8)); };
    le32(54);
    le32(0);
    le32(54);
    le32(40);
    le32(std::uint32_t(w));
    le32(std::uint32_t(h));
    le16(1);
    le16(24);
    le32(0);
    le32(0);
    le32(2835);
    le32(2835);
    le32(0);
    le32(0);
    return out;
}

long peakResidentKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Opaque 8-bit grey and RGB PNG files (decoded without the image plugin) give exactly the luma of the
// image the decoder reads from them. Gradients, noise and flat runs make the encoder use every row
// filter; a text chunk is ignored; a damaged checksum is left to the decoder, which refuses the file.
TEST(RasterImageFile, PlainPngGivesTheDecodersLuma) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::uint32_t seed = 12345;
    const auto noise = [&seed] {
        seed = seed * 1103515245U + 12345U;
        return int(seed >> 24);
    };
    for (const QImage::Format format : {QImage::Format_Grayscale8, QImage::Format_RGB32}) {
        for (const auto& [w, h] : {std::pair{37, 23}, std::pair{64, 5}, std::pair{3, 2}, std::pair{300, 41}}) {
            SCOPED_TRACE(testing::Message() << "format " << int(format) << ", " << w << "x" << h);
            QImage image(w, h, format);
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    const int band = (x / 7 + y / 5) % 3;
                    const int v = band == 0 ? (x * 255) / w : band == 1 ? noise() : 200;
                    image.setPixel(x, y, qRgb(v, (v + y * 9) % 256, 255 - v));
                }
            }
            image.setText("Comment", "plain");
            const QString path = dir.filePath(QStringLiteral("plain-%1-%2.png").arg(int(format)).arg(w));
            ASSERT_TRUE(image.save(path, "PNG"));
            const auto fromFile = RasterImage::fromFile(path.toStdString(), 2400);
            const auto decoded = RasterImage::fromImage(QImage(path), 2400);
            ASSERT_TRUE(fromFile && decoded);
            EXPECT_EQ(fromFile->width, decoded->width);
            EXPECT_EQ(fromFile->height, decoded->height);
            EXPECT_EQ(fromFile->luma, decoded->luma);

            // One flipped bit in the last image data byte: the CRC no longer matches.
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            QByteArray bytes = file.readAll();
            file.close();
            const qsizetype iend = bytes.lastIndexOf("IEND");
            ASSERT_GT(iend, 16);
            bytes[iend - 9] = char(bytes[iend - 9] ^ 1);
            const QString damaged = dir.filePath(QStringLiteral("damaged-%1-%2.png").arg(int(format)).arg(w));
            QFile out(damaged);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly));
            out.write(bytes);
            out.close();
            EXPECT_EQ(RasterImage::fromFile(damaged.toStdString(), 2400).has_value(), !QImage(damaged).isNull());
        }
    }
}

/// Random damage inside valid-looking chunks (checksums recomputed), and random cuts: every file
/// gives no image or a whole one, never a crash or a read past the data (run under the sanitizers).
TEST(RasterImageFile, MutatedPngsNeverCrash) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QImage base(29, 17, QImage::Format_RGB32);
    for (int y = 0; y < 17; ++y) {
        for (int x = 0; x < 29; ++x) base.setPixel(x, y, qRgb(x * 8, y * 15, (x * y) % 256));
    }
    const QByteArray rgb = encode(base, "PNG");
    const QByteArray grey = encode(base.convertToFormat(QImage::Format_Grayscale8), "PNG");
    const QByteArray palette = encode(base.convertToFormat(QImage::Format_Indexed8), "PNG");
    const QByteArray mono = encode(base.convertToFormat(QImage::Format_Mono), "PNG");
    // The grey and palette files go to the direct decoder.
    for (const QByteArray& direct : {grey, palette, mono}) ASSERT_TRUE(PngDirect::layoutOf(direct));
    std::uint32_t seed = 99;
    const auto next = [&seed](std::uint32_t bound) {
        seed = seed * 1664525U + 1013904223U;
        return (seed >> 8) % bound;
    };
    const QString path = dir.filePath("mutated.png");
    for (int round = 0; round < 1200; ++round) {
        QByteArray bytes = std::array{rgb, grey, palette, mono}[static_cast<std::size_t>(round % 4)];
        // Walk the chunks and pick one to damage.
        std::vector<std::pair<qsizetype, qsizetype>> chunks;  // (start of length field, data length)
        for (qsizetype at = 8; at + 12 <= bytes.size();) {
            const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData() + at);
            const qsizetype length = qsizetype(p[0]) << 24 | qsizetype(p[1]) << 16 | qsizetype(p[2]) << 8 | p[3];
            chunks.emplace_back(at, length);
            at += 12 + length;
        }
        const auto [start, length] = chunks[next(static_cast<std::uint32_t>(chunks.size()))];
        const int kind = static_cast<int>(next(4));
        if (kind == 0 && length > 0) {
            bytes[start + 8 + next(static_cast<std::uint32_t>(length))] = char(next(256));
        } else if (kind == 1) {
            bytes[start + 3] = char(next(256));  // a wrong length
        } else if (kind == 2) {
            bytes.truncate(static_cast<qsizetype>(next(static_cast<std::uint32_t>(bytes.size()))));
        } else if (length > 0) {
            bytes[start + 8 + next(static_cast<std::uint32_t>(length))] ^= char(1 << next(8));
        }
        if (kind != 1 && kind != 2 && start + 12 + length <= bytes.size()) {
            const std::uint32_t crc = test::pngCrc(bytes.constData() + start + 4, length + 4);
            for (int i = 0; i < 4; ++i) bytes[start + 8 + length + i] = char(crc >> (24 - 8 * i));
        }
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        const auto raster = RasterImage::fromFile(path.toStdString(), 2400);
        if (raster) {
            EXPECT_EQ(raster->luma.size(), static_cast<std::size_t>(raster->width * raster->height)) << round;
        }
    }
}

TEST(RasterImageFile, BadFilesGiveNoImage) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray png = encode(halfBlack(64, 64, QImage::Format_RGB32), "PNG");
    const QByteArray jpeg = encode(halfBlack(64, 64, QImage::Format_RGB32), "JPEG");
    const std::vector<std::pair<const char*, QByteArray>> files{
        {"empty.png", QByteArray()},
        {"garbage.png", QByteArray(500, 'x')},
        {"truncated.png", png.left(png.size() / 2)},
        {"header-only.png", png.left(33)},
        {"truncated.jpg", jpeg.left(20)},
        {"tiny-1xN.gif", gifOf(1, 5, {0, 0, 0, 0, 0})},
        {"huge.png", pngClaiming(100000, 100000)},
        {"huge.bmp", bmpClaiming(100000, 100000)},
    };
    const long before = peakResidentKiB();
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        const QString path = dir.filePath(QString::fromUtf8(name));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        EXPECT_FALSE(RasterImage::fromFile(path.toStdString(), 2400));
    }
    EXPECT_FALSE(RasterImage::fromFile(dir.filePath("missing.png").toStdString(), 2400));
    EXPECT_FALSE(RasterImage::fromFile(dir.path().toStdString(), 2400));  // a directory
    // The huge headers were refused without allocating their claimed gigabytes.
    EXPECT_LT(peakResidentKiB() - before, 512L * 1024);
}

TEST(RasterImage, NullImageGivesNoRaster) { EXPECT_FALSE(RasterImage::fromImage(QImage(), 2400)); }

}  // namespace
}  // namespace ostrel
