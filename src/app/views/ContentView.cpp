#include "app/views/ContentView.h"

#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"
#include "app/ui/ScanProgressBar.h"
#include "app/views/bars/StatusBar.h"
#include "app/views/bars/TopBar.h"
#include "app/views/canvas/CanvasEditingController.h"
#include "app/views/canvas/CanvasViewportView.h"
#include "app/views/sheets/AboutSheet.h"
#include "app/views/sheets/ExportSheet.h"
#include "app/views/sheets/HelpManualSheet.h"
#include "app/views/sheets/OSCGuideSheet.h"
#include "app/views/sheets/ShortcutsSheet.h"
#include "app/views/sheets/UpdateSheet.h"
#include "app/views/sidebar/ParameterSidebarView.h"
#include "core/model/Localization.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QDragEnterEvent>
#include <QHBoxLayout>
#include <QImage>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>

namespace ostrel {

namespace {

QWidget* separator(QWidget* parent, Qt::Orientation orientation) {
    auto* line = new QWidget(parent);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, Theme::separator());
    line->setPalette(palette);
    if (orientation == Qt::Horizontal) {
        line->setFixedHeight(1);
    } else {
        line->setFixedWidth(1);
    }
    return line;
}

/// The first local file among the addresses of a drop, if any.
std::optional<std::filesystem::path> firstLocalFile(const QMimeData& data) {
    if (!data.hasUrls()) return std::nullopt;
    for (const QUrl& url : data.urls()) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty()) {
            return std::filesystem::path(url.toLocalFile().toStdString());
        }
    }
    return std::nullopt;
}

bool isDroppable(const QMimeData* data) {
    return data != nullptr && (firstLocalFile(*data).has_value() || data->hasImage());
}

}  // namespace

ContentView::ContentView(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    setAcceptDrops(true);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Theme::background());
    setPalette(palette);
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    build();

    VectorizerController& document = model_.vectorizer();
    connect(&document, &VectorizerController::progressChanged, this,
            [this] { progress_->setFraction(model_.vectorizer().progressFraction()); });
    connect(&document, &VectorizerController::processingChanged, this,
            [this] { progress_->setActive(model_.vectorizer().isProcessing()); });
    connect(&model_, &AppModel::languageChanged, this, [this] {
        clear();
        build();
        // The sheets that hold no model follow the language through Qt's own event.
        for (const Sheet sheet : {Sheet::help, Sheet::shortcuts}) {
            if (QDialog* dialog = sheetDialog(sheet)) {
                QEvent change(QEvent::LanguageChange);
                QCoreApplication::sendEvent(dialog, &change);
            }
        }
        // Texts in another language take another height; the sheets with the model rebuild after
        // this slot, so the dialogs are fitted on the next turn.
        QTimer::singleShot(0, this, [this] {
            for (const QPointer<QDialog>& dialog : sheets_) {
                if (dialog.isNull()) continue;
                if (QWidget* content = dialog->findChild<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
                    fitSheetDialog(*dialog, *content);
                }
            }
        });
    });
    connect(&model_, &AppModel::showSidebarChanged, this, &ContentView::showSidebarIfWanted);
    connect(&model_, &AppModel::showAboutChanged, this, [this] { syncSheet(Sheet::about); });
    connect(&model_, &AppModel::showHelpChanged, this, [this] { syncSheet(Sheet::help); });
    connect(&model_, &AppModel::showShortcutsChanged, this, [this] { syncSheet(Sheet::shortcuts); });
    connect(&model_, &AppModel::showOSCGuideChanged, this, [this] { syncSheet(Sheet::oscGuide); });
    connect(&model_, &AppModel::showExportChanged, this, [this] { syncSheet(Sheet::exportFile); });
    connect(&model_, &AppModel::showUpdaterChanged, this, [this] { syncSheet(Sheet::updater); });
}

ContentView::~ContentView() {
    for (QPointer<QDialog>& dialog : sheets_) delete dialog.data();
}

void ContentView::build() {
    const VectorizerController& document = model_.vectorizer();
    layout_->addWidget(new TopBar(model_, this));
    progress_ = new ScanProgressBar(document.progressFraction(), document.isProcessing(), this);
    layout_->addWidget(progress_);
    layout_->addWidget(separator(this, Qt::Horizontal));

    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    sidebar_ = new ParameterSidebarView(model_, this);
    sidebar_->setFixedWidth(ParameterSidebarView::sidebarWidth);
    sidebarSeparator_ = separator(this, Qt::Vertical);
    canvas_ = new CanvasViewportView(model_, this);
    new CanvasEditingController(model_, *canvas_);  // a child of the canvas
    canvas_->setDropTargeted(dropTargeted_);
    row->addWidget(sidebar_);
    row->addWidget(sidebarSeparator_);
    row->addWidget(canvas_, 1);
    layout_->addLayout(row, 1);
    layout_->addWidget(new StatusBar(model_, this));
    showSidebarIfWanted();
}

void ContentView::clear() {
    while (QLayoutItem* item = layout_->takeAt(0)) {
        if (QLayout* inner = item->layout()) {
            while (QLayoutItem* innerItem = inner->takeAt(0)) {
                delete innerItem->widget();
                delete innerItem;
            }
        }
        delete item->widget();
        delete item;
    }
    progress_ = nullptr;
    sidebar_ = nullptr;
    sidebarSeparator_ = nullptr;
    canvas_ = nullptr;
}

