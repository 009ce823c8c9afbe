// The per-image fields of one extraction run, made by NeuralRidgeFilter::preprocess.
#pragma once

#include "core/support/parallel/PrefaultedVector.h"

#include <cstdint>
#include <vector>

namespace ostrel {

struct PreprocessedFields {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::vector<std::uint8_t> binary;  // binary[y * width + x]: 1 = ink, 0 = background
    PixelBuffer<float> distanceField;  // exact Euclidean distance of ink to background; 0 on background
    PixelBuffer<float> ridgeField;     // 0…1, highest on stroke centre lines
    bool usedNeuralEngine = false;

    friend bool operator==(const PreprocessedFields&, const PreprocessedFields&) = default;
};

}  // namespace ostrel
