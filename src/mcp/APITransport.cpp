// HTTP client of the bridge over libcurl's easy interface: one handle, one connection and one
// synchronous transfer per call (RFC 9110/9112 semantics; the answer is judged by the caller).
#include "mcp/APITransport.h"

#include "core/support/text/Utf8.h"

#include <curl/curl.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace ostrel::mcp {

namespace {

constexpr std::int64_t defaultPort = 17940;

struct CurlHandleDeleter {
    void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};
struct CurlUrlDeleter {
    void operator()(CURLU* url) const noexcept { curl_url_cleanup(url); }
};
struct CurlListDeleter {
    void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};
using CurlHandle = std::unique_ptr<CURL, CurlHandleDeleter>;
using CurlUrl = std::unique_ptr<CURLU, CurlUrlDeleter>;
using CurlList = std::unique_ptr<curl_slist, CurlListDeleter>;

// curl_global_init is not thread-safe; it runs once, before the first handle is made.
void initCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// What the callbacks of one transfer fill in.
struct Transfer {
    std::string body;
    bool tooLarge = false;
    // Header lines of the last answer, in order (an interim 1xx answer starts a new list).
    std::vector<std::pair<std::string, std::string>> headerLines;
};

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    if (transfer->body.size() + bytes > maxResponseBytes) {
        transfer->tooLarge = true;
        return 0;  // aborts the transfer
    }
    transfer->body.append(data, bytes);
    return bytes;
}

std::string_view trimmedBlanks(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    const std::string_view line(data, bytes);
    if (line.starts_with("HTTP/")) {
        transfer->headerLines.clear();  // status line of a new answer
        return bytes;
    }
    const auto colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return bytes;
    transfer->headerLines.emplace_back(std::string(trimmedBlanks(line.substr(0, colon))),
                                       std::string(trimmedBlanks(line.substr(colon + 1))));
    return bytes;
}

// libcurl never reads request bytes from standard input: the body is given as a buffer, and
// this callback stands in for the default one that would read stdin.
std::size_t onRead(char*, std::size_t, std::size_t, void*) { return 0; }

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return text;
}

APIResponse perform(const std::string& base, double timeoutSeconds, const std::string& method, const std::string& path,
                    const std::optional<std::string>& body) {
    initCurlOnce();

    const std::string address = base + path;
    CurlUrl url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, address.c_str(), 0) != CURLUE_OK) {
        throw ProxyError::badArguments("bad path " + path);
    }

    CurlHandle handle(curl_easy_init());
    if (!handle) throw ProxyError::unreachable(base);
    CURL* h = handle.get();
    Transfer transfer;

    curl_easy_setopt(h, CURLOPT_CURLU, url.get());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(h, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    const double limit = std::isfinite(timeoutSeconds) && timeoutSeconds > 0 ? timeoutSeconds : 30.0;
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(std::min(limit, 86400.0) * 1000.0));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &onBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &onHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_READFUNCTION, &onRead);
    curl_easy_setopt(h, CURLOPT_READDATA, nullptr);

    // "Expect:" with no value removes libcurl's own Expect: 100-continue.
    curl_slist* headers = curl_slist_append(nullptr, "Expect:");
    if (body) {
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body->size()));
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, body->data());
        if (headers) {
            headers = curl_slist_append(headers, "Content-Type: application/json; charset=utf-8");
        }
    }
    CurlList headerList(headers);
    if (!headerList) throw ProxyError::unreachable(base);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headerList.get());

    if (method == "HEAD") {
        curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    } else if (method != (body ? "POST" : "GET")) {
        curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, method.c_str());
    }

    const CURLcode code = curl_easy_perform(h);
    if (transfer.tooLarge) {
        throw ProxyError::badArguments("answer too large: more than " + std::to_string(maxResponseBytes) + " bytes");
    }
    long status = 0;
    if (code != CURLE_OK || curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status <= 0) {
        throw ProxyError::unreachable(base);
    }

    APIResponse response;
    response.status = status;
    response.data = std::move(transfer.body);
    for (auto& [name, value] : transfer.headerLines) {
        // Only names and values that are text (valid UTF-8) are kept.
        if (!isValidUtf8(name) || !isValidUtf8(value)) continue;
        response.headers[lowered(name)] = value;
    }
    if (const auto found = response.headers.find("content-type"); found != response.headers.end()) {
        response.contentType = found->second;
    }
    return response;
}

// Whole-text decimal signed 64-bit number: one optional sign, then digits only.
std::optional<std::int64_t> parsedInt64(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    // Parse the magnitude as unsigned so that -9223372036854775808 is accepted.
    std::uint64_t magnitude = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    constexpr std::uint64_t maxPositive = static_cast<std::uint64_t>(INT64_MAX);
    if (negative) {
        if (magnitude > maxPositive + 1) return std::nullopt;
        return magnitude == maxPositive + 1 ? INT64_MIN : -static_cast<std::int64_t>(magnitude);
    }
    if (magnitude > maxPositive) return std::nullopt;
    return static_cast<std::int64_t>(magnitude);
}

}  // namespace

ProxyError ProxyError::unreachable(std::string base) {
    std::string description =
        "Ostrel is not reachable at " + base + " \u2014 launch " + std::string(applicationPath()) + " and retry.";
    return ProxyError(Kind::unreachable, std::move(base), std::move(description));
}

ProxyError ProxyError::badArguments(std::string message) {
    std::string description = message;
    return ProxyError(Kind::badArguments, std::move(message), std::move(description));
}

std::string_view applicationPath() noexcept { return OSTREL_APP_PATH; }

std::string apiBaseURL(const std::map<std::string, std::string>& environment) {
    std::int64_t port = defaultPort;
    if (const auto found = environment.find("OSTREL_API_PORT"); found != environment.end()) {
        port = parsedInt64(found->second).value_or(defaultPort);
    }
    return "http://127.0.0.1:" + std::to_string(port);
}

Transport urlSessionTransport(std::string base, double timeoutSeconds) {
    return [base = std::move(base), timeoutSeconds](const std::string& method, const std::string& path,
                                                    const std::optional<std::string>& body) {
        return perform(base, timeoutSeconds, method, path, body);
    };
}

}  // namespace ostrel::mcp
