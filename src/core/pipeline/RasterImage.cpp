// Image files and decoded images into a grey raster, and back to an 8-bit grey image for display.
//
// Files are decoded by QImageReader with the stored orientation applied (plain opaque 8-bit PNG files,
// which need none of its options, by a short path of their own with the same pixels, see below). The decoded size is worked
// out from the header before any pixel is decoded, formats that can decode at a reduced size do so,
// and a fixed allocation limit refuses headers that claim absurd sizes. Luma uses the ITU-R BT.601
// weights on pixels composited over white, so transparency reads as white. Opaque grey, RGB and
// palette images kept at their size skip the compositing: their luma is read straight from the pixels
// through per-channel tables (the same values; a 2400 × 2400 grey image converts in a few ms instead
// of two full-size 32-bit copies and a painter pass).
//
// Mapping the pages of the luma buffer (a 2400 × 2400 image takes 23 MB) costs about as much as
// decoding the file; when the header gives the size, a helper thread maps them while the decoder runs,
// together with the full-size buffers a vectorisation of the image will take (prepareBuffers).
#include "core/pipeline/RasterImage.h"

#include "core/pipeline/ImageFileCheck.h"
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
#include <cstdlib>
#include <cstring>
#include <future>
#include <limits>
#include <mutex>
#include <system_error>
#include <utility>

