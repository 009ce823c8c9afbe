#include "core/http/HTTPServer.h"

#include "core/http/LockBox.h"
#include "core/support/system/FileDescriptor.h"
#include "core/support/text/Json.h"
#include "core/support/text/NumberFormat.h"
#include "core/support/system/PortNumber.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <semaphore>
#include <string>

namespace ostrel {

// The hand-over of one request between its connection thread and the main
// thread: the answer box, a semaphore the main thread signals when the box is
// filled, and the state that keeps an abandoned request from running late.
struct HTTPServer::Exchange {
    enum class State { waiting, running, abandoned };
    std::counting_semaphore<4> done{0};
    LockBox<std::optional<HTTPResponse>> answer;
    LockBox<State> state{State::waiting};
};

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";

// How long a worker without a connection waits for the next one before it ends.
constexpr std::chrono::seconds kWorkerIdleTime{30};

// Connections refused for the bound whose leftover request is still read away, and for how long.
constexpr std::size_t kMaxRefusedDraining = 64;
constexpr std::chrono::milliseconds kRefusedLinger{1000};

// Failures of accept() after which the next accept can succeed (accept(2),
// "Error handling": Linux passes pending network errors to accept).
bool isTransientAcceptError(int error) noexcept {
    switch (error) {
        case EINTR:
        case ECONNABORTED:
        case EPROTO:
        case EPERM:
        case EMFILE:
        case ENFILE:
        case ENOBUFS:
        case ENOMEM:
        case ENETDOWN:
        case ENOPROTOOPT:
        case EHOSTDOWN:
        case ENONET:
        case EHOSTUNREACH:
        case EOPNOTSUPP:
        case ENETUNREACH:
        case ETIMEDOUT:
        case EAGAIN:
            return true;
        default:
            return false;
    }
}

bool isResourceExhaustion(int error) noexcept {
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

int millisecondsUntil(Clock::time_point deadline) noexcept {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

enum class ReadResult { data, closed, timedOut };

// Appends what is available on the non-blocking socket `fd` to `data`,
// waiting until `deadline` for the first byte.
ReadResult readSome(int fd, std::string& data, Clock::time_point deadline) {
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            data.append(buffer, static_cast<std::size_t>(n));
            return ReadResult::data;
        }
        if (n == 0) return ReadResult::closed;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return ReadResult::closed;
        const int wait = millisecondsUntil(deadline);
        if (wait == 0) return ReadResult::timedOut;
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, wait) < 0 && errno != EINTR) return ReadResult::closed;
    }
}

// Sends all of `bytes`, continuing partial sends; a pause longer than
// `timeout` or a peer that hangs up ends it (never with SIGPIPE).
bool sendAll(int fd, std::string_view bytes, std::chrono::milliseconds timeout) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd entry{fd, POLLOUT, 0};
            const int ready = ::poll(&entry, 1, static_cast<int>(timeout.count()));
            if (ready == 0) return false;
            if (ready < 0 && errno != EINTR) return false;
            continue;
        }
        return false;
    }
    return true;
}

// Reads away what has arrived on the non-blocking socket `fd`, a bounded amount per call; false
// once the peer has hung up or the connection failed.
bool discardAvailable(int fd) {
    char buffer[16384];
    for (int reads = 0; reads < 16; ++reads) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n > 0) continue;
        if (n < 0 && errno == EINTR) continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    return true;
}

// After an answer sent before the request was read in full: stop sending and
// read away what the client still sends for a moment, so that closing does
// not reset the connection before the client has read the answer.
void lingerAndDiscard(int fd) {
    (void)::shutdown(fd, SHUT_WR);
    const auto deadline = Clock::now() + std::chrono::milliseconds(1000);
    std::string sink;
    std::size_t discarded = 0;
    while (discarded < 16 * 1024 * 1024) {
        sink.clear();
        if (readSome(fd, sink, deadline) != ReadResult::data) return;
        discarded += sink.size();
    }
}

}  // namespace

HTTPServer::HTTPServer(Handler handler, Options options)
    : handler_(handler ? std::make_shared<const Handler>(std::move(handler)) : nullptr),
      options_(options),
      port_(kOstrelDefaultHTTPPort) {}

HTTPServer::~HTTPServer() { stop(); }

