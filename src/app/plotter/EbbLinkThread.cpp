#include "app/plotter/EbbLinkThread.h"

#include "core/model/Localization.h"
#include "core/plotter/EBBSerialTransport.h"
#include "core/plotter/PlotterDevice.h"
#include "core/support/system/Error.h"
#include "core/support/text/NumberFormat.h"

#include <exception>
#include <utility>

namespace ostrel {

namespace {

constexpr int kCommandTimeoutMs = 2500;

[[noreturn]] void throwClosed() {
    throw Error(std::string(EBBSerialTransport::errorDomain), EBBSerialTransport::closedPortCode,
                L("Port série AxiDraw fermé", "AxiDraw serial port closed"));
}

}  // namespace

EbbLinkSession::EbbLinkSession() = default;
EbbLinkSession::~EbbLinkSession() = default;

bool EbbLinkSession::connect(const AxiDrawPortDevice& device, const AxiDrawConfig& config) {
    if (device_ && device_->device().path == device.path && device_->isOpen()) return false;
    if (device_) device_->close();
    auto fresh = PlotterDevice::forPort(device);
    fresh->open();
    device_ = std::move(fresh);
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
    if (!device_) throwClosed();
    device_->sendCommand(command, timeoutMs);
}

void EbbLinkSession::requireDevice(const AxiDrawPortDevice& device) const {
    if (!device_ || device_->device().path != device.path || !device_->isOpen()) throwClosed();
}

bool EbbLinkSession::isOpen() const noexcept { return device_ && device_->isOpen(); }

AxiDrawPortDevice EbbLinkSession::device() const { return device_ ? device_->device() : AxiDrawPortDevice{}; }

std::string EbbLinkSession::firmwareVersion() const { return device_ ? device_->firmwareVersion() : std::string(); }

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
