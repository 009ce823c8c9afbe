#include "mcp/OstrelMCPServer.h"

#include "testsupport/LoopbackHttpStub.h"
#include "mcp/ToolDefinitions.h"
#include "core/support/text/Utf8.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <unistd.h>

#include <deque>
#include <stdexcept>
#include <variant>

namespace ostrel::mcp {
namespace {

using nlohmann::json;

struct Call {
    std::string method;
    std::string path;
    std::optional<std::string> body;
};

// A transport that records each call and answers from a queue (an answer or an error to throw);
// an empty queue answers 200 {"ok":true}.
class RecordingTransport {
public:
    using Outcome = std::variant<APIResponse, ProxyError, std::runtime_error>;

    Transport transport() {
        return [this](const std::string& method, const std::string& path, const std::optional<std::string>& body) {
            calls.push_back({method, path, body});
            if (outcomes.empty()) return APIResponse{200, R"({"ok":true})", "application/json", {}};
            Outcome next = outcomes.front();
            outcomes.pop_front();
            if (auto* error = std::get_if<ProxyError>(&next)) throw *error;
            if (auto* error = std::get_if<std::runtime_error>(&next)) throw *error;
            return std::get<APIResponse>(next);
        };
    }

    std::vector<Call> calls;
    std::deque<Outcome> outcomes;
};

class MCPServer : public ::testing::Test {
protected:
    // The reply to `line` parsed back, or null when there is none.
    json reply(std::string_view line) {
        const auto text = server.handle(line);
        if (!text) return json();
        EXPECT_EQ(text->find('\n'), std::string::npos) << *text;
        return json::parse(*text);
    }

