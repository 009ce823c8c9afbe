// Stage A and stage B on a small image: nine bytes choose the parameters within the ranges the
// application accepts and the size (at most 48 × 48, which keeps one run within a few
// milliseconds), the rest are the grey levels, repeated when short. Every exported format is
// rendered and the strokes stay finite.
#include "core/export/SVGExporter.h"
#include "core/pipeline/RasterImage.h"
#include "core/pipeline/VectorizationEngine.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr std::size_t kParameterBytes = 9;
constexpr int kMaxSide = 48;

ostrel::VectorizerParams paramsFrom(const std::uint8_t* b) {
    using namespace ostrel;
    VectorizerParams p;
    p.algorithm = static_cast<VectorAlgorithm>(b[0] % 4);
    p.outputMode = (b[0] & 0x10) != 0 ? VectorOutputMode::axidraw : VectorOutputMode::illustration;
    p.illustrationStrokeStyle =
        (b[0] & 0x20) != 0 ? IllustrationStrokeStyle::perStrokeWidth : IllustrationStrokeStyle::variableRibbon;
    p.paperFormat = static_cast<PaperFormat>((b[0] >> 6) % 5);
    p.threshold = b[1];
    p.blurRadius = (b[2] % 41) * 0.25;  // 0 to 10
    p.morphCleanup = b[3] % 4;
    p.adaptiveThreshold = (b[4] & 0x01) != 0;
    p.invert = (b[4] & 0x02) != 0;
    p.hatchEnabled = (b[4] & 0x04) != 0;
    p.crossHatch = (b[4] & 0x08) != 0;
    p.stegerSubpixel = (b[4] & 0x10) != 0;
    p.crossJunctions = (b[4] & 0x20) != 0;
    p.optimize2Opt = (b[4] & 0x40) != 0;
    p.exportBlackStrokes = (b[4] & 0x80) != 0;
    p.penCount = 1 + b[5] % 4;
    p.hatchSpacingPx = 2.0 + (b[6] % 19);
    p.hatchAngleDeg = b[6] * 1.5;
    p.rdpTolerance = 0.1 + (b[3] >> 2) * 0.1;
    p.minPathLengthPx = (b[5] >> 2) % 20;
    return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostrel;
    if (size < kParameterBytes + 1) return 0;
    const VectorizerParams params = paramsFrom(data);
    RasterImage image;
    image.width = 2 + data[7] % (kMaxSide - 1);
    image.height = 2 + data[8] % (kMaxSide - 1);
    const std::uint8_t* pixels = data + kParameterBytes;
    const std::size_t pixelBytes = size - kParameterBytes;
    image.luma.resize(static_cast<std::size_t>(image.width * image.height));
    for (std::size_t i = 0; i < image.luma.size(); ++i) image.luma[i] = pixels[i % pixelBytes];

    const VectorizationOutput output = VectorizationEngine::vectorize(image, params);
    for (const PenLayer& layer : output.result.layers) {
        for (const VectorPath& path : layer.paths) {
            for (const VectorPoint& point : path.points) {
                if (!std::isfinite(point.x) || !std::isfinite(point.y)) std::abort();
            }
        }
    }
    for (const auto format : {VectorExportFormat::svgAxiDraw, VectorExportFormat::svgPreview, VectorExportFormat::json,
                              VectorExportFormat::txt, VectorExportFormat::csv}) {
        (void)SVGExporter::render(format, output.result, params);
    }
    return 0;
}
