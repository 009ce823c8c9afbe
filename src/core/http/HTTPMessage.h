// The HTTP/1.1 message shapes of the local API (RFC 9112): one request per
// connection, the request head parsed leniently, and the fixed response head.
// Pure functions; the sockets are in HTTPServer.
#pragma once

#include "core/support/text/Json.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ostrel {

inline constexpr std::string_view kJSONContentType = "application/json; charset=utf-8";

/// One request as the router sees it.
struct HTTPRequest {
    std::string method;  ///< first word of the request line, upper-cased
    std::string path;    ///< target up to the first "?", not percent-decoded
    std::string query;   ///< target after the first "?", empty when there is none
    std::string body;    ///< exactly Content-Length bytes

    /// The body's top-level JSON object (invalid UTF-8 repaired first); an empty
    /// object when the body is empty, not JSON, or not an object.
    [[nodiscard]] Json args() const;
};

/// One answer: by default 200 with the JSON text {"ok":true}.
struct HTTPResponse {
    int status = 200;
    std::string contentType{kJSONContentType};
    std::string body = R"({"ok":true})";

    /// `status` with `value` as indented JSON.
    [[nodiscard]] static HTTPResponse json(int status, const Json& value);
    /// `status` with {"error": message}.
    [[nodiscard]] static HTTPResponse error(int status, std::string_view message);
};

/// The parsed head of a request.
struct HTTPRequestHead {
    std::string method;
    std::string path;
    std::string query;
    /// Header fields in order: name lower-cased, value trimmed of blanks.
    std::vector<std::pair<std::string, std::string>> fields;

    /// Values of every field called `name` (lower case).
    [[nodiscard]] std::vector<std::string> values(std::string_view name) const;
};

/// Parses a request head (the bytes before the blank line). The request line
/// is the first non-empty line (lines end at LF, VT, FF, CR, CR LF, U+0085,
/// U+2028 or U+2029); it needs at least two space-separated words, else none.
[[nodiscard]] std::optional<HTTPRequestHead> parseRequestHead(std::string_view head);

/// Where the head ends in `data`: the index just past the first blank line
/// ("\r\n\r\n" or "\n\n"), or none while it has not arrived.
[[nodiscard]] std::optional<std::size_t> findHeadEnd(std::string_view data) noexcept;

/// The Content-Length of a head: 0 when absent; none when malformed or when
/// several fields disagree.
[[nodiscard]] std::optional<std::uint64_t> contentLength(const HTTPRequestHead& head);

/// True when the Host and Origin fields (when present) name this machine's
/// loopback: Host "127.0.0.1" or "localhost", Origin "http://127.0.0.1" or
/// "http://localhost", each with an optional ":port". A browser page of another
/// site (DNS rebinding included) fails this check.
[[nodiscard]] bool isSameMachineRequest(const HTTPRequestHead& head);

/// "HTTP/1.1 <status> <OK|Bad Request>\r\nContent-Type: …\r\nContent-Length: …\r\nConnection: close\r\n\r\n".
[[nodiscard]] std::string responseHead(int status, std::string_view contentType, std::size_t contentLength);

}  // namespace ostrel