bool HTTPServer::start(std::optional<std::uint16_t> port) {
    stop();
    const std::uint16_t requested = port.value_or(apiPortFromEnvironment());

    FileDescriptor socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
    if (!socket.valid()) return false;
    const int one = 1;
    (void)::setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(requested);
    if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return false;
    if (::listen(socket.get(), 16) != 0) return false;
    socklen_t length = sizeof address;
    if (::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) return false;
    FileDescriptor wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake.valid()) return false;

    std::lock_guard guard(lock_);
    stopping_.store(false);
    const int fd = socket.get();
    const int wakeFD = wake.get();
    const std::uint64_t generation = ++generation_;
    try {
        thread_ = std::thread([this, fd, wakeFD, generation] { acceptLoop(fd, wakeFD, generation); });
    } catch (const std::exception&) {
        return false;
    }
    listenFD_ = socket.release();
    wakeFD_ = wake.release();
    port_.store(ntohs(address.sin_port));
    running_.store(true);
    return true;
}

void HTTPServer::stop() {
    std::thread thread;
    int listenFD = -1;
    int wakeFD = -1;
    {
        std::lock_guard guard(lock_);
        stopping_.store(true);
        running_.store(false);
        listenFD = std::exchange(listenFD_, -1);
        wakeFD = std::exchange(wakeFD_, -1);
        // close() alone wakes neither accept() nor poll() on Linux: wake the accept thread, shut the
        // connections down, release the waits for the main thread, then join.
        if (listenFD >= 0) (void)::shutdown(listenFD, SHUT_RDWR);
        if (wakeFD >= 0) (void)::eventfd_write(wakeFD, 1);
        for (const int connection : connections_) (void)::shutdown(connection, SHUT_RDWR);
        for (const std::shared_ptr<Exchange>& exchange : exchanges_) exchange->done.release();
        for (const int connection : waiting_) {
            connections_.erase(connection);
            ::close(connection);
        }
        waiting_.clear();
        handedOver_.notify_all();
        thread = std::move(thread_);
    }
    if (thread.joinable()) {
        if (thread.get_id() == std::this_thread::get_id()) {
            thread.detach();
        } else {
            thread.join();
        }
    }
    if (listenFD >= 0) ::close(listenFD);
    if (wakeFD >= 0) ::close(wakeFD);
    // Every worker has been woken and ends promptly; none may outlive the server.
    std::unique_lock guard(lock_);
    workersEnded_.wait(guard, [this] { return workers_ == 0; });
}

// A connection refused because the bound was reached: its 503 has been sent and its sending side
// shut; what the client still sends is read away until it hangs up or `until` passes, so that
// closing does not reset the connection before the client has read the answer.
struct HTTPServer::Refused {
    FileDescriptor fd;
    Clock::time_point until;
};

