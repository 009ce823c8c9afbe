#include "app/launch/Snapshot.h"

#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"
#include "app/views/ContentView.h"
#include "app/views/canvas/CanvasViewportView.h"
#include "app/views/sheets/AboutSheet.h"
#include "app/views/sheets/HelpManualSheet.h"
#include "app/views/sheets/OSCGuideSheet.h"
#include "app/views/sheets/PreferencesView.h"
#include "app/views/sheets/ShortcutsSheet.h"
#include "core/support/system/Error.h"
#include "core/support/system/FileWriting.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QLayout>
#include <QPixmap>
#include <QVBoxLayout>

#include <vector>
#include <QWidget>

#include <algorithm>
#include <cctype>
#include <memory>

namespace ostrel::Snapshot {

namespace {

std::string lowercased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return text;
}

bool isOneOf(const std::string& name, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* candidate) { return name == candidate; });
}

/// The sheet a view name asks for, built for `model`, with its content size; none for the window.
struct SheetView {
    std::unique_ptr<QWidget> widget;
    QSize size;
};

std::optional<SheetView> sheetFor(const std::string& name, AppModel& model) {
    const std::optional<QSize> size = sheetSize(name);
    if (!size) return std::nullopt;
    const auto nothing = [] {};
    if (name == "about") return SheetView{std::make_unique<AboutSheet>(model, nothing, nothing), *size};
    if (name == "help") return SheetView{std::make_unique<HelpManualSheet>(nothing, nothing), *size};
    if (name == "shortcuts") return SheetView{std::make_unique<ShortcutsSheet>(nothing), *size};
    if (name == "osc") return SheetView{std::make_unique<OSCGuideSheet>(model, nothing), *size};
    return SheetView{std::make_unique<PreferencesView>(model), *size};
}

/// The set-up of a window view name on a model that already shows its drawing.
void prepareWindowView(const std::string& name, AppModel& model) {
    VectorizerController& document = model.vectorizer();
    if (name == "vision") {
        VectorizerParams params = document.params();
        params.algorithm = VectorAlgorithm::visionContours;
        document.setParams(params, RunSchedule::now());
    } else if (name == "overlay") {
        model.setViewMode(CanvasViewMode::overlay);
    } else if (isOneOf(name, {"vector", "sheet", "axidraw"})) {
        model.setViewMode(CanvasViewMode::vectorOnly);
        model.setShowTravelMoves(true);
    } else if (name == "stage") {
        document.loadPreset(SyntheticPreset::stageArch, true);
    } else if (name == "rosette") {
        document.loadPreset(SyntheticPreset::rosette, true);
    } else if (!isOneOf(name, {"empty", "welcome"})) {
        model.setViewMode(CanvasViewMode::sideBySide);
    }
}

void deliverPostedEvents() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

/// A widget that is never shown never handles the layout requests of its children (a button that
/// gains its title keeps its old width): every layout is recomputed here, parents first, twice so
/// that what a resize changes in a child's hints is laid out too.
void settleLayouts(QWidget& widget) {
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<QWidget*> widgets{&widget};
        for (QWidget* child : widget.findChildren<QWidget*>()) widgets.push_back(child);
        for (QWidget* each : widgets) {
            if (QLayout* layout = each->layout()) {
                layout->invalidate();
                layout->activate();
            }
        }
        deliverPostedEvents();
    }
}

}  // namespace

std::optional<QSize> sheetSize(const std::string& view) {
    const std::string name = lowercased(view);
    if (name == "about") return QSize(650, 470);
    if (name == "help") return QSize(760, 520);
    if (name == "shortcuts") return QSize(820, 340);
    if (isOneOf(name, {"settings", "preferences"})) return QSize(470, 490);
    if (name == "osc") return QSize(760, 480);
    return std::nullopt;
}

std::optional<std::string> renderWidgetPNG(QWidget& widget, QSize size, const std::function<void()>& beforeGrab) {
    if (!(size.width() > 1 && size.height() > 1)) return std::nullopt;
    widget.setAttribute(Qt::WA_DontShowOnScreen, true);
    widget.resize(size);
    widget.ensurePolished();
    if (QLayout* layout = widget.layout()) layout->activate();
    // Deliver what is queued (layout requests, model signals) before drawing; nothing waits on a clock.
    deliverPostedEvents();
    if (beforeGrab) {
        beforeGrab();
        deliverPostedEvents();
    }
    settleLayouts(widget);
    const QImage image = widget.grab(QRect(QPoint(0, 0), size)).toImage();
    if (image.isNull() || image.width() <= 1 || image.height() <= 1) return std::nullopt;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) return std::nullopt;
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::optional<std::string> renderSheetPNG(QWidget& sheet, QSize size) {
    QWidget frame;
    frame.setAutoFillBackground(true);
    QPalette palette = frame.palette();
    palette.setColor(QPalette::Window, Theme::panel());
    frame.setPalette(palette);
    auto* layout = new QVBoxLayout(&frame);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(&sheet, 0, Qt::AlignCenter);
    std::optional<std::string> png = renderWidgetPNG(frame, size);
    layout->removeWidget(&sheet);
    sheet.setParent(nullptr);
    return png;
}

std::optional<std::string> renderOffscreenPNG(AppModel& model, QSize size) {
    ContentView view(model);
    return renderWidgetPNG(view, size, [&view] {
        if (CanvasViewportView* canvas = view.canvas()) canvas->renderPendingNow();
    });
}

int runCLISnapshot(const std::string& outputPath, const std::string& view, std::FILE* out, std::FILE* err) {
    const std::string name = lowercased(view);
    AppModel::Options options;
    options.loadDefaultPreset = !isOneOf(name, {"empty", "welcome"});
    AppModel model(options);
    std::optional<std::string> png;
    if (std::optional<SheetView> sheet = sheetFor(name, model)) {
        png = renderSheetPNG(*sheet->widget, sheet->size);
    } else {
        prepareWindowView(name, model);
        png = renderOffscreenPNG(model, kWindowSize);
    }
    return writeSnapshot(png, outputPath, out, err);
}

int writeSnapshot(const std::optional<std::string>& png, const std::string& outputPath, std::FILE* out,
                  std::FILE* err) {
    if (!png) {
        std::fputs("snapshot error: failed to render PNG\n", err);
        return 1;
    }
    const std::string path = expandUserPath(outputPath);
    try {
        writeFileAtomically(path, *png);
    } catch (const Error& error) {
        std::fprintf(err, "snapshot error: %s\n", error.message().c_str());
        return 1;
    }
    std::fprintf(out, "Snapshot written to %s (%zu bytes)\n", path.c_str(), png->size());
    std::fflush(out);
    return 0;
}

}  // namespace ostrel::Snapshot

namespace ostrel {

std::optional<std::string> ModelSnapshotSource::snapshotPNG(const VectorizerController& document,
                                                            const std::string& query) {
    AppModel model(AppModel::Options{});
    if (document.sourceImage() != nullptr) {
        model.vectorizer().copyDocumentFrom(document);
    } else {
        model.vectorizer().loadPreset(SyntheticPreset::portrait, true);
    }
    if (query.find("view=overlay") != std::string::npos) {
        model.setViewMode(CanvasViewMode::overlay);
    } else if (query.find("view=vector") != std::string::npos) {
        model.setViewMode(CanvasViewMode::vectorOnly);
    } else {
        model.setViewMode(CanvasViewMode::sideBySide);
    }
    return Snapshot::renderOffscreenPNG(model, Snapshot::kWindowSize);
}

}  // namespace ostrel
