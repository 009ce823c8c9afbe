#include "benchsupport/RandomStrokes.h"

#include "core/pipeline/VectorizationEngine.h"

#include <random>
#include <utility>

namespace ostrel::bench {

std::vector<PenLayer> randomStrokeLayers(int count, double width, double height, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> x(0, width);
    std::uniform_real_distribution<double> y(0, height);
    std::uniform_real_distribution<double> step(-6, 6);
    std::vector<PenLayer> layers{PenLayer::make(0), PenLayer::make(1)};
    for (int i = 0; i < count; ++i) {
        VectorPath path;
        path.id = i + 1;
        path.penIndex = i % 2;
        path.strokeRadiusPx = 1.5;
        VectorPoint p{x(rng), y(rng)};
        for (int k = 0; k < 8; ++k) {
            path.points.push_back(p);
            p = {p.x + step(rng), p.y + step(rng)};
        }
        path = VectorizationEngine::refitPath(path, VectorizerParams());
        layers[static_cast<std::size_t>(i % 2)].paths.push_back(std::move(path));
    }
    return layers;
}

}  // namespace ostrel::bench
