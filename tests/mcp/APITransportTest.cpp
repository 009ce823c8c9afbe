#include "mcp/APITransport.h"

#include "testsupport/LoopbackHttpStub.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

namespace ostrel::mcp {
namespace {

using test::LoopbackHttpStub;
using test::StubAnswer;

TEST(APIBaseURL, ReadsOstrelApiPortAsWholeSignedDecimal) {
    struct Case {
        std::optional<std::string> variable;
        std::string expected;
    };
    const Case cases[] = {
        {std::nullopt, "http://127.0.0.1:17940"},
        {"", "http://127.0.0.1:17940"},
        {"8080", "http://127.0.0.1:8080"},
        {"+0080", "http://127.0.0.1:80"},
        {"-1", "http://127.0.0.1:-1"},
        {"-0", "http://127.0.0.1:0"},
        {"70000", "http://127.0.0.1:70000"},
        {"9223372036854775807", "http://127.0.0.1:9223372036854775807"},
        {"-9223372036854775808", "http://127.0.0.1:-9223372036854775808"},
        {"9223372036854775808", "http://127.0.0.1:17940"},
        {"-9223372036854775809", "http://127.0.0.1:17940"},
        {"99999999999999999999999", "http://127.0.0.1:17940"},
        {" 8080", "http://127.0.0.1:17940"},
        {"8080 ", "http://127.0.0.1:17940"},
        {"80a", "http://127.0.0.1:17940"},
        {"+", "http://127.0.0.1:17940"},
        {"-", "http://127.0.0.1:17940"},
        {"+-5", "http://127.0.0.1:17940"},
        {"0x50", "http://127.0.0.1:17940"},
        {"\xd9\xa8", "http://127.0.0.1:17940"},  // ARABIC-INDIC DIGIT EIGHT is not an ASCII digit
    };
    for (const Case& c : cases) {
        std::map<std::string, std::string> environment{{"OTHER", "1"}};
        if (c.variable) environment["OSTREL_API_PORT"] = *c.variable;
        EXPECT_EQ(apiBaseURL(environment), c.expected) << "OSTREL_API_PORT=" << c.variable.value_or("(unset)");
    }
}

TEST(ProxyErrorText, UnreachableNamesBaseAndInstalledApplication) {
    const ProxyError error = ProxyError::unreachable("http://127.0.0.1:17940");
    EXPECT_EQ(error.kind(), ProxyError::Kind::unreachable);
    EXPECT_EQ(error.description(), "Ostrel is not reachable at http://127.0.0.1:17940 \u2014 launch " +
                                       std::string(applicationPath()) + " and retry.");
    EXPECT_TRUE(applicationPath().starts_with("/"));
    EXPECT_TRUE(applicationPath().ends_with("/Ostrel"));
    EXPECT_EQ(applicationPath().find("/Applications/"), std::string_view::npos);

    const ProxyError bad = ProxyError::badArguments("bad path /x y");
    EXPECT_EQ(bad.kind(), ProxyError::Kind::badArguments);
    EXPECT_EQ(bad.description(), "bad path /x y");
    EXPECT_STREQ(bad.what(), "bad path /x y");
}

class CurlTransport : public ::testing::Test {
protected:
    static std::map<std::string, StubAnswer> answers() {
        using namespace std::string_literals;
        return {
            {"/v1/state", {200, {{"Content-Type", "application/json; charset=utf-8"}}, R"({"ok":true})"}},
            {"/v1/export",
             {400,
              {{"Content-Type", "application/json; charset=utf-8"}},
              R"({"error":"No active vectorization result"})"}},
            {"/v1/empty", {200, {{"content-type", "text/plain"}}, ""}},
            {"/v1/snapshot.png?view=overlay", {200, {{"Content-Type", "image/png"}}, test::samplePngBytes()}},
            {"/v1/headers",
             {200,
              {{"X-Twice", "first"}, {"x-TWICE", "second"}, {"CONTENT-TYPE", "Text/Plain"}},
              "bad \xff\xfe bytes"s}},
            {"/v1/silent", {200, {}, "", StubAnswer::Behaviour::silent}},
            {"/v1/dropped", {200, {}, "", StubAnswer::Behaviour::closeWithoutAnswer}},
        };
    }

    LoopbackHttpStub stub{answers()};
    Transport transport = urlSessionTransport(stub.base(), 30.0);
};

TEST_F(CurlTransport, GetSendsNoBodyNoContentTypeNoExpect) {
    const APIResponse response = transport("GET", "/v1/state", std::nullopt);
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.data, R"({"ok":true})");
    EXPECT_EQ(response.contentType, "application/json; charset=utf-8");
    EXPECT_EQ(response.headers.at("content-type"), "application/json; charset=utf-8");
    EXPECT_EQ(response.headers.at("connection"), "close");

    const auto requests = stub.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/v1/state");
    EXPECT_EQ(requests[0].headers.at("host"), "127.0.0.1:" + std::to_string(stub.port()));
    EXPECT_FALSE(requests[0].headers.contains("content-type"));
    EXPECT_FALSE(requests[0].headers.contains("expect"));
    EXPECT_TRUE(requests[0].body.empty());
}

TEST_F(CurlTransport, PostSendsJsonBodyWithContentTypeAndNoExpect) {
    // libcurl asks for "100-continue" before a body over 1 MiB unless told not to.
    const std::string large = R"({"path":")" + std::string(2 * 1024 * 1024, 'a') + R"("})";
    for (const std::string& body : {std::string(R"({"path":"/tmp/a b.png"})"), large}) {
        const APIResponse response = transport("POST", "/v1/export", body);
        EXPECT_EQ(response.status, 400) << "any status is a transport success";
        EXPECT_EQ(response.data, R"({"error":"No active vectorization result"})");
    }
    const auto requests = stub.requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const auto& request : requests) {
        EXPECT_EQ(request.method, "POST");
        EXPECT_EQ(request.target, "/v1/export");
        EXPECT_EQ(request.headers.at("content-type"), "application/json; charset=utf-8");
        EXPECT_FALSE(request.headers.contains("expect"));
    }
    EXPECT_EQ(requests[0].body, R"({"path":"/tmp/a b.png"})");
    EXPECT_EQ(requests[1].body, large);
}