    RecordingTransport recorder;
    OstrelMCPServer server{recorder.transport(), "http://127.0.0.1:17940", OSTREL_MCP_VERSION};
};

TEST_F(MCPServer, RepliesToEachKindOfLine) {
    struct Case {
        std::string line;
        std::optional<std::string> expected;  // JSON of the reply, or none
    };
    const Case cases[] = {
        {"", std::nullopt},
        {" \t \r", std::nullopt},
        {"\xc2\xa0\xe3\x80\x80", std::nullopt},  // no-break space and ideographic space only
        {R"({"jsonrpc":"2.0","id":7,"method":"ping"})", R"({"jsonrpc":"2.0","id":7,"result":{}})"},
        {"\xe2\x80\xa8 {\"id\":7,\"method\":\"ping\"} \xc2\x85", R"({"jsonrpc":"2.0","id":7,"result":{}})"},
        {R"({"id":"abc","method":"ping"})", R"({"jsonrpc":"2.0","id":"abc","result":{}})"},
        {R"({"id":{"k":[1,2]},"method":"ping"})", R"({"jsonrpc":"2.0","id":{"k":[1,2]},"result":{}})"},
        {R"({"id":null,"method":"ping"})", R"({"jsonrpc":"2.0","id":null,"result":{}})"},
        {R"({"id":2.5,"method":"ping","jsonrpc":"1.0"})", R"({"jsonrpc":"2.0","id":2.5,"result":{}})"},
        {"not json", R"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"parse error"}})"},
        {"[]", R"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"parse error"}})"},
        {R"([{"id":1,"method":"ping"}])",
         R"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"parse error"}})"},
        {"42", R"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"parse error"}})"},
        {R"({"id":1,"method":"ping"} x)",
         R"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"parse error"}})"},
        {"{}", std::nullopt},
        {R"({"method":"ping"})", std::nullopt},
        {R"({"method":"tools/call","params":{"name":"ostrel_state"}})", std::nullopt},
        {R"({"jsonrpc":"2.0","method":"notifications/initialized"})", std::nullopt},
        {R"({"method":5})", std::nullopt},
        // A request whose sender waits on its id is answered even without a method.
        {R"({"id":9})", R"({"jsonrpc":"2.0","id":9,"error":{"code":-32600,"message":"Invalid Request"}})"},
        {R"({"id":"q","method":["ping"]})",
         R"({"jsonrpc":"2.0","id":"q","error":{"code":-32600,"message":"Invalid Request"}})"},
        {R"({"id":3,"method":"resources/list"})",
         R"({"jsonrpc":"2.0","id":3,"error":{"code":-32601,"message":"method not found: resources/list"}})"},
        {R"({"id":3,"method":"Ping"})",
         R"({"jsonrpc":"2.0","id":3,"error":{"code":-32601,"message":"method not found: Ping"}})"},
        {R"({"id":4,"method":"tools/call","params":{"name":"ostrel_nope"}})",
         R"({"jsonrpc":"2.0","id":4,"error":{"code":-32602,"message":"unknown tool: ostrel_nope"}})"},
        {R"({"id":4,"method":"tools/call","params":{"name":7}})",
         R"({"jsonrpc":"2.0","id":4,"error":{"code":-32602,"message":"unknown tool: "}})"},
        {R"({"id":4,"method":"tools/call"})",
         R"({"jsonrpc":"2.0","id":4,"error":{"code":-32602,"message":"unknown tool: "}})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const json got = reply(c.line);
        if (c.expected) {
            EXPECT_EQ(got, json::parse(*c.expected));
        } else {
            EXPECT_TRUE(got.is_null()) << got.dump();
        }
    }
    EXPECT_TRUE(recorder.calls.empty()) << "no line above may reach the application";
}

TEST_F(MCPServer, InitializeEchoesProtocolVersionOrDefaults) {
    struct Case {
        std::string params;
        std::string expected;
    };
    const Case cases[] = {
        {"", "2024-11-05"},
        {R"(,"params":{"protocolVersion":"2025-03-26"})", "2025-03-26"},
        {R"(,"params":{"protocolVersion":""})", ""},
        {R"(,"params":{"protocolVersion":20250326})", "2024-11-05"},
        {R"(,"params":["2025-03-26"])", "2024-11-05"},
    };
    for (const Case& c : cases) {
        const json got = reply(R"({"jsonrpc":"2.0","id":1,"method":"initialize")" + c.params + "}");
        ASSERT_TRUE(got.contains("result")) << c.params;
        const json& result = got["result"];
        EXPECT_EQ(result["protocolVersion"], c.expected) << c.params;
        EXPECT_EQ(result["capabilities"], json::parse(R"({"tools":{}})"));
        EXPECT_EQ(result["serverInfo"], (json{{"name", "ostrel"}, {"version", OSTREL_MCP_VERSION}}));
        EXPECT_TRUE(result["instructions"].get<std::string>().starts_with("Controls Ostrel, the native "));
        EXPECT_TRUE(result["instructions"].get<std::string>().ends_with("inspect visually with ostrel_snapshot."));
        EXPECT_EQ(result.size(), 4u);
    }
}

TEST_F(MCPServer, ToolsListIsTheExactDocument) {
    const json expected = json::parse(R"json([
      {"name":"ostrel_state","description":"Returns the current state of Ostrel: current image name & dimensions, active algorithm, parameters, plotter metrics (pathCount, drawDistanceMM, travelDistanceMM, travelSavingsPercent, penLifts, estimatedPlotSeconds, computeMilliseconds), pen layers, oscInPort, apiPort, version.",
       "inputSchema":{"type":"object","properties":{}}},
      {"name":"ostrel_help","description":"Returns the full HTTP API, MCP tool reference, OSC address map, and CLI flags.",
       "inputSchema":{"type":"object","properties":{}}},
      {"name":"ostrel_open","description":"Opens an image file from disk (PNG, JPEG, TIFF, BMP) or loads one of the built-in synthetic line-art presets ('portrait', 'stage', 'hatching', 'rosette') and runs vectorization.",
       "inputSchema":{"type":"object","properties":{
         "path":{"type":"string","description":"Path to an image file on disk"},
         "preset":{"type":"string","enum":["portrait","stage","hatching","rosette"],"description":"Optional synthetic line-drawing preset"}}}},
      {"name":"ostrel_set_params","description":"Updates one or more vectorization or AxiDraw layout parameters and triggers re-vectorization (uses fast Stage-B cache when only curve fitting, paper size, or 2-opt changes).",
       "inputSchema":{"type":"object","properties":{
         "algorithm":{"type":"string","enum":["neural_centerline","vision_contours","skeletonize","canny_edges"]},
         "adaptiveThreshold":{"type":"boolean"},
         "invert":{"type":"boolean"},
         "threshold":{"type":"integer","description":"Threshold 0..255"},
         "blurRadius":{"type":"number","description":"Gaussian blur sigma 0..10"},
         "morphCleanup":{"type":"integer","description":"0=none, 1=close, 2=open+close"},
         "rdpTolerance":{"type":"number","description":"RDP simplification tolerance 0.1..5.0 px"},
         "curveSmoothing":{"type":"number","description":"Schneider cubic Bézier smoothing 0.0..1.0"},
         "cornerAngleDeg":{"type":"integer","description":"Corner split angle 15..90 deg"},
         "minPathLengthPx":{"type":"integer","description":"Minimum path length in pixels 1..30"},
         "stegerSubpixel":{"type":"boolean","description":"Enable Steger Hessian sub-pixel centerline refinement"},
         "crossJunctions":{"type":"boolean","description":"Enable collinear junction crossing"},
         "maxStitchGapPx":{"type":"number","description":"Maximum stitch gap 1..25 px"},
         "continuity":{"type":"number","description":"Stitching continuity 0..100"},
         "hatchEnabled":{"type":"boolean","description":"Enable hatch fill for dark regions"},
         "hatchSpacingPx":{"type":"number","description":"Hatch spacing in pixels 2.5..20"},
         "hatchAngleDeg":{"type":"number","description":"Hatch angle in degrees"},
         "crossHatch":{"type":"boolean"},
         "penCount":{"type":"integer","description":"Number of pens 1..4"},
         "paperFormat":{"type":"string","enum":["A4","A3","A5","A6","original"]},
         "paperOrientation":{"type":"string","enum":["auto","portrait","landscape"]},
         "marginMM":{"type":"number","description":"Paper margin in mm"},
         "optimize2Opt":{"type":"boolean","description":"Enable 2-opt toolpath travel optimization"},
         "exportBlackStrokes":{"type":"boolean"}}}},
      {"name":"ostrel_export_svg","description":"Returns the generated AxiDraw-ready SVG (or writes it to an output file path if 'outputPath' is given).",
       "inputSchema":{"type":"object","properties":{
         "outputPath":{"type":"string","description":"Optional file path where the SVG should be saved"},
         "format":{"type":"string","enum":["svg","svg-preview","json","txt","csv"],"description":"Export format (default 'svg')"}}}},
      {"name":"ostrel_snapshot","description":"Captures the Ostrel window as a PNG image ('split', 'overlay', or 'vector' view).",
       "inputSchema":{"type":"object","properties":{
         "view":{"type":"string","enum":["split","overlay","vector"],"description":"Optional view mode"}}}}
    ])json");
    const json got = reply(R"({"jsonrpc":"2.0","id":"t","method":"tools/list","params":{"cursor":"x"}})");
    EXPECT_EQ(got["id"], "t");
    ASSERT_EQ(got["result"].size(), 1u);
    // json compares arrays in order: the tool order and every enum order are checked too.
    EXPECT_EQ(got["result"]["tools"], expected);
    EXPECT_EQ(&ostrelToolDefinitions(), &ostrelToolDefinitions()) << "built once";
}

TEST_F(MCPServer, RoutesEachToolToOneRequest) {
    struct Case {
        std::string params;
        Call expected;
    };
    const Case cases[] = {
        {R"({"name":"ostrel_state","arguments":{"ignored":1}})", {"GET", "/v1/state", std::nullopt}},
        {R"({"name":"ostrel_help"})", {"GET", "/v1/help", std::nullopt}},
        {R"({"name":"ostrel_open","arguments":{"path":"~/Drawings/a b.png","preset":"portrait"}})",
         {"POST", "/v1/open", R"({"path":"~/Drawings/a b.png","preset":"portrait"})"}},
        {R"({"name":"ostrel_open"})", {"POST", "/v1/open", "{}"}},
        {R"({"name":"ostrel_open","arguments":["path"]})", {"POST", "/v1/open", "{}"}},
        {R"({"name":"ostrel_open","arguments":"path"})", {"POST", "/v1/open", "{}"}},
        // Arguments go out unvalidated: unknown keys, wrong kinds and nested values included.
        {R"({"name":"ostrel_set_params","arguments":{"threshold":"high","penCount":9,"x":{"y":[null,true]}}})",
         {"POST", "/v1/params", R"({"penCount":9,"threshold":"high","x":{"y":[null,true]}})"}},
        {R"({"name":"ostrel_export_svg","arguments":{"format":"csv","outputPath":"/tmp/é/out.csv"}})",
         {"POST", "/v1/export", R"({"format":"csv","outputPath":"/tmp/é/out.csv"})"}},
        {R"({"name":"ostrel_snapshot","arguments":{"view":"overlay"}})",
         {"GET", "/v1/snapshot.png?view=overlay", std::nullopt}},
        {R"({"name":"ostrel_snapshot","arguments":{"view":"any thing&x=1"}})",
         {"GET", "/v1/snapshot.png?view=any thing&x=1", std::nullopt}},
        {R"({"name":"ostrel_snapshot","arguments":{"view":""}})", {"GET", "/v1/snapshot.png", std::nullopt}},
        {R"({"name":"ostrel_snapshot","arguments":{"view":3}})", {"GET", "/v1/snapshot.png", std::nullopt}},
        {R"({"name":"ostrel_snapshot"})", {"GET", "/v1/snapshot.png", std::nullopt}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.params);
        recorder.calls.clear();
        const json got = reply(R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":)" + c.params + "}");
        ASSERT_EQ(recorder.calls.size(), 1u);
        EXPECT_EQ(recorder.calls[0].method, c.expected.method);
        EXPECT_EQ(recorder.calls[0].path, c.expected.path);
        EXPECT_EQ(recorder.calls[0].body, c.expected.body);
        ASSERT_TRUE(got.contains("result"));
    }
}

TEST_F(MCPServer, ToolResultsCarryTheAnswerOrTheError) {
    recorder.outcomes = {
        APIResponse{200, "{\"svg\":\"<svg>\\n</svg>\",\"path\":\"/a/b\"}", "application/json", {}},
        APIResponse{400, R"({"error":"No active vectorization result"})", "application/json", {}},
        ProxyError::unreachable("http://127.0.0.1:17940"),
        ProxyError::badArguments("bad path /v1/snapshot.png?view=a b"),
        std::runtime_error("something else"),
    };
    const auto call = [&](const std::string& name) {
        return reply(R"({"id":1,"method":"tools/call","params":{"name":")" + name + R"("}})")["result"];
    };
    EXPECT_EQ(call("ostrel_state"), json::parse(R"({"content":[{"type":"text",
        "text":"{\"svg\":\"<svg>\\n</svg>\",\"path\":\"/a/b\"}"}],"isError":false})"));
    EXPECT_EQ(call("ostrel_export_svg"), json::parse(R"({"content":[{"type":"text",
        "text":"{\"error\":\"No active vectorization result\"}"}],"isError":true})"));
    EXPECT_EQ(call("ostrel_help"),
              json({{"content",
                     {{{"type", "text"}, {"text", ProxyError::unreachable("http://127.0.0.1:17940").description()}}}},
                    {"isError", true}}));
    EXPECT_EQ(call("ostrel_snapshot"), json::parse(R"({"content":[{"type":"text",
        "text":"bad path /v1/snapshot.png?view=a b"}],"isError":true})"));
    EXPECT_EQ(call("ostrel_open"),
              json::parse(R"({"content":[{"type":"text","text":"something else"}],"isError":true})"));
}

