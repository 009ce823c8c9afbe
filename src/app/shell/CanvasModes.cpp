#include "app/shell/CanvasModes.h"

#include "app/shell/KeyNames.h"
#include "core/model/Localization.h"

namespace ostrel {

std::string_view rawValue(CanvasViewMode mode) noexcept {
    switch (mode) {
        case CanvasViewMode::sideBySide:
            return "split";
        case CanvasViewMode::overlay:
            return "overlay";
        case CanvasViewMode::vectorOnly:
            return "vector";
    }
    return "split";
}

std::string_view rawValue(CanvasEditTool tool) noexcept {
    switch (tool) {
        case CanvasEditTool::pan:
            return "pan";
        case CanvasEditTool::select:
            return "select";
        case CanvasEditTool::erase:
            return "erase";
        case CanvasEditTool::draw:
            return "draw";
    }
    return "select";
}

std::optional<CanvasViewMode> canvasViewModeFromRaw(std::string_view text) noexcept {
    for (CanvasViewMode mode : kAllCanvasViewModes) {
        if (rawValue(mode) == text) return mode;
    }
    return std::nullopt;
}

std::optional<CanvasEditTool> canvasEditToolFromRaw(std::string_view text) noexcept {
    for (CanvasEditTool tool : kAllCanvasEditTools) {
        if (rawValue(tool) == text) return tool;
    }
    return std::nullopt;
}

std::string helpText(CanvasEditTool tool) {
    switch (tool) {
        case CanvasEditTool::pan:
            return L("Déplacer l'image (cliquer-glisser, 2 doigts au trackpad, ou clic milieu/droit)",
                     "Pan canvas (drag, 2-finger trackpad scroll, or middle/right drag)");
        case CanvasEditTool::select:
            return withKeys(L("Sélectionner, déplacer des sommets/traits, changer de stylo ou supprimer",
                              "Select, drag vertices/strokes, change pen layer, or delete"),
                            "Backspace");
        case CanvasEditTool::erase:
            return L("Gomme : cliquer-glisser sur les traits indésirables pour les effacer",
                     "Eraser: click and drag over unwanted strokes to erase them");
        case CanvasEditTool::draw:
            return L("Tracer un nouveau trait à main levée dans le stylo actif",
                     "Draw a new freehand stroke in the active pen layer");
    }
    return {};
}

}  // namespace ostrel
