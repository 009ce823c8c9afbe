#include "app/views/sheets/PreferencesView.h"

#include "app/remote/RemoteControl.h"
#include "app/shell/AppModel.h"
#include "app/shell/MenuText.h"
#include "app/shell/Theme.h"
#include "app/ui/FieldRow.h"
#include "app/ui/SectionHeader.h"
#include "app/ui/TextButton.h"
#include "app/ui/UIFonts.h"
#include "core/support/system/PortNumber.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <string>

namespace ostrel {

namespace {

constexpr int kLabelWidth = 170;

QString text(std::string_view french, std::string_view english) { return QString::fromStdString(L(french, english)); }

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    palette.setColor(QPalette::ButtonText, color);
    widget->setPalette(palette);
}

QCheckBox* makeToggle(QWidget* parent) {
    auto* toggle = new QCheckBox(parent);
    toggle->setFont(UIFonts::text(11.5));
    setTextColor(toggle, Theme::text());
    // The box itself stands out from the panel.
    QPalette palette = toggle->palette();
    palette.setColor(QPalette::Base, Theme::laneSelected().lighter(150));
    toggle->setPalette(palette);
    return toggle;
}

QFrame* makeDivider(QWidget* parent) {
    auto* divider = new QFrame(parent);
    divider->setFixedHeight(1);
    divider->setAutoFillBackground(true);
    QPalette palette = divider->palette();
    palette.setColor(QPalette::Window, Theme::separator());
    divider->setPalette(palette);
    return divider;
}

QLineEdit* makePortField(const QString& placeholder, QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setPlaceholderText(placeholder);
    field->setFont(UIFonts::mono(12));
    field->setFixedWidth(80);
    field->setFrame(false);
    const QColor ink = Theme::text();
    field->setStyleSheet(QStringLiteral("QLineEdit { background: rgba(255, 255, 255, 13); border: none;"
                                        " border-radius: 5px; padding: 4px 8px; color: %1; }")
                             .arg(ink.name()));
    return field;
}

/// A group of controls with 8 points between them.
QVBoxLayout* addGroup(QVBoxLayout* outer) {
    auto* group = new QVBoxLayout();
    group->setContentsMargins(0, 0, 0, 0);
    group->setSpacing(8);
    outer->addLayout(group);
    return group;
}

/// A port text with its blanks and tabs removed at both ends, read as a port other than 0.
std::optional<std::uint16_t> portFromText(const QString& typed) {
    std::string trimmed = typed.toStdString();
    const auto first = trimmed.find_first_not_of(" \t");
    if (first == std::string::npos) return std::nullopt;
    trimmed = trimmed.substr(first, trimmed.find_last_not_of(" \t") - first + 1);
    const std::optional<std::uint16_t> port = parsePortNumber(trimmed);
    if (!port || *port == 0) return std::nullopt;
    return port;
}

}  // namespace

