#include "core/support/system/FreeMemory.h"

#include <cstdlib>  // defines __GLIBC__ with the GNU C library

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace ostrel {

void releaseFreeHeapMemory() noexcept {
#if defined(__GLIBC__)
    (void)::malloc_trim(0);
#endif
}

}  // namespace ostrel
