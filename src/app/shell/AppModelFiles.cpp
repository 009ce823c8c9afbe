// The file actions of the application model: open (panel, path, clipboard), copy and save the
// plotter SVG, copy and save an export. Panels and the clipboard are the model's FilePanels and
// Pasteboard. Files are written atomically: a failed write leaves the target as it was.
#include "app/shell/AppModel.h"

#include "core/export/SVGExporter.h"
#include "core/pipeline/SyntheticDrawing.h"
#include "core/support/system/Error.h"
#include "core/support/system/FileWriting.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>

namespace ostrel {

namespace {

QString qText(const std::string& text) { return QString::fromStdString(text); }

std::string upperCase(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return out;
}

}  // namespace

std::string AppModel::saveBaseName() const {
    if (const auto& path = vectorizer_->sourcePath()) {
        const std::string stem = std::filesystem::path(*path).stem().string();
        if (!stem.empty()) return stem;
    }
    if (const auto preset = vectorizer_->activePreset()) return std::string(rawValue(*preset));
    return "vectorized";
}

std::filesystem::path AppModel::panelFolder() const {
    if (const auto& path = vectorizer_->sourcePath()) return std::filesystem::path(*path).parent_path();
    if (!lastPanelFolder_.empty()) return lastPanelFolder_;
    if (!recentURLs_.empty()) return recentURLs_.front().parent_path();
    return {};
}

std::optional<std::filesystem::path> AppModel::chooseSaveLocation(const std::string& title,
                                                                  const std::string& suggestedName,
                                                                  const QStringList& nameFilters,
                                                                  std::string_view extension) {
    auto file =
        panels_->chooseSaveLocation(qText(title), panelFolder(), qText(suggestedName), nameFilters,
                                    QString::fromUtf8(extension.data(), static_cast<qsizetype>(extension.size())));
    if (!file) return std::nullopt;
    // A name typed without an extension gets the format's.
    if (!file->has_extension() && file->has_filename()) *file += "." + std::string(extension);
    lastPanelFolder_ = file->parent_path();
    return file;
}

void AppModel::openImagePanel() {
    const auto file = panels_->chooseFileToOpen(qText(L("Ouvrir un dessin ou une image", "Open Drawing or Image")),
                                                openableImageFilters(), panelFolder());
    if (!file) return;
    lastPanelFolder_ = file->parent_path();
    open(*file);
}

bool AppModel::open(const std::filesystem::path& file) {
    if (!vectorizer_->loadFile(file.string(), false)) return false;  // the document says why
    resetViewAfterLoad();
    recordRecentURL(file);
    return true;
}

void AppModel::resetViewAfterLoad() {
    clearSelection();
    setZoomScale(1.0, ViewAnimation::none);
    setPanOffset({0, 0});
}

void AppModel::pasteImageFromClipboard() {
    // Only local files count as addresses; any other address leaves the image data to be pasted.
    const std::vector<std::filesystem::path> files = pasteboard_->localFiles();
    if (!files.empty()) {
        open(files.front());
        return;
    }
    const QImage image = pasteboard_->image();
    if (image.isNull()) return;
    if (!vectorizer_->loadImage(image, L("Presse-papiers", "Clipboard"), false)) return;  // the status says why
    resetViewAfterLoad();
    flash(L("Image collée depuis le presse-papiers", "Image pasted from clipboard"));
}

void AppModel::copySVGToPasteboard() {
    const auto& result = vectorizer_->result();
    if (!result) return;
    pasteboard_->setText(result->svgAxiDraw);
    const std::int64_t paths = result->metrics.pathCount;
    flash(L(fmt::format("SVG AxiDraw copié dans le presse-papiers ({} chemins)", paths),
            fmt::format("AxiDraw SVG copied to clipboard ({} paths)", paths)));
}

void AppModel::saveSVGPushPanel() {
    if (!vectorizer_->result()) return;
    // What is written is the text of now, whatever happens while the panel is open.
    const std::string svg = vectorizer_->result()->svgAxiDraw;
    const auto file = chooseSaveLocation(L("Enregistrer le SVG pour AxiDraw", "Save AxiDraw SVG"),
                                         saveBaseName() + "-axidraw.svg", {QStringLiteral("SVG (*.svg)")}, "svg");
    if (!file) return;
    if (const auto error = writeText(*file, svg)) {
        flash(L("Erreur d'écriture : " + *error, "Write error: " + *error), FlashKind::error);
        return;
    }
    const std::string name = file->filename().string();
    flash(L("Enregistré : " + name, "Saved: " + name));
}

void AppModel::copyExport() {
    const auto& result = vectorizer_->result();
    if (!result) return;
    pasteboard_->setText(SVGExporter::render(exportFormat_, *result, vectorizer_->params()));
    setShowExport(false);
    const std::string format = upperCase(rawValue(exportFormat_));
    flash(L("Export " + format + " copié dans le presse-papiers", format + " export copied to clipboard"));
}

void AppModel::saveExport() {
    const auto& result = vectorizer_->result();
    if (!result) return;
    const std::string text = SVGExporter::render(exportFormat_, *result, vectorizer_->params());
    const std::string_view extension = fileExtension(exportFormat_);
    const auto file = chooseSaveLocation(L("Exporter le tracé", "Export Plot"),
                                         saveBaseName() + "." + std::string(extension), {}, extension);
    if (!file) return;  // the sheet stays open
    if (const auto error = writeText(*file, text)) {
        flash(L("Erreur : " + *error, "Error: " + *error), FlashKind::error);
        return;
    }
    setShowExport(false);
    const std::string name = file->filename().string();
    flash(L("Exporté : " + name, "Exported: " + name));
}

std::optional<std::string> AppModel::writeText(const std::filesystem::path& file, const std::string& text) {
    try {
        writeRegularFileAtomically(file.string(), text);
        return std::nullopt;
    } catch (const Error& error) {
        return error.message();
    } catch (const std::exception& error) {
        return std::string(error.what());
    }
}

}  // namespace ostrel
