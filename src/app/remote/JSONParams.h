// Parameters from a JSON object (the body of the parameter route): 24 of the
// 28 fields by name, each converted by its type and clamped to its range; any
// key that is absent, null, of the wrong type or unrecognised is skipped.
#pragma once

#include "core/model/VectorizerParams.h"
#include "core/support/text/Json.h"

#include <functional>

namespace ostrel {

/// Called after each accepted key with the parameters as they now stand.
using ParamsChange = std::function<void(const VectorizerParams&)>;

/// Applies the recognised keys of `args` to `params`, in a fixed order.
/// Integer fields truncate fractions toward zero, then clamp ("threshold": 255.9
/// stores 255); floating-point fields clamp (upper bound first); "hatchAngleDeg"
/// is stored unclamped. `onChange`, when set, sees every accepted key as one
/// change, even when the value is unchanged. Never fails.
void applyJSONParams(const Json& args, VectorizerParams& params, const ParamsChange& onChange = {});

}  // namespace ostrel
