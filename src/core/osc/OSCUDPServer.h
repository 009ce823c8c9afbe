// UDP listener of the OSC interface: every IPv4 interface, one receive thread,
// one fixed 4096-byte buffer; each datagram is decoded and handed, message by
// message, to a handler on the receive thread. Nothing is ever answered.
#pragma once

#include "core/osc/OSCCodec.h"
#include "core/support/system/PortNumber.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace ostrel {

class OSCUDPServer final {
public:
    /// Called on the receive thread, one message after another.
    using Handler = std::function<void(const OSCCodec::Message&)>;

    /// Longest datagram read; longer ones are cut to this size.
    static constexpr std::size_t kMaxDatagramBytes = 4096;

    /// A stopped server for `port` (0: the system chooses at start).
    OSCUDPServer(std::uint16_t port, Handler handler);
    ~OSCUDPServer();
    OSCUDPServer(const OSCUDPServer&) = delete;
    OSCUDPServer& operator=(const OSCUDPServer&) = delete;

    /// Binds 0.0.0.0:port and starts receiving; true when running afterwards.
    /// A running server is left as it is. On failure the server stays stopped
    /// and `port()` keeps the requested port.
    bool start();
    /// Stops receiving, wakes and joins the receive thread, closes the socket.
    /// Safe at any time, more than once, and from the handler itself.
    void stop();

    /// The requested port, or the bound port after a successful start.
    [[nodiscard]] std::uint16_t port() const noexcept { return port_.load(); }
    /// True between a successful start and stop, or the end of the receive loop.
    [[nodiscard]] bool isRunning() const noexcept { return running_.load(); }

private:
    void receiveLoop(int fd, std::uint64_t generation);

    const Handler handler_;
    std::atomic<std::uint16_t> port_;
    std::atomic<bool> running_{false};
    std::mutex lock_;               // guards running_ writes, socketFD_, generation_, thread_
    int socketFD_ = -1;             // the bound socket while started, else -1
    std::uint64_t generation_ = 0;  // which receive loop owns running_
    std::thread thread_;
};

}  // namespace ostrel
