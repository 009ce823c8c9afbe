#include "app/remote/HTTPRoutes.h"

#include "app/remote/RemoteControl.h"

#include "app/document/VectorizerController.h"
#include "app/plotter/AxiDrawPlotterController.h"
#include "testsupport/ManualRunClock.h"
#include "testsupport/QtTestApp.h"
#include "testsupport/Subprocess.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

/// A plotter stand-in that records the commands it receives.
class RecordingPlotter final : public QObject, public PlotterLink {
public:
    std::vector<std::string> commands;
    void startPlot(const VectorizationResult&) override { commands.push_back("plot"); }
    void startBoundingBoxFrame(const VectorizationResult&) override { commands.push_back("frame"); }
    void pausePlot() override { commands.push_back("pause"); }
    void resumePlot() override { commands.push_back("resume"); }
    void stopPlot() override { commands.push_back("stop"); }
    void raisePen() override { commands.push_back("penup"); }
    void lowerPen() override { commands.push_back("pendown"); }
    void returnToHome() override { commands.push_back("home"); }
    void unlockMotorsAndZeroOrigin() override { commands.push_back("unlock"); }
    [[nodiscard]] PlotterStatusReport statusReport() const override {
        PlotterStatusReport r;
        r.port = "virtual://axidraw-simulator";
        r.status = "after " + (commands.empty() ? std::string("nothing") : commands.back());
        return r;
    }
};

HTTPRequest request(std::string method, std::string target, std::string body = {}) {
    HTTPRequest r;
    r.method = std::move(method);
    const auto q = target.find('?');
    r.path = target.substr(0, q);
    r.query = q == std::string::npos ? "" : target.substr(q + 1);
    r.body = std::move(body);
    return r;
}

class HTTPRoutesTest : public ::testing::Test {
protected:
    void SetUp() override { test::ensureQtApp(); }
    Json call(const std::string& method, const std::string& target, const std::string& body = {}, int status = 200) {
        const HTTPResponse response = dispatchHTTPRequest(remote, request(method, target, body));
        EXPECT_EQ(response.status, status) << method << " " << target;
        return Json::parse(response.body);
    }
    RecordingPlotter plotter;
    VectorizerController controller;
    PlottingService plotting{controller, &plotter};
    RemoteControl remote{controller, &plotting};
};

TEST_F(HTTPRoutesTest, StateWithoutADocumentAndNotFound) {
    const Json state = call("GET", "/v1/state?x=1");
    EXPECT_EQ(state, call("GET", "/v1/status"));
    EXPECT_EQ(state["metrics"]["pageWidthMM"], 210.0);
    EXPECT_EQ(state["metrics"]["usedNeuralEngine"], true);
    EXPECT_EQ(state["metrics"]["pathCount"], 0);
    EXPECT_EQ(state["layers"], Json::array());
    EXPECT_EQ(state["oscInPort"], 9140);
    EXPECT_EQ(state.size(), 12u);
    for (const auto& [method, path] : std::vector<std::pair<std::string, std::string>>{
             {"POST", "/v1/state"}, {"GET", "/v1/open"}, {"GET", "/v1/state/"}, {"HEAD", "/v1/help"}}) {
        const Json notFound = call(method, path, {}, 404);
        EXPECT_EQ(notFound, (Json{{"error", "not found"}, {"path", path}}));
    }
    const HTTPResponse svg = dispatchHTTPRequest(remote, request("GET", "/v1/svg"));
    EXPECT_EQ(svg.status, 200);
    EXPECT_EQ(svg.contentType, "image/svg+xml; charset=utf-8");
    EXPECT_TRUE(svg.body.empty());
    EXPECT_EQ(call("POST", "/v1/export", "{}", 400), (Json{{"error", "No active vectorization result"}}));
    EXPECT_EQ(call("GET", "/v1/help")["oscAddresses"].size(), 14u);
}

