#include "app/views/sidebar/ParameterSidebarView.h"

#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"
#include "app/ui/FieldRow.h"
#include "app/ui/SectionHeader.h"
#include "app/ui/SliderRow.h"
#include "app/ui/TextButton.h"
#include "app/ui/UIFonts.h"
#include "app/views/sidebar/DirectPlotterCard.h"
#include "app/views/sidebar/ParameterChange.h"
#include "app/views/sidebar/SidebarControls.h"
#include "core/model/Format.h"
#include "core/model/Localization.h"
#include "core/model/ParameterTable.h"
#include "core/support/text/NumberFormat.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace ostrel {

namespace {

// Run delays of the controls, in milliseconds.
constexpr std::uint64_t kImmediate = 10;  // choices that take effect at once
constexpr std::uint64_t kThickness = 12;  // illustration thickness scale
constexpr std::uint64_t kCurve = 15;      // RDP tolerance, smoothing, corner angle
constexpr std::uint64_t kQuiet = 45;      // every other parameter control

QString text(std::string_view french, std::string_view english) { return QString::fromStdString(L(french, english)); }

/// A number with `decimals` decimals, a decimal comma unless the interface is English.
std::string decimals(double value, int count) {
    std::string number = fixed(value, count);
    return Localization::isEnglish() ? number : withDecimalComma(std::move(number));
}

/// A double rounded to a whole number (halves away from zero); a dash when it has none.
std::string whole(double value) {
    const std::optional<std::int64_t> rounded = roundedInt64(value);
    return rounded ? integerText(*rounded) : std::string("\u2014");
}

std::string cleanupLabel(std::int64_t level) {
    if (level == 0) return L("0 \u00B7 Traits fins", "0 \u00B7 Fine lines");
    if (level == 1) return L("1 \u00B7 Fermer micro-trous", "1 \u00B7 Close gaps");
    return L("2 \u00B7 Fort (antipoussi\u00E8re)", "2 \u00B7 Strong (denoise)");
}

using DoubleField = double VectorizerParams::*;
using IntegerField = std::int64_t VectorizerParams::*;

/// One slider of the sidebar: label, parameter, tint, run delay and value text. The field, the span, the
/// step and the name come from the parameter table.
struct SliderControl {
    const char* french;
    const char* english;
    const ParameterSpec& parameter;
    QColor tint;
    std::uint64_t delayMs;
    std::string (*valueText)(const VectorizerParams&);
};

/// The field a slider's parameter names (a real or an integer one).
std::variant<DoubleField, IntegerField> sliderField(const ParameterSpec& parameter) {
    if (parameter.realField != nullptr) return parameter.realField;
    return parameter.integerField;
}

double fieldValue(const VectorizerParams& params, const std::variant<DoubleField, IntegerField>& field) {
    if (const auto* real = std::get_if<DoubleField>(&field)) return params.**real;
    return static_cast<double>(params.*std::get<IntegerField>(field));
}

QVBoxLayout* column(QWidget* widget, int spacing) {
    auto* layout = new QVBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

QWidget* section(QWidget* parent, QVBoxLayout*& layout) {
    auto* widget = new QWidget(parent);
    layout = column(widget, 8);
    return widget;
}

}  // namespace

/// Builds one slider, writes its moves by the change rule and keeps it following the parameters.
static SliderRow* makeSlider(const SliderControl& control, VectorizerController& document,
                             std::vector<std::function<void()>>& refreshers, QWidget* parent) {
    const VectorizerParams& params = document.params();
    const ParameterSpec& parameter = control.parameter;
    const std::variant<DoubleField, IntegerField> field = sliderField(parameter);
    auto* row = new SliderRow(text(control.french, control.english), QString::fromStdString(control.valueText(params)),
                              fieldValue(params, field), parameter.slider->lower, parameter.slider->upper,
                              parameter.sliderStep, control.tint, parent);
    row->setObjectName(QString::fromUtf8(parameter.key.data(), static_cast<qsizetype>(parameter.key.size())));
    const std::uint64_t delay = control.delayMs;
    QObject::connect(row, &SliderRow::valueChanged, row, [&document, field, delay](double value) {
        if (const auto* real = std::get_if<DoubleField>(&field)) {
            ParameterChange::writeDouble(document, *real, value, delay);
        } else {
            ParameterChange::writeInteger(document, std::get<IntegerField>(field), value, delay);
        }
    });
    auto* valueText = control.valueText;
    refreshers.push_back([row, &document, field, valueText] {
        const VectorizerParams& now = document.params();
        row->setValue(fieldValue(now, field));
        row->setValueText(QString::fromStdString(valueText(now)));
    });
    return row;
}

/// Builds one switch bound to a bool parameter by the change rule.
static SidebarToggle* makeToggle(const char* name, QString label, bool VectorizerParams::*field, std::uint64_t delayMs,
                                 bool singleLine, VectorizerController& document,
                                 std::vector<std::function<void()>>& refreshers, QWidget* parent) {
    auto* toggle = new SidebarToggle(label, singleLine, parent);
    toggle->setObjectName(name);
    toggle->setCheckedQuietly(document.params().*field);
    QObject::connect(toggle, &QAbstractButton::clicked, toggle, [toggle, &document, field, delayMs](bool on) {
        ParameterChange::writeChoice(document, field, on, delayMs);
        toggle->setCheckedQuietly(document.params().*field);
    });
    refreshers.push_back([toggle, &document, field] { toggle->setCheckedQuietly(document.params().*field); });
    return toggle;
}

namespace {}  // namespace

ParameterSidebarView::ParameterSidebarView(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Theme::panel());
    palette.setColor(QPalette::Base, Theme::panel());
    setPalette(palette);
    setFixedWidth(sidebarWidth);