void HTTPServer::acceptLoop(int listenFD, int wakeFD, std::uint64_t generation) {
    std::vector<Refused> refused;
    std::vector<pollfd> entries;
    Clock::time_point acceptPausedUntil{};
    while (!stopping()) {
        const Clock::time_point now = Clock::now();
        const bool acceptPaused = now < acceptPausedUntil;
        Clock::time_point wakeAt = acceptPaused ? acceptPausedUntil : Clock::time_point::max();
        entries.clear();
        entries.push_back({wakeFD, POLLIN, 0});
        entries.push_back({acceptPaused ? -1 : listenFD, POLLIN, 0});  // poll skips a negative descriptor
        for (const Refused& connection : refused) {
            entries.push_back({connection.fd.get(), POLLIN, 0});
            wakeAt = std::min(wakeAt, connection.until);
        }
        const int timeout = wakeAt == Clock::time_point::max() ? -1 : std::max(1, millisecondsUntil(wakeAt));
        if (::poll(entries.data(), entries.size(), timeout) < 0) {
            // Out of memory, or more entries than the descriptor limit allows (EINVAL): wait and retry.
            if (errno != EINTR) {
                transientAcceptErrors_.fetch_add(1);
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            continue;
        }
        if (stopping()) break;

        std::vector<Refused> draining;
        for (std::size_t i = 0; i < refused.size(); ++i) {
            const bool open = Clock::now() < refused[i].until &&
                              (entries[2 + i].revents == 0 || discardAvailable(refused[i].fd.get()));
            if (open) draining.push_back(std::move(refused[i]));
        }
        refused = std::move(draining);

        if (acceptPaused || (entries[1].revents & (POLLIN | POLLERR | POLLHUP)) == 0) continue;
        const int fd = ::accept4(listenFD, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0) {
            admit(fd, refused);
            continue;
        }
        const int error = errno;
        if (stopping()) break;
        if (error == EAGAIN || error == EWOULDBLOCK) continue;  // the client left before it was accepted
        if (!isTransientAcceptError(error)) break;
        transientAcceptErrors_.fetch_add(1);
        // The pending connection stays queued: back off instead of spinning.
        if (isResourceExhaustion(error)) acceptPausedUntil = Clock::now() + std::chrono::milliseconds(50);
    }
    std::lock_guard guard(lock_);
    if (generation_ == generation) running_.store(false);
}

void HTTPServer::admit(int rawFD, std::vector<Refused>& refused) {
    FileDescriptor connection(rawFD);
    {
        std::lock_guard guard(lock_);
        if (stopping()) return;
        if (connections_.size() < options_.maxConnections) {
            connections_.insert(rawFD);
            if (idleWorkers_ > waiting_.size()) {
                waiting_.push_back(rawFD);
                handedOver_.notify_one();
                (void)connection.release();  // the worker that takes it closes it
                return;
            }
            try {
                std::thread([this, rawFD] { workerLoop(rawFD); }).detach();
                ++workers_;
                (void)connection.release();
                return;
            } catch (const std::exception&) {
                connections_.erase(rawFD);
            }
        }
    }
    refusedConnections_.fetch_add(1);
    // Small enough for an empty socket buffer: one non-blocking send, never a wait.
    const HTTPResponse busy = HTTPResponse::error(503, "too many connections");
    const std::string bytes = responseHead(busy.status, busy.contentType, busy.body.size()) + busy.body;
    (void)::send(rawFD, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    (void)::shutdown(rawFD, SHUT_WR);
    if (refused.size() < kMaxRefusedDraining) {
        refused.push_back({std::move(connection), Clock::now() + kRefusedLinger});
    }
}

void HTTPServer::workerLoop(int fd) {
    for (;;) {
        serveConnection(fd);
        std::unique_lock guard(lock_);
        ++idleWorkers_;
        handedOver_.wait_for(guard, kWorkerIdleTime, [this] { return stopping() || !waiting_.empty(); });
        --idleWorkers_;
        if (stopping() || waiting_.empty()) {
            // Nothing of the server is touched after the notify but the lock's release.
            if (--workers_ == 0) workersEnded_.notify_all();
            return;
        }
        fd = waiting_.front();
        waiting_.pop_front();
    }
}

void HTTPServer::serveConnection(int fd) {
    // Closed under the lock, before it leaves `connections_`: stop() never shuts down a descriptor
    // number that has been reused meanwhile.
    struct End {
        HTTPServer* server;
        int fd;
        ~End() {
            std::lock_guard guard(server->lock_);
            ::close(fd);
            server->connections_.erase(fd);
        }
    } end{this, fd};
    try {
        serveRequest(fd);
    } catch (const std::exception&) {
        // Out of memory while reading or answering: the connection is dropped, never the process.
    }
}

void HTTPServer::serveRequest(int fd) {
    const auto reply = [&](const HTTPResponse& response) {
        std::string bytes = responseHead(response.status, response.contentType, response.body.size());
        bytes += response.body;
        return sendAll(fd, bytes, options_.sendTimeout);
    };
    // One deadline for the whole request, head and body, however the bytes trickle in.
    const auto deadline = Clock::now() + options_.requestTimeout;

    // 1. The head: everything up to the first blank line.
    std::string data;
    std::optional<std::size_t> headEnd;
    bool peerClosed = false;
    while (!headEnd) {
        // Blank lines before the request line are skipped (RFC 9112, 2.2).
        data.erase(0, std::min(data.find_first_not_of("\r\n"), data.size()));
        headEnd = findHeadEnd(data);
        if (headEnd) break;
        if (data.size() > options_.maxHeadBytes) {
            if (reply(HTTPResponse::error(431, "request head too large"))) lingerAndDiscard(fd);
            return;
        }
        if (Clock::now() >= deadline) return;
        const ReadResult read = readSome(fd, data, deadline);
        if (read == ReadResult::timedOut) return;  // dropped without an answer
        if (read == ReadResult::closed) {
            // A client that ends its side after the head without a blank line.
            if (data.empty() || stopping()) return;
            peerClosed = true;
            headEnd = data.size();
        }
    }
    if (*headEnd > options_.maxHeadBytes) {
        if (reply(HTTPResponse::error(431, "request head too large"))) lingerAndDiscard(fd);
        return;
    }
    const std::optional<HTTPRequestHead> head = parseRequestHead(std::string_view(data).substr(0, *headEnd));
    if (!head) return;  // fewer than two words on the request line: no answer

    const auto refuse = [&](int status, std::string_view message) {
        if (reply(HTTPResponse::error(status, message)) && !peerClosed) lingerAndDiscard(fd);
    };
    if (!isSameMachineRequest(*head)) {
        refuse(403, "cross-site requests are not allowed");
        return;
    }
    if (!head->values("transfer-encoding").empty()) {
        refuse(411, "a request body needs a Content-Length");
        return;
    }
    const std::optional<std::uint64_t> length = contentLength(*head);
    if (!length) {
        refuse(400, "invalid Content-Length");
        return;
    }
    if (*length > options_.maxBodyBytes) {
        refuse(413, "request body too large");
        return;
    }

    // 2. Exactly Content-Length bytes of body, before the same deadline.
    std::string body = data.substr(*headEnd, static_cast<std::size_t>(*length));
    if (body.size() < *length) {
        const bool expectsContinue = std::ranges::any_of(
            head->values("expect"), [](const std::string& value) { return asciiLower(value) == "100-continue"; });
        if (expectsContinue && !sendAll(fd, kContinue, options_.sendTimeout)) return;
        while (body.size() < *length) {
            const ReadResult read = readSome(fd, body, deadline);
            if (read != ReadResult::data) {
                if (read == ReadResult::timedOut) refuse(400, "the request body is incomplete");
                return;
            }
        }
        body.resize(static_cast<std::size_t>(*length));
    }

    // Copying or printing a parsed value recurses once per level: refuse deep nesting unparsed.
    if (jsonNestsDeeperThan(body, kMaxJsonNesting)) {
        refuse(400, "the request body nests deeper than " + std::to_string(kMaxJsonNesting) + " levels");
        return;
    }

    // 3. The work, on the main thread.
    HTTPRequest request{head->method, head->path, head->query, std::move(body)};
    (void)reply(answerOnMainThread(std::move(request)));
}

HTTPResponse HTTPServer::answerOnMainThread(HTTPRequest request) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!handler_ || app == nullptr) return HTTPResponse::error(503, "the application is not ready");

    auto exchange = std::make_shared<Exchange>();
    {
        std::lock_guard guard(lock_);
        if (stopping()) return HTTPResponse::error(503, "the server is stopping");
        exchanges_.insert(exchange);
    }
    const std::weak_ptr<const Handler> weakHandler = handler_;
    QMetaObject::invokeMethod(
        app,
        [exchange, weakHandler, request = std::move(request)] {
            const bool claimed = exchange->state.with([](Exchange::State& state) {
                if (state != Exchange::State::waiting) return false;
                state = Exchange::State::running;
                return true;
            });
            if (!claimed) return;  // the client has already been told it timed out
            const std::shared_ptr<const Handler> handler = weakHandler.lock();
            HTTPResponse response = HTTPResponse::error(503, "the application is not ready");
            if (handler) {
                try {
                    response = (*handler)(request);
                } catch (const std::exception& error) {
                    response = HTTPResponse::error(500, error.what());
                }
            }
            exchange->answer.set(std::move(response));
            exchange->done.release();
        },
        Qt::QueuedConnection);

    const bool signalled = exchange->done.try_acquire_for(options_.answerTimeout);
    {
        std::lock_guard guard(lock_);
        exchanges_.erase(exchange);
    }
    // Abandon the request unless it is already running, so that work the client
    // is told has failed does not run later.
    exchange->state.with([](Exchange::State& state) {
        if (state == Exchange::State::waiting) state = Exchange::State::abandoned;
    });
    if (std::optional<HTTPResponse> answer = exchange->answer.get()) return std::move(*answer);
    if (signalled && stopping()) return HTTPResponse::error(503, "the server is stopping");
    return HTTPResponse::error(503, "the application did not answer in time");
}

}  // namespace ostrel
