#include "core/pipeline/PngDirect.h"

#include "core/pipeline/RasterImage.h"
#include "testsupport/PngChunks.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace ostrel {
namespace {

using test::bigEndian32;
using test::pngChunk;

int paethOf(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

/// The rows filtered as a PNG encoder does (one byte a pixel or packed pixels), row y with filter
/// `filters[y % size]`.
QByteArray filtered(const std::vector<QByteArray>& rows, const std::vector<int>& filters) {
    QByteArray out;
    QByteArray above(rows.front().size(), '\0');
    for (std::size_t y = 0; y < rows.size(); ++y) {
        const int filter = filters[y % filters.size()];
        const QByteArray& row = rows[y];
        out.append(static_cast<char>(filter));
        for (qsizetype i = 0; i < row.size(); ++i) {
            const int x = static_cast<unsigned char>(row[i]);
            const int a = i > 0 ? static_cast<unsigned char>(row[i - 1]) : 0;
            const int b = static_cast<unsigned char>(above[i]);
            const int c = i > 0 ? static_cast<unsigned char>(above[i - 1]) : 0;
            const int predicted = filter == 1   ? a
                                  : filter == 2 ? b
                                  : filter == 3 ? (a + b) / 2
                                  : filter == 4 ? paethOf(a, b, c)
                                                : 0;
            out.append(static_cast<char>((x - predicted) & 0xFF));
        }
        above = row;
    }
    return out;
}

struct Png {
    int width = 0;
    int height = 0;
    int depth = 8;
    int colourType = 0;
    int interlace = 0;
    std::vector<QByteArray> rows;  // unfiltered, packed
    std::vector<int> filters{0, 1, 2, 3, 4};
    std::vector<QByteArray> before;  // chunks between the header and the image data
    std::vector<QByteArray> after;   // chunks between the image data and the end
    int streamParts = 1;             // IDAT chunks the stream is cut into
    QByteArray stream;               // the zlib stream, when not made from the rows

    [[nodiscard]] QByteArray bytes() const {
        QByteArray header;
        header += bigEndian32(static_cast<std::uint32_t>(width));
        header += bigEndian32(static_cast<std::uint32_t>(height));
        for (const int field : {depth, colourType, 0, 0, interlace}) header.append(static_cast<char>(field));
        QByteArray out("\x89PNG\r\n\x1a\n", 8);
        out += pngChunk("IHDR", header);
        for (const QByteArray& c : before) out += c;
        const QByteArray z = stream.isEmpty() ? qCompress(filtered(rows, filters)).mid(4) : stream;
        const qsizetype part = (z.size() + streamParts - 1) / streamParts;
        for (qsizetype at = 0; at < z.size(); at += part) out += pngChunk("IDAT", z.mid(at, part));
        for (const QByteArray& c : after) out += c;
        out += pngChunk("IEND", {});
        return out;
    }
};

std::uint32_t seed = 7;
char noise() {
    seed = seed * 1103515245U + 12345U;
    return static_cast<char>(seed >> 24);
}

/// `height` rows of `bytes` bytes: noise, flat runs and ramps, so that every filter has work.
std::vector<QByteArray> rowsOf(int bytes, int height, int values = 256) {
    std::vector<QByteArray> rows;
    for (int y = 0; y < height; ++y) {
        QByteArray row;
        for (int i = 0; i < bytes; ++i) {
            const int kind = (i / 5 + y) % 3;
            const int v = kind == 0 ? static_cast<unsigned char>(noise()) : kind == 1 ? 200 : (i * 7 + y) & 0xFF;
            row.append(static_cast<char>(v % values));
        }
        rows.push_back(row);
    }
    return rows;
}

QByteArray rgbBytes(std::initializer_list<int> values) {
    QByteArray out;
    for (const int v : values) out.append(static_cast<char>(v));
    return out;
}

Png pngOf(int w, int h, int depth, int colourType, std::vector<QByteArray> rows) {
    Png png;
    png.width = w;
    png.height = h;
    png.depth = depth;
    png.colourType = colourType;
    png.rows = std::move(rows);
    return png;
}
Png grey8(int w, int h) { return pngOf(w, h, 8, 0, rowsOf(w, h)); }
Png grey1(int w, int h) { return pngOf(w, h, 1, 0, rowsOf((w + 7) / 8, h)); }
Png palette8(int w, int h, int colours) {
    Png png = pngOf(w, h, 8, 3, rowsOf(w, h, colours));
    QByteArray plte;
    for (int i = 0; i < colours * 3; ++i) plte.append(noise());
    png.before.push_back(pngChunk("PLTE", plte));
    return png;
}
Png palette1(int w, int h) {
    Png png = pngOf(w, h, 1, 3, rowsOf((w + 7) / 8, h));
    png.before.push_back(pngChunk("PLTE", rgbBytes({250, 240, 230, 10, 20, 30})));
    return png;
}

QImage readByQt(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    return reader.read();
}

std::optional<RasterImage> rasterOfFile(const QByteArray& bytes) {
    QTemporaryDir dir;
    const QString path = dir.filePath("image.png");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return std::nullopt;
    file.write(bytes);
    file.close();
    return RasterImage::fromFile(path.toStdString(), 2400);
}

// Every layout read here gives the image Qt's reader makes of the same bytes: its format, its colour
// table and every pixel; and the file's raster is that image's.
TEST(PngDirect, GivesTheImageQtsReaderMakes) {
    struct Case {
        std::string name;
        Png png;
    };
    std::vector<Case> cases{
        {"grey, 37 wide", grey8(37, 23)},
        {"grey, 2 wide", grey8(2, 9)},
        {"grey, 300 wide", grey8(300, 41)},
        {"grey, 64 wide, rows as long as the image's", grey8(64, 7)},
        {"1-bit grey", grey1(13, 11)},
        {"1-bit grey, 64 wide", grey1(64, 6)},
        {"1-bit palette", palette1(29, 10)},
        {"8-bit palette of 5", palette8(31, 12, 5)},
        {"8-bit palette of 256", palette8(40, 9, 256)},
        {"RGB", pngOf(27, 13, 8, 2, rowsOf(27 * 3, 13))},
        {"RGB, 2 wide", pngOf(2, 5, 8, 2, rowsOf(6, 5))},
        {"RGBA", pngOf(23, 11, 8, 6, rowsOf(23 * 4, 11))},
        {"grey and alpha", pngOf(19, 12, 8, 4, rowsOf(19 * 2, 12))},
    };
    {
        Png png = palette1(21, 8);
        png.before.push_back(pngChunk("tRNS", rgbBytes({0})));
        cases.push_back({"1-bit palette, first colour clear", png});
    }
    {
        Png png = palette8(33, 8, 6);
        png.before.push_back(pngChunk("tRNS", rgbBytes({0, 128, 255})));
        cases.push_back({"8-bit palette, some alpha", png});
    }
    {
        Png png = grey8(45, 14);
        png.before = {pngChunk("gAMA", rgbBytes({0, 1, 134, 160})), pngChunk("pHYs", QByteArray(9, '\1')),
                      pngChunk("tEXt", QByteArray("Comment\0scan", 12)), pngChunk("sRGB", rgbBytes({0}))};
        png.streamParts = 3;
        cases.push_back({"grey with gamma, density, text, in three data chunks", png});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray bytes = c.png.bytes();
        const QImage expected = readByQt(bytes);
        ASSERT_FALSE(expected.isNull());
        const auto layout = PngDirect::layoutOf(bytes);
        ASSERT_TRUE(layout);
        EXPECT_EQ(layout->format, expected.format());
        const QImage image = PngDirect::decode(bytes, *layout);
        ASSERT_FALSE(image.isNull());
        ASSERT_EQ(image.format(), expected.format());
        ASSERT_EQ(image.size(), expected.size());
        EXPECT_EQ(image.colorTable(), expected.colorTable());
        int differing = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) differing += image.pixel(x, y) != expected.pixel(x, y) ? 1 : 0;
        }
        EXPECT_EQ(differing, 0);
        const auto raster = rasterOfFile(bytes);
        const auto qtRaster = RasterImage::fromImage(expected, 2400);
        ASSERT_TRUE(raster && qtRaster);
        EXPECT_EQ(raster->luma, qtRaster->luma);
    }
}

