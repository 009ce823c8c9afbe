#include "core/osc/OSCCodec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string_view>

namespace ostrel {
namespace {

using OSCCodec::Message;
using OSCCodec::Value;
using Bytes = std::vector<std::uint8_t>;

Bytes bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes sized(const Bytes& element) {
    const auto n = static_cast<std::uint32_t>(element.size());
    return concat(
        {Bytes{std::uint8_t(n >> 24), std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n)}, element});
}

const Bytes kBundleHead = bytes(std::string_view("#bundle\0\0\0\0\0\0\0\0\1", 16));

TEST(OSCCodec, DecodesTheByteLayoutsOfMalformedAndPartialPackets) {
    using namespace std::string_view_literals;
    struct Case {
        const char* name;
        Bytes packet;
        std::vector<Message> expected;
    };
    const Case cases[] = {
        {"empty packet", {}, {}},
        {"address without type tags", bytes("/x\0\0"sv), {{"/x", {}}}},
        {"all five tags",
         bytes("/a\0\0,ifsTF\0\0\0\0\0\x07\x3F\0\0\0hi\0\0"sv),
         {{"/a",
           {Value::integer(7), Value::real(0.5f), Value::text("hi"), Value::boolean(true), Value::boolean(false)}}}},
        {"second int without payload", bytes("/a\0\0,ii\0\0\0\0\x2A"sv), {{"/a", {Value::integer(42)}}}},
        {"unknown tag consumes nothing",
         bytes("/a\0\0,di\0\x3F\xF0\0\0\0\0\0\0"sv),
         {{"/a", {Value::integer(0x3FF00000)}}}},
        {"no leading slash", bytes("x/y\0,i\0\0\0\0\0\1"sv), {}},
        {"type tags without comma", bytes("/a\0\0ii\0\0\0\0\0\1"sv), {{"/a", {}}}},
        {"string without NUL at the end", bytes("/a\0\0,s\0\0abcde"sv), {{"/a", {Value::text("abcde")}}}},
        {"string tag at the end of data", bytes("/a\0\0,sT\0"sv), {{"/a", {Value::boolean(true)}}}},
        {"15 bytes of #bundle is a message", bytes("#bundle\0\0\0\0\0\0\0\0"sv), {}},
        {"bundle whose first element has size 0",
         concat({kBundleHead, bytes("\0\0\0\0"sv), sized(bytes("/a\0\0"sv))}),
         {}},
        {"bundle element running past the end keeps earlier messages",
         concat({kBundleHead, sized(bytes("/a\0\0"sv)), bytes("\0\0\0\x40/b\0\0"sv)}),
         {{"/a", {}}}},
        {"bundle inside a bundle",
         concat({kBundleHead,
                 sized(concat({kBundleHead, sized(bytes("/a\0\0,i\0\0\0\0\0\1"sv)), sized(bytes("/b\0\0"sv))})),
                 sized(bytes("/c\0\0,T\0\0"sv))}),
         {{"/a", {Value::integer(1)}}, {"/b", {}}, {"/c", {Value::boolean(true)}}}},
        {"invalid UTF-8 is replaced", bytes("/\xFF\0\0,s\0\0\xC3\0\0\0"sv), {{"/\uFFFD", {Value::text("\uFFFD")}}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OSCCodec::decode(c.packet), c.expected) << c.name;
    }
}

TEST(OSCCodec, DecodesDeeplyNestedBundlesWithoutRecursion) {
    // 100000 levels would overflow the stack of a recursive decoder.
    constexpr std::uint32_t kLevels = 100000;
    const Bytes message = OSCCodec::encode({"/deep", {Value::integer(5)}});
    Bytes packet;
    for (std::uint32_t level = kLevels; level-- > 0;) {
        // The element inside this bundle: `level` more bundles (20 bytes each), then the message.
        const auto inner = static_cast<std::uint32_t>(message.size()) + 20 * level;
        packet.insert(packet.end(), kBundleHead.begin(), kBundleHead.end());
        for (int shift : {24, 16, 8, 0}) packet.push_back(static_cast<std::uint8_t>(inner >> shift));
    }
    packet.insert(packet.end(), message.begin(), message.end());
    const auto messages = OSCCodec::decode(packet);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].address, "/deep");
}

TEST(OSCCodec, EncodingRoundTripsMessagesAndBundles) {
    const Message first{
        "/ostrel/threshold",
        {Value::integer(-300), Value::real(-0.25f), Value::text(""), Value::text("abcd"), Value::boolean(false)}};
    const Message second{"/ostrel/paper", {Value::text("A5"), Value::real(1e30f), Value::boolean(true)}};
    const Bytes encoded = OSCCodec::encode(first);
    EXPECT_EQ(encoded.size() % 4, 0u);
    EXPECT_EQ(OSCCodec::decode(encoded), std::vector<Message>{first});
    // An empty string still takes four bytes, a four-letter one eight.
    EXPECT_EQ(OSCCodec::encode({"/a", {Value::text("")}}), bytes(std::string_view("/a\0\0,s\0\0\0\0\0\0", 12)));
    EXPECT_EQ(OSCCodec::decode(OSCCodec::encodeBundle({encoded, OSCCodec::encodeBundle({OSCCodec::encode(second)})})),
              (std::vector<Message>{first, second}));
}

