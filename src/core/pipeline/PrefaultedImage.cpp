#include "core/pipeline/PrefaultedImage.h"

#include "core/support/parallel/PrefaultedVector.h"

#include <cstddef>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

namespace ostrel {

QImage prefaultedImage(int width, int height, QImage::Format format) {
    if (width <= 0 || height <= 0 || format == QImage::Format_Invalid || format >= QImage::NImageFormats) return {};
    const auto bitsPerPixel = static_cast<std::size_t>(QImage::toPixelFormat(format).bitsPerPixel());
    if (bitsPerPixel == 0) return {};
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    if (w > (static_cast<std::size_t>(std::numeric_limits<qsizetype>::max()) - 31) / bitsPerPixel) return {};
    const std::size_t bytesPerLine = (w * bitsPerPixel + 31) / 32 * 4;
    if (h > static_cast<std::size_t>(std::numeric_limits<qsizetype>::max()) / bytesPerLine) return {};
    // Mapped in bulk first, then zeroed.
    const std::size_t bytes = bytesPerLine * h;
    auto pixels = std::make_unique_for_overwrite<uchar[]>(bytes);
    prefaultPages(pixels.get(), bytes);
    std::memset(pixels.get(), 0, bytes);
    return imageOwning(std::move(pixels), width, height, static_cast<qsizetype>(bytesPerLine), format);
}

QImage imageOwning(std::unique_ptr<uchar[]> pixels, int width, int height, qsizetype bytesPerLine,
                   QImage::Format format) {
    QImage image(
        pixels.get(), width, height, bytesPerLine, format, [](void* buffer) { delete[] static_cast<uchar*>(buffer); },
        pixels.get());
    if (image.isNull()) return {};
    pixels.release();  // the image's now
    return image;
}

}  // namespace ostrel
