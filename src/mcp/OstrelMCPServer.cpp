// JSON-RPC 2.0 dispatch for the MCP methods initialize, ping, tools/list and tools/call.
// One thread reads a line, handles it (a tool call blocks on its HTTP request) and writes the
// reply with one write(2); nothing is kept between lines.
#include "mcp/OstrelMCPServer.h"

#include "mcp/ToolDefinitions.h"
#include "core/support/text/Base64.h"
#include "core/support/text/Json.h"
#include "core/support/text/Utf8.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <utility>

namespace ostrel::mcp {

namespace {

using nlohmann::json;

constexpr std::string_view defaultProtocolVersion = "2024-11-05";

constexpr std::string_view instructions =
    "Controls Ostrel, the native Linux bitmap-to-SVG line-art vectorizer for AxiDraw plotters (Hessian "
    "ridge & hierarchical contour extraction on the CPU, Steger sub-pixel centerline, Schneider cubic B\u00e9zier "
    "fitting, "
    "multi-pen stroke width clustering, 2-opt travel optimization). Call ostrel_state first; load images or "
    "presets with ostrel_open; adjust parameters with ostrel_set_params; export SVG with ostrel_export_svg; "
    "inspect visually with ostrel_snapshot.";

json errorObject(int code, std::string message) { return {{"code", code}, {"message", std::move(message)}}; }

json errorReply(json id, int code, std::string message) {
    return {{"jsonrpc", "2.0"}, {"id", std::move(id)}, {"error", errorObject(code, std::move(message))}};
}

json errorToolResult(const std::string& text) {
    return {{"content", json::array({{{"type", "text"}, {"text", text}}})}, {"isError", true}};
}

std::string compact(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

bool isToolName(const std::string& name) {
    const json& tools = ostrelToolDefinitions();
    return std::any_of(tools.begin(), tools.end(), [&](const json& tool) { return tool["name"] == name; });
}

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return out;
}

// Writes all of `bytes`, retrying short writes and interruptions. A failed write (the client
// closed its end) drops the reply; reading goes on until end of input.
void writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

// Splits a byte stream into lines ("\n" or "\r\n" removed; a last line without end counts).
// A line longer than `maxLineBytes` is reported as overlong and its bytes are dropped.
class LineReader {
public:
    explicit LineReader(int fd) : fd_(fd) {}

    struct Line {
        std::string bytes;
        bool overlong = false;
    };

    // The next line, or nothing at end of input (or on a read error).
    std::optional<Line> next() {
        Line line;
        for (;;) {
            const auto begin = buffer_.begin() + static_cast<std::ptrdiff_t>(start_);
            const auto newline = std::find(begin, buffer_.begin() + static_cast<std::ptrdiff_t>(end_), '\n');
            const std::size_t available = static_cast<std::size_t>(newline - begin);
            if (!line.overlong) {
                if (line.bytes.size() + available > maxLineBytes) {
                    line.overlong = true;
                    line.bytes.clear();
                    line.bytes.shrink_to_fit();
                } else {
                    line.bytes.append(begin, newline);
                }
            }
            if (newline != buffer_.begin() + static_cast<std::ptrdiff_t>(end_)) {
                start_ += available + 1;
                if (!line.bytes.empty() && line.bytes.back() == '\r') line.bytes.pop_back();
                return line;
            }
            start_ = end_ = 0;
            if (!fill()) {
                if (eof_) return std::nullopt;  // nothing is left of a partial line either
                eof_ = true;
                if (line.overlong || !line.bytes.empty()) {
                    if (!line.bytes.empty() && line.bytes.back() == '\r') line.bytes.pop_back();
                    return line;
                }
                return std::nullopt;
            }
        }
    }

private:
    bool fill() {
        if (eof_) return false;
        for (;;) {
            const ssize_t got = ::read(fd_, buffer_.data(), buffer_.size());
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            end_ = static_cast<std::size_t>(got);
            return true;
        }
    }

