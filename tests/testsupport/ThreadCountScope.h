// Test helper: sets the parallel loops' thread count for one scope, then restores the default.
#pragma once

#include "core/support/parallel/ParallelFor.h"

namespace ostrel::test {

struct ThreadCountScope {
    explicit ThreadCountScope(int count) { setParallelThreadCount(count); }
    ~ThreadCountScope() { setParallelThreadCount(0); }
    ThreadCountScope(const ThreadCountScope&) = delete;
    ThreadCountScope& operator=(const ThreadCountScope&) = delete;
};

}  // namespace ostrel::test
