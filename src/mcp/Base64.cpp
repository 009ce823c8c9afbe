// RFC 4648 base 64, one pass over the input.
#include "mcp/Base64.h"

#include <cstdint>

namespace ostrel::mcp::Base64 {

std::string encode(std::string_view bytes) {
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t at = 0;
    const auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[i])); };
    for (; at + 3 <= bytes.size(); at += 3) {
        const std::uint32_t group = (byte(at) << 16) | (byte(at + 1) << 8) | byte(at + 2);
        out += alphabet[(group >> 18) & 63];
        out += alphabet[(group >> 12) & 63];
        out += alphabet[(group >> 6) & 63];
        out += alphabet[group & 63];
    }
    const std::size_t rest = bytes.size() - at;
    if (rest > 0) {
        std::uint32_t group = byte(at) << 16;
        if (rest == 2) group |= byte(at + 1) << 8;
        out += alphabet[(group >> 18) & 63];
        out += alphabet[(group >> 12) & 63];
        out += rest == 2 ? alphabet[(group >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

}  // namespace ostrel::mcp::Base64