namespace ostrel {

namespace {

// Largest image allocation the decoder may make, in megabytes: a 32-bit image of about 11 500 pixels
// square. A header claiming more is refused before any pixel is decoded.
constexpr int kDecodeAllocationLimitMB = 512;

// Full-size buffers stage A of a vectorisation takes from support/PrefaultedVector.h: the blurred grey
// and the ink level (float), the mask, the skeleton and the tracing state (bytes).
constexpr int kPipelineFloatBuffers = 2;
constexpr int kPipelineByteBuffers = 3;

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

// Luma of an opaque image of a format whose pixels convert to RGB exactly (8-bit grey, RGB without
// alpha, a palette without alpha), read straight from its bytes: the same values as drawing it over
// white, without the two full-size 32-bit copies that takes. None for other formats.
// A luma buffer of `count` values: `prepared` when it has that size, otherwise a new one.
std::vector<float> lumaBuffer(std::size_t count, std::vector<float>& prepared) {
    if (prepared.size() == count) return std::move(prepared);
    return prefaultedVector<float>(count);
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

std::optional<RasterImage> opaqueLuma(const QImage& image, std::vector<float>& prepared) {
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
    raster.luma = lumaBuffer(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), prepared);
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

// fromImage, writing the luma into `prepared` when that has the right size.
std::optional<RasterImage> lumaOfImage(const QImage& image, int maxDimension, std::vector<float>& prepared) {
    if (image.isNull()) return std::nullopt;
    const auto target = scaledSizeFor(image.width(), image.height(), maxDimension);
    if (!target) return std::nullopt;
    const int w = target->width;
    const int h = target->height;
    if (w == image.width() && h == image.height()) {
        if (auto raster = opaqueLuma(image, prepared)) return raster;
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
    raster.luma = lumaBuffer(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), prepared);
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


// ---- Plain PNG files ------------------------------------------------------------------------------
//
// The commonest input, an opaque 8-bit grey or RGB PNG without interlacing, gamma, colour profile or
// transparency chunk, is decoded here: one read of the file, one inflate of the image data (Qt's
// qUncompress over the zlib stream, which checks its Adler-32), the row filters of the PNG
// specification (ISO/IEC 15948, section 9) undone in place, and the luma read by table. The decoder
// gives exactly these pixels for such a file, so the luma is the same; this skips the decoder's
// plugin lookup and a full-size copy. Anything else, or any inconsistency (a bad CRC, a short or long
// image stream), goes to QImageReader, which decides as it always did.

// Chunks that change no pixel of an opaque 8-bit image; any other chunk sends the file to the decoder.
bool isPlainChunk(const char* type) {
    static constexpr std::array<const char*, 6> kPlain{"IDAT", "IEND", "pHYs", "tEXt", "zTXt", "tIME"};
    return std::any_of(kPlain.begin(), kPlain.end(), [type](const char* plain) { return std::memcmp(type, plain, 4) == 0; });
}

std::uint32_t bigEndian32(const unsigned char* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | std::uint32_t{p[3]};
}

// CRC-32 (ISO 3309, the PNG chunk checksum) of a chunk's type and data.
std::uint32_t chunkCrc(const unsigned char* data, std::size_t size) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1U) != 0 ? 0xEDB88320U ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFU;
    for (std::size_t i = 0; i < size; ++i) c = table[(c ^ data[i]) & 0xFFU] ^ (c >> 8);
    return c ^ 0xFFFFFFFFU;
}

// Undoes the row filters of `height` rows of `stride` bytes (each after its filter byte) in place;
// `bpp` bytes per pixel. False on an unknown filter type.
bool unfilterRows(unsigned char* data, std::size_t stride, std::size_t height, std::size_t bpp) {
    const unsigned char* previous = nullptr;
    for (std::size_t y = 0; y < height; ++y) {
        unsigned char* row = data + y * (stride + 1) + 1;
        const unsigned char filter = row[-1];
        switch (filter) {
            case 0: break;
            case 1:
                for (std::size_t i = bpp; i < stride; ++i) row[i] = static_cast<unsigned char>(row[i] + row[i - bpp]);
                break;
            case 2:
                if (previous) {
                    for (std::size_t i = 0; i < stride; ++i) row[i] = static_cast<unsigned char>(row[i] + previous[i]);
                }
                break;
            case 3:
                for (std::size_t i = 0; i < stride; ++i) {
                    const unsigned left = i >= bpp ? row[i - bpp] : 0U;
                    const unsigned up = previous ? previous[i] : 0U;
                    row[i] = static_cast<unsigned char>(row[i] + ((left + up) >> 1));
                }
                break;
            case 4:
                for (std::size_t i = 0; i < stride; ++i) {
                    const int a = i >= bpp ? row[i - bpp] : 0;
                    const int b = previous ? previous[i] : 0;
                    const int c = previous && i >= bpp ? previous[i - bpp] : 0;
                    const int p = a + b - c;
                    const int pa = std::abs(p - a);
                    const int pb = std::abs(p - b);
                    const int pc = std::abs(p - c);
                    const int predictor = pa <= pb && pa <= pc ? a : (pb <= pc ? b : c);
                    row[i] = static_cast<unsigned char>(row[i] + predictor);
                }
                break;
            default: return false;
        }
        previous = row;
    }
    return true;
}

struct PlainPng {
    int width = 0;
    int height = 0;
    std::size_t channels = 0;  // 1 grey, 3 RGB
    QByteArray stream;         // expected size (4 bytes, big-endian) and the zlib stream, for qUncompress
};

// The header and image stream of a plain PNG file, or none.
std::optional<PlainPng> parsePlainPng(const QByteArray& file) {
    static constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const auto* bytes = reinterpret_cast<const unsigned char*>(file.constData());
    const auto size = static_cast<std::size_t>(file.size());
    if (size < 8 + 25 || std::memcmp(bytes, kSignature, 8) != 0) return std::nullopt;
    PlainPng png;
    std::size_t at = 8;
    bool header = false;
    bool ended = false;
    bool dataDone = false;  // image data chunks must be consecutive
    bool dataSeen = false;
    while (!ended) {
        if (size - at < 12) return std::nullopt;
        const std::uint32_t length = bigEndian32(bytes + at);
        if (length > size - at - 12) return std::nullopt;
        const unsigned char* type = bytes + at + 4;
        const unsigned char* data = type + 4;
        if (chunkCrc(type, length + 4) != bigEndian32(data + length)) return std::nullopt;
        const auto* name = reinterpret_cast<const char*>(type);
        if (!header) {
            // IHDR: width, height, bit depth 8, colour type 0 or 2, compression 0, filter 0, no interlace.
            if (std::memcmp(name, "IHDR", 4) != 0 || length != 13) return std::nullopt;
            const std::uint32_t w = bigEndian32(data);
            const std::uint32_t h = bigEndian32(data + 4);
            if (w == 0 || h == 0 || w > 0x7FFFFFFFU || h > 0x7FFFFFFFU) return std::nullopt;
            if (data[8] != 8 || (data[9] != 0 && data[9] != 2) || data[10] != 0 || data[11] != 0 || data[12] != 0) {
                return std::nullopt;
            }
            png.width = static_cast<int>(w);
            png.height = static_cast<int>(h);
            png.channels = data[9] == 0 ? 1 : 3;
            header = true;
        } else if (!isPlainChunk(name)) {
            return std::nullopt;
        } else if (std::memcmp(name, "IDAT", 4) == 0) {
            if (dataDone) return std::nullopt;
            if (!dataSeen) png.stream.append(4, '\0');  // room for the expected size
            dataSeen = true;
            png.stream.append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(length));
        } else {
            dataDone = dataSeen;
            ended = std::memcmp(name, "IEND", 4) == 0;
        }
        at += 12 + length;
    }
    if (!dataSeen) return std::nullopt;
    return png;
}

// Luma of a plain PNG file kept at its size, or none (then the decoder reads the file). `prepare`
// starts mapping the buffers for w × h pixels while the image data inflates.
template <class Prepare>
std::optional<RasterImage> plainPngLuma(const std::string& path, int maxDimension, const Prepare& prepare) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    char signature[8];
    if (file.peek(signature, 8) != 8 || std::memcmp(signature, "\x89PNG\r\n\x1a\n", 8) != 0) return std::nullopt;
    // A plain image small enough to keep at its size never needs a file this large; the decoder
    // takes such files, reading them as it goes.
    constexpr qint64 kMaxPlainFileBytes = 64 * 1024 * 1024;
    if (file.size() > kMaxPlainFileBytes) return std::nullopt;
    const QByteArray contents = file.readAll();
    auto png = parsePlainPng(contents);
    if (!png) return std::nullopt;
    const auto target = scaledSizeFor(png->width, png->height, maxDimension);
    if (!target || target->width != png->width || target->height != png->height) return std::nullopt;
    const auto w = static_cast<std::size_t>(png->width);
    const auto h = static_cast<std::size_t>(png->height);
    if (std::int64_t{png->width} * png->height > kMaxFullDecodePixels) return std::nullopt;
    const std::size_t stride = w * png->channels;
    const std::size_t expected = (stride + 1) * h;
    if (expected > 0x7FFFFFFFU) return std::nullopt;
    auto* sizeField = reinterpret_cast<unsigned char*>(png->stream.data());
    for (int i = 0; i < 4; ++i) sizeField[i] = static_cast<unsigned char>(expected >> (24 - 8 * i));

