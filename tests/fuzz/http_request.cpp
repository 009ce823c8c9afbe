// The bytes one client sends on a connection, read the way the HTTP server reads them: blank lines
// skipped, the head up to its blank line parsed, the same-machine and length checks, then exactly
// Content-Length bytes of body and its JSON arguments (after the nesting check).
#include "core/http/HTTPMessage.h"
#include "core/http/HTTPServer.h"
#include "core/support/text/Json.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostrel;
    const HTTPServerOptions limits;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    bytes.remove_prefix(std::min(bytes.find_first_not_of("\r\n"), bytes.size()));

    const std::size_t headEnd = findHeadEnd(bytes).value_or(bytes.size());
    if (headEnd > bytes.size()) std::abort();
    if (headEnd > limits.maxHeadBytes) return 0;
    const auto head = parseRequestHead(bytes.substr(0, headEnd));
    if (!head) return 0;
    (void)isSameMachineRequest(*head);
    (void)head->values("transfer-encoding");
    const auto length = contentLength(*head);
    if (!length || *length > limits.maxBodyBytes) return 0;

    HTTPRequest request{head->method, head->path, head->query,
                        std::string(bytes.substr(headEnd, static_cast<std::size_t>(*length)))};
    if (jsonNestsDeeperThan(request.body, kMaxJsonNesting)) return 0;
    const Json args = request.args();
    if (!args.is_object()) std::abort();
    (void)compactJson(args);
    (void)responseHead(200, kJSONContentType, request.body.size());
    return 0;
}
