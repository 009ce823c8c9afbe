// Images whose pixels are mapped in bulk by prefaultPages (core/support/parallel/PrefaultedVector.h),
// as huge pages where the system offers them, instead of page by page as a fresh QImage's pixels are
// written. For the full-size images of one vectorisation: the decoder's output and the contour
// detector's input.
#pragma once

#include <QImage>

#include <memory>

namespace ostrel {

/// A width × height image of `format`, all bytes zero, rows padded to 32 bits as Qt pads its own. The
/// image owns its buffer and frees it with its last copy; a decoder given it writes into it when it
/// decodes that size and format (Qt's PNG reader does). A null image for an invalid format or a size
/// that is not positive or does not fit.
[[nodiscard]] QImage prefaultedImage(int width, int height, QImage::Format format);

/// An image on `pixels` (rows of `bytesPerLine` bytes, 32-bit aligned as Qt asks), which it owns and
/// frees with its last copy; a null image when Qt refuses them.
[[nodiscard]] QImage imageOwning(std::unique_ptr<uchar[]> pixels, int width, int height, qsizetype bytesPerLine,
                                 QImage::Format format);

}  // namespace ostrel
