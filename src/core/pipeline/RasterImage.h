// The pipeline's input: a grey-level picture held as 32-bit floats.
#pragma once

#include "core/support/parallel/PrefaultedVector.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QImage;

namespace ostrel {

/// The longer side of an image loaded as a document (files, pasted images, the command line).
inline constexpr int kDocumentMaxDimension = 2400;

struct RasterImage {
    std::int64_t width = 0;
    std::int64_t height = 0;
    PixelBuffer<float> luma;  // luma[y * width + x]: 0 = black, 255 = white; exactly width * height values

    /// Decodes an image file (orientation applied, longer side at most `maxDimension`, transparency
    /// read as white), or renders a PDF file's first page on white with its longer side
    /// `maxDimension`; none when it cannot be read or is smaller than 2 pixels on a side.
    static std::optional<RasterImage> fromFile(const std::string& path, int maxDimension);

    /// Converts a decoded image (pasted or dropped); none when smaller than 2 pixels on a side.
    static std::optional<RasterImage> fromImage(const QImage& image, int maxDimension);

    /// An 8-bit grey image of the same size for display; a null image when it cannot be made.
    [[nodiscard]] QImage toGrayImage() const;

    friend bool operator==(const RasterImage&, const RasterImage&) = default;
};

}  // namespace ostrel