// Layouts and files not read here are left to Qt's reader (the file's raster is then the one it
// makes, or none when it refuses the file); so are files that are not well formed.
TEST(PngDirect, LeavesEverythingElseToQtsReader) {
    struct Case {
        std::string name;
        Png png;
        bool layoutRead;  // the layout is one read here; the data then turns out wrong
    };
    std::vector<Case> cases;
    {
        Png png = grey8(20, 6);
        png.depth = 16;
        png.rows = rowsOf(40, 6);
        cases.push_back({"16-bit grey", png, false});
    }
    {
        Png png = grey8(20, 6);
        png.depth = 2;
        png.rows = rowsOf(5, 6);
        cases.push_back({"2-bit grey", png, false});
    }
    {
        Png png = pngOf(20, 6, 8, 2, rowsOf(60, 6));
        png.before.push_back(pngChunk("tRNS", rgbBytes({0, 1, 0, 2, 0, 3})));
        cases.push_back({"RGB with a clear colour", png, false});
    }
    {
        Png png = pngOf(20, 6, 8, 2, rowsOf(60, 6));
        png.before.push_back(pngChunk("PLTE", rgbBytes({1, 2, 3})));
        cases.push_back({"RGB with a suggested palette", png, false});
    }
    {
        Png png = grey8(20, 6);
        png.before.push_back(pngChunk("tRNS", rgbBytes({0, 200})));
        cases.push_back({"grey with a clear value", png, false});
    }
    {
        Png png = palette1(20, 6);
        png.before = {pngChunk("PLTE", rgbBytes({1, 2, 3}))};
        cases.push_back({"1-bit palette of one colour", png, false});
    }
    {
        Png png = grey8(20, 6);
        png.before.push_back(pngChunk("eXIf", QByteArray(8, '\0')));
        cases.push_back({"a chunk not known here", png, false});
    }
    {
        Png png = palette8(20, 6, 4);
        png.after.push_back(pngChunk("tRNS", rgbBytes({0, 0})));
        cases.push_back({"transparency after the image data, which Qt's reader ignores", png, false});
    }
    {
        Png png = palette8(20, 6, 4);
        png.rows = rowsOf(20, 6, 9);
        cases.push_back({"palette index past the palette", png, true});
    }
    {
        Png png = grey8(20, 6);
        png.filters = {0, 5};
        cases.push_back({"unknown filter", png, true});
    }
    {
        Png png = grey8(20, 6);
        png.stream = qCompress(filtered(rowsOf(20, 5), {0})).mid(4);
        cases.push_back({"a row short", png, true});
    }
    {
        Png png = grey8(20, 6);
        png.stream = qCompress(filtered(rowsOf(20, 7), {0})).mid(4);
        cases.push_back({"a row too many", png, true});
    }
    {
        Png png = grey8(20, 6);
        png.stream = qCompress(filtered(png.rows, {1})).mid(4);
        png.stream[png.stream.size() - 1] = static_cast<char>(png.stream.back() ^ 1);
        cases.push_back({"a wrong stream checksum", png, true});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray bytes = c.png.bytes();
        const auto layout = PngDirect::layoutOf(bytes);
        ASSERT_EQ(layout.has_value(), c.layoutRead);
        if (layout) {
            EXPECT_TRUE(PngDirect::decode(bytes, *layout).isNull());
        }
        const QImage qt = readByQt(bytes);
        const auto raster = rasterOfFile(bytes);
        ASSERT_EQ(raster.has_value(), !qt.isNull());
        if (raster) {
            EXPECT_EQ(raster->luma, RasterImage::fromImage(qt, 2400)->luma);
        }
    }
    // A wrong CRC anywhere: not read here.
    QByteArray damaged = grey8(20, 6).bytes();
    damaged[20] = static_cast<char>(damaged[20] ^ 0x40);
    EXPECT_FALSE(PngDirect::layoutOf(damaged));
    EXPECT_FALSE(PngDirect::layoutOf(QByteArray("\x89PNG\r\n\x1a\n", 8)));
}

}  // namespace
}  // namespace ostrel
