// The lock and the socket that keep one window per settings folder: who holds the place, what a
// later start's request carries (any bytes of a path), the answer it gets, and what it gets when
// the holder does not answer or a client misbehaves.
#include "app/launch/SingleInstance.h"

#include "testsupport/QtTestApp.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace ostrel {
namespace {

using namespace std::chrono_literals;
using Outcome = HandOffResult::Outcome;

class SingleInstanceTest : public ::testing::Test {
protected:
    SingleInstanceTest() { test::ensureQtApp(); }

    test::TempDir folder;
    InstancePlace place{(folder.path() / "ostrel.lock").string(), (folder.path() / "ostrel.socket").string()};
    std::vector<InstanceRequest> received;
    InstanceServer::Handler handler = [this](const InstanceRequest& request) -> std::optional<std::string> {
        received.push_back(request);
        if (request.file && request.file->ends_with("missing.png")) return "Could not load image \"missing.png\".";
        return std::nullopt;
    };
};

TEST_F(SingleInstanceTest, TheHolderGetsEachRequestsBytesAndItsAnswerGoesBack) {
    auto holder = InstanceServer::claim(place);
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(InstanceServer::claim(place), nullptr) << "the place is taken";
    ASSERT_TRUE(holder->listen(handler));

    const struct {
        InstanceRequest request;
        Outcome outcome;
        std::string message;
    } cases[] = {
        {{"/d/drawing.png"}, Outcome::done, ""},
        {{"/d/caf\xe9.png"}, Outcome::done, ""},                    // not UTF-8
        {{"/d/two\nlines \"and\" spaces.png"}, Outcome::done, ""},  // a name may hold a line break
        {{std::nullopt}, Outcome::done, ""},                        // no file: show the window
        {{"/d/missing.png"}, Outcome::refused, "Could not load image \"missing.png\"."},
    };
    for (const auto& c : cases) {
        received.clear();
        const HandOffResult result =
            test::runWhileProcessingEvents([&] { return handOffToRunningInstance(place, c.request, 1s, 10s); });
        EXPECT_EQ(result.outcome, c.outcome) << result.message;
        EXPECT_EQ(result.message, c.message);
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(received.front(), c.request);
    }

    // Once the holder ends, the place is free again and its socket file is gone.
    holder.reset();
    EXPECT_FALSE(std::filesystem::exists(place.socketPath));
    EXPECT_NE(InstanceServer::claim(place), nullptr);
}

TEST_F(SingleInstanceTest, AStaleSocketIsReplacedAndAHolderThatDoesNotListenIsUnreachable) {
    // A socket file left by a program that ended without removing it.
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        place.socketPath.copy(address.sun_path, place.socketPath.size());
        ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
    }
    auto holder = InstanceServer::claim(place);
    ASSERT_NE(holder, nullptr);
    const HandOffResult early = handOffToRunningInstance(place, {}, 300ms, 1s);
    EXPECT_EQ(early.outcome, Outcome::unreachable);
    EXPECT_NE(early.message.find(place.socketPath), std::string::npos) << early.message;

    ASSERT_TRUE(holder->listen(handler));
    const HandOffResult later =
        test::runWhileProcessingEvents([&] { return handOffToRunningInstance(place, {}, 1s, 10s); });
    EXPECT_EQ(later.outcome, Outcome::done) << later.message;
}

TEST_F(SingleInstanceTest, MalformedOrOversizedRequestsAreNeverCarriedOut) {
    auto holder = InstanceServer::claim(place);
    ASSERT_NE(holder, nullptr);
    ASSERT_TRUE(holder->listen(handler));
    const auto exchange = [&](const std::string& bytes) {
        return test::runWhileProcessingEvents([&] {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            place.socketPath.copy(address.sun_path, place.socketPath.size());
            std::string reply;
            if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
                for (std::size_t sent = 0; sent < bytes.size();) {
                    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
                    if (n <= 0) break;
                    sent += static_cast<std::size_t>(n);
                }
                ::shutdown(fd, SHUT_WR);
                char chunk[256];
                for (ssize_t n; (n = ::recv(fd, chunk, sizeof chunk, 0)) > 0;)
                    reply.append(chunk, static_cast<std::size_t>(n));
            }
            ::close(fd);
            return reply;
        });
    };
    for (const std::string& bytes : {std::string("open\n"), std::string("open /x.png"), std::string("quit\n"),
                                     std::string("open\n/a\0b.png", 11), std::string()}) {
        EXPECT_EQ(exchange(bytes).rfind("error\n", 0), 0u) << ::testing::PrintToString(bytes);
    }
    EXPECT_EQ(exchange("open\n" + std::string(100 * 1024, 'x')), "") << "dropped unanswered";
    EXPECT_TRUE(received.empty());
    EXPECT_EQ(exchange("show\n"), "ok\n");
    EXPECT_EQ(received.size(), 1u);
}

TEST(SingleInstancePlace, NamedAfterTheSettingsFolderInTheRuntimeFolder) {
    const auto placeWith = [](const char* runtime, const char* config) {
        const std::string savedRuntime = std::getenv("XDG_RUNTIME_DIR") ? std::getenv("XDG_RUNTIME_DIR") : "";
        const std::string savedConfig = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
        ::setenv("XDG_RUNTIME_DIR", runtime, 1);
        ::setenv("XDG_CONFIG_HOME", config, 1);
        auto place = instancePlaceFromEnvironment();
        ::setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
        if (savedRuntime.empty()) ::unsetenv("XDG_RUNTIME_DIR");
        if (savedConfig.empty()) ::unsetenv("XDG_CONFIG_HOME");
        return place;
    };
    const auto a = placeWith("/run/user/1000", "/home/a/.config");
    const auto b = placeWith("/run/user/1000", "/tmp/other-settings");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->socketPath.rfind("/run/user/1000/ostrel-", 0), 0u);
    EXPECT_NE(a->socketPath, b->socketPath);
    EXPECT_EQ(placeWith("/run/user/1000", "/home/a/.config")->lockPath, a->lockPath);
    EXPECT_FALSE(placeWith("relative/runtime", "/home/a/.config")) << "no usable runtime folder";
    EXPECT_FALSE(placeWith(("/" + std::string(120, 'r')).c_str(), "/home/a/.config")) << "too long for a socket";
}

}  // namespace
}  // namespace ostrel
