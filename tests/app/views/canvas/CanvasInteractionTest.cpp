// The canvas's pointer, wheel, pinch and key handling, driven with synthetic Qt events sent to a
// pane of the real canvas over a document of known strokes, with the undo stack counted.
#include "app/shell/Theme.h"
#include "app/views/canvas/CanvasEditingController.h"
#include "app/views/canvas/CanvasInteraction.h"
#include "app/views/canvas/CanvasViewportView.h"
#include "testsupport/QtTestApp.h"
#include "../../shell/ShellFixtures.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPointingDevice>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <cmath>

namespace ostrel {
namespace {

// Positions go through the pane and back: equal up to rounding.
#define EXPECT_POINT(actual, ex, ey)                  \
    do {                                              \
        const VectorPoint point_ = (actual);          \
        EXPECT_NEAR(point_.x, (ex), 1e-9) << #actual; \
        EXPECT_NEAR(point_.y, (ey), 1e-9) << #actual; \
    } while (false)

VectorPath stroke(std::int64_t id, std::vector<VectorPoint> points) {
    VectorPath path;
    path.id = id;
    path.points = std::move(points);
    return path;
}

/// The vector pane's body is 200 × 160 points over a 160 × 120 image: the sheet sits at (20, 20)
/// with one point per pixel at zoom 1.
class CanvasInteractionTest : public ::testing::Test {
protected:
    CanvasInteractionTest() {
        test::ensureQtApp();
        model.setEditTool(CanvasEditTool::select);
        model.setViewMode(CanvasViewMode::vectorOnly);
        VectorizerController& document = model.vectorizer();
        EXPECT_TRUE(document.loadImage(test::threeStrokeDrawing(), "strokes", true));
        PenLayer first = PenLayer::make(0);
        first.paths = {stroke(1, {{20, 20}, {80, 20}, {140, 20}}), stroke(2, {{20, 60}, {80, 60}, {140, 60}})};
        PenLayer second = PenLayer::make(1);
        second.paths = {stroke(3, {{30, 100}, {80, 100}, {130, 100}})};
        document.applyEdit(StrokeEdits::ReplaceLayers{{first, second}});
        baseUndoCount = document.undoStack().size();
        viewport.resize(200, 160 + CanvasPane::kHeaderHeight + 1);
        viewport.show();
        EXPECT_EQ(target().size(), QSize(200, 160));
    }

    /// The body of the pane the events go to: the first (the vector pane alone, or the picture
    /// side by side).
    CanvasPaneBody& target() { return viewport.panes().front()->body(); }
    CanvasInteraction& interaction() { return editing->interaction(); }
    CanvasGestureState& state() { return viewport.gestureState(); }

    VectorizerController& document() { return model.vectorizer(); }
    /// Undo steps since the fixture's drawing was put in place.
    [[nodiscard]] std::size_t undoCount() { return document().undoStack().size() - baseUndoCount; }
    /// Leaves one step on the redo side and the strokes as they were.
    void makeRedoable() {
        document().applyEdit(StrokeEdits::Reverse{{3}});
        document().undo();
    }
    [[nodiscard]] const VectorPath* path(std::int64_t id) {
        for (const PenLayer& layer : document().result()->layers) {
            for (const VectorPath& p : layer.paths) {
                if (p.id == id) return &p;
            }
        }
        return nullptr;
    }
    /// The pane point of image pixel (x, y) under the current zoom and pan.
    [[nodiscard]] QPointF at(double x, double y) {
        const CanvasTransformGeometry geometry{QSizeF(target().size()), model.zoomScale(), model.panOffset(),
                                               document().result()->pageTransform, false};
        return geometry.imageToPane({x, y});
    }

