#include "core/model/PageTransform.h"

#include "core/model/VectorModel.h"
#include "core/model/VectorizerParams.h"

#include <algorithm>

namespace ostrel {

PageTransform PageTransform::make(std::int64_t imageWidth, std::int64_t imageHeight, const VectorizerParams& params) {
    PageTransform t;
    t.imageWidth = std::max<std::int64_t>(imageWidth, 1);
    t.imageHeight = std::max<std::int64_t>(imageHeight, 1);
    const double w = static_cast<double>(t.imageWidth);
    const double h = static_cast<double>(t.imageHeight);

    const auto portrait = portraitSizeMM(params.paperFormat);
    if (!portrait) {
        t.pageWidthMM = w * kMillimetresPerPixelAt96Dpi;
        t.pageHeightMM = h * kMillimetresPerPixelAt96Dpi;
        t.scalePxToMM = kMillimetresPerPixelAt96Dpi;
        t.offsetXMM = 0;
        t.offsetYMM = 0;
        t.isRawPixels = true;
        return t;
    }

    const auto [W, H] = *portrait;
    bool landscape = false;
    switch (params.paperOrientation) {
        case PaperOrientation::portrait:
            landscape = false;
            break;
        case PaperOrientation::landscape:
            landscape = true;
            break;
        case PaperOrientation::automatic:
            landscape = imageWidth > std::max<std::int64_t>(imageHeight, 1);
            break;
    }
    const double pageW = landscape ? H : W;
    const double pageH = landscape ? W : H;
    const double margin = std::min(0.4 * std::min(pageW, pageH), params.marginMM);
    const double availW = std::max(pageW - 2 * margin, 10.0);
    const double availH = std::max(pageH - 2 * margin, 10.0);

    t.pageWidthMM = pageW;
    t.pageHeightMM = pageH;
    t.scalePxToMM = std::min(availW / w, availH / h);
    t.offsetXMM = (pageW - t.scalePxToMM * w) / 2;
    t.offsetYMM = (pageH - t.scalePxToMM * h) / 2;
    t.isRawPixels = false;
    return t;
}

VectorPoint PageTransform::toPage(const VectorPoint& p) const noexcept {
    if (isRawPixels) return p;
    return {offsetXMM + scalePxToMM * p.x, offsetYMM + scalePxToMM * p.y};
}

}  // namespace ostrel
