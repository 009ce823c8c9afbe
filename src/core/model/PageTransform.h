// Where the drawing lands on the paper: a uniform, centred fit of the image
// inside the margins of a paper format, or raw pixels at 96 dpi.
#pragma once

#include <cstdint>

namespace ostrel {

struct VectorPoint;

/// One pixel at 96 pixels per inch, in millimetres (25.4 / 96): the "original" paper's scale.
inline constexpr double kMillimetresPerPixelAt96Dpi = 25.4 / 96.0;
struct VectorizerParams;

struct PageTransform {
    std::int64_t imageWidth = 1;
    std::int64_t imageHeight = 1;
    double pageWidthMM = 210;
    double pageHeightMM = 297;
    double scalePxToMM = 1;
    double offsetXMM = 0;
    double offsetYMM = 0;
    bool isRawPixels = false;

    /// Fits an image of the given size on the paper of `params`.
    static PageTransform make(std::int64_t imageWidth, std::int64_t imageHeight, const VectorizerParams& params);

    /// Image pixels to page coordinates (the point itself for raw pixels).
    [[nodiscard]] VectorPoint toPage(const VectorPoint& p) const noexcept;
    friend bool operator==(const PageTransform&, const PageTransform&) = default;
};

}  // namespace ostrel
