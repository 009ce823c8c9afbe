#include "support/PrefaultedVector.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace ostrel {

namespace {

// Below this a range is left to ordinary page faults: the call would not pay for itself.
constexpr std::size_t kMinPrefaultBytes = std::size_t{1} << 20;

}  // namespace

void prefaultPages(void* data, std::size_t bytes) noexcept {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    if (data == nullptr || bytes < kMinPrefaultBytes) return;
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pageSize <= 0) return;
    const auto page = static_cast<std::uintptr_t>(pageSize);
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + page - 1) / page * page;
    const std::uintptr_t last = (begin + bytes) / page * page;
    if (last <= first) return;
    // Failure (an older kernel without the advice) only leaves the pages to fault in as usual.
    (void)madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
#else
    (void)data;
    (void)bytes;
#endif
}

}  // namespace ostrel