    auto* outer = column(this, 0);
    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll_->viewport()->setAutoFillBackground(false);
    scroll_->verticalScrollBar()->setStyleSheet(
        "QScrollBar:vertical { width: 8px; background: transparent; margin: 2px 1px 2px 1px; }"
        "QScrollBar::handle:vertical { background: rgba(255, 255, 255, 46); border-radius: 3px; min-height: 24px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0px; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }");
    outer->addWidget(scroll_);

    auto* content = new QWidget(scroll_);
    content->setAutoFillBackground(false);
    auto* padding = new QHBoxLayout(content);
    padding->setContentsMargins(14, 14, 14, 14);
    padding->setSpacing(0);
    column_ = new QWidget(content);
    column_->setFixedWidth(innerWidth);
    auto* blocks = column(column_, 18);
    blocks->addWidget(outputModeSection(column_));
    blocks->addWidget(algorithmSection(column_));
    blocks->addWidget(preprocessingSection(column_));
    blocks->addWidget(vectorizationSection(column_));
    blocks->addWidget(stitchingAndHatchSection(column_));
    blocks->addWidget(pensAndAxiDrawSection(column_));
    blocks->addWidget(metricsCard(column_));
    blocks->addStretch(1);
    padding->addWidget(column_, 0, Qt::AlignLeft | Qt::AlignTop);
    padding->addStretch(1);
    scroll_->setWidget(content);

    VectorizerController& document = model_.vectorizer();
    connect(&document, &VectorizerController::paramsChanged, this, &ParameterSidebarView::refreshParams);
    connect(&document, &VectorizerController::resultChanged, this, [this] {
        rebuildPenRows();
        refreshMetrics();
    });
    connect(&model_, &AppModel::showAxiDrawSectionChanged, this, [this](ViewAnimation animation) {
        refreshPlotterBlock(animation);
        refreshMetrics();
    });
    refreshParams();
    rebuildPenRows();
    refreshPlotterBlock(ViewAnimation::none);
    refreshMetrics();
}

void ParameterSidebarView::refreshParams() {
    for (const auto& refresh : paramRefreshers_) refresh();
}

// Output mode and illustration --------------------------------------------------------------------

