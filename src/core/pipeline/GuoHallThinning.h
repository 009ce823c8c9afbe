// Guo-Hall thinning of an ink mask to a one-pixel 8-connected skeleton, the first step of the centre
// lines (CenterlineTracer.h) and of the contour extractor's skeleton mode.
//
// Z. Guo, R. W. Hall, "Parallel thinning with two-subiteration algorithms", CACM 32(3), 1989.
#pragma once

#include <cstdint>
#include <vector>

namespace ostrel::CenterlineTracer {

/// The thinned mask: a copy of `binary` (width × height bytes, non-zero = set) with the border cleared
/// and the deleted pixels set to 0, after at most `maxIterations` rounds of the two sub-iterations and
/// a final staircase pass. Masks under 3 pixels on a side come back unchanged. Cost: linear in the
/// number of set pixels per round.
[[nodiscard]] std::vector<std::uint8_t> thinGuoHall(const std::vector<std::uint8_t>& binary, std::int64_t width,
                                                    std::int64_t height, std::int64_t maxIterations);

}  // namespace ostrel::CenterlineTracer
