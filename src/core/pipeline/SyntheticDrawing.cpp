#include "core/pipeline/SyntheticDrawing.h"

#include "core/model/Localization.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRectF>

#include <cmath>
#include <cstdint>
#include <numbers>

namespace ostrel {

std::string_view rawValue(SyntheticPreset preset) noexcept {
    switch (preset) {
        case SyntheticPreset::portrait:
            return "portrait";
        case SyntheticPreset::stageArch:
            return "stage";
        case SyntheticPreset::hatching:
            return "hatching";
        case SyntheticPreset::rosette:
            return "rosette";
    }
    return "portrait";
}

std::optional<SyntheticPreset> syntheticPresetFromRaw(std::string_view text) noexcept {
    return enumFromRaw<SyntheticPreset>(text);
}

std::string label(SyntheticPreset preset) {
    switch (preset) {
        case SyntheticPreset::portrait:
            return L("Portrait & drapés au trait", "Line-Art Portrait & Drapery");
        case SyntheticPreset::stageArch:
            return L("Scénographie & perspective", "Stage Scenography & Perspective");
        case SyntheticPreset::hatching:
            return L("Plumes variables & hachures", "Variable Pens & Cross-Hatching");
        case SyntheticPreset::rosette:
            return L("Rosace guillochée AxiDraw", "AxiDraw Guilloché Rosette");
    }
    return {};
}

std::string_view icon(SyntheticPreset preset) noexcept {
    switch (preset) {
        case SyntheticPreset::portrait:
            return "scribble.variable";
        case SyntheticPreset::stageArch:
            return "cube.transparent";
        case SyntheticPreset::hatching:
            return "lines.measurement.horizontal";
        case SyntheticPreset::rosette:
            return "hurricane";
    }
    return "scribble.variable";
}

namespace SyntheticDrawing {

namespace {

constexpr std::int64_t kMaxPixelCount = std::int64_t{1} << 27;

/// An opaque colour from components in 0…1, each stored as the nearest 8-bit value.
QColor colorOf(double red, double green, double blue) {
    auto byte = [](double v) { return static_cast<int>(std::lround(v * 255)); };
    return QColor(byte(red), byte(green), byte(blue));
}

void setStroke(QPainter& painter, const QColor& ink, double width) {
    QPen pen(ink, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
}

// The scenes draw in a context whose origin is the bottom-left corner with y pointing up.

void drawCalligraphicPortrait(QPainter& painter, double w, double h) {
    const QColor ink = colorOf(0.06, 0.06, 0.08);
    const double cx = 0.5 * w;
    const double cy = 0.54 * h;

    setStroke(painter, ink, 5.5);
    QPainterPath head;
    head.moveTo(cx - 0.2 * w, cy + 0.18 * h);
    head.cubicTo(cx - 0.24 * w, cy - 0.06 * h, cx - 0.12 * w, cy - 0.21 * h, cx, cy - 0.22 * h);
    head.cubicTo(cx + 0.12 * w, cy - 0.21 * h, cx + 0.24 * w, cy - 0.06 * h, cx + 0.2 * w, cy + 0.18 * h);
    head.cubicTo(cx + 0.14 * w, cy + 0.31 * h, cx - 0.14 * w, cy + 0.31 * h, cx - 0.2 * w, cy + 0.18 * h);
    head.closeSubpath();
    painter.drawPath(head);

    setStroke(painter, ink, 5.2);
    for (int k = 0; k <= 3; ++k) {
        QPainterPath drape;
        drape.moveTo(0.12 * w, (0.14 + 0.05 * k) * h);
        drape.cubicTo(0.36 * w, (0.26 - 0.03 * k) * h, 0.64 * w, (0.06 + 0.04 * k) * h, 0.88 * w,
                      (0.16 + 0.045 * k) * h);
        painter.drawPath(drape);
    }

    setStroke(painter, ink, 1.8);
    QPainterPath browAndNose;
    browAndNose.moveTo(cx - 0.14 * w, cy + 0.08 * h);
    browAndNose.quadTo(cx - 0.08 * w, cy + 0.13 * h, cx - 0.02 * w, cy + 0.09 * h);
    browAndNose.lineTo(cx - 0.04 * w, cy - 0.04 * h);
    browAndNose.quadTo(cx - 0.01 * w, cy - 0.06 * h, cx + 0.03 * w, cy - 0.05 * h);
    painter.drawPath(browAndNose);

    QPainterPath rightBrow;
    rightBrow.moveTo(cx + 0.03 * w, cy + 0.09 * h);
    rightBrow.quadTo(cx + 0.09 * w, cy + 0.13 * h, cx + 0.15 * w, cy + 0.07 * h);
    painter.drawPath(rightBrow);

    for (double side : {-1.0, 1.0}) {
        const double ex = cx + side * 0.085 * w;
        painter.drawEllipse(QRectF(ex - 0.04 * w, cy + 0.029 * h, 0.08 * w, 0.032 * h));
        painter.drawEllipse(QRectF(ex - 0.012 * w, cy + 0.045 * h - 0.012 * w, 0.024 * w, 0.024 * w));
    }

    QPainterPath mouth;
    mouth.moveTo(cx - 0.065 * w, cy - 0.11 * h);
    mouth.cubicTo(cx - 0.02 * w, cy - 0.13 * h, cx + 0.02 * w, cy - 0.13 * h, cx + 0.065 * w, cy - 0.11 * h);
    painter.drawPath(mouth);

    for (int k = 0; k <= 13; ++k) {
        const double t = k / 13.0;
        const double sx = cx - 0.28 * w + 0.56 * w * t;
        const double sy = cy + 0.2 * h + 0.12 * h * std::sin(std::numbers::pi * t);
        QPainterPath strand;
        strand.moveTo(sx, sy);
        strand.cubicTo(sx - 0.06 * w, sy + 0.07 * h, sx + 0.08 * w, sy + 0.12 * h, sx + (t - 0.5) * 0.22 * w,
                       cy + 0.36 * h);
        painter.drawPath(strand);
    }

    for (int k = 0; k <= 7; ++k) {
        QPainterPath shade;
        shade.moveTo(cx - 0.17 * w, cy - 0.02 * h - 8 * k);
        shade.lineTo(cx - 0.09 * w, cy - 0.08 * h - 6.4 * k);
        painter.drawPath(shade);
    }
}

void drawStagePerspective(QPainter& painter, double w, double h) {
    const QColor ink = colorOf(0.05, 0.05, 0.07);
    const double c = 0.5 * w;

    setStroke(painter, ink, 6.0);
    painter.drawRect(QRectF(0.1 * w, 0.12 * h, 0.8 * w, 0.76 * h));
    painter.drawRect(QRectF(0.24 * w, 0.32 * h, 0.52 * w, 0.42 * h));

    setStroke(painter, ink, 1.8);
    QPainterPath floor;
    for (int i = 1; i <= 9; ++i) {
        const double x = 0.1 * w * i;
        floor.moveTo(x, 0.12 * h);
        floor.lineTo(c + (x - c) * 0.35, 0.32 * h);
    }
    for (int k = 1; k <= 6; ++k) {
        const double f = std::pow(k / 6.0, 1.4);
        const double y = 0.32 * h - 0.2 * h * f;
        floor.moveTo(0.1 * w + 0.14 * w * (1 - f), y);
        floor.lineTo(0.9 * w - 0.14 * w * (1 - f), y);
    }
    painter.drawPath(floor);

    setStroke(painter, ink, 3.6);
    for (double radius : {0.14 * w, 0.22 * w, 0.30 * w}) {
        // The upper half from angle 0 to π; the negative sweep turns counter-clockwise in y-up space.
        QPainterPath arch;
        arch.moveTo(c + radius, 0.58 * h);
        arch.arcTo(QRectF(c - radius, 0.58 * h - radius, 2 * radius, 2 * radius), 0, -180);
        painter.drawPath(arch);
    }
}

void drawVariablePensAndHatching(QPainter& painter, double w, double h) {
    const QColor ink = colorOf(0.04, 0.04, 0.06);
    constexpr double widths[] = {1.5, 3.2, 5.5, 8.5};
    constexpr double bases[] = {0.18, 0.36, 0.54, 0.72};
    for (int band = 0; band < 4; ++band) {
        setStroke(painter, ink, widths[band]);
        for (int line = 0; line < 3; ++line) {
            const double y = bases[band] * h + 18.0 * line;
            QPainterPath wave;
            wave.moveTo(0.1 * w, y);
            wave.cubicTo(0.35 * w, y + 42, 0.65 * w, y - 42, 0.9 * w, y);
            painter.drawPath(wave);
        }
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    painter.drawEllipse(QRectF(0.4 * w, 0.78 * h, 0.2 * w, 0.14 * w));
}

void drawGuillocheRosette(QPainter& painter, double w, double h) {
    const QColor ink = colorOf(0.05, 0.05, 0.07);
    const double cx = 0.5 * w;
    const double cy = 0.5 * h;
    const double r = 0.4 * std::min(w, h);

    setStroke(painter, ink, 5.0);
    for (double radius : {r, 0.52 * r}) painter.drawEllipse(QRectF(cx - radius, cy - radius, 2 * radius, 2 * radius));

    // Hypotrochoid with R : q = 11 : 3, closing on itself after three turns.
    setStroke(painter, ink, 1.6);
    const double bigRadius = 0.74 * r;
    const double q = bigRadius * 3 / 11;
    const double d = 0.42 * bigRadius;
    const double a = bigRadius - q;
    const double k = a / q;
    QPainterPath curve;
    for (int i = 0; i <= 720; ++i) {
        const double theta = (i / 720.0) * (6 * std::numbers::pi);
        const double x = cx + a * std::cos(theta) + d * std::cos(k * theta);
        const double y = cy + a * std::sin(theta) - d * std::sin(k * theta);
        if (i == 0) {
            curve.moveTo(x, y);
        } else {
            curve.lineTo(x, y);
        }
    }
    painter.drawPath(curve);
}

}  // namespace

RasterImage generate(SyntheticPreset preset, int width, int height) {
    if (width < 1 || height < 1 || std::int64_t{width} * height > kMaxPixelCount) return {};
    const std::size_t pixelCount = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);

    // RGBA bytes in memory order, alpha premultiplied and last; every byte starts at 255.
    QImage bitmap(width, height, QImage::Format_RGBA8888_Premultiplied);
    if (bitmap.isNull()) return {width, height, PixelBuffer<float>(pixelCount, 255.0f)};
    bitmap.fill(QColor(255, 255, 255, 255));

    {
        QPainter painter(&bitmap);
        if (!painter.isActive()) return {width, height, PixelBuffer<float>(pixelCount, 255.0f)};
        painter.setRenderHint(QPainter::Antialiasing, true);
        const double w = width;
        const double h = height;
        painter.fillRect(QRectF(0, 0, w, h), colorOf(0.98, 0.98, 0.97));
        // Scene space: origin at the bottom-left corner, y up; row 0 of the bitmap is the top.
        painter.translate(0, h);
        painter.scale(1, -1);
        switch (preset) {
            case SyntheticPreset::portrait:
                drawCalligraphicPortrait(painter, w, h);
                break;
            case SyntheticPreset::stageArch:
                drawStagePerspective(painter, w, h);
                break;
            case SyntheticPreset::hatching:
                drawVariablePensAndHatching(painter, w, h);
                break;
            case SyntheticPreset::rosette:
                drawGuillocheRosette(painter, w, h);
                break;
        }
    }

    // luma[y * width + x] from the 8-bit channels, in 32-bit floats; alpha is not used.
    PixelBuffer<float> luma(pixelCount);
    std::size_t index = 0;
    for (int y = 0; y < height; ++y) {
        const uchar* row = bitmap.constScanLine(y);
        for (int x = 0; x < width; ++x, ++index) {
            const uchar* pixel = row + 4 * static_cast<std::size_t>(x);
            luma[index] = 0.299f * static_cast<float>(pixel[0]) + 0.587f * static_cast<float>(pixel[1]) +
                          0.114f * static_cast<float>(pixel[2]);
        }
    }
    return {width, height, std::move(luma)};
}

}  // namespace SyntheticDrawing

}  // namespace ostrel
