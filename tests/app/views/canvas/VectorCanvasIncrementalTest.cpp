// Partial vector frames: after an edit, only the changed part of the frame on screen is drawn again,
// and the result is the frame of the new input.
#include "app/views/canvas/VectorCanvasRenderer.h"

#include "testsupport/QtTestApp.h"
#include "testsupport/StrokeGrid.h"

#include <QImage>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace ostrel {
namespace {

constexpr std::int64_t kMoved = 8;
constexpr QSizeF kPane{240, 240};

VectorizationResult gridResult(double movedDx, double movedDy) {
    std::vector<VectorPath> paths;
    for (int i = 0; i < 30; ++i) {
        paths.push_back(i + 1 == kMoved ? test::gridStroke(i, movedDx, movedDy) : test::gridStroke(i));
    }
    return test::rawPixelResult(200, std::move(paths));
}

struct View {
    VectorOutputMode mode = VectorOutputMode::illustration;
    IllustrationStrokeStyle style = IllustrationStrokeStyle::variableRibbon;
    double zoom = 1;
    QPointF pan;
    std::set<std::int64_t> selected{kMoved, 20};
    std::optional<SelectedVertex> vertex;
    bool controlPoints = false;
};

/// The frame inputs before and after stroke kMoved moves by (4, 3): the second cache says it was
/// updated from the first, and the moved stroke's bounds before and after make its changed region.
struct Edit {
    VectorFrameInput before;
    VectorFrameInput after;

    explicit Edit(const View& view) {
        const VectorizationResult first = gridResult(0, 0);
        const VectorizationResult second = gridResult(4, 3);
        auto firstCache = std::make_shared<VectorRenderCache>(VectorRenderCache::build(first));
        auto secondCache = std::make_shared<VectorRenderCache>(VectorRenderCache::build(second));
        secondCache->updatedFromSerial = firstCache->serial;
        secondCache->changedRegionPx = {firstCache->boundsByPathID.at(kMoved), secondCache->boundsByPathID.at(kMoved)};
        VectorizerParams params;
        params.outputMode = view.mode;
        params.illustrationStrokeStyle = view.style;
        params.strokeWidthScale = 3;
        const auto make = [&](const VectorizationResult& result, std::shared_ptr<const VectorRenderCache> cache) {
            return VectorFrameInput::make(result, std::move(cache), params, kPane, view.zoom, view.pan, false, true,
                                          false, false, view.controlPoints, view.selected, view.vertex);
        };
        before = make(first, firstCache);
        after = make(second, secondCache);
    }
};

/// Pixels whose channels differ by more than `tolerance`.
int differingPixels(const QImage& a, const QImage& b, int tolerance = 0) {
    if (a.size() != b.size()) return -1;
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* pa = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* pb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const int d = std::max({std::abs(qRed(pa[x]) - qRed(pb[x])), std::abs(qGreen(pa[x]) - qGreen(pb[x])),
                                    std::abs(qBlue(pa[x]) - qBlue(pb[x])), std::abs(qAlpha(pa[x]) - qAlpha(pb[x]))});
            count += d > tolerance ? 1 : 0;
        }
    }
    return count;
}

class VectorCanvasIncrementalTest : public ::testing::Test {
protected:
    VectorCanvasIncrementalTest() { test::ensureQtApp(); }
};

