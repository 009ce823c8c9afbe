#include "app/views/canvas/CanvasViewportView.h"

#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"
#include "app/ui/TextButton.h"
#include "app/views/canvas/CanvasWelcomeView.h"
#include "testsupport/FakeEbbBoard.h"
#include "testsupport/LanguageScope.h"
#include "testsupport/ManualRunClock.h"
#include "testsupport/QtTestApp.h"
#include "testsupport/TempDir.h"
#include "../../shell/ShellFixtures.h"

#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace ostrel {
namespace {

bool near(QColor actual, QColor expected, int tolerance = 8) {
    return std::abs(actual.red() - expected.red()) <= tolerance &&
           std::abs(actual.green() - expected.green()) <= tolerance &&
           std::abs(actual.blue() - expected.blue()) <= tolerance;
}

std::string describe(QColor c) {
    return "rgb(" + std::to_string(c.red()) + "," + std::to_string(c.green()) + "," + std::to_string(c.blue()) + ")";
}

QColor over(QColor base, QColor top) {
    const double a = top.alphaF();
    return QColor::fromRgbF(static_cast<float>(base.redF() * (1 - a) + top.redF() * a),
                            static_cast<float>(base.greenF() * (1 - a) + top.greenF() * a),
                            static_cast<float>(base.blueF() * (1 - a) + top.blueF() * a));
}

/// A widget of a fixed preferred size, standing in for an overlay bar.
class Block final : public QWidget {
public:
    explicit Block(QSize size) : size_(size) {}
    [[nodiscard]] QSize sizeHint() const override { return size_; }

private:
    QSize size_;
};

/// Records what reaches it and paints a marker, so tests see where the hooks run.
class RecordingHandler final : public CanvasPaneEventHandler {
public:
    bool handlePaneEvent(CanvasPaneBody& pane, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress) presses.push_back(&pane);
        return event->type() == QEvent::MouseButtonPress;
    }
    void paintEditingOverlay(CanvasPaneBody& pane, QPainter& painter) override {
        painted.push_back(&pane);
        painter.fillRect(QRect(2, 2, 4, 4), Qt::magenta);
    }
    std::vector<CanvasPaneBody*> presses;
    std::vector<CanvasPaneBody*> painted;
};

AppModel::Environment environment(test::RecordingSettingsStore& settings,
                                  std::shared_ptr<test::ScriptedPanels> panels = nullptr,
                                  std::shared_ptr<test::MemoryPasteboard> pasteboard = nullptr) {
    AppModel::Environment env;
    env.settings = &settings;
    env.panels = panels ? panels : std::make_shared<test::ScriptedPanels>();
    env.pasteboard = pasteboard ? pasteboard : std::make_shared<test::MemoryPasteboard>();
    return env;
}

class CanvasViewportViewTest : public ::testing::Test {
protected:
    CanvasViewportViewTest() { test::ensureQtApp(); }

    static void showView(CanvasViewportView& view, QSize size = {1000, 640}) {
        view.setAttribute(Qt::WA_DontShowOnScreen);
        view.resize(size);
        view.show();
        QCoreApplication::processEvents();
    }

    static QImage grabNow(CanvasViewportView& view) {
        view.renderPendingNow();
        return view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    /// The rectangle of a pane body in viewport pixels.
    static QRect bodyRect(CanvasViewportView& view, CanvasPane& pane) {
        return QRect(pane.body().mapTo(&view, QPoint(0, 0)), pane.body().size());
    }

    /// Pixels of `area` near `color`.
    static int countNear(const QImage& image, const QRect& area, QColor color, int tolerance = 10) {
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x)
                n += near(image.pixelColor(x, y), color, tolerance) ? 1 : 0;
        }
        return n;
    }

    test::RecordingSettingsStore settings;
    AppModel model{AppModel::Options{.loadDefaultPreset = true}, environment(settings)};
};

