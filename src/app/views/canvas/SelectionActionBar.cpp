#include "app/views/canvas/SelectionActionBar.h"

#include "app/shell/AppModel.h"
#include "app/shell/KeyNames.h"
#include "app/shell/Theme.h"
#include "app/ui/IconButton.h"
#include "app/ui/TextButton.h"
#include "app/ui/UIFonts.h"
#include "app/views/canvas/CanvasOverlayParts.h"
#include "core/model/Localization.h"

#include <QAbstractButton>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLayoutItem>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

namespace ostrel {

namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }

/// A chrome-less pen button: the pen's colour dot and its 1-based number on a faint rounded fill.
class PenChip final : public QAbstractButton {
public:
    PenChip(std::int64_t index, QWidget* parent) : QAbstractButton(parent), index_(index) {
        setText(QString::number(index + 1));
        setCursor(Qt::PointingHandCursor);
        setFixedSize(sizeHint());
    }

    [[nodiscard]] QSize sizeHint() const override {
        const QFontMetricsF metrics(font());
        const double width = 6 + 8 + 4 + metrics.horizontalAdvance(text()) + 6;
        const double height = 3 + std::max(8.0, metrics.height()) + 3;
        return {static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(height))};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath back;
        back.addRoundedRect(QRectF(rect()), 4, 4);
        painter.fillPath(back, QColor::fromRgbF(1, 1, 1, 0.08f));
        const double mid = height() / 2.0;
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::penColor(index_));
        painter.drawEllipse(QRectF(6, mid - 4, 8, 8));
        painter.setFont(font());
        painter.setPen(Theme::text());
        painter.drawText(QRectF(18, 0, width() - 18 - 6, height()), Qt::AlignLeft | Qt::AlignVCenter, text());
    }

private:
    std::int64_t index_;
};

}  // namespace

SelectionActionBar::SelectionActionBar(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), row_(new QHBoxLayout(this)) {
    row_->setContentsMargins(12, 6, 12, 6);
    row_->setSpacing(8);
    row_->setSizeConstraint(QLayout::SetFixedSize);
    setAttribute(Qt::WA_TranslucentBackground);
    addFloatingShadow(this, 0.4);
    const auto refresh = [this] { rebuild(); };
    connect(&model_, &AppModel::selectedPathIDsChanged, this, refresh);
    connect(&model_, &AppModel::selectedVertexChanged, this, refresh);
    connect(&model_, &AppModel::languageChanged, this, refresh);
    connect(&model_.vectorizer(), &VectorizerController::paramsChanged, this, refresh);
    connect(&model_.vectorizer(), &VectorizerController::resultChanged, this, refresh);
    rebuild();
}

QString SelectionActionBar::countText(std::int64_t count) {
    const std::string digits = std::to_string(count);
    const char* plural = count >= 2 ? "s" : "";
    return qs(L(digits + " trait" + plural + " sélectionné" + plural, digits + " stroke" + plural + " selected"));
}

std::vector<std::int64_t> SelectionActionBar::offeredPens(std::int64_t penCount, const VectorizationResult* result) {
    std::vector<std::int64_t> pens;
    if (result == nullptr) return pens;
    const std::int64_t penSlots = std::min<std::int64_t>(std::max<std::int64_t>(penCount, 1), 4);
    for (std::int64_t i = 0; i < penSlots; ++i) {
        const bool present = std::any_of(result->layers.begin(), result->layers.end(),
                                         [i](const PenLayer& layer) { return layer.index == i; });
        if (present) pens.push_back(i);
    }
    return pens;
}

