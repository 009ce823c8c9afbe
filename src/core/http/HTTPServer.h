// The loopback HTTP/1.1 server of the local API: 127.0.0.1 only, one request
// per connection. An accept thread hands each connection to a worker thread of
// its own, up to a bound (the next one is answered 503), so a slow or idle
// client never holds another; a worker waits a while for the next connection
// before it ends, as starting a thread on a busy machine can take milliseconds. Each request's work runs on the Qt main thread (the
// handler is posted to qApp) while its connection thread waits a bounded time
// for the answer.
#pragma once

#include "core/http/HTTPMessage.h"
#include "core/support/system/PortNumber.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

namespace ostrel {

/// Limits of the HTTP server; tests shorten the timeouts.
struct HTTPServerOptions {
    /// How long a connection waits for the main thread's answer.
    std::chrono::milliseconds answerTimeout{8000};
    /// How long a whole request (head and body) may take to arrive, counted
    /// from the connection's acceptance, however its bytes are spaced.
    std::chrono::milliseconds requestTimeout{5000};
    /// The longest pause allowed while the answer is sent.
    std::chrono::milliseconds sendTimeout{5000};
    std::size_t maxHeadBytes = 64 * 1024;
    std::size_t maxBodyBytes = 8 * 1024 * 1024;
    /// Connections served at once; one beyond is answered 503 and closed.
    std::size_t maxConnections = 32;
};

class HTTPServer final {
public:
    /// Runs on the main thread, once per request.
    using Handler = std::function<HTTPResponse(const HTTPRequest&)>;

    using Options = HTTPServerOptions;

    /// A stopped server; without a handler every request is answered 503.
    explicit HTTPServer(Handler handler = {}, Options options = {});
    ~HTTPServer();
    HTTPServer(const HTTPServer&) = delete;
    HTTPServer& operator=(const HTTPServer&) = delete;

    /// Stops a running server, then listens on 127.0.0.1 at `port`, or at the
    /// port of OSTREL_API_PORT when none is given (0: the system chooses).
    /// True when listening; on failure the server is stopped and `port()` keeps
    /// its previous value.
    bool start(std::optional<std::uint16_t> port = std::nullopt);
    /// Closes the listening socket, wakes the accept thread and every connection
    /// being served, and waits for all of them to end. Safe at any time, more
    /// than once.
    void stop();

    /// The bound port after a successful start; 17940 before the first one.
    [[nodiscard]] std::uint16_t port() const noexcept { return port_.load(); }
    [[nodiscard]] bool isRunning() const noexcept { return running_.load(); }
    /// accept() failures the server has survived (descriptor exhaustion, aborted
    /// connections, interruptions) since it was created.
    [[nodiscard]] std::uint64_t transientAcceptErrors() const noexcept { return transientAcceptErrors_.load(); }
    /// Connections answered 503 because `maxConnections` were being served.
    [[nodiscard]] std::uint64_t refusedConnections() const noexcept { return refusedConnections_.load(); }

private:
    struct Exchange;
    struct Refused;
    void acceptLoop(int listenFD, int wakeFD, std::uint64_t generation);
    /// Starts a thread serving `fd`, or answers 503 into `refused` when the bound is reached.
    void admit(int fd, std::vector<Refused>& refused);
    /// A worker thread: serves `fd`, then each connection handed over to it, until none comes
    /// for kWorkerIdleTime or the server stops.
    void workerLoop(int fd);
    /// Serves one admitted connection, closes it and removes it from `connections_`.
    void serveConnection(int fd);
    void serveRequest(int fd);
    [[nodiscard]] HTTPResponse answerOnMainThread(HTTPRequest request);
    [[nodiscard]] bool stopping() const noexcept { return stopping_.load(); }

    const std::shared_ptr<const Handler> handler_;  // queued tasks hold it weakly
    const Options options_;
    std::atomic<std::uint16_t> port_;
    std::atomic<bool> running_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<std::uint64_t> transientAcceptErrors_{0};
    std::atomic<std::uint64_t> refusedConnections_{0};

    std::mutex lock_;                       // guards everything below
    std::condition_variable workersEnded_;  // signalled when `workers_` becomes 0
    std::condition_variable handedOver_;    // wakes idle workers: a connection waits, or the server stops
    int listenFD_ = -1;
    int wakeFD_ = -1;                                // an eventfd that wakes the accept thread's poll
    std::set<int> connections_;                      // descriptors admitted: waiting for a worker or being served
    std::deque<int> waiting_;                        // admitted descriptors not yet taken by an idle worker
    std::size_t workers_ = 0;                        // live worker threads (detached), serving or idle
    std::size_t idleWorkers_ = 0;                    // of which waiting for a connection
    std::set<std::shared_ptr<Exchange>> exchanges_;  // requests waiting for the main thread
    std::uint64_t generation_ = 0;
    std::thread thread_;
};

}  // namespace ostrel
