#include "app/views/canvas/CanvasWelcomeView.h"

#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"
#include "app/ui/Symbols.h"
#include "app/ui/TextButton.h"
#include "app/ui/UIFonts.h"
#include "app/ui/VectorizerHeroGraphic.h"
#include "core/model/Localization.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace ostrel {

namespace {

constexpr int kRowWidth = 360;

QString qs(const std::string& text) { return QString::fromStdString(text); }

void setColor(QLabel* label, const QColor& color) {
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, color);
    label->setPalette(p);
}

}  // namespace

// ----- Recent row -----

RecentFileRow::RecentFileRow(std::filesystem::path file, QWidget* parent)
    : QAbstractButton(parent), file_(std::move(file)) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setFixedWidth(kRowWidth);
    setToolTip(QString::fromStdString(file_.string()));
}

QSize RecentFileRow::sizeHint() const {
    const double nameHeight = QFontMetricsF(UIFonts::text(11.5, QFont::Medium)).height();
    return {kRowWidth, static_cast<int>(std::ceil(nameHeight + 12))};
}

void RecentFileRow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(rect());
    QPainterPath shape;
    shape.addRoundedRect(box, 6, 6);
    p.fillPath(shape, Theme::lane());
    QPainterPath border;
    border.addRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 5.5, 5.5);
    p.strokePath(border, QPen(Theme::withOpacity(Qt::white, 0.06), 1));

    const QRectF inner = box.adjusted(10, 6, -10, -6);
    double x = inner.left();
    if (const auto glyph = Symbols::glyph("photo")) {
        const QFont symbolFont = UIFonts::symbols(11);
        p.setFont(symbolFont);
        p.setPen(Theme::accent());
        const double advance = QFontMetricsF(symbolFont).horizontalAdvance(*glyph);
        p.drawText(QRectF(x, inner.top(), advance, inner.height()), Qt::AlignCenter, *glyph);
        x += advance + 8;
    }
    const QFont folderFont = UIFonts::text(10);
    const QString folder = QString::fromStdString(file_.parent_path().filename().string());
    const double folderWidth = QFontMetricsF(folderFont).horizontalAdvance(folder);
    p.setFont(folderFont);
    p.setPen(Theme::textFaint());
    p.drawText(QRectF(inner.right() - folderWidth, inner.top(), folderWidth, inner.height()),
               Qt::AlignRight | Qt::AlignVCenter, folder);

    const QFont nameFont = UIFonts::text(11.5, QFont::Medium);
    const double nameRoom = std::max(0.0, inner.right() - folderWidth - 8 - x);
    const QString name =
        QFontMetricsF(nameFont).elidedText(QString::fromStdString(file_.filename().string()), Qt::ElideRight, nameRoom);
    p.setFont(nameFont);
    p.setPen(Theme::text());
    p.drawText(QRectF(x, inner.top(), nameRoom, inner.height()), Qt::AlignLeft | Qt::AlignVCenter, name);
}

// ----- Welcome -----

