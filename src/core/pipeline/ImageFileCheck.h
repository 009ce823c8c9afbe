// The first look at an image file, before any decoder sees it: the file, or a stream without a size
// (a pipe, standard input), is read once into memory up to a bound, and the headers of PNG, JPEG,
// BMP and ICO files are checked cheaply on those bytes, so that a file claiming more memory than a
// document image can take is refused before a decoder allocates for it. The decoder then reads the
// same bytes: a file another program rewrites meanwhile cannot change what was checked.
#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace ostrel {

/// The largest image file, or image stream, the loader reads.
inline constexpr std::int64_t kMaxImageFileBytes = std::int64_t{128} * 1024 * 1024;

/// The largest pixel count a decoder may decode at full size (a 32-bit image of 8192 × 8192). PNG
/// images and progressive JPEG images are decoded at full size whatever the size asked for.
inline constexpr std::int64_t kMaxFullDecodePixelCount = std::int64_t{8192} * 8192;

/// The largest pixel count of a sequential JPEG image, which decodes at a reduced size.
inline constexpr std::int64_t kMaxScaledJpegPixelCount = std::int64_t{16384} * 16384;

/// The most bytes a decoder may hold for one image: the decoded pixels of the largest image it
/// makes, or a JPEG decoder's coefficients. A 32-bit image of 8192 × 8192 or a 16-bit grey one of
/// 11 585 × 11 585 fits; the conversion to the kept size adds only the kept raster.
inline constexpr std::int64_t kMaxDecodeBytes = std::int64_t{256} * 1024 * 1024;

/// The largest side of an image inside an icon file (the format's own limit is 256).
inline constexpr std::uint32_t kMaxIconSide = 1024;

/// Opens `path` (a regular file or a stream) and reads it to its end, at most kMaxImageFileBytes,
/// never through a mapping; none when it cannot be read, is a folder, is larger than the bound or
/// fails `headerIsAcceptable`. A file that shrinks or grows while it is read gives the bytes read.
[[nodiscard]] std::optional<QByteArray> readImageFile(const std::string& path);

/// The structural check of an image file's bytes. A PNG
/// file passes when its chunks fit within the bytes up to IEND and its header declares at most
/// kMaxFullDecodePixelCount pixels; a JPEG file when the segments before its frame header fit and
/// the frame declares a non-zero size within the cap of its kind (a progressive frame's coefficients
/// within kMaxDecodeBytes); a BMP file when its sides are within kMaxFullDecodePixelCount and,
/// uncompressed, its rows fit within the bytes; an icon file when its directory fits and every PNG
/// inside declares sides of at most kMaxIconSide. Other bytes pass: their decoders are bounded by
/// the decoded size worked out before decoding and by the decoder's own allocation limit.
[[nodiscard]] bool headerIsAcceptable(const unsigned char* bytes, std::size_t size) noexcept;

}  // namespace ostrel
