#include "app/views/sheets/OSCGuideSheet.h"

#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"
#include "app/ui/Chip.h"
#include "app/ui/SectionHeader.h"
#include "app/ui/TextButton.h"
#include "app/ui/UIFonts.h"
#include "core/model/Localization.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <string>

namespace ostrel {

using SheetParts::qs;

namespace {

QLabel* fixedColumn(const std::string& text, const QFont& font, QColor color, int width) {
    QLabel* label = SheetParts::label(qs(text), font, color);
    label->setFixedWidth(width);
    return label;
}

QLabel* exampleLine(const QString& text, QColor color, QWidget* parent) {
    QLabel* line = SheetParts::label(text, UIFonts::mono(10.5), color, false, parent);
    line->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return line;
}

QString oscChipText(std::uint16_t port) { return QStringLiteral("OSC UDP :") + QString::number(port); }
QString httpChipText(std::uint16_t port) { return QStringLiteral("HTTP/MCP :") + QString::number(port); }
QString httpLineText(std::uint16_t port) {
    return QStringLiteral("HTTP : POST http://127.0.0.1:") + QString::number(port) +
           QStringLiteral("/v1/export {\"outputPath\":\"/tmp/out.svg\"}");
}

}  // namespace

OSCGuideSheet::OSCGuideSheet(AppModel& model, std::function<void()> close, QWidget* parent)
    : SheetFrame(std::move(close), parent), model_(model) {
    setFixedWidth(sheetWidth);
    rebuild();
    connect(&model_, &AppModel::languageChanged, this, [this] { rebuild(); });
    SheetParts::onPortsChanged(model_, this, [this] { refreshPorts(); });
}

std::vector<OSCGuideSheet::Example> OSCGuideSheet::oscExamples() {
    return {
        {"/ostrel/algorithm", "neural_centerline",
         L("Choisir l'algorithme (neural_centerline, vision_contours, skeletonize, canny_edges)",
           "Select algorithm (neural_centerline, vision_contours, skeletonize, canny_edges)")},
        {"/ostrel/threshold", "0 \u2026 255",
         L("Régler le seuil binaire ou la sensibilité adaptative", "Set binary threshold or adaptive sensitivity")},
        {"/ostrel/blur", "0.0 \u2026 10.0",
         L("Régler le rayon du flou gaussien vDSP", "Set vDSP Gaussian blur radius")},
        {"/ostrel/tolerance", "0.1 \u2026 5.0",
         L("Régler la tolérance de simplification RDP en pixels", "Set RDP simplification tolerance in pixels")},
        {"/ostrel/smoothing", "0.0 \u2026 1.0",
         L("Régler le lissage cubique de Bézier (algorithme de Schneider)",
           "Set cubic Bézier smoothing (Schneider algorithm)")},
        {"/ostrel/continuity", "0 \u2026 100",
         L("Régler l'agressivité de fusion des segments continus", "Set multi-pass stroke stitching continuity")},
        {"/ostrel/pens", "1 \u2026 4",
         L("Choisir le nombre de stylos classifiés par épaisseur (k-means)",
           "Set number of pens classified by stroke width (k-means)")},
        {"/ostrel/paper", "A4 | A3 | A5 | A6",
         L("Changer le format de feuille physique pour AxiDraw", "Change physical paper format for AxiDraw")},
        {"/ostrel/hatch", "1 | 0",
         L("Activer (1) ou désactiver (0) le hachurage des aplats sombres",
           "Enable (1) or disable (0) dark region hatching")},
        {"/ostrel/open", "\"/chemin/image.png\"",
         L("Charger et vectoriser un fichier image", "Load and vectorize an image file")},
        {"/ostrel/export", "\"/tmp/tracé.svg\"",
         L("Exporter le SVG AxiDraw vers un chemin disque", "Export AxiDraw SVG to a disk path")},
    };
}

std::string OSCGuideSheet::mcpConfiguration(const std::string& bridgePath) {
    // The path goes in as a JSON string: backslashes and quotes escaped, control characters as \uXXXX.
    std::string quoted = "\"";
    for (const char c : bridgePath) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            static constexpr char hex[] = "0123456789abcdef";
            quoted += "\\u00";
            quoted += hex[(c >> 4) & 0xF];
            quoted += hex[c & 0xF];
        } else {
            quoted += c;
        }
    }
    quoted += '"';
    return "{\n  \"mcpServers\": {\n    \"ostrel\": {\n      \"command\": " + quoted + "\n    }\n  }\n}";
}

void OSCGuideSheet::copyAddress(const std::string& address) {
    model_.pasteboard().setText(address);
    model_.flash(L("Copié : " + address, "Copied: " + address));
}

void OSCGuideSheet::copyMCPConfiguration() {
    model_.pasteboard().setText(mcpConfiguration(SheetParts::mcpBridgePath()));
    model_.flash(L("Configuration MCP copiée", "MCP configuration copied"));
}

void OSCGuideSheet::refreshPorts() {
    const std::uint16_t osc = SheetParts::liveOSCPort(model_);
    const std::uint16_t http = SheetParts::liveHTTPPort(model_);
    if (oscChip_ != nullptr) oscChip_->setText(oscChipText(osc));
    if (httpChip_ != nullptr) httpChip_->setText(httpChipText(http));
    if (httpLine_ != nullptr) httpLine_->setText(httpLineText(http));
}

