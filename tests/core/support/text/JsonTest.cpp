#include "core/support/text/Json.h"
#include "core/support/text/Utf8.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(Json, SortedKeysAndUnescapedSlashes) {
    Json doc = Json::object();
    doc["b"] = 1;
    doc["\xC3\xA9t\xC3\xA9"] = "été";  // UTF-8 bytes sort after ASCII
    doc["B"] = "a/b";
    doc["a"] = Json::array();
    EXPECT_EQ(compactJson(doc), "{\"B\":\"a/b\",\"a\":[],\"b\":1,\"\xC3\xA9t\xC3\xA9\":\"\xC3\xA9t\xC3\xA9\"}");
    EXPECT_EQ(prettyJson(Json{{"path", "/tmp/x"}, {"n", 0.5}}), "{\n  \"n\": 0.5,\n  \"path\": \"/tmp/x\"\n}");
}

TEST(Json, InvalidUtf8IsReplacedNeverThrown) {
    const std::string replacement = "\xEF\xBF\xBD";
    struct Case {
        const char* name;
        std::string text;
    };
    const Case cases[] = {
        {"lone continuation byte", "a\x80z"},  {"invalid lead byte", "a\xFFz"},
        {"overlong slash", "a\xC0\xAFz"},      {"encoded surrogate", "a\xED\xA0\x80z"},
        {"truncated at the end", "a\xE2\x82"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string pretty;
        std::string compact;
        std::string repaired;
        ASSERT_NO_THROW(pretty = prettyJson(Json{{"sourceTitle", c.text}}));
        ASSERT_NO_THROW(compact = compactJson(Json::array({c.text})));
        ASSERT_NO_THROW(repaired = lossyUtf8(c.text));
        EXPECT_EQ(repaired.rfind("a" + replacement, 0), 0u) << repaired;
        EXPECT_EQ(Json::parse(pretty)["sourceTitle"].get<std::string>(), repaired);
        EXPECT_EQ(Json::parse(compact)[0].get<std::string>(), repaired);
    }
    EXPECT_EQ(lossyUtf8("d\xC3\xA9j\xC3\xA0 vu / \xF0\x9F\x96\x8A"), "d\xC3\xA9j\xC3\xA0 vu / \xF0\x9F\x96\x8A");
}

}  // namespace
}  // namespace ostrel
