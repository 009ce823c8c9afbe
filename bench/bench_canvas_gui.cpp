// Canvas benchmarks on the GUI thread, through the real pane (offscreen platform), on documents of
// 1,000, 5,000 and 20,000 random short strokes in a 1100 × 800 vector pane:
// - a pan frame: the pane's paint of the last vector image moved (or scaled, as between the steps
//   of a zoom gesture) into a backing-store-sized image;
// - the GUI-thread time of select-all, of a zoom-gesture step and of a run's result arriving: the
//   call itself plus every event the GUI thread handles until the new frame is painted (render
//   threads not counted); the longest single stall is reported as `maxStallMs`;
// - drag event to repainted frame: one stroke-move commit, the render of the new frame on the
//   render thread and the pane's paint of it, wall clock; `commitMs` and `frameMs` split it;
// - a drag of everything selected through the canvas interaction, one pointer event every 16 ms:
//   from each event's time to the pane's paint of it, wall clock (`maxMs` the slowest step);
// - a zoom step to its sharp frame: three wheel steps 16 ms apart, then wall clock from the last
//   to the pane's paint of the image rendered at the new zoom.
// Waits run the event loop (they sleep until an event comes), so they take no time from the GUI
// thread and hide none of its stalls.
// The device pixel ratio is the process's: run once as is and once with --dpr=2 (sets
// QT_SCALE_FACTOR before the application starts); the `dpr` counter says which was measured.
#include "app/document/VectorizerController.h"
#include "app/shell/AppModel.h"
#include "app/views/canvas/CanvasInteraction.h"
#include "app/views/canvas/CanvasPane.h"
#include "benchsupport/RandomStrokes.h"
#include "benchsupport/SyntheticLineDrawing.h"
#include "core/support/app/SettingsStore.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>

namespace {

using namespace ostrel;

constexpr QSize kPaneSize{1100, 800};

/// Times every event the GUI thread handles (outermost delivery only).
class TimedApplication final : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        if (depth_ > 0) return QApplication::notify(receiver, event);
        ++depth_;
        QElapsedTimer timer;
        timer.start();
        const bool handled = QApplication::notify(receiver, event);
        const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        --depth_;
        busyMs += ms;
        maxEventMs = std::max(maxEventMs, ms);
        return handled;
    }

    void resetClock() {
        busyMs = 0;
        maxEventMs = 0;
    }

    double busyMs = 0;
    double maxEventMs = 0;

private:
    int depth_ = 0;
};

TimedApplication& app() { return *static_cast<TimedApplication*>(QCoreApplication::instance()); }

/// The event loop a benchmark sleeps in; whatever it waits for quits it.
QEventLoop* waitingLoop = nullptr;

void wake() {
    if (waitingLoop != nullptr) waitingLoop->quit();
}

/// Runs the event loop until `done()` holds after an event, or `limit` has passed; true when it holds.
template <typename Done>
bool runEventsUntil(Done done, std::chrono::milliseconds limit) {
    QTimer timeout;
    timeout.setSingleShot(true);
    timeout.start(limit);
    while (!done() && timeout.isActive()) {
        QEventLoop loop;
        QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
        waitingLoop = &loop;
        loop.exec();
        waitingLoop = nullptr;
    }
    return done();
}

/// Runs the event loop for `duration`, sleeping between events.
void runEventsFor(std::chrono::milliseconds duration) {
    runEventsUntil([] { return false; }, duration);
}

/// A model holding `strokes` random strokes and one vector pane on it, shown offscreen.
struct Canvas {
    explicit Canvas(int strokes) {
        AppModel::Environment environment;
        environment.settings = &settings;
        model = std::make_unique<AppModel>(AppModel::Options{.loadDefaultPreset = true}, environment);
        VectorizerController& document = model->vectorizer();
        const PageTransform& page = document.result()->pageTransform;
        document.applyEdit(
            StrokeEdits::ReplaceLayers{bench::randomStrokeLayers(strokes, static_cast<double>(page.imageWidth),
                                                                 static_cast<double>(page.imageHeight), 11),
                                       false});
        body = std::make_unique<CanvasPaneBody>(*model, context, CanvasPaneKind::vector, false);
        body->setAttribute(Qt::WA_DontShowOnScreen);
        body->resize(kPaneSize);
        body->show();
        QObject::connect(body.get(), &CanvasPaneBody::vectorImageShown, [this] {
            shown = true;
            wake();
        });
        QCoreApplication::processEvents();
        settle();
        const double dpr = body->devicePixelRatioF();
        frame = QImage(QSize(static_cast<int>(kPaneSize.width() * dpr), static_cast<int>(kPaneSize.height() * dpr)),
                       QImage::Format_ARGB32_Premultiplied);
        frame.setDevicePixelRatio(dpr);
        // Like a window's backing store, the frame's memory is in use before the timed paints.
        frame.fill(Qt::transparent);
    }

