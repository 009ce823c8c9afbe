// POSIX sockets; one accept loop thread, stopped by shutdown() of the listening socket.
#include "testsupport/LoopbackHttpStub.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <stdexcept>
#include <string_view>
#include <thread>

namespace ostrel::test {

namespace {

constexpr std::size_t maxRequestBytes = 64u * 1024u * 1024u;

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return out;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

bool sendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

std::string hexadecimal(std::size_t value) {
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
    return std::string(digits, end);
}

// Reads one request: the head up to CR LF CR LF, then Content-Length bytes of body.
bool readRequest(int fd, RecordedRequest& request) {
    std::string data;
    char chunk[65536];
    std::size_t headEnd = std::string::npos;
    std::size_t contentLength = 0;
    for (;;) {
        if (headEnd != std::string::npos && data.size() >= headEnd + 4 + contentLength) break;
        const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        data.append(chunk, static_cast<std::size_t>(got));
        if (data.size() > maxRequestBytes) return false;
        if (headEnd == std::string::npos && (headEnd = data.find("\r\n\r\n")) != std::string::npos) {
            std::string_view head(data.data(), headEnd);
            const auto lineEnd = head.find("\r\n");
            const std::string_view requestLine = head.substr(0, lineEnd);
            const auto firstBlank = requestLine.find(' ');
            const auto secondBlank = requestLine.find(' ', firstBlank + 1);
            if (firstBlank == std::string_view::npos || secondBlank == std::string_view::npos) return false;
            request.method = std::string(requestLine.substr(0, firstBlank));
            request.target = std::string(requestLine.substr(firstBlank + 1, secondBlank - firstBlank - 1));
            std::string_view rest = lineEnd == std::string_view::npos ? std::string_view() : head.substr(lineEnd + 2);
            while (!rest.empty()) {
                const auto end = rest.find("\r\n");
                const std::string_view line = rest.substr(0, end);
                rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 2);
                const auto colon = line.find(':');
                if (colon == std::string_view::npos) continue;
                request.headers[lowered(trimmed(line.substr(0, colon)))] = std::string(trimmed(line.substr(colon + 1)));
            }
            if (const auto found = request.headers.find("content-length"); found != request.headers.end()) {
                const std::string& text = found->second;
                std::from_chars(text.data(), text.data() + text.size(), contentLength);
            }
        }
    }
    request.body = data.substr(headEnd + 4, contentLength);
    return true;
}

}  // namespace

LoopbackHttpStub::LoopbackHttpStub(std::map<std::string, StubAnswer> answers) : answers_(std::move(answers)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) throw std::runtime_error("stub: socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(listener_);
        throw std::runtime_error("stub: cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

LoopbackHttpStub::~LoopbackHttpStub() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
    for (int fd : heldConnections_) ::close(fd);
}

std::string LoopbackHttpStub::base() const { return "http://127.0.0.1:" + std::to_string(port_); }

void LoopbackHttpStub::setAnswer(const std::string& target, StubAnswer answer) {
    std::lock_guard lock(mutex_);
    answers_[target] = std::move(answer);
}

std::vector<RecordedRequest> LoopbackHttpStub::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void LoopbackHttpStub::serve() {
    while (!stopping_) {
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) {
            if (errno == EINTR) continue;
            return;  // listener shut down
        }
        timeval limit{5, 0};  // a client that stalls cannot hang the test
        ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        answer(connection);
    }
}

void LoopbackHttpStub::answer(int connection) {
    RecordedRequest request;
    if (!readRequest(connection, request)) {
        ::close(connection);
        return;
    }
    StubAnswer canned{404, {{"Content-Type", "application/json; charset=utf-8"}}, R"({"error":"not found"})"};
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
        if (const auto found = answers_.find(request.target); found != answers_.end()) canned = found->second;
    }

    switch (canned.behaviour) {
        case StubAnswer::Behaviour::silent:
            heldConnections_.push_back(connection);
            return;
        case StubAnswer::Behaviour::closeWithoutAnswer:
            ::close(connection);
            return;
        case StubAnswer::Behaviour::reply:
        case StubAnswer::Behaviour::chunked:
        case StubAnswer::Behaviour::drip:
            break;
    }
    std::string head = "HTTP/1.1 " + std::to_string(canned.status) + " Stub\r\n";
    for (const auto& [name, value] : canned.headers) head += name + ": " + value + "\r\n";
    if (canned.behaviour == StubAnswer::Behaviour::chunked) {
        head += "Transfer-Encoding: chunked\r\n";
    } else {
        head += "Content-Length: " + std::to_string(canned.declaredLength.value_or(canned.body.size())) + "\r\n";
    }
    head += "Connection: close\r\n\r\n";
    bool open = sendAll(connection, head);
    if (canned.behaviour == StubAnswer::Behaviour::chunked) {
        const std::string chunk = hexadecimal(canned.body.size()) + "\r\n" + canned.body + "\r\n";
        for (std::size_t i = 0; open && i < canned.repeat && !stopping_; ++i) open = sendAll(connection, chunk);
        if (open) sendAll(connection, "0\r\n\r\n");
    } else if (canned.behaviour == StubAnswer::Behaviour::drip) {
        for (std::size_t i = 0; open && i < canned.body.size() && !stopping_; ++i) {
            open = sendAll(connection, std::string_view(canned.body).substr(i, 1));
            std::this_thread::sleep_for(canned.dripInterval);
        }
    } else {
        sendAll(connection, canned.body);
    }
    ::shutdown(connection, SHUT_WR);
    ::close(connection);
}

std::uint16_t unusedLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0) ::close(fd);
        throw std::runtime_error("stub: cannot find a free port");
    }
    ::close(fd);  // never listened: connecting to it is refused
    return ntohs(address.sin_port);
}

std::string samplePngBytes() {
    using namespace std::string_literals;
    return "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x01\0\0\0\x01\x08\x06\0\0\0\x1f\x15\xc4\x89"s;
}

}  // namespace ostrel::test