    void mouse(QEvent::Type type, QPointF pos, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QMouseEvent event(type, pos, target().mapToGlobal(pos), button, buttons, modifiers);
        QCoreApplication::sendEvent(&target(), &event);
    }
    void press(QPointF pos, Qt::KeyboardModifiers modifiers = Qt::NoModifier, Qt::MouseButton button = Qt::LeftButton) {
        mouse(QEvent::MouseButtonPress, pos, button, button, modifiers);
        held |= button;
    }
    void moveTo(QPointF pos) { mouse(QEvent::MouseMove, pos, Qt::NoButton, held); }
    void release(QPointF pos, Qt::MouseButton button = Qt::LeftButton) {
        held &= ~Qt::MouseButtons(button);
        mouse(QEvent::MouseButtonRelease, pos, button, held);
    }
    void doubleClick(QPointF pos) {
        press(pos);
        release(pos);
        mouse(QEvent::MouseButtonDblClick, pos, Qt::LeftButton, Qt::LeftButton);
        release(pos);
    }
    void wheel(QPointF pos, QPoint pixelDelta, QPoint angleDelta, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWheelEvent event(pos, target().mapToGlobal(pos), pixelDelta, angleDelta, Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&target(), &event);
    }
    bool key(int code, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QKeyEvent event(QEvent::KeyPress, code, modifiers);
        QCoreApplication::sendEvent(&target(), &event);
        return event.isAccepted();
    }
    template <class Mode>
    [[nodiscard]] bool inMode() {
        return std::holds_alternative<Mode>(interaction().dragMode());
    }

