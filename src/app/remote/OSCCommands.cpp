#include "app/remote/OSCCommands.h"

#include "app/document/VectorizerController.h"
#include "core/model/ParameterTable.h"
#include "core/support/system/Error.h"
#include "core/support/system/FileWriting.h"
#include "core/support/text/NumberFormat.h"

#include <cmath>
#include <filesystem>
#include <functional>
#include <map>

namespace ostrel {

namespace {

using OSCCodec::Message;
using OSCCodec::Value;

std::optional<std::int64_t> clampedInt(const Value& value, const ParameterSpec& spec) {
    const auto n = value.intValue();
    if (!n) return std::nullopt;
    return std::max(std::min(*n, spec.upperInteger()), spec.lowerInteger());
}

std::optional<double> clampedDouble(const Value& value, const ParameterSpec& spec) {
    const auto x = value.doubleValue();
    if (!x) return std::nullopt;
    return std::fmax(std::fmin(*x, spec.accepted->upper), spec.accepted->lower);
}

/// Writes the plotter SVG where the message says, without creating folders. A file that exists and
/// does not hold an SVG document is never replaced: one packet must not destroy a user's file.
void exportPlotterSVG(const std::string& rawPath, const std::string& svg) {
    const std::string path = expandUserPath(rawPath);
    std::error_code ec;
    if (!std::filesystem::is_directory(std::filesystem::path(path).parent_path(), ec)) return;
    if (std::filesystem::exists(path, ec)) {
        if (!std::filesystem::is_regular_file(path, ec)) return;
        std::FILE* existing = std::fopen(path.c_str(), "rb");
        if (existing == nullptr) return;
        char head[512] = {};
        const std::size_t n = std::fread(head, 1, sizeof head - 1, existing);
        std::fclose(existing);
        const std::string_view start(head, n);
        if (start.find("<svg") == std::string_view::npos) return;
    }
    try {
        writeFileAtomically(path, svg);
    } catch (const Error&) {
        // dropped: OSC has no way to answer
    }
}

}  // namespace

void applyOSCCommand(VectorizerController& document, const OSCCodec::Message& message) {
    const std::string address = asciiLower(message.address);
    const Value* argument = message.arguments.empty() ? nullptr : &message.arguments.front();

    // Parameter rows: one change, then a run at once that may reuse stage A.
    const auto setParam = [&document](const std::function<void(VectorizerParams&)>& change) {
        VectorizerParams p = document.params();
        change(p);
        document.setParams(p, RunSchedule::after(0));
    };
    const auto plotterCommand = [&document](void (PlotterLink::*command)()) {
        if (PlotterLink* link = document.plotter()) (link->*command)();
    };

    if (address == "/ostrel/reset") return document.resetParameters();
    if (address == "/ostrel/axidraw/plot") {
        // A plot right after a parameter change draws the result of that change once it is applied.
        return document.plotCurrentResult(VectorizerController::PlotRequest::plot);
    }
    static const std::map<std::string, void (PlotterLink::*)()> plotterRows{
        {"/ostrel/axidraw/pause", &PlotterLink::pausePlot},
        {"/ostrel/axidraw/resume", &PlotterLink::resumePlot},
        {"/ostrel/axidraw/stop", &PlotterLink::stopPlot},
        {"/ostrel/axidraw/penup", &PlotterLink::raisePen},
        {"/ostrel/axidraw/pendown", &PlotterLink::lowerPen},
        {"/ostrel/axidraw/home", &PlotterLink::returnToHome},
        {"/ostrel/axidraw/unlock", &PlotterLink::unlockMotorsAndZeroOrigin},
    };
    // A stop also drops a plot still waiting for its pending run.
    if (address == "/ostrel/axidraw/stop") document.dropDeferredPlot();
    if (const auto row = plotterRows.find(address); row != plotterRows.end()) return plotterCommand(row->second);

    if (argument == nullptr) return;
    const Value& v = *argument;

    // Rows that set one field of the table: toggles by their truth value, numbers clamped.
    static const std::map<std::string, const ParameterSpec*> fieldRows{
        {"/ostrel/adaptive", &parameter::adaptiveThreshold}, {"/ostrel/invert", &parameter::invert},
        {"/ostrel/hatch", &parameter::hatchEnabled},         {"/ostrel/threshold", &parameter::threshold},
        {"/ostrel/pens", &parameter::penCount},              {"/ostrel/blur", &parameter::blurRadius},
        {"/ostrel/tolerance", &parameter::rdpTolerance},     {"/ostrel/smoothing", &parameter::curveSmoothing},
        {"/ostrel/continuity", &parameter::continuity},
    };
    if (const auto row = fieldRows.find(address); row != fieldRows.end()) {
        const ParameterSpec& spec = *row->second;
        if (spec.toggleField != nullptr) {
            if (auto b = v.boolValue()) setParam([&](VectorizerParams& p) { p.*spec.toggleField = *b; });
        } else if (spec.integerField != nullptr) {
            if (auto n = clampedInt(v, spec)) setParam([&](VectorizerParams& p) { p.*spec.integerField = *n; });
        } else if (auto x = clampedDouble(v, spec)) {
            setParam([&](VectorizerParams& p) { p.*spec.realField = *x; });
        }
        return;
    }

    if (address == "/ostrel/algorithm") {
        if (auto algorithm = enumFromRaw<VectorAlgorithm>(v.stringValue())) {
            setParam([&](VectorizerParams& p) { p.algorithm = *algorithm; });
        }
    } else if (address == "/ostrel/paper") {
        const std::string wanted = asciiLower(v.stringValue());
        for (PaperFormat format : allCases<PaperFormat>()) {
            if (asciiLower(rawValue(format)) == wanted) {
                setParam([&](VectorizerParams& p) { p.paperFormat = format; });
                break;
            }
        }
    } else if (address == "/ostrel/preset") {
        if (auto preset = syntheticPresetFromRaw(asciiLower(v.stringValue()))) document.loadPreset(*preset, true);
    } else if (address == "/ostrel/open") {
        document.loadFile(expandUserPath(v.stringValue()), true);
    } else if (address == "/ostrel/export") {
        if (document.result()) exportPlotterSVG(v.stringValue(), document.result()->svgAxiDraw);
    }
}

}  // namespace ostrel
