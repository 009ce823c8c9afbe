#include "app/views/sheets/AboutSheet.h"

#include "app/shell/AppModel.h"
#include "app/shell/KeyNames.h"
#include "app/shell/Theme.h"
#include "app/ui/UIFonts.h"
#include "app/ui/VectorizerHeroGraphic.h"
#include "core/model/Localization.h"

#include <QDesktopServices>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace ostrel {

using SheetParts::qs;

namespace {

/// The 72 × 72 tile behind the hero drawing: a dark vertical gradient, a faint inner border and a
/// soft shadow below.
class HeroTile final : public QWidget {
public:
    explicit HeroTile(QWidget* parent) : QWidget(parent) {
        setFixedSize(72, 72);
        auto* graphic = new VectorizerHeroGraphic(false, 58, this);
        graphic->setGeometry(7, 7, 58, 58);
        auto* shadow = new QGraphicsDropShadowEffect(this);
        shadow->setColor(QColor(0, 0, 0, 102));
        shadow->setBlurRadius(20);
        shadow->setOffset(0, 4);
        setGraphicsEffect(shadow);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing, true);
        QLinearGradient gradient(0, 0, 0, height());
        gradient.setColorAt(0, QColor(34, 39, 49));
        gradient.setColorAt(1, QColor(14, 16, 20));
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), 16, 16);
        painter.fillPath(shape, gradient);
        QPainterPath inner;
        inner.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 15.5, 15.5);
        painter.setPen(QPen(Theme::withOpacity(Qt::white, 0.08), 1));
        painter.drawPath(inner);
    }
};

/// A capsule label: symbol and text in the tint on the tint at 12 %. Returns the pill and its text.
std::pair<QWidget*, QLabel*> pill(std::string_view icon, const QString& text, QColor tint, QWidget* parent) {
    auto* box = new RoundedBox(Theme::withOpacity(tint, 0.12), -1, parent);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(7, 3, 7, 3);
    row->setSpacing(4);
    row->addWidget(new SymbolGlyph(std::string(icon), 9, tint, QSize(11, 11), box), 0, Qt::AlignVCenter);
    QLabel* label = SheetParts::label(text, UIFonts::text(10, QFont::Medium), tint, false, box);
    row->addWidget(label, 0, Qt::AlignVCenter);
    box->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return {box, label};
}

QWidget* featureCard(const AboutSheet::Feature& feature, QWidget* parent) {
    auto* card = new RoundedBox(Theme::withOpacity(Qt::white, 0.04), 8, parent);
    card->setObjectName(QStringLiteral("featureCard"));
    card->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* row = new QHBoxLayout(card);
    row->setContentsMargins(10, 10, 10, 10);
    row->setSpacing(10);
    auto* tile = new RoundedBox(Theme::withOpacity(feature.tint, 0.14), 6, card);
    tile->setFixedSize(24, 24);
    auto* glyph = new SymbolGlyph(feature.icon, 13, feature.tint, QSize(24, 24), tile);
    glyph->move(0, 0);
    row->addWidget(tile, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    texts->addWidget(
        SheetParts::label(qs(feature.title), UIFonts::text(11.5, QFont::DemiBold), Theme::text(), true, card));
    texts->addWidget(SheetParts::label(qs(feature.detail), UIFonts::text(10.5), Theme::textDim(), true, card));
    row->addLayout(texts, 1);
    return card;
}

QString oscPillText(std::uint16_t port) { return QStringLiteral("OSC UDP :") + QString::number(port); }
QString httpPillText(std::uint16_t port) { return QStringLiteral("HTTP / MCP :") + QString::number(port); }

}  // namespace

AboutSheet::AboutSheet(AppModel& model, std::function<void()> openHelp, std::function<void()> close, QWidget* parent)
    : SheetFrame(std::move(close), parent), model_(model), openHelp_(std::move(openHelp)) {
    setFixedWidth(sheetWidth);
    rebuild();
    connect(&model_, &AppModel::languageChanged, this, [this] { rebuild(); });
    connect(&model_.updater(), &KavrinUpdater::stateChanged, this, [this] { refreshUpdateButton(); });
    SheetParts::onPortsChanged(model_, this, [this] { refreshPorts(); });
}

