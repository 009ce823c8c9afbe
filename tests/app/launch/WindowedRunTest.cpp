// The program as a user starts it: a window (on the offscreen platform) with its servers, driven from
// outside with curl and oscsend, a second start handing its file over, and SIGTERM ending it cleanly.
#include "app/shell/Theme.h"
#include "core/model/Localization.h"
#include "core/support/app/SettingsStore.h"
#include "testsupport/ConfigHomeScope.h"
#include "testsupport/LoopbackHttpStub.h"
#include "testsupport/QtTestApp.h"
#include "testsupport/Subprocess.h"
#include "../shell/ShellFixtures.h"

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <filesystem>
#include <thread>

#include <netinet/in.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ostrel {
namespace {

using namespace std::chrono_literals;

/// A port the system just gave out and took back (`type`: SOCK_STREAM or SOCK_DGRAM).
std::uint16_t freePort(int type) {
    const int fd = ::socket(AF_INET, type, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0) ::close(fd);
        return 0;
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

class WindowedRun : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureQtApp();
        if (QStandardPaths::findExecutable("curl").isEmpty()) GTEST_SKIP() << "curl is missing (./dev setup)";
        apiPort = freePort(SOCK_STREAM);
        oscPort = freePort(SOCK_DGRAM);
        ASSERT_NE(apiPort, 0);
        ASSERT_NE(oscPort, 0);
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("OSTREL_API_PORT", QString::number(apiPort));
        environment.insert("OSTREL_OSC_IN_PORT", QString::number(oscPort));
        environment.insert("XDG_CONFIG_HOME", QString::fromStdString(config.path().string()));
        // The window's launch check goes to this stub, never to the public feed.
        environment.insert("KAVRIN_UPDATE_URL", QString::fromStdString(feed.base() + "/feed"));
        // The system speaks French, so English can only come from the saved choice.
        environment.remove("KAVRIN_LANG");
        environment.remove("LC_ALL");
        environment.remove("LC_MESSAGES");
        environment.insert("LANGUAGE", "fr");
        environment.insert("LANG", "fr_FR.UTF-8");
    }

    void TearDown() override {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished();
        }
    }

    void start(const QStringList& arguments) {
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(OSTREL_BINARY, arguments);
        ASSERT_TRUE(program.waitForStarted());
    }

    /// curl's answer: the HTTP status, or 0 when nothing answered.
    int get(const std::string& target, const std::string& outputFile = "/dev/null") {
        const test::ProcessResult curl = test::runProcess({"curl", "-s", "-m", "10", "-o", outputFile, "-w",
                                                           "%{http_code}", url(target)});
        return curl.exitCode == 0 ? std::stoi(curl.out) : 0;
    }

    nlohmann::json state() {
        const test::ProcessResult curl = test::runProcess({"curl", "-s", "-m", "10", url("/v1/state")});
        return nlohmann::json::parse(curl.out, nullptr, false);
    }

    bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (done()) return true;
            std::this_thread::sleep_for(100ms);
        }
        return done();
    }

    std::string url(const std::string& target) const {
        return "http://127.0.0.1:" + std::to_string(apiPort) + target;
    }

    /// Whether the launch check reached the stub's feed.
    bool feedWasAsked() const {
        for (const test::RecordedRequest& request : feed.requests()) {
            if (request.target == "/feed") return true;
        }
        return false;
    }

    test::ConfigHomeScope config;
    test::TemporaryFolder folder;
    test::LoopbackHttpStub feed{{{"/feed", {200, {{"Content-Type", "application/json"}}, R"({"version": "0.0.1"})"}}}};
    std::uint16_t apiPort = 0;
    std::uint16_t oscPort = 0;
    QProcessEnvironment environment;
    QProcess program;
};

