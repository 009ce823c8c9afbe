#include "core/osc/OSCUDPServer.h"

#include "core/support/system/FileDescriptor.h"
#include "testsupport/Subprocess.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace ostrel {
namespace {

using OSCCodec::Message;
using OSCCodec::Value;
using namespace std::chrono_literals;

// Collects the messages the server hands over on its receive thread.
class Inbox {
public:
    OSCUDPServer::Handler handler() {
        return [this](const Message& message) {
            std::lock_guard guard(lock_);
            messages_.push_back(message);
            arrived_.notify_all();
        };
    }
    // Waits until `count` messages have arrived (at most a few seconds); returns them all.
    std::vector<Message> waitFor(std::size_t count) {
        std::unique_lock guard(lock_);
        arrived_.wait_for(guard, 10s, [&] { return messages_.size() >= count; });
        return messages_;
    }

private:
    std::mutex lock_;
    std::condition_variable arrived_;
    std::vector<Message> messages_;
};

void sendDatagram(std::uint16_t port, const std::vector<std::uint8_t>& bytes) {
    FileDescriptor socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    ASSERT_TRUE(socket.valid());
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    ASSERT_EQ(::sendto(socket.get(), bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&address),
                       sizeof address),
              static_cast<ssize_t>(bytes.size()));
}

void oscsend(std::uint16_t port, std::vector<std::string> arguments) {
    std::vector<std::string> argv{"oscsend", "127.0.0.1", std::to_string(port)};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const test::ProcessResult result = test::runProcess(argv);
    ASSERT_EQ(result.exitCode, 0) << result.err;
}

TEST(OSCUDPServer, ReceivesMessagesFromOscsendOnASystemChosenPort) {
    Inbox inbox;
    OSCUDPServer server(0, inbox.handler());
    EXPECT_FALSE(server.isRunning());
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(server.isRunning());
    const std::uint16_t port = server.port();
    EXPECT_NE(port, 0);
    // A second start leaves the running socket alone.
    EXPECT_TRUE(server.start());
    EXPECT_EQ(server.port(), port);

    oscsend(port, {"/OSTREL/Threshold", "i", "300"});
    oscsend(port, {"/a", "ifsTF", "7", "0.5", "hi"});
    oscsend(port, {"/b", "dis", "2.5", "9", "x"});
    const std::vector<Message> messages = inbox.waitFor(3);
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], (Message{"/OSTREL/Threshold", {Value::integer(300)}}));
    EXPECT_EQ(messages[1], (Message{"/a",
                                    {Value::integer(7), Value::real(0.5f), Value::text("hi"), Value::boolean(true),
                                     Value::boolean(false)}}));
    // The 64-bit double is skipped without consuming: the int reads its first half.
    ASSERT_EQ(messages[2].arguments.size(), 2u);
    EXPECT_EQ(messages[2].arguments[0], Value::integer(0x40040000));
}

TEST(OSCUDPServer, DeliversNestedBundlesInOrderAndSurvivesEmptyDatagrams) {
    Inbox inbox;
    OSCUDPServer server(0, inbox.handler());
    ASSERT_TRUE(server.start());
    sendDatagram(server.port(), {});  // an empty datagram must not end the receive loop
    const auto pens = OSCCodec::encode({"/ostrel/pens", {Value::integer(3)}});
    const auto hatch = OSCCodec::encode({"/ostrel/hatch", {Value::boolean(true)}});
    const auto reset = OSCCodec::encode({"/ostrel/reset", {}});
    sendDatagram(server.port(), OSCCodec::encodeBundle({pens, OSCCodec::encodeBundle({hatch, reset})}));
    const std::vector<Message> messages = inbox.waitFor(3);
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].address, "/ostrel/pens");
    EXPECT_EQ(messages[1].address, "/ostrel/hatch");
    EXPECT_EQ(messages[2].address, "/ostrel/reset");
    EXPECT_TRUE(server.isRunning());
}

TEST(OSCUDPServer, CutsDatagramsAt4096Bytes) {
    Inbox inbox;
    OSCUDPServer server(0, inbox.handler());
    ASSERT_TRUE(server.start());
    // 8 bytes of address, 4 of type tags, then a 6000-byte string: 4084 bytes of it fit.
    sendDatagram(server.port(), OSCCodec::encode({"/long/a", {Value::text(std::string(6000, 'z'))}}));
    const std::vector<Message> messages = inbox.waitFor(1);
    ASSERT_EQ(messages.size(), 1u);
    ASSERT_EQ(messages[0].arguments.size(), 1u);
    EXPECT_EQ(messages[0].arguments[0].stringValue(), std::string(4096 - 12, 'z'));
}

TEST(OSCUDPServer, StopWakesTheReceiveThreadAndRestartBindsAgain) {
    Inbox inbox;
    OSCUDPServer server(0, inbox.handler());
    ASSERT_TRUE(server.start());
    const std::uint16_t port = server.port();
    // The thread is blocked in recvfrom: stop must wake and join it.
    server.stop();
    EXPECT_FALSE(server.isRunning());
    server.stop();
    EXPECT_EQ(server.port(), port);
    ASSERT_TRUE(server.start());
    sendDatagram(server.port(), OSCCodec::encode({"/again", {}}));
    EXPECT_EQ(inbox.waitFor(1).size(), 1u);
}

TEST(OSCUDPServer, APortInUseLeavesTheServerStopped) {
    // A socket without SO_REUSEADDR keeps the port to itself.
    FileDescriptor holder(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    ASSERT_EQ(::bind(holder.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(::getsockname(holder.get(), reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::uint16_t taken = ntohs(address.sin_port);

    Inbox inbox;
    OSCUDPServer server(taken, inbox.handler());
    EXPECT_FALSE(server.start());
    EXPECT_FALSE(server.isRunning());
    EXPECT_EQ(server.port(), taken);
}

TEST(OSCUDPServer, AHandlerThatThrowsLosesOnlyItsMessage) {
    Inbox inbox;
    auto collect = inbox.handler();
    OSCUDPServer server(0, [&](const Message& message) {
        if (message.address == "/throw") throw std::runtime_error("handler failure");
        collect(message);
    });
    ASSERT_TRUE(server.start());
    sendDatagram(server.port(), OSCCodec::encode({"/throw", {}}));
    sendDatagram(server.port(), OSCCodec::encode({"/after", {}}));
    const std::vector<Message> messages = inbox.waitFor(1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].address, "/after");
}

}  // namespace
}  // namespace ostrel
