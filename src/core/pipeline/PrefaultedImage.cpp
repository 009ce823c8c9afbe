#include "core/pipeline/PrefaultedImage.h"

#include "core/support/parallel/PrefaultedVector.h"

#include <cstddef>
#include <limits>
#include <memory>
#include <vector>

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
    auto pixels = std::make_unique<std::vector<uchar>>(prefaultedVector<uchar>(bytesPerLine * h));
    QImage image(
        pixels->data(), width, height, static_cast<qsizetype>(bytesPerLine), format,
        [](void* buffer) { delete static_cast<std::vector<uchar>*>(buffer); }, pixels.get());
    if (image.isNull()) return {};
    pixels.release();  // the image's now
    return image;
}

}  // namespace ostrel