TEST_F(WindowedRun, ServesTheWindowRemotelyHandsOverFilesAndEndsOnSigterm) {
    // The language chosen in an earlier run is the one this run speaks.
    {
        QtSettingsStore settings;
        LanguageSettings language([] { return LanguageEnvironment{}; }, &settings);
        language.setCurrent(AppLanguage::en);
    }
    const std::string drawing = folder.file("drawing.png");
    const std::string other = folder.file("other.png");
    test::writeDrawing(drawing);
    test::writeDrawing(other);

    start({QString::fromStdString(drawing)});
    ASSERT_TRUE(waitUntil([&] {
        const nlohmann::json s = state();
        return s.is_object() && s.value("sourceTitle", "") == "drawing.png" && !s.value("isProcessing", true) &&
               s.value("statusMessage", "").find("paths") != std::string::npos;
    })) << state().dump();

    const std::string png = folder.file("vector.png");
    EXPECT_EQ(get("/v1/snapshot.png?view=vector", png), 200);
    const QImage picture(QString::fromStdString(png));
    EXPECT_EQ(picture.size(), QSize(1380, 820));
    int strokePixels = 0;
    for (int y = 0; y < picture.height(); y += 2) {
        for (int x = picture.width() / 2; x < picture.width(); x += 2) {
            const QColor pixel = picture.pixelColor(x, y);
            strokePixels += pixel == Theme::penColor(0) || pixel == Theme::penColor(1) ? 1 : 0;
        }
    }
    EXPECT_GT(strokePixels, 0);

    if (!QStandardPaths::findExecutable("oscsend").isEmpty()) {
        test::runProcess({"oscsend", "127.0.0.1", std::to_string(oscPort), "/ostrel/pens", "i", "3"});
        EXPECT_TRUE(waitUntil([&] { return state().value("penCount", 0) == 3; })) << state().dump();
    }

    // A second start with a file gives it to this one and ends at once.
    QProcess second;
    second.setProcessEnvironment(environment);
    second.start(OSTREL_BINARY, {QString::fromStdString(other)});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(state().value("sourceTitle", ""), "other.png");

    // A fresh settings folder: the daily check runs shortly after start, against the stub.
    EXPECT_TRUE(waitUntil([&] { return feedWasAsked(); }));

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_EQ(get("/v1/state"), 0);  // the port is closed
}

// Special files never freeze the window: opening a FIFO without a writer, its own standard input
// (a pipe here, with nothing written), a folder or a device is refused at once; exporting onto a
// FIFO without a reader too, from the HTTP API and from OSC. The window keeps answering and ends
// on SIGTERM.
TEST_F(WindowedRun, RefusesSpecialFilesWithoutBlocking) {
    const std::string input = folder.file("in.fifo");
    const std::string output = folder.file("out.fifo");
    ASSERT_EQ(::mkfifo(input.c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(output.c_str(), 0600), 0);
    const std::string drawing = folder.file("drawing.png");
    test::writeDrawing(drawing);
    start({QString::fromStdString(drawing)});
    ASSERT_TRUE(waitUntil([&] {
        const nlohmann::json s = state();
        return s.is_object() && s.value("sourceTitle", "") == "drawing.png" && !s.value("isProcessing", true);
    })) << state().dump();

    // curl's status and body for a POST of `body` (it gives up after 20 s: a frozen window answers nothing).
    const auto post = [&](const std::string& route, const nlohmann::json& body) {
        const test::ProcessResult curl = test::runProcess(
            {"curl", "-s", "-m", "20", "-w", "\n%{http_code}", "-d", body.dump(), url(route)});
        const std::size_t split = curl.out.rfind('\n');
        return std::pair<int, std::string>(split == std::string::npos ? 0 : std::atoi(curl.out.c_str() + split + 1),
                                           curl.out.substr(0, std::min(split, curl.out.size())));
    };
    for (const std::string& path : {input, std::string("/dev/stdin"), folder.path(), std::string("/dev/zero")}) {
        const auto [status, body] = post("/v1/open", {{"path", path}});
        EXPECT_EQ(status, 400) << path << " " << body;
        EXPECT_NE(body.find("\"ok\": false"), std::string::npos) << path << " " << body;
    }
    const auto [status, body] = post("/v1/export", {{"outputPath", output}});
    EXPECT_EQ(status, 500) << body;
    EXPECT_NE(body.find("is not a regular file"), std::string::npos) << body;

    if (!QStandardPaths::findExecutable("oscsend").isEmpty()) {
        test::runProcess({"oscsend", "127.0.0.1", std::to_string(oscPort), "/ostrel/open", "s", input.c_str()});
        test::runProcess({"oscsend", "127.0.0.1", std::to_string(oscPort), "/ostrel/export", "s", output.c_str()});
        test::runProcess({"oscsend", "127.0.0.1", std::to_string(oscPort), "/ostrel/pens", "i", "3"});
        // Messages are acted on in order: the pens arrive only past the open and the export.
        EXPECT_TRUE(waitUntil([&] { return state().value("penCount", 0) == 3; })) << state().dump();
    }
    EXPECT_EQ(state().value("sourceTitle", ""), "drawing.png");  // the document is the one it was
    EXPECT_TRUE(std::filesystem::is_fifo(input));
    EXPECT_TRUE(std::filesystem::is_fifo(output));

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitCode(), 0);
}

}  // namespace
}  // namespace ostrel
