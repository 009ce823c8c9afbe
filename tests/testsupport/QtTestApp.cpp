#include "testsupport/QtTestApp.h"

#include <QEventLoop>
#if OSTREL_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QGuiApplication>
using TestApplication = QGuiApplication;  // the core's tests have no widgets
#endif

#include <cstdlib>

namespace ostrel::test {

QCoreApplication& ensureQtApp() {
    if (QCoreApplication* existing = QCoreApplication::instance()) return *existing;
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "ostrel_tests";
    static char* argv[] = {name, nullptr};
    static TestApplication* app = new TestApplication(argc, argv);  // lives as long as the process
    return *app;
}

bool spinUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

}  // namespace ostrel::test
