// One Ostrel per user and settings file. The first windowed run holds a lock file in the user's
// runtime folder and listens on a Unix socket beside it; a later start gives that run its file (or
// asks it to show its window) and ends with the answer.
//
// Both files are named after the settings folder, so runs that write different settings (tests
// with their own XDG_CONFIG_HOME) never meet. The lock is an flock(2) lock, released by the system
// whenever its holder ends, so a crash leaves nothing that blocks the next start.
//
// Wire: the client writes one request and shuts its sending side: "open\n" followed by the file's
// path as raw bytes (the bytes the command line gave, whatever their encoding), or "show\n". The
// running program answers "ok\n", or "error\n" followed by a message in UTF-8, then closes.
// Requests are at most 64 KiB; a client that sends more, or nothing for five seconds, is dropped.
#pragma once

#include <QObject>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QSocketNotifier;

namespace ostrel {

/// Where the lock and the socket of one settings folder live.
struct InstancePlace {
    std::string lockPath;
    std::string socketPath;
};

/// The place for the settings folder of this process ($XDG_CONFIG_HOME, else ~/.config) in
/// $XDG_RUNTIME_DIR; none when there is no usable runtime folder (the program then runs alone).
[[nodiscard]] std::optional<InstancePlace> instancePlaceFromEnvironment();

/// What a later start asks of the running program.
struct InstanceRequest {
    std::optional<std::string> file;  // the path's bytes; none: show the window
    friend bool operator==(const InstanceRequest&, const InstanceRequest&) = default;
};

/// The running program's side: the lock and the listening socket. Main thread only.
class InstanceServer final : public QObject {
    Q_OBJECT

public:
    /// Carries out a request; returns none when it succeeded, else the message for the caller.
    using Handler = std::function<std::optional<std::string>(const InstanceRequest&)>;

    /// Takes the lock of `place`; null when another program holds it. Needs no application object.
    [[nodiscard]] static std::unique_ptr<InstanceServer> claim(const InstancePlace& place);
    ~InstanceServer() override;
    InstanceServer(const InstanceServer&) = delete;
    InstanceServer& operator=(const InstanceServer&) = delete;

    /// Starts answering on the socket (replacing a socket file left by an ended program) with
    /// `handler`, called on the main thread. Needs the application object. False when the socket
    /// could not be opened: no later start can reach this program then, but the lock still keeps
    /// a second window from opening.
    bool listen(Handler handler);
    [[nodiscard]] bool isListening() const noexcept { return listenFd_ >= 0; }

private:
    class Connection;
    InstanceServer(InstancePlace place, int lockFd);
    void acceptClients();

    InstancePlace place_;
    int lockFd_ = -1;
    int listenFd_ = -1;
    Handler handler_;
    QSocketNotifier* notifier_ = nullptr;
};

/// The later start's side: the outcome of handing a request to the running program.
struct HandOffResult {
    enum class Outcome {
        done,        // the running program carried it out
        refused,     // the running program answered with an error (in `message`)
        unreachable  // the lock is held but nothing answered on the socket (reason in `message`)
    };
    Outcome outcome = Outcome::unreachable;
    std::string message;
};

/// Sends `request` to the program that holds `place` and waits for its answer; connecting is tried
/// again for `connectWait` (the holder may still be starting), the answer is awaited `answerWait`.
[[nodiscard]] HandOffResult handOffToRunningInstance(const InstancePlace& place, const InstanceRequest& request,
                                                     std::chrono::milliseconds connectWait = std::chrono::seconds(10),
                                                     std::chrono::milliseconds answerWait = std::chrono::seconds(120));

}  // namespace ostrel
