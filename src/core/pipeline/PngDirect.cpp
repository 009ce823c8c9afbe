#include "core/pipeline/PngDirect.h"

#include "core/pipeline/PrefaultedImage.h"
#include "core/support/parallel/PrefaultedVector.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace ostrel::PngDirect {

namespace {

constexpr std::string_view kSignature("\x89PNG\r\n\x1a\n", 8);

// Chunks that change nothing in the pixels Qt's reader makes (it keeps colour spaces, texts and
// densities beside them), besides the ones the layout needs.
constexpr std::array<std::string_view, 13> kHarmlessChunks = {"gAMA", "cHRM", "sRGB", "iCCP", "sBIT", "pHYs", "tEXt",
                                                              "zTXt", "iTXt", "tIME", "bKGD", "hIST", "sPLT"};

std::uint32_t bigEndian32(const unsigned char* p) noexcept {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | std::uint32_t{p[3]};
}

struct Parsed {
    Layout layout;
    int bitDepth = 0;
    int channels = 1;                      // samples a pixel: grey or palette 1, grey and alpha 2, RGB 3, RGBA 4
    int colourType = 0;                    // 0 grey, 2 RGB, 3 palette, 4 grey and alpha, 6 RGBA
    QList<QRgb> colours;                   // a palette image's colour table
    std::vector<std::string_view> stream;  // the IDAT chunks' data, in order
};

// The file's chunks, when each fits in the bytes with its right CRC, they come in the order the
// format asks and the layout is one read here; none otherwise.
std::optional<Parsed> parse(const QByteArray& bytes) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto size = static_cast<std::size_t>(bytes.size());
    if (size < kSignature.size() || std::memcmp(data, kSignature.data(), kSignature.size()) != 0) return std::nullopt;
    Parsed parsed;
    std::size_t at = kSignature.size();
    bool header = false;
    bool palette = false;
    bool transparency = false;
    bool streamEnded = false;
    std::vector<unsigned char> alphas;
    while (true) {
        if (size - at < 12) return std::nullopt;
        const std::uint32_t length = bigEndian32(data + at);
        if (length > size - at - 12) return std::nullopt;
        const unsigned char* type = data + at + 4;
        const unsigned char* body = data + at + 8;
        if (libdeflate_crc32(0, type, length + 4) != bigEndian32(body + length)) return std::nullopt;
        const std::string_view name(reinterpret_cast<const char*>(type), 4);
        at += std::size_t{length} + 12;
        if (!header) {
            if (name != "IHDR" || length != 13) return std::nullopt;
            const std::uint32_t width = bigEndian32(body);
            const std::uint32_t height = bigEndian32(body + 4);
            const int depth = body[8];
            const int colourType = body[9];
            // Compression, filter method, no interlacing.
            if (body[10] != 0 || body[11] != 0 || body[12] != 0) return std::nullopt;
            if (width == 0 || height == 0 || width > std::numeric_limits<int>::max() ||
                height > std::numeric_limits<int>::max()) {
                return std::nullopt;
            }
            if (colourType == 0 && depth == 8) {
                parsed.layout.format = QImage::Format_Grayscale8;
            } else if ((colourType == 0 || colourType == 3) && depth == 1) {
                parsed.layout.format = QImage::Format_Mono;
            } else if (colourType == 3 && depth == 8) {
                parsed.layout.format = QImage::Format_Indexed8;
            } else if (colourType == 2 && depth == 8) {
                parsed.layout.format = QImage::Format_RGB32;
                parsed.channels = 3;
            } else if ((colourType == 4 || colourType == 6) && depth == 8) {
                parsed.layout.format = QImage::Format_ARGB32;
                parsed.channels = colourType == 4 ? 2 : 4;
            } else {
                return std::nullopt;
            }
            parsed.layout.width = static_cast<int>(width);
            parsed.layout.height = static_cast<int>(height);
            parsed.bitDepth = depth;
            parsed.colourType = colourType;
            header = true;
            continue;
        }
        if (name == "IEND") break;
        if (name == "IDAT") {
            if (streamEnded || (parsed.colourType == 3 && !palette)) return std::nullopt;
            parsed.stream.emplace_back(reinterpret_cast<const char*>(body), length);
            continue;
        }
        // Anything after the image's data but IEND: leave it to Qt's reader.
        if (!parsed.stream.empty()) streamEnded = true;
        if (name == "PLTE") {
            // Only palette images: Qt's reader ignores the suggested palette of a colour image.
            if (parsed.colourType != 3 || palette || streamEnded || length == 0 || length % 3 != 0 ||
                length / 3 > 256) {
                return std::nullopt;
            }
            // A 1-bit image with other than two colours gets a table Qt makes up for it.
            if (parsed.bitDepth == 1 && length / 3 != 2) return std::nullopt;
            for (std::uint32_t i = 0; i < length; i += 3) {
                parsed.colours.push_back(qRgb(body[i], body[i + 1], body[i + 2]));
            }
            palette = true;
        } else if (name == "tRNS") {
            // A grey or RGB image with a transparent value becomes a palette or alpha image in Qt's
            // reader, which ignores transparency given after the image's data.
            if (parsed.colourType != 3 || !palette || transparency || streamEnded ||
                length > static_cast<std::uint32_t>(parsed.colours.size())) {
                return std::nullopt;
            }
            alphas.assign(body, body + length);
            transparency = true;
        } else if (std::find(kHarmlessChunks.begin(), kHarmlessChunks.end(), name) == kHarmlessChunks.end()) {
            return std::nullopt;
        }
    }
    if (!header || parsed.stream.empty()) return std::nullopt;
    for (std::size_t i = 0; i < alphas.size(); ++i) {
        const QRgb c = parsed.colours[static_cast<qsizetype>(i)];
        parsed.colours[static_cast<qsizetype>(i)] = qRgba(qRed(c), qGreen(c), qBlue(c), alphas[i]);
    }
    if (parsed.colourType == 0 && parsed.bitDepth == 1) {
        // Qt's reader inverts a 1-bit grey image's bits and makes 0 white.
        parsed.colours = {qRgb(255, 255, 255), qRgb(0, 0, 0)};
    }
    return parsed;
}