TEST_F(CanvasViewportViewTest, EachViewModeBuildsItsPanesWithTitlesAndBadges) {
    ASSERT_TRUE(model.vectorizer().result().has_value());
    VectorizerParams params = model.vectorizer().params();
    params.paperFormat = PaperFormat::original;
    model.vectorizer().setParams(params, RunSchedule::now());
    const auto& source = *model.vectorizer().sourceImage();
    const std::string size = std::to_string(source.width) + " × " + std::to_string(source.height) + " px";
    const std::string count = std::to_string(model.vectorizer().result()->metrics.pathCount);

    struct PaneSpec {
        std::string french;
        std::string english;
        bool sizeBadge;  // else the paths badge
        bool editable;
        bool paper;
    };
    struct Case {
        CanvasViewMode mode;
        bool plotterSection;
        std::vector<PaneSpec> panes;
    };
    const std::vector<Case> cases = {
        {CanvasViewMode::sideBySide,
         false,
         {{"ORIGINAL (BITMAP)", "ORIGINAL (BITMAP)", true, false, false},
          {"VECTORISÉ (SVG)", "VECTORIZED (SVG)", false, true, false}}},
        {CanvasViewMode::overlay,
         true,
         {{"SUPERPOSITION BITMAP + VECTEUR", "BITMAP + VECTOR OVERLAY", false, true, false}}},
        {CanvasViewMode::vectorOnly, false, {{"APERÇU VECTORIEL (SVG)", "VECTOR PREVIEW (SVG)", false, true, false}}},
        {CanvasViewMode::vectorOnly,
         true,
         {{"FEUILLE DE TRACÉ AXIDRAW (Pixels)", "AXIDRAW PLOT SHEET (Pixels)", false, true, true}}},
    };
    for (const AppLanguage language : {AppLanguage::fr, AppLanguage::en}) {
        const test::LanguageScope scope(language);
        CanvasViewportView view(model);
        showView(view);
        for (const Case& c : cases) {
            model.setViewMode(c.mode);
            model.setShowAxiDrawSection(c.plotterSection);
            const std::string name = std::to_string(static_cast<int>(c.mode)) + (c.plotterSection ? " plot" : "") +
                                     (language == AppLanguage::fr ? " fr" : " en");
            ASSERT_EQ(view.panes().size(), c.panes.size()) << name;
            EXPECT_FALSE(view.isShowingWelcome()) << name;
            for (std::size_t i = 0; i < c.panes.size(); ++i) {
                CanvasPane& pane = *view.panes()[i];
                const PaneSpec& spec = c.panes[i];
                EXPECT_EQ(pane.title().toStdString(), language == AppLanguage::fr ? spec.french : spec.english) << name;
                const std::string paths = count + (language == AppLanguage::fr ? " chemins · " : " paths · ");
                if (spec.sizeBadge) {
                    EXPECT_EQ(pane.badge().toStdString(), size) << name;
                } else {
                    EXPECT_EQ(pane.badge().toStdString().rfind(paths, 0), 0u)
                        << name << ": " << pane.badge().toStdString();
                }
                EXPECT_EQ(pane.body().isVectorEditable(), spec.editable) << name;
                EXPECT_EQ(pane.body().showPaperFrame(), spec.paper) << name;
                EXPECT_EQ(pane.body().height(), pane.height() - CanvasPane::kHeaderHeight - 1) << name;
            }
        }
    }
}

TEST_F(CanvasViewportViewTest, SideBySidePanesShareTheWidthAroundADivider) {
    CanvasViewportView view(model);
    showView(view, {1001, 600});
    ASSERT_EQ(view.panes().size(), 2u);
    const QRect left = view.panes()[0]->geometry();
    const QRect right = view.panes()[1]->geometry();
    EXPECT_EQ(left.width(), 500);
    EXPECT_EQ(right.width(), 500);
    EXPECT_EQ(right.left(), left.right() + 2);
    const QImage image = grabNow(view);
    EXPECT_TRUE(near(image.pixelColor(500, 300), Theme::separator(), 2)) << describe(image.pixelColor(500, 300));
    // Header strip and its rule.
    EXPECT_TRUE(near(image.pixelColor(700, 2), Theme::header(), 2)) << describe(image.pixelColor(700, 2));
    EXPECT_TRUE(near(image.pixelColor(700, CanvasPane::kHeaderHeight), Theme::separator(), 2));
}