void ContentView::showSidebarIfWanted() {
    const bool shown = model_.showSidebar();
    sidebar_->setVisible(shown);
    sidebarSeparator_->setVisible(shown);
}

// Drops -------------------------------------------------------------------------------------------

bool ContentView::handleDrop(const QMimeData& data) {
    if (auto file = firstLocalFile(data)) {
        // Loaded from the event loop, so the drop itself returns at once.
        QTimer::singleShot(0, this, [this, path = std::move(*file)] { model_.open(path); });
        return true;
    }
    if (data.hasImage()) {
        const QImage image = qvariant_cast<QImage>(data.imageData());
        if (image.isNull()) return false;
        QTimer::singleShot(0, this, [this, image] {
            model_.vectorizer().loadImage(image, L("Image déposée", "Dropped Image"), false);
            model_.clearSelection();
            model_.resetZoom(false);
        });
        return true;
    }
    return false;
}

void ContentView::setDropTargeted(bool targeted) {
    dropTargeted_ = targeted;
    if (canvas_ != nullptr) canvas_->setDropTargeted(targeted);
}

void ContentView::dragEnterEvent(QDragEnterEvent* event) {
    if (!isDroppable(event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    setDropTargeted(true);
}

void ContentView::dragMoveEvent(QDragMoveEvent* event) {
    if (isDroppable(event->mimeData())) event->acceptProposedAction();
}

void ContentView::dragLeaveEvent(QDragLeaveEvent*) { setDropTargeted(false); }

void ContentView::dropEvent(QDropEvent* event) {
    setDropTargeted(false);
    if (event->mimeData() != nullptr && handleDrop(*event->mimeData())) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

// Sheets ------------------------------------------------------------------------------------------

bool ContentView::sheetFlag(Sheet sheet) const {
    switch (sheet) {
        case Sheet::about:
            return model_.showAbout();
        case Sheet::help:
            return model_.showHelp();
        case Sheet::shortcuts:
            return model_.showShortcuts();
        case Sheet::oscGuide:
            return model_.showOSCGuide();
        case Sheet::exportFile:
            return model_.showExport();
        case Sheet::updater:
            return model_.showUpdater();
    }
    return false;
}

void ContentView::setSheetFlag(Sheet sheet, bool shown) {
    switch (sheet) {
        case Sheet::about:
            model_.setShowAbout(shown);
            break;
        case Sheet::help:
            model_.setShowHelp(shown);
            break;
        case Sheet::shortcuts:
            model_.setShowShortcuts(shown);
            break;
        case Sheet::oscGuide:
            model_.setShowOSCGuide(shown);
            break;
        case Sheet::exportFile:
            model_.setShowExport(shown);
            break;
        case Sheet::updater:
            model_.setShowUpdater(shown);
            break;
    }
}

QWidget* ContentView::makeSheetContent(Sheet sheet) {
    switch (sheet) {
        case Sheet::about:
            return new AboutSheet(
                model_, [this] { model_.setShowHelp(true); }, [this] { model_.setShowAbout(false); });
        case Sheet::help:
            return new HelpManualSheet([this] { model_.setShowShortcuts(true); },
                                       [this] { model_.setShowHelp(false); });
        case Sheet::shortcuts:
            return new ShortcutsSheet([this] { model_.setShowShortcuts(false); });
        case Sheet::oscGuide:
            return new OSCGuideSheet(model_, [this] { model_.setShowOSCGuide(false); });
        case Sheet::exportFile:
            return new ExportSheet(model_);
        case Sheet::updater:
            return new UpdateSheet(model_, [this] { model_.setShowUpdater(false); });
    }
    return nullptr;
}

QDialog* ContentView::sheetDialog(Sheet sheet) const { return sheets_[static_cast<std::size_t>(sheet)].data(); }

void ContentView::fitSheetDialog(QDialog& dialog, QWidget& content) {
    QSize size = content.sizeHint().expandedTo(content.minimumSize());
    // Sheets of wrapping text are as tall as their text needs at their width.
    if (content.hasHeightForWidth())
        size.setHeight(std::max(content.heightForWidth(size.width()), content.minimumHeight()));
    dialog.setFixedSize(size);
}

// A sheet's dialog exists exactly while its flag is set: made when the flag turns true, destroyed
// when it turns false; however the dialog ends (its own close button, Escape, the window manager),
// the flag is cleared.
void ContentView::syncSheet(Sheet sheet) {
    QPointer<QDialog>& dialog = sheets_[static_cast<std::size_t>(sheet)];
    const bool wanted = sheetFlag(sheet);
    if (wanted && dialog.isNull()) {
        auto* created = new QDialog(window(), Qt::Sheet | Qt::Dialog);
        created->setWindowModality(Qt::WindowModal);
        created->setWindowTitle(QStringLiteral("Ostrel"));
        auto* box = new QVBoxLayout(created);
        box->setContentsMargins(0, 0, 0, 0);
        QWidget* content = makeSheetContent(sheet);
        content->setParent(created);
        box->addWidget(content);
        fitSheetDialog(*created, *content);
        connect(created, &QDialog::finished, this, [this, sheet] {
            if (sheetFlag(sheet)) setSheetFlag(sheet, false);
        });
        dialog = created;
        created->open();
    } else if (!wanted && !dialog.isNull()) {
        QDialog* closing = dialog.data();
        dialog.clear();
        closing->hide();
        closing->deleteLater();
    }
}

}  // namespace ostrel