    // Widgets need the application before they are made.
    bool appReady = (test::ensureQtApp(), true);
    test::RecordingSettingsStore settings;
    AppModel model{AppModel::Options{}, [this] {
                       AppModel::Environment env;
                       env.settings = &settings;
                       env.panels = std::make_shared<test::ScriptedPanels>();
                       env.pasteboard = std::make_shared<test::MemoryPasteboard>();
                       return env;
                   }()};
    CanvasViewportView viewport{model};
    CanvasEditingController* editing = new CanvasEditingController(model, viewport);
    Qt::MouseButtons held;
    std::size_t baseUndoCount = 0;
};

// ---- Selecting ---------------------------------------------------------------------------------

TEST_F(CanvasInteractionTest, AClickWithinNinePointsSelectsTheStrokeAndAFartherOneClears) {
    press(at(50, 28.5));  // 8.5 points under stroke 1
    release(at(50, 28.5));
    EXPECT_EQ(model.selectedPathIDs(), (std::set<std::int64_t>{1}));
    EXPECT_FALSE(model.selectedVertex().has_value());

    press(at(50, 30));  // 10 points from stroke 1, 30 from stroke 2: empty paper
    EXPECT_TRUE(inMode<CanvasInteraction::Marquee>());
    EXPECT_TRUE(model.selectedPathIDs().empty());
    release(at(50, 30));
}

TEST_F(CanvasInteractionTest, AtHighZoomTheToleranceNeverFallsBelowThreePixels) {
    model.applyZoom(8, {0, 0});  // 9 points are 1.125 pixels here
    const struct {
        double offsetPx;
        bool selects;
    } cases[] = {{2.9, true}, {3.1, false}};
    for (const auto& c : cases) {
        model.clearSelection();
        press(at(80, 60 + c.offsetPx));
        release(at(80, 60 + c.offsetPx));
        EXPECT_EQ(model.selectedPathIDs().contains(2), c.selects) << c.offsetPx;
    }
}

TEST_F(CanvasInteractionTest, TwoStrokesAtTheSameDistanceGiveTheLaterOne) {
    // y = 40 lies 20 pixels from both strokes of the first layer; zoom out so that is within 9 points.
    model.applyZoom(0.4, {0, 0});
    press(at(80, 40));
    release(at(80, 40));
    EXPECT_EQ(model.selectedPathIDs(), (std::set<std::int64_t>{2}));
    // The same on the hit test itself, across layers: stroke 3 comes after stroke 2.
    EXPECT_EQ(CanvasInteraction::hitTestPath({80, 80}, 25, document().result()->layers, nullptr), 3);
}

TEST_F(CanvasInteractionTest, ShiftClickTogglesAndStillMovesWhatStaysSelected) {
    press(at(50, 20), Qt::ShiftModifier);
    release(at(50, 20));
    press(at(50, 60), Qt::ShiftModifier);
    release(at(50, 60));
    EXPECT_EQ(model.selectedPathIDs(), (std::set<std::int64_t>{1, 2}));

    // Shift-click on stroke 2 takes it out and drags stroke 1 alone.
    const std::size_t before = undoCount();
    press(at(50, 60), Qt::ShiftModifier);
    EXPECT_EQ(model.selectedPathIDs(), (std::set<std::int64_t>{1}));
    EXPECT_TRUE(inMode<CanvasInteraction::MovePaths>());
    moveTo(at(50, 65));
    release(at(50, 65));
    EXPECT_POINT(path(1)->points.front(), 20, 25);
    EXPECT_POINT(path(2)->points.front(), 20, 60);
    EXPECT_EQ(undoCount(), before + 1);
}

TEST_F(CanvasInteractionTest, MarqueeReplacesOrAddsAndIsShownWhileDragging) {
    model.setSelectedPathIDs({3});
    press(at(10, 10));
    EXPECT_TRUE(model.selectedPathIDs().empty()) << "a press without Shift clears at once";
    moveTo(at(90, 70));
    ASSERT_TRUE(state().marqueeRect.has_value());
    EXPECT_EQ(*state().marqueeRect, QRectF(at(10, 10), at(90, 70)));
    EXPECT_EQ(model.selectedPathIDs(), (std::set<std::int64_t>{1, 2}));
    // Shrinking the box recomputes from scratch.
    moveTo(at(90, 30));
    EXPECT_EQ(model.selectedPathIDs(), (std::set<std::int64_t>{1}));
    release(at(90, 30));
    EXPECT_FALSE(state().marqueeRect.has_value());
    EXPECT_EQ(model.selectedPathIDs(), (std::set<std::int64_t>{1}));

    // With Shift the earlier selection stays.
    press(at(60, 90), Qt::ShiftModifier);
    moveTo(at(100, 110));
    release(at(100, 110));
    EXPECT_EQ(model.selectedPathIDs(), (std::set<std::int64_t>{1, 3}));
}

TEST_F(CanvasInteractionTest, AZeroWidthMarqueeTakesPointsOnItsBorder) {
    const auto& layers = document().result()->layers;
    const auto& bounds = document().renderCache()->boundsByPathID.map();
    EXPECT_EQ(CanvasInteraction::marqueeSelection({80, 0}, {80, 110}, layers, &bounds, {}),
              (std::set<std::int64_t>{1, 2, 3}));
    // A segment crossing the box without a point inside it is not taken.
    EXPECT_EQ(CanvasInteraction::marqueeSelection({40, 0}, {60, 110}, layers, &bounds, {}), std::set<std::int64_t>{});
    // Hidden layers are never taken.
    document().toggleLayerVisibility(1);
    EXPECT_EQ(CanvasInteraction::marqueeSelection({0, 0}, {160, 120}, document().result()->layers,
                                                  &document().renderCache()->boundsByPathID.map(), {}),
              (std::set<std::int64_t>{1, 2}));
}

// ---- Moving strokes and vertices ----------------------------------------------------------------

TEST_F(CanvasInteractionTest, AStrokeMoveIsOneUndoStepAndTinyMovesChangeNothing) {
    const std::size_t before = undoCount();
    press(at(50, 20));
    moveTo(at(50.05, 20.05));  // below 0.1 pixel on both axes
    EXPECT_EQ(undoCount(), before);
    for (int step = 1; step <= 4; ++step) moveTo(at(50 + step, 20 + 2 * step));
    release(at(54, 28));
    EXPECT_EQ(undoCount(), before + 1);
    EXPECT_POINT(path(1)->points.front(), 24, 28);
    EXPECT_TRUE(document().redoStack().empty());
    document().undo();
    EXPECT_POINT(path(1)->points.front(), 20, 20);
}

TEST_F(CanvasInteractionTest, PressingTheLineOfOneOfTwoSelectedStrokesMovesBoth) {
    model.setSelectedPathIDs({1, 2});
    press(at(50, 60));
    EXPECT_TRUE(inMode<CanvasInteraction::MovePaths>());
    moveTo(at(50, 50));
    release(at(50, 50));
    EXPECT_POINT(path(1)->points.front(), 20, 10);
    EXPECT_POINT(path(2)->points.front(), 20, 50);
    EXPECT_EQ(model.selectedPathIDs(), (std::set<std::int64_t>{1, 2}));
}

TEST_F(CanvasInteractionTest, ADraggedSelectionIsPaintedAtItsPlaceAndCommittedAsOneStep) {
    CanvasPaneBody& pane = target();
    // Pixels near pane point `p` with something drawn over the sheet (a stroke, its halo, a dot).
    const auto inkNear = [](const QImage& image, QPointF p) {
        const QColor sheet = Theme::lane();
        int n = 0;
        for (int dy = -2; dy <= 2; ++dy) {
            for (int dx = -2; dx <= 2; ++dx) {
                const QColor c = image.pixelColor(static_cast<int>(p.x()) + dx, static_cast<int>(p.y()) + dy);
                const int difference = std::abs(c.red() - sheet.red()) + std::abs(c.green() - sheet.green()) +
                                       std::abs(c.blue() - sheet.blue());
                n += difference > 60 ? 1 : 0;
            }
        }
        return n;
    };
    const std::size_t before = undoCount();
    press(at(50, 20));
    ASSERT_TRUE(inMode<CanvasInteraction::MovePaths>());
    ASSERT_TRUE(state().selectionDrag.has_value());
    moveTo(at(50, 32));
    moveTo(at(50, 44));
    // Before any commit, the pane paints the stroke where the pointer took it, over the sheet it left.
    EXPECT_POINT(path(1)->points.front(), 20, 20);
    pane.renderPendingNow();
    ASSERT_TRUE(pane.isShowingSelectionDrag());
    const QImage dragged = pane.grab().toImage();
    EXPECT_GT(inkNear(dragged, at(110, 44)), 3) << "the stroke at its new place";
    EXPECT_EQ(inkNear(dragged, at(110, 33)), 0) << "and nowhere between";
    EXPECT_EQ(inkNear(dragged, at(110, 20)), 0) << "nothing left at the old one";
    EXPECT_GT(inkNear(dragged, at(110, 60)), 3) << "stroke 2 stays";

    // A small selection is committed once the events waiting are handled: the document follows.
    ASSERT_TRUE(test::spinUntil([&] { return path(1)->points.front().y != 20; }));
    EXPECT_POINT(path(1)->points.front(), 20, 44);
    moveTo(at(56, 50));
    release(at(56, 50));
    EXPECT_FALSE(state().selectionDrag.has_value());
    EXPECT_POINT(path(1)->points.front(), 26, 50);
    EXPECT_POINT(path(2)->points.front(), 20, 60);
    EXPECT_EQ(undoCount(), before + 1);

    // The pictures stay until the frame of the moved stroke replaces them.
    const QImage expected =
        renderVectorFrame(VectorFrameInput::make(*document().result(), document().renderCache(), document().params(),
                                                 QSizeF(pane.size()), model.zoomScale(), model.panOffset(), false, true,
                                                 false, false, false, model.selectedPathIDs(), model.selectedVertex()),
                          pane.devicePixelRatioF());
    ASSERT_TRUE(test::spinUntil([&] { return !pane.isShowingSelectionDrag() && pane.shownVectorImage() == expected; }));
    const QImage after = pane.grab().toImage();
    EXPECT_GT(inkNear(after, at(116, 50)), 3);
    EXPECT_EQ(inkNear(after, at(110, 20)), 0);
}

TEST_F(CanvasInteractionTest, AKeyThatChangesTheSelectionMidDragKeepsTheMovesMadeAndEndsTheDrag) {
    // Escape clears the selection, Delete removes it; either way the moves shown so far are kept,
    // on the strokes that were dragged, as one undo step, and the rest of the drag moves nothing.
    for (const int code : {Qt::Key_Escape, Qt::Key_Delete}) {
        SCOPED_TRACE(code);
        const std::size_t before = undoCount();
        press(at(50, 20));
        ASSERT_TRUE(inMode<CanvasInteraction::MovePaths>());
        moveTo(at(50, 26));
        moveTo(at(50, 30));  // no event handled since: nothing of the move is committed yet
        EXPECT_TRUE(key(code));
        EXPECT_FALSE(inMode<CanvasInteraction::MovePaths>());
        EXPECT_FALSE(state().selectionDrag.has_value());
        EXPECT_TRUE(model.selectedPathIDs().empty());
        moveTo(at(50, 40));
        release(at(50, 40));
        EXPECT_POINT(path(2)->points.front(), 20, 60);
        if (code == Qt::Key_Escape) {
            EXPECT_POINT(path(1)->points.front(), 20, 30);
            EXPECT_EQ(undoCount(), before + 1);
        } else {
            EXPECT_EQ(path(1), nullptr);
            EXPECT_EQ(undoCount(), before + 2);  // the move, then the deletion
            document().undo();
            EXPECT_POINT(path(1)->points.front(), 20, 30);
        }
        document().undo();
        ASSERT_NE(path(1), nullptr);
        EXPECT_POINT(path(1)->points.front(), 20, 20);
    }
}

TEST_F(CanvasInteractionTest, AVertexDragIsOneUndoStepRecordedAtItsFirstMove) {
    // A vertex of an unselected stroke: selected alone and dragged in the same press.
    press(at(80, 21));
    EXPECT_EQ(model.selectedPathIDs(), (std::set<std::int64_t>{1}));
    ASSERT_TRUE(model.selectedVertex().has_value());
    EXPECT_EQ(*model.selectedVertex(), (SelectedVertex{1, 1}));
    ASSERT_TRUE(inMode<CanvasInteraction::MoveVertex>());
    release(at(80, 21));
    EXPECT_EQ(undoCount(), 0u) << "a click on a vertex without moving records nothing";

    // Redo survives a still click; a real drag records once, however many events.
    makeRedoable();
    ASSERT_EQ(document().redoStack().size(), 1u);
    press(at(80, 20));
    release(at(80, 20));
    EXPECT_EQ(document().redoStack().size(), 1u);
    press(at(80, 20));
    moveTo(at(80, 30));
    moveTo(at(82, 35));
    release(at(82, 35));
    EXPECT_EQ(undoCount(), 1u);
    EXPECT_POINT(path(1)->points[1], 82, 35);
}

TEST_F(CanvasInteractionTest, AVertexOfEitherOfTwoSelectedStrokesDragsThatVertexAlone) {
    model.setSelectedPathIDs({1, 2});
    press(at(140, 61));
    EXPECT_EQ(model.selectedVertex(), (SelectedVertex{2, 2}));
    moveTo(at(150, 70));
    release(at(150, 70));
    EXPECT_POINT(path(2)->points[2], 150, 70);
    EXPECT_POINT(path(1)->points[2], 140, 20);
}

// ---- Erasing and drawing ------------------------------------------------------------------------

TEST_F(CanvasInteractionTest, AnEraseDragIsOneUndoStepAndAnEmptyPressRecordsNothing) {
    model.setEditTool(CanvasEditTool::erase);
    makeRedoable();
    ASSERT_EQ(document().redoStack().size(), 1u);

    press(at(50, 40));  // 20 pixels from everything, eraser radius 8
    EXPECT_EQ(state().hoverPointPane, at(50, 40));
    release(at(50, 40));
    EXPECT_EQ(undoCount(), 0u);
    EXPECT_EQ(document().redoStack().size(), 1u) << "nothing erased, the redo stack stays";

    press(at(50, 40));
    moveTo(at(50, 25));  // 5 pixels from stroke 1
    moveTo(at(50, 55));  // 5 pixels from stroke 2
    release(at(50, 55));
    EXPECT_EQ(path(1), nullptr);
    EXPECT_EQ(path(2), nullptr);
    EXPECT_NE(path(3), nullptr);
    EXPECT_EQ(undoCount(), 1u);
    document().undo();
    EXPECT_NE(path(1), nullptr);
    EXPECT_NE(path(2), nullptr);
}

TEST_F(CanvasInteractionTest, AFreehandStrokeIsAddedOnReleaseAndSelected) {
    model.setEditTool(CanvasEditTool::draw);
    model.setActiveDrawPenIndex(1);
    press(at(10, 110));
    moveTo(at(10.5, 110));  // closer than 1.2 pixels: dropped
    EXPECT_EQ(state().freehandPointsPx.size(), 1u);
    for (int x = 20; x <= 60; x += 10) moveTo(at(x, 110));
    EXPECT_EQ(state().freehandPointsPx.size(), 6u);
    release(at(60, 110));
    EXPECT_TRUE(state().freehandPointsPx.empty());
    ASSERT_EQ(model.selectedPathIDs().size(), 1u);
    const std::int64_t id = *model.selectedPathIDs().begin();
    EXPECT_EQ(id, 4);
    EXPECT_EQ(document().result()->layers[1].paths.back().id, id);
    EXPECT_EQ(undoCount(), 1u);

    // A click, or a drag ending within 1.2 pixels of its start, adds nothing.
    for (const double end : {10.0, 11.0}) {
        press(at(10, 20));
        moveTo(at(end, 20));
        release(at(end, 20));
    }
    EXPECT_EQ(undoCount(), 1u);
    EXPECT_EQ(document().result()->layers[1].paths.size(), 2u);
}

// ---- Panning and one gesture at a time ----------------------------------------------------------

TEST_F(CanvasInteractionTest, PanFollowsTheRightButtonOrThePanToolAndADoubleClickResets) {
    press({50, 50}, Qt::NoModifier, Qt::RightButton);
    moveTo({70, 40});
    release({70, 40}, Qt::RightButton);
    EXPECT_EQ(model.panOffset(), QPointF(20, -10));

    model.setEditTool(CanvasEditTool::pan);
    press({10, 10});
    moveTo({15, 30});
    release({15, 30});
    EXPECT_EQ(model.panOffset(), QPointF(25, 10));

    model.applyZoom(3, {0, 0});
    doubleClick({100, 100});
    EXPECT_EQ(model.zoomScale(), 1.0);
    EXPECT_EQ(model.panOffset(), QPointF(0, 0));
}

TEST_F(CanvasInteractionTest, TheBitmapPaneOnlyPans) {
    model.setViewMode(CanvasViewMode::sideBySide);  // the picture pane comes first
    model.setEditTool(CanvasEditTool::erase);
    ASSERT_FALSE(target().isVectorEditable());
    const QPointF from = at(50, 20);
    const QPointF to = at(50, 25);
    press(from);
    EXPECT_TRUE(inMode<CanvasInteraction::Pan>());
    moveTo(to);
    release(to);
    EXPECT_NE(path(1), nullptr);
    EXPECT_EQ(model.panOffset(), to - from);
}

TEST_F(CanvasInteractionTest, AnotherButtonDuringALeftGestureIsIgnoredUntilItEnds) {
    press(at(10, 10));
    moveTo(at(90, 30));
    ASSERT_TRUE(state().marqueeRect.has_value());
    press(at(90, 30), Qt::NoModifier, Qt::RightButton);
    moveTo(at(100, 40));
    release(at(100, 40), Qt::RightButton);
    EXPECT_TRUE(inMode<CanvasInteraction::Marquee>());
    EXPECT_EQ(model.panOffset(), QPointF(0, 0));
    ASSERT_TRUE(state().marqueeRect.has_value());
    release(at(100, 40));
    EXPECT_FALSE(state().marqueeRect.has_value());
    EXPECT_TRUE(inMode<std::monostate>());

    // The same for a freehand stroke: its preview goes when the left button is released.
    model.setEditTool(CanvasEditTool::draw);
    press(at(10, 110));
    moveTo(at(30, 110));
    press(at(30, 110), Qt::NoModifier, Qt::MiddleButton);
    release(at(30, 110), Qt::MiddleButton);
    EXPECT_TRUE(inMode<CanvasInteraction::Draw>());
    release(at(30, 110));
    EXPECT_TRUE(state().freehandPointsPx.empty());

    // A release that never arrived: the next press of the same button starts afresh.
    model.setEditTool(CanvasEditTool::select);
    press(at(10, 10));
    moveTo(at(40, 40));
    ASSERT_TRUE(state().marqueeRect.has_value());
    held = Qt::NoButton;
    press(at(50, 20));
    EXPECT_FALSE(state().marqueeRect.has_value());
    EXPECT_TRUE(inMode<CanvasInteraction::MovePaths>());
    EXPECT_EQ(model.selectedPathIDs(), (std::set<std::int64_t>{1}));
    release(at(50, 20));
}

TEST_F(CanvasInteractionTest, ANewRunEndsTheGestureAndTheSelection) {
    press(at(50, 20));
    moveTo(at(50, 25));
    ASSERT_TRUE(inMode<CanvasInteraction::MovePaths>());
    document().runSynchronousVectorization();
    EXPECT_TRUE(inMode<std::monostate>());
    EXPECT_TRUE(model.selectedPathIDs().empty());
    const auto after = document().result();
    moveTo(at(50, 40));
    release(at(50, 40));
    EXPECT_EQ(document().result(), after) << "the rest of the drag moves nothing of the new result";

    // An edit commit or an undo keeps the selection.
    model.setSelectedPathIDs({1});
    document().applyEdit(StrokeEdits::Translate{{1}, 1, 0});
    document().undo();
    EXPECT_EQ(model.selectedPathIDs(), (std::set<std::int64_t>{1}));
}

TEST_F(CanvasInteractionTest, ARunKeepsHandEditsOnTheUndoStack) {
    press(at(50, 20));
    moveTo(at(50, 30));
    release(at(50, 30));
    ASSERT_EQ(undoCount(), 1u);
    const std::vector<PenLayer> edited = document().result()->layers;

    document().runSynchronousVectorization();
    EXPECT_NE(document().result()->layers, edited);
    EXPECT_EQ(undoCount(), 2u);
    document().undo();
    EXPECT_EQ(document().result()->layers, edited) << "the hand edits come back";
    document().undo();
    EXPECT_POINT(path(1)->points.front(), 20, 20);

    // A run over a result no hand touched adds nothing to undo.
    document().redo();
    document().redo();
    document().runSynchronousVectorization();
    const std::size_t before = undoCount();
    document().runSynchronousVectorization();
    EXPECT_EQ(undoCount(), before);
}

// ---- Wheel, pinch and keys ----------------------------------------------------------------------

TEST_F(CanvasInteractionTest, WheelAndTrackpadScrollArithmetic) {
    const QPointF centre(100, 80);
    const QPointF pointer(150, 30);
    const struct {
        const char* name;
        QPoint pixelDelta;
        QPoint angleDelta;
        Qt::KeyboardModifiers modifiers;
        double zoom;  // expected zoom after the event, from 1
        QPointF pan;  // expected pan when it only pans
    } cases[] = {
        {"trackpad pans by its deltas", {7, -4}, {0, 0}, Qt::NoModifier, 1, {7, -4}},
        {"trackpad with Alt zooms", {0, 10}, {0, 0}, Qt::AltModifier, std::pow(1.12, 0.12), {}},
        {"trackpad with Ctrl zooms", {0, -10}, {0, 0}, Qt::ControlModifier, std::pow(1.12, -0.12), {}},
        // A mouse notch (120 units, no pixel delta) counts as 10 lines of 0.085.
        {"one wheel notch", {0, 0}, {0, 120}, Qt::NoModifier, std::pow(1.12, 0.85), {}},
        {"two notches back", {0, 0}, {0, -240}, Qt::NoModifier, std::pow(1.12, -1.7), {}},
        {"a fine-step wheel's eighth of a notch", {0, 0}, {0, 15}, Qt::NoModifier, std::pow(1.12, 0.10625), {}},
        {"Alt turned the wheel sideways", {0, 0}, {120, 0}, Qt::AltModifier, std::pow(1.12, 0.85), {}},
        {"no vertical motion", {0, 0}, {120, 0}, Qt::NoModifier, 1, {0, 0}},
    };
    for (const auto& c : cases) {
        model.resetZoom(false);
        wheel(pointer, c.pixelDelta, c.angleDelta, c.modifiers);
        EXPECT_NEAR(model.zoomScale(), c.zoom, 1e-12) << c.name;
        if (c.zoom == 1) {
            EXPECT_EQ(model.panOffset(), c.pan) << c.name;
        } else {
            // About the pointer: pan = anchor × (1 − zoom).
            const QPointF anchor = pointer - centre;
            EXPECT_NEAR(model.panOffset().x(), anchor.x() * (1 - c.zoom), 1e-9) << c.name;
            EXPECT_NEAR(model.panOffset().y(), anchor.y() * (1 - c.zoom), 1e-9) << c.name;
        }
    }
}

TEST_F(CanvasInteractionTest, TenMouseWheelNotchesMoreThanDoubleAndTheLimitsHold) {
    const QPointF pointer(100, 80);  // the centre: zoom only
    for (int notch = 0; notch < 10; ++notch) wheel(pointer, {}, {0, 120});
    EXPECT_GT(model.zoomScale(), 2.0);
    EXPECT_NEAR(model.zoomScale(), std::pow(1.12, 8.5), 1e-9);
    for (int notch = 0; notch < 200; ++notch) wheel(pointer, {}, {0, 120});
    EXPECT_DOUBLE_EQ(model.zoomScale(), AppModel::kMaxZoom);
    for (int notch = 0; notch < 400; ++notch) wheel(pointer, {}, {0, -120});
    EXPECT_DOUBLE_EQ(model.zoomScale(), AppModel::kMinZoom);
}

TEST_F(CanvasInteractionTest, PinchIsLimitedToHalvingAndDoublingPerStep) {
    const struct {
        double magnification;
        double zoom;
    } cases[] = {{0.1, 1.1}, {3, 2}, {1, 2}, {-0.9, 0.5}, {-0.25, 0.75}};
    for (const auto& c : cases) {
        model.resetZoom(false);
        const QPointF pos(60, 40);
        QNativeGestureEvent event(Qt::ZoomNativeGesture, QPointingDevice::primaryPointingDevice(), 2, pos, pos,
                                  target().mapToGlobal(pos), c.magnification, QPointF());
        QCoreApplication::sendEvent(&target(), &event);
        EXPECT_DOUBLE_EQ(model.zoomScale(), c.zoom) << c.magnification;
        EXPECT_NEAR(model.panOffset().x(), (60 - 100) * (1 - c.zoom), 1e-9) << c.magnification;
    }
}

TEST_F(CanvasInteractionTest, KeyTable) {
    model.setSelectedPathIDs({1});
    EXPECT_TRUE(key(Qt::Key_Backspace, Qt::ShiftModifier));
    EXPECT_EQ(path(1), nullptr);
    EXPECT_FALSE(key(Qt::Key_Delete)) << "nothing selected: passed on";

    model.setSelectedPathIDs({2});
    EXPECT_TRUE(key(Qt::Key_Escape, Qt::ControlModifier));
    EXPECT_TRUE(model.selectedPathIDs().empty());

    model.applyZoom(2, {10, 10});
    EXPECT_TRUE(key(Qt::Key_Z, Qt::ShiftModifier));
    EXPECT_EQ(model.zoomScale(), 1.0);
    EXPECT_EQ(model.panOffset(), QPointF(0, 0));

    const struct {
        int code;
        CanvasEditTool tool;
    } tools[] = {{Qt::Key_H, CanvasEditTool::pan},
                 {Qt::Key_E, CanvasEditTool::erase},
                 {Qt::Key_P, CanvasEditTool::draw},
                 {Qt::Key_V, CanvasEditTool::select}};
    for (const auto& t : tools) {
        EXPECT_TRUE(key(t.code));
        EXPECT_EQ(model.editTool(), t.tool);
    }
    const bool before = model.blackOnWhitePreview();
    EXPECT_TRUE(key(Qt::Key_B));
    EXPECT_EQ(model.blackOnWhitePreview(), !before);

    EXPECT_FALSE(key(Qt::Key_Z, Qt::ControlModifier)) << "Ctrl+Z belongs to the menu";
    EXPECT_FALSE(key(Qt::Key_E, Qt::AltModifier));
    EXPECT_EQ(model.editTool(), CanvasEditTool::select);
    EXPECT_FALSE(key(Qt::Key_Q));
}

TEST_F(CanvasInteractionTest, HoverShowsTheEraserOnlyWithTheEraseToolInAnEditablePane) {
    mouse(QEvent::MouseMove, {40, 40}, Qt::NoButton, Qt::NoButton);
    EXPECT_FALSE(state().hoverPointPane.has_value());
    model.setEditTool(CanvasEditTool::erase);
    mouse(QEvent::MouseMove, {40, 40}, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(state().hoverPointPane, QPointF(40, 40));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&target(), &leave);
    EXPECT_FALSE(state().hoverPointPane.has_value());
    model.setViewMode(CanvasViewMode::sideBySide);  // the picture pane comes first
    mouse(QEvent::MouseMove, {40, 40}, Qt::NoButton, Qt::NoButton);
    EXPECT_FALSE(state().hoverPointPane.has_value());
}

}  // namespace
}  // namespace ostrel
