#include "core/support/parallel/PrefaultedVector.h"

#include "core/support/parallel/ParallelFor.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <optional>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace ostrel {

namespace {

// Below this a range is left to ordinary page faults: the call would not pay for itself.
constexpr std::size_t kMinPrefaultBytes = std::size_t{1} << 20;

// A large range is mapped in up to this many pieces at once on the parallel pool. Mapping is mostly
// the kernel zeroing pages; two to four threads map a range about twice as fast as one, more only
// contend on the kernel's locks.
constexpr std::size_t kMaxPieces = 4;

// Buffers made by prepareBuffers, not yet taken. Never destroyed (a helper thread may still be
// preparing when the process exits).
struct KeptBuffers {
    std::mutex mutex;
    std::vector<std::vector<float>> floats;
    std::vector<std::vector<unsigned char>> bytes;
};

KeptBuffers& prepared() {
    static KeptBuffers& buffers = *new KeptBuffers;
    return buffers;
}

template <class T>
bool takeFrom(std::vector<std::vector<T>>& kept, std::vector<T>& out, std::size_t count) {
    const auto found = std::find_if(kept.begin(), kept.end(), [count](const auto& b) { return b.size() == count; });
    if (found == kept.end()) return false;
    out = std::move(*found);
    kept.erase(found);
    return true;
}

}  // namespace

void prepareBuffers(std::size_t count, int floatBuffers, int byteBuffers) {
    releasePreparedBuffers();
    std::vector<std::vector<float>> floats;
    std::vector<std::vector<unsigned char>> bytes;
    for (int i = 0; i < floatBuffers; ++i) floats.push_back(prefaultedVector<float>(count));
    for (int i = 0; i < byteBuffers; ++i) bytes.push_back(prefaultedVector<unsigned char>(count));
    KeptBuffers& kept = prepared();
    std::lock_guard lock(kept.mutex);
    kept.floats = std::move(floats);
    kept.bytes = std::move(bytes);
}

void releasePreparedBuffers() noexcept {
    std::vector<std::vector<float>> floats;
    std::vector<std::vector<unsigned char>> bytes;
    {
        KeptBuffers& kept = prepared();
        std::lock_guard lock(kept.mutex);
        std::swap(floats, kept.floats);
        std::swap(bytes, kept.bytes);
    }
    for (auto& buffer : floats) discardPages(buffer.data(), buffer.size() * sizeof(float));
    for (auto& buffer : bytes) discardPages(buffer.data(), buffer.size());
}

namespace PreparedBufferPool {

bool takePreparedBuffer(std::vector<float>& out, std::size_t count) {
    KeptBuffers& kept = prepared();
    std::lock_guard lock(kept.mutex);
    return takeFrom(kept.floats, out, count);
}

bool takePreparedBuffer(std::vector<unsigned char>& out, std::size_t count) {
    KeptBuffers& kept = prepared();
    std::lock_guard lock(kept.mutex);
    return takeFrom(kept.bytes, out, count);
}

}  // namespace PreparedBufferPool

#if defined(__linux__)
namespace {
/// The whole pages inside [data, data + bytes): page size, first and one-past-last page address;
/// none for small or empty ranges.
struct PageRange {
    std::uintptr_t page;
    std::uintptr_t first;
    std::uintptr_t last;
};
std::optional<PageRange> wholePages(void* data, std::size_t bytes) noexcept {
    if (data == nullptr || bytes < kMinPrefaultBytes) return std::nullopt;
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pageSize <= 0) return std::nullopt;
    const auto page = static_cast<std::uintptr_t>(pageSize);
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + page - 1) / page * page;
    const std::uintptr_t last = (begin + bytes) / page * page;
    if (last <= first) return std::nullopt;
    return PageRange{page, first, last};
}
}  // namespace
#endif

void prefaultPages(void* data, std::size_t bytes) noexcept {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    const auto range = wholePages(data, bytes);
    if (!range) return;
    const std::uintptr_t page = range->page, first = range->first, last = range->last;
    // Failure (an older kernel without the advice) only leaves the pages to fault in as usual.
    const auto populate = [page, first](std::size_t fromPage, std::size_t toPage) {
        if (toPage > fromPage) {
            (void)madvise(reinterpret_cast<void*>(first + fromPage * page), (toPage - fromPage) * page,
                          MADV_POPULATE_WRITE);
        }
    };
    const std::size_t pages = (last - first) / page;
    const std::size_t pieces = std::clamp<std::size_t>((last - first) / kMinPrefaultBytes, 1, kMaxPieces);
    const std::size_t pagesPerPiece = (pages + pieces - 1) / pieces;
    try {
        parallelFor(pieces, 1, [&](std::size_t firstPiece, std::size_t lastPiece) {
            populate(std::min(pages, firstPiece * pagesPerPiece), std::min(pages, lastPiece * pagesPerPiece));
        });
    } catch (...) {
        populate(0, pages);  // no pool to be had: the whole range on this thread
    }
#else
    (void)data;
    (void)bytes;
#endif
}

void discardPages(void* data, std::size_t bytes) noexcept {
#if defined(__linux__)
    const auto range = wholePages(data, bytes);
    if (!range) return;
    const std::uintptr_t page = range->page, first = range->first, last = range->last;
    (void)page;
    (void)madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
#else
    (void)data;
    (void)bytes;
#endif
}

}  // namespace ostrel