PreferencesView::PreferencesView(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    setAutoFillBackground(true);
    setPalette(Theme::darkPalette());
    QPalette p = palette();
    p.setColor(QPalette::Window, Theme::panel());
    setPalette(p);
    setFixedSize(kWidth, kHeight);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(16);

    // Language and updates.
    QVBoxLayout* group = addGroup(column);
    headers_[0] = new SectionHeader(QString(), nullptr, this);
    group->addWidget(headers_[0]);
    language_ = new QComboBox(this);
    language_->setFixedWidth(kLabelWidth);
    language_->setFont(UIFonts::text(11.5));
    for (const AppLanguage choice : kAllAppLanguages) language_->addItem(QString(), static_cast<int>(choice));
    auto* languageHolder = new QWidget(this);
    auto* languageLine = new QHBoxLayout(languageHolder);
    languageLine->setContentsMargins(0, 0, 0, 0);
    languageLine->addWidget(language_);
    languageLine->addStretch(1);
    languageRow_ = new FieldRow(QString(), kLabelWidth, languageHolder, this);
    group->addWidget(languageRow_);
    auto* launchLine = new QHBoxLayout();
    launchLine->setSpacing(10);
    launchCheck_ = makeToggle(this);
    checkNow_ =
        new TextButton(QString(), TextButton::Style{.symbol = "arrow.down.circle", .compact = true}, false, this);
    launchLine->addWidget(launchCheck_, 0, Qt::AlignVCenter);
    launchLine->addStretch(1);
    launchLine->addWidget(checkNow_, 0, Qt::AlignVCenter);
    group->addLayout(launchLine);
    column->addWidget(makeDivider(this));

    // Ports.
    group = addGroup(column);
    headers_[1] = new SectionHeader(QString(), nullptr, this);
    group->addWidget(headers_[1]);
    auto* oscHolder = new QWidget(this);
    auto* oscLine = new QHBoxLayout(oscHolder);
    oscLine->setContentsMargins(0, 0, 0, 0);
    oscLine->setSpacing(6);
    oscPort_ = makePortField(QStringLiteral("9140"), oscHolder);
    apply_ = new TextButton(QString(), TextButton::Style{.compact = true}, false, oscHolder);
    oscLine->addWidget(oscPort_);
    oscLine->addWidget(apply_);
    oscLine->addStretch(1);
    oscRow_ = new FieldRow(QString(), kLabelWidth, oscHolder, this);
    group->addWidget(oscRow_);
    auto* httpHolder = new QWidget(this);
    auto* httpLine = new QHBoxLayout(httpHolder);
    httpLine->setContentsMargins(0, 0, 0, 0);
    httpLine->setSpacing(6);
    httpPort_ = makePortField(QStringLiteral("17940"), httpHolder);
    auto* apiPath = new QLabel(QStringLiteral("/v1"), httpHolder);
    apiPath->setFont(UIFonts::mono(11));
    setTextColor(apiPath, Theme::textDim());
    httpLine->addWidget(httpPort_);
    httpLine->addWidget(apiPath);
    httpLine->addStretch(1);
    httpRow_ = new FieldRow(QStringLiteral("Port HTTP / MCP (127.0.0.1)"), kLabelWidth, httpHolder, this);
    group->addWidget(httpRow_);
    column->addWidget(makeDivider(this));

    // Display.
    group = addGroup(column);
    headers_[2] = new SectionHeader(QString(), nullptr, this);
    group->addWidget(headers_[2]);
    for (QCheckBox*& toggle : display_) {
        toggle = makeToggle(this);
        group->addWidget(toggle);
    }
    column->addWidget(makeDivider(this));

    // Privacy.
    group = addGroup(column);
    headers_[3] = new SectionHeader(QString(), nullptr, this);
    group->addWidget(headers_[3]);
    privacy_ = new QLabel(this);
    privacy_->setWordWrap(true);
    privacy_->setFont(UIFonts::text(11));
    setTextColor(privacy_, Theme::textDim());
    group->addWidget(privacy_);
    column->addStretch(1);

    // Controls write their owners at once.
    connect(language_, &QComboBox::activated, this,
            [this](int index) { model_.setLanguage(static_cast<AppLanguage>(language_->itemData(index).toInt())); });
    connect(launchCheck_, &QCheckBox::toggled, this, [this](bool on) { model_.updater().setAutoCheckOnLaunch(on); });
    connect(checkNow_, &TextButton::clicked, this, [this] {
        model_.setShowUpdater(true);
        model_.updater().checkForUpdates(false);
    });
    connect(apply_, &TextButton::clicked, this, &PreferencesView::applyPorts);
    connect(oscPort_, &QLineEdit::returnPressed, this, &PreferencesView::applyPorts);
    connect(httpPort_, &QLineEdit::returnPressed, this, &PreferencesView::applyPorts);
    connect(display_[0], &QCheckBox::toggled, this, [this](bool on) { model_.setShowSidebar(on); });
    connect(display_[1], &QCheckBox::toggled, this, [this](bool on) { model_.setShowTravelMoves(on); });
    connect(display_[2], &QCheckBox::toggled, this, [this](bool on) { model_.setShowControlPoints(on); });

    // Owners' changes made elsewhere show here at once.
    connect(&model_, &AppModel::languageChanged, this, &PreferencesView::refresh);
    connect(&model_.updater(), &KavrinUpdater::autoCheckOnLaunchChanged, this, &PreferencesView::refresh);
    connect(&model_, &AppModel::showSidebarChanged, this, &PreferencesView::refreshDisplayToggles);
    connect(&model_, &AppModel::showTravelMovesChanged, this, &PreferencesView::refreshDisplayToggles);
    connect(&model_, &AppModel::showControlPointsChanged, this, &PreferencesView::refreshDisplayToggles);

    refresh();
    fillPortFields();
}

void PreferencesView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Each time the window opens, the fields start again from the running servers.
    if (!event->spontaneous()) fillPortFields();
}

void PreferencesView::fillPortFields() {
    const RemoteControl* remote = model_.remoteControl();
    const std::uint16_t osc = remote != nullptr ? remote->oscPort() : kOstrelDefaultOSCInPort;
    const std::uint16_t http = remote != nullptr ? remote->httpPort() : kOstrelDefaultHTTPPort;
    oscPort_->setText(QString::number(osc));
    httpPort_->setText(QString::number(http));
}

