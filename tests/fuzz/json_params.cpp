// A JSON body of the parameter route: refused when nested too deeply, else its arguments applied to
// the parameters, whose every field must stay within its range.
#include "app/remote/JSONParams.h"
#include "core/http/HTTPMessage.h"
#include "core/support/text/Json.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostrel;
    HTTPRequest request{"POST", "/v1/params", "", std::string(reinterpret_cast<const char*>(data), size)};
    if (jsonNestsDeeperThan(request.body, kMaxJsonNesting)) return 0;
    VectorizerParams params;
    int changes = 0;
    applyJSONParams(request.args(), params, [&changes](const VectorizerParams&) { ++changes; });
    if (params.threshold < 0 || params.threshold > 255) std::abort();
    if (params.penCount < 1 || params.penCount > 4) std::abort();
    if (!std::isfinite(params.blurRadius) || !std::isfinite(params.rdpTolerance)) std::abort();
    (void)params.extractionCacheKey();
    return 0;
}
