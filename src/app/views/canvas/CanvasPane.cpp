#include "app/views/canvas/CanvasPane.h"

#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"
#include "app/ui/UIFonts.h"
#include "app/views/canvas/BitmapCanvasRenderer.h"

#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QPainter>
#include <QPainterPath>
#include <QCoreApplication>
#include <QThreadPool>
#include <QTimer>

#include <cmath>
#include <mutex>
#include <utility>

namespace ostrel {

namespace {

constexpr double kGridStep = 24;

/// Drops the renders not started yet and waits for the running ones: no render thread may paint
/// while the application or the process tears down the fonts and images it uses.
void finishRenders();

/// The renders of every pane share two threads, apart from the pipeline's. The pool is finished
/// when the application object goes away, and again when the process exits.
QThreadPool& renderPool() {
    static QThreadPool pool;
    static const bool configured = [] {
        pool.setMaxThreadCount(2);
        qAddPostRoutine(finishRenders);
        return true;
    }();
    (void)configured;
    return pool;
}

/// The thread on which the panes let go of the frame inputs they no longer need. Freeing a render
/// cache of a large document takes milliseconds: here it runs beside the render of the next frame
/// instead of before it.
QThreadPool& releasePool() {
    static QThreadPool pool;
    static const bool configured = [] {
        pool.setMaxThreadCount(1);
        return true;
    }();
    (void)configured;
    return pool;
}

void finishRenders() {
    QThreadPool& pool = renderPool();
    pool.clear();
    pool.waitForDone();
    releasePool().waitForDone();
    finishFrameBands();
}

bool isInputEvent(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::HoverEnter:
        case QEvent::HoverLeave:
        case QEvent::HoverMove:
        case QEvent::Enter:
        case QEvent::Leave:
        case QEvent::FocusIn:
        case QEvent::FocusOut:
        case QEvent::NativeGesture:
        case QEvent::ContextMenu:
            return true;
        default:
            return false;
    }
}

/// The card shown in a vector pane while the first result of a document is being computed: a
/// spinning indicator above the stage text.
class ProcessingCard final : public QWidget {
public:
    explicit ProcessingCard(QWidget* parent) : QWidget(parent), timer_(new QTimer(this)) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        timer_->setInterval(80);
        connect(timer_, &QTimer::timeout, this, [this] {
            step_ = (step_ + 1) % 12;
            update();
        });
    }

    void setStage(const QString& stage) {
        stage_ = stage;
        resize(sizeHint());
        update();
    }

    [[nodiscard]] QSize sizeHint() const override {
        const QFontMetricsF metrics(UIFonts::text(11.5, QFont::Medium));
        const double textWidth = metrics.horizontalAdvance(stage_);
        const double width = std::max(textWidth, kSpinner) + 2 * kPadding;
        const double height = kSpinner + 10 + metrics.height() + 2 * kPadding;
        return {static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(height))};
    }

protected:
    void showEvent(QShowEvent*) override { timer_->start(); }
    void hideEvent(QHideEvent*) override { timer_->stop(); }

    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        QPainterPath card;
        card.addRoundedRect(box, 8, 8);
        p.fillPath(card, Theme::withOpacity(Theme::panel(), 0.9));
        p.strokePath(card, QPen(Theme::withOpacity(Qt::white, 0.08), 1));
        // Twelve spokes, the newest brightest.
        const QPointF centre(width() / 2.0, kPadding + kSpinner / 2);
        for (int i = 0; i < 12; ++i) {
            const double angle = (i * 30.0 - 90) * M_PI / 180;
            const double fade = static_cast<double>((i - step_ + 12) % 12) / 12.0;
            QPen spoke(Theme::withOpacity(Theme::textDim(), 1.0 - 0.8 * fade), 2.5, Qt::SolidLine, Qt::RoundCap);
            p.setPen(spoke);
            const QPointF dir(std::cos(angle), std::sin(angle));
            p.drawLine(centre + dir * (kSpinner * 0.25), centre + dir * (kSpinner * 0.45));
        }
        p.setFont(UIFonts::text(11.5, QFont::Medium));
        p.setPen(Theme::textDim());
        const QRectF textRect(kPadding, kPadding + kSpinner + 10, width() - 2 * kPadding,
                              height() - 2 * kPadding - kSpinner - 10);
        p.drawText(textRect, Qt::AlignCenter, stage_);
    }