std::vector<AboutSheet::Feature> AboutSheet::features() {
    return {
        {"cpu.fill", Theme::accent(), L("Ligne médiane ANE & Sub-pixel de Steger", "ANE Centerline & Steger Sub-Pixel"),
         L("Extraction de crêtes curvilignes par Hessien + notre propre suiveur de contours, squelette Guo-Hall "
           "8-connexe et affinement sub-pixel d'ordre 2.",
           "Curvilinear Hessian ridge + our own contour finder, 8-connected Guo-Hall skeleton, and 2nd-order Taylor "
           "sub-pixel refinement.")},
        {"scribble.variable", Theme::tcp(),
         L("Courbes de Bézier de Schneider & Croisements", "Schneider Bézier Fitting & Junctions"),
         L("Ajustement cubique par moindres carrés avec préservation des angles vifs et traversée colinéaire des "
           "croisements sans casser le trait.",
           "Least-squares cubic Bézier fitting with sharp corner preservation and collinear junction crossing without "
           "breaking strokes.")},
        {"paintbrush.pointed.fill", Theme::alive(),
         L("Séparation multi-stylos & Calques AxiDraw", "Multi-Pen Clustering & AxiDraw Layers"),
         L("Transformée en distance euclidienne exacte et classification k-means jusqu'à 4 stylos en calques Inkscape "
           "prêts pour AxiDraw.",
           "Exact Euclidean distance transform and k-means clustering into up to 4 pen layers compatible with Inkscape "
           "and AxiDraw.")},
        {"point.topleft.down.curvedto.point.bottomright.up", Theme::osc(),
         L("Optimisation 2-opt, CLI, OSC & MCP", "2-Opt Toolpath, CLI, OSC & MCP"),
         L("Ordonnancement réversible plus proche voisin + recherche locale 2-opt réduisant les trajets stylo levé, "
           "pilotable en CLI, OSC et MCP.",
           "Reversible nearest-neighbor + 2-opt local search minimizing pen-up travel distance, controllable via CLI, "
           "OSC, and MCP.")},
    };
}

void AboutSheet::copyVersion() {
    model_.pasteboard().setText(AppVersion::current().versionLine());
    copiedVersion_ = true;
    refreshVersionBadge();
}

void AboutSheet::requestUpdateCheck() {
    runClose();
    // The model outlives the sheet that is going away; the update window opens on a later turn.
    AppModel* model = &model_;
    QMetaObject::invokeMethod(
        model,
        [model] {
            model->setShowUpdater(true);
            model->updater().checkForUpdates(false);
        },
        Qt::QueuedConnection);
}

void AboutSheet::refreshPorts() {
    if (oscPill_ != nullptr) oscPill_->setText(oscPillText(SheetParts::liveOSCPort(model_)));
    if (httpPill_ != nullptr) httpPill_->setText(httpPillText(SheetParts::liveHTTPPort(model_)));
}

void AboutSheet::refreshVersionBadge() {
    if (versionBadge_ == nullptr) return;
    if (auto* text = versionBadge_->findChild<QLabel*>()) {
        text->setText(copiedVersion_ ? qs(L("copié", "copied"))
                                     : qs(SheetParts::versionBadgeText(AppVersion::current())));
    }
}

void AboutSheet::refreshUpdateButton() {
    if (updateButton_ == nullptr) return;
    const std::optional<ReleaseInfo> release = model_.updater().availableRelease();
    const QColor color = release ? Theme::accent() : Theme::textDim();
    if (auto* glyph = updateButton_->findChild<SymbolGlyph*>()) glyph->setColor(color);
    if (auto* text = updateButton_->findChild<QLabel*>()) {
        text->setText(release ? qs(L("↑ MAJ v", "↑ Update v") + release->version)
                              : qs(L("Mises à jour…", "Check for Updates…")));
        QPalette palette = text->palette();
        palette.setColor(QPalette::WindowText, color);
        text->setPalette(palette);
    }
}

