#include "app/views/sidebar/DirectPlotterCard.h"

#include "app/document/VectorizerController.h"
#include "app/plotter/AxiDrawPlotterController.h"
#include "app/shell/AppModel.h"
#include "app/shell/MenuText.h"
#include "app/shell/Theme.h"
#include "app/ui/FieldRow.h"
#include "app/ui/IconButton.h"
#include "app/ui/SliderRow.h"
#include "app/ui/Symbols.h"
#include "app/ui/UIFonts.h"
#include "app/views/sidebar/PlotActionRow.h"
#include "app/views/sidebar/PlotterJogToolbar.h"
#include "core/model/Localization.h"
#include "core/support/text/NumberFormat.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace ostrel {

namespace {

constexpr int kLabelColumn = 76;

QString text(std::string_view french, std::string_view english) { return QString::fromStdString(L(french, english)); }

int roundedPercent(double value) {
    const auto rounded = roundedInt64(value).value_or(0);
    return static_cast<int>(std::clamp<std::int64_t>(rounded, -1'000'000, 1'000'000));
}

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    palette.setColor(QPalette::ButtonText, color);
    widget->setPalette(palette);
}

QCheckBox* smallSwitch(const QString& title, QWidget* parent) {
    auto* box = new QCheckBox(menuText(title), parent);
    box->setFont(UIFonts::text(11));
    setTextColor(box, Theme::text());
    return box;
}

QComboBox* smallPicker(QWidget* parent) {
    auto* picker = new QComboBox(parent);
    picker->setFont(UIFonts::text(11));
    picker->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    picker->setMinimumContentsLength(4);
    picker->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return picker;
}

}  // namespace

/// A filled circle of a fixed size.
class DirectPlotterCard::Dot final : public QWidget {
public:
    Dot(int side, QWidget* parent) : QWidget(parent) { setFixedSize(side, side); }
    void setColor(const QColor& color) {
        if (color == color_) return;
        color_ = color;
        update();
    }
    [[nodiscard]] const QColor& color() const noexcept { return color_; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color_);
        painter.drawEllipse(QRectF(rect()));
    }

private:
    QColor color_;
};

/// One line of monospaced text, cut at its end with an ellipsis when the width is short.
class DirectPlotterCard::StatusText final : public QWidget {
public:
    explicit StatusText(QWidget* parent) : QWidget(parent) {
        setFont(UIFonts::mono(10));
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        setFixedHeight(fontMetrics().height());
    }
    void setText(const QString& text) {
        if (text == text_) return;
        text_ = text;
        update();
    }
    [[nodiscard]] const QString& text() const noexcept { return text_; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(Theme::textDim());
        const QString shown = fontMetrics().elidedText(text_, Qt::ElideRight, width());
        painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, shown);
    }

private:
    QString text_;
};