private:
    static constexpr double kSpinner = 32;
    static constexpr double kPadding = 16;
    QString stage_;
    QTimer* timer_;
    int step_ = 0;
};

}  // namespace

// ----- Pane body -----

struct CanvasPaneBody::Worker {
    std::mutex mutex;
    CanvasPaneBody* owner = nullptr;  // null once the body is gone
};

CanvasPaneBody::CanvasPaneBody(AppModel& model, CanvasViewContext& context, CanvasPaneKind kind, bool showPaperFrame,
                               QWidget* parent)
    : QWidget(parent),
      model_(model),
      context_(context),
      kind_(kind),
      showPaperFrame_(showPaperFrame),
      renderTimer_(new QTimer(this)),
      worker_(std::make_shared<Worker>()) {
    worker_->owner = this;
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    renderTimer_->setSingleShot(true);
    renderTimer_->setInterval(0);
    connect(renderTimer_, &QTimer::timeout, this, &CanvasPaneBody::requestRender);

    if (showsVectors()) {
        processingCard_ = new ProcessingCard(this);
        processingCard_->hide();
        VectorizerController& document = model_.vectorizer();
        connect(&document, &VectorizerController::processingChanged, this, &CanvasPaneBody::updateProcessingCard);
        connect(&document, &VectorizerController::progressChanged, this, &CanvasPaneBody::updateProcessingCard);
        connect(&document, &VectorizerController::resultChanged, this, &CanvasPaneBody::updateProcessingCard);
        for (auto signal : {&VectorizerController::resultChanged, &VectorizerController::renderCacheChanged,
                            &VectorizerController::paramsChanged, &VectorizerController::layerVisibilityChanged}) {
            connect(&document, signal, this, &CanvasPaneBody::scheduleRender);
        }
        for (auto signal : {&AppModel::blackOnWhitePreviewChanged, &AppModel::showTravelMovesChanged,
                            &AppModel::showControlPointsChanged, &AppModel::selectedPathIDsChanged,
                            &AppModel::selectedVertexChanged}) {
            connect(&model_, signal, this, &CanvasPaneBody::scheduleRender);
        }
        connect(&model_, &AppModel::vectorOpacityChanged, this, qOverload<>(&QWidget::update));
        if (kind_ == CanvasPaneKind::overlay) {
            // The card belongs to the vector layer of the overlay and fades with it.
            auto* fade = new QGraphicsOpacityEffect(processingCard_);
            fade->setOpacity(std::clamp(model_.vectorOpacity(), 0.0, 1.0));
            processingCard_->setGraphicsEffect(fade);
            connect(&model_, &AppModel::vectorOpacityChanged, fade,
                    [this, fade] { fade->setOpacity(std::clamp(model_.vectorOpacity(), 0.0, 1.0)); });
        }
        updateProcessingCard();
        scheduleRender();
    }
    if (kind_ != CanvasPaneKind::vector) {
        VectorizerController& document = model_.vectorizer();
        connect(&document, &VectorizerController::displayImageChanged, this, qOverload<>(&QWidget::update));
        connect(&document, &VectorizerController::sourceImageChanged, this, qOverload<>(&QWidget::update));
        connect(&model_, &AppModel::bitmapOpacityChanged, this, qOverload<>(&QWidget::update));
    }
    // Zoom and pan: redraw at once (the last vector image transformed), and ask for a new image.
    connect(&model_, &AppModel::zoomScaleChanged, this, [this] {
        update();
        if (showsVectors()) scheduleRender();
    });
    connect(&model_, &AppModel::panOffsetChanged, this, [this] {
        update();
        if (showsVectors()) scheduleRender();
    });
}

CanvasPaneBody::~CanvasPaneBody() {
    const std::lock_guard lock(worker_->mutex);
    worker_->owner = nullptr;
}

void CanvasPaneBody::updateAllPanes() {
    if (context_.updatePanes) {
        context_.updatePanes();
    } else {
        gestureChanged();
    }
}

void CanvasPaneBody::gestureChanged() {
    if (showsVectors()) {
        const std::optional<CanvasSelectionDrag>& drag = context_.gesture.selectionDrag;
        if (drag && !isDragging()) startDragPictures(drag->committedPx);
        if (drag && drag_) drag_->movedPx = drag->movedPx;
        if (!drag && isDragging()) {
            // The pictures stay, at the drag's last place, until the frame of the result it left.
            drag_->ended = true;
            drag_->endRequest = requested_;
            if (!drag_->ready) endDragPictures();
            scheduleRender();
        }
    }
    update();
}

