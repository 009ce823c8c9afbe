// A value of any type guarded by its own lock: each access takes the lock for
// that access alone, so two threads can hand a value over without sharing any
// other state.
#pragma once

#include <mutex>
#include <utility>

namespace ostrel {

template <class T>
class LockBox {
public:
    explicit LockBox(T value = T{}) : value_(std::move(value)) {}
    LockBox(const LockBox&) = delete;
    LockBox& operator=(const LockBox&) = delete;

    /// A copy of the value.
    [[nodiscard]] T get() const {
        std::lock_guard guard(lock_);
        return value_;
    }
    /// Replaces the value.
    void set(T value) {
        std::lock_guard guard(lock_);
        value_ = std::move(value);
    }
    /// Runs `f(value)` under the lock and returns its result: read-modify-write in one step.
    template <class F>
    decltype(auto) with(F&& f) {
        std::lock_guard guard(lock_);
        return std::forward<F>(f)(value_);
    }

private:
    mutable std::mutex lock_;
    T value_;
};

}  // namespace ostrel