TEST_F(CanvasViewportViewTest, GridLinesEveryTwentyFourPointsOverTheWholeBodyAcrossResizes) {
    const QColor grid = over(Theme::background(), Theme::gridMinor());
    model.setViewMode(CanvasViewMode::vectorOnly);
    model.applyZoom(0.25, QPointF(0, 0));
    CanvasViewportView view(model);
    // Wider, then narrower: the grid must follow the body's width each time.
    for (const QSize size : {QSize(600, 400), QSize(1000, 640), QSize(700, 500)}) {
        showView(view, size);
        const QImage image = grabNow(view);
        CanvasPane& pane = *view.panes().back();
        const QRect body = bodyRect(view, pane);
        const QRect sheet = pane.body()
                                .transformGeometry()
                                .zoomedSheetRect()
                                .toAlignedRect()
                                .translated(body.topLeft())
                                .adjusted(-3, -3, 3, 3);
        int probed = 0;
        for (int x = 0; x + 12 < body.width(); x += 24) {
            for (int y = 0; y + 12 < body.height(); y += 24) {
                const QPoint column(body.left() + x, body.top() + y + 12);
                const QPoint row(body.left() + x + 12, body.top() + y);
                const QPoint between(body.left() + x + 12, body.top() + y + 12);
                if (sheet.contains(column) || sheet.contains(row) || sheet.contains(between)) continue;
                ++probed;
                EXPECT_TRUE(near(image.pixelColor(column), grid, 2)) << size.width() << " column at " << x;
                EXPECT_TRUE(near(image.pixelColor(row), grid, 2)) << size.width() << " row at " << y;
                EXPECT_TRUE(near(image.pixelColor(between), Theme::background(), 2)) << size.width();
            }
        }
        EXPECT_GT(probed, 100) << size.width();
    }
}

TEST_F(CanvasViewportViewTest, GrabsShowSheetGridAndStrokesInEveryMode) {
    const VectorizationResult& result = *model.vectorizer().result();
    ASSERT_FALSE(result.layers.empty());
    const QColor grid = over(Theme::background(), Theme::gridMinor());
    const QColor lightSheet = QColor::fromRgbF(0.985F, 0.982F, 0.972F);
    const QColor lightInk = QColor::fromRgbF(0.07F, 0.08F, 0.10F);
    struct Case {
        std::string name;
        CanvasViewMode mode;
        bool plotSheet;
        bool light;
    };
    const std::vector<Case> cases = {
        {"split", CanvasViewMode::sideBySide, false, false},
        {"overlay", CanvasViewMode::overlay, false, false},
        {"vector", CanvasViewMode::vectorOnly, false, false},
        {"plot sheet", CanvasViewMode::vectorOnly, true, false},
        {"vector, light", CanvasViewMode::vectorOnly, false, true},
        {"split, light", CanvasViewMode::sideBySide, false, true},
    };
    CanvasViewportView view(model);
    showView(view);
    for (const Case& c : cases) {
        model.setViewMode(c.mode);
        model.setShowAxiDrawSection(c.plotSheet);
        model.setBlackOnWhitePreview(c.light);
        const QImage image = grabNow(view);
        CanvasPane& vectorPane = *view.panes().back();
        const QRect body = bodyRect(view, vectorPane);

        // The grid: a line on the body's first column, plain background between lines.
        EXPECT_TRUE(near(image.pixelColor(body.left(), body.top() + 5), grid, 2))
            << c.name << ": " << describe(image.pixelColor(body.left(), body.top() + 5));
        EXPECT_TRUE(near(image.pixelColor(body.left() + 5, body.top() + 5), Theme::background(), 2)) << c.name;

        // The drawing in its pen colours.
        int inked = 0;
        for (const PenLayer& layer : result.layers) {
            inked += countNear(image, body, c.light ? lightInk : Theme::penColor(layer.index));
        }
        EXPECT_GT(inked, 200) << c.name;

        const CanvasTransformGeometry g = vectorPane.body().transformGeometry();
        const QRect sheet = g.zoomedSheetRect().toAlignedRect().translated(body.topLeft());
        const QRect corner(sheet.left() + 6, sheet.top() + 6, 8, 8);
        if (c.mode != CanvasViewMode::overlay) {
            const QColor sheetColour = c.light ? lightSheet : Theme::lane();
            EXPECT_GE(countNear(image, corner, sheetColour, 3), 48)
                << c.name << ": " << describe(image.pixelColor(corner.center()));
        }
        if (c.plotSheet) {
            // The sheet has the paper's aspect and the margin frame is drawn inside it.
            const PageTransform& page = result.pageTransform;
            EXPECT_NEAR(g.baseSheetRect().width() / g.baseSheetRect().height(), page.pageWidthMM / page.pageHeightMM,
                        1e-6);
            const auto margin = g.zoomedMarginRect(model.vectorizer().params().marginMM);
            ASSERT_TRUE(margin.has_value());
            const int x = body.left() + static_cast<int>(std::floor(margin->left()));
            int framed = 0;
            for (int y = body.top() + static_cast<int>(margin->top()) + 2; y < body.top() + margin->bottom() - 2; ++y) {
                framed += near(image.pixelColor(x, y), Theme::lane(), 2) ? 0 : 1;
            }
            EXPECT_GT(framed, 10) << c.name;
        }
        if (c.mode == CanvasViewMode::sideBySide) {
            // The picture keeps its dark sheet whatever the preview palette: its paper is the image's own.
            CanvasPane& bitmapPane = *view.panes().front();
            const QRect bitmapBody = bodyRect(view, bitmapPane);
            const QRect bitmapSheet =
                bitmapPane.body().transformGeometry().zoomedSheetRect().toAlignedRect().translated(
                    bitmapBody.topLeft());
            const QColor paper = image.pixelColor(bitmapSheet.left() + 8, bitmapSheet.top() + 8);
            EXPECT_GT(paper.lightness(), 200) << c.name << ": " << describe(paper);
            EXPECT_EQ(countNear(image, bitmapBody, Theme::penColor(result.layers[0].index), 4), 0) << c.name;
        }
    }
}