void CanvasPaneBody::startDragPictures(QPointF committedPx) {
    endDragPictures();
    std::optional<VectorFrameInput> input = makeVectorInput();
    if (!input) {
        dropPreparedPictures();
        return;
    }
    // The whole frame being drawn is not shown before the drag ends: its thread draws the pictures.
    if (runningStop_) runningStop_->store(true);
    if (prepared_ && *prepared_->input == *input && devicePixelRatioF() == prepared_->devicePixelRatio) {
        drag_ = std::exchange(prepared_, std::nullopt);
    } else {
        dropPreparedPictures();
        drag_ = renderDragPictures(std::make_shared<const VectorFrameInput>(std::move(*input)));
    }
    drag_->basePx = committedPx;
    drag_->movedPx = committedPx;
    if (drag_->ready) emit selectionDragShown();
}

CanvasPaneBody::DragPictures CanvasPaneBody::renderDragPictures(std::shared_ptr<const VectorFrameInput> input) {
    auto resting = std::make_shared<VectorFrameInput>(*input);
    resting->part = VectorFramePart::resting;
    auto moving = std::make_shared<VectorFrameInput>(*input);
    moving->part = VectorFramePart::moving;
    DragPictures pictures;
    pictures.geometry = input->geometry(input->paneSize);
    pictures.serial = ++dragSerial_;
    pictures.stop = std::make_shared<std::atomic<bool>>(false);
    pictures.input = std::move(input);
    const double dpr = devicePixelRatioF();
    pictures.devicePixelRatio = dpr;
    renderPool().start([worker = worker_, resting = std::move(resting), moving = std::move(moving), dpr,
                        serial = pictures.serial, stop = pictures.stop]() mutable {
        QImage restingImage = renderVectorFrame(*resting, dpr, {}, stop.get());
        QImage movingImage = renderVectorFrame(*moving, dpr, {}, stop.get());
        if (stop->load()) return;
        const std::lock_guard lock(worker->mutex);
        if (CanvasPaneBody* owner = worker->owner) {
            QMetaObject::invokeMethod(
                owner,
                [owner, serial, restingImage = std::move(restingImage),
                 movingImage = std::move(movingImage)]() mutable {
                    owner->acceptDragPictures(serial, std::move(restingImage), std::move(movingImage));
                },
                Qt::QueuedConnection);
        }
    });
    return pictures;
}

void CanvasPaneBody::prepareDragPictures() {
    if (!isVectorEditable() || busy_ || pending_ || drag_ || prepared_ || shown_.input == nullptr ||
        shown_.input->selectedPathIDs.empty() || renderTimer_->isActive()) {
        return;
    }
    prepared_ = renderDragPictures(shown_.input);
}

void CanvasPaneBody::dropPreparedPictures() {
    if (!prepared_) return;
    prepared_->stop->store(true);
    retire(std::move(prepared_->input));
    prepared_.reset();
}

void CanvasPaneBody::endDragPictures() {
    if (!drag_) return;
    drag_->stop->store(true);
    retire(std::move(drag_->input));
    drag_.reset();
}

void CanvasPaneBody::acceptDragPictures(std::uint64_t serial, QImage resting, QImage moving) {
    DragPictures* pictures = drag_ && drag_->serial == serial           ? &*drag_
                             : prepared_ && prepared_->serial == serial ? &*prepared_
                                                                        : nullptr;
    if (pictures == nullptr) return;
    pictures->resting = std::move(resting);
    pictures->moving = std::move(moving);
    pictures->ready = true;
    if (drag_ && pictures == &*drag_) {
        update();
        emit selectionDragShown();
    }
}

double CanvasPaneBody::displayedZoom() const noexcept {
    return context_.displayedZoomPan ? context_.displayedZoomPan->first : model_.zoomScale();
}

QPointF CanvasPaneBody::displayedPan() const noexcept {
    return context_.displayedZoomPan ? context_.displayedZoomPan->second : model_.panOffset();
}