TEST(OSCCodecValue, EqualityComparesCaseAndPayload) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_NE(Value::real(nan), Value::real(nan));
    EXPECT_EQ(Value::real(-0.0f), Value::real(0.0f));
    EXPECT_NE(Value::integer(1), Value::boolean(true));
    EXPECT_NE(Value::integer(1), Value::real(1.0f));
    EXPECT_NE(Value::text("a"), Value::text("b"));
    EXPECT_NE(Value::text("1"), Value::integer(1));
    EXPECT_NE(Value::integer(1), Value::integer(2));
}

TEST(OSCCodecValue, IntValueRoundsHalvesAwayAndRefusesWhatDoesNotFit) {
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        Value value;
        std::optional<std::int64_t> expected;
    };
    const Case cases[] = {
        {Value::integer(-7), -7},
        {Value::real(2.5f), 3},
        {Value::real(-2.5f), -3},
        {Value::real(0.4f), 0},
        {Value::real(127.5f), 128},
        {Value::real(std::numeric_limits<float>::quiet_NaN()), std::nullopt},
        {Value::real(inf), std::nullopt},
        {Value::real(-inf), std::nullopt},
        {Value::real(1e19f), std::nullopt},
        {Value::real(-9.2233720e18f), std::numeric_limits<std::int64_t>::min()},
        {Value::text("+42"), 42},
        {Value::text("-42"), -42},
        {Value::text(" 42"), std::nullopt},
        {Value::text("42 "), std::nullopt},
        {Value::text("128.0"), std::nullopt},
        {Value::text("+-1"), std::nullopt},
        {Value::text("+"), std::nullopt},
        {Value::text(""), std::nullopt},
        {Value::text("9223372036854775807"), std::numeric_limits<std::int64_t>::max()},
        {Value::text("9223372036854775808"), std::nullopt},
        {Value::text("-9223372036854775808"), std::numeric_limits<std::int64_t>::min()},
        {Value::boolean(true), 1},
        {Value::boolean(false), 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.value.intValue(), c.expected) << c.value.stringValue();
    }
}

TEST(OSCCodecValue, DoubleValueReadsDecimalCommasAndWholeTextsOnly) {
    struct Case {
        Value value;
        std::optional<double> expected;
    };
    const Case cases[] = {
        {Value::integer(3), 3.0},
        {Value::real(0.1f), static_cast<double>(0.1f)},
        {Value::text("0,75"), 0.75},
        {Value::text("0,25"), 0.25},
        {Value::text("1e3"), 1000.0},
        {Value::text("-2.5E-1"), -0.25},
        {Value::text("+4"), 4.0},
        {Value::text(" 1"), std::nullopt},
        {Value::text("1 "), std::nullopt},
        {Value::text("1x"), std::nullopt},
        {Value::text("1,2,3"), std::nullopt},
        {Value::text(""), std::nullopt},
        {Value::text("abc"), std::nullopt},
        {Value::boolean(true), 1.0},
        {Value::boolean(false), 0.0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.value.doubleValue(), c.expected) << c.value.stringValue();
    }
    EXPECT_TRUE(std::isnan(*Value::text("nan").doubleValue()));
    EXPECT_TRUE(std::isnan(*Value::real(std::numeric_limits<float>::quiet_NaN()).doubleValue()));
}

TEST(OSCCodecValue, BoolValueAcceptsTheFrenchAndEnglishWords) {
    struct Case {
        Value value;
        std::optional<bool> expected;
    };
    const Case cases[] = {
        {Value::integer(2), true},           {Value::integer(0), false},
        {Value::real(-0.0f), false},         {Value::real(0.0f), false},
        {Value::real(1e-30f), true},         {Value::real(std::numeric_limits<float>::quiet_NaN()), true},
        {Value::text(" Oui \n"), true},      {Value::text("\u00A0YES\u2028"), true},
        {Value::text("on"), true},           {Value::text("1"), true},
        {Value::text("NON"), false},         {Value::text("\tOff"), false},
        {Value::text("0"), false},           {Value::text("maybe"), std::nullopt},
        {Value::text("o ui"), std::nullopt}, {Value::text(""), std::nullopt},
        {Value::boolean(true), true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.value.boolValue(), c.expected) << c.value.stringValue();
    }
}

TEST(OSCCodecValue, StringValueGivesShortestFloatTextsWithAPoint) {
    EXPECT_EQ(Value::real(1.0f).stringValue(), "1.0");
    EXPECT_EQ(Value::real(0.1f).stringValue(), "0.1");
    EXPECT_EQ(Value::real(-2.5f).stringValue(), "-2.5");
    EXPECT_EQ(Value::real(16777216.0f).stringValue(), "16777216.0");
    EXPECT_EQ(Value::real(1e20f).stringValue(), "1e+20");
    EXPECT_EQ(Value::integer(-7).stringValue(), "-7");
    EXPECT_EQ(Value::text("A5").stringValue(), "A5");
    EXPECT_EQ(Value::boolean(true).stringValue(), "1");
    EXPECT_EQ(Value::boolean(false).stringValue(), "0");
    // The text reads back as the same float.
    for (float f : {0.3f, 1.0f / 3.0f, 123456.7f, 3.4e38f, 1e-30f}) {
        EXPECT_EQ(std::stof(Value::real(f).stringValue()), f);
    }
}

}  // namespace
}  // namespace ostrel
