#include "core/support/text/Base64.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(Base64, EncodesRfc4648TestVectors) {
    const std::pair<std::string, std::string> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\xfb\xff\0", 3), "+/8A"},
    };
    for (const auto& [bytes, text] : vectors) {
        EXPECT_EQ(Base64::encode(bytes), text) << bytes;
        EXPECT_EQ(Base64::decode(text), bytes) << text;
    }
    EXPECT_EQ(Base64::encode(std::string(300, 'x')).find('\n'), std::string::npos);
}

TEST(Base64, DecodingRefusesWhatIsNotStrictBase64) {
    for (const char* text :
         {"Zg", "Zg=", "Zg===", "Z===", "Zm=v", "=Zm9", "Zm9v\n", " Zm9v", "Zm9-", "Zm9_", "Zm9\xc3\xa9"}) {
        EXPECT_EQ(Base64::decode(text), std::nullopt) << text;
    }
}

}  // namespace
}  // namespace ostrel