CanvasTransformGeometry CanvasPaneBody::transformGeometry() const {
    CanvasTransformGeometry g;
    g.paneSize = QSizeF(size());
    g.zoomScale = displayedZoom();
    g.panOffset = displayedPan();
    g.showPaperFrame = showPaperFrame_;
    const VectorizerController& document = model_.vectorizer();
    if (kind_ != CanvasPaneKind::original && document.result()) {
        g.pageTransform = document.result()->pageTransform;
    } else if (const RasterImage* source = document.sourceImage()) {
        // The picture is always placed in image mode on a raw page of the raster's size.
        VectorizerParams params;
        params.paperFormat = PaperFormat::original;
        g.pageTransform = PageTransform::make(source->width, source->height, params);
    }
    if (kind_ == CanvasPaneKind::original) g.showPaperFrame = false;
    return g;
}

std::optional<VectorFrameInput> CanvasPaneBody::makeVectorInput() const {
    const VectorizerController& document = model_.vectorizer();
    if (!document.result()) return std::nullopt;
    return VectorFrameInput::make(*document.result(), document.renderCache(), document.params(), QSizeF(size()),
                                  displayedZoom(), displayedPan(), showPaperFrame_, kind_ != CanvasPaneKind::overlay,
                                  model_.blackOnWhitePreview(), model_.showTravelMoves(), model_.showControlPoints(),
                                  model_.selectedPathIDs(), model_.selectedVertex());
}

void CanvasPaneBody::scheduleRender() {
    if (!showsVectors()) return;
    if (!renderTimer_->isActive()) renderTimer_->start();
}

void CanvasPaneBody::requestRender() {
    if (isDragging()) return;  // the drag's pictures are shown; its end asks for the frame
    dropPreparedPictures();
    std::optional<VectorFrameInput> input = makeVectorInput();
    const std::uint64_t generation = ++requested_;
    if (pending_) retire(std::exchange(pending_, std::nullopt)->first);
    if (!input) {
        // No result: nothing to draw; anything still running is stale.
        retire(std::exchange(shown_, Shown{QImage(), {}, generation, nullptr}).input);
        releaseRetired();
        update();
        return;
    }
    // A frame at another zoom would only be shown scaled: the one asked for now starts sooner.
    if (busy_ && runningStop_ && input->zoomScale != runningZoom_) runningStop_->store(true);
    pending_.emplace(std::make_shared<const VectorFrameInput>(std::move(*input)), generation);
    if (busy_) {
        releaseRetired();
    } else {
        startNext();
    }
}

void CanvasPaneBody::startNext() {
    if (!pending_ || isDragging()) return;
    busy_ = true;
    std::shared_ptr<const VectorFrameInput> input = std::move(pending_->first);
    const std::uint64_t generation = pending_->second;
    pending_.reset();
    const double dpr = devicePixelRatioF();
    releaseRetired();
    runningStop_ = std::make_shared<std::atomic<bool>>(false);
    runningZoom_ = input->zoomScale;
    // One task at a time per pane: the image on screen now is the newest one, the base of a partial
    // frame, and the one shown before it is drawn over.
    renderPool().start([worker = worker_, input = std::move(input), generation, dpr, base = shown_.input,
                        baseImage = shown_.image, spare = std::exchange(spare_, QImage()),
                        stop = runningStop_]() mutable {
        QImage image;
        std::optional<QRegion> redrawn;
        if (base != nullptr && !baseImage.isNull() && baseImage.devicePixelRatio() == dpr) {
            if (const std::optional<QRegion> region = incrementalRegion(*base, *input, dpr)) {
                image = renderVectorFrameRegion(baseImage, *input, *region, std::move(spare));
                redrawn = region;
            }
        }
        if (image.isNull()) image = renderVectorFrame(*input, dpr, std::move(spare), stop.get());
        // Let go of the image on screen before the pane gets the new one, which then leaves it unshared.
        baseImage = QImage();
        base.reset();
        if (stop->load()) {
            // Stopped half drawn: the pane takes the next request (the image is kept to draw over).
            image.setDevicePixelRatio(dpr);
            const std::lock_guard lock(worker->mutex);
            if (CanvasPaneBody* owner = worker->owner) {
                QMetaObject::invokeMethod(
                    owner,
                    [owner, image = std::move(image), input = std::move(input)]() mutable {
                        owner->busy_ = false;
                        owner->runningStop_.reset();
                        if (owner->spare_.isNull()) owner->spare_ = std::move(image);
                        owner->retire(std::move(input));
                        owner->startNext();
                    },
                    Qt::QueuedConnection);
            }
            return;
        }
        const CanvasTransformGeometry geometry = input->geometry(input->paneSize);
        {
            const std::lock_guard lock(worker->mutex);
            if (CanvasPaneBody* owner = worker->owner) {
                QMetaObject::invokeMethod(
                    owner,
                    [owner, image = std::move(image), geometry, generation, input = std::move(input),
                     redrawn = std::move(redrawn)]() mutable {
                        owner->accept(std::move(image), geometry, generation, std::move(input), std::move(redrawn));
                    },
                    Qt::QueuedConnection);
            }
        }
    });
}

