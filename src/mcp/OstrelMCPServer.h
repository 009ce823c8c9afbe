// The MCP server of ostrel-mcp: JSON-RPC 2.0 over standard input and output, one compact
// message per line (MCP stdio transport), with six tools that each become one HTTP request
// to the running application through a `Transport`.
#pragma once

#include "mcp/APITransport.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ostrel::mcp {

/// Longest input line accepted (bytes, line end excluded); a longer one is answered with an
/// "Invalid Request" error and skipped up to its line end.
inline constexpr std::size_t maxLineBytes = 8u * 1024u * 1024u;

/// Caption of the image result of "ostrel_snapshot".
inline constexpr std::string_view snapshotCaption = "Snapshot of the Ostrel window.";

class OstrelMCPServer final {
public:
    OstrelMCPServer(Transport transport, std::string apiBase, std::string version);

    /// The line loop on standard input and output; returns at end of input.
    void run();
    /// The line loop on the given descriptors (read until end of input, one write per reply).
    void run(int inputFd, int outputFd);

    /// One input line (UTF-8 text) in, the reply text without line end, or nothing for
    /// blank lines and notifications.
    [[nodiscard]] std::optional<std::string> handle(std::string_view line);

    /// Performs tool `name` with `arguments` (an object). Throws `ProxyError` (transport failures,
    /// or badArguments "unknown tool <name>" for a name outside the table).
    [[nodiscard]] nlohmann::json callTool(const std::string& name, const nlohmann::json& arguments);

    /// {"content":[{"type":"text","text":body as UTF-8, bad bytes as U+FFFD}],"isError":status>399}
    [[nodiscard]] static nlohmann::json textResult(const APIResponse& response);

    /// An image item (base 64) and a caption item for a 200 answer whose content type does not
    /// mention JSON; every other answer gives `textResult`.
    [[nodiscard]] static nlohmann::json imageResult(const APIResponse& response, std::string_view caption);

    /// The one-line JSON text of `reply` (slashes unescaped, bad UTF-8 replaced), or nothing.
    [[nodiscard]] static std::optional<std::string> encode(const nlohmann::json& reply);

    [[nodiscard]] const std::string& apiBase() const noexcept { return apiBase_; }
    [[nodiscard]] const std::string& version() const noexcept { return version_; }

private:
    Transport transport_;
    std::string apiBase_;
    std::string version_;
};

}  // namespace ostrel::mcp
