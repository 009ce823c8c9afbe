#include "app/views/sheets/UpdateSheet.h"

#include "app/shell/AppModel.h"
#include "app/shell/MenuText.h"
#include "app/shell/Theme.h"
#include "app/ui/Chip.h"
#include "app/ui/Symbols.h"
#include "app/ui/TextButton.h"
#include "app/ui/UIFonts.h"
#include "app/ui/VectorizerHeroGraphic.h"

#include <QDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <variant>

namespace ostrel {

namespace {

constexpr int kPadding = 20;
constexpr int kNotesMinHeight = 70;
constexpr int kNotesMaxHeight = 140;

QString text(std::string_view french, std::string_view english) { return QString::fromStdString(L(french, english)); }

QLabel* makeLabel(const QString& content, const QFont& font, const QColor& color, QWidget* parent) {
    auto* label = new QLabel(content, parent);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

/// A small indeterminate spinner: twelve spokes whose brightness turns around the circle.
class Spinner final : public QWidget {
public:
    explicit Spinner(QWidget* parent) : QWidget(parent), timer_(new QTimer(this)) {
        setFixedSize(16, 16);
        setAttribute(Qt::WA_TransparentForMouseEvents, true);
        timer_->setInterval(80);
        connect(timer_, &QTimer::timeout, this, [this] {
            step_ = (step_ + 1) % kSpokes;
            update();
        });
    }

protected:
    void showEvent(QShowEvent*) override { timer_->start(); }
    void hideEvent(QHideEvent*) override { timer_->stop(); }
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.translate(width() / 2.0, height() / 2.0);
        for (int spoke = 0; spoke < kSpokes; ++spoke) {
            const int age = (step_ - spoke + kSpokes) % kSpokes;
            QPen pen(Theme::withOpacity(Theme::textDim(), 1.0 - 0.75 * age / kSpokes), 1.6);
            pen.setCapStyle(Qt::RoundCap);
            painter.setPen(pen);
            const double angle = 2 * std::numbers::pi * spoke / kSpokes;
            const QPointF direction(std::sin(angle), -std::cos(angle));
            painter.drawLine(direction * 3.5, direction * 7.0);
        }
    }

private:
    static constexpr int kSpokes = 12;
    QTimer* timer_;
    int step_ = 0;
};

/// One symbol of the symbol table, drawn in a square.
class SymbolView final : public QWidget {
public:
    SymbolView(std::string name, double points, QColor color, QWidget* parent)
        : QWidget(parent), name_(std::move(name)), points_(points), color_(color) {
        const int side = static_cast<int>(std::ceil(points * 1.2));
        setFixedSize(side, side);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing, true);
        Symbols::paint(painter, name_, QRectF(rect()), points_, color_);
    }

private:
    std::string name_;
    double points_;
    QColor color_;
};

/// A linear progress bar tinted with the accent colour over a faint track.
class ProgressLine final : public QWidget {
public:
    ProgressLine(double fraction, QWidget* parent)
        : QWidget(parent), fraction_(std::isfinite(fraction) ? std::clamp(fraction, 0.0, 1.0) : 0.0) {
        setFixedHeight(5);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing, true);
        const QRectF track(0, 0.5, width(), height() - 1);
        const double radius = track.height() / 2;
        QPainterPath trackShape;
        trackShape.addRoundedRect(track, radius, radius);
        painter.fillPath(trackShape, Theme::withOpacity(Qt::white, 0.1));
        if (fraction_ <= 0) return;
        QPainterPath fill;
        fill.addRoundedRect(QRectF(track.topLeft(), QSizeF(track.width() * fraction_, track.height())), radius, radius);
        painter.fillPath(fill, Theme::accent());
    }

private:
    double fraction_;
};

/// The padded card behind the release notes: white at 4 % on rounded corners.
class NotesCard final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing, true);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), 6, 6);
        painter.fillPath(shape, Theme::withOpacity(Qt::white, 0.04));
    }
};

/// A row of widgets centred vertically, 10 points apart, with `verticalPadding` above and below.
QWidget* makeCentredRow(std::initializer_list<QWidget*> items, int verticalPadding, QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, verticalPadding, 0, verticalPadding);
    line->setSpacing(10);
    for (QWidget* item : items) {
        item->setParent(row);
        line->addWidget(item, 0, Qt::AlignVCenter);
    }
    line->addStretch(1);
    return row;
}

/// A column of labels, leading-aligned, `spacing` apart.
QWidget* makeLabelColumn(std::initializer_list<QLabel*> labels, int spacing, QWidget* parent) {
    auto* holder = new QWidget(parent);
    auto* column = new QVBoxLayout(holder);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(spacing);
    for (QLabel* label : labels) {
        label->setParent(holder);
        column->addWidget(label);
    }
    return holder;
}

}  // namespace

