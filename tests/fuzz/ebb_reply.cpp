// Reply bytes from a plotter board on a pseudo-terminal: the serial transport sends a status
// query and a move and judges what comes back (any bytes, then a line end and "OK" so that no read
// waits for its time-out). An error reply is an Error; nothing else may escape.
#include "core/plotter/EBBSerialTransport.h"
#include "core/support/system/Error.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

namespace {

using ostrel::EBBSerialTransport;

constexpr std::size_t kMaxReplyInput = 2048;  // within the terminal's input buffer
constexpr int kTimeoutMs = 200;

struct Board {
    int master = -1;
    int slave = -1;  // a second handle on the board side, to throw away unread bytes
    std::unique_ptr<EBBSerialTransport> transport;
};

void writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n <= 0) return;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void drain(int fd) {
    char buffer[4096];
    while (::read(fd, buffer, sizeof buffer) > 0) {
    }
}

// The board side of a pseudo-terminal and a transport opened on it (its version query answered).
Board& board() {
    static Board b = [] {
        Board made;
        made.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (made.master < 0 || ::grantpt(made.master) != 0 || ::unlockpt(made.master) != 0) std::abort();
        const std::string path = ::ptsname(made.master);
        made.slave = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (made.slave < 0) std::abort();
        termios raw{};
        ::tcgetattr(made.slave, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(made.slave, TCSANOW, &raw);
        ::fcntl(made.master, F_SETFL, O_NONBLOCK);
        made.transport = std::make_unique<EBBSerialTransport>(ostrel::AxiDrawPortDevice{path, "fuzz", false});
        return made;
    }();
    if (!b.transport->isOpen()) {
        // The version query comes after the transport empties the line: answer it when it arrives.
        std::thread answer([master = b.master] {
            for (int waited = 0; waited < 2000; waited += 10) {
                pollfd watch{master, POLLIN, 0};
                char byte = 0;
                if (::poll(&watch, 1, 10) > 0 && ::read(master, &byte, 1) == 1 && byte == 'V') {
                    writeAll(master, "EBBv13_and_above EB Firmware Version 2.5.3\r\n");
                    return;
                }
            }
        });
        b.transport->open();
        answer.join();
    }
    return b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Board& b = board();
    drain(b.master);
    ::tcflush(b.slave, TCIFLUSH);
    const std::string_view reply(reinterpret_cast<const char*>(data), std::min(size, kMaxReplyInput));
    for (const char* command : {"ES", "SM,10,0,0"}) {
        writeAll(b.master, reply);
        writeAll(b.master, "\r\nOK\r\n");
        try {
            b.transport->sendCommand(command, kTimeoutMs);
        } catch (const ostrel::Error& error) {
            if (error.domain() != EBBSerialTransport::errorDomain) std::abort();
        }
        drain(b.master);
        ::tcflush(b.slave, TCIFLUSH);
        if (!b.transport->isOpen()) break;
    }
    return 0;
}
