#include "app/ui/TextRoom.h"

#include <QFontMetricsF>

#include <algorithm>

namespace ostrel {

FittedLine fitOneLine(QFont font, const QString& text, double width, double minimumScale) {
    const double natural = QFontMetricsF(font).horizontalAdvance(text);
    if (natural > width && natural > 0 && minimumScale < 1.0) {
        const double scale = std::max(minimumScale, width / natural);
        font.setPointSizeF(font.pointSizeF() * scale);
    }
    const QFontMetricsF metrics(font);
    // Half a pixel of slack: a text as wide as its box is drawn whole.
    if (metrics.horizontalAdvance(text) <= width + 0.5) return {font, text, false};
    return {font, metrics.elidedText(text, Qt::ElideRight, width), true};
}

}  // namespace ostrel
