#include "testsupport/StrokeGrid.h"

#include <utility>

namespace ostrel::test {

CubicBezierSegment straightSegment(VectorPoint a, VectorPoint b) {
    return {
        a, {a.x + (b.x - a.x) / 3, a.y + (b.y - a.y) / 3}, {a.x + 2 * (b.x - a.x) / 3, a.y + 2 * (b.y - a.y) / 3}, b};
}

VectorPath gridStroke(int i, double dx, double dy) {
    VectorPath path;
    path.id = i + 1;
    path.strokeRadiusPx = 0.5 + (i % 4) * 0.75;
    const double x0 = 8 + (i % 6) * 31 + dx;
    const double y0 = 12 + (i / 6) * 38 + dy;
    for (int j = 0; j < 20; ++j) path.points.push_back({x0 + j * 1.3, y0 + ((j % 2) != 0 ? 9 : 0) + j * 0.4});
    const double r = path.strokeRadiusPx;
    std::vector<VectorPoint> outline;
    for (const VectorPoint& p : path.points) outline.push_back({p.x, p.y - r});
    for (auto p = path.points.rbegin(); p != path.points.rend(); ++p) outline.push_back({p->x, p->y + r});
    for (std::size_t j = 0; j < outline.size(); ++j) {
        path.outlineBeziers.push_back(straightSegment(outline[j], outline[(j + 1) % outline.size()]));
    }
    return path;
}

VectorizationResult rawPixelResult(std::int64_t side, std::vector<VectorPath> paths, std::int64_t layerIndex,
                                   double widthMM) {
    VectorizationResult result;
    result.pageTransform.imageWidth = side;
    result.pageTransform.imageHeight = side;
    result.pageTransform.pageWidthMM = static_cast<double>(side);
    result.pageTransform.pageHeightMM = static_cast<double>(side);
    result.pageTransform.scalePxToMM = 1;
    result.pageTransform.isRawPixels = true;
    result.layers.push_back(PenLayer::make(layerIndex, "pen", widthMM, "#000000", true, std::move(paths)));
    return result;
}

}  // namespace ostrel::test