UpdateSheet::UpdateSheet(AppModel& model, std::function<void()> close, QWidget* parent)
    : QWidget(parent), model_(model), close_(std::move(close)) {
    setAutoFillBackground(true);
    QPalette p = Theme::darkPalette();
    p.setColor(QPalette::Window, Theme::panel());
    setPalette(p);
    setFocusPolicy(Qt::StrongFocus);
    setFixedWidth(kWidth);

    column_ = new QVBoxLayout(this);
    column_->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    column_->setSpacing(16);
    column_->setSizeConstraint(QLayout::SetNoConstraint);

    // Header: the drawing, the title and the installed version.
    auto* header = new QHBoxLayout();
    header->setSpacing(12);
    hero_ = new VectorizerHeroGraphic(false, 46, this);
    header->addWidget(hero_, 0, Qt::AlignVCenter);
    auto* titles = new QVBoxLayout();
    titles->setSpacing(3);
    title_ = makeLabel(QString(), UIFonts::text(15, QFont::DemiBold), Theme::text(), this);
    version_ = makeLabel(QString(), UIFonts::mono(11.5), Theme::textDim(), this);
    titles->addWidget(title_);
    titles->addWidget(version_);
    header->addLayout(titles);
    header->addStretch(1);
    column_->addLayout(header);

    auto* rule = new QFrame(this);
    rule->setFixedHeight(1);
    rule->setAutoFillBackground(true);
    QPalette rulePalette = rule->palette();
    rulePalette.setColor(QPalette::Window, Theme::separator());
    rule->setPalette(rulePalette);
    column_->addWidget(rule);

    connect(&model_.updater(), &KavrinUpdater::stateChanged, this, &UpdateSheet::rebuild);
    connect(&model_, &AppModel::languageChanged, this, &UpdateSheet::rebuild);
    rebuild();
}

void UpdateSheet::rebuild() {
    const KavrinUpdater& updater = model_.updater();
    hero_->setActive(std::holds_alternative<UpdaterState::Checking>(updater.state()));
    hero_->update();
    title_->setText(text("Mises à jour — Ostrel", "Software Update — Ostrel"));
    version_->setText(text("Version installée : v", "Installed version: v") +
                      QString::fromStdString(updater.currentVersion()) + QStringLiteral(" (build ") +
                      QString::number(updater.currentBuild()) + QLatin1Char(')'));

    // The old block and buttons may be inside their own signal (a click that changed the state).
    for (QWidget* old : {stateBlock_, buttonRow_}) {
        if (old == nullptr) continue;
        column_->removeWidget(old);
        old->hide();
        old->deleteLater();
    }
    stateBlock_ = makeStateBlock();
    column_->addWidget(stateBlock_);
    makeButtons();
    column_->addWidget(buttonRow_);
    // Shown now rather than on the layout's next turn, so that they count in the height.
    stateBlock_->show();
    buttonRow_->show();
    fitHeight();
}

QWidget* UpdateSheet::makeStateBlock() {
    const KavrinUpdater::State& state = model_.updater().state();
    if (const auto* upToDate = std::get_if<UpdaterState::UpToDate>(&state)) {
        const std::string& version = upToDate->version;
        QWidget* lines = makeLabelColumn(
            {makeLabel(text("Ostrel v" + version + " est à jour.", "Ostrel v" + version + " is up to date."),
                       UIFonts::text(12.5, QFont::DemiBold), Theme::text(), nullptr),
             makeLabel(text("Aucune mise à jour plus récente n'est disponible.", "No newer update is available."),
                       UIFonts::text(11), Theme::textDim(), nullptr)},
            2, nullptr);
        return makeCentredRow({new SymbolView("checkmark.seal.fill", 18, Theme::alive(), nullptr), lines}, 10, this);
    }
    if (const auto* available = std::get_if<UpdaterState::UpdateAvailable>(&state)) {
        auto* block = new QWidget(this);
        auto* column = new QVBoxLayout(block);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(8);
        auto* chipLine = new QHBoxLayout();
        chipLine->addWidget(
            new Chip(text("NOUVELLE VERSION v", "NEW VERSION v") + QString::fromStdString(available->release.version),
                     Theme::accent(), true, block));
        chipLine->addStretch(1);
        column->addLayout(chipLine);

        auto* card = new NotesCard(block);
        auto* cardLayout = new QVBoxLayout(card);
        cardLayout->setContentsMargins(10, 10, 10, 10);
        auto* scroll = new QScrollArea(card);
        scroll->setObjectName(QStringLiteral("releaseNotes"));
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidgetResizable(true);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        scroll->viewport()->setAutoFillBackground(false);
        auto* notes = makeLabel(QString::fromStdString(available->release.localizedNotes()), UIFonts::text(11.5),
                                Theme::text(), nullptr);
        notes->setWordWrap(true);
        notes->setTextFormat(Qt::PlainText);
        notes->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        notes->setAutoFillBackground(false);
        scroll->setWidget(notes);
        // As tall as the notes, between 70 and 140 points; longer notes scroll.
        const int notesWidth = kWidth - 2 * kPadding - 2 * 10 - scroll->verticalScrollBar()->sizeHint().width();
        const int wanted = notes->heightForWidth(notesWidth);
        scroll->setFixedHeight(std::clamp(wanted, kNotesMinHeight, kNotesMaxHeight));
        cardLayout->addWidget(scroll);
        column->addWidget(card);
        return block;
    }
    if (const auto* downloading = std::get_if<UpdaterState::Downloading>(&state)) {
        auto* block = new QWidget(this);
        auto* column = new QVBoxLayout(block);
        column->setContentsMargins(0, 10, 0, 10);
        column->setSpacing(8);
        column->addWidget(makeLabel(text("Téléchargement de la mise à jour…", "Downloading update…"),
                                    UIFonts::text(12, QFont::Medium), Theme::text(), block));
        column->addWidget(new ProgressLine(downloading->fraction, block));
        return block;
    }
    if (std::holds_alternative<UpdaterState::Installing>(state)) {
        return makeCentredRow(
            {new Spinner(nullptr), makeLabel(text("Vérification de la signature et installation…",
                                                  "Verifying code signature and installing…"),
                                             UIFonts::text(12, QFont::Medium), Theme::text(), nullptr)},
            10, this);
    }
    if (const auto* failed = std::get_if<UpdaterState::Failed>(&state)) {
        auto* block = new QWidget(this);
        auto* row = new QHBoxLayout(block);
        row->setContentsMargins(0, 6, 0, 6);
        row->setSpacing(10);
        row->addWidget(new SymbolView("exclamationmark.triangle.fill", 16, Theme::warning(), block), 0, Qt::AlignTop);
        auto* message =
            makeLabel(QString::fromStdString(failed->message), UIFonts::text(11), Theme::textDim(), nullptr);
        message->setWordWrap(true);
        message->setTextFormat(Qt::PlainText);
        message->setObjectName(QStringLiteral("failureMessage"));
        QWidget* lines = makeLabelColumn({makeLabel(text("Impossible de vérifier ou d'installer la mise à jour",
                                                         "Could not check or install update"),
                                                    UIFonts::text(12, QFont::DemiBold), Theme::text(), nullptr),
                                          message},
                                         3, block);
        lines->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        row->addWidget(lines, 1, Qt::AlignTop);
        return block;
    }
    // Idle shows the same block as a running check.
    return makeCentredRow(
        {new Spinner(nullptr), makeLabel(text("Recherche de mises à jour en cours…", "Checking for updates…"),
                                         UIFonts::text(12), Theme::textDim(), nullptr)},
        14, this);
}