void CanvasPaneBody::retire(std::shared_ptr<const VectorFrameInput> input) {
    if (input != nullptr) retired_.push_back(std::move(input));
}

void CanvasPaneBody::releaseRetired() {
    if (retired_.empty()) return;
    releasePool().start([retired = std::exchange(retired_, {})]() mutable { retired.clear(); });
}

void CanvasPaneBody::accept(QImage image, CanvasTransformGeometry geometry, std::uint64_t generation,
                            std::shared_ptr<const VectorFrameInput> input, std::optional<QRegion> redrawn) {
    busy_ = false;
    runningStop_.reset();
    if (generation > shown_.generation) {
        // A partial frame changes what the pane shows only inside the region drawn again, as long as
        // the image it replaces was shown untransformed at the same geometry.
        const QTransform drawnAt = geometry.imageToPaneTransform();
        const bool inPlace = redrawn && !shown_.image.isNull() && shown_.geometry.paneSize == geometry.paneSize &&
                             shown_.geometry.imageToPaneTransform() == drawnAt &&
                             transformGeometry().imageToPaneTransform() == drawnAt;
        spare_ = std::exchange(shown_.image, QImage());
        retire(std::exchange(shown_.input, nullptr));
        const double dpr = image.devicePixelRatio();
        shown_ = Shown{std::move(image), geometry, generation, std::move(input)};
        // The first frame asked for after a drag ends it on the screen.
        const bool dragEnds = drag_ && drag_->ended && generation > drag_->endRequest;
        if (dragEnds) endDragPictures();
        if (inPlace && !dragEnds) {
            QRegion points;
            for (const QRect& r : *redrawn) {
                points += QRectF(r.x() / dpr, r.y() / dpr, r.width() / dpr, r.height() / dpr).toAlignedRect();
            }
            update(points);
        } else {
            update();
        }
        emit vectorImageShown();
    }
    startNext();
    prepareDragPictures();
}

void CanvasPaneBody::renderPendingNow() {
    if (!showsVectors()) return;
    if (isDragging()) {
        if (!drag_->ready) {
            // The pictures the render thread is drawing, drawn here instead.
            drag_->stop->store(true);
            std::optional<VectorFrameInput> input = makeVectorInput();
            if (!input) return;
            // Drawn from the document as it is now: the drag's commits so far are in it.
            drag_->geometry = input->geometry(input->paneSize);
            if (context_.gesture.selectionDrag) drag_->basePx = context_.gesture.selectionDrag->committedPx;
            input->part = VectorFramePart::resting;
            drag_->resting = renderVectorFrame(*input, devicePixelRatioF());
            input->part = VectorFramePart::moving;
            drag_->moving = renderVectorFrame(*input, devicePixelRatioF());
            drag_->stop = std::make_shared<std::atomic<bool>>(false);
            drag_->ready = true;
            update();
        }
        return;
    }
    if (drag_) {
        // A drag that ended: the frame drawn below is the one after it.
        endDragPictures();
        renderTimer_->start();
    }
    const bool asked = renderTimer_->isActive();
    renderTimer_->stop();
    if (!asked && shown_.generation == requested_) return;
    if (pending_) retire(std::exchange(pending_, std::nullopt)->first);
    const std::uint64_t generation = ++requested_;
    Shown next{QImage(), {}, generation, nullptr};
    if (std::optional<VectorFrameInput> input = makeVectorInput()) {
        next.image = renderVectorFrame(*input, devicePixelRatioF());
        next.geometry = input->geometry(input->paneSize);
        next.input = std::make_shared<const VectorFrameInput>(std::move(*input));
    }
    retire(std::exchange(shown_, std::move(next)).input);
    releaseRetired();
    update();
}