TEST_F(HTTPRoutesTest, OpenParamsExportReset) {
    test::TemporaryFolder folder;
    const Json opened = call("POST", "/v1/open", R"({"preset":"Portrait"})");
    EXPECT_EQ(opened["preset"], "portrait");
    EXPECT_GT(opened["pathCount"].get<int>(), 0);
    EXPECT_EQ(call("GET", "/v1/state")["layers"][0]["index"], 1);

    EXPECT_EQ(call("POST", "/v1/open", R"({"preset":"nope","path":""})", 400),
              (Json{{"error", "Provide 'path' or 'preset'"}}));
    const Json failed = call("POST", "/v1/open", R"({"preset":3,"path":")" + folder.file("a.png") + R"("})", 400);
    EXPECT_EQ(failed["ok"], false);
    EXPECT_EQ(failed["path"], folder.file("a.png"));
    // A PDF file opens as its first page; one without a page fails like a broken image and changes nothing.
    const std::string corpus = std::string(OSTREL_SOURCE_DIR) + "/tests/fuzz/corpus/pdf_file/";
    const std::string openSvg = controller.result()->svgAxiDraw.text();
    const Json noPage = call("POST", "/v1/open", R"({"path":")" + corpus + R"(no-page.pdf"})", 400);
    EXPECT_EQ(noPage["ok"], false);
    EXPECT_EQ(controller.result()->svgAxiDraw.text(), openSvg) << "the preset is still open";
    const Json drawing = call("POST", "/v1/open", R"({"path":")" + corpus + R"(line-drawing.pdf"})");
    EXPECT_GT(drawing["pathCount"].get<int>(), 0);
    controller.loadPreset(SyntheticPreset::portrait, true);

    const Json params = call("POST", "/v1/params", R"({"penCount":3})");
    EXPECT_EQ(params["ok"], true);
    EXPECT_EQ(controller.params().penCount, 3);
    EXPECT_EQ(controller.result()->layers.size(), 3u);

    const Json pdf = call("POST", "/v1/export", R"({"format":"PDF"})");
    EXPECT_EQ(pdf["format"], "svg");
    EXPECT_EQ(pdf["content"], controller.result()->svgAxiDraw.text());
    EXPECT_EQ(call("POST", "/v1/export", R"({"format":"SVG-Preview"})")["content"],
              controller.result()->svgPreview.text());
    const Json written =
        call("POST", "/v1/export", R"({"format":"txt","outputPath":")" + folder.file("x/y/sheet.txt") + R"("})");
    const std::string sheet = test::readFile(folder.file("x/y/sheet.txt"));
    EXPECT_EQ(written["bytes"], sheet.size());
    EXPECT_EQ(written["outputPath"], folder.file("x/y/sheet.txt"));

    EXPECT_EQ(call("POST", "/v1/reset"), (Json{{"ok", true}}));
    EXPECT_EQ(controller.params(), VectorizerParams());
}

TEST_F(HTTPRoutesTest, PlotterRoutes) {
    const Json status = call("GET", "/v1/axidraw");
    EXPECT_EQ(status["port"], "virtual://axidraw-simulator");
    EXPECT_EQ(status.size(), 9u);
    EXPECT_EQ(call("POST", "/v1/axidraw"), (Json{{"action", "status"}, {"ok", true}, {"status", "after nothing"}}));
    EXPECT_EQ(call("POST", "/v1/axidraw", R"({"action":"PenUp"})")["action"], "penup");
    EXPECT_EQ(call("POST", "/v1/axidraw", R"({"action":"plot"})")["ok"], true);  // no result: nothing runs
    EXPECT_EQ(plotter.commands, std::vector<std::string>{"penup"});
    controller.loadPreset(SyntheticPreset::rosette, true);
    EXPECT_EQ(call("POST", "/v1/axidraw", R"({"action":"start"})")["status"], "after plot");

    VectorizerController orphan;
    RemoteControl orphanRemote{orphan};
    const HTTPResponse none = dispatchHTTPRequest(orphanRemote, request("GET", "/v1/axidraw"));
    EXPECT_EQ(Json::parse(none.body), (Json{{"ok", false}}));
}

/// A window stand-in that renders "PNG bytes" naming the view it was asked for.
class RecordingSnapshots final : public SnapshotSource {
public:
    std::vector<std::string> queries;
    bool answer = true;
    std::optional<std::string> snapshotPNG(const VectorizerController& document, const std::string& query) override {
        queries.push_back(query);
        if (!answer) return std::nullopt;
        return "\x89PNG " + query + " " + document.sourceTitle();
    }
};