TEST_F(CanvasViewportViewTest, AHiddenLayerDrawsNothingAndOverlayOpacitiesApply) {
    model.setViewMode(CanvasViewMode::vectorOnly);
    CanvasViewportView view(model);
    showView(view);
    const std::int64_t first = model.vectorizer().result()->layers.front().index;
    const QColor pen = Theme::penColor(first);
    const auto inkedNow = [&] {
        const QImage image = grabNow(view);
        return countNear(image, bodyRect(view, *view.panes().back()), pen);
    };
    ASSERT_GT(inkedNow(), 200);
    model.vectorizer().toggleLayerVisibility(first);
    EXPECT_EQ(inkedNow(), 0);
    model.vectorizer().toggleLayerVisibility(first);
    ASSERT_GT(inkedNow(), 200);

    // Overlay: the vectors fade with the vector opacity, the picture with the bitmap opacity.
    model.setViewMode(CanvasViewMode::overlay);
    model.setVectorOpacity(0);
    EXPECT_EQ(inkedNow(), 0);
    model.setVectorOpacity(1);
    EXPECT_GT(inkedNow(), 200);
    const auto paperAt = [&] {
        const QImage image = grabNow(view);
        CanvasPane& pane = *view.panes().back();
        const QRect sheet = pane.body().transformGeometry().zoomedSheetRect().toAlignedRect().translated(
            bodyRect(view, pane).topLeft());
        return image.pixelColor(sheet.left() + 8, sheet.top() + 8);
    };
    model.setBitmapOpacity(0);
    EXPECT_TRUE(near(paperAt(), Theme::background(), 10)) << describe(paperAt());
    model.setBitmapOpacity(1);
    EXPECT_GT(paperAt().lightness(), 200) << describe(paperAt());
}

