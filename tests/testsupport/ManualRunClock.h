// Test support: a plot-run clock on virtual time. Each pacing sleep is
// recorded and advances the virtual clock by its length; it then runs on the
// next turn of the event loop (automatic mode) or waits until the test
// releases it (held mode), so a test can act "during" a sleep.
#pragma once

#include "app/plotter/AxiDrawRunClock.h"

#include <QPointer>

#include <deque>
#include <vector>

namespace ostrel::test {

class ManualRunClock final : public AxiDrawRunClock {
public:
    [[nodiscard]] TimePoint now() const override { return now_; }
    void sleep(std::chrono::milliseconds delay, QObject* context, std::function<void()> then) override;

    void advance(std::chrono::milliseconds by) { now_ += by; }
    /// Held mode: sleeps wait in a queue for releaseNext().
    void setHeld(bool held) { held_ = held; }
    [[nodiscard]] std::size_t pendingCount() const noexcept { return pending_.size(); }
    /// Runs the oldest held sleep's continuation now (if its context still exists).
    void releaseNext();

    /// Every sleep requested so far, in milliseconds, in order.
    std::vector<long long> sleeps;

private:
    struct Pending {
        QPointer<QObject> context;
        std::function<void()> then;
    };
    TimePoint now_{std::chrono::hours(1)};
    bool held_ = false;
    std::deque<Pending> pending_;
};

}  // namespace ostrel::test