TEST_F(MCPServer, CallToolRefusesANameOutsideTheTable) {
    try {
        (void)server.callTool("ostrel_other", json::object());
        ADD_FAILURE() << "no error";
    } catch (const ProxyError& error) {
        EXPECT_EQ(error.kind(), ProxyError::Kind::badArguments);
        EXPECT_EQ(error.description(), "unknown tool ostrel_other");
    }
    EXPECT_TRUE(recorder.calls.empty());
}

TEST(MCPResults, TextResultJudgesStatusAndRepairsUtf8) {
    for (const auto& [status, isError] : {std::pair{200, false}, {399, false}, {400, true}, {404, true}, {500, true}}) {
        const json result = OstrelMCPServer::textResult({status, "body", "", {}});
        EXPECT_EQ(result["isError"], isError) << status;
        EXPECT_EQ(result["content"][0]["text"], "body");
    }
    // Bad bytes (a lone continuation byte, a truncated sequence, a surrogate) become U+FFFD.
    const json result = OstrelMCPServer::textResult({200,
                                                     "a\x80"
                                                     "b\xe2\x82"
                                                     "c\xed\xa0\x80",
                                                     "",
                                                     {}});
    EXPECT_EQ(result["content"][0]["text"],
              "a\xef\xbf\xbd"
              "b\xef\xbf\xbd"
              "c\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd");
    const auto line = OstrelMCPServer::encode(result);
    ASSERT_TRUE(line);
    EXPECT_TRUE(isValidUtf8(*line));
    EXPECT_EQ(json::parse(*line), result);
}

