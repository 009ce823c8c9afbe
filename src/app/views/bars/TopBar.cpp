#include "app/views/bars/TopBar.h"

#include "app/plotter/PlotStart.h"
#include "app/shell/AppModel.h"
#include "app/shell/KeyNames.h"
#include "app/shell/MenuText.h"
#include "app/shell/Theme.h"
#include "app/ui/Chip.h"
#include "app/ui/IconButton.h"
#include "app/ui/Symbols.h"
#include "app/ui/TextButton.h"
#include "app/ui/UIFonts.h"
#include "app/views/bars/BarControls.h"
#include "core/model/Localization.h"
#include "core/pipeline/SyntheticDrawing.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QIcon>
#include <QMenu>
#include <QPixmap>
#include <QPainter>
#include <QSlider>

#include <algorithm>
#include <cmath>
#include <vector>

namespace ostrel {

namespace {

constexpr int kSeparatorHeight = 16;
constexpr int kSliderSteps = 1000;

QString q(const std::string& text) { return QString::fromStdString(text); }
QString q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

/// Keeps every control of `row` at its natural height, centred in the bar.
void centreVertically(QLayout* row) {
    for (int i = 0; i < row->count(); ++i) {
        if (QWidget* widget = row->itemAt(i)->widget()) row->setAlignment(widget, Qt::AlignVCenter);
    }
}

/// A row of `spacing` for a group of the bar.
QHBoxLayout* groupRow(QWidget* group, int spacing) {
    auto* row = new QHBoxLayout(group);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(spacing);
    return row;
}

std::string_view symbolOf(CanvasViewMode mode) {
    switch (mode) {
        case CanvasViewMode::sideBySide:
            return "rectangle.split.2x1";
        case CanvasViewMode::overlay:
            return "square.on.square";
        case CanvasViewMode::vectorOnly:
            return "doc.richtext";
    }
    return {};
}

std::string titleOf(CanvasViewMode mode) {
    switch (mode) {
        case CanvasViewMode::sideBySide:
            return L("Côte à côte", "Side by Side");
        case CanvasViewMode::overlay:
            return L("Superposition", "Overlay");
        case CanvasViewMode::vectorOnly:
            return L("Vecteur seul", "Vector Only");
    }
    return {};
}

std::string_view symbolOf(CanvasEditTool tool) {
    switch (tool) {
        case CanvasEditTool::pan:
            return "hand.draw";
        case CanvasEditTool::select:
            return "cursorarrow.click";
        case CanvasEditTool::erase:
            return "eraser";
        case CanvasEditTool::draw:
            return "pencil.tip";
    }
    return {};
}

std::string titleOf(CanvasEditTool tool) {
    switch (tool) {
        case CanvasEditTool::pan:
            return L("Déplacer", "Pan");
        case CanvasEditTool::select:
            return L("Sélection", "Select");
        case CanvasEditTool::erase:
            return L("Gomme", "Eraser");
        case CanvasEditTool::draw:
            return L("Tracer", "Draw");
    }
    return {};
}

/// A mini slider over 0…1 in `tint`, 48 wide.
QSlider* opacitySlider(QColor tint, QWidget* parent) {
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setRange(0, kSliderSteps);
    slider->setFixedWidth(48);
    slider->setFocusPolicy(Qt::NoFocus);
    slider->setStyleSheet(QStringLiteral("QSlider::groove:horizontal { height: 3px; border-radius: 1px;"
                                         " background: rgba(255, 255, 255, 30); }"
                                         "QSlider::sub-page:horizontal { height: 3px; border-radius: 1px;"
                                         " background: %1; }"
                                         "QSlider::handle:horizontal { width: 10px; margin: -4px 0;"
                                         " border-radius: 5px; background: #E6E8EC; }")
                              .arg(tint.name()));
    return slider;
}

int sliderValue(double opacity) {
    if (!std::isfinite(opacity)) return 0;
    return static_cast<int>(std::lround(std::clamp(opacity, 0.0, 1.0) * kSliderSteps));
}

QLabel* sliderCaption(const QString& text, QColor color, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(UIFonts::mono(10));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

/// A menu item's icon: the symbol drawn in the dim text colour.
QIcon symbolIcon(std::string_view name) {
    QPixmap pixmap(32, 32);
    pixmap.setDevicePixelRatio(2);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    Symbols::paint(painter, name, QRectF(0, 0, 16, 16), 12, Theme::textDim());
    painter.end();
    return QIcon(pixmap);
}

}  // namespace

TopBar::PlotForm TopBar::plotForm(AxiDrawRunState::Kind kind) {
    using Kind = AxiDrawRunState::Kind;
    switch (kind) {
        case Kind::plotting:
        case Kind::framingBoundingBox:
            return {L("Pause", "Pause"), "pause.fill", false, PlotForm::Action::pause};
        case Kind::pausedByUser:
        case Kind::pausedForPenChange:
            return {L("Reprendre", "Resume"), "play.fill", true, PlotForm::Action::resume};
        case Kind::idle:
        case Kind::error:
        case Kind::disconnected:
            break;
    }
    return {L("Tracer", "Plot"), "play.fill", false, PlotForm::Action::plot};
}

TopBar::TopBar(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    setFixedHeight(barHeight);
    build();
    refresh();

    const auto refreshBar = [this] { refresh(); };
    for (auto signal :
         {&AppModel::showSidebarChanged, &AppModel::viewModeChanged, &AppModel::editToolChanged,
          &AppModel::bitmapOpacityChanged, &AppModel::vectorOpacityChanged, &AppModel::blackOnWhitePreviewChanged,
          &AppModel::showControlPointsChanged, &AppModel::showTravelMovesChanged}) {
        connect(&model_, signal, this, refreshBar);
    }
    connect(&model_, &AppModel::showAxiDrawSectionChanged, this, refreshBar);
    connect(&model_, &AppModel::recentURLsChanged, this, &TopBar::rebuildRecentMenu);
    VectorizerController& document = model_.vectorizer();
    for (auto signal : {&VectorizerController::paramsChanged, &VectorizerController::resultChanged,
                        &VectorizerController::undoRedoChanged, &VectorizerController::pendingRunChanged}) {
        connect(&document, signal, this, refreshBar);
    }
    connect(&model_.plotter(), &AxiDrawPlotterController::runStateChanged, this, refreshBar);
}

void TopBar::build() {
    auto* bar = new QHBoxLayout(this);
    bar->setContentsMargins(10, 0, 10, 0);
    bar->setSpacing(6);
    // Items up to the flexible space live in a part that may be narrower than they are.
    leading_ = new QWidget(this);
    leading_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    QHBoxLayout* row = groupRow(leading_, 6);
    bar->addWidget(leading_, 1);

    // Sidebar.
    sidebarButton_ = new IconButton(
        "sidebar.left", q(withKeys(L("Afficher ou masquer les paramètres", "Show or hide parameters"), "Ctrl+Alt+S")),
        false, Theme::accent(), false, this);
    sidebarButton_->setObjectName(QStringLiteral("sidebar"));
    connect(sidebarButton_, &QAbstractButton::clicked, this, [this] { model_.setShowSidebar(!model_.showSidebar()); });
    row->addWidget(sidebarButton_);

    // File group: open, recent files, built-in drawings.
    auto* fileGroup = new QWidget(this);
    QHBoxLayout* fileRow = groupRow(fileGroup, 3);
    auto* open = openButton_ = new TextButton(
        q(L("Ouvrir…", "Open…")), TextButton::Style{"folder", false, false, {}, true, false}, false, fileGroup);
    open->setObjectName(QStringLiteral("open"));
    open->setToolTip(q(withKeys(L("Ouvrir une image bitmap", "Open a bitmap image"), "Ctrl+O")));
    connect(open, &QAbstractButton::clicked, this, [this] { model_.openImagePanel(); });
    fileRow->addWidget(open);

    recentMenu_ = new QMenu(this);
    recentMenu_->setObjectName(QStringLiteral("recentMenu"));
    auto* recent = new MenuFace("clock.arrow.circlepath", QString(), recentMenu_, fileGroup);
    recent->setObjectName(QStringLiteral("recent"));
    recent->setToolTip(q(L("Ouvrir un fichier récent", "Open Recent File")));
    fileRow->addWidget(recent);
    rebuildRecentMenu();

    auto* presetsMenu = new QMenu(this);
    presetsMenu->setObjectName(QStringLiteral("presetsMenu"));
    for (const SyntheticPreset preset : allCases<SyntheticPreset>()) {
        QAction* item = presetsMenu->addAction(symbolIcon(icon(preset)), menuText(label(preset)));
        item->setData(q(rawValue(preset)));
        connect(item, &QAction::triggered, this, [this, preset] {
            // The drawing is generated here, its vectorization runs in the background.
            model_.vectorizer().loadPreset(preset, false);
            model_.clearSelection();
            model_.resetZoom(false);
        });
    }
    auto* presets = new MenuFace("square.grid.2x2", q(L("Modèles", "Presets")), presetsMenu, fileGroup);
    presetsButton_ = presets;
    presets->setObjectName(QStringLiteral("presets"));
    presets->setToolTip(q(L("Charger un dessin de référence intégré", "Load a built-in reference drawing")));
    fileRow->addWidget(presets);
    row->addWidget(fileGroup);
    row->addWidget(makeVerticalDivider(kSeparatorHeight, this));

    // Canvas layout.
    auto* modeGroup = new QWidget(this);
    QHBoxLayout* modeRow = groupRow(modeGroup, 3);
    for (std::size_t i = 0; i < kAllCanvasViewModes.size(); ++i) {
        const CanvasViewMode mode = kAllCanvasViewModes[i];
        auto* button =
            new SegmentButton(SegmentButton::Look::viewMode, std::string(symbolOf(mode)), q(titleOf(mode)), modeGroup);
        button->setObjectName(QStringLiteral("viewMode.") + q(rawValue(mode)));
        connect(button, &QAbstractButton::clicked, this, [this, mode] { model_.setViewMode(mode); });
        modeRow->addWidget(button);
        viewModeButtons_[i] = button;
    }
    row->addWidget(modeGroup);

    // Overlay opacities.
    opacities_ = new QWidget(this);
    opacities_->setObjectName(QStringLiteral("opacities"));
    QHBoxLayout* opacityRow = groupRow(opacities_, 5);
    opacityRow->addWidget(sliderCaption(q(L("Img", "Bmp")), Theme::textDim(), opacities_));
    bitmapSlider_ = opacitySlider(Theme::textDim(), opacities_);
    bitmapSlider_->setObjectName(QStringLiteral("bitmapOpacity"));
    opacityRow->addWidget(bitmapSlider_);
    opacityRow->addWidget(sliderCaption(QStringLiteral("Vec"), Theme::accent(), opacities_));
    vectorSlider_ = opacitySlider(Theme::accent(), opacities_);
    vectorSlider_->setObjectName(QStringLiteral("vectorOpacity"));
    opacityRow->addWidget(vectorSlider_);
    connect(bitmapSlider_, &QSlider::valueChanged, this,
            [this](int value) { model_.setBitmapOpacity(static_cast<double>(value) / kSliderSteps); });
    connect(vectorSlider_, &QSlider::valueChanged, this,
            [this](int value) { model_.setVectorOpacity(static_cast<double>(value) / kSliderSteps); });
    row->addWidget(opacities_);
    row->addWidget(makeVerticalDivider(kSeparatorHeight, this));

    // Edit tools, undo and redo.
    auto* toolGroup = new QWidget(this);
    QHBoxLayout* toolRow = groupRow(toolGroup, 2);
    for (std::size_t i = 0; i < kAllCanvasEditTools.size(); ++i) {
        const CanvasEditTool tool = kAllCanvasEditTools[i];
        auto* button =
            new SegmentButton(SegmentButton::Look::editTool, std::string(symbolOf(tool)), q(titleOf(tool)), toolGroup);
        button->setObjectName(QStringLiteral("tool.") + q(rawValue(tool)));
        button->setToolTip(q(helpText(tool)));
        connect(button, &QAbstractButton::clicked, this, [this, tool] { model_.setEditTool(tool); });
        toolRow->addWidget(button);
        toolButtons_[i] = button;
    }
    row->addWidget(toolGroup);

    auto* historyGroup = new QWidget(this);
    QHBoxLayout* historyRow = groupRow(historyGroup, 2);
    undoButton_ = new IconButton("arrow.uturn.backward",
                                 q(withKeys(L("Annuler la modification de trait", "Undo stroke edit"), "Ctrl+Z")),
                                 false, Theme::accent(), true, historyGroup);
    undoButton_->setObjectName(QStringLiteral("undo"));
    connect(undoButton_, &QAbstractButton::clicked, this, [this] { model_.undoEdit(); });
    redoButton_ = new IconButton(
        "arrow.uturn.forward", q(withKeys(L("Rétablir la modification de trait", "Redo stroke edit"), "Ctrl+Shift+Z")),
        false, Theme::accent(), true, historyGroup);
    redoButton_->setObjectName(QStringLiteral("redo"));
    connect(redoButton_, &QAbstractButton::clicked, this, [this] { model_.redoEdit(); });
    historyRow->addWidget(undoButton_);
    historyRow->addWidget(redoButton_);
    row->addWidget(historyGroup);
    row->addWidget(makeVerticalDivider(kSeparatorHeight, this));

    // Display switches.
    previewButton_ = new IconButton(
        "circle.lefthalf.filled",
        q(withKeys(L("Aperçu traits noirs sur fond blanc", "Black strokes on white paper preview"), "B / Ctrl+B")),
        false, Theme::accent(), false, this);
    previewButton_->setObjectName(QStringLiteral("preview"));
    connect(previewButton_, &QAbstractButton::clicked, this,
            [this] { model_.setBlackOnWhitePreview(!model_.blackOnWhitePreview()); });
    row->addWidget(previewButton_);
    handlesButton_ = new IconButton(
        "skew",
        q(withKeys(L("Afficher les poignées de Bézier cubiques", "Show cubic Bézier control handles"), "Ctrl+K")),
        false, Theme::osc(), false, this);
    handlesButton_->setObjectName(QStringLiteral("handles"));
    connect(handlesButton_, &QAbstractButton::clicked, this,
            [this] { model_.setShowControlPoints(!model_.showControlPoints()); });
    row->addWidget(handlesButton_);
    travelButton_ = new IconButton(
        "point.topleft.down.curvedto.point.bottomright.up",
        q(withKeys(L("Afficher les trajets stylo levé AxiDraw", "Show AxiDraw pen-up rapid travel moves"), "Ctrl+T")),
        false, Theme::tcp(), false, this);
    travelButton_->setObjectName(QStringLiteral("travel"));
    connect(travelButton_, &QAbstractButton::clicked, this,
            [this] { model_.setShowTravelMoves(!model_.showTravelMoves()); });
    row->addWidget(travelButton_);

    row->addStretch(1);
    row = bar;

    // Output mode, algorithm.
    auto* outputMode = new OutputModeBadge(this);
    outputMode->setObjectName(QStringLiteral("outputMode"));
    connect(outputMode, &QAbstractButton::clicked, this, [this] {
        const bool axidraw = model_.vectorizer().params().outputMode == VectorOutputMode::axidraw;
        model_.setOutputMode(axidraw ? VectorOutputMode::illustration : VectorOutputMode::axidraw);
    });
    outputModeButton_ = outputMode;
    row->addWidget(outputMode);
    algorithmChip_ = new Chip(QString(), Theme::alive(), false, this);
    algorithmChip_->setObjectName(QStringLiteral("algorithm"));
    row->addWidget(algorithmChip_);
    row->addWidget(makeVerticalDivider(kSeparatorHeight, this));

    // Plot and the two SVG actions.
    plotButton_ = new TextButton(QString(), TextButton::Style{"play.fill", false, false, {}, true, false}, false, this);
    plotButton_->setObjectName(QStringLiteral("plot"));
    connect(plotButton_, &QAbstractButton::clicked, this, &TopBar::plotButtonClicked);
    row->addWidget(plotButton_);
    copyButton_ = new TextButton(q(L("Copier SVG", "Copy SVG")),
                                 TextButton::Style{"doc.on.doc", false, false, {}, true, false}, true, this);
    copyButton_->setObjectName(QStringLiteral("copySVG"));
    copyButton_->setToolTip(
        q(withKeys(L("Copier le SVG dans le presse-papiers", "Copy SVG to clipboard"), "Ctrl+Shift+C")));
    connect(copyButton_, &QAbstractButton::clicked, this, [this] { model_.copySVGToPasteboard(); });
    row->addWidget(copyButton_);
    exportButton_ =
        new TextButton(q(L("Exporter SVG…", "Export SVG…")),
                       TextButton::Style{"square.and.arrow.down", true, false, {}, true, false}, true, this);
    exportButton_->setObjectName(QStringLiteral("exportSVG"));
    exportButton_->setToolTip(q(withKeys(L("Enregistrer le fichier SVG", "Save SVG file"), "Ctrl+S / Ctrl+Shift+E")));
    connect(exportButton_, &QAbstractButton::clicked, this, [this] { model_.saveSVGPushPanel(); });
    row->addWidget(exportButton_);

    for (QLayout* layout : {static_cast<QLayout*>(bar), leading_->layout(), fileGroup->layout(), modeGroup->layout(),
                            opacities_->layout(), toolGroup->layout(), historyGroup->layout()}) {
        centreVertically(layout);
    }
}

void TopBar::refresh() {
    const VectorizerController& document = model_.vectorizer();
    const VectorizerParams& params = document.params();
    const bool hasResult = document.result().has_value();

    sidebarButton_->setActive(model_.showSidebar());
    for (std::size_t i = 0; i < kAllCanvasViewModes.size(); ++i) {
        static_cast<SegmentButton*>(viewModeButtons_[i])->setSelected(model_.viewMode() == kAllCanvasViewModes[i]);
    }
    opacities_->setVisible(model_.viewMode() == CanvasViewMode::overlay);
    // Set without echo: the model already holds these values.
    if (bitmapSlider_->value() != sliderValue(model_.bitmapOpacity()) && !bitmapSlider_->isSliderDown()) {
        const QSignalBlocker quiet(bitmapSlider_);
        bitmapSlider_->setValue(sliderValue(model_.bitmapOpacity()));
    }
    if (vectorSlider_->value() != sliderValue(model_.vectorOpacity()) && !vectorSlider_->isSliderDown()) {
        const QSignalBlocker quiet(vectorSlider_);
        vectorSlider_->setValue(sliderValue(model_.vectorOpacity()));
    }
    for (std::size_t i = 0; i < kAllCanvasEditTools.size(); ++i) {
        static_cast<SegmentButton*>(toolButtons_[i])->setSelected(model_.editTool() == kAllCanvasEditTools[i]);
    }
    undoButton_->setEnabled(!document.undoStack().empty());
    redoButton_->setEnabled(!document.redoStack().empty());

    const bool blackOnWhite = model_.blackOnWhitePreview();
    previewButton_->setSymbol(blackOnWhite ? "sun.max.fill" : "circle.lefthalf.filled");
    previewButton_->setActive(blackOnWhite);
    handlesButton_->setActive(model_.showControlPoints());
    travelButton_->setActive(model_.showTravelMoves());
    travelButton_->setVisible(model_.showAxiDrawSection());

    auto* outputMode = static_cast<OutputModeBadge*>(outputModeButton_);
    if (params.outputMode == VectorOutputMode::axidraw) {
        outputMode->setFace(std::string(icon(params.outputMode)), q("AxiDraw · " + shortLabel(params.paperFormat)),
                            Theme::accent());
    } else {
        outputMode->setFace(std::string(icon(params.outputMode)), q(shortBadge(params.illustrationStrokeStyle)),
                            Theme::tcp());
    }
    outputMode->setToolTip(q(detail(params.outputMode)));
    algorithmChip_->setText(q(shortBadge(params.algorithm)));

    plotButton_->setVisible(model_.showAxiDrawSection() || params.outputMode == VectorOutputMode::axidraw);
    const PlotForm form = plotForm(model_.plotter().runState().kind);
    plotButton_->setTitle(q(form.title));
    plotButton_->setStyle(TextButton::Style{form.symbol, form.prominent, false, {}, true, false});
    const bool startsPlot = form.action == PlotForm::Action::plot;
    plotButton_->setEnabled(!startsPlot || PlotStart::isAllowed(model_.vectorizer(), model_.plotter()));
    plotButton_->setToolTip(startsPlot ? q(L("Lancer directement le tracé sur l'AxiDraw USB (ou le simulateur)",
                                             "Start plotting directly on USB AxiDraw (or simulator)"))
                                       : QString());
    copyButton_->setEnabled(hasResult);
    exportButton_->setEnabled(hasResult);
    fitButtonTitles();
}

bool TopBar::showsCompactToolButtons() const { return static_cast<SegmentButton*>(toolButtons_[0])->isCompact(); }

bool TopBar::showsCompactLayoutButtons() const { return static_cast<SegmentButton*>(viewModeButtons_[0])->isCompact(); }

QSize TopBar::minimumSizeHint() const { return {layout()->minimumSize().width(), barHeight}; }

void TopBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitButtonTitles();
}

void TopBar::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    fitButtonTitles();
}

