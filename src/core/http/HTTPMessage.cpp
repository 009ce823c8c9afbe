#include "core/http/HTTPMessage.h"

#include "core/support/text/NumberFormat.h"
#include "core/support/text/Utf8.h"

#include <array>
#include <charconv>

namespace ostrel {
namespace {

// Line ends of the request head, longest first so that CR LF is one end.
constexpr std::array<std::string_view, 8> kLineEnds = {"\r\n", "\n",       "\v",           "\f",
                                                       "\r",   "\xC2\x85", "\xE2\x80\xA8", "\xE2\x80\xA9"};

std::vector<std::string_view> nonEmptyLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t endLength = 0;
        for (std::string_view end : kLineEnds) {
            if (text.substr(i).starts_with(end)) {
                endLength = end.size();
                break;
            }
        }
        if (endLength == 0) {
            ++i;
            continue;
        }
        if (i > start) lines.push_back(text.substr(start, i - start));
        i += endLength;
        start = i;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

std::string_view trimmedBlanks(std::string_view text) noexcept {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

std::string asciiUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

// "host" or "host:digits" where host is one of the loopback names.
bool isLoopbackAuthority(std::string_view authority) {
    const std::string lowered = asciiLower(authority);
    for (std::string_view host : {"127.0.0.1", "localhost"}) {
        std::string_view rest = lowered;
        if (!rest.starts_with(host)) continue;
        rest.remove_prefix(host.size());
        if (rest.empty()) return true;
        if (rest.front() != ':') continue;
        rest.remove_prefix(1);
        if (rest.empty() || rest.size() > 5) continue;
        bool digits = true;
        for (char c : rest) digits = digits && c >= '0' && c <= '9';
        if (digits) return true;
    }
    return false;
}

}  // namespace

Json HTTPRequest::args() const {
    Json parsed = Json::parse(lossyUtf8(body), nullptr, /*allow_exceptions=*/false);
    if (!parsed.is_object()) return Json::object();
    return parsed;
}

HTTPResponse HTTPResponse::json(int status, const Json& value) {
    return HTTPResponse{status, std::string(kJSONContentType), prettyJson(value)};
}

HTTPResponse HTTPResponse::error(int status, std::string_view message) {
    return json(status, Json{{"error", std::string(message)}});
}

std::vector<std::string> HTTPRequestHead::values(std::string_view name) const {
    std::vector<std::string> found;
    for (const auto& [field, value] : fields) {
        if (field == name) found.push_back(value);
    }
    return found;
}

std::optional<HTTPRequestHead> parseRequestHead(std::string_view head) {
    const std::string text = lossyUtf8(head);
    const std::vector<std::string_view> lines = nonEmptyLines(text);
    if (lines.empty()) return std::nullopt;

    std::vector<std::string_view> words;
    std::string_view requestLine = lines.front();
    while (!requestLine.empty()) {
        const std::size_t space = requestLine.find(' ');
        const std::string_view word = requestLine.substr(0, space);
        if (!word.empty()) words.push_back(word);
        if (space == std::string_view::npos) break;
        requestLine.remove_prefix(space + 1);
    }
    if (words.size() < 2) return std::nullopt;

    HTTPRequestHead parsed;
    parsed.method = asciiUpper(words[0]);
    const std::string_view target = words[1];
    const std::size_t question = target.find('?');
    parsed.path = std::string(target.substr(0, question));
    if (question != std::string_view::npos) parsed.query = std::string(target.substr(question + 1));

    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::size_t colon = lines[i].find(':');
        if (colon == std::string_view::npos) continue;
        parsed.fields.emplace_back(asciiLower(trimmedBlanks(lines[i].substr(0, colon))),
                                   std::string(trimmedBlanks(lines[i].substr(colon + 1))));
    }
    return parsed;
}

std::optional<std::size_t> findHeadEnd(std::string_view data) noexcept {
    const std::size_t crlf = data.find("\r\n\r\n");
    const std::size_t lf = data.find("\n\n");
    if (crlf == std::string_view::npos && lf == std::string_view::npos) return std::nullopt;
    if (lf == std::string_view::npos || (crlf != std::string_view::npos && crlf < lf)) return crlf + 4;
    return lf + 2;
}

std::optional<std::uint64_t> contentLength(const HTTPRequestHead& head) {
    std::optional<std::uint64_t> length;
    for (const std::string& value : head.values("content-length")) {
        std::uint64_t parsed = 0;
        const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), parsed);
        if (value.empty() || ec != std::errc() || ptr != value.data() + value.size()) return std::nullopt;
        if (length && *length != parsed) return std::nullopt;
        length = parsed;
    }
    return length.value_or(0);
}

bool isSameMachineRequest(const HTTPRequestHead& head) {
    for (const std::string& host : head.values("host")) {
        if (!host.empty() && !isLoopbackAuthority(host)) return false;
    }
    for (const std::string& origin : head.values("origin")) {
        const std::string lowered = asciiLower(origin);
        constexpr std::string_view kScheme = "http://";
        if (!lowered.starts_with(kScheme) || !isLoopbackAuthority(std::string_view(lowered).substr(kScheme.size()))) {
            return false;
        }
    }
    return true;
}

std::string responseHead(int status, std::string_view contentType, std::size_t contentLength) {
    std::string head = "HTTP/1.1 ";
    head += integerText(status);
    head += status == 200 ? " OK" : " Bad Request";
    head += "\r\nContent-Type: ";
    head += contentType;
    head += "\r\nContent-Length: ";
    head += integerText(static_cast<std::int64_t>(contentLength));
    head += "\r\nConnection: close\r\n\r\n";
    return head;
}

}  // namespace ostrel