TEST(MCPResults, ImageResultOnlyForA200NonJsonAnswer) {
    using namespace std::string_literals;
    const std::string png = test::samplePngBytes();
    struct Case {
        int status;
        std::string contentType;
        std::optional<std::string> mimeType;  // none: a text result
    };
    const Case cases[] = {
        {200, "image/png", "image/png"},
        {200, "image/PNG; q=1", "image/PNG"},
        {200, "Image/Jpeg ;x", "Image/Jpeg "},
        {200, "application/octet-stream", "image/png"},
        {200, "", "image/png"},
        {200, "application/json; charset=utf-8", std::nullopt},
        {200, "image/svg+JSON", std::nullopt},
        {201, "image/png", std::nullopt},
        {404, "image/png", std::nullopt},
        {500, "text/plain", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.contentType + " " + std::to_string(c.status));
        const json result =
            OstrelMCPServer::imageResult({c.status, png, c.contentType, {}}, "Snapshot of the Ostrel window.");
        if (c.mimeType) {
            EXPECT_EQ(result, json({{"content",
                                     {{{"type", "image"},
                                       {"data", "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJ"},
                                       {"mimeType", *c.mimeType}},
                                      {{"type", "text"}, {"text", "Snapshot of the Ostrel window."}}}}}));
        } else {
            EXPECT_EQ(result, OstrelMCPServer::textResult({c.status, png, c.contentType, {}}));
        }
    }
}

