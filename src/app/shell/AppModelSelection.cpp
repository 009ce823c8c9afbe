// The selection commands and the window's single-key shortcuts of the application model.
//
// A command checks its precondition on the selection, makes one edit of the document controller
// (which records the undo step and commits), then assigns the selection (set, then vertex) and
// flashes last. A confirmation is shown only when the document really changed: stale ids or an
// unknown pen leave the document as it was and show nothing.
#include "app/shell/AppModel.h"

#include <fmt/format.h>

namespace ostrel {

namespace {

/// The current layers, to tell afterwards whether an edit changed anything.
std::optional<std::vector<PenLayer>> layersOf(const VectorizerController& document) {
    if (!document.result()) return std::nullopt;
    return document.result()->layers;
}

bool layersChanged(const std::optional<std::vector<PenLayer>>& before, const VectorizerController& document) {
    const auto& result = document.result();
    if (!before || !result) return before.has_value() != result.has_value();
    return *before != result->layers;
}

std::string deleteMessage(int count) {
    const char* plural = count == 1 ? "" : "s";
    return L(fmt::format("{} trait{} supprimé{} (Ctrl+Z pour annuler)", count, plural, plural),
             fmt::format("{} stroke{} deleted (Ctrl+Z to undo)", count, plural));
}

}  // namespace

void AppModel::deleteSelectedPaths() {
    if (selectedPathIDs_.empty()) return;
    const int removed = vectorizer_->applyEdit(StrokeEdits::Delete{selectedPathIDs_}).removedCount;
    setSelectedPathIDs({});
    setSelectedVertex(std::nullopt);
    if (removed > 0) flash(deleteMessage(removed));
}

void AppModel::clearSelection() {
    setSelectedPathIDs({});
    setSelectedVertex(std::nullopt);
}

void AppModel::selectAllPaths() {
    const auto& result = vectorizer_->result();
    if (!result) return;
    std::set<std::int64_t> ids;
    for (const PenLayer& layer : result->layers) {
        if (!layer.visible) continue;
        for (const VectorPath& path : layer.paths) ids.insert(path.id);
    }
    setSelectedPathIDs(std::move(ids));
    setSelectedVertex(std::nullopt);
}

void AppModel::assignSelectedToPen(std::int64_t penIndex) {
    if (selectedPathIDs_.empty()) return;
    const auto before = layersOf(*vectorizer_);
    vectorizer_->applyEdit(StrokeEdits::AssignToPen{selectedPathIDs_, penIndex});
    if (!layersChanged(before, *vectorizer_)) return;
    const std::int64_t pen = penIndex + 1;
    flash(L(fmt::format("Affecté au Stylo {}", pen), fmt::format("Assigned to Pen {}", pen)));
}

void AppModel::simplifySelectedPaths() {
    if (selectedPathIDs_.empty()) return;
    const auto before = layersOf(*vectorizer_);
    vectorizer_->applyEdit(StrokeEdits::Simplify{selectedPathIDs_});
    if (!layersChanged(before, *vectorizer_)) return;
    flash(L("Traits sélectionnés simplifiés", "Selected strokes simplified"));
}

void AppModel::reverseSelectedPaths() {
    if (selectedPathIDs_.empty()) return;
    const auto before = layersOf(*vectorizer_);
    vectorizer_->applyEdit(StrokeEdits::Reverse{selectedPathIDs_});
    if (!layersChanged(before, *vectorizer_)) return;
    flash(L("Sens de tracé inversé", "Stroke direction reversed"));
}

void AppModel::joinSelectedPaths() {
    if (selectedPathIDs_.size() < 2) return;
    const std::vector<std::int64_t> joined = vectorizer_->applyEdit(StrokeEdits::Join{selectedPathIDs_}).newPathIDs;
    if (joined.empty()) return;
    setSelectedPathIDs({joined.front()});
    setSelectedVertex(std::nullopt);
    flash(L("Traits reliés en un seul chemin", "Strokes joined into a single path"));
}

void AppModel::splitAtSelectedVertex() {
    if (!selectedVertex_) return;
    const std::vector<std::int64_t> halves =
        vectorizer_->applyEdit(StrokeEdits::Split{selectedVertex_->pathID, selectedVertex_->index}).newPathIDs;
    if (halves.size() != 2) return;
    setSelectedPathIDs({halves[0], halves[1]});
    setSelectedVertex(std::nullopt);
    flash(L("Trait scindé en deux", "Stroke split in two"));
}

void AppModel::undoEdit() {
    if (vectorizer_->undoStack().empty()) return;
    vectorizer_->undo();
    clearSelection();
    flash(L("Modification annulée", "Edit undone"));
}

void AppModel::redoEdit() {
    if (vectorizer_->redoStack().empty()) return;
    vectorizer_->redo();
    clearSelection();
    flash(L("Modification rétablie", "Edit redone"));
}

// Window keys. Only plain keys count: any of Shift, Control, Alt, Meta (or a group switch) passes
// the key on, so every menu shortcut reaches the menus; the keypad flag does not, and Caps Lock is
// no modifier. Keys are compared by key code, so Caps Lock does not change a letter.
namespace {
enum class WindowKeyAction {
    none,
    deleteSelection,
    clearSelection,
    resetZoom,
    toggleBlackOnWhite,
    pan,
    select,
    erase,
    draw
};

WindowKeyAction windowKeyAction(const AppModel& model, int key, Qt::KeyboardModifiers modifiers) {
    if ((modifiers & ~Qt::KeyboardModifiers(Qt::KeypadModifier)) != Qt::NoModifier) return WindowKeyAction::none;
    if (model.hasOpenSheet()) return WindowKeyAction::none;
    switch (key) {
        case Qt::Key_Delete:
        case Qt::Key_Backspace:
            return model.selectedPathIDs().empty() ? WindowKeyAction::none : WindowKeyAction::deleteSelection;
        case Qt::Key_Escape:
            return model.selectedPathIDs().empty() && !model.selectedVertex() ? WindowKeyAction::none
                                                                              : WindowKeyAction::clearSelection;
        case Qt::Key_Z:
            return WindowKeyAction::resetZoom;
        case Qt::Key_B:
            return WindowKeyAction::toggleBlackOnWhite;
        case Qt::Key_H:
            return WindowKeyAction::pan;
        case Qt::Key_V:
            return WindowKeyAction::select;
        case Qt::Key_E:
            return WindowKeyAction::erase;
        case Qt::Key_P:
            return WindowKeyAction::draw;
        default:
            return WindowKeyAction::none;
    }
}
}  // namespace

bool AppModel::wouldHandleWindowKey(int key, Qt::KeyboardModifiers modifiers) const {
    return windowKeyAction(*this, key, modifiers) != WindowKeyAction::none;
}

bool AppModel::handleWindowKey(int key, Qt::KeyboardModifiers modifiers) {
    switch (windowKeyAction(*this, key, modifiers)) {
        case WindowKeyAction::none:
            return false;
        case WindowKeyAction::deleteSelection:
            deleteSelectedPaths();
            break;
        case WindowKeyAction::clearSelection:
            clearSelection();
            break;
        case WindowKeyAction::resetZoom:
            resetZoom(true);
            break;
        case WindowKeyAction::toggleBlackOnWhite:
            setBlackOnWhitePreview(!blackOnWhitePreview_);
            break;
        case WindowKeyAction::pan:
            setEditTool(CanvasEditTool::pan);
            break;
        case WindowKeyAction::select:
            setEditTool(CanvasEditTool::select);
            break;
        case WindowKeyAction::erase:
            setEditTool(CanvasEditTool::erase);
            break;
        case WindowKeyAction::draw:
            setEditTool(CanvasEditTool::draw);
            break;
    }
    return true;
}

}  // namespace ostrel
