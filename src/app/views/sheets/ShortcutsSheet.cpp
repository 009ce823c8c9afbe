#include "app/views/sheets/ShortcutsSheet.h"

#include "app/shell/KeyNames.h"
#include "app/shell/Theme.h"
#include "app/ui/SectionHeader.h"
#include "app/ui/UIFonts.h"
#include "core/model/Localization.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace ostrel {

using SheetParts::qs;

namespace {

/// The keys column's narrowest width.
constexpr int kKeysWidth = 96;

/// The keys in the monospaced font, each character drawn on its own: its ligatures would join
/// "++" or "->" into one sign.
QFont keysFont() {
    QFont font = UIFonts::mono(10.5, QFont::DemiBold);
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}
QFont descriptionFont() { return UIFonts::text(11); }

/// The keys of a row as shown: named in the interface language, wrapping only between two keys
/// (no-break spaces hold a key of two words together and each "/" to the key it follows).
QString keysText(const std::string& keys) {
    QStringList alternatives = qs(keyNames(keys)).split(QStringLiteral(" / "));
    for (QString& alternative : alternatives) alternative.replace(QLatin1Char(' '), QChar(0x00A0));
    return alternatives.join(QStringLiteral("\u00A0/ "));
}

/// How many lines `keys` takes in `width` when it wraps only between keys (greedily, as a label does).
int keysLines(const QString& keys, const QFontMetricsF& metrics, double width) {
    int lines = 1;
    QString line;
    for (const QString& key : keys.split(QLatin1Char(' '))) {
        const QString longer = line.isEmpty() ? key : line + QLatin1Char(' ') + key;
        if (!line.isEmpty() && metrics.horizontalAdvance(longer) > width) {
            ++lines;
            line = key;
        } else {
            line = longer;
        }
    }
    return lines;
}

/// One group as a column: its header, then a grid of keys and descriptions. The keys column is
/// 96 wide, or as much wider as it takes for every keys text to wrap (between keys) onto two lines
/// at most; each description wraps and starts on the keys' baseline.
QWidget* groupColumn(const ShortcutsSheet::Group& group, QWidget* parent) {
    auto* column = new QWidget(parent);
    auto* stack = new QVBoxLayout(column);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(7);
    stack->addWidget(new SectionHeader(qs(group.title), nullptr, column));

    const QFontMetricsF keysMetrics(keysFont());
    const QFontMetricsF descriptionMetrics(descriptionFont());
    double keysWidth = kKeysWidth;
    for (const ShortcutsSheet::Row& row : group.rows) {
        const QString keys = keysText(row.keys);
        while (keysLines(keys, keysMetrics, keysWidth - 2) > 2) ++keysWidth;
    }
    // Both texts are top-aligned; the smaller ascent moves down to share the first baseline.
    const int ascentShift = static_cast<int>(std::lround(descriptionMetrics.ascent() - keysMetrics.ascent()));

    auto* grid = new QGridLayout;
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(8);
    // 5 between rows rather than 7: the French descriptions wrap more, and the sheet stays within
    // the height of its snapshot.
    grid->setVerticalSpacing(5);
    int line = 0;
    for (const ShortcutsSheet::Row& row : group.rows) {
        QLabel* keys = SheetParts::label(keysText(row.keys), keysFont(), Theme::accent(), true, column);
        keys->setObjectName(QStringLiteral("shortcutKeys"));
        keys->setFixedWidth(static_cast<int>(keysWidth));
        keys->setContentsMargins(0, std::max(ascentShift, 0), 0, 0);
        QLabel* description = SheetParts::label(qs(row.description), descriptionFont(), Theme::textDim(), true, column);
        description->setObjectName(QStringLiteral("shortcutDescription"));
        description->setContentsMargins(0, std::max(-ascentShift, 0), 0, 0);
        grid->addWidget(keys, line, 0, Qt::AlignLeft | Qt::AlignTop);
        grid->addWidget(description, line, 1, Qt::AlignTop);
        ++line;
    }
    grid->setColumnStretch(1, 1);
    stack->addLayout(grid);
    stack->addStretch(1);
    return column;
}

}  // namespace

