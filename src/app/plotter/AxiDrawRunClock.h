// Time for the plot run: a monotonic clock and the pacing sleep between steps.
// The application uses the real clock and Qt timers; tests put in a clock
// that runs sleeps at once and only records them.
#pragma once

#include <QObject>

#include <chrono>
#include <functional>

namespace ostrel {

class AxiDrawRunClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~AxiDrawRunClock() = default;
    [[nodiscard]] virtual TimePoint now() const = 0;
    /// Calls `then` on the main thread once `delay` has passed, unless `context` is destroyed first.
    /// Never blocks.
    virtual void sleep(std::chrono::milliseconds delay, QObject* context, std::function<void()> then) = 0;
};

/// steady_clock and a precise single-shot QTimer.
class SystemRunClock final : public AxiDrawRunClock {
public:
    [[nodiscard]] TimePoint now() const override;
    void sleep(std::chrono::milliseconds delay, QObject* context, std::function<void()> then) override;
};

}  // namespace ostrel
