#include "core/pipeline/ImageFileCheck.h"

#include "core/support/system/FileDescriptor.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel {

namespace {

constexpr unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::uint32_t bigEndian32(const unsigned char* p) noexcept {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | std::uint32_t{p[3]};
}

std::uint32_t bigEndian16(const unsigned char* p) noexcept { return std::uint32_t{p[0]} << 8 | std::uint32_t{p[1]}; }

std::uint32_t littleEndian32(const unsigned char* p) noexcept {
    return std::uint32_t{p[3]} << 24 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | std::uint32_t{p[0]};
}

std::uint32_t littleEndian16(const unsigned char* p) noexcept { return std::uint32_t{p[1]} << 8 | std::uint32_t{p[0]}; }

// Two 32-bit sides multiply without overflow only in 64 unsigned bits: (2^32 - 1)^2 < 2^64.
bool withinPixelCap(std::uint32_t width, std::uint32_t height, std::int64_t cap) noexcept {
    if (width == 0 || height == 0 || cap < 0) return false;
    return std::uint64_t{width} * std::uint64_t{height} <= static_cast<std::uint64_t>(cap);
}

// PNG (ISO/IEC 15948, section 5): chunks of a 4-byte length, a type, the data and a CRC, IHDR first.
// Every chunk up to IEND must lie within the bytes; a decoder would otherwise buffer a chunk of the
// length it declares while the bytes never come. A file that ends cleanly after a chunk passes.
bool pngIsAcceptable(const unsigned char* bytes, std::size_t size) noexcept {
    std::size_t at = sizeof kPngSignature;
    bool headerSeen = false;
    while (at != size) {
        if (size - at < 12) return false;
        const std::uint32_t length = bigEndian32(bytes + at);
        if (length > size - at - 12) return false;
        const unsigned char* type = bytes + at + 4;
        if (!headerSeen) {
            if (std::memcmp(type, "IHDR", 4) != 0 || length < 8) return false;
            if (!withinPixelCap(bigEndian32(type + 4), bigEndian32(type + 8), kMaxFullDecodePixelCount)) return false;
            headerSeen = true;
        }
        if (std::memcmp(type, "IEND", 4) == 0) return true;
        at += 12 + std::size_t{length};
    }
    return true;
}

// BMP: a 14-byte file header (the offset of the pixel rows at 10), then the info header (its size
// first: 12 for the old core header, 40 and more for the later ones). Uncompressed rows are padded
// to four bytes; a file too short for the rows it declares would be filled out by the decoder, one
// row at a time, however tall the image says it is. Compressed rows are left to the decoder.
bool bmpIsAcceptable(const unsigned char* bytes, std::size_t size) noexcept {
    if (size < 26) return false;
    const std::uint32_t rowsOffset = littleEndian32(bytes + 10);
    const std::uint32_t infoSize = littleEndian32(bytes + 14);
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t bitsPerPixel = 0;
    std::uint32_t compression = 0;
    if (infoSize == 12) {
        width = littleEndian16(bytes + 18);
        height = littleEndian16(bytes + 20);
        bitsPerPixel = littleEndian16(bytes + 24);
    } else if (infoSize >= 40) {
        if (size < 34) return false;
        width = static_cast<std::int32_t>(littleEndian32(bytes + 18));
        height = static_cast<std::int32_t>(littleEndian32(bytes + 22));
        bitsPerPixel = littleEndian16(bytes + 28);
        compression = littleEndian32(bytes + 30);
    } else {
        return true;  // a header the decoder may know better
    }
    const auto side = [](std::int64_t v) { return static_cast<std::uint64_t>(v < 0 ? -v : v); };
    if (side(width) > 0xFFFFFFFFu || side(height) > 0xFFFFFFFFu) return false;
    if (!withinPixelCap(static_cast<std::uint32_t>(side(width)), static_cast<std::uint32_t>(side(height)),
                        kMaxFullDecodePixelCount)) {
        return false;
    }
    const bool uncompressed = compression == 0 || compression == 3 || compression == 6;
    if (!uncompressed || bitsPerPixel == 0 || bitsPerPixel > 64) return true;
    const std::uint64_t rowBytes = (side(width) * bitsPerPixel + 31) / 32 * 4;
    return std::uint64_t{rowsOffset} + rowBytes * side(height) <= size;
}

// The bytes a progressive (or lossless, or hierarchical) JPEG decoder keeps for the whole image: every
// component's 8 × 8 blocks of 16-bit coefficients, the component subsampled by its sampling factors.
// `frame` points at the frame header's precision byte; `length` is its segment length.
std::uint64_t jpegCoefficientBytes(const unsigned char* frame, std::uint32_t length) noexcept {
    const std::uint64_t height = bigEndian16(frame + 1);
    const std::uint64_t width = bigEndian16(frame + 3);
    const std::uint32_t components = frame[5];
    if (components == 0 || length < 8 + 3 * components) return std::numeric_limits<std::uint64_t>::max();
    std::uint32_t hMax = 1;
    std::uint32_t vMax = 1;
    for (std::uint32_t c = 0; c < components; ++c) {
        hMax = std::max<std::uint32_t>(hMax, frame[7 + 3 * c] >> 4);
        vMax = std::max<std::uint32_t>(vMax, frame[7 + 3 * c] & 0x0F);
    }
    std::uint64_t bytes = 0;
    for (std::uint32_t c = 0; c < components; ++c) {
        const std::uint32_t h = std::max(1u, std::uint32_t{frame[7 + 3 * c]} >> 4);
        const std::uint32_t v = std::max(1u, std::uint32_t{frame[7 + 3 * c]} & 0x0Fu);
        const std::uint64_t blocksWide = ((width * h + hMax - 1) / hMax + 7) / 8 + h;  // padded to whole units
        const std::uint64_t blocksHigh = ((height * v + vMax - 1) / vMax + 7) / 8 + v;
        bytes += blocksWide * blocksHigh * 64 * 2;
    }
    return bytes;
}

// JPEG (ITU-T T.81, annex B): marker segments of a 2-byte length up to the frame header, which
// gives the size. Progressive, lossless and hierarchical frames keep every coefficient of the
// full image in memory, so they are held to the full-size cap and their coefficients to the decode
// bound; sequential frames decode at a reduced size row by row.
bool jpegIsAcceptable(const unsigned char* bytes, std::size_t size) noexcept {
    std::size_t at = 2;
    for (;;) {
        while (at < size && bytes[at] != 0xFF) ++at;  // decoders skip stray bytes between segments
        while (at < size && bytes[at] == 0xFF) ++at;  // fill bytes
        if (at >= size) return false;
        const unsigned char marker = bytes[at++];
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;  // no length
        if (marker == 0xD9 || marker == 0xDA) return false;                  // image data before a frame
        if (size - at < 2) return false;
        const std::uint32_t length = bigEndian16(bytes + at);
        if (length < 2 || length > size - at) return false;
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (length < 8) return false;
            const std::uint32_t height = bigEndian16(bytes + at + 3);
            const std::uint32_t width = bigEndian16(bytes + at + 5);
            const bool sequential = marker == 0xC0 || marker == 0xC1 || marker == 0xC9;
            if (sequential) return withinPixelCap(width, height, kMaxScaledJpegPixelCount);
            return withinPixelCap(width, height, kMaxFullDecodePixelCount) &&
                   jpegCoefficientBytes(bytes + at + 2, length) <= static_cast<std::uint64_t>(kMaxDecodeBytes);
        }
        at += length;
    }
}

