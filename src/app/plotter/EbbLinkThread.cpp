#include "app/plotter/EbbLinkThread.h"

#include "core/model/Localization.h"
#include "core/plotter/EbbSerialTransport.h"
#include "core/support/system/Error.h"
#include "core/support/text/NumberFormat.h"

#include <exception>
#include <utility>

namespace ostrel {

namespace {

constexpr int kCommandTimeoutMs = 2500;

[[noreturn]] void throwClosed() {
    throw Error(std::string(EbbSerialTransport::errorDomain), EbbSerialTransport::closedPortCode,
                L("Port série AxiDraw fermé", "AxiDraw serial port closed"));
}

}  // namespace

EbbLinkSession::EbbLinkSession() = default;
EbbLinkSession::~EbbLinkSession() = default;

bool EbbLinkSession::connect(const AxiDrawPortDevice& device, const AxiDrawConfig& config) {
    if (transport_ && transport_->device().path == device.path && transport_->isOpen()) return false;
    if (transport_) transport_->close();
    auto fresh = std::make_unique<EbbSerialTransport>(device);
    fresh->open();
    transport_ = std::move(fresh);
    sendSetup(config);
    return true;
}

void EbbLinkSession::sendSetup(const AxiDrawConfig& config) {
    send("SC,4," + integerText(AxiDrawConfig::servoTicks(config.penUpPercent)), kCommandTimeoutMs);
    send("SC,5," + integerText(AxiDrawConfig::servoTicks(config.penDownPercent)), kCommandTimeoutMs);
    send("SC,10,65535", kCommandTimeoutMs);
    send("EM,1,1", kCommandTimeoutMs);
}

void EbbLinkSession::send(std::string_view command, int timeoutMs) {
    if (!transport_) throwClosed();
    transport_->sendCommand(command, timeoutMs);
}

void EbbLinkSession::requireDevice(const AxiDrawPortDevice& device) const {
    if (!transport_ || transport_->device().path != device.path || !transport_->isOpen()) throwClosed();
}

bool EbbLinkSession::isOpen() const noexcept { return transport_ && transport_->isOpen(); }

AxiDrawPortDevice EbbLinkSession::device() const { return transport_ ? transport_->device() : AxiDrawPortDevice{}; }

std::string EbbLinkSession::firmwareVersion() const { return transport_ ? transport_->firmwareVersion() : std::string(); }

EbbLinkThread::EbbLinkThread() : thread_([this] { serve(); }) {}

EbbLinkThread::~EbbLinkThread() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void EbbLinkThread::post(Job job) {
    {
        const std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void EbbLinkThread::serve() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty()) return;  // stopping, and nothing left to send
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        try {
            job(session_);
        } catch (const std::exception&) {
            // Jobs report their own failures; nothing may escape the thread.
        }
    }
}

}  // namespace ostrel