QWidget* ParameterSidebarView::outputModeSection(QWidget* parent) {
    VectorizerController& document = model_.vectorizer();
    QVBoxLayout* layout = nullptr;
    QWidget* block = section(parent, layout);

    TextButton::Style resetStyle;
    resetStyle.symbol = "arrow.counterclockwise";
    resetStyle.compact = true;
    auto* reset = new TextButton(text("R\u00E9initialiser", "Reset"), resetStyle);
    reset->setObjectName("resetParameters");
    connect(reset, &QAbstractButton::clicked, this, &ParameterSidebarView::requestReset);
    layout->addWidget(new SectionHeader(text("Mode de vectorisation", "Vectorization Mode"), reset, block));

    auto* cards = new QHBoxLayout;
    cards->setContentsMargins(0, 0, 0, 0);
    cards->setSpacing(6);
    for (const VectorOutputMode mode : allCases<VectorOutputMode>()) {
        auto* card = new ModeCard(std::string(icon(mode)), QString::fromStdString(label(mode)),
                                  QString::fromStdString(subtitle(mode)), block);
        card->setObjectName(QString("outputMode.") + QString::fromUtf8(rawValue(mode)));
        card->setToolTip(QString::fromStdString(detail(mode)));
        connect(card, &QAbstractButton::clicked, this, [this, mode] { model_.setOutputMode(mode); });
        paramRefreshers_.push_back(
            [card, &document, mode] { card->setSelected(document.params().outputMode == mode); });
        cards->addWidget(card, 1);
    }
    layout->addLayout(cards);

    // Illustration options, only in illustration mode.
    auto* options = new QWidget(block);
    options->setObjectName("illustrationOptions");
    auto* optionsLayout = column(options, 7);
    optionsLayout->setContentsMargins(0, 2, 0, 0);
    auto* styles = new QWidget(options);
    auto* stylesLayout = column(styles, 4);
    for (const IllustrationStrokeStyle style : allCases<IllustrationStrokeStyle>()) {
        auto* row = new ChoiceRow(QString::fromStdString(label(style)), QString::fromStdString(shortBadge(style)),
                                  ChoiceRow::strokeStyleLook(), styles);
        row->setObjectName(QString("illustrationStrokeStyle.") + QString::fromUtf8(rawValue(style)));
        row->setToolTip(QString::fromStdString(detail(style)));
        connect(row, &QAbstractButton::clicked, this, [&document, style] {
            ParameterChange::writeChoice(document, &VectorizerParams::illustrationStrokeStyle, style, kImmediate);
        });
        paramRefreshers_.push_back(
            [row, &document, style] { row->setSelected(document.params().illustrationStrokeStyle == style); });
        stylesLayout->addWidget(row);
    }
    optionsLayout->addWidget(styles);
    optionsLayout->addWidget(
        makeSlider({"Facteur d'\u00E9paisseur", "Thickness scale", parameter::strokeWidthScale, Theme::tcp(),
                    kThickness, [](const VectorizerParams& p) { return "\u00D7" + decimals(p.strokeWidthScale, 2); }},
                   document, paramRefreshers_, options));
    layout->addWidget(options);
    paramRefreshers_.push_back(
        [options, &document] { options->setVisible(document.params().outputMode == VectorOutputMode::illustration); });
    return block;
}

void ParameterSidebarView::requestReset() {
    VectorizerController& document = model_.vectorizer();
    if (document.undoStack().empty() && document.redoStack().empty()) {
        document.resetParameters();
        return;
    }
    if (resetQuestion_) return;
    // Reset empties the edit history: with hand edits in the document, ask first.
    auto* question = new QMessageBox(
        QMessageBox::Warning, text("R\u00E9initialiser les param\u00E8tres ?", "Reset parameters?"),
        text("R\u00E9initialiser tous les param\u00E8tres ?", "Reset all parameters?"), QMessageBox::NoButton, this);
    question->setObjectName("resetConfirmation");
    question->setInformativeText(
        text("Les retouches faites \u00E0 la main sur le trac\u00E9 seront perdues et l'historique d'annulation sera "
             "vid\u00E9.",
             "Hand edits made to the drawing will be lost and the undo history cleared."));
    QPushButton* confirm = question->addButton(text("R\u00E9initialiser", "Reset"), QMessageBox::DestructiveRole);
    confirm->setObjectName("confirmReset");
    QPushButton* cancel = question->addButton(text("Annuler", "Cancel"), QMessageBox::RejectRole);
    cancel->setObjectName("cancelReset");
    question->setDefaultButton(cancel);
    question->setEscapeButton(cancel);
    question->setAttribute(Qt::WA_DeleteOnClose);
    question->setWindowModality(Qt::WindowModal);
    connect(question, &QMessageBox::buttonClicked, this, [this, confirm](QAbstractButton* clicked) {
        if (clicked == confirm) model_.vectorizer().resetParameters();
    });
    resetQuestion_ = question;
    question->open();
}

// Algorithm and preprocessing ---------------------------------------------------------------------

