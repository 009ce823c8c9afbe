#include "app/views/sheets/ShortcutsSheet.h"

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

/// The narrowest the keys column gets; wider when a keys text needs it.
constexpr int kMinimumKeysWidth = 96;

QFont keysFont() { return UIFonts::mono(10.5, QFont::DemiBold); }
QFont descriptionFont() { return UIFonts::text(11); }

/// One group as a column: its header, then a grid of keys and descriptions. The keys column is as
/// wide as the group's widest keys text; each description wraps and starts on the keys' baseline.
QWidget* groupColumn(const ShortcutsSheet::Group& group, QWidget* parent) {
    auto* column = new QWidget(parent);
    auto* stack = new QVBoxLayout(column);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(7);
    stack->addWidget(new SectionHeader(qs(group.title), nullptr, column));

    const QFontMetricsF keysMetrics(keysFont());
    const QFontMetricsF descriptionMetrics(descriptionFont());
    double keysWidth = kMinimumKeysWidth;
    for (const ShortcutsSheet::Row& row : group.rows) {
        keysWidth = std::max(keysWidth, std::ceil(keysMetrics.horizontalAdvance(qs(row.keys))) + 2);
    }
    // Both texts are top-aligned; the smaller ascent moves down to share the first baseline.
    const int ascentShift = static_cast<int>(std::lround(descriptionMetrics.ascent() - keysMetrics.ascent()));

    auto* grid = new QGridLayout;
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(7);
    int line = 0;
    for (const ShortcutsSheet::Row& row : group.rows) {
        QLabel* keys = SheetParts::label(qs(row.keys), keysFont(), Theme::accent(), false, column);
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
    // command key); the gesture words stay as they are in both languages.
    return {
        {L("Fichier, Édition & Export", "File, Edit & Export"),
         {
             {"Ctrl+O", L("Ouvrir une image bitmap (ou Fichier > Ouvrir récent)", "Open a bitmap image (or File > Open Recent)")},
             {"Ctrl+V", L("Coller une image depuis le presse-papiers", "Paste image from clipboard")},
             {"Ctrl+S / Ctrl+Shift+E", L("Enregistrer le SVG multi-calques pour AxiDraw", "Save multi-layer SVG for AxiDraw")},
             {"Ctrl+Shift+C", L("Copier le code SVG AxiDraw dans le presse-papiers", "Copy AxiDraw SVG code to clipboard")},
             {"Ctrl+Z / Ctrl+Shift+Z", L("Annuler / rétablir une modification de trait", "Undo / redo stroke edit")},
             {"V / E / P / H", L("Outils Sélection, Gomme, Tracer un trait, Déplacer", "Select, Eraser, Draw stroke, Pan tools")},
             {"Backspace / Ctrl+J",
              L("Supprimer les traits sélectionnés / Relier deux traits", "Delete selected strokes / Join strokes")},
         }},
        {L("Affichage & Navigation", "View & Navigation"),
         {
             {"Ctrl+1 / Ctrl+2 / Ctrl+3",
              L("Vues Côte à côte, Superposition, Vecteur seul", "Side-by-Side, Overlay, Vector Only views")},
             {"B / Ctrl+B", L("Basculer le rendu traits noirs sur fond blanc", "Toggle black strokes on white paper preview")},
             {"2 doigts / Clic droit", L("Déplacer l'image (trackpad 2 doigts ou clic milieu/droit)",
                                          "Pan canvas (2-finger trackpad or middle/right drag)")},
             {"Pinch / Molette",
              L("Zoomer autour du curseur (pincement ou molette souris)", "Zoom around cursor (pinch or mouse scroll wheel)")},
             {"Ctrl+K / Ctrl+T", L("Poignées de Bézier cubiques / Trajets stylo levé (2-opt)",
                                    "Cubic Bézier control handles / Pen-up travel moves (2-opt)")},
             {"Ctrl+Alt+S", L("Afficher ou masquer la barre latérale des paramètres", "Show or hide parameters sidebar")},
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
