// A small HTTP/1.1 server on 127.0.0.1 for tests of HTTP clients: it records every request and
// serves canned answers chosen by request target, one connection at a time, "Connection: close".
// Answers can also stream without a length, trickle slowly or announce a length they do not send.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace ostrel::test {

struct StubAnswer {
    enum class Behaviour {
        reply,               ///< send the answer below
        silent,              ///< read the request, then hold the connection without answering
        closeWithoutAnswer,  ///< read the request, then close the connection
        chunked,             ///< send the body `repeat` times in chunked transfer encoding, no length
        drip,                ///< send the body one byte per `dripInterval`
    };
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;  ///< sent in order, as written
    std::string body;
    Behaviour behaviour = Behaviour::reply;
    std::size_t repeat = 1;
    std::chrono::milliseconds dripInterval{100};
    std::optional<std::uint64_t> declaredLength{};  ///< Content-Length to announce instead of the body's
};

struct RecordedRequest {
    std::string method;
    std::string target;                          ///< path and query as sent
    std::map<std::string, std::string> headers;  ///< names lower-cased
    std::string body;
};

class LoopbackHttpStub {
public:
    /// Listens on an ephemeral loopback port; `answers` maps a request target to its answer,
    /// any other target gets 404 {"error":"not found"}.
    explicit LoopbackHttpStub(std::map<std::string, StubAnswer> answers);
    ~LoopbackHttpStub();
    LoopbackHttpStub(const LoopbackHttpStub&) = delete;
    LoopbackHttpStub& operator=(const LoopbackHttpStub&) = delete;

    /// Sets or replaces the answer for one target (for answers that must name the stub's own port).
    void setAnswer(const std::string& target, StubAnswer answer);

    [[nodiscard]] std::uint16_t port() const noexcept { return port_; }
    [[nodiscard]] std::string base() const;
    [[nodiscard]] std::vector<RecordedRequest> requests() const;

private:
    void serve();
    void answer(int connection);

    std::map<std::string, StubAnswer> answers_;  // guarded by mutex_
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::vector<RecordedRequest> requests_;  // guarded by mutex_
    std::vector<int> heldConnections_;       // silent connections, closed at the end (serve thread only)
    std::thread thread_;
};

/// A loopback TCP port on which nothing listens at the moment of the call.
[[nodiscard]] std::uint16_t unusedLoopbackPort();

/// Eight bytes of PNG signature followed by an IHDR-like chunk with NUL and high bytes.
[[nodiscard]] std::string samplePngBytes();

}  // namespace ostrel::test