QWidget* ParameterSidebarView::algorithmSection(QWidget* parent) {
    VectorizerController& document = model_.vectorizer();
    QVBoxLayout* layout = nullptr;
    QWidget* block = section(parent, layout);
    layout->addWidget(new SectionHeader(text("Algorithme d'extraction", "Extraction Algorithm"), nullptr, block));
    auto* rows = new QWidget(block);
    auto* rowsLayout = column(rows, 4);
    for (const VectorAlgorithm algorithm : allCases<VectorAlgorithm>()) {
        auto* row = new ChoiceRow(QString::fromStdString(label(algorithm)),
                                  QString::fromStdString(shortBadge(algorithm)), ChoiceRow::algorithmLook(), rows);
        row->setObjectName(QString("algorithm.") + QString::fromUtf8(rawValue(algorithm)));
        row->setToolTip(QString::fromStdString(detail(algorithm)));
        connect(row, &QAbstractButton::clicked, this, [&document, algorithm] {
            ParameterChange::writeChoice(document, &VectorizerParams::algorithm, algorithm, kImmediate);
        });
        paramRefreshers_.push_back(
            [row, &document, algorithm] { row->setSelected(document.params().algorithm == algorithm); });
        rowsLayout->addWidget(row);
    }
    layout->addWidget(rows);
    return block;
}

QWidget* ParameterSidebarView::preprocessingSection(QWidget* parent) {
    VectorizerController& document = model_.vectorizer();
    QVBoxLayout* layout = nullptr;
    QWidget* block = section(parent, layout);
    layout->addWidget(new SectionHeader(text("Pr\u00E9traitement", "Preprocessing"), nullptr, block));

    auto* toggles = new QHBoxLayout;
    toggles->setContentsMargins(0, 0, 0, 0);
    toggles->setSpacing(10);
    toggles->addWidget(makeToggle("adaptiveThreshold", text("Seuil adaptatif", "Adaptive threshold"),
                                  &VectorizerParams::adaptiveThreshold, kQuiet, true, document, paramRefreshers_,
                                  block));
    toggles->addWidget(makeToggle("invert", text("Inverser", "Invert"), &VectorizerParams::invert, kQuiet, true,
                                  document, paramRefreshers_, block));
    toggles->addStretch(1);
    layout->addLayout(toggles);

    SliderRow* threshold =
        makeSlider({"Fen\u00EAtre & sensibilit\u00E9", "Window & sensitivity", parameter::threshold, Theme::accent(),
                    kQuiet, [](const VectorizerParams& p) { return integerText(p.threshold); }},
                   document, paramRefreshers_, block);
    paramRefreshers_.push_back([threshold, &document] {
        threshold->setLabel(document.params().adaptiveThreshold
                                ? text("Fen\u00EAtre & sensibilit\u00E9", "Window & sensitivity")
                                : text("Seuil binaire", "Binary threshold"));
    });
    layout->addWidget(threshold);
    layout->addWidget(
        makeSlider({"Flou gaussien (vDSP)", "Gaussian blur (vDSP)", parameter::blurRadius, Theme::accent(), kQuiet,
                    [](const VectorizerParams& p) { return decimals(p.blurRadius, 1) + " px"; }},
                   document, paramRefreshers_, block));
    layout->addWidget(
        makeSlider({"Nettoyage morphologique", "Morphological cleanup", parameter::morphCleanup, Theme::accent(),
                    kQuiet, [](const VectorizerParams& p) { return cleanupLabel(p.morphCleanup); }},
                   document, paramRefreshers_, block));
    return block;
}

// Vectorization, stitching and hatching -----------------------------------------------------------

QWidget* ParameterSidebarView::vectorizationSection(QWidget* parent) {
    VectorizerController& document = model_.vectorizer();
    QVBoxLayout* layout = nullptr;
    QWidget* block = section(parent, layout);
    layout->addWidget(new SectionHeader(text("Vectorisation & Courbes", "Vectorization & Curves"), nullptr, block));

    auto* toggles = new QHBoxLayout;
    toggles->setContentsMargins(0, 0, 0, 0);
    toggles->setSpacing(8);
    SidebarToggle* steger =
        makeToggle("stegerSubpixel", text("Sub-pixel Steger", "Steger sub-pixel"), &VectorizerParams::stegerSubpixel,
                   kQuiet, true, document, paramRefreshers_, block);
    steger->setToolTip(text("Affinement sub-pixel par d\u00E9veloppement de Taylor du Hessien",
                            "Sub-pixel refinement via 2nd-order Hessian Taylor expansion"));
    SidebarToggle* junctions =
        makeToggle("crossJunctions", text("Croisements continus", "Cross junctions"), &VectorizerParams::crossJunctions,
                   kQuiet, true, document, paramRefreshers_, block);
    junctions->setToolTip(text("Traverse les intersections X et T sans casser le trait",
                               "Crosses X and T junctions without breaking the stroke"));
    toggles->addWidget(steger);
    toggles->addWidget(junctions);
    toggles->addStretch(1);
    layout->addLayout(toggles);

    const SliderControl sliders[] = {
        {"Tol\u00E9rance RDP", "RDP tolerance", parameter::rdpTolerance, Theme::tcp(), kCurve,
         [](const VectorizerParams& p) { return decimals(p.rdpTolerance, 1) + " px"; }},
        {"Lissage B\u00E9zier (Schneider)", "B\u00E9zier smoothing (Schneider)", parameter::curveSmoothing,
         Theme::tcp(), kCurve, [](const VectorizerParams& p) { return decimals(p.curveSmoothing, 2); }},
        {"Angle de coin vif", "Sharp corner angle", parameter::cornerAngleDeg, Theme::tcp(), kCurve,
         [](const VectorizerParams& p) { return integerText(p.cornerAngleDeg) + "\u00B0"; }},
        {"Longueur minimale", "Minimum length", parameter::minPathLengthPx, Theme::accent(), kQuiet,
         [](const VectorizerParams& p) { return integerText(p.minPathLengthPx) + " px"; }},
    };
    for (const SliderControl& control : sliders)
        layout->addWidget(makeSlider(control, document, paramRefreshers_, block));
    return block;
}

