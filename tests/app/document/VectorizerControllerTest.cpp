#include "app/document/VectorizerController.h"

#include "testsupport/LanguageScope.h"
#include "core/export/SVGExporter.h"
#include "testsupport/QtTestApp.h"
#include "testsupport/RandomDocument.h"
#include "testsupport/RenderCacheComparison.h"
#include "testsupport/Subprocess.h"

#include <QCoreApplication>
#include <QImage>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel {
namespace {

using test::LanguageScope;

bool waitFor(const std::function<bool()>& done, int timeoutMs = 20000) {
    return test::spinUntil(done, std::chrono::milliseconds(timeoutMs));
}

class VectorizerControllerTest : public ::testing::Test {
protected:
    void SetUp() override { test::ensureQtApp(); }
    LanguageScope english{AppLanguage::en};
};

TEST_F(VectorizerControllerTest, StartsEmptyAndSchedulingWithoutImageDoesNothing) {
    VectorizerController controller;
    EXPECT_EQ(controller.statusMessage(), "Ready — open an image (Ctrl+O), drop a file, or paste (Ctrl+V)");
    controller.scheduleVectorization(0, true);
    EXPECT_FALSE(controller.isProcessing());
    controller.runSynchronousVectorization();
    EXPECT_FALSE(controller.result());
}

TEST_F(VectorizerControllerTest, ScheduledRunsDebounceAndReuseStageA) {
    VectorizerController controller;
    int applied = 0;
    QObject::connect(&controller, &VectorizerController::resultChanged, [&] {
        if (controller.result()) ++applied;
    });
    controller.loadPreset(SyntheticPreset::rosette, false);
    EXPECT_TRUE(controller.isProcessing());
    EXPECT_EQ(controller.progressFraction(), 0.08);
    EXPECT_EQ(controller.progressStage().rfind("Vectorizing \"", 0), 0u);
    ASSERT_TRUE(waitFor([&] { return !controller.isProcessing(); }));
    EXPECT_EQ(applied, 1);
    EXPECT_EQ(controller.progressFraction(), 1.0);
    EXPECT_EQ(controller.progressStage(), "Complete");
    ASSERT_TRUE(controller.renderCache());

    // A stage-B-only change reuses stage A and gives what a full run gives.
    VectorizerParams p = controller.params();
    p.curveSmoothing = 0.3;
    controller.setParams(p, RunSchedule::after(45));
    EXPECT_EQ(controller.progressFraction(), 0.65);
    EXPECT_EQ(controller.statusMessage(), "Updating curves & 2-opt (cached)…");
    controller.scheduleVectorization(45, false);  // supersedes the first
    ASSERT_TRUE(waitFor([&] { return !controller.isProcessing(); }));
    EXPECT_EQ(applied, 2);
    const VectorizationResult reused = *controller.result();
    controller.scheduleVectorization(0, true);
    ASSERT_TRUE(waitFor([&] { return !controller.isProcessing(); }));
    EXPECT_EQ(controller.result()->layers, reused.layers);
    EXPECT_EQ(controller.result()->metrics.travelDistanceOptimizedMM, reused.metrics.travelDistanceOptimizedMM);
}

TEST_F(VectorizerControllerTest, SynchronousRunSupersedesAWaitingRun) {
    VectorizerController controller;
    controller.loadPreset(SyntheticPreset::stageArch, true);
    ASSERT_TRUE(controller.result());
    int applied = 0;
    QObject::connect(&controller, &VectorizerController::resultChanged, [&] { ++applied; });
    controller.scheduleVectorization(30, true);
    controller.runSynchronousVectorization();
    EXPECT_EQ(applied, 1);
    waitFor([] { return false; }, 300);
    EXPECT_EQ(applied, 1);
}

TEST_F(VectorizerControllerTest, LoadingKeepsParamsAndVisibilityAndClearsHistory) {
    VectorizerController controller;
    controller.loadPreset(SyntheticPreset::portrait, true);
    VectorizerParams p = controller.params();
    p.penCount = 3;
    controller.setParams(p, RunSchedule::after(60'000));
    controller.toggleLayerVisibility(1);
    controller.applyEdit(StrokeEdits::Delete{{1}});
    EXPECT_EQ(controller.undoStack().size(), 1u);
    controller.loadPreset(SyntheticPreset::hatching, false);
    EXPECT_FALSE(controller.result());
    EXPECT_FALSE(controller.renderCache());
    EXPECT_TRUE(controller.undoStack().empty());
    EXPECT_EQ(controller.params().penCount, 3);
    EXPECT_FALSE(controller.layerVisibility().at(1));
    ASSERT_TRUE(waitFor([&] { return !controller.isProcessing(); }));
    EXPECT_FALSE(controller.result()->layers[1].visible);

    controller.resetParameters();
    EXPECT_TRUE(controller.layerVisibility().at(1));
    EXPECT_EQ(controller.params(), VectorizerParams());
}

TEST_F(VectorizerControllerTest, UnreadableFileKeepsTheDocument) {
    test::TemporaryFolder folder;
    std::ofstream(folder.file("x.png")) << "not an image";
    VectorizerController controller;
    controller.loadPreset(SyntheticPreset::rosette, true);
    EXPECT_FALSE(controller.lastError());
    const auto before = controller.result();
    int errorNotices = 0;
    QObject::connect(&controller, &VectorizerController::lastErrorChanged, [&] { ++errorNotices; });
    EXPECT_FALSE(controller.loadFile(folder.file("x.png"), true));
    EXPECT_EQ(controller.statusMessage(), "Could not load image \"x.png\".");
    EXPECT_EQ(controller.lastError(), controller.statusMessage());
    EXPECT_EQ(errorNotices, 1);
    EXPECT_EQ(controller.result(), before);
    {
        LanguageScope french(AppLanguage::fr);
        EXPECT_FALSE(controller.loadFile(folder.file("x.png"), true));
        EXPECT_EQ(controller.statusMessage(), "Impossible de lire l'image « x.png ».");
        EXPECT_FALSE(controller.loadImage(QImage(), "pasted", true));
        EXPECT_EQ(controller.statusMessage(), "Format d'image non pris en charge.");
        EXPECT_EQ(controller.lastError(), "Format d'image non pris en charge.");
    }
    QImage pasted(64, 48, QImage::Format_RGB32);
    pasted.fill(Qt::white);
    EXPECT_TRUE(controller.loadImage(pasted, "Pasted", true));
    EXPECT_EQ(controller.sourceTitle(), "Pasted");
    EXPECT_EQ(controller.sourceImage()->width, 64);
    EXPECT_FALSE(controller.lastError()) << "a finished run clears the failure";
}

// Runs asked for while one computes wait for it, and the newest one due starts when it ends: the
// last parameters win, as a synchronous run of them gives.
TEST_F(VectorizerControllerTest, RunsAskedForWhileOneComputesEndWithTheNewest) {
    VectorizerController controller;
    controller.loadPreset(SyntheticPreset::portrait, true);
    int applied = 0;
    QObject::connect(&controller, &VectorizerController::runResultApplied, [&] { ++applied; });
    VectorizerParams p = controller.params();
    for (const VectorAlgorithm algorithm : {VectorAlgorithm::visionContours, VectorAlgorithm::skeletonize,
                                            VectorAlgorithm::cannyEdges, VectorAlgorithm::visionContours}) {
        p.algorithm = algorithm;
        p.penCount = p.penCount % 4 + 1;
        controller.setParams(p, RunSchedule::after(0));
        waitFor([] { return false; }, 5);  // the debounce passes; a run starts or waits
    }
    ASSERT_TRUE(waitFor([&] { return !controller.isProcessing(); }));
    EXPECT_GE(applied, 1);
    EXPECT_FALSE(controller.hasPendingRun());

    VectorizerController reference;
    reference.loadPreset(SyntheticPreset::portrait, false);
    reference.setParams(p, RunSchedule::now());
    EXPECT_EQ(controller.result()->layers, reference.result()->layers);
    EXPECT_EQ(controller.result()->metrics.pathCount, reference.result()->metrics.pathCount);
}

// A run's SVG texts are written when first read, not kept written by every run, and read the same
// as the texts written at once.
TEST_F(VectorizerControllerTest, RunResultsWriteTheirTextsWhenFirstRead) {
    VectorizerController controller;
    controller.loadPreset(SyntheticPreset::rosette, true);
    const VectorizationResult& result = *controller.result();
    EXPECT_FALSE(result.svgAxiDraw.isWritten());
    EXPECT_FALSE(result.svgPreview.isWritten());
    const VectorizationResult written =
        VectorizationEngine::vectorize(*controller.sourceImage(), controller.params()).result;
    EXPECT_EQ(result.svgAxiDraw.text(), written.svgAxiDraw.text());
    EXPECT_EQ(result.svgPreview.text(), written.svgPreview.text());
    EXPECT_TRUE(result.svgAxiDraw.isWritten());
}

// The window opens regular files only: a FIFO without a writer, a pipe, a folder or a device is
// refused before anything waits on it, with the unreadable-file text, and the document stays.
TEST_F(VectorizerControllerTest, SpecialFilesAreRefusedWithoutWaiting) {
    test::TemporaryFolder folder;
    const std::string fifo = folder.file("drawing.png");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const std::string pipe = "/proc/self/fd/" + std::to_string(ends[0]);  // what /dev/stdin is on a pipe
    // Should a load open the FIFO and wait for a writer, this one lets it go, and says so.
    std::atomic<bool> done{false};
    std::atomic<bool> released{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 400 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (done) return;
        released = true;
        ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
        ::close(ends[1]);
    });

    VectorizerController controller;
    controller.loadPreset(SyntheticPreset::rosette, true);
    const auto before = controller.result();
    for (const std::string& path : {fifo, pipe, folder.path(), std::string("/dev/zero")}) {
        EXPECT_FALSE(controller.loadFile(path, true)) << path;
        EXPECT_EQ(controller.statusMessage(),
                  "Could not load image \"" + std::filesystem::path(path).filename().string() + "\".")
            << path;
        EXPECT_EQ(controller.result(), before);
        EXPECT_EQ(controller.activePreset(), SyntheticPreset::rosette);
    }
    done = true;
    watchdog.join();
    EXPECT_FALSE(released) << "a load waited on a FIFO or a pipe";
    ::close(ends[0]);
    if (!released) ::close(ends[1]);

    // A regular file behind a link loads as itself.
    QImage drawing(120, 80, QImage::Format_RGB32);
    drawing.fill(Qt::white);
    for (int x = 10; x < 110; ++x) drawing.setPixel(x, 40, qRgb(0, 0, 0));
    ASSERT_TRUE(drawing.save(QString::fromStdString(folder.file("line.png"))));
    std::filesystem::create_symlink(folder.file("line.png"), folder.file("link.png"));
    EXPECT_TRUE(controller.loadFile(folder.file("link.png"), true));
    EXPECT_EQ(controller.sourceTitle(), "link.png");
    EXPECT_EQ(controller.sourceImage()->width, 120);
}

/// Edits on a hand-made result: join order, split ids, erase, freehand, undo limits.
class StrokeEditingTest : public VectorizerControllerTest {
protected:
    void SetUp() override {
        VectorizerControllerTest::SetUp();
        controller.loadImage(blank(), "blank", true);  // a real result to edit
        ASSERT_TRUE(controller.result());
    }
    static QImage blank() {
        QImage image(100, 100, QImage::Format_RGB32);
        image.fill(Qt::white);
        return image;
    }
    static VectorPath stroke(std::int64_t id, std::vector<VectorPoint> points) {
        VectorPath p;
        p.id = id;
        p.points = std::move(points);
        p.strokeRadiusPx = 1;
        return p;
    }
    void install(std::vector<std::vector<VectorPath>> pens) {
        std::vector<PenLayer> layers;
        for (std::size_t i = 0; i < pens.size(); ++i) {
            layers.push_back(PenLayer::make(static_cast<std::int64_t>(i), std::nullopt, std::nullopt, std::nullopt,
                                            true, std::move(pens[i])));
        }
        controller.applyEdit(StrokeEdits::ReplaceLayers{std::move(layers)});
    }
    const VectorPath* find(std::int64_t id) const {
        for (const auto& layer : controller.result()->layers) {
            for (const auto& p : layer.paths) {
                if (p.id == id) return &p;
            }
        }
        return nullptr;
    }
    VectorizerController controller;
};

TEST_F(StrokeEditingTest, JoinChainsEndsAndTakesTheFirstPen) {
    install({{stroke(1, {{0, 0}, {10, 0}})}, {stroke(2, {{10, 0}, {20, 0}})}});
    const auto id = controller.applyEdit(StrokeEdits::Join{{1, 2}}).newPathIDs;
    ASSERT_EQ(id.size(), 1u);
    EXPECT_EQ(id.front(), 1);  // the joined ids are gone, so 1 is free again
    const VectorPath* joined = find(1);
    ASSERT_NE(joined, nullptr);
    EXPECT_EQ(joined->penIndex, 0);
    EXPECT_EQ(joined->points, (std::vector<VectorPoint>{{0, 0}, {10, 0}, {10, 0}, {20, 0}}));
    EXPECT_TRUE(controller.result()->layers[1].paths.empty());

    // Ties: tail-to-start of the first candidate wins over prepend options.
    install({{stroke(1, {{10, 0}, {20, 0}}), stroke(2, {{20, 0}, {30, 0}}), stroke(3, {{0, 0}, {10, 0}})}});
    controller.applyEdit(StrokeEdits::Join{{1, 2, 3}});
    EXPECT_EQ(find(1)->points.front(), (VectorPoint{0, 0}));
    EXPECT_EQ(find(1)->points.back(), (VectorPoint{30, 0}));
    EXPECT_FALSE(controller.applyEdit(StrokeEdits::Join{{1}}).changed);
}

TEST_F(StrokeEditingTest, SplitAtInnerVerticesOnly) {
    install({{stroke(4, {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}}), stroke(9, {{0, 5}, {5, 5}})}});
    const auto undoBefore = controller.undoStack().size();
    EXPECT_FALSE(controller.applyEdit(StrokeEdits::Split{4, 0}).changed);
    EXPECT_FALSE(controller.applyEdit(StrokeEdits::Split{4, 4}).changed);
    EXPECT_EQ(controller.undoStack().size(), undoBefore);
    const auto ids = controller.applyEdit(StrokeEdits::Split{4, 2}).newPathIDs;
    EXPECT_EQ(ids, (std::vector<std::int64_t>{4, 10}));
    const auto& paths = controller.result()->layers[0].paths;
    ASSERT_EQ(paths.size(), 3u);
    EXPECT_EQ(paths[0].points.size(), 3u);
    EXPECT_EQ(paths[1].points.front(), (VectorPoint{2, 0}));
    EXPECT_EQ(paths[1].id, 10);
}

TEST_F(StrokeEditingTest, EraseFreehandAssignAndPenWidth) {
    install({{stroke(1, {{0, 0}, {10, 0}}), stroke(2, {{5, 5}})}, {stroke(3, {{0, 0}, {0, 10}})}});
    controller.toggleLayerVisibility(1);
    EXPECT_EQ(controller.applyEdit(StrokeEdits::EraseNear{{5, 0}, 0}).removedCount,
              1);  // exactly on stroke 1; hidden stroke 3 survives
    EXPECT_EQ(controller.applyEdit(StrokeEdits::EraseNear{{5, 8}, -3}).removedCount,
              1);  // |r| = 3 reaches the one-point stroke
    EXPECT_NE(find(3), nullptr);

    VectorizerParams p = controller.params();
    p.rdpTolerance = 0.3;
    controller.setParams(p, RunSchedule::after(60'000));
    const auto added = controller.applyEdit(StrokeEdits::AddFreehand{{{0, 0}, {5, 0.1}, {10, 0}}, 7}).newPathIDs;
    ASSERT_EQ(added.size(), 1u);
    const std::int64_t* id = &added.front();
    EXPECT_EQ(find(*id)->penIndex, 1);
    EXPECT_EQ(find(*id)->points.size(), 2u);  // ε 0.6 drops the middle point
    EXPECT_EQ(find(*id)->strokeRadiusPx, 1.5);

    controller.applyEdit(StrokeEdits::AssignToPen{{3, *id}, 0});
    EXPECT_EQ(find(3)->penIndex, 0);

    controller.updatePenWidth(5, 9);
    EXPECT_EQ(controller.params().penWidthsMM, (std::vector<double>{0.3, 0.5, 0.8, 1.2, 0.3, 5.0}));
    controller.updatePenWidth(0, std::nan(""));
    EXPECT_EQ(controller.params().penWidthsMM[0], 5.0);
    controller.updatePenWidth(1, 0.01);
    EXPECT_EQ(controller.params().penWidthsMM[1], 0.1);
    const auto widths = controller.params().penWidthsMM;
    controller.updatePenWidth(-1, 1);
    controller.updatePenWidth(std::int64_t{1} << 40, 1);
    EXPECT_EQ(controller.params().penWidthsMM, widths);
}

TEST_F(StrokeEditingTest, DegenerateJoinAndFreehandDoNothing) {
    install({{stroke(1, {}), stroke(2, {{0, 0}, {5, 0}})}});
    auto undoDepth = controller.undoStack().size();
    EXPECT_FALSE(controller.applyEdit(StrokeEdits::Join{{1, 2}}).changed);  // the first stroke has no ends
    EXPECT_EQ(controller.undoStack().size(), undoDepth);
    install({});
    undoDepth = controller.undoStack().size();
    EXPECT_FALSE(controller.applyEdit(StrokeEdits::AddFreehand{{{0, 0}, {10, 10}}, 0}).changed);  // no layer to draw on
    EXPECT_EQ(controller.undoStack().size(), undoDepth);
}

TEST_F(StrokeEditingTest, UndoKeepsFortyEntriesAndRedoEmptiesOnEdit) {
    install({{stroke(1, {{0, 0}, {10, 0}})}});
    for (int i = 0; i < 41; ++i) controller.applyEdit(StrokeEdits::Reverse{{1}});
    EXPECT_EQ(controller.undoStack().size(), 40u);
    for (int i = 0; i < 40; ++i) controller.undo();
    EXPECT_EQ(controller.redoStack().size(), 40u);
    const auto layers = controller.result()->layers;
    controller.undo();  // nothing left
    EXPECT_EQ(controller.result()->layers, layers);
    controller.redo();
    EXPECT_EQ(controller.redoStack().size(), 39u);
    controller.applyEdit(StrokeEdits::Reverse{{1}});
    EXPECT_TRUE(controller.redoStack().empty());
}

TEST_F(StrokeEditingTest, EveryEditKeepsItsOwnUndoStep) {
    // Each edit on a fresh drawing: how many undo steps it leaves. One that changes nothing leaves
    // none, and the redo side it found stays.
    struct Case {
        const char* what;
        StrokeEdit edit;
        std::size_t steps;
    };
    const std::vector<Case> cases{
        {"delete", StrokeEdits::Delete{{1}}, 1},
        {"assign", StrokeEdits::AssignToPen{{1}, 1}, 1},
        {"assign to a pen that does not exist", StrokeEdits::AssignToPen{{1}, 7}, 0},
        {"simplify", StrokeEdits::Simplify{{1}}, 1},
        {"reverse", StrokeEdits::Reverse{{1}}, 1},
        {"join", StrokeEdits::Join{{1, 2}}, 1},
        {"join one", StrokeEdits::Join{{1}}, 0},
        {"split", StrokeEdits::Split{1, 1}, 1},
        {"split at an end", StrokeEdits::Split{1, 0}, 0},
        {"translate", StrokeEdits::Translate{{2}, 1, 0}, 1},
        {"translate nothing", StrokeEdits::Translate{{}, 1, 0}, 0},
        {"move a vertex", StrokeEdits::MoveVertex{1, 1, {5, 3}}, 1},
        {"move a vertex where it is", StrokeEdits::MoveVertex{1, 1, {5, 0}}, 0},
        {"erase", StrokeEdits::EraseNear{{20, 0}, 1}, 1},
        {"erase far away", StrokeEdits::EraseNear{{500, 500}, 1}, 0},
        {"freehand", StrokeEdits::AddFreehand{{{0, 9}, {9, 9}}, 0}, 1},
        {"replace", StrokeEdits::ReplaceLayers{{}}, 1},
    };
    for (const Case& c : cases) {
        install({{stroke(1, {{0, 0}, {5, 0}, {10, 0}}), stroke(2, {{10, 0}, {30, 0}})}, {}});
        controller.applyEdit(StrokeEdits::Reverse{{2}});
        controller.undo();  // one step on the redo side
        const auto before = controller.undoStack().size();
        const auto layers = controller.result()->layers;
        const StrokeEditOutcome outcome = controller.applyEdit(c.edit);
        EXPECT_EQ(controller.undoStack().size() - before, c.steps) << c.what;
        EXPECT_EQ(outcome.changed, c.steps == 1) << c.what;
        EXPECT_EQ(controller.redoStack().size(), c.steps == 1 ? 0u : 1u) << c.what;
        if (c.steps == 1) {
            controller.undo();
            EXPECT_EQ(controller.result()->layers, layers) << c.what << ": undo restores the strokes";
        }
    }
}

TEST_F(StrokeEditingTest, TheStepsOfOneGestureAreOneUndoStep) {
    install({{stroke(1, {{0, 0}, {5, 0}, {10, 0}})}});
    const auto before = controller.undoStack().size();
    const auto layers = controller.result()->layers;

    // A drag: the first step that changes something records; the rest join it.
    const EditGestureKey drag = controller.beginEditGesture();
    controller.applyEdit(StrokeEdits::MoveVertex{1, 1, {5, 0}}, drag);  // not moved yet
    EXPECT_EQ(controller.undoStack().size(), before);
    for (double y : {1.0, 2.0, 3.0}) controller.applyEdit(StrokeEdits::MoveVertex{1, 1, {5, y}}, drag);
    controller.applyEdit(StrokeEdits::Translate{{1}, 2, 0}, drag);
    EXPECT_EQ(controller.undoStack().size(), before + 1);
    controller.undo();
    EXPECT_EQ(controller.result()->layers, layers);

    // The same steps without a gesture are a step each; a gesture that goes on after an undo, or
    // after another edit, starts a new step; a new gesture is a new step.
    for (double x : {1.0, 2.0}) controller.applyEdit(StrokeEdits::Translate{{1}, x, 0});
    EXPECT_EQ(controller.undoStack().size(), before + 2);
    controller.applyEdit(StrokeEdits::Translate{{1}, 1, 0}, drag);
    controller.applyEdit(StrokeEdits::Reverse{{1}});
    controller.applyEdit(StrokeEdits::Translate{{1}, 1, 0}, drag);
    EXPECT_EQ(controller.undoStack().size(), before + 5);
    controller.undo();
    controller.applyEdit(StrokeEdits::Translate{{1}, 1, 0}, drag);
    EXPECT_EQ(controller.undoStack().size(), before + 5);
    controller.applyEdit(StrokeEdits::Translate{{1}, 1, 0}, controller.beginEditGesture());
    EXPECT_EQ(controller.undoStack().size(), before + 6);
}

TEST_F(StrokeEditingTest, LargeDocumentCommitsTheSameAsOneThread) {
    // Large enough that the texts and the cache are written on several threads.
    std::vector<PenLayer> document = test::randomDocument(5, 4, 1500);
    ASSERT_TRUE(VectorizationEngine::isLargeDocument(document));
    controller.applyEdit(StrokeEdits::ReplaceLayers{document});
    std::set<std::int64_t> ids;
    for (std::int64_t id = 1; id <= 400; id += 3) ids.insert(id);
    for (int drag = 0; drag < 3; ++drag) {
        controller.applyEdit(StrokeEdits::Translate{ids, 0.375, -1.25});  // the previous result is freed meanwhile
        const VectorizationResult& result = *controller.result();
        const VectorizerParams& params = controller.params();
        // The commit wrote no text; reading one writes it.
        EXPECT_FALSE(result.svgPreview.isWritten());
        EXPECT_FALSE(result.svgAxiDraw.isWritten());
        // One thread, one after the other: the same texts and the same cache.
        EXPECT_EQ(result.svgPreview,
                  SVGExporter::generateSVG(result.layers, result.pageTransform, result.metrics, params, true));
        EXPECT_EQ(result.svgAxiDraw,
                  SVGExporter::generateSVG(result.layers, result.pageTransform, result.metrics, params, false));
        test::expectSameCache(*controller.renderCache(), VectorRenderCache::build(result));
    }
    // The strokes moved by three drags, the others not at all.
    const VectorPath* moved = find(1);
    const VectorPath* kept = find(2);
    ASSERT_TRUE(moved && kept);
    const auto original = [&document](std::int64_t id) {
        for (const auto& layer : document) {
            for (const auto& path : layer.paths) {
                if (path.id == id) return path;
            }
        }
        return VectorPath();
    };
    ASSERT_FALSE(original(1).points.empty());
    EXPECT_EQ(moved->points.front().x, original(1).points.front().x + 0.375 + 0.375 + 0.375);
    EXPECT_EQ(kept->points, original(2).points);
}

}  // namespace
}  // namespace ostrel
