#include "core/osc/OSCMessageQueue.h"

#include <utility>

namespace ostrel {

OSCMessageQueue::OSCMessageQueue(std::size_t capacity, ValueKey valueKey)
    : capacity_(capacity), valueKey_(std::move(valueKey)) {}

bool OSCMessageQueue::push(OSCCodec::Message message) {
    std::optional<std::string> key = valueKey_ ? valueKey_(message) : std::nullopt;
    std::lock_guard guard(lock_);
    if (key) {
        if (const auto waiting = waitingValues_.find(*key); waiting != waitingValues_.end()) {
            entries_[waiting->second - entries_.front().sequence].message = std::move(message);
            ++coalesced_;
            return false;  // a wake-up is already on its way for the message replaced
        }
    }
    if (entries_.size() >= capacity_) {
        ++dropped_;
        return false;
    }
    const std::uint64_t sequence = nextSequence_++;
    if (key) {
        waitingValues_.emplace(*key, sequence);
    } else {
        waitingValues_.clear();  // a barrier: later values queue behind it
    }
    entries_.push_back({sequence, std::move(key), std::move(message)});
    return !std::exchange(wakeRequested_, true);
}

std::optional<OSCCodec::Message> OSCMessageQueue::pop() {
    std::lock_guard guard(lock_);
    if (entries_.empty()) {
        wakeRequested_ = false;
        return std::nullopt;
    }
    Entry entry = std::move(entries_.front());
    entries_.pop_front();
    if (entry.key) {
        const auto waiting = waitingValues_.find(*entry.key);
        if (waiting != waitingValues_.end() && waiting->second == entry.sequence) waitingValues_.erase(waiting);
    }
    return std::move(entry.message);
}

std::uint64_t OSCMessageQueue::dropped() const {
    std::lock_guard guard(lock_);
    return dropped_;
}

std::uint64_t OSCMessageQueue::coalesced() const {
    std::lock_guard guard(lock_);
    return coalesced_;
}

std::size_t OSCMessageQueue::size() const {
    std::lock_guard guard(lock_);
    return entries_.size();
}

}  // namespace ostrel
