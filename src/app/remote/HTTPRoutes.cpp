#include "app/remote/HTTPRoutes.h"

#include "app/document/VectorizerController.h"
#include "app/remote/RemoteControl.h"
#include "core/export/SVGExporter.h"
#include "app/remote/JSONParams.h"
#include "core/support/app/AppVersion.h"
#include "core/support/system/Error.h"
#include "core/support/system/FileWriting.h"
#include "core/support/text/NumberFormat.h"

namespace ostrel {

namespace {

/// Text of `args[key]` when it is a string, else none.
std::optional<std::string> textArg(const Json& args, const char* key) {
    const auto it = args.find(key);
    if (it == args.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

PlotterMetrics currentMetrics(const VectorizerController& c) {
    return c.result() ? c.result()->metrics : PlotterMetrics();
}

Json metricsJSON(const PlotterMetrics& m) {
    return Json{{"imageWidth", m.imageWidth},
                {"imageHeight", m.imageHeight},
                {"pageWidthMM", m.pageWidthMM},
                {"pageHeightMM", m.pageHeightMM},
                {"pathCount", m.pathCount},
                {"pointCount", m.pointCount},
                {"bezierSegmentCount", m.bezierSegmentCount},
                {"drawDistanceMM", m.drawDistanceMM},
                {"travelDistanceMM", m.travelDistanceOptimizedMM},
                {"travelSavingsPercent", m.travelSavingsPercent},
                {"penLifts", m.penLifts},
                {"estimatedPlotSeconds", m.estimatedPlotSeconds},
                {"computeMilliseconds", m.computeMilliseconds},
                {"usedNeuralEngine", m.usedNeuralEngine}};
}

HTTPResponse stateRoute(const RemoteControl& remote, const VectorizerController& c) {
    Json layers = Json::array();
    if (c.result()) {
        for (const PenLayer& layer : c.result()->layers) {
            layers.push_back({{"index", layer.index + 1},
                              {"name", layer.name},
                              {"widthMM", layer.widthMM},
                              {"colorHex", layer.colorHex},
                              {"visible", layer.visible},
                              {"pathCount", static_cast<std::int64_t>(layer.paths.size())}});
        }
    }
    const VectorizerParams& p = c.params();
    return HTTPResponse::json(200, Json{{"app", "Ostrel"},
                                        {"version", AppVersion::current().version},
                                        {"sourceTitle", c.sourceTitle()},
                                        {"algorithm", std::string(rawValue(p.algorithm))},
                                        {"paperFormat", std::string(rawValue(p.paperFormat))},
                                        {"penCount", p.penCount},
                                        {"isProcessing", c.isProcessing()},
                                        {"oscInPort", remote.oscPort()},
                                        {"apiPort", remote.httpPort()},
                                        {"statusMessage", c.statusMessage()},
                                        {"metrics", metricsJSON(currentMetrics(c))},
                                        {"layers", std::move(layers)}});
}

HTTPResponse helpRoute() {
    return HTTPResponse::json(
        200,
        Json{
            {"app", "Ostrel"},
            {"httpEndpoints",
             {"GET /v1/state", "GET /v1/help", "GET /v1/svg", "GET /v1/snapshot.png?view=split|overlay|vector",
              R"(POST /v1/open {"path":"/path/to/drawing.png","preset":"portrait|stage|hatching|rosette"})",
              R"(POST /v1/params {"algorithm":"neural_centerline","curveSmoothing":0.65,"penCount":2,"paperFormat":"A4"})",
              R"(POST /v1/export {"outputPath":"/tmp/out.svg","format":"svg|json|txt|csv"})", "POST /v1/reset"}},
            {"oscAddresses",
             {"/ostrel/algorithm <neural_centerline|vision_contours|skeletonize|canny_edges>",
              "/ostrel/threshold <0..255>", "/ostrel/adaptive <0|1>", "/ostrel/invert <0|1>", "/ostrel/blur <0..10>",
              "/ostrel/tolerance <0.1..5.0>", "/ostrel/smoothing <0.0..1.0>", "/ostrel/continuity <0..100>",
              "/ostrel/pens <1..4>", "/ostrel/paper <A4|A3|A5|A6|original>", "/ostrel/hatch <0|1>",
              "/ostrel/preset <portrait|stage|hatching|rosette>", "/ostrel/open <filepath>",
              "/ostrel/export <filepath>"}}});
}

HTTPResponse svgRoute(const VectorizerController& c) {
    HTTPResponse response;
    response.contentType = "image/svg+xml; charset=utf-8";
    response.body = c.result() ? c.result()->svgAxiDraw.text() : std::string();
    return response;
}

HTTPResponse openRoute(VectorizerController& c, const Json& args) {
    if (const auto name = textArg(args, "preset")) {
        if (const auto preset = syntheticPresetFromRaw(asciiLower(*name))) {
            c.loadPreset(*preset, true);
            return HTTPResponse::json(200, Json{{"ok", true},
                                                {"preset", std::string(rawValue(*preset))},
                                                {"pathCount", currentMetrics(c).pathCount}});
        }
    }
    const auto path = textArg(args, "path");
    if (!path || path->empty()) return HTTPResponse::error(400, "Provide 'path' or 'preset'");
    const std::string absolute = expandUserPath(*path);
    const bool loaded = c.loadFile(absolute, true);
    return HTTPResponse::json(loaded ? 200 : 400,
                              Json{{"ok", loaded}, {"path", absolute}, {"pathCount", currentMetrics(c).pathCount}});
}

HTTPResponse paramsRoute(VectorizerController& c, const Json& args) {
    VectorizerParams p = c.params();
    applyJSONParams(args, p);
    c.setParams(p, RunSchedule::now());
    const PlotterMetrics m = currentMetrics(c);
    return HTTPResponse::json(200, Json{{"ok", true},
                                        {"pathCount", m.pathCount},
                                        {"drawDistanceMM", m.drawDistanceMM},
                                        {"travelDistanceMM", m.travelDistanceOptimizedMM},
                                        {"travelSavingsPercent", m.travelSavingsPercent},
                                        {"computeMilliseconds", m.computeMilliseconds}});
}

HTTPResponse exportRoute(const VectorizerController& c, const Json& args) {
    if (!c.result()) return HTTPResponse::error(400, "No active vectorization result");
    const std::string requested = asciiLower(textArg(args, "format").value_or("svg"));
    const VectorExportFormat format =
        enumFromRaw<VectorExportFormat>(requested).value_or(VectorExportFormat::svgAxiDraw);
    const std::string content = SVGExporter::render(format, *c.result(), c.params());
    const auto outputPath = textArg(args, "outputPath");
    if (!outputPath || outputPath->empty()) {
        return HTTPResponse::json(200,
                                  Json{{"ok", true}, {"format", std::string(rawValue(format))}, {"content", content}});
    }
    const std::string absolute = expandUserPath(*outputPath);
    try {
        writeRegularFileAtomically(absolute, content);
    } catch (const Error& error) {
        return HTTPResponse::error(500, error.message());
    }
    return HTTPResponse::json(
        200, Json{{"ok", true}, {"outputPath", absolute}, {"bytes", static_cast<std::int64_t>(content.size())}});
}

HTTPResponse resetRoute(VectorizerController& c) {
    c.resetParameters();
    c.runSynchronousVectorization();
    return HTTPResponse::json(200, Json{{"ok", true}});
}

HTTPResponse plotterStatusRoute(const PlottingService* plotting) {
    const PlotterLink* plotter = plotting != nullptr ? plotting->plotter() : nullptr;
    if (plotter == nullptr) return HTTPResponse::json(200, Json{{"ok", false}});
    const PlotterStatusReport r = plotter->statusReport();
    return HTTPResponse::json(200, Json{{"port", r.port},
                                        {"isSimulator", r.isSimulator},
                                        {"isBusy", r.isBusy},
                                        {"isPaused", r.isPaused},
                                        {"isPenDown", r.isPenDown},
                                        {"posXMM", r.positionMM.x},
                                        {"posYMM", r.positionMM.y},
                                        {"progress", r.progress},
                                        {"status", r.status}});
}

HTTPResponse plotterCommandRoute(PlottingService* plotting, const Json& args) {
    const std::string action = asciiLower(textArg(args, "action").value_or("status"));
    if (PlotterLink* plotter = plotting != nullptr ? plotting->plotter() : nullptr) {
        // Plot and frame wait for a pending run's result, so they never draw outdated parameters.
        if (action == "plot" || action == "start") {
            plotting->plotCurrentResult(PlottingService::PlotRequest::plot);
        } else if (action == "frame") {
            plotting->plotCurrentResult(PlottingService::PlotRequest::frame);
        } else if (action == "pause") {
            plotter->pausePlot();
        } else if (action == "resume") {
            plotter->resumePlot();
        } else if (action == "stop") {
            plotting->dropDeferredPlot();  // and a plot still waiting for its pending run
            plotter->stopPlot();
        } else if (action == "pen_up" || action == "penup") {
            plotter->raisePen();
        } else if (action == "pen_down" || action == "pendown") {
            plotter->lowerPen();
        } else if (action == "home") {
            plotter->returnToHome();
        } else if (action == "unlock") {
            plotter->unlockMotorsAndZeroOrigin();
        }
    }
    // Read after the command: a run that was launched reports its launch text.
    const PlotterLink* plotter = plotting != nullptr ? plotting->plotter() : nullptr;
    return HTTPResponse::json(
        200, Json{{"ok", true}, {"action", action}, {"status", plotter ? plotter->statusReport().status : ""}});
}

HTTPResponse snapshotRoute(RemoteControl& remote, const VectorizerController& c, const std::string& query) {
    // A missing picture is an error the caller must see, not a success without an image.
    SnapshotSource* source = remote.snapshotSource();
    std::optional<std::string> png = source != nullptr ? source->snapshotPNG(c, query) : std::nullopt;
    if (!png) return HTTPResponse::json(500, Json{{"error", "failed to render PNG"}});
    HTTPResponse response;
    response.contentType = "image/png";
    response.body = std::move(*png);
    return response;
}

}  // namespace

HTTPResponse dispatchHTTPRequest(RemoteControl& remote, const HTTPRequest& request) {
    VectorizerController* document = remote.document();
    if (document == nullptr) return HTTPResponse::error(503, "The document is gone");
    VectorizerController& controller = *document;
    const std::string& m = request.method;
    const std::string& path = request.path;
    const bool get = m == "GET";
    const bool post = m == "POST";
    if (get && (path == "/v1/state" || path == "/v1/status")) return stateRoute(remote, controller);
    if (get && path == "/v1/help") return helpRoute();
    if (get && path == "/v1/svg") return svgRoute(controller);
    if (get && path == "/v1/snapshot.png") return snapshotRoute(remote, controller, request.query);
    if (post && path == "/v1/open") return openRoute(controller, request.args());
    if (post && path == "/v1/params") return paramsRoute(controller, request.args());
    if (post && path == "/v1/export") return exportRoute(controller, request.args());
    if (post && path == "/v1/reset") return resetRoute(controller);
    if (get && path == "/v1/axidraw") return plotterStatusRoute(remote.plotting());
    if (post && path == "/v1/axidraw") return plotterCommandRoute(remote.plotting(), request.args());
    return HTTPResponse::json(404, Json{{"error", "not found"}, {"path", path}});
}

}  // namespace ostrel
