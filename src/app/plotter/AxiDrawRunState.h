// The plotter's run state: what the controller and its plot run are doing.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace ostrel {

struct AxiDrawRunState {
    enum class Kind { idle, plotting, framingBoundingBox, pausedByUser, pausedForPenChange, error, disconnected };

    Kind kind = Kind::idle;
    // pausedForPenChange: the pen to insert.
    std::int64_t penIndex = 0;
    std::string penName;
    double widthMM = 0;
    // error: the failure's readable message.
    std::string message;

    [[nodiscard]] static AxiDrawRunState of(Kind kind) {
        AxiDrawRunState state;
        state.kind = kind;
        return state;
    }
    [[nodiscard]] static AxiDrawRunState idle() { return of(Kind::idle); }
    [[nodiscard]] static AxiDrawRunState plotting() { return of(Kind::plotting); }
    [[nodiscard]] static AxiDrawRunState framingBoundingBox() { return of(Kind::framingBoundingBox); }
    [[nodiscard]] static AxiDrawRunState pausedByUser() { return of(Kind::pausedByUser); }
    [[nodiscard]] static AxiDrawRunState pausedForPenChange(std::int64_t penIndex, std::string penName,
                                                            double widthMM) {
        AxiDrawRunState state = of(Kind::pausedForPenChange);
        state.penIndex = penIndex;
        state.penName = std::move(penName);
        state.widthMM = widthMM;
        return state;
    }
    [[nodiscard]] static AxiDrawRunState error(std::string message) {
        AxiDrawRunState state = of(Kind::error);
        state.message = std::move(message);
        return state;
    }
    [[nodiscard]] static AxiDrawRunState disconnected() { return of(Kind::disconnected); }

    [[nodiscard]] bool isRunning() const noexcept { return kind == Kind::plotting || kind == Kind::framingBoundingBox; }
    [[nodiscard]] bool isPaused() const noexcept {
        return kind == Kind::pausedByUser || kind == Kind::pausedForPenChange;
    }

    // Payload fields of other cases stay at their defaults, so member-wise equality is case equality.
    friend bool operator==(const AxiDrawRunState&, const AxiDrawRunState&) = default;
};

}  // namespace ostrel
