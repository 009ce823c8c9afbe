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
#include <memory>
#include <type_traits>
#include <utility>
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

/// An allocator that leaves the elements a container makes without a value uninitialised (a
/// vector's resize and size constructor); elements made with a value get it.
template <class T>
struct DefaultInitAllocator : std::allocator<T> {
    using value_type = T;
    template <class U>
    struct rebind {
        using other = DefaultInitAllocator<U>;
    };
    DefaultInitAllocator() noexcept = default;
    template <class U>
    DefaultInitAllocator(const DefaultInitAllocator<U>&) noexcept {}  // NOLINT(google-explicit-constructor)
    template <class U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

/// An image-sized buffer whose first pass writes every element: a vector that does not zero the
/// elements it makes, which for a 23 MB image costs more than 2 ms on one thread.
template <class T>
using PixelBuffer = std::vector<T, DefaultInitAllocator<T>>;

/// `count` elements not yet written, their pages mapped in bulk. For a buffer the caller writes
/// whole before anything reads it.
template <class T>
[[nodiscard]] PixelBuffer<T> unwrittenBuffer(std::size_t count) {
    static_assert(std::is_trivially_default_constructible_v<T>);
    PixelBuffer<T> values;
    values.reserve(count);
    prefaultPages(values.data(), count * sizeof(T));
    values.resize(count);
    return values;
}

}  // namespace ostrel
