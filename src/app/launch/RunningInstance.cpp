#include "app/launch/RunningInstance.h"

#include "core/support/text/Json.h"

#include <curl/curl.h>

#include <memory>
#include <optional>

namespace ostrel {
namespace {

constexpr std::size_t kMaxAnswerBytes = 1 << 20;

struct CurlDeleter {
    void operator()(CURL* curl) const noexcept { curl_easy_cleanup(curl); }
};
struct HeaderListDeleter {
    void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};

std::size_t appendBody(char* data, std::size_t size, std::size_t count, void* userData) {
    auto* body = static_cast<std::string*>(userData);
    const std::size_t bytes = size * count;
    if (body->size() + bytes > kMaxAnswerBytes) return 0;  // ends the transfer with an error
    body->append(data, bytes);
    return bytes;
}

struct Answer {
    long status = 0;
    std::string body;
};

/// One request to the loopback API; none when the exchange fails.
std::optional<Answer> exchange(std::uint16_t port, const char* route, const std::string* jsonBody, long timeoutMs) {
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) return std::nullopt;
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + route;
    Answer answer;
    std::unique_ptr<curl_slist, HeaderListDeleter> headers;
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT_MS, 500L);
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &answer.body);
    if (jsonBody != nullptr) {
        headers.reset(curl_slist_append(nullptr, "Content-Type: application/json"));
        curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, headers.get());
        curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDS, jsonBody->c_str());
        curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDSIZE, static_cast<long>(jsonBody->size()));
    }
    if (curl_easy_perform(curl.get()) != CURLE_OK) return std::nullopt;
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &answer.status);
    return answer;
}

bool answersAsOstrel(std::uint16_t port) {
    const auto state = exchange(port, "/v1/state", nullptr, 1000);
    if (!state || state->status != 200) return false;
    const Json parsed = Json::parse(state->body, nullptr, false);
    return parsed.is_object() && parsed.value("app", Json()) == "Ostrel";
}

}  // namespace

bool handOffFileToRunningInstance(std::uint16_t port, const std::string& path) {
    if (port == 0 || !answersAsOstrel(port)) return false;
    const std::string body = compactJson(Json{{"path", path}});
    // The running program loads and vectorizes the file before it answers.
    const auto opened = exchange(port, "/v1/open", &body, 120'000);
    return opened && (opened->status == 200 || opened->status == 400);
}

}  // namespace ostrel
