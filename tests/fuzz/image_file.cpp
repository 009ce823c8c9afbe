// An image file of any format through the loader (the checks before decoding, the decoders, the
// conversion to grey) from an in-memory file, at the document size and at a small size.
#include "core/pipeline/ImageFileCheck.h"
#include "core/pipeline/RasterImage.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostrel;
    (void)headerIsAcceptable(data, size);
    const int fd = ::memfd_create("fuzz-image", MFD_CLOEXEC);
    if (fd < 0) return 0;
    for (std::size_t written = 0; written < size;) {
        const ssize_t n = ::write(fd, data + written, size - written);
        if (n <= 0) {
            ::close(fd);
            return 0;
        }
        written += static_cast<std::size_t>(n);
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    for (const int maxDimension : {kDocumentMaxDimension, 16}) {
        const auto raster = RasterImage::fromFile(path, maxDimension);
        if (!raster) continue;
        if (raster->width < 2 || raster->height < 2 || raster->width > maxDimension || raster->height > maxDimension ||
            raster->luma.size() != static_cast<std::size_t>(raster->width * raster->height)) {
            std::abort();
        }
    }
    ::close(fd);
    return 0;
}
