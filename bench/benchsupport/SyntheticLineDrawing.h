// A seeded synthetic line drawing for benchmarks, and the choice between it and an image file.
#pragma once

#include "core/pipeline/RasterImage.h"

namespace ostrel::bench {

/// A size × size grey line drawing: black antialiased straight lines, ellipses and free curves with
/// stroke widths of 2 to 8 pixels on white, drawn until about 8 % of the pixels are ink. The same seed
/// gives the same image.
[[nodiscard]] RasterImage syntheticLineDrawing(int size = 2400, unsigned seed = 1);

/// The benchmark input: the image named by an `--image=path` argument (decoded with its longer side
/// limited to 2400 px; the argument is removed from argv so the benchmark library does not see it),
/// else syntheticLineDrawing(). Exits with a message when the file cannot be read.
[[nodiscard]] RasterImage loadBenchImage(int& argc, char** argv);

}  // namespace ostrel::bench