    /// Draws the newest image here and lets any render still running finish.
    void settle() {
        body->renderPendingNow();
        runEventsFor(std::chrono::milliseconds(200));
        shown = false;
    }

    /// Handles GUI events until `flag` is set (at most 20 s), then clears it. Whatever sets it wakes
    /// the loop.
    static bool waitFor(bool& flag) {
        runEventsUntil([&flag] { return flag; }, std::chrono::seconds(20));
        return std::exchange(flag, false);
    }

    /// Handles GUI events until a rendered image reached the pane.
    bool waitForShownImage() { return waitFor(shown); }

    /// The pane's paint, as the backing store gets it.
    void paint() { body->render(&frame); }

    std::vector<std::int64_t> allIDs() const {
        std::vector<std::int64_t> ids;
        for (const auto& layer : model->vectorizer().result()->layers) {
            for (const auto& path : layer.paths) ids.push_back(path.id);
        }
        return ids;
    }

    MemorySettingsStore settings;
    std::unique_ptr<AppModel> model;
    CanvasViewContext context;
    std::unique_ptr<CanvasPaneBody> body;
    QImage frame;
    bool shown = false;
};

void addCounters(benchmark::State& state, const Canvas& canvas) {
    state.counters["strokes"] = static_cast<double>(canvas.model->vectorizer().result()->metrics.pathCount);
    state.counters["dpr"] = canvas.body->devicePixelRatioF();
}

