#include "app/plotter/AxiDrawRunClock.h"

#include <QTimer>

namespace ostrel {

AxiDrawRunClock::TimePoint SystemRunClock::now() const { return std::chrono::steady_clock::now(); }

void SystemRunClock::sleep(std::chrono::milliseconds delay, QObject* context, std::function<void()> then) {
    QTimer::singleShot(delay, Qt::PreciseTimer, context, std::move(then));
}

}  // namespace ostrel