TEST_F(VectorCanvasIncrementalTest, APartialFrameEqualsTheWholeFrameOfTheNewInput) {
    std::set<std::int64_t> everything;
    for (std::int64_t id = 1; id <= 30; ++id) everything.insert(id);
    struct Case {
        std::string name;
        std::function<void(View&)> change;
    };
    const std::vector<Case> cases = {
        {"ribbons", [](View&) {}},
        {"centre lines", [](View& v) { v.mode = VectorOutputMode::axidraw; }},
        {"width bands", [](View& v) { v.style = IllustrationStrokeStyle::perStrokeWidth; }},
        {"zoomed in and panned, bands",
         [](View& v) {
             v.style = IllustrationStrokeStyle::perStrokeWidth;
             v.zoom = 1.8;
             v.pan = {60, 35};
         }},
        // The region then starts at other pixels, and strokes cross its edges at fractions of a pixel.
        {"zoomed out and panned by fractions, ribbons",
         [](View& v) {
             v.zoom = 0.7;
             v.pan = {-12.4, 8.7};
         }},
        {"zoomed in and panned by fractions, centre lines",
         [](View& v) {
             v.mode = VectorOutputMode::axidraw;
             v.zoom = 2.3;
             v.pan = {41.3, 27.6};
         }},
        // Enough selected halo and handles to be drawn through a translucent layer, and two groups of dots.
        {"everything selected, control points, a selected vertex",
         [&everything](View& v) {
             v.selected = everything;
             v.vertex = SelectedVertex{kMoved, 3};
             v.controlPoints = true;
         }},
    };
    for (const Case& c : cases) {
        View view;
        c.change(view);
        const Edit edit(view);
        for (const double dpr : {1.0, 2.0, 1.5}) {
            const std::string name = c.name + " at " + std::to_string(dpr);
            const QImage shown = renderVectorFrame(edit.before, dpr);
            const QImage whole = renderVectorFrame(edit.after, dpr);
            ASSERT_GT(differingPixels(shown, whole), 0) << name << ": the edit changes the picture";
            const std::optional<QRegion> region = incrementalRegion(edit.before, edit.after, dpr);
            ASSERT_TRUE(region.has_value()) << name;
            ASSERT_FALSE(region->isEmpty()) << name;
            EXPECT_FALSE(region->boundingRect().contains(shown.rect())) << name << ": only around the moved stroke";
            const QImage partial = renderVectorFrameRegion(shown, edit.after, *region);
            EXPECT_EQ(partial.devicePixelRatio(), dpr) << name;
            EXPECT_EQ(differingPixels(partial, whole), 0) << name;
            // The image on screen is left as it was.
            EXPECT_EQ(differingPixels(shown, renderVectorFrame(edit.before, dpr)), 0) << name;
        }
    }
}

TEST_F(VectorCanvasIncrementalTest, TheRegionCoversTheChangedBoundsGrownByTheStrokeReachInDevicePixels) {
    const Edit edit(View{});
    const QRectF moved = edit.after.renderCache->boundsByPathID.at(kMoved);
    const QTransform t = edit.after.geometry(kPane).imageToPaneTransform();
    const double reach = strokeReachPane(edit.after);
    // Pen 1.2 mm at 1 mm per pixel and the sheet at 1 point per pixel; bands up to 2.75 × 3 × 2.
    EXPECT_GE(reach, 16.5 / 2 + 3.5 + 9);
    for (const double dpr : {1.0, 2.0}) {
        const std::optional<QRegion> region = incrementalRegion(edit.before, edit.after, dpr);
        ASSERT_TRUE(region.has_value());
        const QRectF grown = t.mapRect(moved).adjusted(-reach, -reach, reach, reach);
        const QRect device(
            QPoint(static_cast<int>(std::floor(grown.left() * dpr)), static_cast<int>(std::floor(grown.top() * dpr))),
            QPoint(static_cast<int>(std::ceil(grown.right() * dpr)) - 1,
                   static_cast<int>(std::ceil(grown.bottom() * dpr)) - 1));
        EXPECT_TRUE(region->contains(device)) << dpr;
        EXPECT_EQ(QRegion(device).subtracted(*region), QRegion()) << dpr;
    }
}

