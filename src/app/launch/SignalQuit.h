// SIGINT and SIGTERM end the windowed run the way Quit does: the handler only writes one byte to a
// pipe; the main thread reads it from the event loop and calls the given action there.
#pragma once

#include <QObject>

#include <csignal>
#include <functional>

class QSocketNotifier;

namespace ostrel {

class SignalQuit final : public QObject {
    Q_OBJECT

public:
    /// Installs the handlers; `action` runs on the main thread once per signal received. Only one
    /// object may exist at a time; the previous handlers come back when it is destroyed.
    explicit SignalQuit(std::function<void()> action, QObject* parent = nullptr);
    ~SignalQuit() override;
    SignalQuit(const SignalQuit&) = delete;
    SignalQuit& operator=(const SignalQuit&) = delete;

    /// False when the pipe or the handlers could not be set up (the program then runs without them).
    [[nodiscard]] bool isInstalled() const noexcept { return installed_; }

private:
    void drain();

    std::function<void()> action_;
    int pipe_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
    bool installed_ = false;
};

}  // namespace ostrel
