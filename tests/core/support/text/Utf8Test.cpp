#include "core/support/text/Utf8.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

constexpr const char* fffd = "\xef\xbf\xbd";

TEST(Utf8, ReplacesEachMaximalIllFormedSubpart) {
    const std::string r = fffd;
    struct Case {
        std::string bytes;
        std::string expected;
    };
    const Case cases[] = {
        {"plain ascii", "plain ascii"},
        {"\xc3\xa9\xe2\x80\x94\xf0\x9f\x98\x80", "\xc3\xa9\xe2\x80\x94\xf0\x9f\x98\x80"},  // é — 😀
        {"\x80", r},
        {"\xff\xfe", r + r},
        {"\xc0\xaf", r + r},                  // overlong "/"
        {"\xe0\x80\xaf", r + r + r},          // overlong, second byte out of range
        {"\xe2\x82", r},                      // truncated at the end
        {"\xe2\x82x", r + "x"},               // truncated before ASCII
        {"\xf0\x9f\x98", r},                  // truncated 4-byte sequence is one subpart
        {"\xed\xa0\x80", r + r + r},          // surrogate D800
        {"\xf4\x90\x80\x80", r + r + r + r},  // above U+10FFFF
        {"\xf5", r},
        {std::string("a\0b", 3), std::string("a\0b", 3)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(lossyUtf8(c.bytes), c.expected) << ::testing::PrintToString(c.bytes);
        EXPECT_EQ(isValidUtf8(c.bytes), c.bytes == c.expected) << ::testing::PrintToString(c.bytes);
        EXPECT_TRUE(isValidUtf8(lossyUtf8(c.bytes)));
    }
}

TEST(Utf8, TrimsUnicodeWhitespaceAndLineEnds) {
    struct Case {
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"", ""},
        {" \t\r\n\v\f", ""},
        {"\xc2\x85\xc2\xa0x\xe2\x80\xa9\xe3\x80\x80", "x"},  // NEL, NBSP, PARAGRAPH SEPARATOR, IDEOGRAPHIC SPACE
        {"\xe2\x80\x8b{}\xe2\x80\x8b", "\xe2\x80\x8b{}\xe2\x80\x8b"},  // ZERO WIDTH SPACE is not white space
        {" a b ", "a b"},
        {"\xc3\xa9 ", "\xc3\xa9"},
    };
    for (const Case& c : cases) EXPECT_EQ(trimmedWhitespace(c.text), c.expected) << ::testing::PrintToString(c.text);
}

}  // namespace
}  // namespace ostrel
