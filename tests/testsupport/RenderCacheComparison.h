// Test support: gtest assertions that two render caches (or two paths) are
// the same: fill rules, element types and coordinates bit for bit, bounds,
// bands, buckets and the paths by id.
#pragma once

#include "app/document/VectorRenderCache.h"

#include <string>

namespace ostrel::test {

/// Same fill rule and the same elements, bit for bit; `where` names the path in failures.
void expectSamePath(const QPainterPath& actual, const QPainterPath& expected, const std::string& where);

/// Every path, bound and key of `actual` as in `expected` (hash maps compared by content).
void expectSameCache(const VectorRenderCache& actual, const VectorRenderCache& expected);

}  // namespace ostrel::test
