// Large buffers whose pages are mapped in bulk before their first write.
//
// Each 4 KiB page of fresh memory costs a page fault on its first write; a 23 MB float image takes
// about 5600 of them, which costs more than a pass of arithmetic over it. Linux maps a whole range in
// one call (madvise MADV_POPULATE_WRITE, about 3× cheaper), here split over a few threads of the
// parallel pool, with the aligned 2 MiB blocks of the range asked to be huge pages (one fault for
// 512 small pages); elsewhere, or on older kernels, nothing changes and the pages fault in as they are
// written.
#pragma once

#include <cstddef>
#include <vector>

namespace ostrel {

/// Maps every whole page of [data, data + bytes) for writing where the system offers it; does nothing
/// for small ranges or when it cannot. Never changes the contents.
void prefaultPages(void* data, std::size_t bytes) noexcept;

/// `count` value-initialised elements (zeros for arithmetic types), their pages mapped in bulk first.
template <class T>
[[nodiscard]] std::vector<T> prefaultedVector(std::size_t count) {
    std::vector<T> values;
    values.reserve(count);
    prefaultPages(values.data(), count * sizeof(T));
    values.resize(count);
    return values;
}

}  // namespace ostrel
