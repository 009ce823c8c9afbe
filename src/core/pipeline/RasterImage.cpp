// Image files and decoded images into a grey raster, and back to an 8-bit grey image for display.
//
// Files are decoded by QImageReader with the stored orientation applied. The decoded size is worked
// out from the header before any pixel is decoded, formats that can decode at a reduced size do so,
// and a fixed allocation limit refuses headers that claim absurd sizes. Luma uses the ITU-R BT.601
// weights on pixels composited over white, so transparency reads as white. Opaque grey, RGB and
// palette images kept at their size skip the compositing: their luma is read straight from the pixels
// through per-channel tables (the same values; a 2400 × 2400 grey image converts in a few ms instead
// of two full-size 32-bit copies and a painter pass).
#include "core/pipeline/RasterImage.h"

#include "core/pipeline/ImageFileCheck.h"
#include "core/pipeline/PrefaultedImage.h"
#include "core/support/text/NumberFormat.h"
#include "core/support/parallel/ParallelFor.h"
#include "core/support/parallel/PrefaultedVector.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <mutex>

#include <fcntl.h>
#include <unistd.h>

namespace ostrel {

namespace {

// Largest image allocation the decoder may make, in megabytes: a 32-bit image of about 11 500 pixels
// square. A header claiming more is refused before any pixel is decoded.
constexpr int kDecodeAllocationLimitMB = 512;

// Largest decoded pixel count accepted for a format that cannot decode at a reduced size.
constexpr std::int64_t kMaxFullDecodePixels = std::int64_t{kDecodeAllocationLimitMB} * 1024 * 1024 / 4;

struct ScaledSize {
    int width = 0;
    int height = 0;
};

// The size an image of w0 × h0 takes with its longer side limited to maxDimension: never enlarged,
// each side rounded half away from zero and at least 2. None when w0 or h0 is below 2.
std::optional<ScaledSize> scaledSizeFor(std::int64_t w0, std::int64_t h0, int maxDimension) {
    if (w0 < 2 || h0 < 2) return std::nullopt;
    const std::int64_t longest = std::max(w0, h0);
    const double scale = longest > maxDimension
                             ? static_cast<double>(maxDimension) / static_cast<double>(longest)
                             : 1.0;
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

// Luma of an opaque image of a format whose pixels convert to RGB exactly (8-bit grey, RGB without
// alpha, a palette without alpha), read straight from its bytes: the same values as drawing it over
// white, without the two full-size 32-bit copies that takes. None for other formats.
std::optional<RasterImage> opaqueLuma(const QImage& image) {
    if (image.hasAlphaChannel()) return std::nullopt;
    const QImage::Format format = image.format();
    const bool grey = format == QImage::Format_Grayscale8;
    QImage rgb;
    if (!grey) {
        if (format != QImage::Format_RGB32 && format != QImage::Format_RGB888 && format != QImage::Format_Indexed8) {
            return std::nullopt;
        }
        rgb = image.convertToFormat(QImage::Format_RGB32);  // shares the pixels when already RGB32
        if (rgb.isNull()) return std::nullopt;
    }
    const QImage& source = grey ? image : rgb;

    const LumaTables& t = lumaTables();
    const auto& byGrey = t.byGrey;
    const auto& byRed = t.byRed;
    const auto& byGreen = t.byGreen;
    const auto& byBlue = t.byBlue;
    const int w = source.width();
    const int h = source.height();
    RasterImage raster;
    raster.width = w;
    raster.height = h;
    raster.luma = prefaultedVector<float>(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    parallelFor(static_cast<std::size_t>(h), kRowsPerChunk, [&](std::size_t first, std::size_t last) {
        for (std::size_t y = first; y < last; ++y) {
            float* out = raster.luma.data() + y * static_cast<std::size_t>(w);
            if (grey) {
                const uchar* row = source.constScanLine(static_cast<int>(y));
                for (int x = 0; x < w; ++x) out[x] = byGrey[row[x]];
            } else {
                const auto* row = reinterpret_cast<const QRgb*>(source.constScanLine(static_cast<int>(y)));
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

std::optional<RasterImage> lumaOfImage(const QImage& image, int maxDimension) {
    if (image.isNull()) return std::nullopt;
    const auto target = scaledSizeFor(image.width(), image.height(), maxDimension);
    if (!target) return std::nullopt;
    const int w = target->width;
    const int h = target->height;
    if (w == image.width() && h == image.height()) {
        if (auto raster = opaqueLuma(image)) return raster;
    }

    QImage source = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (source.isNull()) return std::nullopt;
    if (w != source.width() || h != source.height()) {
        // High-quality downscaling: Qt's smooth scaling averages the covered source area.
        source = source.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (source.isNull()) return std::nullopt;
    }

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
    raster.luma = prefaultedVector<float>(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
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

}  // namespace

std::optional<RasterImage> RasterImage::fromFile(const std::string& path, int maxDimension) {
    ImageFileCheck checked = checkImageFile(path);
    if (checked.outcome == ImageFileCheck::Outcome::refused) return std::nullopt;

    applyDecodeAllocationLimit();
    QBuffer stream;  // a stream's bytes, read by the check
    QFile file;      // a regular file, opened by the bytes of its path (a name need not be UTF-8)
    QImageReader reader;
    if (checked.outcome == ImageFileCheck::Outcome::inMemory) {
        stream.setData(checked.bytes);
        stream.open(QIODevice::ReadOnly);
        reader.setDevice(&stream);
    } else {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) return std::nullopt;
        if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            return std::nullopt;
        }
        reader.setDevice(&file);
    }
    reader.setAutoTransform(true);
    reader.setQuality(100);  // smooth (area-averaging) scaling where the reader scales after decoding

    // The stored size, before the orientation transform, which is applied after scaling.
    const QSize stored = reader.size();
    if (stored.isValid()) {
        const auto target = scaledSizeFor(stored.width(), stored.height(), maxDimension);
        if (!target) return std::nullopt;
        const bool decodesScaled = reader.supportsOption(QImageIOHandler::ScaledSize);
        const std::int64_t storedPixels = std::int64_t{stored.width()} * stored.height();
        if (!decodesScaled && storedPixels > kMaxFullDecodePixels) return std::nullopt;
        if (target->width != stored.width() || target->height != stored.height()) {
            reader.setScaledSize(QSize(target->width, target->height));
        }
    }

    // A PNG image kept at its size decodes into a prefaulted buffer: the decoder writes into an image
    // of its size and format rather than allocating one, whose fresh pages would fault in row by row.
    QImage image;
    if (stored.isValid() && !reader.scaledSize().isValid() && reader.format() == "png") {
        image = prefaultedImage(stored.width(), stored.height(), reader.imageFormat());
    }
    if (!reader.read(&image) || image.isNull()) return std::nullopt;
    return lumaOfImage(image, maxDimension);
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