    std::future<std::vector<float>> prepared = prepare(w * h);
    // Waits for the helper before returning either way, so the pool is free for what follows.
    const auto preparedBuffer = [&prepared] {
        std::vector<float> buffer;
        if (prepared.valid()) {
            try {
                buffer = prepared.get();
            } catch (const std::bad_alloc&) {
                // made below
            }
        }
        return buffer;
    };
    QByteArray raw = qUncompress(png->stream);
    png->stream = QByteArray();
    auto* rows = reinterpret_cast<unsigned char*>(raw.data());
    if (static_cast<std::size_t>(raw.size()) != expected || !unfilterRows(rows, stride, h, png->channels)) {
        preparedBuffer();
        return std::nullopt;
    }
    std::vector<float> buffer = preparedBuffer();

    const LumaTables& t = lumaTables();
    RasterImage raster;
    raster.width = png->width;
    raster.height = png->height;
    raster.luma = lumaBuffer(w * h, buffer);
    const bool grey = png->channels == 1;
    parallelFor(h, kRowsPerChunk, [&](std::size_t first, std::size_t last) {
        for (std::size_t y = first; y < last; ++y) {
            const unsigned char* row = rows + y * (stride + 1) + 1;
            float* out = raster.luma.data() + y * w;
            if (grey) {
                for (std::size_t x = 0; x < w; ++x) out[x] = t.byGrey[row[x]];
            } else {
                for (std::size_t x = 0; x < w; ++x) {
                    const unsigned char* p = row + 3 * x;
                    out[x] = t.byRed[p[0]] + t.byGreen[p[1]] + t.byBlue[p[2]];
                }
            }
        }
    });
    return raster;
}

}  // namespace

