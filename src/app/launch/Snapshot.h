// Offscreen pictures of the window and its sheets as PNG bytes, and the `--snapshot` command.
//
// Widgets are rendered with QWidget::grab() without being shown; the program runs on Qt's offscreen
// platform for these modes when no platform is set, so no display is needed.
#pragma once

#include <QSize>

#include <cstdio>
#include <optional>
#include <string>

class QWidget;

namespace ostrel::Snapshot {

/// `widget` laid out at `size` (logical pixels), its posted events delivered, drawn and encoded as
/// PNG. None when a side is not larger than 1 pixel or encoding fails.
[[nodiscard]] std::optional<std::string> renderWidgetPNG(QWidget& widget, QSize size);

/// The end of the `--snapshot` command: "snapshot error: failed to render PNG" without bytes;
/// otherwise the folders of `outputPath` (leading "~" expanded) are made and the file written by a
/// rename, then "Snapshot written to <path> (<n> bytes)". Returns the exit status (0 or 1).
int writeSnapshot(const std::optional<std::string>& png, const std::string& outputPath, std::FILE* out,
                  std::FILE* err);

}  // namespace ostrel::Snapshot