TEST_F(CanvasViewportViewTest, ZoomAndPanMoveTheLastImageUntilTheNewOneArrives) {
    model.setViewMode(CanvasViewMode::vectorOnly);
    CanvasViewportView view(model);
    showView(view);
    CanvasPaneBody& body = view.panes().back()->body();
    const QColor pen = Theme::penColor(model.vectorizer().result()->layers.front().index);
    const auto centroid = [&](const QImage& image) {
        double sx = 0;
        double sy = 0;
        int n = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (!near(image.pixelColor(x, y), pen, 10)) continue;
                sx += x;
                sy += y;
                ++n;
            }
        }
        return n == 0 ? QPointF(-1, -1) : QPointF(sx / n, sy / n);
    };
    body.renderPendingNow();
    const QPointF before = centroid(body.grab().toImage());
    int shown = 0;
    QObject::connect(&body, &CanvasPaneBody::vectorImageShown, &body, [&] { ++shown; });

    // No event is processed between the change and the grab: the old image is drawn moved.
    model.setPanOffset({15, 10});
    const QPointF moved = centroid(body.grab().toImage());
    EXPECT_NEAR(moved.x() - before.x(), 15, 1.0);
    EXPECT_NEAR(moved.y() - before.y(), 10, 1.0);
    EXPECT_EQ(shown, 0);

    // The worker's image arrives and lands in the same place.
    ASSERT_TRUE(test::spinUntil([&] { return shown > 0; }));
    const QPointF rendered = centroid(body.grab().toImage());
    EXPECT_NEAR(rendered.x(), moved.x(), 1.0);
    EXPECT_NEAR(rendered.y(), moved.y(), 1.0);

    // While an animation shows intermediate values, the panes draw those, not the model's.
    view.setDisplayedZoomPan(std::pair{1.0, QPointF(0, 0)});
    EXPECT_EQ(body.transformGeometry().panOffset, QPointF(0, 0));
    const QPointF animated = centroid(body.grab().toImage());
    EXPECT_NEAR(animated.x(), before.x(), 1.0);
    EXPECT_NEAR(animated.y(), before.y(), 1.0);
    view.setDisplayedZoomPan(std::nullopt);
    EXPECT_EQ(body.transformGeometry().panOffset, QPointF(15, 10));
}

TEST_F(CanvasViewportViewTest, TheNewestRequestWinsOffTheGuiThread) {
    model.setViewMode(CanvasViewMode::vectorOnly);
    CanvasViewportView view(model);
    showView(view);
    CanvasPaneBody& body = view.panes().back()->body();
    ASSERT_TRUE(test::spinUntil([&] { return !body.shownVectorImage().isNull(); }));
    test::spinUntil([] { return false; }, std::chrono::milliseconds(100));
    int shown = 0;
    QObject::connect(&body, &CanvasPaneBody::vectorImageShown, &body, [&] { ++shown; });

    // Many changes in one turn of the event loop ask for one frame.
    for (int i = 1; i <= 5; ++i) model.setPanOffset({i * 10.0, 0});
    ASSERT_TRUE(test::spinUntil([&] { return shown >= 1; }));
    test::spinUntil([] { return false; }, std::chrono::milliseconds(150));
    EXPECT_EQ(shown, 1);

    // A burst across turns ends on the newest request.
    for (int i = 1; i <= 6; ++i) {
        model.applyZoom(1 + i * 0.25, {0, 0});
        QCoreApplication::processEvents();
    }
    const QImage newest =
        renderVectorFrame(VectorFrameInput::make(*model.vectorizer().result(), model.vectorizer().renderCache(),
                                                 model.vectorizer().params(), QSizeF(body.size()), model.zoomScale(),
                                                 model.panOffset(), false, true, false, false, false, {}, std::nullopt),
                          body.devicePixelRatioF());
    ASSERT_TRUE(test::spinUntil([&] { return body.shownVectorImage() == newest; }));
}