inline unsigned char paeth(unsigned char a, unsigned char b, unsigned char c) noexcept {
    const int p = int{a} + int{b} - int{c};
    const int pa = std::abs(p - int{a});
    const int pb = std::abs(p - int{b});
    const int pc = std::abs(p - int{c});
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

// Undoes the filter of one row of `length` bytes in place, given the row above it, already unfiltered
// (zeros above the first); a byte's left neighbour is the same sample of the pixel before, `step`
// bytes back (1 for packed pixels). False for an unknown filter.
bool unfilterRow(unsigned filter, unsigned char* row, const unsigned char* above, std::size_t length,
                 std::size_t step) noexcept {
    const std::size_t first = std::min(step, length);
    switch (filter) {
        case 0:
            return true;
        case 1:
            for (std::size_t i = first; i < length; ++i) row[i] = static_cast<unsigned char>(row[i] + row[i - step]);
            return true;
        case 2:
            for (std::size_t i = 0; i < length; ++i) row[i] = static_cast<unsigned char>(row[i] + above[i]);
            return true;
        case 3:
            for (std::size_t i = 0; i < first; ++i) row[i] = static_cast<unsigned char>(row[i] + (above[i] >> 1));
            for (std::size_t i = first; i < length; ++i) {
                row[i] = static_cast<unsigned char>(row[i] + ((unsigned{row[i - step]} + above[i]) >> 1));
            }
            return true;
        case 4:
            for (std::size_t i = 0; i < first; ++i) row[i] = static_cast<unsigned char>(row[i] + above[i]);
            for (std::size_t i = first; i < length; ++i) {
                row[i] = static_cast<unsigned char>(row[i] + paeth(row[i - step], above[i], above[i - step]));
            }
            return true;
        default:
            return false;
    }
}

}  // namespace

std::optional<Layout> layoutOf(const QByteArray& bytes) {
    const std::optional<Parsed> parsed = parse(bytes);
    if (!parsed) return std::nullopt;
    return parsed->layout;
}

