#include "core/http/HTTPServer.h"

#include "core/support/system/FileDescriptor.h"
#include "core/support/text/Json.h"
#include "testsupport/QtTestApp.h"
#include "testsupport/Subprocess.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

namespace ostrel {
namespace {

using namespace std::chrono_literals;
using test::runWhileProcessingEvents;

// ---- clients ------------------------------------------------------------------

FileDescriptor connectTo(std::uint16_t port) {
    FileDescriptor socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return {};
    timeval timeout{30, 0};
    ::setsockopt(socket.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    return socket;
}

void sendText(const FileDescriptor& socket, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::send(socket.get(), text.data(), text.size(), MSG_NOSIGNAL);
        if (n <= 0) return;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

// Everything the server sends until it closes the connection.
std::string readToEnd(const FileDescriptor& socket) {
    std::string received;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::recv(socket.get(), buffer, sizeof buffer, 0);
        if (n <= 0) return received;
        received.append(buffer, static_cast<std::size_t>(n));
    }
}

// One exchange over a raw socket: `request` is sent in pieces with a pause
// between them, then the whole answer is read.
std::string exchange(std::uint16_t port, std::vector<std::string> pieces, std::chrono::milliseconds pause = 0ms) {
    FileDescriptor socket = connectTo(port);
    if (!socket.valid()) return "(no connection)";
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0) std::this_thread::sleep_for(pause);
        sendText(socket, pieces[i]);
    }
    return readToEnd(socket);
}

struct CurlResult {
    int status = 0;
    std::string body;
    std::string log;  // standard error (with -v: the exchange)
};

CurlResult curl(std::vector<std::string> arguments) {
    std::vector<std::string> argv{"curl", "-sS", "--max-time", "60", "-w", "\n%{http_code}"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const test::ProcessResult result = test::runProcess(argv);
    CurlResult parsed;
    parsed.log = result.err;
    const std::size_t split = result.out.rfind('\n');
    if (split == std::string::npos) return parsed;
    parsed.body = result.out.substr(0, split);
    parsed.status = std::atoi(result.out.c_str() + split + 1);
    return parsed;
}

std::string url(std::uint16_t port, std::string_view target) {
    return "http://127.0.0.1:" + std::to_string(port) + std::string(target);
}

std::filesystem::path writeTemporary(const std::string& name, const std::string& content) {
    const auto path =
        std::filesystem::temp_directory_path() / ("ostrel-http-" + std::to_string(::getpid()) + "-" + name);
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

// ---- fixture: a server on a system-chosen port whose handler records requests ----

class HTTPServerTest : public ::testing::Test {
protected:
    void SetUp() override { test::ensureQtApp(); }

    // Starts a server answering with `respond` (an echo of the request by default).
    HTTPServer& startServer(HTTPServer::Options options = {}) {
        server_ = std::make_unique<HTTPServer>(
            [this](const HTTPRequest& request) {
                onMainThread_ = onMainThread_ && std::this_thread::get_id() == mainThread_;
                requests_.push_back(request);
                if (respond_) return respond_(request);
                return HTTPResponse::json(200, Json{{"method", request.method},
                                                    {"path", request.path},
                                                    {"query", request.query},
                                                    {"bodyBytes", request.body.size()},
                                                    {"args", request.args()}});
            },
            options);
        EXPECT_TRUE(server_->start(0));
        EXPECT_NE(server_->port(), 0);
        return *server_;
    }
    std::uint16_t port() const { return server_->port(); }

    std::unique_ptr<HTTPServer> server_;
    std::function<HTTPResponse(const HTTPRequest&)> respond_;
    std::vector<HTTPRequest> requests_;  // written on the main thread only
    const std::thread::id mainThread_ = std::this_thread::get_id();
    bool onMainThread_ = true;
};

TEST_F(HTTPServerTest, RunsTheHandlerOnTheMainThreadAndAnswersWithTheExactHead) {
    startServer();
    const CurlResult result = runWhileProcessingEvents([&] {
        return curl({"-X", "get", url(port(), "/v1/snapshot.png?view=vector")});
    });
    EXPECT_EQ(result.status, 200) << result.log;
    ASSERT_EQ(requests_.size(), 1u);
    EXPECT_EQ(requests_[0].method, "GET");
    EXPECT_EQ(requests_[0].path, "/v1/snapshot.png");
    EXPECT_EQ(requests_[0].query, "view=vector");
    EXPECT_TRUE(onMainThread_);

    respond_ = [](const HTTPRequest& request) {
        return request.path == "/missing" ? HTTPResponse::error(404, "not found") : HTTPResponse{};
    };
    EXPECT_EQ(runWhileProcessingEvents([&] { return exchange(port(), {"GET /v1/state HTTP/1.1\r\n\r\n"}); }),
              "HTTP/1.1 200 OK\r\nContent-Type: application/json; charset=utf-8\r\nContent-Length: 11\r\n"
              "Connection: close\r\n\r\n{\"ok\":true}");
    EXPECT_EQ(runWhileProcessingEvents([&] { return exchange(port(), {"GET /missing HTTP/1.1\r\n\r\n"}); }),
              "HTTP/1.1 404 Bad Request\r\nContent-Type: application/json; charset=utf-8\r\nContent-Length: 26\r\n"
              "Connection: close\r\n\r\n{\n  \"error\": \"not found\"\n}");
}

TEST_F(HTTPServerTest, ReadsABodySentAfterTheHeadAndWithExpectContinue) {
    startServer();
    // The body arrives in a second packet, a moment after the head.
    const std::string late = runWhileProcessingEvents([&] {
        return exchange(
            port(),
            {"POST /v1/params HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 17\r\n\r\n", R"({"threshold": 99})"},
            200ms);
    });
    EXPECT_TRUE(late.starts_with("HTTP/1.1 200 OK\r\n")) << late;
    ASSERT_EQ(requests_.size(), 1u);
    EXPECT_EQ(requests_[0].args(), Json({{"threshold", 99}}));

    // curl waits for "100 Continue" before it sends a body announced with Expect.
    std::string big = R"({"pad": ")" + std::string(4000, 'x') + R"(", "invert": true})";
    const auto file = writeTemporary("expect.json", big);
    const CurlResult result = runWhileProcessingEvents([&] {
        return curl({"-v", "-H", "Expect: 100-continue", "--expect100-timeout", "30", "--data-binary",
                     "@" + file.string(), url(port(), "/v1/params")});
    });
    std::filesystem::remove(file);
    EXPECT_EQ(result.status, 200) << result.log;
    EXPECT_NE(result.log.find("< HTTP/1.1 100 Continue"), std::string::npos) << result.log;
    ASSERT_EQ(requests_.size(), 2u);
    EXPECT_EQ(requests_[1].method, "POST");
    EXPECT_EQ(requests_[1].body, big);
    EXPECT_EQ(requests_[1].args().value("invert", false), true);
}

TEST_F(HTTPServerTest, RefusesBodiesOver8MiBWith413) {
    startServer();
    const std::string head = runWhileProcessingEvents(
        [&] { return exchange(port(), {"POST /v1/open HTTP/1.1\r\nContent-Length: 8388609\r\n\r\n"}); });
    EXPECT_TRUE(head.starts_with("HTTP/1.1 413 Bad Request\r\nContent-Type: application/json; charset=utf-8\r\n"))
        << head;
    EXPECT_NE(head.find(R"("error": "request body too large")"), std::string::npos);

    const auto file = writeTemporary("big.json", std::string(9 * 1024 * 1024, ' '));
    const CurlResult result = runWhileProcessingEvents([&] {
        return curl({"-H", "Expect: 100-continue", "--data-binary", "@" + file.string(), url(port(), "/v1/open")});
    });
    std::filesystem::remove(file);
    EXPECT_EQ(result.status, 413) << result.log;
    EXPECT_TRUE(requests_.empty());

    // Exactly 8 MiB is accepted.
    const auto limit = writeTemporary("limit.json", std::string(8 * 1024 * 1024, ' '));
    const CurlResult accepted = runWhileProcessingEvents([&] {
        return curl({"--data-binary", "@" + limit.string(), url(port(), "/v1/open")});
    });
    std::filesystem::remove(limit);
    EXPECT_EQ(accepted.status, 200) << accepted.log;
    ASSERT_EQ(requests_.size(), 1u);
    EXPECT_EQ(requests_[0].body.size(), 8u * 1024 * 1024);
}

// A body nested deeper than the limit is refused before it is parsed; one at the limit reaches the
// handler with its arguments.
TEST_F(HTTPServerTest, RefusesBodiesNestedTooDeeplyWith400) {
    startServer();
    const auto nested = [](std::size_t depth) {
        return R"({"a":)" + std::string(depth - 1, '[') + std::string(depth - 1, ']') + "}";
    };
    const std::string deep = nested(65000);
    const std::string limit = nested(kMaxJsonNesting);
    const auto answers = runWhileProcessingEvents([&] {
        std::vector<std::string> out;
        for (const std::string* body : {&deep, &limit}) {
            out.push_back(exchange(port(), {"POST /v1/params HTTP/1.1\r\nContent-Length: " +
                                            std::to_string(body->size()) + "\r\n\r\n" + *body}));
        }
        return out;
    });
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_TRUE(answers[0].starts_with("HTTP/1.1 400 Bad Request\r\n")) << answers[0].substr(0, 200);
    EXPECT_NE(answers[0].find("nests deeper than 256 levels"), std::string::npos);
    EXPECT_TRUE(answers[1].starts_with("HTTP/1.1 200 OK\r\n")) << answers[1].substr(0, 200);
    ASSERT_EQ(requests_.size(), 1u);
    EXPECT_TRUE(requests_[0].args().contains("a"));
}

// The head has one deadline from accept: a client that never stops sending blank lines is dropped,
// and the next client is served.
TEST_F(HTTPServerTest, AClientSendingBlankLinesForeverIsDroppedAtTheHeadDeadline) {
    HTTPServer::Options options;
    options.requestTimeout = 300ms;
    startServer(options);
    const auto answers = runWhileProcessingEvents([&] {
        std::vector<std::string> out;
        for (const bool trickle : {false, true}) {
            FileDescriptor flooding = connectTo(port());
            const std::string blank = trickle ? "\n" : std::string(1 << 16, '\n');
            bool closedByServer = false;
            const auto giveUp = std::chrono::steady_clock::now() + 30s;
            while (!closedByServer && std::chrono::steady_clock::now() < giveUp) {
                closedByServer = ::send(flooding.get(), blank.data(), blank.size(), MSG_NOSIGNAL) < 0;
                if (trickle) std::this_thread::sleep_for(10ms);
            }
            out.push_back(closedByServer ? "closed" : "still open");
        }
        out.push_back(exchange(port(), {"GET /v1/state HTTP/1.1\r\n\r\n"}));
        return out;
    });
    ASSERT_EQ(answers.size(), 3u);
    EXPECT_EQ(answers[0], "closed");
    EXPECT_EQ(answers[1], "closed");
    EXPECT_TRUE(answers[2].starts_with("HTTP/1.1 200 OK\r\n")) << answers[2];
    ASSERT_EQ(requests_.size(), 1u);
}

// The deadline covers the body too: a client that never pauses long but never finishes is answered
// 400 while it is still sending.
TEST_F(HTTPServerTest, ABodyTricklingInIsRefusedAtTheRequestDeadline) {
    HTTPServer::Options options;
    options.requestTimeout = 400ms;
    startServer(options);
    struct Outcome {
        std::string answer;
        std::size_t bodyBytesSent = 0;
    };
    const Outcome outcome = runWhileProcessingEvents([&] {
        Outcome out;
        FileDescriptor socket = connectTo(port());
        sendText(socket, "POST /v1/params HTTP/1.1\r\nContent-Length: 1000\r\n\r\n");
        char buffer[4096];
        while (out.bodyBytesSent < 1000) {
            const ssize_t n = ::recv(socket.get(), buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) {
                out.answer.append(buffer, static_cast<std::size_t>(n));
                break;
            }
            if (n == 0 || ::send(socket.get(), " ", 1, MSG_NOSIGNAL) != 1) break;
            ++out.bodyBytesSent;
            std::this_thread::sleep_for(20ms);
        }
        out.answer += readToEnd(socket);
        return out;
    });
    EXPECT_TRUE(outcome.answer.starts_with("HTTP/1.1 400 Bad Request\r\n")) << outcome.answer;
    EXPECT_NE(outcome.answer.find("the request body is incomplete"), std::string::npos);
    EXPECT_LT(outcome.bodyBytesSent, 1000u);
    EXPECT_TRUE(requests_.empty());
}

// Connections are served side by side: idle clients and one trickling its body in hold nobody
// else, and stay open while others are answered.
TEST_F(HTTPServerTest, IdleAndTricklingClientsDoNotHoldOthers) {
    HTTPServer::Options options;
    options.requestTimeout = 10min;
    startServer(options);
    std::vector<FileDescriptor> idle;
    for (int i = 0; i < 6; ++i) idle.push_back(connectTo(port()));
    FileDescriptor trickling = connectTo(port());
    sendText(trickling, "POST /v1/params HTTP/1.1\r\nContent-Length: 100\r\n\r\n{");

    const auto answers = runWhileProcessingEvents([&] {
        std::vector<CurlResult> out;
        for (int i = 0; i < 3; ++i) {
            sendText(trickling, " ");
            out.push_back(curl({url(port(), "/v1/state")}));
        }
        return out;
    });
    for (const CurlResult& answer : answers) EXPECT_EQ(answer.status, 200) << answer.log;
    ASSERT_EQ(requests_.size(), 3u);

    // The held connections are still being served: nothing was answered or closed on them.
    char byte = 0;
    for (const FileDescriptor& socket : idle) {
        errno = 0;
        EXPECT_EQ(::recv(socket.get(), &byte, 1, MSG_DONTWAIT), -1);
        EXPECT_EQ(errno, EAGAIN);
    }
    // The trickling client completes its request and is answered with everything it sent.
    std::string rest = "\"threshold\": 12";
    rest += std::string(100 - 4 - rest.size() - 1, ' ') + "}";  // 4 bytes are already sent
    const std::string answer = runWhileProcessingEvents([&] {
        sendText(trickling, rest);
        return readToEnd(trickling);
    });
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 200 OK\r\n")) << answer;
    ASSERT_EQ(requests_.size(), 4u);
    EXPECT_EQ(requests_[3].args(), Json({{"threshold", 12}}));
    EXPECT_EQ(server_->refusedConnections(), 0u);
}

// Beyond the bound a connection is answered 503 at once; a slot freed by a client that leaves is
// taken by the next one.
TEST_F(HTTPServerTest, AnswersServiceUnavailableBeyondTheConnectionBound) {
    HTTPServer::Options options;
    options.requestTimeout = 10min;
    options.maxConnections = 2;
    startServer(options);
    std::vector<FileDescriptor> idle;
    for (int i = 0; i < 2; ++i) idle.push_back(connectTo(port()));

    const CurlResult refused = runWhileProcessingEvents([&] { return curl({url(port(), "/v1/state")}); });
    EXPECT_EQ(refused.status, 503) << refused.log;
    EXPECT_NE(refused.body.find(R"("error": "too many connections")"), std::string::npos) << refused.body;
    EXPECT_TRUE(requests_.empty());
    EXPECT_EQ(server_->refusedConnections(), 1u);

    idle.pop_back();  // the client hangs up: its connection's thread ends and frees the slot
    const CurlResult served = runWhileProcessingEvents([&] {
        CurlResult result;
        const auto giveUp = std::chrono::steady_clock::now() + 30s;
        while (result.status != 200 && std::chrono::steady_clock::now() < giveUp) {
            result = curl({url(port(), "/v1/state")});
        }
        return result;
    });
    EXPECT_EQ(served.status, 200) << served.log;
    EXPECT_EQ(requests_.size(), 1u);
}

TEST_F(HTTPServerTest, RefusesCrossSiteRequestsWith403) {
    startServer();
    struct Case {
        const char* header;
        int status;
    };
    const Case cases[] = {
        {"Origin: http://evil.example", 403},
        {"Origin: null", 403},
        {"Host: evil.example", 403},
        {"Host: rebound.example:17940", 403},
        {"Origin: http://localhost:5173", 200},
        {"Origin: http://127.0.0.1", 200},
        {"Host: localhost", 200},
    };
    for (const Case& c : cases) {
        const CurlResult result = runWhileProcessingEvents([&] {
            return curl({"-X", "POST", "-H", c.header, url(port(), "/v1/reset")});
        });
        EXPECT_EQ(result.status, c.status) << c.header;
        if (c.status == 403) {
            EXPECT_NE(result.body.find("\"error\""), std::string::npos) << c.header;
        }
    }
    EXPECT_EQ(requests_.size(), 3u);  // only the same-machine requests reached the handler
}

TEST_F(HTTPServerTest, AnswersServiceUnavailableWhenTheMainThreadDoesNotAnswer) {
    HTTPServer::Options options;
    options.answerTimeout = 300ms;
    startServer(options);
    // The main thread is busy (it only waits here): the hand-over times out.
    auto pending =
        std::async(std::launch::async, [&] { return exchange(port(), {"POST /v1/reset HTTP/1.1\r\n\r\n"}); });
    const std::string answer = pending.get();
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 503 Bad Request\r\n")) << answer;
    EXPECT_NE(answer.find(R"("error": "the application did not answer in time")"), std::string::npos) << answer;
    // The abandoned request does not run late: the client was told it failed.
    test::processEventsUntil([] { return false; }, 100ms);
    EXPECT_TRUE(requests_.empty());

    HTTPServer unattended;  // no handler installed
    ASSERT_TRUE(unattended.start(0));
    const CurlResult result = runWhileProcessingEvents([&] { return curl({url(unattended.port(), "/v1/state")}); });
    EXPECT_EQ(result.status, 503);
    EXPECT_NE(result.body.find("\"error\""), std::string::npos);
}

TEST_F(HTTPServerTest, DropsSilentAndMalformedConnectionsWithoutAnAnswer) {
    HTTPServer::Options options;
    options.requestTimeout = 300ms;
    startServer(options);
    const auto answers = runWhileProcessingEvents([&] {
        std::vector<std::string> out;
        out.push_back(exchange(port(), {}));                                  // sends nothing
        out.push_back(exchange(port(), {"GET /v1/state HTTP/1.1\r\nHost"}));  // head never ends
        out.push_back(exchange(port(), {"GET\r\n\r\n"}));                     // one word
        out.push_back(exchange(port(), {"\r\n\r\n"}));                        // empty
        out.push_back(exchange(port(), {"POST /v1/open HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc"}));
        out.push_back(exchange(port(), {"GET /v1/state HTTP/1.1\r\n\r\n"}));
        return out;
    });
    ASSERT_EQ(answers.size(), 6u);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(answers[i], "") << i;
    EXPECT_TRUE(answers[4].starts_with("HTTP/1.1 400 Bad Request\r\n")) << answers[4];  // body never completed
    EXPECT_TRUE(answers[5].starts_with("HTTP/1.1 200 OK\r\n")) << answers[5];
    ASSERT_EQ(requests_.size(), 1u);
    EXPECT_EQ(requests_[0].path, "/v1/state");
}

TEST_F(HTTPServerTest, SendsLargeAnswersCompletelyAndSurvivesClientsThatHangUp) {
    startServer();
    const std::string large(16 * 1024 * 1024 + 3, 'p');
    respond_ = [&](const HTTPRequest&) { return HTTPResponse{200, "image/png", large}; };
    const CurlResult result = runWhileProcessingEvents([&] { return curl({url(port(), "/v1/snapshot.png")}); });
    EXPECT_EQ(result.status, 200);
    EXPECT_EQ(result.body.size(), large.size());
    EXPECT_TRUE(result.body == large);

    // A client that resets the connection while the answer is being written.
    std::atomic<bool> handling{false};
    respond_ = [&](const HTTPRequest&) {
        handling = true;
        std::this_thread::sleep_for(200ms);
        return HTTPResponse{200, "image/png", large};
    };
    runWhileProcessingEvents([&] {
        FileDescriptor socket = connectTo(port());
        sendText(socket, "GET /v1/snapshot.png HTTP/1.1\r\n\r\n");
        while (!handling) std::this_thread::sleep_for(1ms);
        const linger reset{1, 0};
        ::setsockopt(socket.get(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        return 0;
    });
    respond_ = {};
    const CurlResult after = runWhileProcessingEvents([&] { return curl({url(port(), "/v1/state")}); });
    EXPECT_EQ(after.status, 200);
}

TEST_F(HTTPServerTest, KeepsAcceptingAfterDescriptorExhaustion) {
    startServer();
    // Client sockets are made first: connecting needs no new descriptor.
    FileDescriptor first(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    FileDescriptor second(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const timeval timeout{20, 0};
    ::setsockopt(first.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(second.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port());
    const auto connectSocket = [&](const FileDescriptor& socket) {
        return ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    };

    // Only descriptor 0 may exist: the next accept() fails with EMFILE (one
    // already blocked had reserved its descriptor and takes the first
    // connection). The first request is malformed, so it is closed on the
    // accept thread and the main thread need not run meanwhile.
    rlimit saved{};
    ::getrlimit(RLIMIT_NOFILE, &saved);
    rlimit starved = saved;
    starved.rlim_cur = 1;
    ::setrlimit(RLIMIT_NOFILE, &starved);
    const bool firstConnected = connectSocket(first);
    sendText(first, "GET\r\n\r\n");
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (server_->transientAcceptErrors() == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    ::setrlimit(RLIMIT_NOFILE, &saved);
    const std::string firstAnswer = readToEnd(first);
    EXPECT_TRUE(firstConnected);
    EXPECT_EQ(firstAnswer, "");
    EXPECT_GT(server_->transientAcceptErrors(), 0u);

    const std::string answer = runWhileProcessingEvents([&] {
        if (!connectSocket(second)) return std::string("(no connection)");
        sendText(second, "GET /v1/state HTTP/1.1\r\n\r\n");
        return readToEnd(second);
    });
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 200 OK\r\n")) << "[" << answer << "]";
    EXPECT_TRUE(server_->isRunning());
    EXPECT_EQ(requests_.size(), 1u);
}

TEST_F(HTTPServerTest, StopWakesEveryConnectionBlockedInItsRead) {
    HTTPServer::Options options;
    options.requestTimeout = 10min;
    startServer(options);
    std::vector<FileDescriptor> idle;
    for (int i = 0; i < 4; ++i) idle.push_back(connectTo(port()));
    for (const FileDescriptor& socket : idle) ASSERT_TRUE(socket.valid());
    sendText(idle[0], "POST /v1/params HTTP/1.1\r\nContent-Length: 10\r\n\r\n{");  // stuck in its body
    std::this_thread::sleep_for(100ms);  // let the server accept them and block reading
    const auto started = std::chrono::steady_clock::now();
    server_->stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 30s);  // not the 10-minute read deadline
    EXPECT_FALSE(server_->isRunning());
    char byte = 0;
    for (const FileDescriptor& socket : idle) EXPECT_EQ(::recv(socket.get(), &byte, 1, 0), 0);  // closed
    EXPECT_FALSE(connectTo(port()).valid());
    server_->stop();
}

TEST_F(HTTPServerTest, APortInUseLeavesTheServerStoppedWithItsPort) {
    HTTPServer& server = startServer();
    const std::uint16_t taken = server.port();
    HTTPServer second;
    EXPECT_EQ(second.port(), 17940);
    EXPECT_FALSE(second.start(taken));
    EXPECT_FALSE(second.isRunning());
    EXPECT_EQ(second.port(), 17940);
    // Restarting on the system's choice moves the first server.
    ASSERT_TRUE(server.start(0));
    EXPECT_TRUE(server.isRunning());
}

}  // namespace
}  // namespace ostrel