QWidget* ParameterSidebarView::stitchingAndHatchSection(QWidget* parent) {
    VectorizerController& document = model_.vectorizer();
    QVBoxLayout* layout = nullptr;
    QWidget* block = section(parent, layout);
    layout->addWidget(new SectionHeader(text("Fusion & Hachures", "Stitching & Hatching"), nullptr, block));
    layout->addWidget(
        makeSlider({"\u00C9cart max de fusion", "Max stitch gap", parameter::maxStitchGapPx, Theme::accent(), kQuiet,
                    [](const VectorizerParams& p) { return whole(p.maxStitchGapPx) + " px"; }},
                   document, paramRefreshers_, block));
    layout->addWidget(
        makeSlider({"Continuit\u00E9 des trac\u00E9s", "Stroke continuity", parameter::continuity, Theme::accent(),
                    kQuiet, [](const VectorizerParams& p) { return whole(p.continuity) + " %"; }},
                   document, paramRefreshers_, block));

    auto* toggles = new QHBoxLayout;
    toggles->setContentsMargins(0, 0, 0, 0);
    toggles->setSpacing(12);
    toggles->addWidget(makeToggle("hatchEnabled", text("Hachurer les aplats", "Hatch dark fills"),
                                  &VectorizerParams::hatchEnabled, kQuiet, false, document, paramRefreshers_, block));
    SidebarToggle* cross = makeToggle("crossHatch", text("Crois\u00E9es", "Cross-hatch"), &VectorizerParams::crossHatch,
                                      kQuiet, false, document, paramRefreshers_, block);
    toggles->addWidget(cross);
    toggles->addStretch(1);
    layout->addLayout(toggles);
    SliderRow* spacing =
        makeSlider({"Pas des hachures", "Hatch spacing", parameter::hatchSpacingPx, Theme::osc(), kQuiet,
                    [](const VectorizerParams& p) { return decimals(p.hatchSpacingPx, 1) + " px"; }},
                   document, paramRefreshers_, block);
    layout->addWidget(spacing);
    paramRefreshers_.push_back([cross, spacing, &document] {
        const bool hatching = document.params().hatchEnabled;
        cross->setVisible(hatching);
        spacing->setVisible(hatching);
    });
    return block;
}

// Plotter and pens --------------------------------------------------------------------------------