TEST_F(CurlTransport, PostWithoutBodyHasNoContentType) {
    const APIResponse response = transport("POST", "/v1/open", std::nullopt);
    EXPECT_EQ(response.status, 404);
    EXPECT_EQ(response.data, R"({"error":"not found"})");
    const auto requests = stub.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_FALSE(requests[0].headers.contains("content-type"));
    EXPECT_TRUE(requests[0].body.empty());
}

TEST_F(CurlTransport, AnswersKeepBytesAndLowerCaseHeaderNames) {
    const APIResponse png = transport("GET", "/v1/snapshot.png?view=overlay", std::nullopt);
    EXPECT_EQ(png.status, 200);
    EXPECT_EQ(png.data, test::samplePngBytes());
    EXPECT_EQ(png.contentType, "image/png");

    const APIResponse empty = transport("GET", "/v1/empty", std::nullopt);
    EXPECT_EQ(empty.status, 200);
    EXPECT_TRUE(empty.data.empty());
    EXPECT_EQ(empty.contentType, "text/plain");

    const APIResponse odd = transport("GET", "/v1/headers", std::nullopt);
    EXPECT_EQ(odd.data, "bad \xff\xfe bytes");
    EXPECT_EQ(odd.headers.at("x-twice"), "second");
    EXPECT_EQ(odd.contentType, "Text/Plain");
    for (const auto& [name, value] : odd.headers) {
        EXPECT_EQ(name.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), std::string::npos) << name;
    }
}

TEST_F(CurlTransport, InvalidAddressIsBadPathAndSendsNothing) {
    for (const std::string path : {"/v1/snapshot.png?view=a b", "/v1/state\n"}) {
        try {
            (void)transport("GET", path, std::nullopt);
            ADD_FAILURE() << "no error for " << path;
        } catch (const ProxyError& error) {
            EXPECT_EQ(error.kind(), ProxyError::Kind::badArguments);
            EXPECT_EQ(error.description(), "bad path " + path);
        }
    }
    EXPECT_TRUE(stub.requests().empty());
}

void expectUnreachable(const Transport& transport, const std::string& path, const std::string& base) {
    try {
        (void)transport("GET", path, std::nullopt);
        ADD_FAILURE() << "no error for " << path;
    } catch (const ProxyError& error) {
        EXPECT_EQ(error.kind(), ProxyError::Kind::unreachable);
        EXPECT_EQ(error.payload(), base);
        EXPECT_TRUE(error.description().starts_with("Ostrel is not reachable at " + base + " \u2014 launch "))
            << error.description();
    }
}

TEST_F(CurlTransport, NoAnswerIsUnreachable) {
    const std::string closedBase = "http://127.0.0.1:" + std::to_string(test::unusedLoopbackPort());
    expectUnreachable(urlSessionTransport(closedBase, 30.0), "/v1/state", closedBase);

    expectUnreachable(transport, "/v1/dropped", stub.base());
    // The limit of the call ends a request the application never answers.
    expectUnreachable(urlSessionTransport(stub.base(), 0.3), "/v1/silent", stub.base());
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) { ::setenv(name, value, 1); }
    ~ScopedEnv() { ::unsetenv(name_); }

private:
    const char* name_;
};

TEST_F(CurlTransport, IgnoresProxyVariables) {
    const std::string deadProxy = "http://127.0.0.1:" + std::to_string(test::unusedLoopbackPort());
    ScopedEnv http("http_proxy", deadProxy.c_str());
    ScopedEnv all("ALL_PROXY", deadProxy.c_str());
    EXPECT_EQ(transport("GET", "/v1/state", std::nullopt).status, 200);
}

// Replaces a standard descriptor with another for the life of the object.
class ScopedRedirect {
public:
    ScopedRedirect(int target, int replacement) : target_(target), saved_(::dup(target)) {
        ::dup2(replacement, target);
    }
    ~ScopedRedirect() {
        ::dup2(saved_, target_);
        ::close(saved_);
    }

private:
    int target_;
    int saved_;
};

TEST_F(CurlTransport, NeverTouchesStandardInputOrOutput) {
    int input[2];
    int output[2];
    ASSERT_EQ(::pipe(input), 0);
    ASSERT_EQ(::pipe2(output, O_NONBLOCK), 0);
    ASSERT_EQ(::write(input[1], "next line\n", 10), 10);
    {
        ScopedRedirect in(STDIN_FILENO, input[0]);
        ScopedRedirect out(STDOUT_FILENO, output[1]);
        EXPECT_EQ(transport("POST", "/v1/state", std::nullopt).data, R"({"ok":true})");
        EXPECT_EQ(transport("GET", "/v1/snapshot.png?view=overlay", std::nullopt).data, test::samplePngBytes());
    }
    char buffer[64];
    EXPECT_EQ(::read(output[0], buffer, sizeof buffer), -1) << "something was written to standard output";
    EXPECT_EQ(::read(input[0], buffer, sizeof buffer), 10) << "standard input was read";
    for (int fd : {input[0], input[1], output[0], output[1]}) ::close(fd);
}

}  // namespace
}  // namespace ostrel::mcp