    int fd_;
    std::array<char, 65536> buffer_{};  // buffer_[start_, end_) holds bytes not yet returned
    std::size_t start_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
};

}  // namespace

OstrelMCPServer::OstrelMCPServer(Transport transport, std::string apiBase, std::string version)
    : transport_(std::move(transport)), apiBase_(std::move(apiBase)), version_(std::move(version)) {}

void OstrelMCPServer::run() { run(STDIN_FILENO, STDOUT_FILENO); }

void OstrelMCPServer::run(int inputFd, int outputFd) {
    LineReader reader(inputFd);
    while (auto line = reader.next()) {
        std::optional<std::string> reply;
        if (line->overlong) {
            reply = encode(errorReply(
                nullptr, -32600, "Invalid Request: message longer than " + std::to_string(maxLineBytes) + " bytes"));
        } else {
            reply = handle(lossyUtf8(line->bytes));
        }
        if (reply) writeAll(outputFd, *reply + "\n");
    }
}

std::optional<std::string> OstrelMCPServer::handle(std::string_view line) {
    const std::string_view trimmed = trimmedWhitespace(line);
    if (trimmed.empty()) return std::nullopt;

    // Too deep a line is refused as a parser with a nesting limit would refuse it.
    if (jsonNestsDeeperThan(trimmed, kMaxJsonNesting)) return encode(errorReply(nullptr, -32700, "parse error"));
    json message = json::parse(trimmed, nullptr, /*allow_exceptions=*/false);
    if (message.is_discarded() || !message.is_object()) {
        return encode(errorReply(nullptr, -32700, "parse error"));
    }

    const auto idMember = message.find("id");
    const auto methodMember = message.find("method");
    const bool hasMethod = methodMember != message.end() && methodMember->is_string();
    if (!hasMethod) {
        // A request without a usable method still carries an id its sender waits on.
        if (idMember == message.end()) return std::nullopt;
        return encode(errorReply(*idMember, -32600, "Invalid Request"));
    }
    if (idMember == message.end()) return std::nullopt;  // notification

    const std::string method = methodMember->get<std::string>();
    const json id = *idMember;
    json params = json::object();
    if (const auto found = message.find("params"); found != message.end() && found->is_object()) {
        params = std::move(*found);
    }

    json reply = {{"jsonrpc", "2.0"}, {"id", id}};
    if (method == "initialize") {
        const auto requested = params.find("protocolVersion");
        reply["result"] = {
            {"protocolVersion",
             requested != params.end() && requested->is_string() ? *requested : json(defaultProtocolVersion)},
            {"capabilities", {{"tools", json::object()}}},
            {"serverInfo", {{"name", "ostrel"}, {"version", version_}}},
            {"instructions", instructions},
        };
    } else if (method == "ping") {
        reply["result"] = json::object();
    } else if (method == "tools/list") {
        reply["result"] = {{"tools", ostrelToolDefinitions()}};
    } else if (method == "tools/call") {
        const auto nameMember = params.find("name");
        const std::string name =
            nameMember != params.end() && nameMember->is_string() ? nameMember->get<std::string>() : std::string();
        if (!isToolName(name)) {
            reply["error"] = errorObject(-32602, "unknown tool: " + name);
        } else {
            json arguments = json::object();
            if (const auto found = params.find("arguments"); found != params.end() && found->is_object()) {
                arguments = std::move(*found);
            }
            try {
                reply["result"] = callTool(name, arguments);
            } catch (const ProxyError& error) {
                reply["result"] = errorToolResult(error.description());
            } catch (const std::exception& error) {
                reply["result"] = errorToolResult(error.what());
            }
        }
    } else {
        reply["error"] = errorObject(-32601, "method not found: " + method);
    }
    return encode(reply);
}

json OstrelMCPServer::callTool(const std::string& name, const json& arguments) {
    const auto bodyOf = [&] { return std::optional<std::string>(compact(arguments)); };
    if (name == "ostrel_state") return textResult(transport_("GET", "/v1/state", std::nullopt));
    if (name == "ostrel_help") return textResult(transport_("GET", "/v1/help", std::nullopt));
    if (name == "ostrel_open") return textResult(transport_("POST", "/v1/open", bodyOf()));
    if (name == "ostrel_set_params") return textResult(transport_("POST", "/v1/params", bodyOf()));
    if (name == "ostrel_export_svg") return textResult(transport_("POST", "/v1/export", bodyOf()));
    if (name == "ostrel_snapshot") {
        std::string path = "/v1/snapshot.png";
        if (const auto view = arguments.find("view"); view != arguments.end() && view->is_string()) {
            const auto& text = view->get_ref<const std::string&>();
            if (!text.empty()) path += "?view=" + text;
        }
        return imageResult(transport_("GET", path, std::nullopt), snapshotCaption);
    }
    throw ProxyError::badArguments("unknown tool " + name);
}

json OstrelMCPServer::textResult(const APIResponse& response) {
    return {{"content", json::array({{{"type", "text"}, {"text", lossyUtf8(response.data)}}})},
            {"isError", response.status > 399}};
}

json OstrelMCPServer::imageResult(const APIResponse& response, std::string_view caption) {
    const std::string type = lowered(response.contentType);
    if (response.status != 200 || type.find("json") != std::string::npos) return textResult(response);
    const std::string mimeType =
        type.starts_with("image/") ? response.contentType.substr(0, response.contentType.find(';')) : "image/png";
    return {{"content", json::array({
                            {{"type", "image"}, {"data", Base64::encode(response.data)}, {"mimeType", mimeType}},
                            {{"type", "text"}, {"text", caption}},
                        })}};
}

std::optional<std::string> OstrelMCPServer::encode(const json& reply) {
    try {
        return compact(reply);
    } catch (const json::exception&) {
        return std::nullopt;
    }
}

}  // namespace ostrel::mcp
