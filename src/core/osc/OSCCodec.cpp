#include "core/osc/OSCCodec.h"

#include "core/support/text/NumberFormat.h"
#include "core/support/text/Utf8.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cctype>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace ostrel::OSCCodec {
namespace {

// ---- conversions -----------------------------------------------------------

// Unicode white space and line ends (the Zs class plus U+0009...U+000D, U+0085,
// U+2028, U+2029), encoded as UTF-8.
constexpr std::array<std::string_view, 25> kWhiteSpace = {
    "\t",           "\n",           "\v",           "\f",           "\r",           " ",
    "\xC2\x85",     "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82",
    "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88",
    "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F",
    "\xE3\x80\x80"};

std::string_view trimmedWhiteSpace(std::string_view text) noexcept {
    bool changed = true;
    while (changed && !text.empty()) {
        changed = false;
        for (std::string_view space : kWhiteSpace) {
            if (text.starts_with(space)) {
                text.remove_prefix(space.size());
                changed = true;
            }
            if (text.ends_with(space)) {
                text.remove_suffix(space.size());
                changed = true;
            }
        }
    }
    return text;
}

std::optional<bool> boolFromText(const std::string& text) {
    const std::string lowered = asciiLower(text);
    const std::string_view word = trimmedWhiteSpace(lowered);
    for (std::string_view yes : {"1", "true", "on", "yes", "oui"}) {
        if (word == yes) return true;
    }
    for (std::string_view no : {"0", "false", "off", "no", "non"}) {
        if (word == no) return false;
    }
    return std::nullopt;
}

// strtod in the C locale whatever the process locale says.
locale_t cLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

std::optional<double> doubleFromText(std::string text) {
    for (char& c : text) {
        if (c == ',') c = '.';
    }
    // strtod skips leading blanks and stops at a NUL: both make the text unreadable here.
    if (text.empty() || std::isspace(static_cast<unsigned char>(text.front())) != 0) return std::nullopt;
    if (text.find('\0') != std::string::npos) return std::nullopt;
    char* end = nullptr;
    const double value = strtod_l(text.c_str(), &end, cLocale());
    if (end != text.c_str() + text.size()) return std::nullopt;
    return value;
}

std::optional<std::int64_t> intFromText(std::string_view text) noexcept {
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty()) return std::nullopt;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    // Parse with the sign so that the most negative value is in range.
    std::string signedDigits = negative ? "-" : "";
    signedDigits += digits;
    std::int64_t value = 0;
    const auto [ptr, ec] = std::from_chars(signedDigits.data(), signedDigits.data() + signedDigits.size(), value);
    if (ec != std::errc() || ptr != signedDigits.data() + signedDigits.size()) return std::nullopt;
    return value;
}

std::string floatText(float value) {
    std::string text = fmt::format("{}", value);
    if (text.find_first_of(".en") == std::string::npos) text += ".0";
    return text;
}

// ---- decoding --------------------------------------------------------------

using Bytes = std::span<const std::uint8_t>;

std::uint32_t readBigEndian32(Bytes data, std::size_t at) noexcept {
    return (std::uint32_t{data[at]} << 24) | (std::uint32_t{data[at + 1]} << 16) | (std::uint32_t{data[at + 2]} << 8) |
           std::uint32_t{data[at + 3]};
}

// A NUL-terminated string padded to a multiple of 4 bytes. A missing NUL ends
// the string at the end of the packet; the index never passes the end.
std::optional<std::string> readPaddedString(Bytes data, std::size_t& index) {
    if (index >= data.size()) return std::nullopt;
    std::size_t end = index;
    while (end < data.size() && data[end] != 0) ++end;
    const std::size_t length = end - index;
    std::string text = lossyUtf8(std::string_view(reinterpret_cast<const char*>(data.data() + index), length));
    const std::size_t padded = (length + 1 + 3) / 4 * 4;
    index = std::min(data.size(), index + padded);
    return text;
}

bool isBundle(Bytes data) noexcept { return data.size() >= 16 && std::memcmp(data.data(), "#bundle", 7) == 0; }

void decodeMessage(Bytes data, std::vector<Message>& out) {
    std::size_t index = 0;
    std::optional<std::string> address = readPaddedString(data, index);
    if (!address || !address->starts_with('/')) return;
    Message message{std::move(*address), {}};

    const std::optional<std::string> tags = readPaddedString(data, index);
    if (tags && tags->starts_with(',')) {
        for (std::size_t t = 1; t < tags->size(); ++t) {
            switch ((*tags)[t]) {
                case 'i':
                    if (data.size() - index >= 4) {
                        message.arguments.push_back(
                            Value::integer(static_cast<std::int32_t>(readBigEndian32(data, index))));
                        index += 4;
                    }
                    break;
                case 'f':
                    if (data.size() - index >= 4) {
                        message.arguments.push_back(Value::real(std::bit_cast<float>(readBigEndian32(data, index))));
                        index += 4;
                    }
                    break;
                case 's':
                    if (std::optional<std::string> text = readPaddedString(data, index)) {
                        message.arguments.push_back(Value::text(std::move(*text)));
                    }
                    break;
                case 'T':
                    message.arguments.push_back(Value::boolean(true));
                    break;
                case 'F':
                    message.arguments.push_back(Value::boolean(false));
                    break;
                default:
                    break;  // unsupported tags consume nothing
            }
        }
    }
    out.push_back(std::move(message));
}

