// Well-formedness per Unicode Table 3-7 (well-formed UTF-8 byte sequences).
#include "core/support/text/Utf8.h"

#include <cstdint>

namespace ostrel {

namespace {

constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD";

// Length of the well-formed sequence at `at`, or 0 with `maximalSubpart` set to the length of
// the longest prefix that could still have begun a well-formed sequence (at least 1).
std::size_t sequenceLength(std::string_view bytes, std::size_t at, std::size_t& maximalSubpart) noexcept {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
    const std::uint8_t lead = byte(at);
    maximalSubpart = 1;
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    std::uint8_t low = 0x80;  // range of the second byte (Table 3-7)
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (at + i >= bytes.size()) return 0;
        const std::uint8_t next = byte(at + i);
        const bool inRange = i == 1 ? (next >= low && next <= high) : (next >= 0x80 && next <= 0xBF);
        if (!inRange) return 0;
        maximalSubpart = i + 1;
    }
    return length;
}

// Code point of the well-formed sequence of `length` bytes at `at`.
char32_t decoded(std::string_view bytes, std::size_t at, std::size_t length) noexcept {
    const auto byte = [&](std::size_t i) { return static_cast<char32_t>(static_cast<std::uint8_t>(bytes[at + i])); };
    switch (length) {
        case 1:
            return byte(0);
        case 2:
            return ((byte(0) & 0x1F) << 6) | (byte(1) & 0x3F);
        case 3:
            return ((byte(0) & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
        default:
            return ((byte(0) & 0x07) << 18) | ((byte(1) & 0x3F) << 12) | ((byte(2) & 0x3F) << 6) | (byte(3) & 0x3F);
    }
}

bool isWhitespace(char32_t c) noexcept {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

}  // namespace

bool isValidUtf8(std::string_view bytes) noexcept {
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t subpart = 0;
        const std::size_t length = sequenceLength(bytes, at, subpart);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

std::string lossyUtf8(std::string_view bytes) {
    std::size_t at = 0;
    std::size_t subpart = 0;
    while (at < bytes.size()) {
        const std::size_t length = sequenceLength(bytes, at, subpart);
        if (length == 0) break;
        at += length;
    }
    if (at == bytes.size()) return std::string(bytes);

    std::string out(bytes.substr(0, at));
    out.reserve(bytes.size() + 8);
    while (at < bytes.size()) {
        const std::size_t length = sequenceLength(bytes, at, subpart);
        if (length == 0) {
            out += replacementCharacter;
            at += subpart;
        } else {
            out.append(bytes.substr(at, length));
            at += length;
        }
    }
    return out;
}

std::string_view trimmedWhitespace(std::string_view text) noexcept {
    // Leading: walk forward one code point at a time.
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t subpart = 0;
        const std::size_t length = sequenceLength(text, begin, subpart);
        if (length == 0 || !isWhitespace(decoded(text, begin, length))) break;
        begin += length;
    }
    // Trailing: step back over continuation bytes to the start of the last code point.
    std::size_t end = text.size();
    while (end > begin) {
        std::size_t start = end - 1;
        while (start > begin && (static_cast<std::uint8_t>(text[start]) & 0xC0) == 0x80) --start;
        std::size_t subpart = 0;
        const std::size_t length = sequenceLength(text, start, subpart);
        if (length != end - start || !isWhitespace(decoded(text, start, length))) break;
        end = start;
    }
    return text.substr(begin, end - begin);
}

}  // namespace ostrel