TEST_F(CanvasViewportViewTest, AMovedStrokeReachesThePaneAsItsWholeFrame) {
    model.setViewMode(CanvasViewMode::vectorOnly);
    CanvasViewportView view(model);
    showView(view);
    CanvasPaneBody& body = view.panes().back()->body();
    VectorizerController& document = model.vectorizer();
    ASSERT_TRUE(document.result() && !document.result()->layers.empty() &&
                !document.result()->layers.front().paths.empty());
    const std::set<std::int64_t> moved{document.result()->layers.front().paths.front().id};
    model.setSelectedPathIDs(moved);
    const auto wholeFrame = [&] {
        return renderVectorFrame(VectorFrameInput::make(*document.result(), document.renderCache(), document.params(),
                                                        QSizeF(body.size()), model.zoomScale(), model.panOffset(),
                                                        false, true, false, false, false, moved, std::nullopt),
                                 body.devicePixelRatioF());
    };
    ASSERT_TRUE(test::spinUntil([&] { return body.shownVectorImage() == wholeFrame(); }));

    // Each move updates the cache from the one on screen: the pane draws only around the stroke,
    // and what it shows is the whole frame of the moved stroke.
    for (const QPointF step : {QPointF(3, 2), QPointF(-1, 4)}) {
        document.applyEdit(StrokeEdits::Translate{moved, step.x(), step.y()});
        ASSERT_NE(document.renderCache()->updatedFromSerial, 0u);
        const QImage expected = wholeFrame();
        ASSERT_TRUE(test::spinUntil([&] { return body.shownVectorImage() == expected; })) << step.x();
    }
}

TEST_F(CanvasViewportViewTest, HooksReachEditablePanesAndOverlaysLeaveFreeRoomToThem) {
    RecordingHandler handler;
    CanvasViewportView view(model);
    auto* banner = new Block({300, 30});
    auto* selectionBar = new Block({200, 32});
    auto* hint = new Block({240, 24});
    auto* zoomBar = new Block({150, 28});
    view.setOverlayWidgets({banner, selectionBar, hint, zoomBar});
    view.setEventHandler(&handler);
    showView(view, {1000, 640});
    ASSERT_EQ(view.panes().size(), 2u);

    // The bottom row: hint at the left, zoom bar at the right, 14 points in; no selection, no bar.
    EXPECT_TRUE(hint->isVisible());
    EXPECT_TRUE(zoomBar->isVisible());
    EXPECT_FALSE(selectionBar->isVisible());
    EXPECT_FALSE(banner->isVisible());
    EXPECT_EQ(hint->geometry().topLeft(), QPoint(14, 640 - 14 - 28 + 2));
    EXPECT_EQ(zoomBar->geometry(), QRect(1000 - 14 - 150, 640 - 14 - 28, 150, 28));

    model.setSelectedPathIDs({1});
    EXPECT_TRUE(selectionBar->isVisible());
    EXPECT_EQ(selectionBar->geometry(), QRect(400, 34, 200, 32));

    // Only the editable pane gets the editing overlay; both panes get their events.
    handler.painted.clear();
    const QImage image = grabNow(view);
    ASSERT_EQ(handler.painted.size(), 1u);
    EXPECT_EQ(handler.painted[0], &view.panes()[1]->body());
    const QPoint marker = view.panes()[1]->body().mapTo(&view, QPoint(3, 3));
    EXPECT_TRUE(near(image.pixelColor(marker), Qt::magenta, 2));

    QTest::mouseClick(&view.panes()[0]->body(), Qt::LeftButton, {}, QPoint(100, 300));
    // A click in the free room of the overlay column lands on the pane under it.
    QWidget* target = view.childAt(QPoint(750, 300));
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target, &view.panes()[1]->body());
    QTest::mouseClick(target, Qt::LeftButton, {}, target->mapFrom(&view, QPoint(750, 300)));
    EXPECT_EQ(view.childAt(zoomBar->geometry().center()), zoomBar);
    ASSERT_EQ(handler.presses.size(), 2u);
    EXPECT_EQ(handler.presses[0], &view.panes()[0]->body());
    EXPECT_EQ(handler.presses[1], &view.panes()[1]->body());

    // The drop frame covers everything but takes no input.
    view.setDropTargeted(true);
    EXPECT_EQ(view.childAt(QPoint(750, 300)), &view.panes()[1]->body());
    const QImage framed = grabNow(view);
    int dashes = 0;
    for (int y = 40; y < 600; ++y) dashes += near(framed.pixelColor(9, y), Theme::accent(), 40) ? 1 : 0;
    EXPECT_GT(dashes, 100);
    EXPECT_LT(dashes, 500);  // dashed, not solid
    view.setDropTargeted(false);
    EXPECT_EQ(countNear(grabNow(view), QRect(9, 40, 1, 560), Theme::accent(), 40), 0);
}

