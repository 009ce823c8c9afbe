#include "core/http/HTTPMessage.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(HTTPMessage, ParsesTheRequestLineLeniently) {
    struct Case {
        const char* head;
        bool parsed;
        const char* method;
        const char* path;
        const char* query;
    };
    const Case cases[] = {
        {"get /v1/state HTTP/1.1\r\n", true, "GET", "/v1/state", ""},
        {"GET /v1/snapshot.png?view=vector HTTP/1.1\r\n", true, "GET", "/v1/snapshot.png", "view=vector"},
        {"GET /v1/state? HTTP/1.1\r\n", true, "GET", "/v1/state", ""},
        {"GET ?view=split HTTP/1.1\r\n", true, "GET", "", "view=split"},
        {"GET /a?b?c HTTP/1.1\r\n", true, "GET", "/a", "b?c"},
        {"GET /%20x", true, "GET", "/%20x", ""},
        {"\r\n\r\n  post   /v1/open   HTTP/1.1", true, "POST", "/v1/open", ""},
        {"GET\v/v1/state HTTP/1.1", false, "", "", ""},  // a vertical tab ends the line
        {"GET", false, "", "", ""},
        {"GET \r\n/v1/state", false, "", "", ""},
        {"", false, "", "", ""},
        {"\r\n", false, "", "", ""},
    };
    for (const Case& c : cases) {
        const auto head = parseRequestHead(c.head);
        ASSERT_EQ(head.has_value(), c.parsed) << c.head;
        if (!head) continue;
        EXPECT_EQ(head->method, c.method) << c.head;
        EXPECT_EQ(head->path, c.path) << c.head;
        EXPECT_EQ(head->query, c.query) << c.head;
    }
}

TEST(HTTPMessage, ReadsHeaderFieldsAndContentLength) {
    const auto head = parseRequestHead(
        "POST /v1/params HTTP/1.1\r\nHost:  127.0.0.1:17940 \r\ncontent-LENGTH: 12\r\nX-Empty:\r\nno colon\r\n");
    ASSERT_TRUE(head);
    EXPECT_EQ(head->values("host"), std::vector<std::string>{"127.0.0.1:17940"});
    EXPECT_EQ(head->values("x-empty"), std::vector<std::string>{""});
    EXPECT_EQ(contentLength(*head), 12u);

    struct Case {
        const char* fields;
        std::optional<std::uint64_t> length;
    };
    const Case cases[] = {
        {"", 0},
        {"Content-Length: 0\r\n", 0},
        {"Content-Length: 5\r\nContent-Length: 5\r\n", 5},
        {"Content-Length: 5\r\nContent-Length: 6\r\n", std::nullopt},
        {"Content-Length: -1\r\n", std::nullopt},
        {"Content-Length: +1\r\n", std::nullopt},
        {"Content-Length: 1x\r\n", std::nullopt},
        {"Content-Length:\r\n", std::nullopt},
        {"Content-Length: 99999999999999999999999\r\n", std::nullopt},
    };
    for (const Case& c : cases) {
        const auto parsed = parseRequestHead(std::string("POST / HTTP/1.1\r\n") + c.fields);
        ASSERT_TRUE(parsed);
        EXPECT_EQ(contentLength(*parsed), c.length) << c.fields;
    }
}

TEST(HTTPMessage, FindsTheEndOfTheHead) {
    EXPECT_EQ(findHeadEnd("GET / HTTP/1.1\r\nHost: x\r\n\r\nbody"), 27u);
    EXPECT_EQ(findHeadEnd("GET / HTTP/1.1\n\nbody"), 16u);
    EXPECT_EQ(findHeadEnd("GET / HTTP/1.1\r\nHost: x\r\n"), std::nullopt);
    EXPECT_EQ(findHeadEnd(""), std::nullopt);
}

TEST(HTTPMessage, RefusesRequestsNamingAnotherSite) {
    struct Case {
        const char* fields;
        bool sameMachine;
    };
    const Case cases[] = {
        {"", true},
        {"Host: 127.0.0.1:17940\r\n", true},
        {"Host: localhost\r\n", true},
        {"Host: LocalHost:80\r\n", true},
        {"Host:\r\n", true},
        {"Origin: http://127.0.0.1:17940\r\n", true},
        {"Origin: http://localhost\r\n", true},
        {"Origin: http://localhost:5173\r\nHost: 127.0.0.1:17940\r\n", true},
        {"Host: evil.example\r\n", false},
        {"Host: evil.example:17940\r\n", false},
        {"Host: 127.0.0.1.evil.example\r\n", false},
        {"Host: localhost:abc\r\n", false},
        {"Host: localhost:\r\n", false},
        {"Host: 127.0.0.1\r\nHost: evil.example\r\n", false},
        {"Origin: null\r\n", false},
        {"Origin: https://localhost\r\n", false},
        {"Origin: http://evil.example\r\n", false},
        {"Origin: http://localhost.evil.example\r\n", false},
        {"Origin: http://127.0.0.1:80@evil.example\r\n", false},
    };
    for (const Case& c : cases) {
        const auto head = parseRequestHead(std::string("GET /v1/state HTTP/1.1\r\n") + c.fields);
        ASSERT_TRUE(head);
        EXPECT_EQ(isSameMachineRequest(*head), c.sameMachine) << c.fields;
    }
}

TEST(HTTPMessage, ArgsAreTheBodysTopLevelObjectOnly) {
    EXPECT_EQ((HTTPRequest{"POST", "/", "", R"({"threshold": 12, "a": [1]})"}.args()),
              Json({{"threshold", 12}, {"a", {1}}}));
    EXPECT_EQ((HTTPRequest{"POST", "/", "", "{\"name\": \"caf\xE9\"}"}.args()), Json({{"name", "caf\uFFFD"}}));
    for (const char* body : {"", "[1, 2]", "null", "12", "\"text\"", "{broken", "{} {}", "{\"a\": 1e400}"}) {
        EXPECT_EQ((HTTPRequest{"POST", "/", "", body}.args()), Json::object()) << body;
    }
}

TEST(HTTPMessage, WritesTheResponseHeadWithTwoReasonPhrases) {
    EXPECT_EQ(responseHead(200, kJSONContentType, 11),
              "HTTP/1.1 200 OK\r\nContent-Type: application/json; charset=utf-8\r\nContent-Length: 11\r\n"
              "Connection: close\r\n\r\n");
    EXPECT_EQ(responseHead(404, "image/png", 0),
              "HTTP/1.1 404 Bad Request\r\nContent-Type: image/png\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    EXPECT_TRUE(responseHead(500, kJSONContentType, 1).starts_with("HTTP/1.1 500 Bad Request\r\n"));
    EXPECT_EQ(HTTPResponse{}.body, R"({"ok":true})");
    EXPECT_EQ(HTTPResponse::error(503, "busy").body, "{\n  \"error\": \"busy\"\n}");
}

}  // namespace
}  // namespace ostrel
