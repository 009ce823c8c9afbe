#include "core/support/parallel/PrefaultedVector.h"

#include "core/support/parallel/ParallelFor.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace ostrel {

#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
namespace {

// Below this a range is left to ordinary page faults: the call would not pay for itself.
constexpr std::size_t kMinPrefaultBytes = std::size_t{1} << 20;

// A large range is mapped in up to this many pieces at once on the parallel pool. Mapping is mostly
// the kernel zeroing pages; two to four threads map a range about twice as fast as one, more only
// contend on the kernel's locks.
constexpr std::size_t kMaxPieces = 4;

#if defined(MADV_HUGEPAGE)
// Size of a transparent huge page on the usual 4 KiB-page systems (x86-64, arm64).
constexpr std::uintptr_t kHugePageBytes = std::uintptr_t{2} << 20;

// Asks for the aligned huge-page blocks inside [first, last) to be backed by huge pages: one page fault
// and one translation entry instead of 512. Fresh small pages cost far more than their zeroing where
// page tables are shadowed (a virtual machine): about 80 ms for the 5600 pages of a 23 MB float image
// against 5 ms with huge pages. Ranges holding no whole block are left alone, so the neighbouring
// allocations keep their mapping; refused advice (huge pages unavailable) leaves small pages.
void adviseHugePages(std::uintptr_t first, std::uintptr_t last) noexcept {
    const std::uintptr_t blockFirst = (first + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
    const std::uintptr_t blockLast = last / kHugePageBytes * kHugePageBytes;
    if (blockLast > blockFirst) {
        (void)madvise(reinterpret_cast<void*>(blockFirst), blockLast - blockFirst, MADV_HUGEPAGE);
    }
}
#else
void adviseHugePages(std::uintptr_t, std::uintptr_t) noexcept {}
#endif

// The whole pages inside a range: page size, first and one-past-last page address.
struct PageRange {
    std::uintptr_t page;
    std::uintptr_t first;
    std::uintptr_t last;
};

// The whole pages inside [data, data + bytes); none for small or empty ranges.
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

void prefaultPages(void* data, std::size_t bytes) noexcept {
    const auto range = wholePages(data, bytes);
    if (!range) return;
    const PageRange pages = *range;
    // Failure (an older kernel without the advice) only leaves the pages to fault in as usual.
    const auto populate = [pages](std::size_t fromPage, std::size_t toPage) {
        if (toPage > fromPage) {
            (void)madvise(reinterpret_cast<void*>(pages.first + fromPage * pages.page),
                          (toPage - fromPage) * pages.page, MADV_POPULATE_WRITE);
        }
    };
    adviseHugePages(pages.first, pages.last);
    const std::size_t count = (pages.last - pages.first) / pages.page;
    const std::size_t pieces = std::clamp<std::size_t>((pages.last - pages.first) / kMinPrefaultBytes, 1, kMaxPieces);
    const std::size_t pagesPerPiece = (count + pieces - 1) / pieces;
    try {
        parallelFor(pieces, 1, [&](std::size_t firstPiece, std::size_t lastPiece) {
            populate(std::min(count, firstPiece * pagesPerPiece), std::min(count, lastPiece * pagesPerPiece));
        });
    } catch (...) {
        populate(0, count);  // no pool to be had: the whole range on this thread
    }
}

#else

void prefaultPages(void*, std::size_t) noexcept {}

#endif

}  // namespace ostrel
