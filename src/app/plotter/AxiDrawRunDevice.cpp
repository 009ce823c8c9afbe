#include "app/plotter/AxiDrawRunDevice.h"

#include "app/plotter/EbbLinkThread.h"
#include "core/support/text/NumberFormat.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace ostrel {

namespace {

constexpr std::int64_t kHardwareMoveRestCapMs = 40;
constexpr std::int64_t kSimulatorPenRestFloorMs = 8;
constexpr std::int64_t kSimulatorMoveRestFloorMs = 2;

}  // namespace

std::unique_ptr<AxiDrawRunDevice> LinkedRunDevice::forPort(AxiDrawPortDevice port, Post post,
                                                           NoteBoardTime noteBoardTime, double speedMultiplier) {
    if (port.isSimulator) {
        return std::make_unique<SimulatorRunDevice>(std::move(port), std::move(post), speedMultiplier);
    }
    return std::make_unique<SerialBoardRunDevice>(std::move(port), std::move(post), std::move(noteBoardTime));
}

LinkedRunDevice::LinkedRunDevice(AxiDrawPortDevice port, Post post) : port_(std::move(port)), post_(std::move(post)) {}

void LinkedRunDevice::prepare(bool connect, const AxiDrawConfig& config, Reply reply) {
    post_(
        [device = port_, connect, config](EbbLinkSession& link) {
            if (connect) {
                link.connect(device, config);
            } else {
                link.requireDevice(device);
            }
            link.sendSetup(config);
        },
        std::move(reply));
}

void LinkedRunDevice::send(std::string command, int timeoutMs, Reply reply) {
    post_(
        [device = port_, command = std::move(command), timeoutMs](EbbLinkSession& link) {
            link.requireDevice(device);
            link.send(command, timeoutMs);
        },
        std::move(reply));
}

SerialBoardRunDevice::SerialBoardRunDevice(AxiDrawPortDevice port, Post post, NoteBoardTime noteBoardTime)
    : LinkedRunDevice(std::move(port), std::move(post)), noteBoardTime_(std::move(noteBoardTime)) {}

std::int64_t SerialBoardRunDevice::restAfterPen(std::int64_t delayMs) const noexcept { return delayMs; }

std::int64_t SerialBoardRunDevice::restAfterMove(std::int64_t durationMs) const noexcept {
    return std::min(durationMs, kHardwareMoveRestCapMs);
}

void SerialBoardRunDevice::noteTaken(int boardMs, bool isMove) {
    if (noteBoardTime_) noteBoardTime_(boardMs, isMove);
}

SimulatorRunDevice::SimulatorRunDevice(AxiDrawPortDevice port, Post post, double speedMultiplier)
    : LinkedRunDevice(std::move(port), std::move(post)),
      speedMultiplier_(std::isnan(speedMultiplier) ? 1.0 : std::max(speedMultiplier, 1.0)) {}

namespace {

std::int64_t scaledRest(std::int64_t milliseconds, double multiplier, std::int64_t floor) noexcept {
    const auto scaled = checkedInt64(static_cast<double>(milliseconds) / multiplier).value_or(0);
    return std::max(scaled, floor);
}

}  // namespace

std::int64_t SimulatorRunDevice::restAfterPen(std::int64_t delayMs) const noexcept {
    return scaledRest(delayMs, speedMultiplier_, kSimulatorPenRestFloorMs);
}

std::int64_t SimulatorRunDevice::restAfterMove(std::int64_t durationMs) const noexcept {
    return scaledRest(durationMs, speedMultiplier_, kSimulatorMoveRestFloorMs);
}

}  // namespace ostrel