bool CanvasPaneBody::isShowingProcessingCard() const {
    return processingCard_ != nullptr && !processingCard_->isHidden();
}

void CanvasPaneBody::updateProcessingCard() {
    if (processingCard_ == nullptr) return;
    const VectorizerController& document = model_.vectorizer();
    const bool show = !document.result() && document.isProcessing();
    if (show) {
        static_cast<ProcessingCard*>(processingCard_)->setStage(QString::fromStdString(document.progressStage()));
        processingCard_->move((width() - processingCard_->width()) / 2, (height() - processingCard_->height()) / 2);
    }
    processingCard_->setVisible(show);
}

void CanvasPaneBody::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateProcessingCard();
    scheduleRender();
}

bool CanvasPaneBody::event(QEvent* event) {
    if (context_.handler != nullptr && isInputEvent(event->type()) && context_.handler->handlePaneEvent(*this, event)) {
        return true;
    }
    return QWidget::event(event);
}

void CanvasPaneBody::paintBitmap(QPainter& painter) {
    const VectorizerController& document = model_.vectorizer();
    const RasterImage* source = document.sourceImage();
    if (source == nullptr || document.displayImage().isNull()) return;
    BitmapFrameInput input;
    input.image = document.displayImage();
    input.imageWidth = source->width;
    input.imageHeight = source->height;
    input.zoomScale = displayedZoom();
    input.panOffset = displayedPan();
    input.showSheetBackground = true;
    const double opacity = kind_ == CanvasPaneKind::overlay ? std::clamp(model_.bitmapOpacity(), 0.0, 1.0) : 1.0;
    if (opacity <= 0) return;
    if (opacity >= 1) {
        drawBitmapFrame(painter, input, QSizeF(size()));
        return;
    }
    // Sheet and picture fade together, as one layer. The layer is kept: a fresh pane-sized image on
    // every frame of a gesture costs the GUI thread its page faults (tens of milliseconds at ratio 2).
    const double dpr = devicePixelRatioF();
    const QSize pixels(static_cast<int>(std::ceil(width() * dpr)), static_cast<int>(std::ceil(height() * dpr)));
    if (bitmapLayer_.size() != pixels) bitmapLayer_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    QImage& layer = bitmapLayer_;
    layer.setDevicePixelRatio(dpr);
    layer.fill(Qt::transparent);
    {
        QPainter layerPainter(&layer);
        drawBitmapFrame(layerPainter, input, QSizeF(size()));
    }
    painter.save();
    painter.setOpacity(opacity);
    painter.drawImage(QPointF(0, 0), layer);
    painter.restore();
}

namespace {

/// Paints `image`, drawn at `drawnAt`, where it belongs at `now`, moved by `movePx` image pixels. A
/// move alone is rounded to whole device pixels, so that the image is copied, not resampled.
void paintVectorImage(QPainter& painter, const QImage& image, const CanvasTransformGeometry& drawnAt,
                      const QTransform& now, QPointF movePx, double opacity) {
    if (image.isNull()) return;
    const QTransform rendered = drawnAt.imageToPaneTransform();
    bool invertible = false;
    const QTransform back = rendered.inverted(&invertible);
    if (!invertible) return;
    painter.save();
    painter.setOpacity(opacity);
    QTransform step = back * QTransform::fromTranslate(movePx.x(), movePx.y()) * now;
    if (step.type() == QTransform::TxTranslate && rendered == now) {
        const double dpr = image.devicePixelRatio();
        step = QTransform::fromTranslate(std::round(step.dx() * dpr) / dpr, std::round(step.dy() * dpr) / dpr);
    } else if (!step.isIdentity()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
    }
    if (!step.isIdentity()) painter.setTransform(step, true);
    painter.drawImage(QPointF(0, 0), image);
    painter.restore();
}

}  // namespace

void CanvasPaneBody::paintVectors(QPainter& painter) {
    const double opacity = kind_ == CanvasPaneKind::overlay ? std::clamp(model_.vectorOpacity(), 0.0, 1.0) : 1.0;
    if (opacity <= 0) return;
    const QTransform now = transformGeometry().imageToPaneTransform();
    if (drag_ && drag_->ready) {
        paintVectorImage(painter, drag_->resting, drag_->geometry, now, {}, opacity);
        paintVectorImage(painter, drag_->moving, drag_->geometry, now, drag_->movedPx - drag_->basePx, opacity);
        return;
    }
    paintVectorImage(painter, shown_.image, shown_.geometry, now, {}, opacity);
}

