// RFC 4648 base 64, one pass over the input.
#include "core/support/text/Base64.h"

#include <cstdint>

namespace ostrel::Base64 {

namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

/// The value of one character of the alphabet, or -1.
int sextet(char c) noexcept {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

std::string encode(std::string_view bytes) {
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

std::optional<std::string> decode(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::size_t padding = 0;
    while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') ++padding;
    const std::string_view digits = text.substr(0, text.size() - padding);
    std::string out;
    out.reserve(digits.size() / 4 * 3 + 2);
    std::uint32_t group = 0;
    std::size_t count = 0;
    for (const char c : digits) {
        const int value = sextet(c);
        if (value < 0) return std::nullopt;  // a stray "=", white space, another alphabet
        group = (group << 6) | static_cast<std::uint32_t>(value);
        if (++count == 4) {
            out += static_cast<char>((group >> 16) & 0xFF);
            out += static_cast<char>((group >> 8) & 0xFF);
            out += static_cast<char>(group & 0xFF);
            group = 0;
            count = 0;
        }
    }
    if (count == 3) {  // one "=": two bytes
        group <<= 6;
        out += static_cast<char>((group >> 16) & 0xFF);
        out += static_cast<char>((group >> 8) & 0xFF);
    } else if (count == 2) {  // "==": one byte
        group <<= 12;
        out += static_cast<char>((group >> 16) & 0xFF);
    }
    return out;
}

}  // namespace ostrel::Base64
