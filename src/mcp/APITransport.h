// The bridge's side of the application's loopback HTTP API: the base address read from the
// environment, the record of one HTTP answer, the bridge's error type and the transport, a
// function value that performs one blocking HTTP/1.1 request per call (libcurl easy interface).
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace ostrel::mcp {

/// One HTTP answer, whatever its status.
struct APIResponse {
    std::int64_t status = 0;
    std::string data;         ///< the body exactly as received (bytes, maybe not UTF-8); may be empty
    std::string contentType;  ///< the Content-Type header found without regard to case, or ""
    std::map<std::string, std::string> headers;  ///< name lower-cased -> value; a later header wins

    friend bool operator==(const APIResponse&, const APIResponse&) = default;
};

/// The bridge's two failures. `description()` is the text the agent is shown.
class ProxyError : public std::exception {
public:
    enum class Kind { unreachable, badArguments };

    /// The application does not answer at `base`.
    [[nodiscard]] static ProxyError unreachable(std::string base);
    /// A request that cannot be made; `message` is shown as it stands.
    [[nodiscard]] static ProxyError badArguments(std::string message);

    [[nodiscard]] Kind kind() const noexcept { return kind_; }
    /// The base address (unreachable) or the message (badArguments).
    [[nodiscard]] const std::string& payload() const noexcept { return payload_; }
    [[nodiscard]] const std::string& description() const noexcept { return description_; }
    [[nodiscard]] const char* what() const noexcept override { return description_.c_str(); }

private:
    ProxyError(Kind kind, std::string payload, std::string description)
        : kind_(kind), payload_(std::move(payload)), description_(std::move(description)) {}

    Kind kind_;
    std::string payload_;
    std::string description_;
};

/// Where the application is installed on this system, as named in the unreachable text.
[[nodiscard]] std::string_view applicationPath() noexcept;

/// One blocking request: (method such as "GET", path beginning with "/" with an optional
/// "?query", optional JSON body) -> the answer. Throws `ProxyError` when no HTTP answer arrives.
using Transport = std::function<APIResponse(const std::string& method, const std::string& path,
                                            const std::optional<std::string>& body)>;

/// "http://127.0.0.1:<port>" where the port is `OSTREL_API_PORT` when it is a whole decimal
/// signed 64-bit number (optional single sign, digits only; no range check), else 17940.
/// Example: {"OSTREL_API_PORT": "+0080"} -> "http://127.0.0.1:80".
[[nodiscard]] std::string apiBaseURL(const std::map<std::string, std::string>& environment);

/// The HTTP transport for `base` with a limit of `timeoutSeconds` per request. Each call makes
/// its own connection; any HTTP status is a success, every other failure is `unreachable(base)`,
/// and an address that is not a valid URL is `badArguments("bad path " + path)`.
/// libcurl is kept off standard input and output, ignores proxy variables and sends no
/// "Expect: 100-continue"; Content-Type is "application/json; charset=utf-8" only with a body.
[[nodiscard]] Transport urlSessionTransport(std::string base, double timeoutSeconds);

/// Largest answer body the transport accepts (bytes); a larger one is refused with an error.
inline constexpr std::size_t maxResponseBytes = 256u * 1024u * 1024u;

}  // namespace ostrel::mcp
