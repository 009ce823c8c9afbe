// A value that may be made only when first read: either given at once, or a recipe that runs once,
// on the first thread to read it, while every other reader waits for the same value. Copies share
// the value (and the recipe until it has run), so copying something that holds one is cheap.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

namespace ostrel {

template <class T>
class Deferred {
public:
    Deferred() = default;
    Deferred(T value) : state_(std::make_shared<State>()) {  // NOLINT(google-explicit-constructor): a made value
        state_->value = std::move(value);
        state_->made.store(true, std::memory_order_release);
    }

    /// A value that `make` produces when it is first read; `make` must only read what it owns.
    [[nodiscard]] static Deferred later(std::function<T()> make) {
        Deferred deferred;
        deferred.state_ = std::make_shared<State>();
        deferred.state_->make = std::move(make);
        return deferred;
    }

    /// The value, made now when it was not yet (any thread; a failing recipe throws and is tried
    /// again by the next reader). A default-constructed one reads as T().
    [[nodiscard]] const T& value() const {
        if (!state_) return none();
        if (!state_->made.load(std::memory_order_acquire)) {
            // A lock rather than std::call_once: a recipe that throws leaves the lock free and the
            // value unmade for the next reader, with no reliance on call_once's retry after an
            // exception (which some runtimes and sanitizers do not keep).
            State& state = *state_;
            const std::lock_guard lock(state.making);
            if (!state.made.load(std::memory_order_relaxed)) {
                state.value = state.make();
                state.make = nullptr;
                state.made.store(true, std::memory_order_release);
            }
        }
        return state_->value;
    }
    operator const T&() const { return value(); }  // NOLINT(google-explicit-constructor)
    const T* operator->() const { return &value(); }

    /// True once the value exists (given, or its recipe has run).
    [[nodiscard]] bool isMade() const noexcept { return !state_ || state_->made.load(std::memory_order_acquire); }

private:
    struct State {
        std::mutex making;
        std::function<T()> make;  // released once it has run
        T value{};
        std::atomic<bool> made{false};
    };

    static const T& none() {
        static const T empty{};
        return empty;
    }

    std::shared_ptr<State> state_;  // null: T()
};

}  // namespace ostrel