void CanvasPaneBody::paintGrid(QPainter& painter) {
    // The grid, in pane points: it neither zooms nor pans. Filling its one-pixel columns takes the
    // raster engine about 20 ms on a large pane (one span per pixel row and column), too much for a
    // pan frame, so one grid period's band (the columns and the top line) is drawn once per width,
    // pixel ratio and colour, and stacked down the pane.
    const int w = width();
    const int h = height();
    if (w <= 0 || h <= 0) return;
    const double dpr = devicePixelRatioF();
    const QColor colour = Theme::gridMinor();
    if (gridBand_.isNull() || gridBandWidth_ != w || gridBand_.devicePixelRatio() != dpr || gridBandColour_ != colour) {
        gridBand_ = QImage(QSize(static_cast<int>(std::ceil(w * dpr)), static_cast<int>(std::ceil(kGridStep * dpr))),
                           QImage::Format_ARGB32_Premultiplied);
        gridBand_.setDevicePixelRatio(dpr);
        gridBand_.fill(Qt::transparent);
        gridBandWidth_ = w;
        gridBandColour_ = colour;
        // One-point lines on whole pixels, gathered in one path filled once.
        QPainterPath band;
        for (double x = 0; x < w; x += kGridStep) band.addRect(x, 0, 1, kGridStep);
        band.addRect(0, 0, w, 1);
        band.setFillRule(Qt::WindingFill);
        QPainter bandPainter(&gridBand_);
        bandPainter.fillPath(band, colour);
    }
    painter.save();
    painter.setClipRect(rect(), Qt::IntersectClip);
    for (double y = 0; y < h; y += kGridStep) painter.drawImage(QPointF(0, y), gridBand_);
    painter.restore();
}

void CanvasPaneBody::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintGrid(painter);

    if (kind_ != CanvasPaneKind::vector) paintBitmap(painter);
    if (showsVectors()) paintVectors(painter);
    if (isVectorEditable() && context_.handler != nullptr) context_.handler->paintEditingOverlay(*this, painter);
}

// ----- Pane -----

CanvasPane::CanvasPane(AppModel& model, CanvasViewContext& context, CanvasPaneKind kind, bool showPaperFrame,
                       QWidget* parent)
    : QWidget(parent), body_(new CanvasPaneBody(model, context, kind, showPaperFrame, this)) {}

void CanvasPane::setTitle(const QString& title) {
    if (title_ == title) return;
    title_ = title;
    update(0, 0, width(), kHeaderHeight);
}

void CanvasPane::setBadge(const QString& badge) {
    if (badge_ == badge) return;
    badge_ = badge;
    update(0, 0, width(), kHeaderHeight);
}

void CanvasPane::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutBody();
}

void CanvasPane::layoutBody() {
    body_->setGeometry(0, kHeaderHeight + 1, width(), std::max(0, height() - kHeaderHeight - 1));
}

void CanvasPane::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(QRect(0, 0, width(), kHeaderHeight), Theme::header());
    p.fillRect(QRect(0, kHeaderHeight, width(), 1), Theme::separator());
    const QRectF inner(12, 0, std::max(0, width() - 24), kHeaderHeight);
    QFont titleFont = UIFonts::text(10, QFont::DemiBold);
    titleFont.setLetterSpacing(QFont::AbsoluteSpacing, 0.8);
    double badgeWidth = 0;
    if (!badge_.isEmpty()) {
        const QFont badgeFont = UIFonts::mono(10);
        badgeWidth = QFontMetricsF(badgeFont).horizontalAdvance(badge_);
        p.setFont(badgeFont);
        p.setPen(Theme::textDim());
        p.drawText(inner, Qt::AlignRight | Qt::AlignVCenter, badge_);
        badgeWidth += 8;
    }
    p.setFont(titleFont);
    p.setPen(Theme::textFaint());
    const QRectF titleRect(inner.left(), 0, std::max(0.0, inner.width() - badgeWidth), kHeaderHeight);
    const QString title = QFontMetricsF(titleFont).elidedText(title_, Qt::ElideRight, titleRect.width());
    p.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter, title);
}

}  // namespace ostrel
