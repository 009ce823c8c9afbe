// One bounded GET with libcurl, streamed to a sink as the bytes arrive.
//
// Every fetch of the updater goes through here: the feed, the archive and its signature. Each has
// a byte cap checked against the announced length and again as bytes arrive, a stall limit (no
// byte for that long ends it) and a total deadline. Schemes are http, https and file; redirects
// are followed to http and https only, so a server cannot point the updater at a local file.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

struct FetchLimits {
    std::uint64_t maxBytes = 1024 * 1024;
    std::chrono::milliseconds stallTimeout{8000};  ///< longest wait without a byte
    std::chrono::milliseconds totalTimeout{600000};
};

struct FetchRequest {
    std::string url;
    std::vector<std::string> headers;  ///< "Name: value" lines
    bool bypassCaches = false;         ///< adds "Cache-Control: no-cache" and "Pragma: no-cache"
    FetchLimits limits;
};

struct FetchResult {
    long status = 0;          ///< the final HTTP status; 0 for a file address
    std::uint64_t bytes = 0;  ///< body bytes delivered to the sink
};

/// Called with the bytes received so far and the announced total (0 when unknown).
using FetchProgress = std::function<void(std::uint64_t received, std::uint64_t expected)>;

/// Fetches `request.url`, handing the body to `sink` piece by piece. For an HTTP status outside
/// 200–299 the body is not delivered and the status is returned at once. Throws Error: domain
/// "curl" with libcurl's code and text for transport failures, time-outs and a set `cancel`;
/// the updater's code 21 when the body is longer than the cap; whatever `sink` throws.
FetchResult fetch(const FetchRequest& request, const std::function<void(std::string_view)>& sink,
                  const std::atomic<bool>* cancel = nullptr, const FetchProgress& progress = {});

/// The same into memory.
FetchResult fetchToString(const FetchRequest& request, std::string& body, const std::atomic<bool>* cancel = nullptr);

/// The same into a new file (created exclusively, mode 0600).
FetchResult fetchToFile(const FetchRequest& request, const std::filesystem::path& file,
                        const std::atomic<bool>* cancel = nullptr, const FetchProgress& progress = {});

}  // namespace ostrel