QWidget* OSCGuideSheet::buildContent() {
    auto* content = new QWidget;
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(20, 20, 20, 20);
    stack->setSpacing(14);

    // Header: title and subtitle, then the two port chips.
    auto* header = new QHBoxLayout;
    auto* titles = new QVBoxLayout;
    titles->setSpacing(3);
    titles->addWidget(SheetParts::label(
        qs(L("Pilotage OSC, API HTTP & Serveur MCP — Ostrel", "OSC Control, HTTP API & MCP Server — Ostrel")),
        UIFonts::text(16, QFont::DemiBold), Theme::text(), false, content));
    titles->addWidget(
        SheetParts::label(qs(L("Pilotez Ostrel depuis une régie OSC, la ligne de commande ou un agent MCP.",
                               "Drive Ostrel from OSC show control, the command line or an MCP agent.")),
                          UIFonts::text(11.5), Theme::textDim(), false, content));
    header->addLayout(titles);
    header->addStretch(1);
    oscChip_ = new Chip(QString(), Theme::osc(), true, content);
    oscChip_->setObjectName(QStringLiteral("oscPortChip"));
    httpChip_ = new Chip(QString(), Theme::tcp(), false, content);
    httpChip_->setObjectName(QStringLiteral("httpPortChip"));
    header->addWidget(oscChip_, 0, Qt::AlignVCenter);
    header->addWidget(httpChip_, 0, Qt::AlignVCenter);
    stack->addLayout(header);
    stack->addWidget(SheetParts::rule(Qt::Horizontal, content));

    // The addresses, each row copying its address.
    stack->addWidget(new SectionHeader(
        qs(L("Adresses OSC entrantes (cliquer pour copier)", "Incoming OSC Addresses (click to copy)")), nullptr,
        content));
    auto* scroll = new QScrollArea(content);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // 235 points when the sheet takes its natural height; a sheet held shorter (the snapshot's
    // 480) shortens the list, never the buttons below it.
    scroll->setMinimumHeight(120);
    scroll->setMaximumHeight(235);
    SheetParts::fillBackground(*scroll->viewport(), Theme::panel());
    auto* list = new QWidget;
    auto* rows = new QVBoxLayout(list);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(5);
    // The argument column is as wide as its widest text, and never narrower than 120.
    const QFont argumentFont = UIFonts::mono(10.5);
    double argumentWidth = 120;
    for (const Example& example : oscExamples()) {
        argumentWidth =
            std::max(argumentWidth, std::ceil(QFontMetricsF(argumentFont).horizontalAdvance(qs(example.argument))));
    }
    for (const Example& example : oscExamples()) {
        auto* row = new ClickableRow(QMargins(10, 6, 10, 6), 10, list, Theme::withOpacity(Qt::white, 0.04), 5);
        row->setObjectName(QStringLiteral("oscRow"));
        row->setAccessibleName(qs(example.address));
        row->add(fixedColumn(example.address, UIFonts::mono(11.5, QFont::DemiBold), Theme::osc(), 225));
        row->add(fixedColumn(example.argument, argumentFont, Theme::accent(), static_cast<int>(argumentWidth)));
        // The description takes the rest of the row and wraps rather than lose its end.
        QLabel* description = SheetParts::label(qs(example.description), UIFonts::text(11), Theme::textDim(), true);
        description->setObjectName(QStringLiteral("oscDescription"));
        row->add(description, {});
        row->add(new SymbolGlyph("doc.on.doc", 10, Theme::textFaint(), QSize(14, 14)));
        const std::string address = example.address;
        connect(row, &QAbstractButton::clicked, this, [this, address] { copyAddress(address); });
        rows->addWidget(row);
    }
    rows->addStretch(1);
    scroll->setWidget(list);
    stack->addWidget(scroll);

    // The example lines.
    stack->addWidget(
        new SectionHeader(qs(L("Serveur MCP (ostrel-mcp), CLI & API HTTP", "MCP Server (ostrel-mcp), CLI & HTTP API")),
                          nullptr, content));
    auto* lines = new QVBoxLayout;
    lines->setSpacing(4);
    lines->addWidget(
        exampleLine(QStringLiteral("MCP (stdio) : ") + qs(SheetParts::mcpBridgePath()), Theme::tcp(), content));
    lines->addWidget(
        exampleLine(QStringLiteral("CLI : Ostrel --vectorize dessin.png -o sortie.svg --paper A4 --pens 2"),
                    Theme::text(), content));
    httpLine_ = exampleLine(QString(), Theme::textDim(), content);
    httpLine_->setObjectName(QStringLiteral("httpExampleLine"));
    lines->addWidget(httpLine_);
    stack->addLayout(lines);

    // Buttons.
    auto* buttons = new QHBoxLayout;
    TextButton::Style copyStyle;
    copyStyle.symbol = "doc.on.doc";
    copyStyle.compact = true;
    auto* copy = new TextButton(qs(L("Copier config MCP JSON", "Copy MCP JSON Config")), copyStyle, false, content);
    copy->setObjectName(QStringLiteral("copyMCPConfig"));
    connect(copy, &QAbstractButton::clicked, this, [this] { copyMCPConfiguration(); });
    buttons->addWidget(copy);
    buttons->addStretch(1);
    QPushButton* close = SheetParts::standardButton(qs(L("Fermer", "Close")), content);
    connect(close, &QPushButton::clicked, this, [this] { runClose(); });
    setDefaultButton(close);
    buttons->addWidget(close);
    stack->addLayout(buttons);

    refreshPorts();
    return content;
}

}  // namespace ostrel
