#include "core/osc/OSCMessageQueue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ostrel {
namespace {

using OSCCodec::Message;
using OSCCodec::Value;

// Addresses under /v/ only set a value; anything else is a barrier.
std::optional<std::string> valueKey(const Message& message) {
    if (message.address.starts_with("/v/")) return message.address;
    return std::nullopt;
}

Message message(std::string text) {
    // "/v/a=1" is the value message /v/a with the argument 1; "/x" a message without arguments.
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) return Message{text, {}};
    return Message{text.substr(0, equals), {Value::integer(std::stoi(text.substr(equals + 1)))}};
}

std::string text(const Message& m) {
    return m.arguments.empty() ? m.address : m.address + "=" + m.arguments.front().stringValue();
}

std::vector<std::string> drain(OSCMessageQueue& queue) {
    std::vector<std::string> out;
    while (auto m = queue.pop()) out.push_back(text(*m));
    return out;
}

TEST(OSCMessageQueueTest, CoalescesValuesBetweenBarriersAndDropsBeyondItsCapacity) {
    struct Case {
        const char* what;
        std::size_t capacity;
        std::vector<std::string> pushed;
        std::vector<std::string> popped;
        std::uint64_t coalesced;
        std::uint64_t dropped;
    };
    const std::vector<Case> cases = {
        {"a later value replaces a waiting one in its place",
         8,
         {"/v/a=1", "/v/b=1", "/v/a=2", "/v/a=3"},
         {"/v/a=3", "/v/b=1"},
         2,
         0},
        {"a barrier keeps the value sent before it",
         8,
         {"/v/a=1", "/reset", "/v/a=2", "/v/a=3"},
         {"/v/a=1", "/reset", "/v/a=3"},
         1,
         0},
        {"barriers never coalesce", 8, {"/x", "/x", "/x"}, {"/x", "/x", "/x"}, 0, 0},
        {"beyond the capacity new messages are dropped", 2, {"/x", "/v/a=1", "/y", "/v/b=1"}, {"/x", "/v/a=1"}, 0, 2},
        {"a full queue still takes a value it already holds",
         2,
         {"/v/a=1", "/v/b=1", "/v/a=2", "/v/c=1"},
         {"/v/a=2", "/v/b=1"},
         1,
         1},
    };
    for (const Case& c : cases) {
        OSCMessageQueue queue(c.capacity, valueKey);
        for (const std::string& m : c.pushed) queue.push(message(m));
        EXPECT_LE(queue.size(), c.capacity) << c.what;
        EXPECT_EQ(drain(queue), c.popped) << c.what;
        EXPECT_EQ(queue.coalesced(), c.coalesced) << c.what;
        EXPECT_EQ(queue.dropped(), c.dropped) << c.what;
    }
}

TEST(OSCMessageQueueTest, AValueAlreadyTakenIsNotReplacedAndWakeUpsFollowTheEmptyQueue) {
    OSCMessageQueue queue(8, valueKey);
    EXPECT_TRUE(queue.push(message("/v/a=1")));   // the first message wakes the consumer
    EXPECT_FALSE(queue.push(message("/v/b=1")));  // one wake-up until the consumer finds it empty
    ASSERT_EQ(text(*queue.pop()), "/v/a=1");
    // /v/a=1 is being acted on: a new value queues behind /v/b, and needs no wake-up of its own.
    EXPECT_FALSE(queue.push(message("/v/a=2")));
    EXPECT_EQ(drain(queue), (std::vector<std::string>{"/v/b=1", "/v/a=2"}));
    EXPECT_TRUE(queue.push(message("/v/a=3")));  // found empty: the next message wakes it again
    EXPECT_EQ(drain(queue), (std::vector<std::string>{"/v/a=3"}));
}

}  // namespace
}  // namespace ostrel
