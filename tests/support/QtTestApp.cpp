#include "support/QtTestApp.h"

#include <QApplication>
#include <QThread>

#include <clocale>
#include <cstdlib>

namespace ostrel::test {

QCoreApplication& ensureQtApp() {
    if (QCoreApplication* existing = QCoreApplication::instance()) return *existing;
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "ostrel_tests";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    return app;
}

bool processEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    ensureQtApp();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

}  // namespace ostrel::test
