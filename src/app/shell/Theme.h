// The window's one dark look: seventeen named colours, the four on-screen pen colours and the
// Fusion palette built from them. Views and controls take their colours from here by name, often
// with an opacity, never from colour values of their own.
#pragma once

#include <QColor>
#include <QPalette>

#include <array>
#include <cstdint>

class QApplication;

namespace ostrel::Theme {

// Opaque sRGB colours (components are the bytes / 255), except gridMinor.
[[nodiscard]] QColor background();    // #111317 window and canvas; text on accent or danger fills
[[nodiscard]] QColor panel();         // #16191E sidebar, sheets, status bar, floating bars
[[nodiscard]] QColor lane();          // #181B21 cards and rows inside panels
[[nodiscard]] QColor laneSelected();  // #1F2530 the selected card or row
[[nodiscard]] QColor header();        // #14171C top bar and pane header strips
[[nodiscard]] QColor separator();     // #0B0C0F hairline dividers
[[nodiscard]] QColor gridMinor();     // white at alpha 0.035: canvas grid lines
[[nodiscard]] QColor text();          // #E6E8EC primary text and symbols
[[nodiscard]] QColor textDim();       // #8A919E labels, captions
[[nodiscard]] QColor textFaint();     // #565D6A section titles, disabled controls
[[nodiscard]] QColor accent();        // #FFB454 default fill, progress, highlights; pen 1
[[nodiscard]] QColor alive();         // #9ECE6A running or healthy; pen 4
[[nodiscard]] QColor standby();       // #7AA2F7 standby or idle
[[nodiscard]] QColor tcp();           // #5CE1E6 HTTP marks, canvas selection; pen 2
[[nodiscard]] QColor osc();           // #C792EA OSC marks; pen 3
[[nodiscard]] QColor warning();       // #F2D96B warnings
[[nodiscard]] QColor danger();        // #FF5C57 destructive actions, errors, the eraser

/// `accent`, `tcp`, `osc`, `alive`: the on-screen colours of pens 1 to 4, the same as the default
/// pen colour strings of the exported files.
[[nodiscard]] const std::array<QColor, 4>& penColors();

/// The colour of pen layer `index`: entry (max(index, 0) mod 4).
[[nodiscard]] QColor penColor(std::int64_t index) noexcept;

/// `color` with its alpha multiplied by `opacity` (0…1).
[[nodiscard]] QColor withOpacity(QColor color, double opacity);

/// The dark palette of every window, disabled texts in `textFaint`.
[[nodiscard]] QPalette darkPalette();

/// Fusion style and the dark palette for the whole application; call before the first window shows.
void applyDarkAppearance(QApplication& application);

}  // namespace ostrel::Theme