void TopBar::dropTitles(int steps) {
    droppedSteps_ = steps;
    for (QWidget* button : toolButtons_) static_cast<SegmentButton*>(button)->setCompact(steps >= 1);
    for (QWidget* button : viewModeButtons_) static_cast<SegmentButton*>(button)->setCompact(steps >= 2);
    static_cast<MenuFace*>(presetsButton_)->setSymbolOnly(steps >= 3);
    openButton_->setSymbolOnly(steps >= 4);
    copyButton_->setSymbolOnly(steps >= 5);
    plotButton_->setSymbolOnly(steps >= 6);
    exportButton_->setSymbolOnly(steps >= 7);
}

int TopBar::leadingNeed() const {
    // The groups' layouts cache their sizes until the next turn of the event loop; a title just
    // dropped must count now.
    for (QWidget* widget : leading_->findChildren<QWidget*>()) {
        if (QLayout* layout = widget->layout()) layout->invalidate();
        widget->updateGeometry();
    }
    leading_->layout()->invalidate();
    return leading_->layout()->minimumSize().width();
}

// Titles go in a fixed order until the left part fits beside the right end (whose copy, plot and
// export buttons give up their titles last).
void TopBar::fitButtonTitles() {
    constexpr int kSteps = 7;
    int steps = 0;
    for (; steps <= kSteps; ++steps) {
        dropTitles(steps);
        layout()->invalidate();
        if (leadingNeed() <= width() - layout()->minimumSize().width()) break;
    }
    if (steps > kSteps) dropTitles(kSteps);
}

