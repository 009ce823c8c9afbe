// Test support: a fake EBB plotter board on a pseudo-terminal.
//
// The transport under test opens `slavePath()` like a real serial device. A
// thread reads the master side, splits commands at CR, logs each with the
// time it arrived, and answers: "V" with a firmware line, "ES" with a status
// line and "OK", every other command with "OK\r\n". On demand it misbehaves
// once for a chosen command: an error reply, silence, a late reply, two
// replies in one burst, a line without its line feed, bytes that are not
// UTF-8, or a hang-up (the master is closed, as when the board is unplugged).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ostrel::test {

class FakeEbbBoard {
public:
    using Clock = std::chrono::steady_clock;

    struct Command {
        std::string text;  // without the CR
        Clock::time_point at;
    };

    enum class Misbehaviour { errorReply, silence, lateReply, twoReplies, noLineFeed, notUtf8, hangUp };

    static constexpr const char* firmwareLine = "EBBv13_and_above EB Firmware Version 3.0.2";
    static constexpr const char* errorLine = "!8 Err: Unknown command";

    FakeEbbBoard();
    ~FakeEbbBoard();
    FakeEbbBoard(const FakeEbbBoard&) = delete;
    FakeEbbBoard& operator=(const FakeEbbBoard&) = delete;

    /// The device path to open.
    [[nodiscard]] const std::string& slavePath() const noexcept { return slavePath_; }
    /// The slave side kept open by the board (to inspect the line settings the transport made).
    [[nodiscard]] int slaveFd() const noexcept { return slaveFd_; }

    /// The (skip+1)-th command from now that starts with `prefix` ("" matches all) gets `what`
    /// instead of its normal reply. A late reply comes `lateBy` after the command.
    void misbehave(std::string prefix, Misbehaviour what, int skip = 0,
                   std::chrono::milliseconds lateBy = std::chrono::milliseconds(300));

    [[nodiscard]] std::vector<Command> commands() const;
    [[nodiscard]] std::vector<std::string> commandTexts() const;
    void clearCommands();
    /// Waits until at least `count` commands have arrived.
    bool waitForCommands(std::size_t count, std::chrono::milliseconds timeout) const;
    [[nodiscard]] bool hungUp() const noexcept { return hungUp_; }

private:
    struct Rule {
        std::string prefix;
        Misbehaviour what;
        int skip;
        std::chrono::milliseconds lateBy;
    };

    void serve();
    void answer(const std::string& command);
    void writeAll(const std::string& bytes);

    int masterFd_ = -1;
    int slaveFd_ = -1;
    std::string slavePath_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> hungUp_{false};
    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::vector<Command> commands_;
    std::vector<Rule> rules_;
    std::thread thread_;
};

}  // namespace ostrel::test
