// The window's fonts, loaded once from their installed files: Inter for text, JetBrains Mono for
// read-outs whose digits must not jitter, and the Material Icons font for symbols (DejaVu when a
// file is missing). Sizes are the design's logical points: a font of N points is N × 72 / 96 Qt
// points, so it renders as large as the design's N at 96 dpi.
#pragma once

#include <QFont>
#include <QString>

namespace ostrel::UIFonts {

/// Registers the font files with Qt (first call only); main thread.
void ensureLoaded();

/// Inter at `points` design points and `weight`.
[[nodiscard]] QFont text(double points, QFont::Weight weight = QFont::Normal);
/// JetBrains Mono at `points` design points and `weight`.
[[nodiscard]] QFont mono(double points, QFont::Weight weight = QFont::Normal);
/// The symbol font at `points` design points.
[[nodiscard]] QFont symbols(double points);

/// The family the symbol font was registered under; empty when its file is missing.
[[nodiscard]] QString symbolFamily();

}  // namespace ostrel::UIFonts
