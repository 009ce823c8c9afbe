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
#include <map>
#include <regex>
#include <sstream>
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
        const test::ProcessResult curl =
            test::runProcess({"curl", "-s", "-m", "10", "-o", outputFile, "-w", "%{http_code}", url(target)});
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

    /// A later start of the program with the same settings folder, run to its end. Its arguments
    /// are passed as raw bytes.
    test::ProcessResult startAgain(const std::vector<std::string>& arguments) {
        std::map<std::string, std::string> variables;
        for (const QString& key : environment.keys()) {
            variables[key.toStdString()] = environment.value(key).toStdString();
        }
        return test::runProcess(OSTREL_BINARY, arguments, variables);
    }

    nlohmann::json plotter() {
        const test::ProcessResult curl = test::runProcess({"curl", "-s", "-m", "10", url("/v1/axidraw")});
        return nlohmann::json::parse(curl.out, nullptr, false);
    }

    /// Starts the program on `arguments` and waits until it shows `title`, vectorized.
    void startShowing(const QStringList& arguments, const std::string& title) {
        start(arguments);
        ASSERT_TRUE(waitUntil([&] {
            const nlohmann::json s = state();
            return s.is_object() && s.value("sourceTitle", "") == title && !s.value("isProcessing", true) &&
                   s["metrics"].value("pathCount", 0) > 0;
        })) << state().dump();
    }

    std::string url(const std::string& target) const { return "http://127.0.0.1:" + std::to_string(apiPort) + target; }

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

TEST_F(WindowedRun, ServesTheWindowRemotelyAndEndsOnSigterm) {
    // The language chosen in an earlier run is the one this run speaks.
    {
        QtSettingsStore settings;
        LanguageSettings language([] { return LanguageEnvironment{}; }, &settings);
        language.setCurrent(AppLanguage::en);
    }
    const std::string drawing = folder.file("drawing.png");
    test::writeDrawing(drawing);

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
        const test::ProcessResult curl =
            test::runProcess({"curl", "-s", "-m", "20", "-w", "\n%{http_code}", "-d", body.dump(), url(route)});
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

/// The value of `key` in the [Desktop Entry] group of `entry`, or empty.
std::string desktopValue(const std::string& entry, const std::string& key) {
    std::istringstream lines(entry);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    }
    return {};
}

TEST_F(WindowedRun, TheDesktopEntryNamesTheClassOfTheWindowAndSpeaksFrench) {
    const std::string entry = test::readFile(OSTREL_SOURCE_DIR "/data/app.ostrel.Ostrel.desktop");
    for (const char* key : {"Name[fr]", "GenericName[fr]", "Comment[fr]"}) {
        EXPECT_FALSE(desktopValue(entry, key).empty()) << key;
    }
    const std::string startupClass = desktopValue(entry, "StartupWMClass");
    ASSERT_FALSE(startupClass.empty());
    if (QStandardPaths::findExecutable("xvfb-run").isEmpty() || QStandardPaths::findExecutable("xwininfo").isEmpty()) {
        GTEST_SKIP() << "xvfb-run or xwininfo is missing (./dev setup)";
    }
    // The program on a real X server; xwininfo names each window's instance and class.
    const std::string script =
        "\"$0\" & pid=$!; for i in $(seq 150); do found=$(xwininfo -root -tree | grep '\"Ostrel\": (\"'); "
        "[ -n \"$found\" ] && break; sleep 0.2; done; echo \"$found\"; kill $pid; wait $pid";
    const test::ProcessResult run = test::runProcess("xvfb-run", {"-a", "sh", "-c", script, OSTREL_BINARY},
                                                     {{"QT_QPA_PLATFORM", "xcb"},
                                                      {"XDG_CONFIG_HOME", config.path().string()},
                                                      {"OSTREL_API_PORT", std::to_string(apiPort)},
                                                      {"OSTREL_OSC_IN_PORT", std::to_string(oscPort)},
                                                      {"KAVRIN_UPDATE_URL", "http://127.0.0.1:9/feed.json"}});
    const std::regex windowClass(R"re("Ostrel": \("[^"]*" "([^"]*)"\))re");
    std::smatch match;
    ASSERT_TRUE(std::regex_search(run.out, match, windowClass)) << run.out << run.err;
    EXPECT_EQ(match[1].str(), startupClass);
}

TEST_F(WindowedRun, ALaterStartHandsItsFileOrNothingToTheRunningWindowAndReportsTheOutcome) {
    {
        QtSettingsStore settings;
        LanguageSettings language([] { return LanguageEnvironment{}; }, &settings);
        language.setCurrent(AppLanguage::en);
    }
    const std::string drawing = folder.file("drawing.png");
    const std::string other = folder.file("other.png");
    const std::string latin1 = folder.file("caf\xe9.png");  // not UTF-8: the bytes must arrive unchanged
    test::writeDrawing(drawing);
    test::writeDrawing(other);
    std::filesystem::copy_file(drawing, latin1);  // by its bytes (Qt would write the name as UTF-8)
    // The value of --view is never the file: the drawing after it is.
    startShowing({"--view", "about", QString::fromStdString(drawing)}, "drawing.png");
    const auto recentPaths = [] {
        QtSettingsStore settings;  // reads the file the window wrote
        return settings.stringList("recentPaths").value_or(std::vector<std::string>{});
    };

    // The file goes through the window's own open: it is shown and heads the recent list.
    test::ProcessResult second = startAgain({other});
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(state().value("sourceTitle", ""), "other.png");
    ASSERT_FALSE(recentPaths().empty());
    EXPECT_EQ(recentPaths().front(), other);

    // A file the running window cannot open: said on standard error, with a failing status.
    second = startAgain({"--lang", "en", folder.file("missing.png")});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_NE(second.err.find("Could not load image \"missing.png\""), std::string::npos) << second.err;
    EXPECT_EQ(state().value("sourceTitle", ""), "other.png");

    second = startAgain({latin1});
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(state().value("sourceTitle", "").rfind("caf", 0), 0u) << state().dump();

    // No file: the running window is raised and this start ends; there is still one program.
    second = startAgain({});
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(program.state(), QProcess::Running);
    EXPECT_EQ(state().value("apiPort", 0), apiPort);

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(20000));
    // With the first one gone, the next start is the window again.
    start({});
    EXPECT_TRUE(waitUntil([&] { return state().is_object(); }));
}

TEST_F(WindowedRun, SigtermDuringAPlotStopsItAndQuitsWithoutAsking) {
    test::writeDrawing(folder.file("drawing.png"));
    startShowing({QString::fromStdString(folder.file("drawing.png"))}, "drawing.png");
    ASSERT_EQ(plotter().value("isSimulator", false), true);
    test::runProcess({"curl", "-s", "-m", "10", "-X", "POST", "-H", "Content-Type: application/json", "-d",
                      R"({"action":"plot"})", url("/v1/axidraw")});
    ASSERT_TRUE(waitUntil([&] { return plotter().value("isBusy", false); })) << plotter().dump();

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(10000)) << "the window waited for an answer";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_EQ(get("/v1/state"), 0);
}

}  // namespace
}  // namespace ostrel