/// The pen-change prompt: a pencil and two lines on a standby-tinted rounded panel.
class DirectPlotterCard::Prompt final : public QWidget {
public:
    explicit Prompt(QWidget* parent) : QWidget(parent) {
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(8, 8, 8, 8);
        row->setSpacing(8);
        auto* symbol = new QLabel(Symbols::glyph("pencil.and.outline").value_or(QString()), this);
        QFont symbolFont = UIFonts::symbols(12);
        symbolFont.setBold(true);
        symbol->setFont(symbolFont);
        setTextColor(symbol, Theme::standby());
        row->addWidget(symbol, 0, Qt::AlignVCenter);
        auto* lines = new QVBoxLayout;
        lines->setSpacing(2);
        lines->setContentsMargins(0, 0, 0, 0);
        title_ = new QLabel(this);
        title_->setFont(UIFonts::text(11, QFont::DemiBold));
        setTextColor(title_, Theme::text());
        auto* hint = new QLabel(text("La tête est revenue en (0, 0). Changez de stylo puis cliquez sur Reprendre.",
                                     "Carriage is at (0, 0). Swap pen and click Resume."),
                                this);
        hint->setFont(UIFonts::text(10));
        hint->setWordWrap(true);
        setTextColor(hint, Theme::textDim());
        lines->addWidget(title_);
        lines->addWidget(hint);
        row->addLayout(lines, 1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    }
    void setTitle(const QString& title) { title_->setText(title); }
    [[nodiscard]] QString title() const { return title_->text(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        painter.setPen(QPen(Theme::withOpacity(Theme::standby(), 0.5), 1));
        painter.setBrush(Theme::withOpacity(Theme::standby(), 0.14));
        painter.drawRoundedRect(box, 6, 6);
    }

private:
    QLabel* title_;
};

QString DirectPlotterCard::percentText(int percent) { return QString::fromStdString(integerText(percent) + " %"); }

QString DirectPlotterCard::speedText(int percent, double mmPerSec) {
    return QString::fromStdString(integerText(percent) + " % (~" + integerText(roundedInt64(mmPerSec).value_or(0)) +
                                  " mm/s)");
}

DirectPlotterCard::DirectPlotterCard(AppModel& model, QWidget* parent)
    : QWidget(parent), plotter_(model.plotter()), document_(model.vectorizer()) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(10, 10, 10, 10);
    column->setSpacing(8);

    // 1. Header: device dot, title, refresh.
    auto* header = new QHBoxLayout;
    header->setSpacing(6);
    header->setContentsMargins(0, 0, 0, 0);
    deviceDot_ = new Dot(7, this);
    auto* title = new QLabel(text("PILOTAGE DIRECT AXIDRAW (USB / EBB)", "DIRECT AXIDRAW CONTROL (USB / EBB)"), this);
    QFont titleFont = UIFonts::text(10, QFont::DemiBold);
    titleFont.setLetterSpacing(QFont::AbsoluteSpacing, 0.6);
    title->setFont(titleFont);
    setTextColor(title, Theme::textFaint());
    refresh_ = new IconButton("arrow.clockwise",
                              text("Actualiser les ports USB (/dev/ttyACM*, /dev/ttyUSB*)",
                                   "Refresh USB serial ports (/dev/ttyACM*, /dev/ttyUSB*)"),
                              false, Theme::accent(), false, this);
    header->addWidget(deviceDot_, 0, Qt::AlignVCenter);
    header->addWidget(title, 0, Qt::AlignVCenter);
    header->addStretch(1);
    header->addSpacing(4);
    header->addWidget(refresh_, 0, Qt::AlignVCenter);
    column->addLayout(header);

    // 2–3. Port and machine pickers.
    portPicker_ = smallPicker(this);
    column->addWidget(new FieldRow(text("Port USB", "USB Port"), kLabelColumn, portPicker_, this));
    machinePicker_ = smallPicker(this);
    for (AxiDrawMachineModel machine : allCases<AxiDrawMachineModel>()) {
        machinePicker_->addItem(QString::fromStdString(shortLabel(machine)), static_cast<int>(machine));
    }
    column->addWidget(new FieldRow(text("Modèle", "Machine"), kLabelColumn, machinePicker_, this));

    // 4–5. Jog toolbar and plot actions.
    jog_ = new PlotterJogToolbar(document_, plotter_, this);
    column->addWidget(jog_);
    actions_ = new PlotActionRow(document_, plotter_, this);
    column->addWidget(actions_);

    // 6. Pen-change prompt.
    prompt_ = new Prompt(this);
    column->addWidget(prompt_);

    // 7–10. Heights and speeds.
    const AxiDrawConfig& config = plotter_.config();
    penUp_ = new SliderRow(text("Hauteur stylo haut (SP,1)", "Pen-up height (SP,1)"), percentText(config.penUpPercent),
                           config.penUpPercent, 0, 100, 2, Theme::tcp(), this);
    penDown_ = new SliderRow(text("Hauteur stylo bas (SP,0)", "Pen-down height (SP,0)"),
                             percentText(config.penDownPercent), config.penDownPercent, 0, 100, 2, Theme::tcp(), this);
    drawSpeed_ = new SliderRow(text("Vitesse de tracé", "Drawing speed"),
                               speedText(config.drawSpeedPercent, config.drawSpeedMMPerSec()), config.drawSpeedPercent,
                               5, 100, 5, Theme::alive(), this);
    travelSpeed_ = new SliderRow(text("Vitesse stylo levé", "Rapid travel speed"),
                                 speedText(config.travelSpeedPercent, config.travelSpeedMMPerSec()),
                                 config.travelSpeedPercent, 10, 100, 5, Theme::alive(), this);
    for (SliderRow* row : {penUp_, penDown_, drawSpeed_, travelSpeed_}) column->addWidget(row);

    // 11. Pause between pen layers.
    pauseSwitch_ = smallSwitch(text("Pause en (0, 0) entre chaque stylo", "Pause at (0, 0) between pen layers"), this);
    column->addWidget(pauseSwitch_);

    // 12. Status line.
    auto* statusRow = new QHBoxLayout;
    statusRow->setSpacing(6);
    statusRow->setContentsMargins(0, 0, 0, 0);
    penDot_ = new Dot(6, this);
    status_ = new StatusText(this);
    statusRow->addWidget(penDot_, 0, Qt::AlignVCenter);
    statusRow->addWidget(status_, 1, Qt::AlignVCenter);
    column->addLayout(statusRow);

    heightQuiet_ = new QTimer(this);
    heightQuiet_->setSingleShot(true);
    heightQuiet_->setInterval(kHeightQuietMs);
    connect(heightQuiet_, &QTimer::timeout, this, &DirectPlotterCard::sendHeights);

    // Writes.
    connect(refresh_, &IconButton::clicked, this, [this] { plotter_.refreshPorts(); });
    connect(portPicker_, &QComboBox::activated, this,
            [this](int index) { plotter_.setSelectedPortPath(portPicker_->itemData(index).toString().toStdString()); });
    connect(machinePicker_, &QComboBox::activated, this, [this](int index) {
        AxiDrawConfig next = plotter_.config();
        next.machineModel = static_cast<AxiDrawMachineModel>(machinePicker_->itemData(index).toInt());
        plotter_.setConfig(next);
    });
    for (SliderRow* row : {penUp_, penDown_}) {
        connect(row, &SliderRow::valueChanged, this, &DirectPlotterCard::heightMoved);
        connect(row->slider(), &QSlider::sliderReleased, this, [this] {
            if (heightsEdited_) sendHeights();
        });
    }
    connect(drawSpeed_, &SliderRow::valueChanged, this, [this](double value) {
        AxiDrawConfig next = plotter_.config();
        next.drawSpeedPercent = roundedPercent(value);
        plotter_.setConfig(next);
    });
    connect(travelSpeed_, &SliderRow::valueChanged, this, [this](double value) {
        AxiDrawConfig next = plotter_.config();
        next.travelSpeedPercent = roundedPercent(value);
        plotter_.setConfig(next);
    });
    connect(pauseSwitch_, &QCheckBox::toggled, this, [this](bool on) {
        if (plotter_.config().pauseBetweenPenLayers == on) return;
        AxiDrawConfig next = plotter_.config();
        next.pauseBetweenPenLayers = on;
        plotter_.setConfig(next);
    });

    // Reads.
    connect(&plotter_, &AxiDrawPlotterController::availablePortsChanged, this, &DirectPlotterCard::syncPorts);
    connect(&plotter_, &AxiDrawPlotterController::selectedPortPathChanged, this, &DirectPlotterCard::syncPorts);
    connect(&plotter_, &AxiDrawPlotterController::configChanged, this, &DirectPlotterCard::syncConfig);
    connect(&plotter_, &AxiDrawPlotterController::runStateChanged, this, &DirectPlotterCard::syncRunState);
    connect(&plotter_, &AxiDrawPlotterController::statusLogChanged, this, &DirectPlotterCard::syncStatus);
    connect(&plotter_, &AxiDrawPlotterController::isPenDownChanged, this, &DirectPlotterCard::syncStatus);
    connect(&document_, &VectorizerController::paramsChanged, this, &DirectPlotterCard::syncPenCount);
    syncPorts();
    syncConfig();
    syncRunState();
    syncStatus();
    syncPenCount();
}

void DirectPlotterCard::syncPorts() {
    const QSignalBlocker quiet(portPicker_);
    portPicker_->clear();
    for (const AxiDrawPortDevice& port : plotter_.availablePorts()) {
        portPicker_->addItem(QString::fromStdString(port.displayName), QString::fromStdString(port.path));
    }
    // A selection that is not listed shows no entry (and counts as the simulator).
    portPicker_->setCurrentIndex(portPicker_->findData(QString::fromStdString(plotter_.selectedPortPath())));
    deviceDot_->setColor(plotter_.selectedDevice().isSimulator ? Theme::standby() : Theme::alive());
}

void DirectPlotterCard::syncConfig() {
    const AxiDrawConfig& config = plotter_.config();
    {
        const QSignalBlocker quiet(machinePicker_);
        machinePicker_->setCurrentIndex(machinePicker_->findData(static_cast<int>(config.machineModel)));
    }
    // Heights being edited keep what the user chose until it is sent; a failed send comes back here
    // with the heights the board still has.
    if (!heightsEdited_ && !penUp_->slider()->isSliderDown() && !penDown_->slider()->isSliderDown()) {
        penUp_->setValue(config.penUpPercent);
        penUp_->setValueText(percentText(config.penUpPercent));
        penDown_->setValue(config.penDownPercent);
        penDown_->setValueText(percentText(config.penDownPercent));
    }
    if (!drawSpeed_->slider()->isSliderDown()) drawSpeed_->setValue(config.drawSpeedPercent);
    drawSpeed_->setValueText(speedText(config.drawSpeedPercent, config.drawSpeedMMPerSec()));
    if (!travelSpeed_->slider()->isSliderDown()) travelSpeed_->setValue(config.travelSpeedPercent);
    travelSpeed_->setValueText(speedText(config.travelSpeedPercent, config.travelSpeedMMPerSec()));
    const QSignalBlocker quiet(pauseSwitch_);
    pauseSwitch_->setChecked(config.pauseBetweenPenLayers);
}

void DirectPlotterCard::syncRunState() {
    const AxiDrawRunState& state = plotter_.runState();
    const bool penChange = state.kind == AxiDrawRunState::Kind::pausedForPenChange;
    if (penChange) {
        const std::string width =
            Localization::isEnglish() ? fixed(state.widthMM, 1) : withDecimalComma(fixed(state.widthMM, 1));
        prompt_->setTitle(QString::fromStdString(
            L("Insérez " + state.penName + " (" + width + " mm)", "Insert " + state.penName + " (" + width + " mm)")));
    }
    prompt_->setVisible(penChange);
}

void DirectPlotterCard::syncStatus() {
    penDot_->setColor(plotter_.isPenDown() ? Theme::accent() : Theme::textFaint());
    status_->setText(QString::fromStdString(plotter_.statusLog()));
}

void DirectPlotterCard::syncPenCount() { pauseSwitch_->setVisible(document_.params().penCount >= 2); }

void DirectPlotterCard::heightMoved() {
    heightsEdited_ = true;
    penUp_->setValueText(percentText(roundedPercent(penUp_->value())));
    penDown_->setValueText(percentText(roundedPercent(penDown_->value())));
    // A drag sends on release; keys, the wheel and clicks on the groove after a short quiet time.
    if (penUp_->slider()->isSliderDown() || penDown_->slider()->isSliderDown()) {
        heightQuiet_->stop();
    } else {
        heightQuiet_->start();
    }
}

void DirectPlotterCard::sendHeights() {
    heightQuiet_->stop();
    heightsEdited_ = false;
    plotter_.applyPenHeights(roundedPercent(penUp_->value()), roundedPercent(penDown_->value()));
}

QWidget* DirectPlotterCard::penChangePrompt() const noexcept { return prompt_; }

QString DirectPlotterCard::penChangeText() const { return prompt_->title(); }

QString DirectPlotterCard::statusText() const { return status_->text(); }

QColor DirectPlotterCard::deviceDotColor() const { return deviceDot_->color(); }

QWidget* DirectPlotterCard::deviceDot() const noexcept { return deviceDot_; }

QColor DirectPlotterCard::penDotColor() const { return penDot_->color(); }

void DirectPlotterCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(Theme::withOpacity(Theme::accent(), 0.28), 1));
    painter.setBrush(Theme::withOpacity(Theme::lane(), 0.85));
    painter.drawRoundedRect(box, 7, 7);
}

}  // namespace ostrel