void SelectionActionBar::rebuild() {
    while (QLayoutItem* item = row_->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            // A button may be the one whose click led here: it goes after its signal returns.
            widget->hide();
            widget->setParent(nullptr);
            widget->deleteLater();
        }
        delete item;
    }
    const std::int64_t n = static_cast<std::int64_t>(model_.selectedPathIDs().size());
    if (n == 0) {
        emit contentChanged();
        return;
    }

    // Selection count.
    auto* count = new QWidget(this);
    auto* countRow = new QHBoxLayout(count);
    countRow->setContentsMargins(0, 0, 0, 0);
    countRow->setSpacing(5);
    countRow->addWidget(new DotWidget(7, Theme::tcp(), count));
    countRow->addWidget(new OneLineLabel(countText(n), UIFonts::mono(11, QFont::DemiBold), Theme::text(), count));
    row_->addWidget(count);

    // Pen group.
    const VectorizerController& document = model_.vectorizer();
    const auto& result = document.result();
    const std::vector<std::int64_t> pens = offeredPens(document.params().penCount, result ? &*result : nullptr);
    if (pens.size() >= 2) {
        row_->addWidget(makeBarDivider(this));
        row_->addWidget(new OneLineLabel(qs(L("Stylo :", "Pen:")), UIFonts::text(10.5), Theme::textDim(), this));
        for (const std::int64_t pen : pens) {
            auto* chip = new PenChip(pen, this);
            chip->setFont(UIFonts::text(10.5, QFont::Bold));
            chip->setFixedSize(chip->sizeHint());
            const std::string number = std::to_string(pen + 1);
            chip->setToolTip(qs(L("Affecter au Stylo " + number, "Assign to Pen " + number)));
            connect(chip, &QAbstractButton::clicked, this, [this, pen] { model_.assignSelectedToPen(pen); });
            row_->addWidget(chip);
        }
    }
    row_->addWidget(makeBarDivider(this));

    const auto addButton = [this](const std::string& title, const char* symbol, const std::string& tip,
                                  std::function<void(AppModel&)> action) {
        auto* button = new TextButton(qs(title), TextButton::Style{.symbol = symbol, .compact = true}, false, this);
        button->setToolTip(qs(tip));
        connect(button, &QAbstractButton::clicked, this, [this, action = std::move(action)] { action(model_); });
        row_->addWidget(button);
    };
    addButton(L("Simplifier", "Simplify"), "wand.and.rays",
              L("Simplifier les sommets des traits sélectionnés", "Simplify vertices of selected strokes"),
              [](AppModel& model) { model.simplifySelectedPaths(); });
    addButton(L("Inverser", "Reverse"), "arrow.left.arrow.right",
              L("Inverser le sens de parcours AxiDraw", "Reverse AxiDraw drawing direction"),
              [](AppModel& model) { model.reverseSelectedPaths(); });
    if (n >= 2) {
        addButton(L("Relier", "Join"), "link",
                  L("Relier les traits sélectionnés en un seul chemin continu",
                    "Join selected strokes into a single continuous path"),
                  [](AppModel& model) { model.joinSelectedPaths(); });
    }
    if (model_.selectedVertex().has_value()) {
        addButton(L("Scinder", "Split"), "scissors",
                  L("Scinder le trait en deux au sommet sélectionné", "Split stroke in two at selected vertex"),
                  [](AppModel& model) { model.splitAtSelectedVertex(); });
    }
    addButton(withKeys(L("Supprimer", "Delete"), "Backspace"), "trash",
              withKeys(L("Supprimer les traits sélectionnés", "Delete selected strokes"), "Backspace"),
              [](AppModel& model) { model.deleteSelectedPaths(); });
    auto* deselect = new IconButton("xmark", qs(withKeys(L("Tout désélectionner", "Deselect all"), "Esc")), false,
                                    Theme::accent(), false, this);
    connect(deselect, &QAbstractButton::clicked, this, [this] { model_.clearSelection(); });
    row_->addWidget(deselect);
    // Children added to a shown widget are shown only on the next turn of the event loop: show
    // them now so the size below counts them.
    for (int i = 0; i < row_->count(); ++i) {
        if (QWidget* widget = row_->itemAt(i)->widget()) widget->show();
    }
    row_->activate();
    adjustSize();
    updateGeometry();
    emit contentChanged();
}

void SelectionActionBar::fitWidth(int room) {
    const auto buttons = findChildren<TextButton*>(QString(), Qt::FindDirectChildrenOnly);
    for (const bool symbolsAlone : {false, true}) {
        for (TextButton* button : buttons) button->setSymbolOnly(symbolsAlone);
        row_->invalidate();
        if (row_->sizeHint().width() <= room) break;
    }
    adjustSize();
}

void SelectionActionBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintFloatingPanel(painter, QRectF(rect()), {8, 0.95, Theme::withOpacity(Theme::tcp(), 0.45)});
}

}  // namespace ostrel
