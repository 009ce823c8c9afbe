// The canvas's layout and its edit tools. Their raw values are also the view names of the
// snapshot option and the remote interfaces; a raw value not listed gives none (exact match).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

enum class CanvasViewMode {
    sideBySide,  // "split": bitmap pane and vector pane side by side
    overlay,     // "overlay": the bitmap at bitmapOpacity under the vectors at vectorOpacity
    vectorOnly,  // "vector": the vector pane alone
};

enum class CanvasEditTool { pan, select, erase, draw };

inline constexpr std::array<CanvasViewMode, 3> kAllCanvasViewModes{CanvasViewMode::sideBySide, CanvasViewMode::overlay,
                                                                   CanvasViewMode::vectorOnly};
inline constexpr std::array<CanvasEditTool, 4> kAllCanvasEditTools{CanvasEditTool::pan, CanvasEditTool::select,
                                                                   CanvasEditTool::erase, CanvasEditTool::draw};

[[nodiscard]] std::string_view rawValue(CanvasViewMode mode) noexcept;
[[nodiscard]] std::string_view rawValue(CanvasEditTool tool) noexcept;
[[nodiscard]] std::optional<CanvasViewMode> canvasViewModeFromRaw(std::string_view text) noexcept;
[[nodiscard]] std::optional<CanvasEditTool> canvasEditToolFromRaw(std::string_view text) noexcept;

/// The one-line hint the canvas shows for the active tool, in the interface language.
[[nodiscard]] std::string helpText(CanvasEditTool tool);

}  // namespace ostrel
