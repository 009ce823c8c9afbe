#include "app/views/canvas/EditHintPill.h"

#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"
#include "app/ui/Symbols.h"
#include "app/ui/UIFonts.h"
#include "app/views/canvas/CanvasOverlayParts.h"

#include <QPainter>

namespace ostrel {

namespace {

constexpr double kSymbolPoints = 10;
constexpr int kSymbolBox = 14;  // the square the symbol is centred in
constexpr int kPadX = 9;
constexpr int kPadY = 5;
constexpr int kGap = 6;

}  // namespace

EditHintPill::EditHintPill(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), text_(new OneLineLabel({}, UIFonts::text(10.5), Theme::textDim(), this)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    connect(&model_, &AppModel::editToolChanged, this, &EditHintPill::refresh);
    connect(&model_, &AppModel::languageChanged, this, &EditHintPill::refresh);
    refresh();
}

std::string_view EditHintPill::symbolName(CanvasEditTool tool) noexcept {
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
    return "cursorarrow.click";
}

QString EditHintPill::shownText() const { return text_->shownText(); }

void EditHintPill::refresh() {
    symbol_ = symbolName(model_.editTool());
    text_->setText(QString::fromStdString(helpText(model_.editTool())));
    updateGeometry();
    adjustSize();
    placeLabel();
    update();
}

QSize EditHintPill::sizeHint() const {
    const QSize label = text_->sizeHint();
    return {kPadX + kSymbolBox + kGap + label.width() + kPadX, kPadY + std::max(kSymbolBox, label.height()) + kPadY};
}

QSize EditHintPill::minimumSizeHint() const {
    const QSize label = text_->minimumSizeHint();
    return {kPadX + kSymbolBox + kGap + label.width() + kPadX, sizeHint().height()};
}

void EditHintPill::placeLabel() {
    // The label takes whatever width is left, so a narrowed pill cuts its text.
    const int labelX = kPadX + kSymbolBox + kGap;
    text_->setGeometry(labelX, 0, std::max(0, width() - labelX - kPadX), height());
}

void EditHintPill::resizeEvent(QResizeEvent*) { placeLabel(); }

void EditHintPill::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintFloatingPanel(painter, QRectF(rect()), {6, 0.88, QColor::fromRgbF(1, 1, 1, 0.07f)});
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(kPadX, (height() - kSymbolBox) / 2.0, kSymbolBox, kSymbolBox);
    Symbols::paint(painter, symbol_, box, kSymbolPoints, Theme::accent());
}

}  // namespace ostrel
