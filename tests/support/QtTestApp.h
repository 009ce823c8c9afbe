// Test helper: the one Qt application of the test program, and waits that keep
// its event loop turning so that work posted to the main thread runs.
#pragma once

#include <QCoreApplication>

#include <chrono>
#include <functional>
#include <future>
#include <thread>

namespace ostrel::test {

/// The process's Qt application, created on first use (a QApplication on the
/// offscreen platform unless QT_QPA_PLATFORM says otherwise).
QCoreApplication& ensureQtApp();

/// Processes main-thread events until `done()` holds or `timeout` passes;
/// returns whether `done()` held.
bool processEventsUntil(const std::function<bool()>& done,
                        std::chrono::milliseconds timeout = std::chrono::seconds(30));

/// Runs `work` on a new thread while this (main) thread processes events, and
/// returns its result.
template <class F>
auto runWhileProcessingEvents(F&& work) -> decltype(work()) {
    ensureQtApp();
    auto future = std::async(std::launch::async, std::forward<F>(work));
    processEventsUntil([&] { return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                       std::chrono::minutes(2));
    return future.get();
}

}  // namespace ostrel::test
