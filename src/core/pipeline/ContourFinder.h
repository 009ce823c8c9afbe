// Hierarchical contour detection on grey images: binarises dark objects on a
// light background (or the reverse), then follows every border with the
// topological structural analysis of Suzuki & Abe, "Topological Structural
// Analysis of Digitized Binary Images by Border Following", CVGIP 30 (1985).
// Outer borders and hole borders come out as a tree: a hole is the child of
// the outer border around it, ink inside a hole the child of that hole.
// Cost: O(w × h) for the scan plus the length of all borders; one 32-bit label
// per pixel of the working image.
#pragma once

#include <cstdint>
#include <vector>

class QImage;

namespace ostrel::ContourFinder {

/// A point normalised to 0…1 over the source image, origin at the bottom left:
/// x × width is the source pixel column, (1 − y) × height the source pixel row
/// (pixel centres at integer coordinates).
struct NormalizedPoint {
    float x = 0;
    float y = 0;

    friend bool operator==(const NormalizedPoint&, const NormalizedPoint&) = default;
};

/// One border. Its points are the border pixels in following order, a closed
/// loop whose first point is not repeated at the end (a lone pixel has one point).
struct Contour {
    std::vector<NormalizedPoint> points;
    bool isHole = false;                 // true: the border of a hole inside ink
    std::int64_t parent = -1;            // index into ContourTree::contours; -1 at the top level
    std::vector<std::int64_t> children;  // indices into ContourTree::contours, in discovery order

    friend bool operator==(const Contour&, const Contour&) = default;
};

/// All borders of one image. `contours` is in discovery (raster) order, so a
/// parent always comes before its children; `topLevel` lists the outermost
/// borders in that order.
struct ContourTree {
    std::vector<Contour> contours;
    std::vector<std::int64_t> topLevel;

    friend bool operator==(const ContourTree&, const ContourTree&) = default;
};

/// How a grey image becomes the binary image whose borders are followed.
struct Options {
    /// Grey values g in 0…1 become clamp(0.5 + contrastAdjustment × (g − 0.5), 0, 1).
    float contrastAdjustment = 2.0f;
    /// true: pixels darker than mid grey after the contrast adjustment are objects;
    /// false: lighter ones are.
    bool detectsDarkOnLight = true;
    /// Images whose longer side exceeds this are reduced by area averaging to fit
    /// it (aspect kept) before binarisation; smaller images are used as they are.
    /// Values below 1 count as 1.
    std::int64_t maximumImageDimension = 512;
};

/// Borders of an 8-connected binary mask (`mask[y * width + x]`, non-zero =
/// object), pixels outside the mask counting as background. Points are
/// normalised over the mask size (x / width, 1 − y / height). An empty mask, a
/// size that does not match `mask` or a mask too large for 32-bit labels gives
/// an empty tree.
[[nodiscard]] ContourTree traceBorders(const std::vector<std::uint8_t>& mask, std::int64_t width, std::int64_t height);

/// Contours of an 8-bit grey image (`grey[y * width + x]`, 0 = black); empty
/// when the image is empty or `grey` does not hold width × height bytes.
[[nodiscard]] ContourTree findContours(const std::vector<std::uint8_t>& grey, std::int64_t width, std::int64_t height,
                                       const Options& options);

/// Contours of a colour or grey image, read as grey (11 R + 16 G + 5 B) / 32 over
/// white (transparent parts count as white); empty for a null image.
[[nodiscard]] ContourTree findContours(const QImage& image, const Options& options);

}  // namespace ostrel::ContourFinder