QImage decode(const QByteArray& bytes, const Layout& layout) {
    const std::optional<Parsed> parsed = parse(bytes);
    if (!parsed || parsed->layout.width != layout.width || parsed->layout.height != layout.height ||
        parsed->layout.format != layout.format) {
        return {};
    }
    const auto width = static_cast<std::size_t>(layout.width);
    const auto height = static_cast<std::size_t>(layout.height);
    const auto channels = static_cast<std::size_t>(parsed->channels);
    const std::size_t rowBytes = (width * channels * static_cast<std::size_t>(parsed->bitDepth) + 7) / 8;
    const std::size_t stride = rowBytes + 1;  // the filter byte first
    const std::size_t bytesPerLine = channels == 1 ? (rowBytes + 3) / 4 * 4 : 4 * width;
    if (height > std::numeric_limits<std::size_t>::max() / std::max(stride, bytesPerLine)) return {};

    // One buffer for the inflated rows and then the image's: each row is unfiltered where it was
    // inflated, then moved to its place in the image's padded rows.
    // Left uninitialised: the stream fills the rows, and the padding of the image's rows holds no pixel.
    const std::size_t bufferSize = height * std::max(stride, bytesPerLine);
    auto owned = std::make_unique_for_overwrite<uchar[]>(bufferSize);
    prefaultPages(owned.get(), bufferSize);
    const std::span<uchar> buffer(owned.get(), bufferSize);
    {
        std::vector<char> joined;
        std::string_view stream = parsed->stream.front();
        if (parsed->stream.size() > 1) {
            for (const std::string_view part : parsed->stream) joined.insert(joined.end(), part.begin(), part.end());
            stream = std::string_view(joined.data(), joined.size());
        }
        const std::unique_ptr<libdeflate_decompressor, decltype(&libdeflate_free_decompressor)> inflater(
            libdeflate_alloc_decompressor(), &libdeflate_free_decompressor);
        if (!inflater) return {};
        std::size_t inflated = 0;
        if (libdeflate_zlib_decompress(inflater.get(), stream.data(), stream.size(), buffer.data(), height * stride,
                                       &inflated) != LIBDEFLATE_SUCCESS ||
            inflated != height * stride) {
            return {};
        }
    }

    const std::vector<uchar> zeros(rowBytes, 0);
    const uchar* above = zeros.data();
    for (std::size_t y = 0; y < height; ++y) {
        uchar* row = buffer.data() + y * stride;
        if (!unfilterRow(row[0], row + 1, above, rowBytes, channels)) return {};
        above = row + 1;
    }
    if (parsed->layout.format == QImage::Format_Indexed8) {
        const auto colours = static_cast<uchar>(parsed->colours.size() - 1);
        for (std::size_t y = 0; y < height; ++y) {
            const uchar* row = buffer.data() + y * stride + 1;
            if (*std::max_element(row, row + rowBytes) > colours) return {};
        }
    }
    // Rows move down the buffer when the image's rows are longer than the inflated ones, else up; in
    // that order none is overwritten before it has moved. Colour samples become 32-bit pixels as Qt's
    // reader makes them: opaque RGB, or alpha unpremultiplied.
    std::vector<uchar> samples(channels == 1 ? 0 : rowBytes);
    const auto moveRow = [&](std::size_t y) {
        const uchar* from = buffer.data() + y * stride + 1;
        uchar* to = buffer.data() + y * bytesPerLine;
        if (channels == 1) {
            std::memmove(to, from, rowBytes);
            return;
        }
        std::memcpy(samples.data(), from, rowBytes);
        const uchar* in = samples.data();
        for (std::size_t x = 0; x < width; ++x, in += channels, to += 4) {
            const QRgb pixel = channels == 2   ? qRgba(in[0], in[0], in[0], in[1])
                               : channels == 3 ? qRgb(in[0], in[1], in[2])
                                               : qRgba(in[0], in[1], in[2], in[3]);
            std::memcpy(to, &pixel, 4);
        }
    };
    if (bytesPerLine > stride) {
        for (std::size_t y = height; y-- > 0;) moveRow(y);
    } else {
        for (std::size_t y = 0; y < height; ++y) moveRow(y);
    }
    if (parsed->colourType == 0 && parsed->bitDepth == 1) {
        for (std::size_t y = 0; y < height; ++y) {
            uchar* row = buffer.data() + y * bytesPerLine;
            for (std::size_t i = 0; i < rowBytes; ++i) row[i] = static_cast<uchar>(~row[i]);
        }
    }
    QImage image =
        imageOwning(std::move(owned), layout.width, layout.height, static_cast<qsizetype>(bytesPerLine), layout.format);
    if (image.isNull()) return {};
    if (layout.format == QImage::Format_Mono || layout.format == QImage::Format_Indexed8) {
        image.setColorTable(parsed->colours);
    }
    return image;
}

}  // namespace ostrel::PngDirect