std::optional<RasterImage> RasterImage::fromFile(const std::string& path, int maxDimension) {
    // The luma buffer, and the full-size buffers vectorising the image takes (two float and three
    // byte images), mapped on a helper thread while the file decodes.
    const auto prepare = [](std::size_t count) {
        std::future<std::vector<float>> buffers;
        try {
            buffers = std::async(std::launch::async, [count] {
                std::vector<float> luma = prefaultedVector<float>(count);
                prepareBuffers(count, kPipelineFloatBuffers, kPipelineByteBuffers);
                return luma;
            });
        } catch (const std::system_error&) {
            // no thread to be had: the buffer is made after decoding
        }
        return buffers;
    };
    ImageFileCheck checked = checkImageFile(path);
    if (checked.outcome == ImageFileCheck::Outcome::refused) return std::nullopt;
    if (checked.outcome == ImageFileCheck::Outcome::atPath) {
        if (auto raster = plainPngLuma(path, maxDimension, prepare)) return raster;
    }

    applyDecodeAllocationLimit();
    QBuffer stream;  // a stream's bytes, read by the check
    QImageReader reader;
    if (checked.outcome == ImageFileCheck::Outcome::inMemory) {
        stream.setData(checked.bytes);
        stream.open(QIODevice::ReadOnly);
        reader.setDevice(&stream);
    } else {
        reader.setFileName(QString::fromStdString(path));
    }
    reader.setAutoTransform(true);
    reader.setQuality(100);  // smooth (area-averaging) scaling where the reader scales after decoding

    // The stored size, before the orientation transform, which is applied after scaling.
    const QSize stored = reader.size();
    std::future<std::vector<float>> prepared;
    QImage image;
    if (stored.isValid()) {
        const auto target = scaledSizeFor(stored.width(), stored.height(), maxDimension);
        if (!target) return std::nullopt;
        const bool decodesScaled = reader.supportsOption(QImageIOHandler::ScaledSize);
        const std::int64_t storedPixels = std::int64_t{stored.width()} * stored.height();
        if (!decodesScaled && storedPixels > kMaxFullDecodePixels) return std::nullopt;
        if (target->width != stored.width() || target->height != stored.height()) {
            reader.setScaledSize(QSize(target->width, target->height));
        } else {
            // The decoder writes into an image of the right size and format when it is given one: its
            // pages are mapped here in bulk rather than faulted in one by one by the decoder.
            const QImage::Format format = reader.imageFormat();
            if (format != QImage::Format_Invalid) {
                image = QImage(stored, format);
                if (!image.isNull()) prefaultPages(image.bits(), static_cast<std::size_t>(image.sizeInBytes()));
            }
        }
        // A rotation keeps the pixel count.
        prepared = prepare(static_cast<std::size_t>(target->width) * static_cast<std::size_t>(target->height));
    }

    const bool decoded = reader.read(&image) && !image.isNull();
    std::vector<float> buffer;
    if (prepared.valid()) {
        try {
            buffer = prepared.get();
        } catch (const std::bad_alloc&) {
            // made again after decoding, where a failure is reported as usual
        }
    }
    if (!decoded) return std::nullopt;
    return lumaOfImage(image, maxDimension, buffer);
}

std::optional<RasterImage> RasterImage::fromImage(const QImage& image, int maxDimension) {
    std::vector<float> none;
    return lumaOfImage(image, maxDimension, none);
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
