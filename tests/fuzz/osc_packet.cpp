// One UDP datagram through the OSC decoder; every decoded message survives the lenient conversions
// and a round trip through the encoder.
#include "core/osc/OSCCodec.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace {

bool hasNaN(const ostrel::OSCCodec::Message& message) {
    for (const auto& value : message.arguments) {
        if (value.isFloat() && std::isnan(*value.doubleValue())) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostrel;
    const auto messages = OSCCodec::decode(std::span<const std::uint8_t>(data, size));
    for (const auto& message : messages) {
        for (const auto& value : message.arguments) {
            (void)value.boolValue();
            (void)value.doubleValue();
            (void)value.intValue();
            (void)value.stringValue();
        }
        const auto again = OSCCodec::decode(OSCCodec::encode(message));
        if (!hasNaN(message) && (again.size() != 1 || !(again.front() == message))) std::abort();
    }
    return 0;
}