QWidget* ParameterSidebarView::pensAndAxiDrawSection(QWidget* parent) {
    VectorizerController& document = model_.vectorizer();
    QVBoxLayout* layout = nullptr;
    QWidget* block = section(parent, layout);

    auto* preview = new QHBoxLayout;
    preview->setContentsMargins(0, 0, 0, 0);
    preview->setSpacing(8);
    auto* blackOnWhite = new SidebarToggle(text("Noir sur blanc", "Black on white"), true, block);
    blackOnWhite->setObjectName("blackOnWhitePreview");
    blackOnWhite->setToolTip(text("Afficher les vecteurs en traits noirs sur papier blanc (B / Ctrl+B)",
                                  "Render vectors as black strokes on white paper (B / Ctrl+B)"));
    blackOnWhite->setCheckedQuietly(model_.blackOnWhitePreview());
    connect(blackOnWhite, &QAbstractButton::clicked, this, [this](bool on) { model_.setBlackOnWhitePreview(on); });
    connect(&model_, &AppModel::blackOnWhitePreviewChanged, blackOnWhite,
            [this, blackOnWhite] { blackOnWhite->setCheckedQuietly(model_.blackOnWhitePreview()); });
    // Export only: the SVG texts are rewritten from the current result, without a run.
    auto* blackSVG = new SidebarToggle(text("SVG traits noirs", "Black SVG strokes"), true, block);
    blackSVG->setObjectName("exportBlackStrokes");
    blackSVG->setCheckedQuietly(document.params().exportBlackStrokes);
    connect(blackSVG, &QAbstractButton::clicked, this, [&document, blackSVG](bool on) {
        document.setExportBlackStrokes(on);
        blackSVG->setCheckedQuietly(document.params().exportBlackStrokes);
    });
    paramRefreshers_.push_back(
        [blackSVG, &document] { blackSVG->setCheckedQuietly(document.params().exportBlackStrokes); });
    preview->addWidget(blackOnWhite);
    preview->addWidget(blackSVG);
    preview->addStretch(1);
    layout->addLayout(preview);

    plotterHeader_ = new CollapsibleHeader(text("TRACEUR AXIDRAW & STYLOS", "AXIDRAW PLOTTER & PENS"), block);
    plotterHeader_->setObjectName("plotterHeader");
    plotterHeader_->setToolTip(text(
        "D\u00E9plier ou replier les r\u00E9glages sp\u00E9cifiques au traceur AxiDraw et aux calques multi-stylos",
        "Expand or collapse AxiDraw plotter and multi-pen layer settings"));
    connect(plotterHeader_, &QAbstractButton::clicked, this,
            [this] { model_.setShowAxiDrawSection(!model_.showAxiDrawSection(), ViewAnimation::outputModeSwitch); });
    paramRefreshers_.push_back([this, &document] {
        const VectorizerParams& p = document.params();
        plotterHeader_->setSummary(QString::fromStdString(integerText(p.penCount) + " stylo" +
                                                          (p.penCount >= 2 ? "s" : "") + " \u00B7 " +
                                                          shortLabel(p.paperFormat)));
    });
    layout->addWidget(plotterHeader_);

    plotterBlock_ = new QWidget(block);
    plotterBlock_->setObjectName("plotterBlock");
    auto* blockLayout = column(plotterBlock_, 8);
    blockLayout->setContentsMargins(0, 2, 0, 0);
    blockLayout->addWidget(
        makeSlider({"Nombre de stylos (k-means)", "Pen count (k-means)", parameter::penCount, Theme::accent(), kQuiet,
                    [](const VectorizerParams& p) { return integerText(p.penCount); }},
                   document, paramRefreshers_, plotterBlock_));

    penRows_ = new QWidget(plotterBlock_);
    penRows_->setObjectName("penRows");
    penRowsLayout_ = column(penRows_, 5);
    blockLayout->addWidget(penRows_);

    auto* paper = new QComboBox;
    paper->setObjectName("paperFormat");
    for (const PaperFormat format : allCases<PaperFormat>()) {
        paper->addItem(QString::fromStdString(label(format)), static_cast<int>(format));
    }
    connect(paper, &QComboBox::activated, this, [&document, paper](int index) {
        const auto format = static_cast<PaperFormat>(paper->itemData(index).toInt());
        ParameterChange::writeChoice(document, &VectorizerParams::paperFormat, format, kImmediate);
    });
    paramRefreshers_.push_back([paper, &document] {
        const QSignalBlocker quiet(paper);
        paper->setCurrentIndex(paper->findData(static_cast<int>(document.params().paperFormat)));
    });
    blockLayout->addWidget(new FieldRow(text("Format papier", "Paper size"), 88, paper, plotterBlock_));

    auto* orientation = new QComboBox;
    orientation->setObjectName("paperOrientation");
    for (const PaperOrientation choice : allCases<PaperOrientation>()) {
        orientation->addItem(QString::fromStdString(label(choice)), static_cast<int>(choice));
    }
    connect(orientation, &QComboBox::activated, this, [&document, orientation](int index) {
        const auto choice = static_cast<PaperOrientation>(orientation->itemData(index).toInt());
        ParameterChange::writeChoice(document, &VectorizerParams::paperOrientation, choice, kImmediate);
    });
    paramRefreshers_.push_back([orientation, &document] {
        const QSignalBlocker quiet(orientation);
        orientation->setCurrentIndex(orientation->findData(static_cast<int>(document.params().paperOrientation)));
    });
    blockLayout->addWidget(new FieldRow(text("Orientation", "Orientation"), 88, orientation, plotterBlock_));
    for (QComboBox* picker : {paper, orientation}) {
        picker->setFont(UIFonts::text(11));
        picker->setFocusPolicy(Qt::NoFocus);
        picker->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        picker->setMinimumContentsLength(4);
        picker->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    }

    SliderRow* margin = makeSlider({"Marge de feuille", "Sheet margin", parameter::marginMM, Theme::alive(), kImmediate,
                                    [](const VectorizerParams& p) { return whole(p.marginMM) + " mm"; }},
                                   document, paramRefreshers_, plotterBlock_);
    paramRefreshers_.push_back(
        [margin, &document] { margin->setVisible(document.params().paperFormat != PaperFormat::original); });
    blockLayout->addWidget(margin);
    blockLayout->addWidget(makeToggle(
        "optimize2Opt", text("Optimisation de parcours 2-opt (stylo lev\u00E9)", "2-opt pen-up travel order"),
        &VectorizerParams::optimize2Opt, kImmediate, true, document, paramRefreshers_, plotterBlock_));

    auto* divider = new QWidget(plotterBlock_);
    auto* dividerLayout = column(divider, 0);
    dividerLayout->setContentsMargins(0, 2, 0, 2);
    auto* line = new QWidget(divider);
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette linePalette = line->palette();
    linePalette.setColor(QPalette::Window, Theme::separator());
    line->setPalette(linePalette);
    dividerLayout->addWidget(line);
    blockLayout->addWidget(divider);

    auto* card = new DirectPlotterCard(model_, plotterBlock_);
    card->setObjectName("directPlotterCard");
    blockLayout->addWidget(card);
    layout->addWidget(plotterBlock_);
    return block;
}

