// The ostrel-mcp executable as a client starts it: a child process with pipes on its standard
// input and output, and OSTREL_API_PORT in its environment.
#include "mcp/APITransport.h"
#include "testsupport/LoopbackHttpStub.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

extern char** environ;

namespace ostrel::mcp {
namespace {

using nlohmann::json;

struct Finished {
    int status = -1;     // waitpid status
    std::string output;  // everything written to standard output
};

// Starts ostrel-mcp with `port` (or none), writes `input`, closes its input and collects the
// output. With `closeOutputFirst` the reading end of its output is closed before any write.
Finished runBridge(const std::optional<std::string>& port, const std::string& input, bool closeOutputFirst = false) {
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);

    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        if (!std::string_view(*entry).starts_with("OSTREL_API_PORT=")) environment.emplace_back(*entry);
    }
    if (port) environment.push_back("OSTREL_API_PORT=" + *port);
    std::vector<char*> envp;
    for (auto& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    char* argv[] = {const_cast<char*>(OSTREL_MCP_BINARY), nullptr};

    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, OSTREL_MCP_BINARY, &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    Finished finished;
    if (spawned != 0) {
        ::close(in[1]);
        ::close(out[0]);
        return finished;
    }
    if (closeOutputFirst) ::close(out[0]);
    // The inputs here are small enough for the pipe buffer, so writing everything first is safe.
    const struct sigaction ignore {};
    struct sigaction previous {};
    struct sigaction ignorePipe = ignore;
    ignorePipe.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignorePipe, &previous);
    (void)!::write(in[1], input.data(), input.size());
    ::sigaction(SIGPIPE, &previous, nullptr);
    ::close(in[1]);
    if (!closeOutputFirst) {
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::read(out[0], buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            finished.output.append(buffer, static_cast<std::size_t>(got));
        }
        ::close(out[0]);
    }
    ::waitpid(pid, &finished.status, 0);
    return finished;
}

std::vector<json> lines(const std::string& output) {
    std::vector<json> parsed;
    std::size_t start = 0;
    for (std::size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1) {
        parsed.push_back(json::parse(output.substr(start, end - start)));
    }
    EXPECT_EQ(start, output.size()) << "every reply ends with a line end";
    return parsed;
}

bool exitedWithZero(int status) { return WIFEXITED(status) && WEXITSTATUS(status) == 0; }

TEST(OstrelMCPProgram, EndOfInputEndsWithStatusZero) {
    const Finished finished = runBridge(std::nullopt, "");
    EXPECT_TRUE(exitedWithZero(finished.status)) << finished.status;
    EXPECT_EQ(finished.output, "");
}

TEST(OstrelMCPProgram, SurvivesAClientThatClosedItsOutput) {
    std::string input;
    for (int i = 0; i < 50; ++i)
        input += R"({"jsonrpc":"2.0","id":1,"method":"tools/list"})"
                 "\n";
    const Finished finished = runBridge(std::nullopt, input, /*closeOutputFirst=*/true);
    EXPECT_TRUE(exitedWithZero(finished.status)) << "killed by signal " << WTERMSIG(finished.status);
}

// Lines nested tens of thousands of levels deep, wherever the nesting sits, are each answered with
// a parse error and the bridge goes on to the next line.
TEST(OstrelMCPProgram, DeeplyNestedLinesAreRefusedWithoutACrash) {
    const std::string open(65000, '[');
    const std::string close(65000, ']');
    const std::string input = R"({"jsonrpc":"2.0","id":)" + open + close +
                              R"(,"method":"ping"})"
                              "\n" +
                              R"({"id":1,"method":"tools/call","params":{"name":"ostrel_open","arguments":{"a":)" +
                              open + close + "}}}\n" + R"({"id":)" + open + close + "}\n" +
                              R"({"id":2,"method":"ping"})"
                              "\n";
    const Finished finished = runBridge(std::nullopt, input);
    EXPECT_TRUE(exitedWithZero(finished.status)) << "status " << finished.status;
    const std::vector<json> replies = lines(finished.output);
    ASSERT_EQ(replies.size(), 4U) << finished.output;
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(replies[i],
                  json::parse(R"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"parse error"}})"));
    }
    EXPECT_EQ(replies[3], json::parse(R"({"jsonrpc":"2.0","id":2,"result":{}})"));
}

TEST(OstrelMCPProgram, ForwardsToTheApplicationOnOstrelApiPort) {
    using test::StubAnswer;
    test::LoopbackHttpStub stub({
        {"/v1/state", {200, {{"Content-Type", "application/json; charset=utf-8"}}, R"({"app":"Ostrel"})"}},
        {"/v1/snapshot.png?view=vector", {200, {{"Content-Type", "image/png"}}, test::samplePngBytes()}},
    });
    const Finished finished = runBridge(
        std::to_string(stub.port()),
        R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"ostrel_state"}})"
        "\n"
        R"({"jsonrpc":"2.0","id":2,"method":"tools/call","params":{"name":"ostrel_snapshot","arguments":{"view":"vector"}}})"
        "\n"
        R"({"jsonrpc":"2.0","id":3,"method":"initialize"})");
    EXPECT_TRUE(exitedWithZero(finished.status));
    const auto replies = lines(finished.output);
    ASSERT_EQ(replies.size(), 3u);
    EXPECT_EQ(replies[0]["result"],
              json::parse(R"({"content":[{"type":"text","text":"{\"app\":\"Ostrel\"}"}],"isError":false})"));
    EXPECT_EQ(replies[1]["result"]["content"][0]["mimeType"], "image/png");
    EXPECT_EQ(replies[1]["result"]["content"][0]["data"], "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJ");
    EXPECT_EQ(replies[2]["result"]["serverInfo"]["version"], OSTREL_MCP_VERSION);
    ASSERT_EQ(stub.requests().size(), 2u);
}

TEST(OstrelMCPProgram, EveryToolTellsTheUserToLaunchTheApplicationWhenNothingListens) {
    const std::string port = std::to_string(test::unusedLoopbackPort());
    std::string input;
    for (const char* tool :
         {"ostrel_state", "ostrel_help", "ostrel_open", "ostrel_set_params", "ostrel_export_svg", "ostrel_snapshot"}) {
        input += R"({"jsonrpc":"2.0","id":")" + std::string(tool) + R"(","method":"tools/call","params":{"name":")" +
                 tool +
                 R"(","arguments":{}}})"
                 "\n";
    }
    const Finished finished = runBridge(port, input);
    EXPECT_TRUE(exitedWithZero(finished.status));
    const auto replies = lines(finished.output);
    ASSERT_EQ(replies.size(), 6u);
    const std::string expected = ProxyError::unreachable("http://127.0.0.1:" + port).description();
    for (const json& reply : replies) {
        EXPECT_EQ(reply["result"], json({{"content", {{{"type", "text"}, {"text", expected}}}}, {"isError", true}}))
            << reply["id"];
    }
}

}  // namespace
}  // namespace ostrel::mcp
