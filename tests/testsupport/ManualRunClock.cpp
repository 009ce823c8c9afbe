#include "testsupport/ManualRunClock.h"

#include <QTimer>

namespace ostrel::test {

void ManualRunClock::sleep(std::chrono::milliseconds delay, QObject* context, std::function<void()> then) {
    sleeps.push_back(delay.count());
    now_ += delay;
    if (held_) {
        pending_.push_back({QPointer<QObject>(context), std::move(then)});
        return;
    }
    QTimer::singleShot(0, context, std::move(then));
}

void ManualRunClock::releaseNext() {
    if (pending_.empty()) return;
    Pending next = std::move(pending_.front());
    pending_.pop_front();
    if (next.context) next.then();
}

}  // namespace ostrel::test
