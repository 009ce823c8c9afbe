#include "app/remote/OSCCommands.h"

#include "app/document/VectorizerController.h"
#include "app/plotter/PlottingService.h"
#include "core/model/ParameterTable.h"
#include "core/support/system/Error.h"
#include "core/support/system/FileDescriptor.h"
#include "core/support/system/FileWriting.h"
#include "core/support/text/NumberFormat.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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
/// does not hold an SVG document is never replaced: one packet must not destroy a user's file. Only
/// regular files are read or written, so a FIFO or a device never blocks the window.
void exportPlotterSVG(const std::string& rawPath, const std::string& svg) {
    const std::string path = expandUserPath(rawPath);
    std::error_code ec;
    if (!std::filesystem::is_directory(std::filesystem::path(path).parent_path(), ec)) return;
    // Opened without waiting (a FIFO swapped in meanwhile opens at once too) and checked by its descriptor.
    const FileDescriptor existing(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (existing.valid()) {
        struct stat info {};
        if (::fstat(existing.get(), &info) != 0 || !S_ISREG(info.st_mode)) return;
        char head[512] = {};
        const ssize_t n = ::read(existing.get(), head, sizeof head);
        if (n <= 0 || std::string_view(head, static_cast<std::size_t>(n)).find("<svg") == std::string_view::npos)
            return;
    } else if (errno != ENOENT) {
        return;
    }
    try {
        writeRegularFileAtomically(path, svg);
    } catch (const Error&) {
        // dropped: OSC has no way to answer
    }
}

using ParameterChange = std::function<void(VectorizerParams&)>;

// The change a parameter message makes: one field of the table (toggles by their truth value,
// numbers clamped), the algorithm or the paper. None when the message is no parameter message or
// its value does not apply.
std::optional<ParameterChange> parameterChange(const std::string& address, const Message& message) {
    if (message.arguments.empty()) return std::nullopt;
    const Value& v = message.arguments.front();
    static const std::map<std::string, const ParameterSpec*> fieldRows{
        {"/ostrel/adaptive", &parameter::adaptiveThreshold},
        {"/ostrel/invert", &parameter::invert},
        {"/ostrel/hatch", &parameter::hatchEnabled},
        {"/ostrel/threshold", &parameter::threshold},
        {"/ostrel/pens", &parameter::penCount},
        {"/ostrel/blur", &parameter::blurRadius},
        {"/ostrel/tolerance", &parameter::rdpTolerance},
        {"/ostrel/smoothing", &parameter::curveSmoothing},
        {"/ostrel/continuity", &parameter::continuity},
    };
    if (const auto row = fieldRows.find(address); row != fieldRows.end()) {
        const ParameterSpec* spec = row->second;
        if (spec->toggleField != nullptr) {
            if (auto b = v.boolValue()) return [spec, b = *b](VectorizerParams& p) { p.*spec->toggleField = b; };
        } else if (spec->integerField != nullptr) {
            if (auto n = clampedInt(v, *spec))
                return [spec, n = *n](VectorizerParams& p) { p.*spec->integerField = n; };
        } else if (auto x = clampedDouble(v, *spec)) {
            return [spec, x = *x](VectorizerParams& p) { p.*spec->realField = x; };
        }
        return std::nullopt;
    }
    if (address == "/ostrel/algorithm") {
        if (auto algorithm = enumFromRaw<VectorAlgorithm>(v.stringValue())) {
            return [algorithm = *algorithm](VectorizerParams& p) { p.algorithm = algorithm; };
        }
    } else if (address == "/ostrel/paper") {
        const std::string wanted = asciiLower(v.stringValue());
        for (PaperFormat format : allCases<PaperFormat>()) {
            if (asciiLower(rawValue(format)) == wanted)
                return [format](VectorizerParams& p) { p.paperFormat = format; };
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> oscParameterKey(const OSCCodec::Message& message) {
    std::string address = asciiLower(message.address);
    if (!parameterChange(address, message)) return std::nullopt;
    return address;
}

void applyOSCCommand(VectorizerController& document, PlottingService* plotting, const OSCCodec::Message& message) {
    const std::string address = asciiLower(message.address);
    const Value* argument = message.arguments.empty() ? nullptr : &message.arguments.front();

    const auto plotterCommand = [plotting](void (PlotterLink::*command)()) {
        if (PlotterLink* link = plotting != nullptr ? plotting->plotter() : nullptr) (link->*command)();
    };

    if (address == "/ostrel/reset") return document.resetParameters();
    if (address == "/ostrel/axidraw/plot") {
        // A plot right after a parameter change draws the result of that change once it is applied.
        if (plotting != nullptr) plotting->plotCurrentResult(PlottingService::PlotRequest::plot);
        return;
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
    if (address == "/ostrel/axidraw/stop" && plotting != nullptr) plotting->dropDeferredPlot();
    if (const auto row = plotterRows.find(address); row != plotterRows.end()) return plotterCommand(row->second);

    if (argument == nullptr) return;
    const Value& v = *argument;

    if (const std::optional<ParameterChange> change = parameterChange(address, message)) {
        // One change, then a run at once that may reuse stage A.
        VectorizerParams p = document.params();
        (*change)(p);
        document.setParams(p, RunSchedule::after(0));
        return;
    }
    if (address == "/ostrel/preset") {
        if (auto preset = syntheticPresetFromRaw(asciiLower(v.stringValue()))) document.loadPreset(*preset, true);
    } else if (address == "/ostrel/open") {
        document.loadFile(expandUserPath(v.stringValue()), true);
    } else if (address == "/ostrel/export") {
        if (document.result()) exportPlotterSVG(v.stringValue(), document.result()->svgAxiDraw);
    }
}

}  // namespace ostrel
