#include "mcp/Base64.h"

#include <gtest/gtest.h>

namespace ostrel::mcp {
namespace {

TEST(Base64, EncodesRfc4648TestVectors) {
    const std::pair<std::string, std::string> vectors[] = {
        {"", ""},           {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
        {std::string("\xfb\xff\0", 3), "+/8A"},
    };
    for (const auto& [bytes, text] : vectors) EXPECT_EQ(Base64::encode(bytes), text) << bytes;
    EXPECT_EQ(Base64::encode(std::string(300, 'x')).find('\n'), std::string::npos);
}

}  // namespace
}  // namespace ostrel::mcp
