// Tool table of the bridge. The argument names, kinds and enumerations are those the
// application's HTTP routes read; the schemas only advise the agent, nothing is validated here.
#include "mcp/ToolDefinitions.h"

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace ostrel::mcp {

namespace {

using nlohmann::json;

// One property schema row: name, JSON type, enumeration (may be empty), description (may be empty).
struct Property {
    const char* name;
    const char* type;
    std::vector<std::string> enumeration;
    const char* description;
};

json tool(const char* name, const char* description, std::initializer_list<Property> properties) {
    json schemas = json::object();
    for (const Property& property : properties) {
        json schema = {{"type", property.type}};
        if (!property.enumeration.empty()) schema["enum"] = property.enumeration;
        if (*property.description != '\0') schema["description"] = property.description;
        schemas[property.name] = std::move(schema);
    }
    return {{"name", name},
            {"description", description},
            {"inputSchema", {{"type", "object"}, {"properties", std::move(schemas)}}}};
}

json buildDefinitions() {
    json tools = json::array();
    tools.push_back(
        tool("ostrel_state",
             "Returns the current state of Ostrel: current image name & dimensions, active algorithm, parameters, "
             "plotter metrics (pathCount, drawDistanceMM, travelDistanceMM, travelSavingsPercent, penLifts, "
             "estimatedPlotSeconds, computeMilliseconds), pen layers, oscInPort, apiPort, version.",
             {}));
    tools.push_back(
        tool("ostrel_help", "Returns the full HTTP API, MCP tool reference, OSC address map, and CLI flags.", {}));
    tools.push_back(
        tool("ostrel_open",
             "Opens an image file from disk (PNG, JPEG, TIFF, BMP) or loads one of the built-in synthetic line-art "
             "presets ('portrait', 'stage', 'hatching', 'rosette') and runs vectorization.",
             {
                 {"path", "string", {}, "Path to an image file on disk"},
                 {"preset",
                  "string",
                  {"portrait", "stage", "hatching", "rosette"},
                  "Optional synthetic line-drawing preset"},
             }));
    tools.push_back(
        tool("ostrel_set_params",
             "Updates one or more vectorization or AxiDraw layout parameters and triggers re-vectorization (uses fast "
             "Stage-B cache when only curve fitting, paper size, or 2-opt changes).",
             {
                 {"algorithm", "string", {"neural_centerline", "vision_contours", "skeletonize", "canny_edges"}, ""},
                 {"adaptiveThreshold", "boolean", {}, ""},
                 {"invert", "boolean", {}, ""},
                 {"threshold", "integer", {}, "Threshold 0..255"},
                 {"blurRadius", "number", {}, "Gaussian blur sigma 0..10"},
                 {"morphCleanup", "integer", {}, "0=none, 1=close, 2=open+close"},
                 {"rdpTolerance", "number", {}, "RDP simplification tolerance 0.1..5.0 px"},
                 {"curveSmoothing", "number", {}, "Schneider cubic B\u00e9zier smoothing 0.0..1.0"},
                 {"cornerAngleDeg", "integer", {}, "Corner split angle 15..90 deg"},
                 {"minPathLengthPx", "integer", {}, "Minimum path length in pixels 1..30"},
                 {"stegerSubpixel", "boolean", {}, "Enable Steger Hessian sub-pixel centerline refinement"},
                 {"crossJunctions", "boolean", {}, "Enable collinear junction crossing"},
                 {"maxStitchGapPx", "number", {}, "Maximum stitch gap 1..25 px"},
                 {"continuity", "number", {}, "Stitching continuity 0..100"},
                 {"hatchEnabled", "boolean", {}, "Enable hatch fill for dark regions"},
                 {"hatchSpacingPx", "number", {}, "Hatch spacing in pixels 2.5..20"},
                 {"hatchAngleDeg", "number", {}, "Hatch angle in degrees"},
                 {"crossHatch", "boolean", {}, ""},
                 {"penCount", "integer", {}, "Number of pens 1..4"},
                 {"paperFormat", "string", {"A4", "A3", "A5", "A6", "original"}, ""},
                 {"paperOrientation", "string", {"auto", "portrait", "landscape"}, ""},
                 {"marginMM", "number", {}, "Paper margin in mm"},
                 {"optimize2Opt", "boolean", {}, "Enable 2-opt toolpath travel optimization"},
                 {"exportBlackStrokes", "boolean", {}, ""},
             }));
    tools.push_back(
        tool("ostrel_export_svg",
             "Returns the generated AxiDraw-ready SVG (or writes it to an output file path if 'outputPath' is given).",
             {
                 {"outputPath", "string", {}, "Optional file path where the SVG should be saved"},
                 {"format", "string", {"svg", "svg-preview", "json", "txt", "csv"}, "Export format (default 'svg')"},
             }));
    tools.push_back(tool("ostrel_snapshot",
                         "Captures the Ostrel window as a PNG image ('split', 'overlay', or 'vector' view).",
                         {
                             {"view", "string", {"split", "overlay", "vector"}, "Optional view mode"},
                         }));
    return tools;
}

}  // namespace

const nlohmann::json& ostrelToolDefinitions() {
    static const json definitions = buildDefinitions();  // magic static: one-time, thread-safe
    return definitions;
}

}  // namespace ostrel::mcp
