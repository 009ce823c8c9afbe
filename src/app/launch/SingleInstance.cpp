#include "app/launch/SingleInstance.h"

#include "core/model/Localization.h"

#include <QSocketNotifier>
#include <QTimer>

#include <fmt/format.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace ostrel {

namespace {

constexpr std::size_t kMaxRequestBytes = 64 * 1024;
constexpr int kClientSilenceMs = 5000;
constexpr std::string_view kOpen = "open\n";
constexpr std::string_view kShow = "show\n";
constexpr std::string_view kOk = "ok\n";
constexpr std::string_view kError = "error\n";

/// A descriptor closed when the object goes away.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) noexcept : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    [[nodiscard]] int get() const noexcept { return fd_; }
    [[nodiscard]] int release() noexcept { return std::exchange(fd_, -1); }
    void reset(int fd = -1) noexcept {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

std::uint64_t fnv1a(std::string_view text) noexcept {
    std::uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

std::optional<std::string> variable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
}

std::optional<sockaddr_un> socketAddress(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) return std::nullopt;
    std::memcpy(address.sun_path, path.data(), path.size());
    return address;
}

/// Writes all of `bytes`; false when the peer went away.
bool sendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

std::optional<InstanceRequest> parseRequest(std::string_view bytes) {
    if (bytes == kShow) return InstanceRequest{};
    if (bytes.substr(0, kOpen.size()) != kOpen) return std::nullopt;
    const std::string_view path = bytes.substr(kOpen.size());
    if (path.empty() || path.find('\0') != std::string_view::npos) return std::nullopt;
    return InstanceRequest{std::string(path)};
}

}  // namespace

std::optional<InstancePlace> instancePlaceFromEnvironment() {
    const auto runtime = variable("XDG_RUNTIME_DIR");
    if (!runtime || runtime->front() != '/') return std::nullopt;
    std::string settings;
    if (const auto config = variable("XDG_CONFIG_HOME"); config && config->front() == '/') {
        settings = *config;
    } else if (const auto home = variable("HOME")) {
        settings = *home + "/.config";
    } else {
        return std::nullopt;
    }
    const std::string stem = fmt::format("{}/ostrel-{:016x}", *runtime, fnv1a(settings));
    InstancePlace place{stem + ".lock", stem + ".socket"};
    if (!socketAddress(place.socketPath)) return std::nullopt;
    return place;
}

// ---- The running program ------------------------------------------------------------------------

/// One client: its request is read as it arrives, then answered once, then the connection ends.
class InstanceServer::Connection final : public QObject {
public:
    Connection(int fd, const Handler& handler, QObject* parent) : QObject(parent), fd_(fd), handler_(handler) {
        notifier_ = new QSocketNotifier(fd_.get(), QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &Connection::readSome);
        auto* silence = new QTimer(this);
        silence->setSingleShot(true);
        connect(silence, &QTimer::timeout, this, &Connection::end);
        silence->start(kClientSilenceMs);
    }

private:
    void readSome() {
        char chunk[4096];
        for (;;) {
            const ssize_t got = ::recv(fd_.get(), chunk, sizeof chunk, 0);
            if (got > 0) {
                request_.append(chunk, static_cast<std::size_t>(got));
                if (request_.size() > kMaxRequestBytes) return end();
                continue;
            }
            if (got < 0 && errno == EINTR) continue;
            if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
            if (got < 0) return end();  // a broken connection: a cut request is never carried out
            break;                      // the end of the request
        }
        notifier_->setEnabled(false);
        answer();
    }

    void answer() {
        std::string reply;
        if (const auto request = parseRequest(request_)) {
            const std::optional<std::string> failure = handler_ ? handler_(*request) : std::nullopt;
            reply = failure ? std::string(kError) + *failure : std::string(kOk);
        } else {
            reply = std::string(kError) + L("Requête inconnue.", "Unknown request.");
        }
        const int flags = ::fcntl(fd_.get(), F_GETFL);
        if (flags >= 0) ::fcntl(fd_.get(), F_SETFL, flags & ~O_NONBLOCK);  // a few bytes: never blocks long
        (void)sendAll(fd_.get(), reply);
        end();
    }

    void end() {
        if (fd_.get() < 0) return;
        notifier_->setEnabled(false);
        fd_.reset();
        deleteLater();
    }