void ParameterSidebarView::refreshPlotterBlock(ViewAnimation animation) {
    const bool expanded = model_.showAxiDrawSection();
    plotterHeader_->setExpanded(expanded);
    if (blockAnimation_ != nullptr) {
        blockAnimation_->stop();
        delete blockAnimation_.data();
    }
    plotterBlock_->setMaximumHeight(QWIDGETSIZE_MAX);
    if (animation == ViewAnimation::none || !isVisible() || plotterBlock_->isVisible() == expanded) {
        plotterBlock_->setVisible(expanded);
        return;
    }
    // Folding and unfolding ease in and out over 0.16 s; the block is shown at once when it opens
    // and hidden once it has closed.
    plotterBlock_->setVisible(true);
    const int full = plotterBlock_->sizeHint().height();
    auto* slide = new QPropertyAnimation(plotterBlock_, "maximumHeight", this);
    slide->setDuration(160);
    slide->setEasingCurve(QEasingCurve::InOutQuad);
    slide->setStartValue(expanded ? 0 : full);
    slide->setEndValue(expanded ? full : 0);
    connect(slide, &QPropertyAnimation::finished, this, [this, expanded] {
        plotterBlock_->setMaximumHeight(QWIDGETSIZE_MAX);
        plotterBlock_->setVisible(expanded);
    });
    blockAnimation_ = slide;
    slide->start(QAbstractAnimation::DeleteWhenStopped);
}

void ParameterSidebarView::rebuildPenRows() {
    // Rows are reused in order and the extra ones hidden, never deleted: a result can arrive while
    // a row's width menu is open or from inside its eye button's click.
    VectorizerController& document = model_.vectorizer();
    const std::optional<VectorizationResult>& result = document.result();
    const std::size_t count = result ? result->layers.size() : 0;
    penRows_->setVisible(count > 0);
    for (std::size_t i = 0; i < count; ++i) {
        const PenLayer& layer = result->layers[i];
        if (i == penRowList_.size()) {
            auto* row = new PenLayerRow(layer, penRows_);
            connect(row, &PenLayerRow::visibilityToggled, this,
                    [&document](std::int64_t index) { document.toggleLayerVisibility(index); });
            connect(row, &PenLayerRow::widthChosen, this, [&document](std::int64_t index, double widthMM) {
                // The width already stored is no change: asking again would rerun and drop hand edits.
                const std::vector<double>& widths = document.params().penWidthsMM;
                const double stored = index >= 0 && static_cast<std::size_t>(index) < widths.size()
                                          ? widths[static_cast<std::size_t>(index)]
                                          : defaultPenWidthMM(index);
                if (!ParameterChange::isDoubleChange(stored, widthMM)) return;
                document.updatePenWidth(index, widthMM);
            });
            penRowsLayout_->addWidget(row);
            penRowList_.push_back(row);
        } else {
            penRowList_[i]->setLayer(layer);
        }
        penRowList_[i]->setObjectName(QString("penLayer.%1").arg(layer.index));
        penRowList_[i]->setVisible(true);
    }
    for (std::size_t i = count; i < penRowList_.size(); ++i) {
        penRowList_[i]->setVisible(false);
        penRowList_[i]->setObjectName(QString());
    }
}