void UpdateSheet::makeButtons() {
    KavrinUpdater& updater = model_.updater();
    const KavrinUpdater::State& state = updater.state();
    buttonRow_ = new QWidget(this);
    auto* row = new QHBoxLayout(buttonRow_);
    row->setContentsMargins(0, 0, 0, 0);

    checkAgain_ = new TextButton(text("Rechercher à nouveau", "Check Again"),
                                 TextButton::Style{.symbol = "arrow.clockwise", .compact = true}, false, buttonRow_);
    // A check may not interrupt a download or an install.
    const bool busy = std::holds_alternative<UpdaterState::Downloading>(state) ||
                      std::holds_alternative<UpdaterState::Installing>(state) || updater.isInstalling();
    checkAgain_->setEnabled(!busy);
    connect(checkAgain_, &TextButton::clicked, this, [this] { model_.updater().checkForUpdates(false); });
    row->addWidget(checkAgain_);
    row->addStretch(1);

    later_ = nullptr;
    if (const auto* available = std::get_if<UpdaterState::UpdateAvailable>(&state)) {
        later_ = new QPushButton(menuText(text("Plus tard", "Later")), buttonRow_);
        later_->setAutoDefault(false);
        later_->setFont(UIFonts::text(11.5));
        connect(later_, &QPushButton::clicked, this, [this] { close_(); });
        row->addWidget(later_);
        auto* install =
            new TextButton(text("Mettre à jour et relancer", "Update & Relaunch"),
                           TextButton::Style{.symbol = "arrow.down.circle.fill", .prominent = true}, false, buttonRow_);
        const ReleaseInfo release = available->release;
        connect(install, &TextButton::clicked, this, [this, release] { model_.updater().downloadAndInstall(release); });
        row->addWidget(install);
        default_ = install;
    } else {
        auto* close = new QPushButton(menuText(text("Fermer", "Close")), buttonRow_);
        close->setAutoDefault(false);
        close->setFont(UIFonts::text(11.5));
        connect(close, &QPushButton::clicked, this, [this] { close_(); });
        row->addWidget(close);
        default_ = close;
    }
}

void UpdateSheet::fitHeight() {
    column_->invalidate();
    const int height = column_->hasHeightForWidth() ? column_->heightForWidth(kWidth) : column_->sizeHint().height();
    setFixedHeight(height);
    // Presented as a sheet of its own size: the dialog follows.
    auto* top = qobject_cast<QDialog*>(window());
    if (top != nullptr && top->layout() != nullptr) {
        top->layout()->invalidate();
        top->setFixedSize(top->layout()->sizeHint().expandedTo(size()));
    }
}

void UpdateSheet::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            if (default_ != nullptr && default_->isEnabled()) default_->click();
            event->accept();
            return;
        }
        if (event->key() == Qt::Key_Escape) {
            close_();
            event->accept();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

}  // namespace ostrel