QWidget* AboutSheet::buildContent() {
    auto* content = new QWidget;
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(22, 22, 22, 22);
    stack->setSpacing(18);

    // Header: hero tile and the title column.
    auto* header = new QHBoxLayout;
    header->setSpacing(18);
    header->addWidget(new HeroTile(content), 0, Qt::AlignVCenter);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(5);
    auto* nameRow = new QHBoxLayout;
    nameRow->setSpacing(10);
    nameRow->addWidget(
        SheetParts::label(QStringLiteral("Ostrel"), UIFonts::text(22, QFont::DemiBold), Theme::text(), false, content),
        0, Qt::AlignBaseline);
    versionBadge_ = new ClickableRow(QMargins(7, 2, 7, 2), 0, content, Theme::accent(), -1);
    versionBadge_->setObjectName(QStringLiteral("versionBadge"));
    versionBadge_->add(SheetParts::label(QString(), UIFonts::mono(11, QFont::DemiBold), Theme::background()));
    versionBadge_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(versionBadge_, &QAbstractButton::clicked, this, [this] { copyVersion(); });
    nameRow->addWidget(versionBadge_, 0, Qt::AlignVCenter);
    nameRow->addStretch(1);
    titles->addLayout(nameRow);
    titles->addWidget(SheetParts::label(
        qs(L("Vectoriseur de dessins au trait natif pour traceurs AxiDraw — ligne médiane sub-pixel, Bézier de "
             "Schneider & multi-stylos",
             "Native line-drawing vectorizer for AxiDraw plotters — sub-pixel centerline, Schneider Bézier curves & "
             "multi-pen layers")),
        UIFonts::text(12, QFont::Medium), Theme::textDim(), true, content));
    auto* pills = new QHBoxLayout;
    pills->setSpacing(8);
    pills->setContentsMargins(0, 2, 0, 0);
    pills->addWidget(pill("cpu", QStringLiteral("ANE · Vision · vDSP"), Theme::accent(), content).first);
    auto osc = pill("waveform.path", QString(), Theme::osc(), content);
    oscPill_ = osc.second;
    oscPill_->setObjectName(QStringLiteral("oscPill"));
    pills->addWidget(osc.first);
    auto http = pill("network", QString(), Theme::tcp(), content);
    httpPill_ = http.second;
    httpPill_->setObjectName(QStringLiteral("httpPill"));
    pills->addWidget(http.first);
    pills->addStretch(1);
    titles->addLayout(pills);
    header->addLayout(titles, 1);
    stack->addLayout(header);
    stack->addWidget(SheetParts::rule(Qt::Horizontal, content));

    // Highlights.
    auto* highlights = new QVBoxLayout;
    highlights->setSpacing(8);
    QFont headingFont = UIFonts::text(10, QFont::DemiBold);
    headingFont.setLetterSpacing(QFont::AbsoluteSpacing, 0.8);
    highlights->addWidget(
        SheetParts::label(qs(L("POINTS FORTS", "HIGHLIGHTS")), headingFont, Theme::textFaint(), false, content));
    // Two cards a row, equally wide; each row as tall as its taller card's wrapped texts. (Rows of
    // boxes rather than a grid: a grid sizes rows of wrapping text from widths it guesses.)
    auto* grid = new QVBoxLayout;
    grid->setSpacing(10);
    const std::vector<Feature> cards = features();
    for (std::size_t i = 0; i < cards.size(); i += 2) {
        auto* row = new QHBoxLayout;
        row->setSpacing(10);
        for (std::size_t j = i; j < std::min(i + 2, cards.size()); ++j)
            row->addWidget(featureCard(cards[j], content), 1);
        grid->addLayout(row);
    }
    highlights->addLayout(grid);
    stack->addLayout(highlights);
    stack->addWidget(SheetParts::rule(Qt::Horizontal, content));

    // Footer: credits, update, guide, OK.
    auto* footer = new QHBoxLayout;
    footer->setSpacing(8);  // the usual spacing of a button row, not the column's 18
    auto* credits = new QVBoxLayout;
    credits->setSpacing(3);
    auto* firstLine = new QHBoxLayout;
    firstLine->setSpacing(6);
    firstLine->addWidget(SheetParts::label(qs(L("Par l'équipe Ostrel", "By the Ostrel team")),
                                           UIFonts::text(11.5, QFont::Medium), Theme::text(), false, content));
    // The repository's page, when this build follows one.
    if (const std::string repository = model_.updater().githubRepo(); !repository.empty()) {
        const QString address = QStringLiteral("https://github.com/") + qs(repository);
        auto* link = new ClickableRow(QMargins(0, 0, 0, 0), 4, content);
        link->setObjectName(QStringLiteral("creditsLink"));
        link->setToolTip(address);
        QFont underlined = UIFonts::text(11.5, QFont::DemiBold);
        underlined.setUnderline(true);
        link->add(SheetParts::label(QStringLiteral("GitHub"), underlined, Theme::accent()));
        link->add(SheetParts::label(qs(repository), UIFonts::text(10.5), Theme::accent()));
        link->add(new SymbolGlyph("arrow.up.right.square", 9.5, Theme::accent(), QSize(12, 12)));
        connect(link, &QAbstractButton::clicked, this, [address] {
            const QUrl url(address, QUrl::StrictMode);
            if (url.isValid() && !url.scheme().isEmpty()) QDesktopServices::openUrl(url);
        });
        firstLine->addWidget(link);
    }
    firstLine->addStretch(1);
    credits->addLayout(firstLine);
    credits->addWidget(SheetParts::label(
        qs(L("Avec Qt 6, OpenSSL, libarchive et libcurl", "With Qt 6, OpenSSL, libarchive and libcurl")),
        UIFonts::text(10.5), Theme::textFaint(), false, content));
    footer->addLayout(credits);
    footer->addStretch(1);

    updateButton_ = new ClickableRow(QMargins(0, 0, 0, 0), 4, content);
    updateButton_->setObjectName(QStringLiteral("updateButton"));
    updateButton_->add(new SymbolGlyph("arrow.down.circle", 11.5, Theme::textDim(), QSize(14, 14)));
    updateButton_->add(SheetParts::label(QString(), UIFonts::text(11.5), Theme::textDim()));
    connect(updateButton_, &QAbstractButton::clicked, this, [this] { requestUpdateCheck(); });
    footer->addWidget(updateButton_, 0, Qt::AlignVCenter);

    guideButton_ = new ClickableRow(QMargins(0, 0, 0, 0), 4, content);
    guideButton_->setObjectName(QStringLiteral("guideButton"));
    guideButton_->add(new SymbolGlyph("book.closed", 11.5, Theme::textDim(), QSize(14, 14)));
    guideButton_->add(SheetParts::label(qs(withKeys("Guide", "Ctrl+?")), UIFonts::text(11.5), Theme::textDim()));
    connect(guideButton_, &QAbstractButton::clicked, this, [this] {
        runClose();
        if (openHelp_) openHelp_();
    });
    footer->addWidget(guideButton_, 0, Qt::AlignVCenter);

    QPushButton* ok = SheetParts::standardButton(QStringLiteral("OK"), content);
    connect(ok, &QPushButton::clicked, this, [this] { runClose(); });
    setDefaultButton(ok);
    footer->addWidget(ok, 0, Qt::AlignVCenter);
    stack->addLayout(footer);

    refreshVersionBadge();
    refreshPorts();
    refreshUpdateButton();
    return content;
}

}  // namespace ostrel
