#include "core/plotter/EBBSerialTransport.h"
#include "core/plotter/PlotterSimulator.h"

#include "core/support/system/Error.h"
#include "testsupport/FakeEbbBoard.h"
#include "testsupport/LanguageScope.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include <termios.h>
#include <unistd.h>

namespace ostrel {
namespace {

namespace fs = std::filesystem;
using test::FakeEbbBoard;
using test::LanguageScope;
using test::TempDir;
using Misbehaviour = FakeEbbBoard::Misbehaviour;
using namespace std::chrono_literals;

/// Throws what `f` throws as an Error, or fails.
template <class F>
Error caught(F&& f) {
    try {
        f();
    } catch (const Error& e) {
        return e;
    }
    ADD_FAILURE() << "no error";
    return Error("", 0, "");
}

class EBBSerialTransportOnBoard : public ::testing::Test {
protected:
    EBBSerialTransportOnBoard() : transport({board.slavePath(), "AxiDraw USB (ttyACM0)", false}) {}

    void openAndForget() {
        transport.open();
        board.waitForCommands(1, 1s);
        board.clearCommands();
    }

    FakeEbbBoard board;
    EBBSerialTransport transport;
};

TEST(EBBSerialTransportPorts, ListsBoardsInNaturalOrderThenTheSimulator) {
    LanguageScope english(AppLanguage::en);
    TempDir dir;
    for (const char* name : {"ttyACM10", "ttyACM2", "ttyUSB0", "ttyS0", "cu.usbmodem1101", "tty.usbmodem1"}) {
        std::ofstream(dir.path() / name).put('\0');
    }
    const auto ports = EBBSerialTransport::availablePorts(dir.path());
    ASSERT_EQ(ports.size(), 4u);
    EXPECT_EQ(ports[0], (AxiDrawPortDevice{(dir.path() / "ttyACM2").string(), "AxiDraw USB (ttyACM2)", false}));
    EXPECT_EQ(ports[1].displayName, "AxiDraw USB (ttyACM10)");
    EXPECT_EQ(ports[2].displayName, "AxiDraw USB (ttyUSB0)");
    EXPECT_EQ(ports[3], (AxiDrawPortDevice{"virtual://axidraw-simulator", "Simulator (Virtual)", true}));

    const auto none = EBBSerialTransport::availablePorts(dir.path() / "missing");
    ASSERT_EQ(none.size(), 1u);
    EXPECT_TRUE(none[0].isSimulator);
    LanguageScope french(AppLanguage::fr);
    EXPECT_EQ(AxiDrawPortDevice::simulator().displayName, "Simulateur (Virtuel)");
}

TEST(EBBSerialTransportPorts, TheSimulatorPortGetsASimulatorThatDoesNoInputOrOutput) {
    const std::unique_ptr<PlotterDevice> simulator = PlotterDevice::forPort(AxiDrawPortDevice::simulator());
    ASSERT_NE(dynamic_cast<PlotterSimulator*>(simulator.get()), nullptr);
    EXPECT_TRUE(simulator->isOpen());
    EXPECT_TRUE(simulator->firmwareVersion().empty());
    simulator->open();
    EXPECT_EQ(simulator->firmwareVersion(), "EBBv13_and_above EB Firmware Version 2.8.1 (Sim)");
    EXPECT_NO_THROW(simulator->sendCommand("!! anything ERR", 0));
    simulator->close();
    EXPECT_TRUE(simulator->isOpen());

    // A real port gets the serial board, closed until opened.
    const std::unique_ptr<PlotterDevice> board =
        PlotterDevice::forPort({"/nonexistent/ttyACM0", "AxiDraw USB (ttyACM0)", false});
    ASSERT_NE(dynamic_cast<EBBSerialTransport*>(board.get()), nullptr);
    EXPECT_FALSE(board->isOpen());
    EXPECT_EQ(board->device().path, "/nonexistent/ttyACM0");
}

TEST(EBBSerialTransportPorts, OpenFailuresAndClosedPort) {
    LanguageScope english(AppLanguage::en);
    EBBSerialTransport missing({"/nonexistent/ttyACM0", "AxiDraw USB (ttyACM0)", false});
    const Error openError = caught([&] { missing.open(); });
    EXPECT_EQ(openError.domain(), "EBBSerialTransport");
    EXPECT_EQ(openError.code(), ENOENT);
    EXPECT_EQ(openError.message(), "Could not open /nonexistent/ttyACM0: No such file or directory");
    EXPECT_FALSE(missing.isOpen());

    const Error closed = caught([&] { missing.sendCommand("V", 100); });
    EXPECT_EQ(closed.code(), -1);
    EXPECT_EQ(closed.message(), "AxiDraw serial port closed");
    LanguageScope french(AppLanguage::fr);
    EXPECT_EQ(caught([&] { missing.sendCommand("V", 100); }).message(), "Port série AxiDraw fermé");
}

TEST_F(EBBSerialTransportOnBoard, OpensThroughADiscoveredSymlinkRawWithoutFlowControl) {
    // Flow control left on the line by someone else must be cleared.
    termios before{};
    ASSERT_EQ(::tcgetattr(board.slaveFd(), &before), 0);
    before.c_cflag |= CRTSCTS;
    before.c_iflag |= IXON | IXOFF | IXANY;
    ASSERT_EQ(::tcsetattr(board.slaveFd(), TCSANOW, &before), 0);

    TempDir dir;
    fs::create_symlink(board.slavePath(), dir.path() / "ttyACM0");
    const auto ports = EBBSerialTransport::availablePorts(dir.path());
    ASSERT_EQ(ports.size(), 2u);
    EBBSerialTransport viaLink(ports[0]);
    viaLink.open();
    EXPECT_TRUE(viaLink.isOpen());
    EXPECT_EQ(viaLink.firmwareVersion(), FakeEbbBoard::firmwareLine);
    EXPECT_EQ(board.commandTexts(), std::vector<std::string>{"V"});

    termios after{};
    ASSERT_EQ(::tcgetattr(board.slaveFd(), &after), 0);
    EXPECT_EQ(after.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(after.c_iflag & (IXON | IXOFF | IXANY), 0u);
    EXPECT_EQ(after.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(after.c_cflag & (CSTOPB | PARENB), 0u);
    EXPECT_EQ(::cfgetospeed(&after), static_cast<speed_t>(B115200));

    // A second open sends nothing.
    viaLink.open();
    EXPECT_FALSE(board.waitForCommands(2, 100ms));
}

TEST_F(EBBSerialTransportOnBoard, FramesCommandsAndJudgesReplies) {
    LanguageScope english(AppLanguage::en);
    openAndForget();
    transport.sendCommand("EM,1,1", 2500);
    transport.sendCommand("SC,10,65535\r", 2500);  // already framed: sent unchanged
    EXPECT_EQ(board.commandTexts(), (std::vector<std::string>{"EM,1,1", "SC,10,65535"}));

    board.misbehave("SP", Misbehaviour::errorReply);
    const Error reply = caught([&] { transport.sendCommand("SP,1,150", 2500); });
    EXPECT_EQ(reply.code(), -2);
    EXPECT_EQ(reply.message(), "EBB: !8 Err: Unknown command");
    EXPECT_TRUE(transport.isOpen());

    // Silence is no error; a reply after the time-out is taken by the next command.
    board.misbehave("XM", Misbehaviour::silence);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_NO_THROW(transport.sendCommand("XM,10,1,1", 150));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 150ms);
    board.misbehave("XM", Misbehaviour::lateReply, 0, 100ms);
    EXPECT_NO_THROW(transport.sendCommand("XM,10,1,1", 0));  // reads nothing at all
    board.misbehave("EM", Misbehaviour::errorReply);
    EXPECT_NO_THROW(transport.sendCommand("EM,1,1", 2500));          // gets the late "OK"
    EXPECT_THROW(transport.sendCommand("SC,4,20535", 2500), Error);  // gets EM's error line

    // Bytes that are not UTF-8 and a line without its line feed pass.
    board.misbehave("SC", Misbehaviour::notUtf8);
    EXPECT_NO_THROW(transport.sendCommand("SC,4,20535", 2500));
    board.misbehave("SC", Misbehaviour::noLineFeed);
    EXPECT_NO_THROW(transport.sendCommand("SC,5,15195", 200));
    EXPECT_NO_THROW(transport.sendCommand("SC,10,65535", 2500));
}

TEST_F(EBBSerialTransportOnBoard, OneLinePerReplySoABurstShiftsReplies) {
    openAndForget();
    board.misbehave("SP", Misbehaviour::twoReplies);
    transport.sendCommand("SP,1,150", 2500);
    board.misbehave("XM", Misbehaviour::errorReply);
    EXPECT_NO_THROW(transport.sendCommand("XM,100,8,8", 2500));  // the burst's second "OK"
    EXPECT_THROW(transport.sendCommand("SP,0,150", 2500), Error);
}

TEST_F(EBBSerialTransportOnBoard, StopIsReadThroughItsClosingOk) {
    openAndForget();
    transport.sendCommand("ES", 2500);  // "0,0,0,0,0" then "OK"
    board.misbehave("SP", Misbehaviour::errorReply);
    EXPECT_THROW(transport.sendCommand("SP,1,150", 2500), Error);  // its own reply, not ES's "OK"
}

TEST_F(EBBSerialTransportOnBoard, HangUpIsAnErrorAndClosesTheLink) {
    LanguageScope english(AppLanguage::en);
    openAndForget();
    board.misbehave("XM", Misbehaviour::hangUp);
    const auto start = std::chrono::steady_clock::now();
    const Error gone = caught([&] { transport.sendCommand("XM,100,8,8", 2500); });
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2000ms);
    EXPECT_EQ(gone.domain(), "EBBSerialTransport");
    EXPECT_EQ(gone.message(), "AxiDraw serial port disconnected");
    EXPECT_FALSE(transport.isOpen());
    EXPECT_EQ(caught([&] { transport.sendCommand("V", 100); }).code(), -1);
}

TEST_F(EBBSerialTransportOnBoard, FirmwareTextWhenTheBoardDoesNotAnswerOrAnswersBadBytes) {
    board.misbehave("V", Misbehaviour::silence);
    transport.open();
    EXPECT_EQ(transport.firmwareVersion(), "EBB USB (AxiDraw USB (ttyACM0))");
    transport.close();
    EXPECT_FALSE(transport.isOpen());
    EXPECT_EQ(transport.firmwareVersion(), "EBB USB (AxiDraw USB (ttyACM0))");

    board.misbehave("V", Misbehaviour::notUtf8);
    transport.open();
    EXPECT_EQ(transport.firmwareVersion(), "\uFFFD\uFFFD" + std::string(FakeEbbBoard::firmwareLine));
}

}  // namespace
}  // namespace ostrel
