// Image files and decoded images into a grey raster, and back to an 8-bit grey image for display.
//
// Files are read once into memory (ImageFileCheck) and decoded by QImageReader from those bytes (a
// PDF document by PdfPage, its first page rendered at the kept size; PNG images of the usual 8-bit
// and 1-bit layouts by PngDirect, into the image Qt's reader would make). The decoder's memory is
// bounded in bytes before any pixel is decoded: the decoded size and format come from the header,
// and a decode needing more than kMaxDecodeBytes is refused (Qt's own allocation limit caps the
// pixels of the buffers a decoder makes on its way). JPEG files decode straight to a reduced size;
// other formats decode at their size and are reduced here by area averaging, one band of rows at a
// time, so no full-size 32-bit copy is ever made. The stored orientation is applied to the kept
// raster. Luma uses the ITU-R BT.601 weights on pixels composited over white, so transparency reads
// as white; luma is linear in premultiplied colour, so averaging it equals averaging the colours
// first. Opaque grey, RGB and palette images (1-bit ones too) kept at their size skip the
// compositing: their luma is read straight from the pixels through per-channel or per-index tables
// (the same values; a 2400 × 2400 grey or 1-bit image converts in a few ms instead of two full-size
// 32-bit copies and a painter pass). Grey and palette images being reduced are read by index too,
// without converting their rows.
#include "core/pipeline/RasterImage.h"

#include "core/pipeline/ImageFileCheck.h"
#include "core/pipeline/PdfPage.h"
#include "core/pipeline/PngDirect.h"
#include "core/pipeline/PrefaultedImage.h"
#include "core/support/text/NumberFormat.h"
#include "core/support/parallel/ParallelFor.h"
#include "core/support/parallel/PrefaultedVector.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageIOHandler>
#include <QImageReader>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <mutex>
#include <utility>
#include <vector>

