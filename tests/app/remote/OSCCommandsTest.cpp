#include "app/remote/RemoteControl.h"

#include "app/document/VectorizerController.h"
#include "core/osc/OSCMessageQueue.h"
#include "core/osc/OSCUDPServer.h"
#include "core/support/system/FileDescriptor.h"

#include "testsupport/QtTestApp.h"
#include "testsupport/Subprocess.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <filesystem>
#include <fstream>

namespace ostrel {
namespace {

using OSCCodec::Message;
using OSCCodec::Value;

class OSCCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureQtApp();
        controller.loadPreset(SyntheticPreset::rosette, true);
    }
    void send(const std::string& address, std::vector<Value> arguments = {}) {
        remote.handleOSCMessage(Message{address, std::move(arguments)});
    }
    VectorizerController controller;
    RemoteControl remote{controller};
};

TEST_F(OSCCommandsTest, ParameterRowsClampAndStartARun) {
    struct Case {
        std::string address;
        Value argument;
        std::function<bool(const VectorizerParams&)> check;
    };
    const std::vector<Case> cases = {
        {"/OSTREL/Threshold", Value::integer(300), [](auto& p) { return p.threshold == 255; }},
        {"/ostrel/threshold", Value::real(127.5f), [](auto& p) { return p.threshold == 128; }},
        {"/ostrel/pens", Value::real(0.4f), [](auto& p) { return p.penCount == 1; }},
        {"/ostrel/pens", Value::text("3"), [](auto& p) { return p.penCount == 3; }},
        {"/ostrel/pens", Value::real(2.5f), [](auto& p) { return p.penCount == 3; }},
        {"/ostrel/smoothing", Value::text("0,25"), [](auto& p) { return p.curveSmoothing == 0.25; }},
        {"/ostrel/smoothing", Value::real(std::nanf("")), [](auto& p) { return p.curveSmoothing == 1.0; }},
        {"/ostrel/tolerance", Value::real(0), [](auto& p) { return p.rdpTolerance == 0.1; }},
        {"/ostrel/blur", Value::integer(50), [](auto& p) { return p.blurRadius == 10; }},
        {"/ostrel/continuity", Value::real(-3), [](auto& p) { return p.continuity == 0; }},
        {"/ostrel/adaptive", Value::integer(2), [](auto& p) { return p.adaptiveThreshold; }},
        {"/ostrel/invert", Value::text("oui"), [](auto& p) { return p.invert; }},
        {"/ostrel/hatch", Value::boolean(true), [](auto& p) { return p.hatchEnabled; }},
        {"/ostrel/paper", Value::text("a5"), [](auto& p) { return p.paperFormat == PaperFormat::a5; }},
        {"/ostrel/algorithm", Value::text("skeletonize"),
         [](auto& p) { return p.algorithm == VectorAlgorithm::skeletonize; }},
    };
    for (const auto& c : cases) {
        controller.runSynchronousVectorization();  // settle: nothing pending
        ASSERT_FALSE(controller.isProcessing());
        send(c.address, {c.argument});
        EXPECT_TRUE(c.check(controller.params())) << c.address;
        EXPECT_TRUE(controller.isProcessing()) << c.address << " starts a run";
    }
}

TEST_F(OSCCommandsTest, UnusableArgumentsChangeNothing) {
    const VectorizerParams before = controller.params();
    const std::vector<std::pair<std::string, std::vector<Value>>> cases = {
        {"/ostrel/threshold", {}},
        {"/ostrel/threshold", {Value::text("abc")}},
        {"/ostrel/threshold", {Value::text("128.0")}},
        {"/ostrel/threshold", {Value::real(INFINITY)}},
        {"/ostrel/algorithm", {Value::text("Skeletonize")}},
        {"/ostrel/adaptive", {Value::text("maybe")}},
        {"/ostrel/paper", {Value::text("letter")}},
        {"/ostrel/nothing", {Value::integer(1)}},
        {"/ostrel/axidraw/plot", {}},  // no plotter controller
    };
    for (const auto& [address, arguments] : cases) {
        send(address, arguments);
        EXPECT_EQ(controller.params(), before) << address;
        EXPECT_FALSE(controller.isProcessing()) << address;
    }
}

TEST_F(OSCCommandsTest, PresetOpenResetAndExport) {
    test::TemporaryFolder folder;
    send("/ostrel/preset", {Value::text("Portrait")});
    EXPECT_EQ(controller.activePreset(), SyntheticPreset::portrait);
    ASSERT_TRUE(controller.result());  // synchronous

    send("/ostrel/export", {Value::text(folder.file("out.json"))});
    EXPECT_EQ(test::readFile(folder.file("out.json")), controller.result()->svgAxiDraw);
    send("/ostrel/export", {Value::text(folder.file("missing/out.svg"))});  // no folders are made
    EXPECT_FALSE(std::filesystem::exists(folder.file("missing")));
    std::ofstream(folder.file("notes.txt")) << "precious";
    send("/ostrel/export", {Value::text(folder.file("notes.txt"))});  // never replaces a non-SVG file
    EXPECT_EQ(test::readFile(folder.file("notes.txt")), "precious");

    send("/ostrel/pens", {Value::integer(3)});
    send("/ostrel/reset", {Value::integer(42)});
    EXPECT_EQ(controller.params(), VectorizerParams());

    send("/ostrel/open", {Value::text(folder.file("nothing.png"))});
    EXPECT_EQ(controller.activePreset(), SyntheticPreset::portrait);  // failed load keeps the document
}

