// Test support: the one Qt application of the test executable, made on first
// use, and waits that keep its event loop turning so that work posted to the
// main thread runs.
#pragma once

#include <QCoreApplication>

#include <chrono>
#include <functional>
#include <future>

namespace ostrel::test {

/// The process's Qt application, created on first use on the offscreen platform unless
/// QT_QPA_PLATFORM says otherwise: a QApplication in the application's test programs, a
/// QGuiApplication in the core's.
QCoreApplication& ensureQtApp();

/// Processes events until `done` holds or `timeout` passes; returns `done()`.
bool spinUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

/// The same wait with a longer default, for exchanges over sockets.
inline bool processEventsUntil(const std::function<bool()>& done,
                               std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    return spinUntil(done, timeout);
}

/// Runs `work` on a new thread while this (main) thread processes events, and returns its result.
template <class F>
auto runWhileProcessingEvents(F&& work) -> decltype(work()) {
    ensureQtApp();
    auto future = std::async(std::launch::async, std::forward<F>(work));
    spinUntil([&] { return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
              std::chrono::minutes(2));
    return future.get();
}

}  // namespace ostrel::test
