// The one table from the symbol names the views use (the names of the design's system symbols,
// such as "trash" or "plus.magnifyingglass") to glyphs of the Material Icons font, and the drawn
// shapes for the few symbols no glyph fits.
#pragma once

#include <QPainterPath>
#include <QString>

#include <optional>
#include <string_view>
#include <vector>

class QPainter;
class QRectF;
class QColor;

namespace ostrel::Symbols {

/// The glyph of `name` in the symbol font, or none.
[[nodiscard]] std::optional<QString> glyph(std::string_view name);

/// The outline drawn for `name` in a square of side 1 at the origin, when it has one (the eraser).
[[nodiscard]] std::optional<QPainterPath> drawnShape(std::string_view name);

/// Every name the table knows, glyphs and drawn shapes.
[[nodiscard]] std::vector<std::string_view> knownNames();

/// Paints `name` centred in `box` at `points` design points in `color`: the glyph, else the drawn
/// shape, else nothing.
void paint(QPainter& painter, std::string_view name, const QRectF& box, double points, const QColor& color);

}  // namespace ostrel::Symbols
