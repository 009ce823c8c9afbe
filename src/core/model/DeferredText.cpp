#include "core/model/DeferredText.h"

#include <atomic>
#include <mutex>
#include <ostream>

namespace ostrel {

struct DeferredText::State {
    std::once_flag once;
    std::function<std::string()> write;  // released once it has run
    std::string text;
    std::atomic<bool> written{false};
};

DeferredText::DeferredText(std::string text) : state_(std::make_shared<State>()) {
    state_->text = std::move(text);
    state_->written.store(true, std::memory_order_release);
}

DeferredText DeferredText::later(std::function<std::string()> write) {
    DeferredText deferred;
    deferred.state_ = std::make_shared<State>();
    deferred.state_->write = std::move(write);
    return deferred;
}

const std::string& DeferredText::text() const {
    static const std::string none;
    if (!state_) return none;
    if (!state_->written.load(std::memory_order_acquire)) {
        State& state = *state_;
        std::call_once(state.once, [&state] {
            state.text = state.write();
            state.write = nullptr;
            state.written.store(true, std::memory_order_release);
        });
    }
    return state_->text;
}

bool DeferredText::isWritten() const noexcept {
    return !state_ || state_->written.load(std::memory_order_acquire);
}

std::ostream& operator<<(std::ostream& out, const DeferredText& text) { return out << text.text(); }

}  // namespace ostrel