// Statistics --------------------------------------------------------------------------------------

QWidget* ParameterSidebarView::metricsCard(QWidget* parent) {
    QVBoxLayout* layout = nullptr;
    QWidget* block = section(parent, layout);
    auto* exportButton = new LinkButton(text("Export / Fiche\u2026", "Export / Report\u2026"),
                                        UIFonts::text(10, QFont::DemiBold), Theme::accent());
    exportButton->setObjectName("openExport");
    connect(exportButton, &QAbstractButton::clicked, this, [this] { model_.setShowExport(true); });
    metricsHeader_ = new SectionHeader(text("Statistiques", "Statistics"), exportButton, block);
    layout->addWidget(metricsHeader_);

    auto* body = new LanePanel(6, Theme::lane(), Theme::withOpacity(Qt::white, 0.06), block);
    body->setObjectName("metricsBody");
    auto* lines = column(body, 5);
    lines->setContentsMargins(10, 10, 10, 10);
    struct Line {
        const char* french;
        const char* english;
        QColor tint;
    };
    const Line rows[] = {
        {"Image source", "Source image", Theme::text()},
        {"Chemins / Courbes", "Paths / Curves", Theme::accent()},
        {"Longueur trac\u00E9", "Stroke length", Theme::alive()},
        {"Feuille AxiDraw", "AxiDraw sheet", Theme::text()},
        {"Distance voyage", "Travel distance", Theme::tcp()},
        {"Lev\u00E9es de stylo", "Pen lifts", Theme::text()},
        {"Temps trac\u00E9 estim\u00E9", "Estimated plot time", Theme::accent()},
        {"Temps de calcul", "Compute time", Theme::text()},
    };
    for (const Line& line : rows) {
        auto* row = new QWidget(body);
        auto* rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        rowLayout->setSpacing(4);
        auto* name = new QLabel(text(line.french, line.english), row);
        name->setFont(UIFonts::text(11));
        QPalette namePalette = name->palette();
        namePalette.setColor(QPalette::WindowText, Theme::textDim());
        name->setPalette(namePalette);
        auto* value = new QLabel(row);
        value->setFont(UIFonts::mono(11, QFont::Medium));
        value->setTextFormat(Qt::PlainText);
        QPalette valuePalette = value->palette();
        valuePalette.setColor(QPalette::WindowText, line.tint);
        value->setPalette(valuePalette);
        rowLayout->addWidget(name);
        rowLayout->addStretch(1);
        rowLayout->addWidget(value);
        lines->addWidget(row);
        statLines_.push_back({row, name, value});
    }
    layout->addWidget(body);
    return block;
}

void ParameterSidebarView::refreshMetrics() {
    const bool plotter = model_.showAxiDrawSection();
    metricsHeader_->setTitle(plotter ? text("Statistiques & Traceur", "Statistics & Plotter")
                                     : text("Statistiques", "Statistics"));
    const std::optional<VectorizationResult>& result = model_.vectorizer().result();
    const PlotterMetrics metrics = result ? result->metrics : PlotterMetrics();
    const std::string x = " \u00D7 ";
    const std::string values[] = {
        metrics.imageWidth < 1 ? std::string("\u2014")
                               : integerText(metrics.imageWidth) + x + integerText(metrics.imageHeight) + " px",
        integerText(metrics.pathCount) + " / " + integerText(metrics.bezierSegmentCount),
        Format::distanceMM(metrics.drawDistanceMM),
        whole(metrics.pageWidthMM) + x + whole(metrics.pageHeightMM) + " mm",
        Format::distanceMM(metrics.travelDistanceOptimizedMM) + " (-" + whole(metrics.travelSavingsPercent) + " %)",
        integerText(metrics.penLifts),
        Format::duration(metrics.estimatedPlotSeconds),
        Format::latency(metrics.computeMilliseconds),
    };
    for (std::size_t i = 0; i < statLines_.size(); ++i) {
        statLines_[i].value->setText(QString::fromStdString(values[i]));
        const bool plotterLine = i >= 3 && i <= 6;
        statLines_[i].row->setVisible(!plotterLine || plotter);
    }
}

}  // namespace ostrel