TEST_F(CanvasViewportViewTest, TheBannerShowsWhileThePlotterIsActiveAndPushesTheSelectionBarDown) {
    test::FakeEbbBoard board;
    test::TempDir ports;
    std::filesystem::create_symlink(board.slavePath(), ports.path() / "ttyACM0");
    test::RecordingSettingsStore plotterSettings;
    AppModel::Environment env = environment(plotterSettings);
    env.plotter = {ports.path(), std::make_shared<test::ManualRunClock>()};
    AppModel plotting(AppModel::Options{.loadDefaultPreset = true}, env);
    CanvasViewportView view(plotting);
    auto* banner = new Block({300, 30});
    auto* selectionBar = new Block({200, 32});
    view.setOverlayWidgets({banner, selectionBar, nullptr, nullptr});
    showView(view, {1000, 640});

    plotting.setSelectedPathIDs({1});
    EXPECT_FALSE(banner->isVisible());
    EXPECT_EQ(selectionBar->geometry(), QRect(400, 34, 200, 32));

    plotting.plotter().startBoundingBoxFrame(*plotting.vectorizer().result());
    ASSERT_EQ(plotting.plotter().runState(), AxiDrawRunState::framingBoundingBox());
    EXPECT_TRUE(banner->isVisible());
    EXPECT_EQ(banner->geometry(), QRect(350, 34, 300, 30));
    EXPECT_EQ(selectionBar->geometry(), QRect(400, 34 + 30 + 8, 200, 32));

    ASSERT_TRUE(test::spinUntil([&] { return !plotting.plotter().runState().isRunning(); }));
    EXPECT_FALSE(banner->isVisible());
    EXPECT_EQ(selectionBar->geometry(), QRect(400, 34, 200, 32));
}

TEST_F(CanvasViewportViewTest, WithoutADocumentOnlyTheWelcomeAndTheDropFrameShow) {
    test::RecordingSettingsStore emptySettings;
    AppModel empty(AppModel::Options{}, environment(emptySettings));
    CanvasViewportView view(empty);
    auto* hint = new Block({240, 24});
    auto* zoomBar = new Block({150, 28});
    auto* selectionBar = new Block({200, 32});
    view.setOverlayWidgets({nullptr, selectionBar, hint, zoomBar});
    showView(view);
    for (const CanvasViewMode mode :
         {CanvasViewMode::sideBySide, CanvasViewMode::overlay, CanvasViewMode::vectorOnly}) {
        empty.setViewMode(mode);
        empty.setSelectedPathIDs({3});
        EXPECT_TRUE(view.isShowingWelcome());
        EXPECT_TRUE(view.panes().empty());
        EXPECT_FALSE(hint->isVisible());
        EXPECT_FALSE(zoomBar->isVisible());
        EXPECT_FALSE(selectionBar->isVisible());
    }
    EXPECT_TRUE(view.sourceSizeBadge().isEmpty());
    EXPECT_TRUE(view.vectorPathsBadge().isEmpty());
    view.setDropTargeted(true);
    EXPECT_GT(countNear(grabNow(view), QRect(9, 40, 1, 560), Theme::accent(), 40), 100);

    // The first document replaces the welcome by the panes of the mode chosen before.
    empty.vectorizer().loadImage(test::threeStrokeDrawing(), "three", true);
    EXPECT_FALSE(view.isShowingWelcome());
    ASSERT_EQ(view.panes().size(), 1u);
    EXPECT_EQ(view.panes()[0]->body().kind(), CanvasPaneKind::vector);
    EXPECT_TRUE(hint->isVisible());
}

