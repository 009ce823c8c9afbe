// The first look at an image file, before any decoder sees it: the file is bounded in size, a stream
// without a size (a pipe, standard input) is read into memory up to the same bound, and the headers
// of PNG and JPEG files are checked cheaply, so that a file claiming more memory than a document
// image can take is refused before a decoder allocates for it.
#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <string>

namespace ostrel {

/// The largest image file, or image stream, the loader reads.
inline constexpr std::int64_t kMaxImageFileBytes = std::int64_t{128} * 1024 * 1024;

/// The largest pixel count a decoder may decode at full size (a 32-bit image of 8192 × 8192). PNG
/// images and progressive JPEG images are decoded at full size whatever the size asked for.
inline constexpr std::int64_t kMaxFullDecodePixelCount = std::int64_t{8192} * 8192;

/// The largest pixel count of a sequential JPEG image, which decodes at a reduced size.
inline constexpr std::int64_t kMaxScaledJpegPixelCount = std::int64_t{16384} * 16384;

struct ImageFileCheck {
    enum class Outcome {
        refused,   // not to be decoded
        atPath,    // a regular file, decoded from its path
        inMemory,  // a stream, read whole into `bytes`
    };
    Outcome outcome = Outcome::refused;
    QByteArray bytes;  // the stream's bytes when `inMemory`
};

/// Opens `path` and checks it: a regular file of at most kMaxImageFileBytes whose PNG or JPEG
/// header (when it is one) passes `headerIsAcceptable` is decoded from its path; any other readable
/// node is read to its end, at most kMaxImageFileBytes, and its bytes checked the same way.
[[nodiscard]] ImageFileCheck checkImageFile(const std::string& path);

/// The structural check of an image file's bytes. A PNG
/// file passes when its chunks fit within the bytes up to IEND and its header declares at most
/// kMaxFullDecodePixelCount pixels; a JPEG file when the segments before its frame header fit and
/// the frame declares a non-zero size within the cap of its kind; a BMP file when its sides are within
/// kMaxFullDecodePixelCount and, uncompressed, its rows fit within the bytes. Other bytes pass: their decoders
/// are bounded by the decoder's own allocation limit.
[[nodiscard]] bool headerIsAcceptable(const unsigned char* bytes, std::size_t size) noexcept;

}  // namespace ostrel