CanvasWelcomeView::CanvasWelcomeView(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(32, 32, 32, 32);
    column->setSpacing(18);
    column->addStretch(1);

    auto* hero = new VectorizerHeroGraphic(false, 100, this);
    column->addWidget(hero, 0, Qt::AlignHCenter);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(6);
    title_ = new QLabel(this);
    title_->setFont(UIFonts::text(16, QFont::DemiBold));
    setColor(title_, Theme::text());
    title_->setAlignment(Qt::AlignCenter);
    explanation_ = new QLabel(this);
    explanation_->setFont(UIFonts::text(12));
    setColor(explanation_, Theme::textDim());
    explanation_->setAlignment(Qt::AlignCenter);
    explanation_->setWordWrap(true);
    texts->addWidget(title_, 0, Qt::AlignHCenter);
    texts->addWidget(explanation_, 0, Qt::AlignHCenter);
    column->addLayout(texts);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    buttons->addStretch(1);
    openButton_ = new TextButton(QString(), TextButton::Style{.symbol = "folder", .prominent = true}, false, this);
    pasteButton_ = new TextButton(QString(), TextButton::Style{.symbol = "doc.on.clipboard"}, false, this);
    buttons->addWidget(openButton_, 0, Qt::AlignVCenter);
    buttons->addWidget(pasteButton_, 0, Qt::AlignVCenter);
    buttons->addStretch(1);
    column->addLayout(buttons);
    connect(openButton_, &QAbstractButton::clicked, this, [this] { model_.openImagePanel(); });
    connect(pasteButton_, &QAbstractButton::clicked, this, [this] { model_.pasteImageFromClipboard(); });

    recentSection_ = new QWidget(this);
    auto* recent = new QVBoxLayout(recentSection_);
    recent->setContentsMargins(0, 6, 0, 0);
    recent->setSpacing(6);
    recentHeader_ = new QLabel(recentSection_);
    QFont headerFont = UIFonts::text(10, QFont::DemiBold);
    headerFont.setLetterSpacing(QFont::AbsoluteSpacing, 0.8);
    recentHeader_->setFont(headerFont);
    recentHeader_->setContentsMargins(4, 0, 4, 0);
    setColor(recentHeader_, Theme::textFaint());
    recent->addWidget(recentHeader_, 0, Qt::AlignLeft);
    recentList_ = new QWidget(recentSection_);
    recentList_->setFixedWidth(kRowWidth);
    recentLayout_ = new QVBoxLayout(recentList_);
    recentLayout_->setContentsMargins(0, 0, 0, 0);
    recentLayout_->setSpacing(3);
    recent->addWidget(recentList_);
    column->addWidget(recentSection_, 0, Qt::AlignHCenter);
    column->addStretch(1);

    connect(&model_, &AppModel::languageChanged, this, &CanvasWelcomeView::retranslate);
    connect(&model_, &AppModel::recentURLsChanged, this, &CanvasWelcomeView::rebuildRecent);
    retranslate();
    rebuildRecent();
}

std::vector<RecentFileRow*> CanvasWelcomeView::recentRows() const {
    std::vector<RecentFileRow*> rows;
    for (int i = 0; i < recentLayout_->count(); ++i) {
        if (auto* row = qobject_cast<RecentFileRow*>(recentLayout_->itemAt(i)->widget())) rows.push_back(row);
    }
    return rows;
}

void CanvasWelcomeView::retranslate() {
    title_->setText(qs(L("Aucune image ouverte", "No image open")));
    explanation_->setText(
        qs(L("Glisser-déposer un dessin au trait ici, ouvrir un fichier (Ctrl+O) ou coller depuis le "
             "presse-papiers (Ctrl+V).",
             "Drag and drop a line drawing here, open an image file (Ctrl+O), or paste from "
             "clipboard (Ctrl+V).")));
    // Wrapped at 460 points at most: fix the width, then the height its lines need.
    const int natural =
        static_cast<int>(std::ceil(QFontMetricsF(explanation_->font()).horizontalAdvance(explanation_->text()))) + 2;
    const int width = std::min(natural, 460);
    explanation_->setFixedWidth(width);
    explanation_->setFixedHeight(explanation_->heightForWidth(width));
    openButton_->setTitle(qs(L("Ouvrir une image… (Ctrl+O)", "Open Image… (Ctrl+O)")));
    pasteButton_->setTitle(qs(L("Coller (Ctrl+V)", "Paste (Ctrl+V)")));
    recentHeader_->setText(qs(L("OUVRIR RÉCENT", "OPEN RECENT")));
}

void CanvasWelcomeView::rebuildRecent() {
    while (QLayoutItem* item = recentLayout_->takeAt(0)) {
        // Later: the row being clicked may be the one that asked for this rebuild.
        if (QWidget* row = item->widget()) {
            row->hide();
            row->deleteLater();
        }
        delete item;
    }
    const auto& urls = model_.recentURLs();
    const std::size_t count = std::min(urls.size(), kRecentRows);
    for (std::size_t i = 0; i < count; ++i) {
        auto* row = new RecentFileRow(urls[i], recentList_);
        connect(row, &QAbstractButton::clicked, this, [this, file = urls[i]] { model_.open(file); });
        recentLayout_->addWidget(row);
    }
    recentSection_->setVisible(count > 0);
}

}  // namespace ostrel
