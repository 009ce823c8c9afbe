#include "app/launch/SelfTest.h"

#include "app/launch/Snapshot.h"
#include "app/remote/OSCCommands.h"
#include "app/shell/AppModel.h"
#include "core/model/Localization.h"
#include "core/model/VectorizerParams.h"
#include "core/pipeline/SyntheticDrawing.h"
#include "core/pipeline/VectorizationEngine.h"
#include "core/plotter/AxiDrawCompiledJob.h"
#include "core/plotter/AxiDrawConfig.h"

#include <QThreadPool>

#include <cmath>
#include <cstdlib>
#include <string>

namespace ostrel::SelfTest {
namespace {

/// Prints one line per check and keeps the labels of the failed ones.
class Checklist {
public:
    Checklist(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

    void check(const std::string& label, bool passed) {
        if (passed) {
            std::fprintf(out_, "PASS: %s\n", label.c_str());
        } else {
            failures_.push_back(label);
            std::fprintf(err_, "FAIL: %s\n", label.c_str());
        }
    }

    /// "ALL PASSED" on `out`, or the number of failures on `err`; the exit status.
    int summarize() {
        if (failures_.empty()) {
            std::fputs("Ostrel self-test: ALL PASSED\n", out_);
            std::fflush(out_);
            return 0;
        }
        std::fprintf(err_, "Ostrel self-test: %zu FAILURE(S)\n", failures_.size());
        std::fflush(out_);
        std::fflush(err_);
        return 1;
    }

private:
    std::FILE* out_;
    std::FILE* err_;
    std::vector<std::string> failures_;
};

std::string count(std::int64_t n) { return std::to_string(n); }

/// The default parameters with the run's algorithm (the defaults already are the run's other values:
/// smoothing 0.65, two pens, A4, 2-opt on).
VectorizerParams runParams(VectorAlgorithm algorithm) {
    VectorizerParams p;
    p.algorithm = algorithm;
    return p;
}

VectorizationResult vectorized(const RasterImage& image, const VectorizerParams& params) {
    return VectorizationEngine::vectorize(image, params).result;
}

std::size_t strokesOfLayer(const VectorizationResult& result, std::size_t index) {
    return index < result.layers.size() ? result.layers[index].paths.size() : 0;
}

bool hasIllustrationRibbon(const VectorizationResult& result) {
    for (const PenLayer& layer : result.layers) {
        for (const VectorPath& path : layer.paths) {
            if (!path.outlineBeziers.empty() && !path.pointRadiiPx.empty()) return true;
        }
    }
    return false;
}

/// Checks 1 to 14: the pipeline on the built-in drawings, the plotter SVG and the job compiler.
void checkPipeline(Checklist& list) {
    const RasterImage portrait = SyntheticDrawing::generate(SyntheticPreset::portrait, 480, 640);
    list.check("Synthetic portrait drawing generated (480x640)", portrait.width == 480 && portrait.height == 640);

    const VectorizationResult centreLines = vectorized(portrait, runParams(VectorAlgorithm::neuralCenterline));
    const PlotterMetrics& m = centreLines.metrics;
    list.check("ANE + Steger centerline extracts >= 10 paths (" + count(m.pathCount) + ")", m.pathCount > 9);
    list.check("Schneider cubic Bézier fitting produces cubic segments (" + count(m.bezierSegmentCount) + ")",
               m.bezierSegmentCount >= 21);
    list.check("Multi-pen k-means separates into 2 pen layers", centreLines.layers.size() == 2);
    const std::size_t thin = strokesOfLayer(centreLines, 0);
    const std::size_t thick = strokesOfLayer(centreLines, 1);
    list.check(
        "Both thin and thick pen layers receive paths (" + std::to_string(thin) + " / " + std::to_string(thick) + ")",
        centreLines.layers.size() >= 2 && thin > 0 && thick > 0);
    list.check("2-opt travel optimization reduces or preserves travel distance",
               m.travelDistanceOptimizedMM <= m.travelDistanceRawMM + 0.01);
    const std::string& svg = centreLines.svgAxiDraw;
    list.check("AxiDraw SVG has physical A4 millimeter dimensions",
               svg.find(R"(width="210.00mm" height="297.00mm")") != std::string::npos);
    list.check("AxiDraw SVG contains Inkscape pen layer groups",
               svg.find(R"(inkscape:groupmode="layer")") != std::string::npos);
    list.check("AxiDraw SVG contains cubic Bézier C commands", hasCubicPathCommand(svg));
    list.check("Illustration mode generates variable-width cubic Bézier ribbons (outlineBeziers) from local EDT radii",
               hasIllustrationRibbon(centreLines));

    const AxiDrawCompiledJob job = AxiDrawCompiledJob::compile(centreLines, AxiDrawConfig(), std::nullopt);
    list.check(
        "AxiDraw direct EBB job compiler generates motion steps (" + std::to_string(job.steps.size()) + " steps)",
        !job.steps.empty() && job.totalDrawMM > 50.0);

    VectorizerParams contours = runParams(VectorAlgorithm::visionContours);
    contours.hatchEnabled = false;
    const std::int64_t contourPaths = vectorized(portrait, contours).metrics.pathCount;
    list.check("Vision contours (no hatch) extracts closed contours (" + count(contourPaths) + ")", contourPaths > 9);

    VectorizerParams hatched = runParams(VectorAlgorithm::visionContours);
    hatched.hatchEnabled = true;
    hatched.crossHatch = true;
    const RasterImage hatching = SyntheticDrawing::generate(SyntheticPreset::hatching, 360, 480);
    const std::int64_t hatchedPaths = vectorized(hatching, hatched).metrics.pathCount;
    list.check("Vision contours + hatching extracts paths (" + count(hatchedPaths) + ")", hatchedPaths > 4);

    const std::int64_t edgePaths = vectorized(portrait, runParams(VectorAlgorithm::cannyEdges)).metrics.pathCount;
    list.check("Canny edge mode extracts paths (" + count(edgePaths) + ")", edgePaths > 4);
}

std::int64_t pathCount(const VectorizerController& document) {
    return document.result() ? document.result()->metrics.pathCount : 0;
}

/// The id of the first stroke of the first layer that holds one.
std::optional<std::int64_t> firstStrokeID(const VectorizerController& document) {
    if (!document.result()) return std::nullopt;
    for (const PenLayer& layer : document.result()->layers) {
        if (!layer.paths.empty()) return layer.paths.front().id;
    }
    return std::nullopt;
}

bool snapshotIsLarge(AppModel& model) {
    const std::optional<std::string> png = Snapshot::renderOffscreenPNG(model, Snapshot::kWindowSize);
    return png && png->size() > 15000;
}

/// Checks 15 to 20: the application model's start, an OSC command, deleting a stroke and undoing
/// it, and two window snapshots.
void checkApplication(Checklist& list) {
    AppModel::Options empty;
    AppModel emptyModel(empty);
    list.check("AppModel launches empty without default image",
               emptyModel.vectorizer().sourceImage() == nullptr && !emptyModel.vectorizer().result());

    AppModel::Options withDrawing;
    withDrawing.loadDefaultPreset = true;
    AppModel model(withDrawing);
    VectorizerController& document = model.vectorizer();
    OSCCodec::Message pens;
    pens.address = "/ostrel/pens";
    pens.arguments.push_back(OSCCodec::Value::integer(3));
    applyOSCCommand(document, nullptr, pens);
    document.runSynchronousVectorization();
    list.check("OSC /ostrel/pens updates pen layers to 3",
               document.params().penCount == 3 && document.result() && document.result()->layers.size() == 3);

    const std::int64_t before = pathCount(document);
    if (const std::optional<std::int64_t> id = firstStrokeID(document)) {
        model.setSelectedPathIDs({*id});
        model.deleteSelectedPaths();
        const std::int64_t after = pathCount(document);
        list.check("Interactive stroke deletion removes selected path (" + count(before) + " -> " + count(after) + ")",
                   after == before - 1);
        // The window's Undo command.
        if (!document.undoStack().empty()) document.undo();
        model.clearSelection();
        model.flash(L("Modification annulée", "Edit undone"));
        const std::int64_t restored = pathCount(document);
        list.check("Undo restores deleted stroke (" + count(restored) + ")", restored == before);
    } else {
        // Without a stroke neither edit can be tried: one failure, never a silent skip.
        list.check("Interactive stroke deletion removes selected path (no stroke to delete)", false);
    }

    list.check("Offscreen split PNG snapshot renders (> 15 KB)", snapshotIsLarge(model));
    model.setOutputMode(VectorOutputMode::axidraw);
    document.runSynchronousVectorization();
    model.setViewMode(CanvasViewMode::vectorOnly);
    list.check("Offscreen AxiDraw sheet PNG snapshot renders (> 15 KB)", snapshotIsLarge(model));
    // The output-mode change scheduled a background run: nothing may still run when the test ends.
    document.cancelScheduledVectorization();
}

}  // namespace

bool hasCubicPathCommand(const std::string& svg) {
    static constexpr std::string_view kData = " d=\"";
    for (std::size_t at = svg.find(kData); at != std::string::npos; at = svg.find(kData, at + 1)) {
        const std::size_t begin = at + kData.size();
        const std::size_t end = svg.find('"', begin);
        if (end == std::string::npos) return false;
        if (svg.find('C', begin) < end) return true;
    }
    return false;
}

int run(std::FILE* out, std::FILE* err) {
    Checklist list(out, err);
    checkPipeline(list);
    checkApplication(list);
    QThreadPool::globalInstance()->waitForDone();
    return list.summarize();
}

void runAndExit() { std::exit(run(stdout, stderr)); }

}  // namespace ostrel::SelfTest
