#include "app/ui/VectorizerHeroGraphic.h"

#include "app/shell/Theme.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace ostrel {

VectorizerHeroGraphic::VectorizerHeroGraphic(bool active, double size, QWidget* parent)
    : QWidget(parent), active_(active), size_(std::isfinite(size) && size > 0 ? size : 0) {
    setAttribute(Qt::WA_TransparentForMouseEvents, true);
    setFixedSize(sizeHint());
}

QSize VectorizerHeroGraphic::sizeHint() const {
    const int side = static_cast<int>(std::ceil(std::min(size_, 16384.0)));
    return {side, side};
}

void VectorizerHeroGraphic::draw(QPainter& painter, double size) {
    const double w = size;
    const double h = size;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);

    // 1. The frame circle.
    QPen frame(Theme::withOpacity(Theme::accent(), 0.18), 1.2);
    painter.setPen(frame);
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRectF(6, 6, w - 12, h - 12));

    // 2. Five bitmap pixels stepping up to the right.
    const double s = 0.085 * w;
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 5; ++i) {
        QPainterPath pixel;
        pixel.addRoundedRect(QRectF(0.16 * w + 0.78 * s * i, 0.68 * h - 0.62 * s * i, s, s), 2, 2);
        painter.fillPath(pixel, Theme::withOpacity(Theme::textFaint(), 0.32));
    }

    const QPointF a(0.18 * w, 0.72 * h);
    const QPointF b(0.34 * w, 0.18 * h);
    const QPointF c(0.84 * w, 0.28 * h);
    const QPointF d(0.68 * w, 0.84 * h);

    // 3. The two dashed handles, in one stroke.
    QPen handles(Theme::withOpacity(Theme::tcp(), 0.65), 1.2, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
    handles.setDashPattern({3 / 1.2, 2 / 1.2});  // Qt's dash lengths are in pen widths
    handles.setDashOffset(0);
    handles.setMiterLimit(10);
    QPainterPath handlePath;
    handlePath.moveTo(a);
    handlePath.lineTo(b);
    handlePath.moveTo(c);
    handlePath.lineTo(d);
    painter.strokePath(handlePath, handles);

    // 4. The curve.
    QPen curvePen(Theme::accent(), 3.2, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin);
    curvePen.setMiterLimit(10);
    QPainterPath curve;
    curve.moveTo(a);
    curve.cubicTo(b, d, c);
    painter.strokePath(curve, curvePen);

    // 5. The control points, then 6. the anchors.
    for (const QPointF& control : {b, d}) {
        QPainterPath dot;
        dot.addEllipse(control, 3.2, 3.2);
        painter.fillPath(dot, Theme::tcp());
    }
    for (const QPointF& anchor : {a, c}) {
        QPainterPath square;
        square.addRoundedRect(QRectF(anchor.x() - 4, anchor.y() - 4, 8, 8), 2, 2);
        painter.fillPath(square, Theme::alive());
    }
    painter.restore();
}

void VectorizerHeroGraphic::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    draw(painter, size_);
}

}  // namespace ostrel