ShortcutsSheet::ShortcutsSheet(std::function<void()> close, QWidget* parent) : SheetFrame(std::move(close), parent) {
    setFixedWidth(sheetWidth);
    rebuild();
}

std::vector<ShortcutsSheet::Group> ShortcutsSheet::groups() {
    // Keys as the menus and the window bind them here (Ctrl where the original keyboard has the
    // command key), written in the toolkit's portable form and shown in its words for the
    // language; the gesture words stay as they are in both languages.
    return {
        {L("Fichier, Édition & Export", "File, Edit & Export"),
         {
             {"Ctrl+O",
              L("Ouvrir une image bitmap (ou Fichier > Ouvrir récent)", "Open a bitmap image (or File > Open Recent)")},
             {"Ctrl+V", L("Coller une image depuis le presse-papiers", "Paste image from clipboard")},
             {"Ctrl+S / Ctrl+Shift+E",
              L("Enregistrer le SVG multi-calques pour AxiDraw", "Save multi-layer SVG for AxiDraw")},
             {"Ctrl+Shift+C",
              L("Copier le code SVG AxiDraw dans le presse-papiers", "Copy AxiDraw SVG code to clipboard")},
             {"Ctrl+Z / Ctrl+Shift+Z", L("Annuler / rétablir une modification de trait", "Undo / redo stroke edit")},
             {"V / E / P / H",
              L("Outils Sélection, Gomme, Tracer un trait, Déplacer", "Select, Eraser, Draw stroke, Pan tools")},
             {"Backspace / Ctrl+J",
              L("Supprimer les traits sélectionnés / Relier deux traits", "Delete selected strokes / Join strokes")},
         }},
        {L("Affichage & Navigation", "View & Navigation"),
         {
             {"Ctrl+1 / Ctrl+2 / Ctrl+3",
              L("Vues Côte à côte, Superposition, Vecteur seul", "Side-by-Side, Overlay, Vector Only views")},
             {"B / Ctrl+B",
              L("Basculer le rendu traits noirs sur fond blanc", "Toggle black strokes on white paper preview")},
             {"2 doigts / Clic droit", L("Déplacer l'image (trackpad 2 doigts ou clic milieu/droit)",
                                         "Pan canvas (2-finger trackpad or middle/right drag)")},
             {"Pinch / Molette", L("Zoomer autour du curseur (pincement ou molette souris)",
                                   "Zoom around cursor (pinch or mouse scroll wheel)")},
             {"Ctrl+K / Ctrl+T", L("Poignées de Bézier cubiques / Trajets stylo levé (2-opt)",
                                   "Cubic Bézier control handles / Pen-up travel moves (2-opt)")},
             {"Ctrl+Alt+S",
              L("Afficher ou masquer la barre latérale des paramètres", "Show or hide parameters sidebar")},
             {"Z / Ctrl+0 / Ctrl++ / Ctrl+-", L("Réinitialiser la vue (100 % animé), zoom avant, zoom arrière",
                                                "Reset view (animated 100%), zoom in, zoom out")},
         }},
    };
}

QWidget* ShortcutsSheet::buildContent() {
    auto* content = new QWidget;
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(20, 20, 20, 20);
    stack->setSpacing(14);

    auto* header = new QHBoxLayout;
    header->addWidget(SheetParts::label(qs(L("Raccourcis clavier — Ostrel", "Keyboard Shortcuts — Ostrel")),
                                        UIFonts::text(15, QFont::DemiBold), Theme::text(), false, content));
    header->addStretch(1);
    QPushButton* close = SheetParts::standardButton(qs(L("Fermer", "Close")), content);
    connect(close, &QPushButton::clicked, this, [this] { runClose(); });
    setDefaultButton(close);
    header->addWidget(close);
    stack->addLayout(header);
    stack->addWidget(SheetParts::rule(Qt::Horizontal, content));

    auto* columns = new QHBoxLayout;
    columns->setSpacing(18);
    for (const Group& group : groups()) columns->addWidget(groupColumn(group, content), 1, Qt::AlignTop);
    stack->addLayout(columns);
    return content;
}

void ShortcutsSheet::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) rebuild();
    SheetFrame::changeEvent(event);
}

}  // namespace ostrel