TEST_F(CanvasViewportViewTest, TheProcessingCardShowsUntilTheFirstResult) {
    test::RecordingSettingsStore emptySettings;
    AppModel empty(AppModel::Options{}, environment(emptySettings));
    CanvasViewportView view(empty);
    showView(view);
    empty.vectorizer().loadImage(test::threeStrokeDrawing(), "three", false);
    ASSERT_EQ(view.panes().size(), 2u);
    ASSERT_FALSE(empty.vectorizer().result().has_value());
    ASSERT_TRUE(empty.vectorizer().isProcessing());
    EXPECT_TRUE(view.panes()[1]->body().isShowingProcessingCard());
    EXPECT_FALSE(view.panes()[0]->body().isShowingProcessingCard());
    ASSERT_TRUE(test::spinUntil([&] { return empty.vectorizer().result().has_value(); }));
    EXPECT_FALSE(view.panes()[1]->body().isShowingProcessingCard());

    // A new run keeps the last result on screen: no card.
    VectorizerParams params = empty.vectorizer().params();
    params.strokeWidthScale = 2;
    empty.vectorizer().setParams(params, RunSchedule::after(5));
    EXPECT_FALSE(view.panes()[1]->body().isShowingProcessingCard());
}

class CanvasWelcomeViewTest : public ::testing::Test {
protected:
    CanvasWelcomeViewTest() { test::ensureQtApp(); }
};

TEST_F(CanvasWelcomeViewTest, RecentRowsShowTheFirstFiveAndOpenTheirFile) {
    test::TempDir folder;
    std::vector<std::string> stored;
    for (int i = 0; i < 12; ++i) {
        const auto file = folder.path() / ("drawing-" + std::to_string(i) + ".png");
        test::writeDrawing(file);
        stored.push_back(file.string());
    }
    test::RecordingSettingsStore settings;
    settings.store.setStringList("recentPaths", stored);
    AppModel model(AppModel::Options{}, environment(settings));
    ASSERT_EQ(model.recentURLs().size(), 12u);

    CanvasWelcomeView welcome(model);
    welcome.resize(800, 600);
    const auto rows = welcome.recentRows();
    ASSERT_EQ(rows.size(), 5u);
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i]->file(), model.recentURLs()[i]);
    EXPECT_FALSE(welcome.recentSection().isHidden());

    const std::filesystem::path third = model.recentURLs()[2];
    rows[2]->click();
    ASSERT_TRUE(model.vectorizer().sourcePath().has_value());
    EXPECT_EQ(*model.vectorizer().sourcePath(), third.string());
    // The list follows the model: the opened file is now first.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(welcome.recentRows().size(), 5u);
    EXPECT_EQ(welcome.recentRows()[0]->file(), third);

    model.clearRecentURLs();
    EXPECT_TRUE(welcome.recentRows().empty());
    EXPECT_TRUE(welcome.recentSection().isHidden());
}

TEST_F(CanvasWelcomeViewTest, ButtonsOpenAndPasteAndTextsFollowTheLanguage) {
    test::TempDir folder;
    const auto file = folder.path() / "chosen.png";
    test::writeDrawing(file);
    auto panels = std::make_shared<test::ScriptedPanels>();
    panels->answers.push_back(file);
    auto pasteboard = std::make_shared<test::MemoryPasteboard>();
    test::RecordingSettingsStore settings;
    AppModel model(AppModel::Options{}, environment(settings, panels, pasteboard));
    const test::LanguageScope english(AppLanguage::en);
    model.setLanguage(AppLanguage::en);
    CanvasWelcomeView welcome(model);
    EXPECT_EQ(welcome.openButton().text(), QString("Open Image… (Ctrl+O)"));
    EXPECT_EQ(welcome.pasteButton().text(), QString("Paste (Ctrl+V)"));
    EXPECT_TRUE(welcome.recentSection().isHidden());
    model.setLanguage(AppLanguage::fr);
    EXPECT_EQ(welcome.openButton().text(), QString("Ouvrir une image… (Ctrl+O)"));

    welcome.openButton().click();
    ASSERT_TRUE(test::spinUntil([&] { return model.vectorizer().sourcePath().has_value(); }));
    EXPECT_EQ(*model.vectorizer().sourcePath(), file.string());

    pasteboard->picture = test::threeStrokeDrawing();
    welcome.pasteButton().click();
    ASSERT_TRUE(test::spinUntil([&] { return !model.vectorizer().sourcePath().has_value(); }));
    EXPECT_NE(model.vectorizer().sourceImage(), nullptr);
}

}  // namespace
}  // namespace ostrel