void TopBar::rebuildRecentMenu() {
    recentMenu_->clear();
    const auto& files = model_.recentURLs();
    if (files.empty()) {
        QAction* none = recentMenu_->addAction(menuText(L("Aucun fichier récent", "No Recent Files")));
        none->setEnabled(false);
        return;
    }
    recentMenu_->addSection(menuText(L("Fichiers récents", "Recent Files")));
    for (const std::filesystem::path& file : files) {
        QAction* item = recentMenu_->addAction(symbolIcon("doc"), menuText(file.filename().string()));
        item->setData(q(file.string()));
        // Queued: opening rebuilds this menu, which must not delete the action while it fires.
        connect(
            item, &QAction::triggered, this, [this, file] { model_.open(file); }, Qt::QueuedConnection);
    }
    recentMenu_->addSeparator();
    QAction* clear = recentMenu_->addAction(menuText(L("Effacer le menu", "Clear Menu")));
    clear->setObjectName(QStringLiteral("clearRecent"));
    connect(
        clear, &QAction::triggered, this, [this] { model_.clearRecentURLs(); }, Qt::QueuedConnection);
}

void TopBar::plotButtonClicked() {
    AxiDrawPlotterController& plotter = model_.plotter();
    switch (plotForm(plotter.runState().kind).action) {
        case PlotForm::Action::pause:
            plotter.pausePlot();
            break;
        case PlotForm::Action::resume:
            plotter.resumePlot();
            break;
        case PlotForm::Action::plot:
            PlotStart::start(PlotStart::Kind::plot, model_.vectorizer(), plotter);
            break;
    }
}

void TopBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Theme::header());
}

}  // namespace ostrel
