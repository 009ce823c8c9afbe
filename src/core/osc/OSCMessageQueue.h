// The hand-over of OSC messages from the receive thread to the main thread. It is bounded, and a
// message that only sets a value (a parameter) replaces the one for the same value still waiting,
// so a flood of slider moves costs the main thread one change per value and never more memory than
// the bound. Messages beyond the bound are dropped and counted. A message that does more than set a
// value is a barrier: no value waiting before it is replaced by one sent after it, so the order of
// effects is kept. Cost: push and pop are O(log n) in the messages waiting.
#pragma once

#include "core/osc/OSCCodec.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace ostrel {

class OSCMessageQueue final {
public:
    /// The value a message sets, when setting it is all the message does: a later message with the
    /// same key supersedes it. None for any other message.
    using ValueKey = std::function<std::optional<std::string>(const OSCCodec::Message&)>;

    OSCMessageQueue(std::size_t capacity, ValueKey valueKey);

    /// Any thread. Queues `message`, replacing a waiting message for the same value, or drops it
    /// when `capacity` messages wait. True when the consumer must be woken: the queue had been
    /// found empty by `pop` (or never popped) and this is the first message since.
    bool push(OSCCodec::Message message);
    /// The consumer's thread. The oldest waiting message; none when the queue is empty, after
    /// which the next `push` asks for a wake-up again.
    [[nodiscard]] std::optional<OSCCodec::Message> pop();

    /// Messages dropped because the queue was full, since it was made.
    [[nodiscard]] std::uint64_t dropped() const;
    /// Messages replaced by a later one for the same value, since it was made.
    [[nodiscard]] std::uint64_t coalesced() const;
    [[nodiscard]] std::size_t size() const;

private:
    struct Entry {
        std::uint64_t sequence;  // position among every message ever queued
        std::optional<std::string> key;
        OSCCodec::Message message;
    };

    const std::size_t capacity_;
    const ValueKey valueKey_;
    mutable std::mutex lock_;    // guards everything below
    std::deque<Entry> entries_;  // oldest first; entries_[i].sequence == entries_.front().sequence + i
    std::map<std::string, std::uint64_t> waitingValues_;  // key -> sequence, only after the last barrier
    std::uint64_t nextSequence_ = 0;
    bool wakeRequested_ = false;  // a push has asked for a wake-up the consumer has not yet answered by emptying
    std::uint64_t dropped_ = 0;
    std::uint64_t coalesced_ = 0;
};

}  // namespace ostrel
