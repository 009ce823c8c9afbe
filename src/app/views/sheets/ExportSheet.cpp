#include "app/views/sheets/ExportSheet.h"

#include "app/shell/AppModel.h"
#include "app/shell/MenuText.h"
#include "app/shell/Theme.h"
#include "app/ui/SectionHeader.h"
#include "app/ui/Symbols.h"
#include "app/ui/TextButton.h"
#include "app/ui/UIFonts.h"
#include "core/model/Localization.h"

#include <QAbstractButton>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace ostrel {

namespace {

QString q(const std::string& text) { return QString::fromStdString(text); }
QString q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QLabel* coloredLabel(const QString& text, const QFont& font, QColor color, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

/// One format: a radio mark, the label above its detail; the whole row takes the click.
class FormatRow final : public QAbstractButton {
public:
    FormatRow(VectorExportFormat format, QWidget* parent) : QAbstractButton(parent), format_(format) {
        setFocusPolicy(Qt::NoFocus);
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(8 + kMarkWidth + 10, 8, 8, 8);
        auto* texts = new QVBoxLayout;
        texts->setSpacing(2);
        title_ = coloredLabel(q(label(format)), UIFonts::text(12, QFont::Medium), Theme::text(), this);
        detail_ = coloredLabel(q(detail(format)), UIFonts::text(10.5), Theme::textDim(), this);
        detail_->setWordWrap(true);
        for (QLabel* text : {title_, detail_}) text->setAttribute(Qt::WA_TransparentForMouseEvents);
        texts->addWidget(title_);
        texts->addWidget(detail_);
        row->addLayout(texts, 1);
    }

    [[nodiscard]] VectorExportFormat format() const noexcept { return format_; }

    void setSelected(bool selected) {
        selected_ = selected;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing, true);
        if (selected_) {
            QPainterPath shape;
            shape.addRoundedRect(QRectF(rect()), 6, 6);
            painter.fillPath(shape, Theme::laneSelected());
        }
        // The mark sits on the label's line.
        const QRectF mark(8, title_->geometry().center().y() - kMarkWidth / 2.0, kMarkWidth, kMarkWidth);
        Symbols::paint(painter, selected_ ? "largecircle.fill.circle" : "circle", mark, 12,
                       selected_ ? Theme::accent() : Theme::textFaint());
    }

    [[nodiscard]] bool hitButton(const QPoint& position) const override { return rect().contains(position); }

private:
    static constexpr int kMarkWidth = 16;

    VectorExportFormat format_;
    QLabel* title_;
    QLabel* detail_;
    bool selected_ = false;
};

}  // namespace

ExportSheet::ExportSheet(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    setFixedWidth(sheetWidth);
    auto* frame = new QVBoxLayout(this);
    frame->setContentsMargins(0, 0, 0, 0);
    build();
    // Escape cancels and Return saves, wherever the focus is inside the sheet.
    const auto clickButton = [this](const char* name) {
        return [this, name] {
            if (auto* button = body_->findChild<QAbstractButton*>(QString::fromLatin1(name))) button->click();
        };
    };
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, clickButton("cancel"));
    for (const int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, clickButton("save"));
    }
    connect(&model_, &AppModel::exportFormatChanged, this, &ExportSheet::refreshSelection);
    connect(&model_, &AppModel::languageChanged, this, &ExportSheet::build);
}

void ExportSheet::build() {
    if (body_ != nullptr) {
        layout()->removeWidget(body_);
        delete body_;
    }
    rows_.clear();
    body_ = new QWidget(this);
    layout()->addWidget(body_);
    auto* column = new QVBoxLayout(body_);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(16);

    column->addWidget(
        coloredLabel(q(L("Exporter le tracé vectoriel & la fiche AxiDraw", "Export Vector Plot & AxiDraw Report")),
                     UIFonts::text(15, QFont::DemiBold), Theme::text(), body_));
    column->addWidget(new SectionHeader(QStringLiteral("Format"), nullptr, body_));

    auto* list = new QVBoxLayout;
    list->setSpacing(4);
    for (const VectorExportFormat format : allCases<VectorExportFormat>()) {
        auto* row = new FormatRow(format, body_);
        row->setObjectName(QStringLiteral("format.") + q(rawValue(format)));
        connect(row, &QAbstractButton::clicked, this, [this, format] { model_.setExportFormat(format); });
        list->addWidget(row);
        rows_.push_back(row);
    }
    column->addLayout(list);

    auto* buttons = new QHBoxLayout;
    auto* cancel = new QPushButton(menuText(L("Annuler", "Cancel")), body_);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setAutoDefault(false);  // Return belongs to Save…
    connect(cancel, &QAbstractButton::clicked, this, [this] { model_.setShowExport(false); });
    buttons->addWidget(cancel);
    buttons->addStretch(1);
    auto* copy = new TextButton(q(L("Copier", "Copy")), TextButton::Style{"doc.on.doc", false, false, {}, false, false},
                                false, body_);
    copy->setObjectName(QStringLiteral("copy"));
    connect(copy, &QAbstractButton::clicked, this, [this] { model_.copyExport(); });
    buttons->addWidget(copy);
    auto* save =
        new TextButton(q(L("Enregistrer…", "Save…")),
                       TextButton::Style{"square.and.arrow.down", true, false, {}, false, false}, false, body_);
    save->setObjectName(QStringLiteral("save"));
    connect(save, &QAbstractButton::clicked, this, [this] { model_.saveExport(); });
    buttons->addWidget(save);
    column->addLayout(buttons);

    refreshSelection();
    body_->show();
    updateGeometry();
}

QSize ExportSheet::sizeHint() const {
    // The details wrap: the height is the one the column needs at the sheet's width.
    return {sheetWidth, layout()->totalHeightForWidth(sheetWidth)};
}

void ExportSheet::refreshSelection() {
    for (QWidget* row : rows_) {
        auto* formatRow = static_cast<FormatRow*>(row);
        formatRow->setSelected(formatRow->format() == model_.exportFormat());
    }
}

void ExportSheet::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Theme::panel());
}

}  // namespace ostrel
