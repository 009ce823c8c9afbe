#include "core/support/system/PortNumber.h"

#include <cstdlib>

namespace ostrel {

std::optional<std::uint16_t> parsePortNumber(std::string_view text) noexcept {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
        if (value > 65535) return std::nullopt;
    }
    if (negative && value != 0) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

std::uint16_t portFromEnvironment(const char* name, std::uint16_t fallback) noexcept {
    const char* text = std::getenv(name);
    if (text == nullptr) return fallback;
    return parsePortNumber(text).value_or(fallback);
}

std::uint16_t oscInPortFromEnvironment() noexcept {
    return portFromEnvironment("OSTREL_OSC_IN_PORT", kOstrelDefaultOSCInPort);
}

std::uint16_t apiPortFromEnvironment() noexcept {
    return portFromEnvironment("OSTREL_API_PORT", kOstrelDefaultHTTPPort);
}

}  // namespace ostrel
