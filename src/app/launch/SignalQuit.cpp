#include "app/launch/SignalQuit.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace ostrel {
namespace {

volatile std::sig_atomic_t writeEnd = -1;  // the pipe's write end, read by the handler

extern "C" void onQuitSignal(int) {
    const int saved = errno;
    const char byte = 1;
    if (writeEnd >= 0) [[maybe_unused]]
        const auto written = ::write(writeEnd, &byte, 1);
    errno = saved;
}

}  // namespace

SignalQuit::SignalQuit(std::function<void()> action, QObject* parent) : QObject(parent), action_(std::move(action)) {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
    writeEnd = pipe_[1];
    notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalQuit::drain);
    struct sigaction quit {};
    quit.sa_handler = onQuitSignal;
    sigemptyset(&quit.sa_mask);
    quit.sa_flags = SA_RESTART;
    installed_ = ::sigaction(SIGINT, &quit, &previousInt_) == 0 && ::sigaction(SIGTERM, &quit, &previousTerm_) == 0;
}

SignalQuit::~SignalQuit() {
    if (installed_) {
        ::sigaction(SIGINT, &previousInt_, nullptr);
        ::sigaction(SIGTERM, &previousTerm_, nullptr);
    }
    writeEnd = -1;
    for (int fd : pipe_) {
        if (fd >= 0) ::close(fd);
    }
}

void SignalQuit::drain() {
    char bytes[64];
    bool received = false;
    while (::read(pipe_[0], bytes, sizeof bytes) > 0) received = true;
    if (received && action_) action_();
}

}  // namespace ostrel