TEST(MCPResults, EncodeWritesOneLineWithSlashesAndUtf8AsIs) {
    const json reply = {
        {"jsonrpc", "2.0"}, {"id", 1}, {"text", "<svg>\n\t/é\x01</svg>\r\xe2\x80\xa8"}, {"bad", "x\xff"}};
    const auto line = OstrelMCPServer::encode(reply);
    ASSERT_TRUE(line);
    EXPECT_EQ(line->find('\n'), std::string::npos);
    EXPECT_EQ(line->find('\r'), std::string::npos);
    EXPECT_NE(line->find(R"("<svg>\n\t/é\u0001</svg>\r)"), std::string::npos) << *line;
    EXPECT_NE(line->find("\"x\xef\xbf\xbd\""), std::string::npos) << *line;
    EXPECT_EQ(line->find(' '), std::string::npos) << "compact";
}

// Runs the line loop on `input` and returns everything it wrote.
std::string runLoop(OstrelMCPServer& server, const std::string& input) {
    FILE* in = ::tmpfile();
    FILE* out = ::tmpfile();
    EXPECT_TRUE(in && out);
    EXPECT_EQ(::write(::fileno(in), input.data(), input.size()), static_cast<ssize_t>(input.size()));
    ::lseek(::fileno(in), 0, SEEK_SET);
    server.run(::fileno(in), ::fileno(out));
    std::string written(static_cast<std::size_t>(::lseek(::fileno(out), 0, SEEK_END)), '\0');
    EXPECT_EQ(::pread(::fileno(out), written.data(), written.size(), 0), static_cast<ssize_t>(written.size()));
    ::fclose(in);
    ::fclose(out);
    return written;
}

TEST_F(MCPServer, RunHandlesLinesInOrderAndRepairsBadBytes) {
    const std::string input =
        "{\"id\":1,\"method\":\"ping\"}\r\n"
        "\n"
        "{\"method\":\"notifications/initialized\"}\n"
        "{\"id\":\"\xff\",\"method\":\"ping\"}\n"
        "{\"id\":3,\"method\":\"tools/call\",\"params\":{\"name\":\"ostrel_open\",\"arguments\":{\"path\":\"/t/"
        "\xc3\"}}}\n"
        "{\"id\":4,\"method\":\"ping\"}";  // last line without line end
    EXPECT_EQ(
        runLoop(server, input),
        "{\"id\":1,\"jsonrpc\":\"2.0\",\"result\":{}}\n"
        "{\"id\":\"\xef\xbf\xbd\",\"jsonrpc\":\"2.0\",\"result\":{}}\n"
        "{\"id\":3,\"jsonrpc\":\"2.0\",\"result\":{\"content\":[{\"text\":\"{\\\"ok\\\":true}\",\"type\":\"text\"}],"
        "\"isError\":false}}\n"
        "{\"id\":4,\"jsonrpc\":\"2.0\",\"result\":{}}\n");
    ASSERT_EQ(recorder.calls.size(), 1u);
    EXPECT_EQ(recorder.calls[0].body, "{\"path\":\"/t/\xef\xbf\xbd\"}");
}

TEST_F(MCPServer, RunAnswersAnOverlongLineAndGoesOn) {
    std::string input = R"({"id":1,"method":"ping","params":{"pad":")" + std::string(maxLineBytes, 'x') + "\"}}\n";
    input += R"({"id":2,"method":"ping"})"
             "\n";
    input += R"({"id":3,"method":"ping","pad":")" + std::string(maxLineBytes - 40, 'y') + "\"}\n";
    const std::string output = runLoop(server, input);
    const auto firstEnd = output.find('\n');
    ASSERT_NE(firstEnd, std::string::npos);
    const json first = json::parse(output.substr(0, firstEnd));
    EXPECT_EQ(first["id"], nullptr);
    EXPECT_EQ(first["error"]["code"], -32600);
    EXPECT_EQ(first["error"]["message"], "Invalid Request: message longer than 8388608 bytes");
    EXPECT_EQ(output.substr(firstEnd + 1),
              "{\"id\":2,\"jsonrpc\":\"2.0\",\"result\":{}}\n{\"id\":3,\"jsonrpc\":\"2.0\",\"result\":{}}\n");
}

}  // namespace
}  // namespace ostrel::mcp
