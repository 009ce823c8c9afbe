// Large buffers whose pages are mapped in bulk before their first write.
//
// Each 4 KiB page of fresh memory costs a page fault on its first write; a 23 MB float image takes
// about 5600 of them, which costs more than a pass of arithmetic over it. Linux maps a whole range in
// one call (madvise MADV_POPULATE_WRITE, about 3× cheaper), here split over a few threads of the
// parallel pool; elsewhere, or on older kernels, nothing changes and the pages fault in as they are
// written.
#pragma once

#include <cstddef>
#include <vector>

namespace ostrel {

/// Maps every whole page of [data, data + bytes) for writing where the system offers it; does nothing
/// for small ranges or when it cannot. Never changes the contents.
void prefaultPages(void* data, std::size_t bytes) noexcept;

/// Returns the whole pages of [data, data + bytes) to the system, which reads them as zeros afterwards;
/// nothing for small ranges or where the system cannot. For a buffer about to be freed: unlike the
/// unmapping that freeing a large block does, this does not stop other threads' page faults while it
/// runs, and the unmapping that follows finds no pages left to release.
void discardPages(void* data, std::size_t bytes) noexcept;

/// Makes `floatBuffers` float and `byteBuffers` byte buffers of `count` zeros with their pages mapped,
/// and keeps them for the prefaultedVector calls of that type and size to come, in place of any kept
/// before. Called on a helper thread while the caller does something else (decoding the image whose
/// pipeline will need them), it takes the mapping off the pipeline's path. Buffers nobody takes stay
/// until the next call or releasePreparedBuffers.
void prepareBuffers(std::size_t count, int floatBuffers, int byteBuffers);

/// Frees the buffers prepareBuffers kept.
void releasePreparedBuffers() noexcept;

namespace PreparedBufferPool {
// Moves a kept buffer of `count` elements into `out`; false when none is kept.
bool takePreparedBuffer(std::vector<float>& out, std::size_t count);
bool takePreparedBuffer(std::vector<unsigned char>& out, std::size_t count);
template <class T>
bool takePreparedBuffer(std::vector<T>&, std::size_t) {
    return false;
}
}  // namespace PreparedBufferPool

/// `count` value-initialised elements (zeros for arithmetic types), their pages mapped in bulk first;
/// a buffer kept by prepareBuffers when one of that type and size is there.
template <class T>
[[nodiscard]] std::vector<T> prefaultedVector(std::size_t count) {
    std::vector<T> values;
    if (PreparedBufferPool::takePreparedBuffer(values, count)) return values;
    values.reserve(count);
    prefaultPages(values.data(), count * sizeof(T));
    values.resize(count);
    return values;
}

}  // namespace ostrel
