#include "testsupport/FakeEbbBoard.h"

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace ostrel::test {

FakeEbbBoard::FakeEbbBoard() {
    masterFd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (masterFd_ < 0 || ::grantpt(masterFd_) != 0 || ::unlockpt(masterFd_) != 0) {
        throw std::runtime_error("no pseudo-terminal");
    }
    char name[128] = {};
    if (::ptsname_r(masterFd_, name, sizeof name) != 0) throw std::runtime_error("ptsname failed");
    slavePath_ = name;
    // Keeping the slave open holds the line settings between opens and keeps the master from
    // seeing a hang-up when the transport closes its side.
    slaveFd_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveFd_ < 0) throw std::runtime_error("cannot open the pseudo-terminal slave");
    termios settings{};
    ::tcgetattr(slaveFd_, &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(slaveFd_, TCSANOW, &settings);
    thread_ = std::thread([this] { serve(); });
}

FakeEbbBoard::~FakeEbbBoard() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    if (masterFd_ >= 0) ::close(masterFd_);
    if (slaveFd_ >= 0) ::close(slaveFd_);
}

void FakeEbbBoard::misbehave(std::string prefix, Misbehaviour what, int skip, std::chrono::milliseconds lateBy) {
    std::lock_guard lock(mutex_);
    rules_.push_back({std::move(prefix), what, skip, lateBy});
}

std::vector<FakeEbbBoard::Command> FakeEbbBoard::commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

std::vector<std::string> FakeEbbBoard::commandTexts() const {
    std::vector<std::string> out;
    for (const Command& c : commands()) out.push_back(c.text);
    return out;
}

void FakeEbbBoard::clearCommands() {
    std::lock_guard lock(mutex_);
    commands_.clear();
}

bool FakeEbbBoard::waitForCommands(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return commands_.size() >= count; });
}

void FakeEbbBoard::serve() {
    std::string pending;
    while (!stopping_ && !hungUp_) {
        pollfd watch{masterFd_, POLLIN, 0};
        if (::poll(&watch, 1, 20) <= 0 || (watch.revents & POLLIN) == 0) continue;
        char buffer[256];
        const ssize_t got = ::read(masterFd_, buffer, sizeof buffer);
        if (got <= 0) continue;
        pending.append(buffer, static_cast<std::size_t>(got));
        for (std::size_t cr = pending.find('\r'); cr != std::string::npos && !hungUp_; cr = pending.find('\r')) {
            const std::string command = pending.substr(0, cr);
            pending.erase(0, cr + 1);
            {
                std::lock_guard lock(mutex_);
                commands_.push_back({command, Clock::now()});
            }
            arrived_.notify_all();
            answer(command);
        }
    }
}

void FakeEbbBoard::answer(const std::string& command) {
    std::string normal = "OK\r\n";
    if (command == "V") normal = std::string(firmwareLine) + "\r\n";
    if (command == "ES") normal = "0,0,0,0,0\r\nOK\r\n";

    bool matched = false;
    Rule rule{};
    {
        std::lock_guard lock(mutex_);
        for (auto it = rules_.begin(); it != rules_.end(); ++it) {
            if (command.rfind(it->prefix, 0) != 0) continue;
            if (it->skip > 0) {
                --it->skip;
                continue;
            }
            rule = *it;
            rules_.erase(it);
            matched = true;
            break;
        }
    }
    if (!matched) {
        writeAll(normal);
        return;
    }
    switch (rule.what) {
        case Misbehaviour::errorReply:
            writeAll(std::string(errorLine) + "\r\n");
            break;
        case Misbehaviour::silence:
            break;
        case Misbehaviour::lateReply:
            std::this_thread::sleep_for(rule.lateBy);
            writeAll(normal);
            break;
        case Misbehaviour::twoReplies:
            writeAll(normal + normal);
            break;
        case Misbehaviour::noLineFeed:
            writeAll(normal.substr(0, normal.size() - 1));
            break;
        case Misbehaviour::notUtf8:
            writeAll("\xff\xfe" + normal);
            break;
        case Misbehaviour::hangUp:
            hungUp_ = true;
            ::close(masterFd_);
            masterFd_ = -1;
            break;
    }
}

void FakeEbbBoard::writeAll(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(masterFd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace ostrel::test