TEST_F(HTTPRoutesTest, SnapshotComesFromTheWindowAndAMissingPictureIsAnError) {
    const HTTPResponse noWindow = dispatchHTTPRequest(remote, request("GET", "/v1/snapshot.png"));
    EXPECT_EQ(noWindow.status, 500);
    EXPECT_EQ(noWindow.body, "{\n  \"error\": \"failed to render PNG\"\n}");

    RecordingSnapshots window;
    remote.setSnapshotSource(&window);
    controller.loadPreset(SyntheticPreset::rosette, true);
    const HTTPResponse png = dispatchHTTPRequest(remote, request("GET", "/v1/snapshot.png?view=overlay"));
    EXPECT_EQ(png.status, 200);
    EXPECT_EQ(png.contentType, "image/png");
    EXPECT_EQ(png.body, "\x89PNG view=overlay " + controller.sourceTitle());
    window.answer = false;
    const HTTPResponse none = dispatchHTTPRequest(remote, request("GET", "/v1/snapshot.png?view=vector"));
    EXPECT_EQ(none.status, 500);
    EXPECT_EQ(none.contentType, kJSONContentType);
    EXPECT_EQ(none.body, "{\n  \"error\": \"failed to render PNG\"\n}");
    EXPECT_EQ(window.queries, (std::vector<std::string>{"view=overlay", "view=vector"}));

    auto document = std::make_unique<VectorizerController>();
    RemoteControl orphaned{*document};
    document.reset();
    const HTTPResponse gone = dispatchHTTPRequest(orphaned, request("GET", "/v1/state"));
    EXPECT_EQ(gone.status, 503);
    EXPECT_EQ(Json::parse(gone.body), (Json{{"error", "The document is gone"}}));
}

/// The real plotter controller on its simulator, commanded through the route and over OSC.
TEST_F(HTTPRoutesTest, RealPlotterControllerOnTheSimulator) {
    test::TemporaryFolder noPorts;
    auto clock = std::make_shared<test::ManualRunClock>();
    clock->setHeld(true);  // the run waits at its first pause, so its state can be read
    AxiDrawPlotterController real(AxiDrawPlotterController::Environment{noPorts.path(), clock});
    VectorizerController document;
    PlottingService plotting(document, &real);
    RemoteControl remote{document, &plotting};
    document.loadPreset(SyntheticPreset::rosette, true);

    const HTTPResponse started = dispatchHTTPRequest(remote, request("POST", "/v1/axidraw", R"({"action":"plot"})"));
    EXPECT_EQ(Json::parse(started.body)["status"], real.statusLog());
    EXPECT_TRUE(real.runState().isRunning());
    const Json status = Json::parse(dispatchHTTPRequest(remote, request("GET", "/v1/axidraw")).body);
    EXPECT_EQ(status["isSimulator"], true);
    EXPECT_EQ(status["isBusy"], true);
    EXPECT_EQ(status["port"], "virtual://axidraw-simulator");

    remote.handleOSCMessage({"/ostrel/axidraw/stop", {}});
    EXPECT_FALSE(real.runState().isRunning());
    EXPECT_EQ(Json::parse(dispatchHTTPRequest(remote, request("GET", "/v1/axidraw")).body)["isBusy"], false);
}

/// The whole road over a real socket: curl on loopback, the request served on the main thread.
TEST_F(HTTPRoutesTest, RealCurlOverLoopback) {
    ASSERT_TRUE(remote.startHTTPServer(0));
    const std::string base = "http://127.0.0.1:" + std::to_string(remote.httpPort());
    // curl runs from another thread while this one serves it. Not QProcess: its child shares this
    // thread's stack until it execs, which a ThreadSanitizer build takes for writes of this thread.
    auto curl = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"curl", "-s", "-w", "\n%{http_code}"});
        return test::runWhileProcessingEvents([&] { return test::runProcess(args); }).out;
    };
    const std::string opened = curl(
        {"-X", "POST", "-H", "Content-Type: application/json", "--data", R"({"preset":"stage"})", base + "/v1/open"});
    EXPECT_NE(opened.find("\"preset\": \"stage\""), std::string::npos) << opened;
    EXPECT_EQ(opened.substr(opened.size() - 3), "200");
    const std::string state = curl({base + "/v1/state"});
    EXPECT_NE(state.find("\"apiPort\": " + std::to_string(remote.httpPort())), std::string::npos);
    const std::string svg = curl({base + "/v1/svg"});
    EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
    EXPECT_EQ(curl({base + "/v1/nothing"}).substr(0, 1), "{");
    remote.stopAllServices();
    EXPECT_FALSE(remote.isHTTPServerRunning());
}

}  // namespace
}  // namespace ostrel
