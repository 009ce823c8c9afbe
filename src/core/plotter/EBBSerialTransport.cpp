#include "core/plotter/EBBSerialTransport.h"

#include "core/model/Localization.h"
#include "core/support/system/Error.h"
#include "core/support/text/Utf8.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace ostrel {

namespace {

constexpr int kVersionQueryTimeoutMs = 1000;
// A reply line longer than this is cut: no EBB reply comes near it.
constexpr std::size_t kMaxReplyBytes = 4096;

bool isPortName(std::string_view name) { return name.starts_with("ttyACM") || name.starts_with("ttyUSB"); }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

/// Natural order: runs of digits compare as numbers, everything else byte by byte.
bool naturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            std::size_t ie = i;
            while (ie < a.size() && isDigit(a[ie])) ++ie;
            std::size_t je = j;
            while (je < b.size() && isDigit(b[je])) ++je;
            std::string_view na = a.substr(i, ie - i);
            std::string_view nb = b.substr(j, je - j);
            while (na.size() > 1 && na.front() == '0') na.remove_prefix(1);
            while (nb.size() > 1 && nb.front() == '0') nb.remove_prefix(1);
            if (na.size() != nb.size()) return na.size() < nb.size();
            if (na != nb) return na < nb;
            i = ie;
            j = je;
            continue;
        }
        if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j)) return (a.size() - i) < (b.size() - j);
    return a < b;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return std::string(text);
}

bool isErrorReply(std::string_view reply) {
    std::string upper(reply);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper.find('!') != std::string::npos || upper.find("ERR") != std::string::npos;
}

Error transportError(int code, const std::string& message) {
    return Error(std::string(EBBSerialTransport::errorDomain), code, message);
}

bool isHangUpErrno(int errorNumber) {
    return errorNumber == EIO || errorNumber == ENXIO || errorNumber == ENODEV || errorNumber == EBADF;
}

}  // namespace

std::vector<AxiDrawPortDevice> EBBSerialTransport::availablePorts(const std::filesystem::path& directory) {
    std::vector<std::string> names;
    std::error_code error;
    std::filesystem::directory_iterator it(directory, error);
    if (!error) {
        for (; it != std::filesystem::directory_iterator(); it.increment(error)) {
            if (error) break;
            std::string name = it->path().filename().string();
            if (isPortName(name)) names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end(), naturalLess);
    std::vector<AxiDrawPortDevice> ports;
    ports.reserve(names.size() + 1);
    for (const std::string& name : names) {
        ports.push_back({(directory / name).string(), "AxiDraw USB (" + name + ")", false});
    }
    ports.push_back(AxiDrawPortDevice::simulator());
    return ports;
}

EBBSerialTransport::EBBSerialTransport(AxiDrawPortDevice device) : device_(std::move(device)) {}

EBBSerialTransport::~EBBSerialTransport() { close(); }

void EBBSerialTransport::open() {
    if (fd_ >= 0) return;

    int fd = -1;
    do {
        fd = ::open(device_.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int code = errno;
        const std::string text = std::strerror(code);
        throw transportError(code, L("Impossible d'ouvrir " + device_.path + " : " + text,
                                     "Could not open " + device_.path + ": " + text));
    }
    // Blocking reads and writes from here on; poll() guards every read.
    ::fcntl(fd, F_SETFL, 0);

    termios settings{};
    if (::tcgetattr(fd, &settings) == 0) {
        ::cfmakeraw(&settings);
        ::cfsetspeed(&settings, B115200);
        // 8N1, receiver on, modem lines ignored, no hardware or software flow control
        // (raw mode leaves CRTSCTS and IXOFF/IXANY as they were).
        settings.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CSIZE | CRTSCTS);
        settings.c_cflag |= CS8 | CREAD | CLOCAL;
        settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
        ::tcsetattr(fd, TCSANOW, &settings);
    }
    ::tcflush(fd, TCIOFLUSH);
    fd_ = fd;

    std::string reply;
    try {
        reply = sendRaw("V", kVersionQueryTimeoutMs);
    } catch (const Error&) {
        reply.clear();
    }
    firmwareVersion_ = reply.empty() ? "EBB USB (" + device_.displayName + ")" : trimmed(reply);
}

void EBBSerialTransport::close() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void EBBSerialTransport::sendCommand(std::string_view command, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    std::string reply = sendRaw(command, timeoutMs);
    if (isErrorReply(reply)) throw transportError(errorReplyCode, "EBB: " + trimmed(reply));

    // "ES" answers a status line before its "OK": read through it so that the next command
    // does not take the "OK" for its own reply.
    std::string_view bare = command;
    if (bare.ends_with('\r')) bare.remove_suffix(1);
    if (bare != "ES") return;
    while (trimmed(reply) != "OK" && !reply.empty() && reply.back() == '\n') {
        reply = readLine(deadline);
        if (isErrorReply(reply)) throw transportError(errorReplyCode, "EBB: " + trimmed(reply));
    }
}

std::string EBBSerialTransport::sendRaw(std::string_view command, int timeoutMs) {
    if (fd_ < 0) {
        throw transportError(closedPortCode, L("Port série AxiDraw fermé", "AxiDraw serial port closed"));
    }
    std::string framed(command);
    if (!framed.ends_with('\r')) framed.push_back('\r');

    ssize_t written = -1;
    do {
        written = ::write(fd_, framed.data(), framed.size());
    } while (written < 0 && errno == EINTR);
    if (written != static_cast<ssize_t>(framed.size())) {
        const int code = written < 0 ? errno : EIO;
        if (written < 0 && isHangUpErrno(code)) close();
        throw transportError(code, L("Erreur d'écriture USB AxiDraw", "AxiDraw USB write error"));
    }
    return readLine(Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0)));
}

std::string EBBSerialTransport::readLine(Clock::time_point deadline) {
    std::string bytes;
    bytes.reserve(64);
    for (auto now = Clock::now(); now < deadline; now = Clock::now()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        const int slice = static_cast<int>(std::max<long long>(10, std::min<long long>(50, left)));
        pollfd watch{fd_, POLLIN, 0};
        const int ready = ::poll(&watch, 1, slice);
        if (ready <= 0) continue;  // time-out or EINTR: wait again
        if ((watch.revents & POLLIN) == 0) {
            if ((watch.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) failHangUp(EIO);
            continue;
        }
        char byte = 0;
        const ssize_t got = ::read(fd_, &byte, 1);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got < 0) failHangUp(errno);
        if (got == 0) failHangUp(EIO);
        bytes.push_back(byte);
        if (byte == '\n' || bytes.size() >= kMaxReplyBytes) break;
    }
    return lossyUtf8(bytes);
}

void EBBSerialTransport::failHangUp(int errorNumber) {
    // The device went away (unplugged board, closed pseudo-terminal): drop the descriptor so the
    // next connection attempt opens the port anew.
    close();
    throw transportError(errorNumber, L("Port série AxiDraw déconnecté", "AxiDraw serial port disconnected"));
}

}  // namespace ostrel
