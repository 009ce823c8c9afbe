// Test support: the one Qt application object of the test executable, made on
// first use, and a way to turn the event loop until something happens.
#pragma once

#include <chrono>
#include <functional>

namespace ostrel::test {

/// Creates the QApplication (offscreen when no platform is set) unless one exists.
void ensureQtApp();

/// Processes events until `done` holds or `timeout` passes; returns `done()`.
bool spinUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

}  // namespace ostrel::test
