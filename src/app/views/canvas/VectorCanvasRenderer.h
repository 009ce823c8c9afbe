// The vector frame of a canvas pane: sheet, margin frame, travel moves and, per pen layer, the
// selection halo, the strokes (centre lines, ribbons or width bands), the control handles and the
// vertex dots. Everything comes from the immutable render cache, so a frame can be drawn on any
// thread from a VectorFrameInput, which copies the few document fields it needs.
//
// Qt strokes one huge path super-linearly, so the cached paths are always drawn per grid bucket
// (and the travel path and selection in chunks); above zoom 1.6 only the buckets that meet the
// visible image rectangle are drawn. Vertex dots are drawn only inside the visible rectangle and
// at most kMaxVertexDots of them, each stamped from an image drawn once per look and quarter-pixel
// offset, so selecting everything stays cheap. The rasterizer walks every edge of a fill once per
// stretch of rows it covers, and a chunk of the halo spreads over the whole frame: a large frame draws
// the halo, the strokes and the dots in horizontal bands side by side, each band only what meets it,
// with the same pixels as in one piece.
//
// While selected strokes are dragged, a pane shows two part frames instead of the whole one: the
// strokes that stay (with the sheet) and the selected strokes alone (with their halo, handles and
// dots), the second moved by the drag offset. Each part draws the cells without a selected stroke
// from the cached cell paths and the others stroke by stroke.
#pragma once

#include "app/document/VectorRenderCache.h"
#include "app/shell/AppModel.h"
#include "app/views/canvas/CanvasTransformGeometry.h"
#include "core/model/VectorizerParams.h"

#include <QImage>
#include <QRegion>
#include <QSizeF>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <vector>

class QPainter;

namespace ostrel {

/// Which strokes a frame draws.
enum class VectorFramePart {
    whole,    // everything
    resting,  // the sheet, the margin frame, the travel moves and the strokes not selected
    moving,   // the selected strokes with their halo, handles and dots, on a transparent ground
};

/// What one frame of the vector pane draws; a self-contained copy, safe to hand to a worker.
struct VectorFrameInput {
    struct Layer {
        std::int64_t index = 0;
        double widthMM = 0;
        bool visible = true;
        bool hasPaths = false;
        /// Points of the layer's selected strokes (image pixels) that get a vertex dot, in layer
        /// order; the selected vertex goes to `selectedDots` instead.
        std::vector<VectorPoint> dots;
        std::vector<VectorPoint> selectedDots;
        friend bool operator==(const Layer&, const Layer&) = default;
    };

    std::shared_ptr<const VectorRenderCache> renderCache;
    PageTransform pageTransform;
    std::vector<Layer> layers;
    VectorOutputMode outputMode = VectorOutputMode::illustration;
    IllustrationStrokeStyle strokeStyle = IllustrationStrokeStyle::variableRibbon;
    double strokeWidthScale = 1.0;
    double marginMM = 12.0;
    QSizeF paneSize;
    double zoomScale = 1.0;
    QPointF panOffset;
    bool showPaperFrame = false;
    bool showSheetBackground = true;
    bool blackOnWhitePreview = false;
    bool showTravelMoves = false;
    bool showControlPoints = false;
    std::set<std::int64_t> selectedPathIDs;
    std::optional<SelectedVertex> selectedVertex;
    VectorFramePart part = VectorFramePart::whole;

    /// Equal inputs draw the same frame (render caches compare by identity).
    friend bool operator==(const VectorFrameInput&, const VectorFrameInput&) = default;

    /// The geometry of this frame for a drawing surface of `size`.
    [[nodiscard]] CanvasTransformGeometry geometry(QSizeF size) const noexcept;

    /// Copies what a frame needs from a result. Only the points of selected strokes that can show
    /// dots (inside the visible rectangle, up to the dot bound) are copied.
    static VectorFrameInput make(const VectorizationResult& result,
                                 std::shared_ptr<const VectorRenderCache> renderCache, const VectorizerParams& params,
                                 QSizeF paneSize, double zoomScale, QPointF panOffset, bool showPaperFrame,
                                 bool showSheetBackground, bool blackOnWhitePreview, bool showTravelMoves,
                                 bool showControlPoints, const std::set<std::int64_t>& selectedPathIDs,
                                 const std::optional<SelectedVertex>& selectedVertex);
};

/// A large part frame (a selection drag's picture) is drawn in this many bands at once, on as many
/// threads; the banded passes of a large whole frame use as many threads.
inline constexpr int kFrameBands = 4;
/// At most this many vertex dots are drawn in one frame.
inline constexpr int kMaxVertexDots = 6000;
/// Above this zoom only the buckets meeting the visible rectangle are drawn.
inline constexpr double kWholeLayerZoomLimit = 1.6;

/// The visible image rectangle of a frame (pane corners in image pixels), grown by 24 pixels.
[[nodiscard]] QRectF visibleImageRect(const CanvasTransformGeometry& geometry, QSizeF size) noexcept;

/// Draws one frame with `painter` on a surface of `size` points (the pane's own size normally), in
/// one piece.
void drawVectorFrame(QPainter& painter, const VectorFrameInput& input, QSizeF size);

/// The frame as a transparent image of the pane size at `devicePixelRatio`, drawn into `spare` when
/// that is an unshared image of that size (a frame no longer shown), else into a new one. When `stop`
/// turns true meanwhile (the frame is no longer wanted), the rest is left undrawn. A large whole
/// frame draws its strokes, selection halo and vertex dots in bands side by side, pixel for pixel
/// what drawVectorFrame draws.
[[nodiscard]] QImage renderVectorFrame(const VectorFrameInput& input, double devicePixelRatio, QImage spare = {},
                                       const std::atomic<bool>* stop = nullptr);

/// How far, in pane points, anything a frame draws for a stroke (its pen or width band, the selection
/// halo, vertex dots, antialiasing) can reach outside the stroke's padded bounds.
[[nodiscard]] double strokeReachPane(const VectorFrameInput& input);

/// Where the frame of `next` differs from the frame of `shown`, in device pixels of a
/// `devicePixelRatio` image, when only that part needs drawing: `next`'s render cache was updated
/// from `shown`'s, and everything else (view, size, palette, style, widths, visibility, selection,
/// selected vertex, control points, sheet) is the same, with vertex dots differing only inside the
/// changed region. The region is the changed region in the pane, grown by the stroke reach and
/// aligned outward to whole device pixels. None (draw the whole frame) when anything else differs,
/// when travel moves are shown, when the dot bound is reached or when the region covers more than
/// a third of the pane.
[[nodiscard]] std::optional<QRegion> incrementalRegion(const VectorFrameInput& shown, const VectorFrameInput& next,
                                                       double devicePixelRatio);

/// The frame of `input` from `shownImage`, the frame of the input it was updated from: a copy of it
/// (into `spare` as for renderVectorFrame) where `region` (from incrementalRegion) is cleared and
/// drawn again, drawing only what meets it. `shownImage` itself is left as it is.
[[nodiscard]] QImage renderVectorFrameRegion(const QImage& shownImage, const VectorFrameInput& input,
                                             const QRegion& region, QImage spare = {});

/// Ends the threads that draw the bands of large frames once the frames drawn now are done (the next
/// such frame starts them again). Called as the application object goes away, so that none is left
/// for the process's exit to tear down.
void finishFrameBands();

}  // namespace ostrel
