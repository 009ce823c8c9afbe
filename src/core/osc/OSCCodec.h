// Open Sound Control 1.0 codec for the subset Ostrel understands: messages
// with the type tags i, f, s, T and F, and "#bundle" packets nested to any
// depth (time tags skipped; every message is delivered at once).
//
// Source: The Open Sound Control 1.0 Specification (M. Wright, CNMAT, 2002).
// Decoding is linear in the packet size and never fails: malformed input
// yields fewer messages, or messages with fewer arguments.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace ostrel::OSCCodec {

struct Message;

/// One argument of a message, with lenient conversions to the types the
/// command handlers need.
class Value {
public:
    [[nodiscard]] static Value integer(std::int32_t value) noexcept { return Value(Storage(value)); }
    [[nodiscard]] static Value real(float value) noexcept { return Value(Storage(value)); }
    [[nodiscard]] static Value text(std::string value) { return Value(Storage(std::move(value))); }
    [[nodiscard]] static Value boolean(bool value) noexcept { return Value(Storage(value)); }

    [[nodiscard]] bool isInt() const noexcept { return std::holds_alternative<std::int32_t>(storage_); }
    [[nodiscard]] bool isFloat() const noexcept { return std::holds_alternative<float>(storage_); }
    [[nodiscard]] bool isString() const noexcept { return std::holds_alternative<std::string>(storage_); }
    [[nodiscard]] bool isBool() const noexcept { return std::holds_alternative<bool>(storage_); }

    /// int: not 0; float: not ±0 (NaN is true); string: lower-cased and trimmed,
    /// "1" "true" "on" "yes" "oui" / "0" "false" "off" "no" "non"; bool: itself.
    [[nodiscard]] std::optional<bool> boolValue() const;
    /// int and float widened; string with "," read as "." and parsed whole in
    /// the C locale (exponents accepted); bool 1.0 or 0.0.
    [[nodiscard]] std::optional<double> doubleValue() const;
    /// float rounded half away from zero (none when not finite or beyond the
    /// 64-bit range); string: optional sign and decimal digits only; bool 1 or 0.
    [[nodiscard]] std::optional<std::int64_t> intValue() const;
    /// Decimal text; a float as its shortest round-trip text, always with a
    /// point or an exponent ("1.0"); a bool as "1" or "0".
    [[nodiscard]] std::string stringValue() const;

    /// Equal when the case and the payload are equal; floats compare as
    /// floating-point numbers (NaN differs from itself, -0 equals +0).
    friend bool operator==(const Value& a, const Value& b) noexcept;

private:
    friend std::vector<std::uint8_t> encode(const Message& message);
    using Storage = std::variant<std::int32_t, float, std::string, bool>;
    explicit Value(Storage storage) noexcept : storage_(std::move(storage)) {}
    Storage storage_;
};

struct Message {
    std::string address;           ///< the address pattern as received
    std::vector<Value> arguments;  ///< in type-tag order

    friend bool operator==(const Message&, const Message&) = default;
};

/// Every message of a packet (a message, or a bundle of packets), in order.
[[nodiscard]] std::vector<Message> decode(std::span<const std::uint8_t> packet);

/// The bytes of one message: padded address, type tags, big-endian payloads.
[[nodiscard]] std::vector<std::uint8_t> encode(const Message& message);

/// A "#bundle" packet with an immediate time tag holding `elements` (each an
/// encoded message or bundle), each preceded by its 32-bit big-endian size.
[[nodiscard]] std::vector<std::uint8_t> encodeBundle(const std::vector<std::vector<std::uint8_t>>& elements);

}  // namespace ostrel::OSCCodec