TEST_F(OSCCommandsTest, ExportBeforeAnyResultWritesNothing) {
    test::TemporaryFolder folder;
    VectorizerController empty;
    RemoteControl{empty}.handleOSCMessage(Message{"/ostrel/export", {Value::text(folder.file("a.svg"))}});
    EXPECT_FALSE(std::filesystem::exists(folder.file("a.svg")));
}

TEST_F(OSCCommandsTest, RealOscsendReachesTheDocument) {
    remote.startOSCServer(0);
    ASSERT_NE(remote.oscServer(), nullptr);
    ASSERT_TRUE(remote.oscServer()->isRunning());
    const auto port = std::to_string(remote.oscServer()->port());
    ASSERT_EQ(test::runProcess({"oscsend", "127.0.0.1", port, "/ostrel/pens", "i", "3"}).exitCode, 0);
    EXPECT_TRUE(test::spinUntil([&] { return controller.params().penCount == 3; }));

    // Restarting on another port stops the old listener.
    const auto oldPort = remote.oscServer()->port();
    remote.startOSCServer(0);
    EXPECT_NE(remote.oscServer()->port(), oldPort);
    EXPECT_TRUE(remote.oscServer()->isRunning());
    remote.stopAllServices();
    EXPECT_FALSE(remote.oscServer()->isRunning());
}

// Sends `messages` to 127.0.0.1:`port` in bundles of 100 (one datagram each, within 4096 bytes).
void sendInBundles(std::uint16_t port, const std::vector<Message>& messages) {
    FileDescriptor socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    for (std::size_t first = 0; first < messages.size(); first += 100) {
        std::vector<std::vector<std::uint8_t>> elements;
        for (std::size_t i = first; i < std::min(first + 100, messages.size()); ++i) {
            elements.push_back(OSCCodec::encode(messages[i]));
        }
        const std::vector<std::uint8_t> bundle = OSCCodec::encodeBundle(elements);
        ::sendto(socket.get(), bundle.data(), bundle.size(), 0, reinterpret_cast<const sockaddr*>(&address),
                 sizeof address);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));  // within the socket's receive buffer
    }
}

// Waits, without turning the event loop (so nothing is acted on), until `done` holds.
bool waitWithoutEvents(const std::function<bool()>& done) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done() && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done();
}

// A flood while the main thread is busy: parameter values wait as one message per parameter, the
// rest fills the bounded queue and the excess is dropped and counted; the document ends with the
// last values sent.
TEST_F(OSCCommandsTest, AFloodIsCoalescedPerParameterAndTheQueueIsBounded) {
    remote.startOSCServer(0);
    ASSERT_TRUE(remote.oscServer()->isRunning());
    const std::uint16_t port = remote.oscServer()->port();
    const OSCMessageQueue& queue = remote.oscQueue();

    std::vector<Message> values;
    for (int i = 0; i < 3000; ++i) {
        values.push_back(
            Message{i % 2 ? "/ostrel/threshold" : "/OSTREL/Pens", {Value::integer(i % 2 ? i % 200 : i % 3 + 1)}});
    }
    sendInBundles(port, values);
    ASSERT_TRUE(waitWithoutEvents([&] { return queue.size() + queue.coalesced() == values.size(); }));
    EXPECT_EQ(queue.size(), 2u);
    EXPECT_EQ(queue.dropped(), 0u);
    EXPECT_TRUE(test::spinUntil([&] { return queue.size() == 0; }));
    EXPECT_EQ(controller.params().threshold, 2999 % 200);
    EXPECT_EQ(controller.params().penCount, 2998 % 3 + 1);

    // Messages that do more than set a value are kept in order, up to the bound.
    const std::vector<Message> commands(2000, Message{"/ostrel/axidraw/penup", {}});  // no plotter: no effect
    sendInBundles(port, commands);
    ASSERT_TRUE(waitWithoutEvents([&] { return queue.size() + queue.dropped() == commands.size(); }));
    EXPECT_EQ(queue.size(), RemoteControl::kOSCQueueCapacity);
    EXPECT_EQ(queue.dropped(), commands.size() - RemoteControl::kOSCQueueCapacity);
    EXPECT_TRUE(test::spinUntil([&] { return queue.size() == 0; }));
}

}  // namespace
}  // namespace ostrel