TEST_F(VectorCanvasIncrementalTest, AnyOtherDifferenceOrALargeChangeDrawsTheWholeFrame) {
    struct Case {
        std::string name;
        std::function<void(VectorFrameInput&)> change;
        bool partial;
    };
    const auto cacheEdit = [](const std::function<void(VectorRenderCache&)>& edit) {
        return [edit](VectorFrameInput& in) {
            auto cache = std::make_shared<VectorRenderCache>(*in.renderCache);
            edit(*cache);
            in.renderCache = std::move(cache);
        };
    };
    const std::vector<Case> cases = {
        {"only the cache and the moved stroke's dots", [](VectorFrameInput&) {}, true},
        {"zoom", [](VectorFrameInput& in) { in.zoomScale *= 1.08; }, false},
        {"pan", [](VectorFrameInput& in) { in.panOffset += QPointF(1, 0); }, false},
        {"pane size", [](VectorFrameInput& in) { in.paneSize = QSizeF(241, 240); }, false},
        {"palette", [](VectorFrameInput& in) { in.blackOnWhitePreview = true; }, false},
        {"output mode", [](VectorFrameInput& in) { in.outputMode = VectorOutputMode::axidraw; }, false},
        {"stroke style", [](VectorFrameInput& in) { in.strokeStyle = IllustrationStrokeStyle::perStrokeWidth; }, false},
        {"stroke width scale", [](VectorFrameInput& in) { in.strokeWidthScale = 2; }, false},
        {"margin", [](VectorFrameInput& in) { in.marginMM = 5; }, false},
        {"sheet", [](VectorFrameInput& in) { in.showSheetBackground = false; }, false},
        {"paper frame", [](VectorFrameInput& in) { in.showPaperFrame = true; }, false},
        {"page", [](VectorFrameInput& in) { in.pageTransform.scalePxToMM = 2; }, false},
        {"layer width", [](VectorFrameInput& in) { in.layers[0].widthMM = 2; }, false},
        {"layer hidden", [](VectorFrameInput& in) { in.layers[0].visible = false; }, false},
        {"selection", [](VectorFrameInput& in) { in.selectedPathIDs.insert(3); }, false},
        {"selected vertex",
         [](VectorFrameInput& in) {
             in.selectedVertex = SelectedVertex{kMoved, 1};
         },
         false},
        {"control points", [](VectorFrameInput& in) { in.showControlPoints = true; }, false},
        {"travel moves", [](VectorFrameInput& in) { in.showTravelMoves = true; }, false},
        {"a dot outside the changed region", [](VectorFrameInput& in) { in.layers[0].dots.back().x += 0.5; }, false},
        {"a dot fewer", [](VectorFrameInput& in) { in.layers[0].dots.pop_back(); }, false},
        {"dot bound reached",
         [](VectorFrameInput& in) { in.layers[0].dots.resize(static_cast<std::size_t>(kMaxVertexDots)); }, false},
        {"cache built whole", cacheEdit([](VectorRenderCache& c) { c.updatedFromSerial = 0; }), false},
        {"cache updated from another", cacheEdit([](VectorRenderCache& c) { c.updatedFromSerial += 1000; }), false},
        {"no cache", [](VectorFrameInput& in) { in.renderCache = nullptr; }, false},
        {"change over half the page",
         cacheEdit([](VectorRenderCache& c) { c.changedRegionPx.push_back(QRectF(0, 0, 200, 110)); }), false},
    };
    for (const Case& c : cases) {
        const Edit edit(View{});
        VectorFrameInput next = edit.after;
        c.change(next);
        VectorFrameInput shown = edit.before;
        // The bound reached on both sides alike: only the bound differs from the partial case.
        if (next.layers[0].dots.size() == static_cast<std::size_t>(kMaxVertexDots))
            shown.layers[0].dots = next.layers[0].dots;
        const std::optional<QRegion> region = incrementalRegion(shown, next, 1.0);
        EXPECT_EQ(region.has_value(), c.partial) << c.name;
    }
    // A change off the pane leaves nothing to draw: the frame on screen is the new one.
    const Edit edit(View{});
    auto cache = std::make_shared<VectorRenderCache>(*edit.after.renderCache);
    cache->changedRegionPx = {QRectF(-900, -900, 40, 40)};
    VectorFrameInput next = edit.before;
    next.renderCache = cache;
    const std::optional<QRegion> region = incrementalRegion(edit.before, next, 1.0);
    ASSERT_TRUE(region.has_value());
    EXPECT_TRUE(region->isEmpty());
}

}  // namespace
}  // namespace ostrel