// ICO and CUR: a 6-byte header (0, the type 1 or 2, the count), 16-byte directory entries whose
// last two fields are the size and offset of each image, then the images: PNG files or BMP rows
// after a 40-byte info header (height doubled for the mask). The directory's one-byte sides say
// nothing of the image inside, so the sides each image declares are checked here.
bool iconIsAcceptable(const unsigned char* bytes, std::size_t size) noexcept {
    const std::size_t count = littleEndian16(bytes + 4);
    if (count == 0) return true;  // no icon (an uncompressed TGA file starts the same way)
    if (size < 6 + 16 * count) return false;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* entry = bytes + 6 + 16 * i;
        const std::size_t length = littleEndian32(entry + 8);
        const std::size_t offset = littleEndian32(entry + 12);
        if (offset > size || length > size - offset) return false;
        const unsigned char* image = bytes + offset;
        if (length >= 24 && std::memcmp(image, kPngSignature, sizeof kPngSignature) == 0) {
            if (!pngIsAcceptable(image, length)) return false;
            if (bigEndian32(image + 16) > kMaxIconSide || bigEndian32(image + 20) > kMaxIconSide) return false;
        } else if (length >= 12) {
            const auto width = static_cast<std::int32_t>(littleEndian32(image + 4));
            const auto height = static_cast<std::int32_t>(littleEndian32(image + 8));
            const auto side = [](std::int32_t v) { return v < 0 ? -static_cast<std::int64_t>(v) : std::int64_t{v}; };
            if (side(width) > kMaxIconSide || side(height) > 2 * std::int64_t{kMaxIconSide}) return false;
        }
    }
    return true;
}

// Reads `fd` to its end into memory; none when it holds more than kMaxImageFileBytes or fails.
// `expected` (a regular file's size when opened) sizes the buffer; the end of the data decides.
std::optional<QByteArray> readCapped(int fd, std::int64_t expected) {
    constexpr qsizetype kBlock = 1 << 20;
    QByteArray bytes;
    bytes.resize(static_cast<qsizetype>(std::clamp<std::int64_t>(expected + 1, kBlock, kMaxImageFileBytes + 1)));
    qsizetype used = 0;
    for (;;) {
        if (used > kMaxImageFileBytes) return std::nullopt;
        if (bytes.size() == used) bytes.resize(std::min<qsizetype>(bytes.size() * 2, kMaxImageFileBytes + 1));
        const ssize_t n = ::read(fd, bytes.data() + used, static_cast<std::size_t>(bytes.size() - used));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        used += n;
    }
    bytes.truncate(used);
    if (bytes.capacity() - used > kBlock) bytes.squeeze();  // a stream's doubled buffer
    return bytes;
}

}  // namespace

bool headerIsAcceptable(const unsigned char* bytes, std::size_t size) noexcept {
    if (size >= sizeof kPngSignature && std::memcmp(bytes, kPngSignature, sizeof kPngSignature) == 0) {
        return pngIsAcceptable(bytes, size);
    }
    if (size >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) return jpegIsAcceptable(bytes, size);
    if (size >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return bmpIsAcceptable(bytes, size);
    if (size >= 6 && bytes[0] == 0 && bytes[1] == 0 && (bytes[2] == 1 || bytes[2] == 2) && bytes[3] == 0) {
        return iconIsAcceptable(bytes, size);
    }
    return true;
}

std::optional<QByteArray> readImageFile(const std::string& path) {
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!fd.valid()) return std::nullopt;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || S_ISDIR(info.st_mode)) return std::nullopt;
    const std::int64_t expected = S_ISREG(info.st_mode) ? info.st_size : 0;
    if (expected > kMaxImageFileBytes) return std::nullopt;
    std::optional<QByteArray> bytes = readCapped(fd.get(), expected);
    if (!bytes) return std::nullopt;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes->constData());
    if (!headerIsAcceptable(data, static_cast<std::size_t>(bytes->size()))) return std::nullopt;
    return bytes;
}

}  // namespace ostrel