/// (a) One frame between two renders: the last image moved by a pan step (kind 0) or scaled by a
/// zoom-gesture step (kind 1), painted by the pane. Arguments: strokes, zoom %, kind.
void BM_PaneFrameBetweenRenders(benchmark::State& state) {
    Canvas canvas(static_cast<int>(state.range(0)));
    const double zoom = static_cast<double>(state.range(1)) / 100.0;
    const bool zoomStep = state.range(2) != 0;
    canvas.model->applyZoom(zoom, QPointF(0, 0));
    canvas.settle();
    // The model moves on; the image on screen stays the one rendered before.
    if (zoomStep) {
        canvas.model->applyZoom(zoom * 1.08, QPointF(120, -80));
    } else {
        canvas.model->setPanOffset(canvas.model->panOffset() + QPointF(17, 9));
    }
    for (auto _ : state) canvas.paint();
    addCounters(state, canvas);
    state.SetLabel(zoomStep ? "zoom step" : "pan");
}
BENCHMARK(BM_PaneFrameBetweenRenders)
    ->ArgsProduct({{1000, 5000, 20000}, {100, 160, 161, 800}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

/// Runs `action` on the GUI thread, then handles events until the pane has its new image and paints
/// it. The iteration time is the GUI thread's own work (the call, each event, the paint), not its
/// waits for the render thread; `stall` keeps the longest single piece of it.
/// With `ready`, events are handled until it is set first, and only images shown after count.
template <typename Action>
void timeGuiWork(benchmark::State& state, Canvas& canvas, Action action, double& stall, bool* ready = nullptr) {
    app().resetClock();
    QElapsedTimer timer;
    timer.start();
    action();
    const double callMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    if (ready != nullptr) {
        if (!Canvas::waitFor(*ready)) state.SkipWithError("the awaited change did not come");
        canvas.shown = false;
    }
    if (!canvas.waitForShownImage()) state.SkipWithError("no image reached the pane");
    timer.restart();
    canvas.paint();
    const double paintMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    const double busy = callMs + app().busyMs + paintMs;
    stall = std::max({stall, callMs, app().maxEventMs, paintMs});
    state.SetIterationTime(busy / 1e3);
}

/// (b) Select-all then clear (alternating), each until its frame is painted. Argument: strokes.
void BM_GuiSelectAll(benchmark::State& state) {
    Canvas canvas(static_cast<int>(state.range(0)));
    double stall = 0;
    bool select = true;
    for (auto _ : state) {
        timeGuiWork(
            state, canvas,
            [&] {
                if (select) {
                    canvas.model->selectAllPaths();
                } else {
                    canvas.model->clearSelection();
                }
            },
            stall);
        select = !select;
    }
    addCounters(state, canvas);
    state.counters["maxStallMs"] = stall;
}
BENCHMARK(BM_GuiSelectAll)->Arg(1000)->Arg(5000)->Arg(20000)->UseManualTime()->Unit(benchmark::kMillisecond);

/// (b) One zoom-gesture step (×1.08 about an off-centre anchor, alternately in and out) with
/// everything selected: the model change, the pane's transformed paint and the render request, then
/// the new image's arrival and paint. Argument: strokes.
void BM_GuiZoomGestureStep(benchmark::State& state) {
    Canvas canvas(static_cast<int>(state.range(0)));
    canvas.model->selectAllPaths();
    canvas.settle();
    double stall = 0;
    bool in = true;
    for (auto _ : state) {
        const double target = canvas.model->zoomScale() * (in ? 1.08 : 1 / 1.08);
        timeGuiWork(
            state, canvas,
            [&] {
                canvas.model->applyZoom(target, QPointF(120, -80));
                canvas.paint();
            },
            stall);
        in = !in;
    }
    addCounters(state, canvas);
    state.counters["maxStallMs"] = stall;
}
BENCHMARK(BM_GuiZoomGestureStep)->Arg(1000)->Arg(5000)->Arg(20000)->UseManualTime()->Unit(benchmark::kMillisecond);

/// (b) A vectorization run's result arriving: the run itself is on the pipeline's threads; timed is
/// what the GUI thread handles from its start until the new result's frame is painted. Argument: the
/// side of the synthetic line drawing (the stroke count it gives is the `strokes` counter).
void BM_GuiNewRunResult(benchmark::State& state) {
    Canvas canvas(1000);
    const QImage drawing = bench::syntheticLineDrawing(static_cast<int>(state.range(0))).toGrayImage();
    VectorizerController& document = canvas.model->vectorizer();
    document.loadImage(drawing, "drawing", true);
    canvas.settle();
    bool applied = false;
    QObject::connect(&document, &VectorizerController::runResultApplied, [&applied] {
        applied = true;
        wake();
    });
    double stall = 0;
    for (auto _ : state) {
        // A new revision of the picture starts a run off the GUI thread; frames of the old result
        // rendered meanwhile do not count as the new one's.
        document.loadImage(drawing, "drawing", false);
        timeGuiWork(
            state, canvas, [] {}, stall, &applied);
    }
    addCounters(state, canvas);
    state.counters["maxStallMs"] = stall;
}
BENCHMARK(BM_GuiNewRunResult)->Arg(1200)->Arg(2400)->UseManualTime()->Unit(benchmark::kMillisecond);

/// (c) Drag event to repainted frame: one move of one stroke committed on the GUI thread, the frame
/// rendered on the render thread, then painted by the pane. Wall clock. Argument: strokes.
void BM_DragToRepaintedFrame(benchmark::State& state) {
    Canvas canvas(static_cast<int>(state.range(0)));
    VectorizerController& document = canvas.model->vectorizer();
    const std::set<std::int64_t> ids{canvas.allIDs().front()};
    canvas.model->setSelectedPathIDs(ids);
    canvas.settle();
    double dx = 0.5;
    double commitMs = 0;
    double frameMs = 0;
    const EditGestureKey drag = document.beginEditGesture();  // the steps of one drag
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        document.applyEdit(StrokeEdits::Translate{ids, dx, 0}, drag);
        const double commit = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        commitMs += commit;
        if (!canvas.waitForShownImage()) state.SkipWithError("no image reached the pane");
        canvas.paint();
        frameMs += static_cast<double>(timer.nsecsElapsed()) / 1e6 - commit;
        dx = -dx;
    }
    addCounters(state, canvas);
    state.counters["commitMs"] = benchmark::Counter(commitMs, benchmark::Counter::kAvgIterations);
    // From the end of the commit to the painted frame: the render (whole or partial) and the paint.
    state.counters["frameMs"] = benchmark::Counter(frameMs, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_DragToRepaintedFrame)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();

/// (c) A drag of every stroke but one through the canvas interaction, as the pointer sends it: one event
/// every 16 ms, each moving 3 points. Timed, per event, from the time it is due (the GUI thread may
/// still be busy with the one before) to the end of the pane's paint of it, wall clock; `maxMs` is
/// the slowest. `picturesMs` is the time from the press to the drag's pictures on the pane. Argument:
/// strokes.
void BM_DragAllSelected(benchmark::State& state) {
    Canvas canvas(static_cast<int>(state.range(0)));
    canvas.model->setEditTool(CanvasEditTool::select);
    canvas.model->selectAllPaths();
    canvas.settle();
    CanvasInteraction interaction(*canvas.model);
    interaction.setPane(QSizeF(kPaneSize), true, false);
    CanvasGestureState& gesture = canvas.context.gesture;
    CanvasPaneBody& body = *canvas.body;
    interaction.setBindings({}, {}, {}, [&gesture, &body](std::optional<CanvasSelectionDrag> drag) {
        gesture.selectionDrag = drag;
        body.gestureChanged();
    });
    bool pictures = false;
    QObject::connect(&body, &CanvasPaneBody::selectionDragShown, [&pictures] {
        pictures = true;
        wake();
    });
    // At zoom 1 every stroke has a vertex within reach of the pointer, and a press there drags that
    // vertex: the drag starts with Shift held on the stroke nearest to the pane's centre, which
    // leaves the selection and lets the others move.
    const auto& layers = canvas.model->vectorizer().result()->layers;
    const CanvasTransformGeometry geometry = body.transformGeometry();
    QPointF pointer;
    double best = INFINITY;
    for (const auto& layer : layers) {
        for (const auto& path : layer.paths) {
            const QPointF p = geometry.imageToPane(path.points[path.points.size() / 2]);
            const double d = std::hypot(p.x() - kPaneSize.width() / 2.0, p.y() - kPaneSize.height() / 2.0);
            if (d < best) {
                best = d;
                pointer = p;
            }
        }
    }
    QElapsedTimer clock;
    clock.start();
    interaction.press(Qt::LeftButton, pointer, Qt::ShiftModifier, 1);
    if (!std::holds_alternative<CanvasInteraction::MovePaths>(interaction.dragMode())) {
        state.SkipWithError("the press did not start a move");
        return;
    }
    if (!Canvas::waitFor(pictures)) state.SkipWithError("the drag's pictures did not come");
    const double picturesMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    double maxMs = 0;
    double step = 3;
    app().resetClock();
    std::int64_t due = clock.nsecsElapsed();
    for (auto _ : state) {
        due += 16'000'000;
        const std::int64_t wait = (due - clock.nsecsElapsed()) / 1'000'000;
        if (wait > 0) runEventsFor(std::chrono::milliseconds(wait));
        pointer += QPointF(step, step / 2);
        interaction.drag(pointer);
        canvas.paint();
        const double ms = static_cast<double>(clock.nsecsElapsed() - due) / 1e6;
        maxMs = std::max(maxMs, ms);
        state.SetIterationTime(ms / 1e3);
        if (pointer.x() > kPaneSize.width() * 0.8 || pointer.x() < kPaneSize.width() * 0.2) step = -step;
    }
    // The longest event meanwhile (a commit of the moves gathered, among others).
    const double dragStallMs = app().maxEventMs;
    // The release, as the pointer sends it: its own call, then whatever it leaves to the event loop
    // until the pane has painted the committed strokes.
    app().resetClock();
    canvas.shown = false;
    clock.restart();
    interaction.release(Qt::LeftButton, pointer);
    const double releaseCallMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    if (!canvas.waitForShownImage()) state.SkipWithError("no image reached the pane after the release");
    canvas.paint();
    const double releaseMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    addCounters(state, canvas);
    state.counters["maxMs"] = maxMs;
    state.counters["picturesMs"] = picturesMs;
    state.counters["releaseMs"] = releaseMs;
    state.counters["maxStallMs"] = std::max({dragStallMs, releaseCallMs, app().maxEventMs});
}
BENCHMARK(BM_DragAllSelected)->Arg(5000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(120);

/// (b) A zoom step to its sharp frame, everything selected: three wheel steps 16 ms apart (×1.08
/// each about an off-centre anchor, alternately in and out), then wall clock from the last step to
/// the pane's paint of the image rendered at its zoom. `maxStallMs` is the GUI thread's longest
/// piece of work meanwhile. Argument: strokes.
void BM_ZoomStepToSharpFrame(benchmark::State& state) {
    Canvas canvas(static_cast<int>(state.range(0)));
    canvas.model->selectAllPaths();
    canvas.settle();
    double maxMs = 0;
    double stall = 0;
    bool in = true;
    for (auto _ : state) {
        const double factor = in ? 1.08 : 1 / 1.08;
        app().resetClock();
        for (int i = 0; i < 3; ++i) {
            if (i > 0) runEventsFor(std::chrono::milliseconds(16));
            canvas.model->applyZoom(canvas.model->zoomScale() * factor, QPointF(120, -80));
            canvas.paint();
        }
        QElapsedTimer timer;
        timer.start();
        const double zoom = canvas.model->zoomScale();
        canvas.shown = false;
        const bool sharp =
            runEventsUntil([&] { return canvas.shown && canvas.body->shownVectorGeometry().zoomScale == zoom; },
                           std::chrono::seconds(20));
        if (!sharp) state.SkipWithError("no frame at the new zoom");
        canvas.paint();
        const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        maxMs = std::max(maxMs, ms);
        stall = std::max(stall, app().maxEventMs);
        state.SetIterationTime(ms / 1e3);
        in = !in;
        runEventsFor(std::chrono::milliseconds(50));
    }
    addCounters(state, canvas);
    state.counters["maxMs"] = maxMs;
    state.counters["maxStallMs"] = stall;
}
BENCHMARK(BM_ZoomStepToSharpFrame)->Arg(5000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--dpr=", 6) == 0) {
            qputenv("QT_SCALE_FACTOR", QByteArray(argv[i] + 6));
            std::copy(argv + i + 1, argv + argc, argv + i);
            --argc;
            break;
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    TimedApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