void appendBigEndian32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 24));
    out.push_back(static_cast<std::uint8_t>(value >> 16));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void appendPaddedString(std::vector<std::uint8_t>& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
    const std::size_t padded = (text.size() + 1 + 3) / 4 * 4;
    out.insert(out.end(), padded - text.size(), 0);
}

}  // namespace

// ---- Value -------------------------------------------------------------------

std::optional<bool> Value::boolValue() const {
    return std::visit(
        [](const auto& v) -> std::optional<bool> {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::int32_t>)
                return v != 0;
            else if constexpr (std::is_same_v<T, float>)
                return !(v == 0.0f);
            else if constexpr (std::is_same_v<T, std::string>)
                return boolFromText(v);
            else
                return v;
        },
        storage_);
}

std::optional<double> Value::doubleValue() const {
    return std::visit(
        [](const auto& v) -> std::optional<double> {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::int32_t>)
                return static_cast<double>(v);
            else if constexpr (std::is_same_v<T, float>)
                return static_cast<double>(v);
            else if constexpr (std::is_same_v<T, std::string>)
                return doubleFromText(v);
            else
                return v ? 1.0 : 0.0;
        },
        storage_);
}

std::optional<std::int64_t> Value::intValue() const {
    return std::visit(
        [](const auto& v) -> std::optional<std::int64_t> {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::int32_t>)
                return v;
            else if constexpr (std::is_same_v<T, float>)
                return roundedInt64(static_cast<double>(v));
            else if constexpr (std::is_same_v<T, std::string>)
                return intFromText(v);
            else
                return v ? 1 : 0;
        },
        storage_);
}

std::string Value::stringValue() const {
    return std::visit(
        [](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::int32_t>)
                return integerText(v);
            else if constexpr (std::is_same_v<T, float>)
                return floatText(v);
            else if constexpr (std::is_same_v<T, std::string>)
                return v;
            else
                return v ? "1" : "0";
        },
        storage_);
}

bool operator==(const Value& a, const Value& b) noexcept { return a.storage_ == b.storage_; }

// ---- packets -------------------------------------------------------------------

std::vector<Message> decode(Bytes packet) {
    std::vector<Message> messages;
    if (packet.empty()) return messages;
    if (!isBundle(packet)) {
        decodeMessage(packet, messages);
        return messages;
    }
    // Bundles nest to any depth: walk them with an explicit stack so that a
    // large packet of nested bundles cannot exhaust the thread's stack.
    struct Frame {
        Bytes data;
        std::size_t offset;
    };
    std::vector<Frame> stack{{packet, 16}};
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.data.size() - frame.offset < 4) {
            stack.pop_back();
            continue;
        }
        const std::uint32_t size = readBigEndian32(frame.data, frame.offset);
        const std::size_t start = frame.offset + 4;
        if (size == 0 || size > frame.data.size() - start) {
            stack.pop_back();
            continue;
        }
        const Bytes element = frame.data.subspan(start, size);
        frame.offset = start + size;
        if (isBundle(element)) {
            stack.push_back({element, 16});  // invalidates `frame`
        } else {
            decodeMessage(element, messages);
        }
    }
    return messages;
}

std::vector<std::uint8_t> encode(const Message& message) {
    std::vector<std::uint8_t> out;
    appendPaddedString(out, message.address);
    std::string tags = ",";
    for (const Value& value : message.arguments) {
        if (value.isInt())
            tags += 'i';
        else if (value.isFloat())
            tags += 'f';
        else if (value.isString())
            tags += 's';
        else
            tags += *value.boolValue() ? 'T' : 'F';
    }
    appendPaddedString(out, tags);
    for (const Value& value : message.arguments) {
        if (const auto* i = std::get_if<std::int32_t>(&value.storage_)) {
            appendBigEndian32(out, static_cast<std::uint32_t>(*i));
        } else if (const auto* f = std::get_if<float>(&value.storage_)) {
            appendBigEndian32(out, std::bit_cast<std::uint32_t>(*f));
        } else if (const auto* s = std::get_if<std::string>(&value.storage_)) {
            appendPaddedString(out, *s);
        }
    }
    return out;
}

std::vector<std::uint8_t> encodeBundle(const std::vector<std::vector<std::uint8_t>>& elements) {
    std::vector<std::uint8_t> out{'#', 'b', 'u', 'n', 'd', 'l', 'e', 0};
    appendBigEndian32(out, 0);
    appendBigEndian32(out, 1);  // time tag 1: "immediately"
    for (const std::vector<std::uint8_t>& element : elements) {
        appendBigEndian32(out, static_cast<std::uint32_t>(element.size()));
        out.insert(out.end(), element.begin(), element.end());
    }
    return out;
}

}  // namespace ostrel::OSCCodec
