// One line from an MCP client through the bridge, the application answered by a stub whose answer
// (JSON, an image, an error status) depends on the line's length. Every reply is one line of JSON.
#include "mcp/OstrelMCPServer.h"
#include "core/support/text/Utf8.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

ostrel::mcp::APIResponse cannedAnswer(std::size_t pick) {
    switch (pick % 3) {
        case 0:
            return {200, R"({"ok":true,"pathCount":3})", "application/json", {}};
        case 1:
            return {200, std::string("\x89PNG\r\n\x1a\n\0\0", 10), "image/png", {}};
        default:
            return {500, R"({"error":"boom")", "application/json; charset=utf-8", {}};
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostrel::mcp;
    OstrelMCPServer server([size](const std::string&, const std::string&,
                                  const std::optional<std::string>&) { return cannedAnswer(size); },
                           "http://127.0.0.1:17940", "0.0.0");
    const std::string line = ostrel::lossyUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
    const auto reply = server.handle(line);
    if (!reply) return 0;
    if (reply->find('\n') != std::string::npos) std::abort();
    if (nlohmann::json::parse(*reply, nullptr, false).is_discarded()) std::abort();
    return 0;
}
