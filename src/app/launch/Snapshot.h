// Offscreen pictures of the window and its sheets as PNG bytes, and the `--snapshot` command.
//
// Widgets are rendered with QWidget::grab() without being shown; the program runs on Qt's offscreen
// platform for these modes when no platform is set, so no display is needed.
#pragma once

#include "app/remote/RemoteControl.h"

#include <QSize>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace ostrel {
class AppModel;
}

namespace ostrel::Snapshot {

/// The main window's content size of every window snapshot.
inline constexpr QSize kWindowSize{1380, 820};

/// The content size of the snapshot of a sheet view ("about", "help", "shortcuts", "settings" or
/// "preferences", "osc"; any case), or none for a view of the window.
[[nodiscard]] std::optional<QSize> sheetSize(const std::string& view);

/// The root view of the window for `model`, laid out at `size` and drawn, as PNG bytes.
[[nodiscard]] std::optional<std::string> renderOffscreenPNG(AppModel& model, QSize size);

/// `widget` laid out at `size` (logical pixels), its posted events delivered, `beforeGrab` called
/// (when given), then drawn and encoded as PNG. None when a side is not larger than 1 pixel or
/// encoding fails.
[[nodiscard]] std::optional<std::string> renderWidgetPNG(QWidget& widget, QSize size,
                                                         const std::function<void()>& beforeGrab = {});

/// A sheet on the panel colour, centred in a frame of exactly `size`, as PNG bytes.
[[nodiscard]] std::optional<std::string> renderSheetPNG(QWidget& sheet, QSize size);

/// `Ostrel --snapshot`: the model and view of `view` (case-insensitive; see the view table in
/// Snapshot.cpp) rendered and written to `outputPath`. Needs the application object; returns the
/// exit status.
int runCLISnapshot(const std::string& outputPath, const std::string& view, std::FILE* out, std::FILE* err);

/// The end of the `--snapshot` command: "snapshot error: failed to render PNG" without bytes;
/// otherwise the folders of `outputPath` (leading "~" expanded) are made and the file written by a
/// rename, then "Snapshot written to <path> (<n> bytes)". Returns the exit status (0 or 1).
int writeSnapshot(const std::optional<std::string>& png, const std::string& outputPath, std::FILE* out, std::FILE* err);

}  // namespace ostrel::Snapshot

namespace ostrel {

/// The picture of the HTTP snapshot route: a fresh model without services shows a copy of the
/// document (or the portrait drawing when the document is empty) in the view the query names.
class ModelSnapshotSource final : public SnapshotSource {
public:
    [[nodiscard]] std::optional<std::string> snapshotPNG(const VectorizerController& document,
                                                         const std::string& query) override;
};

}  // namespace ostrel
