#include "core/osc/OSCUDPServer.h"

#include "core/support/system/FileDescriptor.h"
#include "core/support/system/PortNumber.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <vector>

namespace ostrel {

OSCUDPServer::OSCUDPServer(std::uint16_t port, Handler handler) : handler_(std::move(handler)), port_(port) {}

OSCUDPServer::~OSCUDPServer() { stop(); }

namespace {

// Ends a receive thread: from the thread itself (stop called by the handler)
// it can only be detached; the loop then ends at its next check.
void finishThread(std::thread& thread) {
    if (!thread.joinable()) return;
    if (thread.get_id() == std::this_thread::get_id()) {
        thread.detach();
    } else {
        thread.join();
    }
}

}  // namespace

bool OSCUDPServer::start() {
    std::thread ended;
    int endedFD = -1;
    {
        std::lock_guard guard(lock_);
        if (running_.load()) return true;
        // A loop that ended on a receive error leaves its socket and thread behind.
        ended = std::move(thread_);
        endedFD = std::exchange(socketFD_, -1);
    }
    finishThread(ended);
    if (endedFD >= 0) ::close(endedFD);

    FileDescriptor socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP));
    if (!socket.valid()) return false;
    const int one = 1;
    (void)::setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port_.load());
    if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return false;
    socklen_t length = sizeof address;
    if (::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) return false;

    std::lock_guard guard(lock_);
    if (running_.load()) return true;  // another caller started it meanwhile; ours closes
    const int fd = socket.get();
    const std::uint64_t generation = ++generation_;
    try {
        thread_ = std::thread([this, fd, generation] { receiveLoop(fd, generation); });
    } catch (const std::exception&) {
        return false;
    }
    socketFD_ = socket.release();
    port_.store(ntohs(address.sin_port));
    running_.store(true);
    return true;
}

void OSCUDPServer::stop() {
    std::thread thread;
    int fd = -1;
    {
        std::lock_guard guard(lock_);
        running_.store(false);
        fd = std::exchange(socketFD_, -1);
        thread = std::move(thread_);
    }
    // close() alone does not wake a blocked recvfrom on Linux; shutdown() does
    // (it returns 0). The descriptor is closed only after the loop has ended,
    // so its number cannot be reused under the loop's feet.
    if (fd >= 0) (void)::shutdown(fd, SHUT_RDWR);
    finishThread(thread);
    if (fd >= 0) ::close(fd);
}

void OSCUDPServer::receiveLoop(int fd, std::uint64_t generation) {
    std::vector<std::uint8_t> buffer(kMaxDatagramBytes);  // buffer[kMaxDatagramBytes], reused
    for (;;) {
        {
            std::lock_guard guard(lock_);
            if (!running_.load() || generation_ != generation) break;
        }
        const ssize_t received = ::recvfrom(fd, buffer.data(), buffer.size(), 0, nullptr, nullptr);
        if (received > 0) {
            const auto messages =
                OSCCodec::decode(std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(received)));
            for (const OSCCodec::Message& message : messages) {
                try {
                    if (handler_) handler_(message);
                } catch (const std::exception&) {
                    // A failing handler loses its message, never the listener.
                }
            }
            continue;
        }
        if (received == 0) continue;  // an empty datagram, or stop() shut the socket down
        if (errno == EINTR) continue;
        break;
    }
    std::lock_guard guard(lock_);
    if (generation_ == generation) running_.store(false);
}

}  // namespace ostrel
