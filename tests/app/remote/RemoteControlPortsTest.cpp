// Moving the OSC and HTTP listeners to other ports: the new socket is bound before the old one is
// let go, so a refused port never leaves the program without its listeners.
#include "app/remote/RemoteControl.h"

#include "core/osc/OSCUDPServer.h"
#include "testsupport/QtTestApp.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ostrel {
namespace {

/// A UDP port held on every interface without SO_REUSEADDR, or a TCP port listening on loopback.
class HeldPort {
public:
    explicit HeldPort(int type) : fd_(::socket(AF_INET, type, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(type == SOCK_STREAM ? INADDR_LOOPBACK : INADDR_ANY);
        EXPECT_EQ(::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        if (type == SOCK_STREAM) {
            EXPECT_EQ(::listen(fd_, 4), 0);
        }
        socklen_t length = sizeof address;
        EXPECT_EQ(::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length), 0);
        port_ = ntohs(address.sin_port);
    }
    ~HeldPort() { release(); }
    HeldPort(const HeldPort&) = delete;
    HeldPort& operator=(const HeldPort&) = delete;
    [[nodiscard]] std::uint16_t port() const noexcept { return port_; }
    void release() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
    std::uint16_t port_ = 0;
};

class RemoteControlPortsTest : public ::testing::Test {
protected:
    RemoteControlPortsTest() { test::ensureQtApp(); }
    VectorizerController document;
    RemoteControl remote{document};
};

TEST_F(RemoteControlPortsTest, AStoppedOSCListenerIsStartedAgainOnItsOwnPortWhenTheNewOneIsRefused) {
    HeldPort first(SOCK_DGRAM);
    remote.startOSCServer(first.port());  // kept, stopped: its port is taken
    const OSCUDPServer* kept = remote.oscServer();
    ASSERT_FALSE(kept->isRunning());

    const HeldPort second(SOCK_DGRAM);
    EXPECT_FALSE(remote.moveOSCServer(second.port()));
    EXPECT_EQ(remote.oscServer(), kept);
    EXPECT_FALSE(kept->isRunning()) << "its own port is still taken";

    first.release();
    EXPECT_FALSE(remote.moveOSCServer(second.port()));
    EXPECT_EQ(remote.oscServer(), kept);
    EXPECT_TRUE(kept->isRunning()) << "started again on its own port";
    EXPECT_EQ(remote.oscPort(), first.port());
}

TEST_F(RemoteControlPortsTest, TheSamePortLeavesARunningListenerAloneAndRetriesAStoppedOne) {
    remote.startOSCServer(0);
    ASSERT_TRUE(remote.oscServer()->isRunning());
    const OSCUDPServer* running = remote.oscServer();
    QSignalSpy oscChanges(&remote, &RemoteControl::oscServerChanged);
    EXPECT_TRUE(remote.moveOSCServer(remote.oscPort()));
    EXPECT_EQ(remote.oscServer(), running);
    EXPECT_EQ(oscChanges.count(), 0);

    HeldPort taken(SOCK_DGRAM);
    remote.startOSCServer(taken.port());
    ASSERT_FALSE(remote.oscServer()->isRunning());
    taken.release();
    EXPECT_TRUE(remote.moveOSCServer(taken.port()));
    EXPECT_TRUE(remote.oscServer()->isRunning());

    ASSERT_TRUE(remote.startHTTPServer(0));
    const std::uint16_t http = remote.httpPort();
    QSignalSpy httpChanges(&remote, &RemoteControl::httpPortChanged);
    EXPECT_TRUE(remote.moveHTTPServer(http));
    EXPECT_EQ(httpChanges.count(), 0);
    EXPECT_TRUE(remote.isHTTPServerRunning());
}

TEST_F(RemoteControlPortsTest, ApplyPortsNamesEachRefusedPortAndMovesTheOther) {
    remote.startOSCServer(0);
    ASSERT_TRUE(remote.startHTTPServer(0));
    const std::uint16_t oldOSC = remote.oscPort();
    const std::uint16_t oldHTTP = remote.httpPort();
    const HeldPort busyUDP(SOCK_DGRAM);
    const HeldPort busyTCP(SOCK_STREAM);

    const RemoteControl::PortChange both = remote.applyPorts(busyUDP.port(), busyTCP.port());
    EXPECT_FALSE(both.succeeded());
    EXPECT_EQ(both.refusedOSCPort, busyUDP.port());
    EXPECT_EQ(both.refusedHTTPPort, busyTCP.port());
    EXPECT_EQ(remote.oscPort(), oldOSC);
    EXPECT_EQ(remote.httpPort(), oldHTTP);
    EXPECT_TRUE(remote.oscServer()->isRunning() && remote.isHTTPServerRunning());

    const RemoteControl::PortChange untouched = remote.applyPorts(std::nullopt, std::nullopt);
    EXPECT_TRUE(untouched.succeeded());
    EXPECT_EQ(remote.oscPort(), oldOSC);

    // An HTTP API that never started takes the new port at once.
    VectorizerController otherDocument;
    RemoteControl fresh(otherDocument);
    const std::uint16_t wanted = [] {
        const HeldPort probe(SOCK_STREAM);
        return probe.port();
    }();
    EXPECT_TRUE(fresh.applyPorts(std::nullopt, wanted).succeeded());
    EXPECT_EQ(fresh.httpPort(), wanted);
    EXPECT_TRUE(fresh.isHTTPServerRunning());
}

}  // namespace
}  // namespace ostrel