    Descriptor fd_;
    const Handler& handler_;
    QSocketNotifier* notifier_ = nullptr;
    std::string request_;
};

InstanceServer::InstanceServer(InstancePlace place, int lockFd) : place_(std::move(place)), lockFd_(lockFd) {}

std::unique_ptr<InstanceServer> InstanceServer::claim(const InstancePlace& place) {
    Descriptor lock(::open(place.lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (lock.get() < 0) return nullptr;
    while (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR) return nullptr;
    }
    return std::unique_ptr<InstanceServer>(new InstanceServer(place, lock.release()));
}

InstanceServer::~InstanceServer() {
    if (listenFd_ >= 0) {
        delete notifier_;
        ::close(listenFd_);
        ::unlink(place_.socketPath.c_str());
    }
    if (lockFd_ >= 0) ::close(lockFd_);  // releases the lock
}

bool InstanceServer::listen(Handler handler) {
    if (listenFd_ >= 0) return true;
    handler_ = std::move(handler);
    const auto address = socketAddress(place_.socketPath);
    if (!address) return false;
    Descriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (fd.get() < 0) return false;
    // Holding the lock, we are the only program that may listen here: what is left is stale.
    ::unlink(place_.socketPath.c_str());
    const mode_t previous = ::umask(0077);
    const int bound = ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address);
    ::umask(previous);
    if (bound != 0 || ::listen(fd.get(), 8) != 0) return false;
    listenFd_ = fd.release();
    notifier_ = new QSocketNotifier(listenFd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &InstanceServer::acceptClients);
    return true;
}

void InstanceServer::acceptClients() {
    for (;;) {
        Descriptor client(::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (client.get() < 0) {
            if (errno == EINTR) continue;
            return;  // none left (or a failed accept: the client sees a closed connection)
        }
        ucred peer{};
        socklen_t length = sizeof peer;
        if (::getsockopt(client.get(), SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != ::getuid()) {
            continue;  // only the same user may hand over files
        }
        new Connection(client.release(), handler_, this);
    }
}

// ---- A later start ------------------------------------------------------------------------------

HandOffResult handOffToRunningInstance(const InstancePlace& place, const InstanceRequest& request,
                                       std::chrono::milliseconds connectWait, std::chrono::milliseconds answerWait) {
    using Clock = std::chrono::steady_clock;
    HandOffResult result;
    const auto address = socketAddress(place.socketPath);
    if (!address) {
        result.message = "socket path too long: " + place.socketPath;
        return result;
    }
    Descriptor fd;
    const auto connectUntil = Clock::now() + connectWait;
    for (;;) {
        fd.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (fd.get() < 0) {
            result.message = std::strerror(errno);
            return result;
        }
        if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) == 0) break;
        const int error = errno;
        // The running program may not listen yet: it opens the socket once its window exists.
        if ((error != ENOENT && error != ECONNREFUSED && error != EINTR) || Clock::now() >= connectUntil) {
            result.message = place.socketPath + ": " + std::strerror(error);
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }

    const std::string bytes = request.file ? std::string(kOpen) + *request.file : std::string(kShow);
    if (!sendAll(fd.get(), bytes) || ::shutdown(fd.get(), SHUT_WR) != 0) {
        result.message = place.socketPath + ": " + std::strerror(errno);
        return result;
    }
    std::string reply;
    const auto answerUntil = Clock::now() + answerWait;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(answerUntil - Clock::now()).count();
        pollfd readable{fd.get(), POLLIN, 0};
        if (left <= 0 || ::poll(&readable, 1, static_cast<int>(left)) == 0) {
            result.message = L("Ostrel ne répond pas.", "Ostrel does not answer.");
            return result;
        }
        char chunk[4096];
        const ssize_t got = ::recv(fd.get(), chunk, sizeof chunk, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        reply.append(chunk, static_cast<std::size_t>(got));
        if (reply.size() > kMaxRequestBytes) break;
    }
    if (reply == kOk) {
        result.outcome = HandOffResult::Outcome::done;
    } else if (reply.rfind(kError, 0) == 0) {
        result.outcome = HandOffResult::Outcome::refused;
        result.message = reply.substr(kError.size());
    } else {
        result.message = L("Ostrel a répondu de façon inattendue.", "Ostrel gave an unexpected answer.");
    }
    return result;
}

}  // namespace ostrel