namespace ostrel {

namespace {

// Qt's own limit on the images a decoder allocates on its way, in megabytes. Qt counts 4 bytes a
// pixel whatever the format, so this is a pixel cap (134 million pixels, 11 585 square) behind the
// bound in real bytes worked out before decoding: a 16-bit grey image of that size is 256 MiB.
constexpr int kDecodeAllocationLimitMB = static_cast<int>(2 * kMaxDecodeBytes / (1024 * 1024));

struct ScaledSize {
    int width = 0;
    int height = 0;
};

// The size an image of w0 × h0 takes with its longer side limited to maxDimension: never enlarged,
// each side rounded half away from zero and at least 2. None when w0 or h0 is below 2.
std::optional<ScaledSize> scaledSizeFor(std::int64_t w0, std::int64_t h0, int maxDimension) {
    if (w0 < 2 || h0 < 2) return std::nullopt;
    const std::int64_t longest = std::max(w0, h0);
    const double scale =
        longest > maxDimension ? static_cast<double>(maxDimension) / static_cast<double>(longest) : 1.0;
    const auto w = roundedInt64(scale * static_cast<double>(w0));
    const auto h = roundedInt64(scale * static_cast<double>(h0));
    if (!w || !h) return std::nullopt;
    const std::int64_t wc = std::max<std::int64_t>(*w, 2);
    const std::int64_t hc = std::max<std::int64_t>(*h, 2);
    if (wc > std::numeric_limits<int>::max() || hc > std::numeric_limits<int>::max()) return std::nullopt;
    return ScaledSize{static_cast<int>(wc), static_cast<int>(hc)};
}

void applyDecodeAllocationLimit() {
    static std::once_flag once;
    std::call_once(once, [] { QImageReader::setAllocationLimit(kDecodeAllocationLimitMB); });
}

// Rows per parallel chunk of the pixel loops below.
constexpr std::size_t kRowsPerChunk = 16;

// BT.601 luma of (r, g, b) with coverage a (0…1) over white: the value every path below produces,
// summed in this order.
inline float compositeLuma(float r, float g, float b, float a) {
    return (0.299f * r + 0.587f * g + 0.114f * b) * a + (1.0f - a) * 255.0f;
}

// Luma of opaque 8-bit pixels by table: byGrey[v] is the luma of the grey v; byRed/byGreen/byBlue are
// the weighted channels, added in the order compositeLuma adds them. With a = 255 / 255 = 1 exactly,
// the composite is sum × 1 + 0 × 255, the sum itself.
struct LumaTables {
    std::array<float, 256> byGrey{};
    std::array<float, 256> byRed{};
    std::array<float, 256> byGreen{};
    std::array<float, 256> byBlue{};
};

const LumaTables& lumaTables() {
    static const LumaTables tables = [] {
        LumaTables t;
        for (int v = 0; v < 256; ++v) {
            const auto f = static_cast<float>(v);
            t.byGrey[static_cast<std::size_t>(v)] = compositeLuma(f, f, f, 1.0f);
            t.byRed[static_cast<std::size_t>(v)] = 0.299f * f;
            t.byGreen[static_cast<std::size_t>(v)] = 0.587f * f;
            t.byBlue[static_cast<std::size_t>(v)] = 0.114f * f;
        }
        return t;
    }();
    return tables;
}

// Luma of every value a pixel of a format read by index can hold (8-bit grey and palette: 256, 1-bit
// palette: 2); table[v] is the luma of a pixel holding v.
using IndexLuma = std::array<float, 256>;

// Formats whose pixels are read by index: one byte (8-bit grey, palette) or one bit (1-bit palette).
bool readsByIndex(QImage::Format format) {
    return format == QImage::Format_Grayscale8 || format == QImage::Format_Indexed8 || format == QImage::Format_Mono ||
           format == QImage::Format_MonoLSB;
}

// One row holding every value a pixel of `image`'s format (one that readsByIndex) can hold, in
// increasing order, with the image's colour table. Qt converts a pixel by its value alone, so the
// strip converted to a format holds what each value becomes when the whole image is converted.
QImage indexStrip(const QImage& image) {
    const QImage::Format format = image.format();
    const bool bits = format == QImage::Format_Mono || format == QImage::Format_MonoLSB;
    QImage strip(bits ? 2 : 256, 1, format);
    if (strip.isNull()) return {};
    if (format != QImage::Format_Grayscale8) strip.setColorTable(image.colorTable());
    uchar* row = strip.scanLine(0);
    if (bits) {
        row[0] = format == QImage::Format_Mono ? 0x40 : 0x02;  // pixel 0 holds 0, pixel 1 holds 1
    } else {
        for (int v = 0; v < 256; ++v) row[v] = static_cast<uchar>(v);
    }
    return strip;
}

// The index table of an image without alpha whose pixels convert to opaque colours: each value's
// colour as the general path converts it (`target`), weighed as the opaque RGB path weighs it.
// None when a converted colour is not opaque.
std::optional<IndexLuma> opaqueIndexLuma(const QImage& image, QImage::Format target) {
    const QImage colours = indexStrip(image).convertToFormat(target);
    if (colours.isNull()) return std::nullopt;
    const LumaTables& t = lumaTables();
    const auto* pixels = reinterpret_cast<const QRgb*>(colours.constScanLine(0));
    IndexLuma table{};
    for (int v = 0; v < colours.width(); ++v) {
        const QRgb p = pixels[v];
        if (qAlpha(p) != 255) return std::nullopt;
        table[static_cast<std::size_t>(v)] = t.byRed[static_cast<std::size_t>(qRed(p))] +
                                             t.byGreen[static_cast<std::size_t>(qGreen(p))] +
                                             t.byBlue[static_cast<std::size_t>(qBlue(p))];
    }
    return table;
}

// Luma of `width` pixels of a row of a format read by index, by `table`.
void indexedRowLuma(const uchar* row, QImage::Format format, int width, const IndexLuma& table, float* out) {
    if (format == QImage::Format_Mono) {
        for (int x = 0; x < width; ++x) out[x] = table[(row[x >> 3] >> (7 - (x & 7))) & 1];
    } else if (format == QImage::Format_MonoLSB) {
        for (int x = 0; x < width; ++x) out[x] = table[(row[x >> 3] >> (x & 7)) & 1];
    } else {
        for (int x = 0; x < width; ++x) out[x] = table[row[x]];
    }
}

// Luma of an opaque image of a format whose pixels convert to RGB exactly (8-bit grey, RGB without
// alpha, a 1-bit or 8-bit palette without alpha), read straight from its bytes: the same values as
// drawing it over white, without the two full-size 32-bit copies that takes. Palette images go by
// a table of their colours converted as the general path converts them (RGB32 for an 8-bit palette,
// premultiplied ARGB for a 1-bit one). None for other formats.
std::optional<RasterImage> opaqueLuma(const QImage& image) {
    if (image.hasAlphaChannel()) return std::nullopt;
    const QImage::Format format = image.format();
    std::optional<IndexLuma> byIndex;
    QImage rgb;
    if (format == QImage::Format_Grayscale8) {
        byIndex = lumaTables().byGrey;
    } else if (readsByIndex(format)) {
        byIndex = opaqueIndexLuma(
            image, format == QImage::Format_Indexed8 ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
        if (!byIndex) return std::nullopt;
    } else {
        if (format != QImage::Format_RGB32 && format != QImage::Format_RGB888) return std::nullopt;
        rgb = image.convertToFormat(QImage::Format_RGB32);  // shares the pixels when already RGB32
        if (rgb.isNull()) return std::nullopt;
    }

    const LumaTables& t = lumaTables();
    const auto& byRed = t.byRed;
    const auto& byGreen = t.byGreen;
    const auto& byBlue = t.byBlue;
    const int w = image.width();
    const int h = image.height();
    RasterImage raster;
    raster.width = w;
    raster.height = h;
    raster.luma = unwrittenBuffer<float>(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    parallelFor(static_cast<std::size_t>(h), kRowsPerChunk, [&](std::size_t first, std::size_t last) {
        for (std::size_t y = first; y < last; ++y) {
            float* out = raster.luma.data() + y * static_cast<std::size_t>(w);
            if (byIndex) {
                indexedRowLuma(image.constScanLine(static_cast<int>(y)), format, w, *byIndex, out);
            } else {
                const auto* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(static_cast<int>(y)));
                for (int x = 0; x < w; ++x) {
                    const QRgb p = row[x];
                    out[x] = byRed[static_cast<std::size_t>(qRed(p))] + byGreen[static_cast<std::size_t>(qGreen(p))] +
                             byBlue[static_cast<std::size_t>(qBlue(p))];
                }
            }
        }
    });
    return raster;
}

// One output cell of an area-averaging reduction along one axis: source indices first…last, every
// one weighing 1 but the first and the last, which weigh the part of them the cell covers. The
// weights are divided by the cell's width, so they add up to 1.
struct Span {
    int first = 0;
    int last = 0;
    float firstWeight = 0;
    float innerWeight = 0;
    float lastWeight = 0;
};

// The spans of `target` cells over `source` samples (target ≤ source).
std::vector<Span> areaSpans(int source, int target) {
    std::vector<Span> spans(static_cast<std::size_t>(target));
    const double scale = static_cast<double>(source) / static_cast<double>(target);
    for (int t = 0; t < target; ++t) {
        const double begin = t * scale;
        const double end = std::min((t + 1) * scale, static_cast<double>(source));
        Span& span = spans[static_cast<std::size_t>(t)];
        span.first = static_cast<int>(begin);
        span.last = std::max(span.first, std::min(static_cast<int>(std::ceil(end)) - 1, source - 1));
        const double inner = 1.0 / scale;
        if (span.first == span.last) {
            span.firstWeight = static_cast<float>((end - begin) * inner);
        } else {
            span.firstWeight = static_cast<float>((span.first + 1 - begin) * inner);
            span.lastWeight = static_cast<float>((end - span.last) * inner);
        }
        span.innerWeight = static_cast<float>(inner);
    }
    return spans;
}

// Luma of `width` premultiplied RGBA pixels, composited over white: the colour as it is, plus white
// where the pixel is not covered.
void rowLuma(const uchar* rgba, int width, float* out) {
    const LumaTables& t = lumaTables();
    for (int x = 0; x < width; ++x) {
        const uchar* p = rgba + 4 * x;
        out[x] = t.byRed[p[0]] + t.byGreen[p[1]] + t.byBlue[p[2]] + static_cast<float>(255 - p[3]);
    }
}

// The index table of an image read by index as the reduction below reads its pixels: each value
// converted to 8-bit premultiplied RGBA as a band of the image would be, composited over white by
// rowLuma. None when the strip cannot be converted.
std::optional<IndexLuma> premultipliedIndexLuma(const QImage& image) {
    const QImage colours = indexStrip(image).convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    if (colours.isNull()) return std::nullopt;
    IndexLuma table{};
    rowLuma(colours.constScanLine(0), colours.width(), table.data());
    return table;
}

// `image` reduced to w × h (both no larger than the image's sides) by averaging the area each output
// pixel covers, its luma composited over white. Bands of output rows run in parallel. Grey and
// palette pixels are read by a table of their values; other formats convert only the source rows a
// band covers to 8-bit premultiplied RGBA, so the memory beyond the result is a few source rows per
// thread, whatever the source format. None when a band cannot be converted.
std::optional<RasterImage> areaReducedLuma(const QImage& image, int w, int h) {
    const int sw = image.width();
    const int sh = image.height();
    const QImage::Format format = image.format();
    const std::optional<IndexLuma> byIndex = readsByIndex(format) ? premultipliedIndexLuma(image) : std::nullopt;
    const std::vector<Span> columns = areaSpans(sw, w);
    const std::vector<Span> rows = areaSpans(sh, h);
    RasterImage raster;
    raster.width = w;
    raster.height = h;
    raster.luma = unwrittenBuffer<float>(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    std::atomic<bool> failed{false};
    parallelFor(static_cast<std::size_t>(h), kRowsPerChunk, [&](std::size_t firstRow, std::size_t lastRow) {
        const int top = rows[firstRow].first;
        const int bottom = rows[lastRow - 1].last;  // inclusive
        // Without a table, a view of the band's rows in the source's own format, converted once.
        QImage band;
        if (!byIndex) {
            QImage view(image.constScanLine(top), sw, bottom - top + 1, image.bytesPerLine(), format);
            if (format == QImage::Format_Indexed8 || format == QImage::Format_Mono ||
                format == QImage::Format_MonoLSB) {
                view.setColorTable(image.colorTable());
            }
            band = view.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
            if (band.isNull()) {
                failed = true;
                return;
            }
        }
        std::vector<float> source(static_cast<std::size_t>(sw));  // source[x]: one source row's luma
        std::vector<float> reduced(static_cast<std::size_t>(w));  // reduced[x]: that row across the columns
        for (std::size_t y = firstRow; y < lastRow; ++y) {
            float* out = raster.luma.data() + y * static_cast<std::size_t>(w);
            std::fill(out, out + w, 0.0f);
            const Span& row = rows[y];
            for (int sy = row.first; sy <= row.last; ++sy) {
                const float rowWeight =
                    sy == row.first ? row.firstWeight : (sy == row.last ? row.lastWeight : row.innerWeight);
                if (rowWeight == 0.0f) continue;
                if (byIndex) {
                    indexedRowLuma(image.constScanLine(sy), format, sw, *byIndex, source.data());
                } else {
                    rowLuma(band.constScanLine(sy - top), sw, source.data());
                }
                for (int x = 0; x < w; ++x) {
                    const Span& column = columns[static_cast<std::size_t>(x)];
                    float sum = source[static_cast<std::size_t>(column.first)] * column.firstWeight;
                    for (int sx = column.first + 1; sx < column.last; ++sx) {
                        sum += source[static_cast<std::size_t>(sx)] * column.innerWeight;
                    }
                    if (column.last > column.first) {
                        sum += source[static_cast<std::size_t>(column.last)] * column.lastWeight;
                    }
                    reduced[static_cast<std::size_t>(x)] = sum;
                }
                for (int x = 0; x < w; ++x) out[x] += rowWeight * reduced[static_cast<std::size_t>(x)];
            }
        }
    });
    if (failed) return std::nullopt;
    return raster;
}

std::optional<RasterImage> lumaOfImage(const QImage& image, int maxDimension) {
    if (image.isNull()) return std::nullopt;
    const auto target = scaledSizeFor(image.width(), image.height(), maxDimension);
    if (!target) return std::nullopt;
    const int w = target->width;
    const int h = target->height;
    if (w != image.width() || h != image.height()) return areaReducedLuma(image, w, h);
    if (auto raster = opaqueLuma(image)) return raster;

    QImage source = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (source.isNull()) return std::nullopt;

    // RGBA bytes, premultiplied alpha last, starting opaque white; the image is drawn over it.
    QImage canvas(w, h, QImage::Format_RGBA8888_Premultiplied);
    if (canvas.isNull()) return std::nullopt;
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        if (!painter.isActive()) return std::nullopt;
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter.drawImage(QRect(0, 0, w, h), source);
    }

    RasterImage raster;
    raster.width = w;
    raster.height = h;
    raster.luma = unwrittenBuffer<float>(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    parallelFor(static_cast<std::size_t>(h), kRowsPerChunk, [&](std::size_t first, std::size_t last) {
        for (std::size_t y = first; y < last; ++y) {
            const uchar* row = canvas.constScanLine(static_cast<int>(y));
            float* out = raster.luma.data() + y * static_cast<std::size_t>(w);
            for (int x = 0; x < w; ++x) {
                const float a = static_cast<float>(row[4 * x + 3]) / 255.0f;
                out[x] = compositeLuma(row[4 * x], row[4 * x + 1], row[4 * x + 2], a);
            }
        }
    });
    return raster;
}

// The raster turned as the file's stored orientation says, the way QImageReader applies it: a
// 270° turn alone, or else mirrored left–right, then top–bottom, then turned 90° clockwise, as the
// flags ask.
RasterImage oriented(RasterImage raster, QImageIOHandler::Transformations transformation) {
    const std::int64_t w = raster.width;
    const std::int64_t h = raster.height;
    const auto at = [&](std::int64_t x, std::int64_t y) { return raster.luma[static_cast<std::size_t>(y * w + x)]; };
    const auto remap = [&](std::int64_t outWidth, std::int64_t outHeight, auto sourceOf) {
        RasterImage out;
        out.width = outWidth;
        out.height = outHeight;
        out.luma.resize(static_cast<std::size_t>(outWidth * outHeight));
        for (std::int64_t y = 0; y < outHeight; ++y) {
            for (std::int64_t x = 0; x < outWidth; ++x) {
                const auto [sx, sy] = sourceOf(x, y);
                out.luma[static_cast<std::size_t>(y * outWidth + x)] = at(sx, sy);
            }
        }
        return out;
    };
    using T = QImageIOHandler::Transformation;
    if (transformation == QImageIOHandler::TransformationNone) return raster;
    if (transformation == QImageIOHandler::TransformationRotate270) {
        // Output (x, y) of an h × w image comes from source (w - 1 - y, x).
        return remap(h, w, [&](std::int64_t x, std::int64_t y) { return std::pair{w - 1 - y, x}; });
    }
    const bool mirror = transformation.testFlag(T::TransformationMirror);
    const bool flip = transformation.testFlag(T::TransformationFlip);
    RasterImage mirrored = remap(w, h, [&](std::int64_t x, std::int64_t y) {
        return std::pair{mirror ? w - 1 - x : x, flip ? h - 1 - y : y};
    });
    if (!transformation.testFlag(T::TransformationRotate90)) return mirrored;
    raster = std::move(mirrored);
    // Turned 90° clockwise: output (x, y) of an h × w image comes from source (y, h - 1 - x).
    return remap(h, w, [&](std::int64_t x, std::int64_t y) { return std::pair{y, h - 1 - x}; });
}

// The lower-case suffix of the file name at the end of `path`, read from its bytes (a name need not
// be UTF-8); empty when it has none.
QByteArray suffixOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return QByteArray::fromStdString(path.substr(dot + 1)).toLower();
}

// Bytes per pixel of an image of `format`; 8 (the widest Qt decodes into) when the reader does not say.
std::int64_t bytesPerPixel(QImage::Format format) {
    if (format == QImage::Format_Invalid) return 8;
    const int depth = QImage::toPixelFormat(format).bitsPerPixel();
    return depth <= 0 ? 8 : std::max<std::int64_t>(1, (depth + 7) / 8);
}

}  // namespace

std::optional<RasterImage> RasterImage::fromFile(const std::string& path, int maxDimension) {
    std::optional<QByteArray> bytes = readImageFile(path);
    if (!bytes) return std::nullopt;

    // The common layouts of PNG line art are decoded here, with the bounds Qt's reader is given below.
    if (const std::optional<PngDirect::Layout> layout = PngDirect::layoutOf(*bytes)) {
        const auto target = scaledSizeFor(layout->width, layout->height, maxDimension);
        if (!target) return std::nullopt;
        if (std::int64_t{layout->width} * layout->height * bytesPerPixel(layout->format) > kMaxDecodeBytes) {
            return std::nullopt;
        }
        QImage direct = PngDirect::decode(*bytes, *layout);
        if (!direct.isNull()) {
            bytes.reset();
            return lumaOfImage(direct, maxDimension);
        }
    }

    applyDecodeAllocationLimit();
    QImage image;
    QImageIOHandler::Transformations transformation = QImageIOHandler::TransformationNone;
    {
        QBuffer stream;
        stream.setData(*bytes);
        stream.open(QIODevice::ReadOnly);
        // The reader the file's suffix names when it can read the bytes (formats without a signature,
        // such as TGA, are known by their suffix alone), else the one their content shows. Bytes with
        // PNG's signature go straight to Qt's own PNG reader, which is what either way comes to for
        // them: asking the format plugins would load every one of them (and their libraries) first.
        const bool png = bytes->startsWith(QByteArrayView("\x89PNG\r\n\x1a\n"));
        QByteArray format = "png";
        if (!png) {
            format = suffixOf(path);
            if (!format.isEmpty() && QImageReader::supportedImageFormats().contains(format)) {
                QImageReader probe(&stream, format);
                if (!probe.canRead()) format.clear();
                stream.seek(0);
            } else {
                format.clear();
            }
        }
        QImageReader reader(&stream, format);
        reader.setAutoDetectImageFormat(!png);
        if (reader.format().isEmpty() && PdfPage::looksLikePdf(*bytes)) {
            // A PDF document: its first page, rendered at the kept size on white.
            image = PdfPage::renderFirstPage(*bytes, maxDimension);
            bytes.reset();
            return lumaOfImage(image, maxDimension);
        }
        reader.setAutoTransform(false);  // applied to the kept raster, never to a full-size image
        reader.setQuality(100);          // smooth (area-averaging) scaling where the reader scales after decoding

        // The stored size, before the orientation transform, and what decoding it costs: only JPEG
        // decodes at a reduced size (at most twice the size asked for, before its last smoothing);
        // other readers that take a size decode the whole image first, so they are not asked.
        const QSize stored = reader.size();
        if (stored.isValid()) {
            const auto target = scaledSizeFor(stored.width(), stored.height(), maxDimension);
            if (!target) return std::nullopt;
            const bool scaled = target->width != stored.width() || target->height != stored.height();
            const bool decodesScaled = reader.format() == "jpeg";
            const std::int64_t decodedPixels = scaled && decodesScaled
                                                   ? std::int64_t{4} * target->width * target->height
                                                   : std::int64_t{stored.width()} * stored.height();
            if (decodedPixels * bytesPerPixel(reader.imageFormat()) > kMaxDecodeBytes) return std::nullopt;
            if (scaled && decodesScaled) reader.setScaledSize(QSize(target->width, target->height));

            // A PNG image decodes into a prefaulted buffer: the decoder writes into an image of its size
            // and format rather than allocating one, whose fresh pages would fault in row by row.
            if (reader.format() == "png") {
                image = prefaultedImage(stored.width(), stored.height(), reader.imageFormat());
            }
        }
        if (!reader.read(&image) || image.isNull()) return std::nullopt;
        transformation = reader.transformation();
    }
    bytes.reset();  // the file's bytes go before the conversion
    std::optional<RasterImage> raster = lumaOfImage(image, maxDimension);
    if (!raster) return std::nullopt;
    return oriented(std::move(*raster), transformation);
}

std::optional<RasterImage> RasterImage::fromImage(const QImage& image, int maxDimension) {
    return lumaOfImage(image, maxDimension);
}

QImage RasterImage::toGrayImage() const {
    if (width <= 0 || height <= 0 || width > std::numeric_limits<int>::max() ||
        height > std::numeric_limits<int>::max()) {
        return {};
    }
    if (luma.size() / static_cast<std::size_t>(width) < static_cast<std::size_t>(height)) return {};
    QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_Grayscale8);
    if (image.isNull()) return {};
    for (std::int64_t y = 0; y < height; ++y) {
        uchar* row = image.scanLine(static_cast<int>(y));
        const float* in = luma.data() + y * width;
        for (std::int64_t x = 0; x < width; ++x) {
            const float v = std::round(in[x]);
            // NaN fails both comparisons and becomes 0.
            row[x] = v >= 255.0f ? uchar{255} : (v > 0.0f ? static_cast<uchar>(v) : uchar{0});
        }
    }
    return image;
}

}  // namespace ostrel