void PreferencesView::applyPorts() {
    const QString oscTyped = oscPort_->text();
    const QString httpTyped = httpPort_->text();
    const std::optional<std::uint16_t> osc = portFromText(oscTyped);
    const std::optional<std::uint16_t> http = portFromText(httpTyped);
    for (const auto& [port, typed] : {std::pair{osc, oscTyped}, std::pair{http, httpTyped}}) {
        if (port) continue;
        model_.flash(
            L("Port invalide : « " + typed.toStdString() + " » (un entier de 1 à 65535) ; aucun port modifié",
              "Invalid port: \"" + typed.toStdString() + "\" (a whole number from 1 to 65535); no port changed"),
            FlashKind::error);
        return;
    }
    RemoteControl* remote = model_.remoteControl();
    if (remote == nullptr) {
        model_.flash(L("Les serveurs OSC et HTTP ne tournent pas ; aucun port modifié",
                       "The OSC and HTTP servers are not running; no port changed"),
                     FlashKind::error);
        return;
    }
    const std::uint16_t oldOSC = remote->oscPort();
    const std::uint16_t oldHTTP = remote->httpPort();
    const RemoteControl::PortChange change = remote->applyPorts(osc, http);
    if (change.succeeded()) {
        model_.flash(
            L("Ports OSC (:" + oscTyped.toStdString() + ") et HTTP/MCP (:" + httpTyped.toStdString() + ") mis à jour",
              "OSC (:" + oscTyped.toStdString() + ") and HTTP/MCP (:" + httpTyped.toStdString() + ") ports updated"));
        return;
    }
    std::string message;
    const auto refused = [&message](const std::string& server, std::uint16_t port, std::uint16_t kept) {
        if (!message.empty()) message += L(" ; ", "; ");
        message += L("Port " + server + " " + std::to_string(port) + " indisponible, " + server +
                         " reste sur :" + std::to_string(kept),
                     server + " port " + std::to_string(port) + " is unavailable; " + server +
                         " stays on :" + std::to_string(kept));
    };
    if (change.refusedOSCPort) refused("OSC", *change.refusedOSCPort, oldOSC);
    if (change.refusedHTTPPort) refused("HTTP/MCP", *change.refusedHTTPPort, oldHTTP);
    model_.flash(message, FlashKind::error);
    fillPortFields();
}

void PreferencesView::refresh() {
    headers_[0]->setTitle(text("Langue & Mises à jour", "Language & Updates"));
    headers_[1]->setTitle(text("Ports OSC, API HTTP & MCP", "OSC, HTTP API & MCP Ports"));
    headers_[2]->setTitle(text("Affichage", "Display"));
    headers_[3]->setTitle(text("Confidentialité", "Privacy"));
    languageRow_->label()->setText(text("Langue", "Language"));
    oscRow_->label()->setText(text("Port OSC entrant (UDP)", "Incoming OSC Port (UDP)"));
    {
        const QSignalBlocker quiet(language_);
        for (int index = 0; index < language_->count(); ++index) {
            language_->setItemText(
                index, QString::fromStdString(label(static_cast<AppLanguage>(language_->itemData(index).toInt()))));
        }
        language_->setCurrentIndex(language_->findData(static_cast<int>(model_.language())));
    }
    {
        const QSignalBlocker quiet(launchCheck_);
        launchCheck_->setText(menuText(text("Vérifier les mises à jour au lancement", "Check for updates on launch")));
        launchCheck_->setChecked(model_.updater().autoCheckOnLaunch());
    }
    checkNow_->setTitle(text("Vérifier maintenant…", "Check Now…"));
    apply_->setTitle(text("Appliquer", "Apply"));
    display_[0]->setText(menuText(text("Barre latérale des paramètres", "Parameters sidebar")));
    display_[1]->setText(menuText(text("Trajets rapides stylo levé (2-opt)", "Pen-up rapid travel moves (2-opt)")));
    display_[2]->setText(menuText(text("Poignées de contrôle de Bézier", "Bézier control handles")));
    refreshDisplayToggles();
    // The note names the default ports, whatever ports are in use.
    privacy_->setText(text(
        "Ostrel traite les images exclusivement en local sur cet ordinateur (processeur, notre propre détecteur de "
        "contours) et n'ouvre que deux ports : OSC (:9140, UDP, joignable depuis le réseau local) et HTTP/MCP "
        "(127.0.0.1:17940, cet ordinateur seulement). Aucune télémétrie, aucune connexion externe hors vérification "
        "quotidienne optionnelle des mises à jour sur GitHub.",
        "Ostrel processes images strictly locally on this computer (CPU, our own contour finder) and opens only two "
        "ports: OSC (:9140, UDP, reachable from the local network) and HTTP/MCP (127.0.0.1:17940, this computer "
        "only). Zero telemetry, zero external network connections besides the optional daily GitHub update check."));
}

void PreferencesView::refreshDisplayToggles() {
    const std::array<bool, 3> values{model_.showSidebar(), model_.showTravelMoves(), model_.showControlPoints()};
    for (std::size_t index = 0; index < display_.size(); ++index) {
        const QSignalBlocker quiet(display_[index]);
        display_[index]->setChecked(values[index]);
    }
}

}  // namespace ostrel
