#include "app/views/sheets/HelpManualSheet.h"

#include "app/shell/Theme.h"
#include "app/ui/UIFonts.h"
#include "core/model/Localization.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <utility>
#include <vector>

namespace ostrel {

using SheetParts::qs;

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

/// `text` with its command-line options ("-o", "--smoothing") kept whole where the text wraps: a
/// word joiner (U+2060) after each hyphen that begins or continues an option.
std::string keepOptionsWhole(std::string_view text) {
    std::string kept;
    for (std::size_t i = 0; i < text.size(); ++i) {
        kept += text[i];
        const bool startsWord = i == 0 || text[i - 1] == ' ' || text[i - 1] == '-';
        const bool continues = i + 1 < text.size() && text[i + 1] != ' ';
        if (text[i] == '-' && startsWord && continues) kept += "\u2060";
    }
    return kept;
}

/// The step number on its ringed circle, 22 × 22.
class StepBadge final : public QWidget {
public:
    StepBadge(QString number, QWidget* parent) : QWidget(parent), number_(std::move(number)) { setFixedSize(22, 22); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::withOpacity(Theme::accent(), 0.14));
        painter.drawEllipse(QRectF(rect()));
        painter.setPen(QPen(Theme::withOpacity(Theme::accent(), 0.35), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
        painter.setPen(Theme::accent());
        painter.setFont(UIFonts::mono(11, QFont::Bold));
        painter.drawText(QRectF(rect()), Qt::AlignCenter, number_);
    }

private:
    QString number_;
};

/// The bullet: a 5 × 5 accent dot, 6 points below the row's top.
class BulletDot final : public QWidget {
public:
    explicit BulletDot(QWidget* parent) : QWidget(parent) { setFixedSize(5, 11); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::accent());
        painter.drawEllipse(QRectF(0, 6, 5, 5));
    }
};

QFont sidebarTitleFont(bool selected) {
    QFont font = UIFonts::text(12, selected ? QFont::DemiBold : QFont::Normal);
    font.setLetterSpacing(QFont::AbsoluteSpacing, -0.25);
    return font;
}

QVBoxLayout* column(QWidget* owner, int spacing, QMargins margins = {}) {
    auto* stack = new QVBoxLayout(owner);
    stack->setContentsMargins(margins);
    stack->setSpacing(spacing);
    return stack;
}

QWidget* sectionHeader(const std::string& title, const std::string& subtitle) {
    auto* block = new QWidget;
    QVBoxLayout* stack = column(block, 4);
    stack->addWidget(SheetParts::label(qs(title), UIFonts::text(16, QFont::DemiBold), Theme::text(), true, block));
    stack->addWidget(SheetParts::label(qs(subtitle), UIFonts::text(12), Theme::textDim(), true, block));
    stack->addSpacing(6 - 4);
    stack->addWidget(SheetParts::rule(Qt::Horizontal, block));
    return block;
}

QWidget* numberedStep(const std::string& number, const std::string& title, const std::string& body) {
    auto* block = new QWidget;
    auto* row = new QHBoxLayout(block);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    row->addWidget(new StepBadge(qs(number), block), 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    texts->addWidget(SheetParts::label(qs(title), UIFonts::text(12.5, QFont::DemiBold), Theme::text(), true, block));
    texts->addWidget(SheetParts::label(qs(body), UIFonts::text(11.5), Theme::textDim(), true, block));
    row->addLayout(texts, 1);
    return block;
}

QWidget* bulletList(const Pairs& items) {
    auto* box = new RoundedBox(Theme::lane(), 8, nullptr, Theme::withOpacity(Qt::white, 0.06));
    QVBoxLayout* stack = column(box, 10, QMargins(12, 12, 12, 12));
    for (const auto& item : items) {
        auto* row = new QHBoxLayout;
        row->setSpacing(10);
        row->addWidget(new BulletDot(box), 0, Qt::AlignTop);
        auto* texts = new QVBoxLayout;
        texts->setSpacing(2);
        texts->addWidget(
            SheetParts::label(qs(item.first), UIFonts::text(12, QFont::DemiBold), Theme::text(), true, box));
        texts->addWidget(SheetParts::label(qs(item.second), UIFonts::text(11.5), Theme::textDim(), true, box));
        row->addLayout(texts, 1);
        stack->addLayout(row);
    }
    return box;
}

QWidget* calloutBox(std::string_view icon, QColor tint, const std::string& title, const std::string& text) {
    auto* box = new RoundedBox(Theme::withOpacity(tint, 0.08), 8, nullptr, Theme::withOpacity(tint, 0.25));
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(12, 12, 12, 12);
    row->setSpacing(10);
    auto* glyph = new SymbolGlyph(std::string(icon), 13, tint, QSize(18, 18), box);
    glyph->setContentsMargins(0, 1, 0, 0);
    row->addWidget(glyph, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(SheetParts::label(qs(title), UIFonts::text(11.5, QFont::DemiBold), Theme::text(), true, box));
    texts->addWidget(SheetParts::label(qs(text), UIFonts::text(11), Theme::textDim(), true, box));
    row->addLayout(texts, 1);
    return box;
}

std::vector<QWidget*> quickStartSection() {
    return {
        sectionHeader(
            L("Démarrage rapide", "Quick Start"),
            L("Convertir un dessin au trait bitmap en tracé vectoriel optimisé pour AxiDraw en quatre étapes.",
              "Convert a bitmap line drawing into an optimized AxiDraw vector plot in four steps.")),
        numberedStep("1",
                     L("Charger une image (Ctrl+O), glisser-déposer ou coller (Ctrl+V)",
                       "Open an image (Ctrl+O), drag-and-drop, or paste (Ctrl+V)"),
                     L("Ostrel accepte les scans et les dessins en PNG, JPEG, TIFF ou BMP. Quatre dessins de référence "
                       "synthétiques sont aussi proposés dans le menu « Modèles » de la barre du haut.",
                       "Ostrel accepts scans and drawings in PNG, JPEG, TIFF or BMP. Four synthetic reference drawings "
                       "are also available in the top bar's \"Presets\" menu.")),
        numberedStep(
            "2",
            L("Choisir l'algorithme « Ligne médiane ANE + Steger »",
              "Select the \"ANE Centerline + Steger\" algorithm"),
            L("Là où les vectoriseurs ordinaires changent chaque trait en deux contours (intérieur et extérieur), "
              "le mode ligne médiane extrait un seul chemin central qui suit le geste du dessin.",
              "Where ordinary vectorizers turn every stroke into two contours (inner and outer), the centerline "
              "mode extracts one single central path that follows the drawing gesture.")),
        numberedStep(
            "3",
            L("Ajuster le lissage Bézier et la séparation multi-stylos",
              "Adjust Bézier smoothing and multi-pen separation"),
            L("Un cache à deux étages recalcule instantanément l'ajustement cubique de Bézier de Schneider, la mise "
              "en page papier (A4, A3, A5) et l'optimisation 2-opt, sans relancer la squelettisation.",
              "A two-stage cache recomputes the Schneider cubic Bézier fitting, the paper layout (A4, A3, A5) and "
              "the 2-opt optimization instantly, without running the skeletonization again.")),
        numberedStep(
            "4",
            L("Exporter le SVG multi-calques pour AxiDraw (Ctrl+S)", "Export multi-layer SVG for AxiDraw (Ctrl+S)"),
            L("Le SVG généré porte les dimensions physiques en millimètres et un groupe "
              "inkscape:groupmode=\"layer\" par stylo ; il s'utilise directement dans AxiDraw Control "
              "d'Inkscape ou avec axicli.",
              "The generated SVG carries the physical dimensions in millimeters and one "
              "inkscape:groupmode=\"layer\" group per pen; use it directly in Inkscape's AxiDraw Control or "
              "with axicli.")),
        calloutBox(
            "point.topleft.down.curvedto.point.bottomright.up", Theme::tcp(),
            L("Visualisation des déplacements stylo levé (Ctrl+T)", "Visualizing pen-up rapid travel moves (Ctrl+T)"),
            L("Activez le bouton des trajets de la barre du haut (Ctrl+T) : les déplacements rapides stylo levé "
              "sont dessinés en pointillés, pour juger à l'œil le gain de l'ordonnancement 2-opt.",
              "Turn on the travel-moves toggle of the top bar (Ctrl+T): pen-up rapid moves are drawn as dashed "
              "lines, so the gain of the 2-opt ordering can be judged by eye.")),
    };
}

std::vector<QWidget*> algorithmsSection() {
    return {
        sectionHeader(L("Algorithmes & moteurs de calcul", "Algorithms & Compute Engines"),
                      L("Quatre moteurs complémentaires combinant notre propre suiveur de contours, des boucles "
                        "vectorisées simples et la géométrie différentielle, sur cet ordinateur.",
                        "Four complementary engines combining our own contour finder, plain vectorised loops, and "
                        "differential geometry, on this computer.")),
        bulletList({
            {L("Ligne médiane ANE + Steger (recommandé pour le trait)",
               "ANE Centerline + Steger (recommended for line art)"),
             L("Combine un filtre de crêtes curvilignes fondé sur les valeurs propres du Hessien (boucles vectorisées "
               "simples), un amincissement Guo-Hall 8-connexe piloté par une table précalculée et l'affinement "
               "sub-pixel d'ordre 2 de Steger, qui supprime l'escalier des pixels.",
               "Combines a curvilinear ridge filter built on the eigenvalues of the Hessian (plain vectorised loops), "
               "an 8-connected Guo-Hall thinning driven by a precomputed lookup table, and Steger's second-order "
               "sub-pixel refinement, which removes the pixel staircase.")},
            {L("Contours Vision ANE + Hachures", "ANE Vision Contours + Hatching"),
             L("Extrait les contours fermés avec notre propre suiveur de bords (Suzuki–Abe) sur le processeur de cet "
               "ordinateur, et peut remplir les aplats d'encre sombres de hachures parallèles ou croisées pour le "
               "traceur.",
               "Extracts closed contours with our own border-following contour finder (Suzuki–Abe) on this computer's "
               "processor, and can fill dark ink areas with parallel or crossed hatching lines for the plotter.")},
            {L("Squelettisation Guo-Hall & Contours Canny", "Guo-Hall Skeletonization & Canny Edges"),
             L("Le mode Guo-Hall est un amincissement purement topologique très rapide ; le mode Canny extrait des "
               "bords doubles d'un gradient de Sobel avec hystérésis.",
               "The Guo-Hall mode is a very fast, purely topological thinning; the Canny mode extracts double edges "
               "from a Sobel gradient with hysteresis.")},
        }),
    };
}

std::vector<QWidget*> bezierSection() {
    return {
        sectionHeader(L("Courbes de Bézier de Schneider & Croisements", "Schneider Bézier Curves & Junctions"),
                      L("Des courbes cubiques fluides qui préservent la mécanique de l'AxiDraw.",
                        "Smooth cubic curves that protect AxiDraw mechanics.")),
        bulletList({
            {L("Ajustement cubique par moindres carrés (Schneider)", "Least-squares cubic fitting (Schneider)"),
             L("Au lieu d'exporter des milliers de petits segments droits qui font résonner les moteurs pas à pas, "
               "Ostrel ajuste de vraies courbes de Bézier cubiques (commandes SVG C) avec une reparamétrisation de "
               "Newton-Raphson.",
               "Instead of exporting thousands of tiny straight segments that make the stepper motors resonate, Ostrel "
               "fits true cubic Bézier curves (SVG C commands) with Newton-Raphson reparameterization.")},
            {L("Détection des coins vifs", "Sharp corner detection"),
             L("Avant l'ajustement de Bézier, les chemins sont coupés là où ils tournent plus fort que le seuil "
               "« Angle de coin vif », pour que les coins géométriques restent nets.",
               "Before the Bézier fitting, paths are split wherever they turn more sharply than the \"Sharp corner "
               "angle\" threshold, so that geometric corners stay crisp.")},
            {L("Traversée colinéaire des croisements X et T", "Collinear X and T junction crossing"),
             L("Aux intersections de hachures ou de traits qui se croisent, les branches dont les tangentes s'alignent "
               "sont appariées : le stylo traverse le croisement d'un seul trait continu.",
               "At intersections of hatching or crossing strokes, branches whose tangents line up are paired, so the "
               "pen crosses the intersection in one continuous stroke.")},
        }),
    };
}

std::vector<QWidget*> axiDrawSection() {
    return {
        sectionHeader(L("Séparation multi-stylos & Traceur AxiDraw", "Multi-Pen Separation & AxiDraw Plotter"),
                      L("Du trait fin 0,3 mm au feutre 1,2 mm, prêt à tracer sur A4 ou A3.",
                        "From 0.3 mm fineliner to 1.2 mm marker, ready to plot on A4 or A3.")),
        bulletList({
            {L("Transformée en distance euclidienne exacte & k-means", "Exact Euclidean distance transform & k-means"),
             L("La demi-largeur réelle de chaque trait est mesurée au 75e centile le long du chemin par une "
               "transformée "
               "en distance euclidienne 2D exacte (Meijster), puis un k-means 1D répartit les chemins en 1 à 4 stylos.",
               "The true half-width of each stroke is measured at the 75th percentile along the path with an exact 2-D "
               "Euclidean distance transform (Meijster), then a 1-D k-means partitions the paths into 1 to 4 pens.")},
            {L("Calques Inkscape / AxiDraw normalisés", "Standardized Inkscape / AxiDraw layers"),
             L("Chaque stylo produit un groupe de calque, par exemple <g inkscape:groupmode=\"layer\" "
               "inkscape:label=\"1 - Stylo 1 (0.3mm)\">, pour tracer stylo par stylo dans Inkscape ou avec "
               "axicli --mode layers.",
               "Each pen produces one layer group, for example <g inkscape:groupmode=\"layer\" "
               "inkscape:label=\"1 - Stylo 1 (0.3mm)\">, so you can plot pen by pen in Inkscape or with "
               "axicli --mode layers.")},
            {L("Optimisation de parcours 2-opt réversible", "Reversible 2-opt toolpath optimization"),
             L("Combine un ordonnancement glouton bidirectionnel du plus proche voisin, qui peut inverser le sens de "
               "tracé d'un chemin ouvert, et une recherche locale 2-opt qui démêle les déplacements stylo levé.",
               "Combines a bidirectional greedy nearest-neighbor ordering, which may reverse the drawing direction of "
               "an open path, with a 2-opt local search that untangles the pen-up travel moves.")},
        }),
    };
}

std::vector<QWidget*> oscSection() {
    const std::string bridge = SheetParts::mcpBridgePath();
    return {
        sectionHeader(L("OSC, API HTTP, CLI & Serveur MCP", "OSC, HTTP API, CLI & MCP Server"),
                      L("Automatisation en ligne de commande et pilotage réseau local.",
                        "Command-line batch automation and local network control.")),
        bulletList({
            {L("Ligne de commande directe (--vectorize)", "Direct command line (--vectorize)"),
             keepOptionsWhole(L("La commande Ostrel --vectorize entree.png -o sortie.svg --paper A4 --pens 2 "
                                "--smoothing 0.7 convertit "
                                "une image sans ouvrir de fenêtre.",
                                "The command Ostrel --vectorize input.png -o output.svg --paper A4 --pens 2 "
                                "--smoothing 0.7 converts an "
                                "image without opening a window."))},
            {L("Serveur OSC UDP (:9140) & API HTTP (127.0.0.1:17940/v1)",
               "OSC UDP Server (:9140) & HTTP API (127.0.0.1:17940/v1)"),
             L("Expose GET /v1/state, GET /v1/svg, GET /v1/snapshot.png, POST /v1/open, POST /v1/params et POST "
               "/v1/export.",
               "Exposes GET /v1/state, GET /v1/svg, GET /v1/snapshot.png, POST /v1/open, POST /v1/params, and POST "
               "/v1/export.")},
            {L("Serveur MCP embarqué (ostrel-mcp)", "Embedded MCP Server (ostrel-mcp)"),
             L("Le binaire " + bridge + " expose 6 outils MCP sur stdio pour les agents IA.",
               "The binary " + bridge + " exposes 6 MCP tools over stdio for AI agents.")},
        }),
    };
}

/// A section's blocks stacked with 16 points between them.
QWidget* sectionContent(HelpManualSheet::SectionID section) {
    using ID = HelpManualSheet::SectionID;
    std::vector<QWidget*> blocks;
    switch (section) {
        case ID::quickStart:
            blocks = quickStartSection();
            break;
        case ID::algorithmsAndANE:
            blocks = algorithmsSection();
            break;
        case ID::bezierAndJunctions:
            blocks = bezierSection();
            break;
        case ID::axiDrawAndPens:
            blocks = axiDrawSection();
            break;
        case ID::oscAndMCP:
            blocks = oscSection();
            break;
    }
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("helpSection_") + qs(HelpManualSheet::rawValue(section)));
    QVBoxLayout* stack = column(page, 16, QMargins(22, 22, 22, 22));
    for (QWidget* block : blocks) stack->addWidget(block);
    stack->addStretch(1);
    return page;
}

}  // namespace

HelpManualSheet::HelpManualSheet(std::function<void()> openShortcuts, std::function<void()> close, QWidget* parent)
    : SheetFrame(std::move(close), parent), openShortcuts_(std::move(openShortcuts)) {
    setFixedSize(sheetWidth, sheetHeight);
    rebuild();
}

std::string_view HelpManualSheet::rawValue(SectionID section) noexcept {
    switch (section) {
        case SectionID::quickStart:
            return "quickStart";
        case SectionID::algorithmsAndANE:
            return "algorithmsAndANE";
        case SectionID::bezierAndJunctions:
            return "bezierAndJunctions";
        case SectionID::axiDrawAndPens:
            return "axiDrawAndPens";
        case SectionID::oscAndMCP:
            return "oscAndMCP";
    }
    return "quickStart";
}

std::string HelpManualSheet::title(SectionID section) {
    switch (section) {
        case SectionID::quickStart:
            return L("Démarrage rapide", "Quick Start");
        case SectionID::algorithmsAndANE:
            return L("Algorithmes & moteurs", "Algorithms & Engines");
        case SectionID::bezierAndJunctions:
            return L("Bézier & Croisements", "Bézier & Junctions");
        case SectionID::axiDrawAndPens:
            return L("Stylos & Traceur AxiDraw", "Pens & AxiDraw Plotter");
        case SectionID::oscAndMCP:
            return L("OSC, API HTTP & MCP", "OSC, HTTP API & MCP");
    }
    return {};
}

std::string_view HelpManualSheet::icon(SectionID section) noexcept {
    switch (section) {
        case SectionID::quickStart:
            return "play.circle";
        case SectionID::algorithmsAndANE:
            return "cpu";
        case SectionID::bezierAndJunctions:
            return "scribble.variable";
        case SectionID::axiDrawAndPens:
            return "paintbrush.pointed";
        case SectionID::oscAndMCP:
            return "antenna.radiowaves.left.and.right";
    }
    return {};
}

ClickableRow* HelpManualSheet::sectionRow(SectionID section) const { return rows_[static_cast<std::size_t>(section)]; }

void HelpManualSheet::selectSection(SectionID section) {
    if (section == selected_) return;
    selected_ = section;
    styleRows();
    // The old page goes with setWidget; it holds nothing the click came from.
    pane_->setWidget(sectionContent(selected_));
    pane_->verticalScrollBar()->setValue(0);
}

void HelpManualSheet::styleRows() {
    for (SectionID section : allSections) {
        ClickableRow* row = sectionRow(section);
        if (row == nullptr) continue;
        const bool selected = section == selected_;
        row->setFill(selected ? Theme::laneSelected() : QColor(Qt::transparent));
        if (auto* glyph = row->findChild<SymbolGlyph*>())
            glyph->setColor(selected ? Theme::accent() : Theme::textDim());
        if (auto* text = row->findChild<QLabel*>()) {
            text->setFont(sidebarTitleFont(selected));
            QPalette palette = text->palette();
            palette.setColor(QPalette::WindowText, selected ? Theme::text() : Theme::textDim());
            text->setPalette(palette);
        }
    }
}

QWidget* HelpManualSheet::buildContent() {
    auto* content = new QWidget;
    QVBoxLayout* stack = column(content, 0);

    // Header: symbol, title, version.
    auto* header = new QWidget(content);
    SheetParts::fillBackground(*header, Theme::header());
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(20, 14, 20, 14);
    headerRow->setSpacing(10);
    headerRow->addWidget(new SymbolGlyph("book.closed", 14, Theme::accent(), QSize(18, 18), header));
    headerRow->addWidget(SheetParts::label(qs(L("Guide d’utilisation — Ostrel", "User Guide — Ostrel")),
                                           UIFonts::text(15, QFont::DemiBold), Theme::text(), false, header));
    headerRow->addStretch(1);
    QLabel* version = SheetParts::label(qs(SheetParts::versionBadgeText(AppVersion::current())), UIFonts::mono(11),
                                        Theme::textFaint(), false, header);
    version->setObjectName(QStringLiteral("versionLine"));
    headerRow->addWidget(version);
    stack->addWidget(header);
    stack->addWidget(SheetParts::rule(Qt::Horizontal, content));

    // Body: sidebar, rule, scrolling pane.
    auto* body = new QHBoxLayout;
    body->setSpacing(0);
    auto* sidebar = new QWidget(content);
    SheetParts::fillBackground(*sidebar, Theme::background());
    sidebar->setFixedWidth(204);
    QVBoxLayout* sidebarStack = column(sidebar, 3, QMargins(10, 10, 10, 10));
    for (SectionID section : allSections) {
        // Inter sets wider than the titles were written for: the row keeps 4 points at its right
        // (the title has no spacer after it) and the title is set a little tighter.
        auto* row = new ClickableRow(QMargins(10, 7, 4, 7), 9, sidebar, Qt::transparent, 6);
        row->setObjectName(QStringLiteral("helpRow_") + qs(rawValue(section)));
        row->add(new SymbolGlyph(std::string(icon(section)), 12, Theme::textDim(), QSize(16, 16)));
        QLabel* name = SheetParts::label(qs(title(section)), sidebarTitleFont(false), Theme::textDim());
        name->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        row->add(name);
        connect(row, &QAbstractButton::clicked, this, [this, section] { selectSection(section); });
        rows_[static_cast<std::size_t>(section)] = row;
        sidebarStack->addWidget(row);
    }
    sidebarStack->addStretch(1);
    body->addWidget(sidebar);
    body->addWidget(SheetParts::rule(Qt::Vertical, content));
    pane_ = new QScrollArea(content);
    pane_->setFrameShape(QFrame::NoFrame);
    pane_->setWidgetResizable(true);
    pane_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pane_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    SheetParts::fillBackground(*pane_->viewport(), Theme::panel());
    pane_->setWidget(sectionContent(selected_));
    body->addWidget(pane_, 1);
    stack->addLayout(body, 1);
    stack->addWidget(SheetParts::rule(Qt::Horizontal, content));

    // Footer: the way to the shortcuts, OK.
    auto* footer = new QWidget(content);
    SheetParts::fillBackground(*footer, Theme::header());
    auto* footerRow = new QHBoxLayout(footer);
    footerRow->setContentsMargins(20, 12, 20, 12);
    auto* shortcuts = new ClickableRow(QMargins(0, 0, 0, 0), 4, footer);
    shortcuts->setObjectName(QStringLiteral("shortcutsButton"));
    shortcuts->add(new SymbolGlyph("command", 11.5, Theme::textDim(), QSize(14, 14)));
    shortcuts->add(SheetParts::label(qs(L("Raccourcis clavier (Ctrl+/)", "Keyboard Shortcuts (Ctrl+/)")),
                                     UIFonts::text(11.5), Theme::textDim()));
    connect(shortcuts, &QAbstractButton::clicked, this, [this] {
        runClose();
        if (openShortcuts_) openShortcuts_();
    });
    shortcutsButton_ = shortcuts;
    footerRow->addWidget(shortcuts);
    footerRow->addStretch(1);
    QPushButton* ok = SheetParts::standardButton(QStringLiteral("OK"), footer);
    connect(ok, &QPushButton::clicked, this, [this] { runClose(); });
    setDefaultButton(ok);
    footerRow->addWidget(ok);
    stack->addWidget(footer);

    styleRows();
    return content;
}

void HelpManualSheet::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) rebuild();
    SheetFrame::changeEvent(event);
}

}  // namespace ostrel
