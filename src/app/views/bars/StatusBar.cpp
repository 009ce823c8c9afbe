#include "app/views/bars/StatusBar.h"

#include "app/remote/RemoteControl.h"
#include "app/shell/AppModel.h"
#include "app/shell/KeyNames.h"
#include "app/shell/Theme.h"
#include "app/ui/UIFonts.h"
#include "app/views/bars/BarControls.h"
#include "core/model/Format.h"
#include "core/model/Localization.h"
#include "core/support/app/AppVersion.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

namespace ostrel {

namespace {

constexpr std::uint16_t kDefaultOSCPort = 9140;

QString q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

std::string StatusBar::versionText(const AppVersion& version) {
    return version.build ? version.version + " (" + *version.build + ")" : version.version;
}

StatusBar::StatusBar(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    setFixedHeight(barHeight);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 0, 12, 0);
    row->setSpacing(12);

    // What the document is doing: takes the width left over and gives way first.
    auto* status = new QWidget(this);
    status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* statusRow = new QHBoxLayout(status);
    statusRow->setContentsMargins(0, 0, 0, 0);
    statusRow->setSpacing(6);
    indicator_ = new ActivityIndicator(status);
    indicator_->setObjectName(QStringLiteral("indicator"));
    message_ = new MiddleElidedText(UIFonts::mono(11), status);
    message_->setObjectName(QStringLiteral("message"));
    statusRow->addWidget(indicator_);
    statusRow->addWidget(message_, 1);
    row->addWidget(status, 1);

    figures_ = new QLabel(this);
    figures_->setObjectName(QStringLiteral("figures"));
    figures_->setFont(UIFonts::mono(10.5));
    figures_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    QPalette faint = figures_->palette();
    faint.setColor(QPalette::WindowText, Theme::textFaint());
    figures_->setPalette(faint);
    row->addWidget(figures_);
    row->addWidget(makeVerticalDivider(12, this));

    // The buttons, each raising one sheet's flag.
    auto* buttons = new QWidget(this);
    buttons->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    auto* buttonRow = new QHBoxLayout(buttons);
    buttonRow->setContentsMargins(0, 0, 0, 0);
    buttonRow->setSpacing(12);
    const QFont font = UIFonts::mono(10.5);
    const auto add = [&](const char* name, const QString& text, QColor color, const QString& tip,
                         std::function<void()> action) {
        auto* button = new StatusTextButton(text, color, font, buttons);
        button->setObjectName(QString::fromLatin1(name));
        button->setToolTip(tip);
        connect(button, &QAbstractButton::clicked, this, std::move(action));
        buttonRow->addWidget(button);
        return button;
    };
    oscButton_ = add("osc", QString(), Theme::osc(),
                     q(L("Commandes OSC, API HTTP et serveur MCP", "OSC commands, HTTP API, and MCP server")),
                     [this] { model_.setShowOSCGuide(true); });
    add("help", q(L("? aide", "? help")), Theme::textFaint(),
        q(withKeys(L("Guide d'utilisation", "User Guide"), "Ctrl+?")), [this] { model_.setShowHelp(true); });
    add("shortcuts", q(L("Ctrl+/ raccourcis", "Ctrl+/ shortcuts")), Theme::textFaint(),
        q(withKeys(L("Raccourcis clavier", "Keyboard Shortcuts"), "Ctrl+/")),
        [this] { model_.setShowShortcuts(true); });
    add("version", q("v" + versionText()), Theme::textDim(),
        q(L("À propos de Ostrel " + versionText(), "About Ostrel " + versionText())),
        [this] { model_.setShowAbout(true); });
    updateButton_ = new StatusTextButton(QString(), Theme::background(), UIFonts::mono(10, QFont::Bold), buttons);
    updateButton_->setObjectName(QStringLiteral("update"));
    updateButton_->setCapsule(Theme::accent());
    connect(updateButton_, &QAbstractButton::clicked, this, [this] { model_.setShowUpdater(true); });
    buttonRow->addWidget(updateButton_);
    row->addWidget(buttons);

    refreshStatus();
    refreshFigures();
    refreshPort();
    refreshUpdate();

    connect(&model_, &AppModel::flashMessageChanged, this, &StatusBar::refreshStatus);
    VectorizerController& document = model_.vectorizer();
    connect(&document, &VectorizerController::processingChanged, this, &StatusBar::refreshStatus);
    connect(&document, &VectorizerController::progressChanged, this, &StatusBar::refreshStatus);
    connect(&document, &VectorizerController::statusMessageChanged, this, &StatusBar::refreshStatus);
    connect(&document, &VectorizerController::lastErrorChanged, this, &StatusBar::refreshStatus);
    connect(&document, &VectorizerController::resultChanged, this, &StatusBar::refreshFigures);
    connect(&model_.updater(), &KavrinUpdater::stateChanged, this, &StatusBar::refreshUpdate);
    if (RemoteControl* remote = model_.remoteControl()) {
        connect(remote, &RemoteControl::oscServerChanged, this, &StatusBar::refreshPort);
    }
}

void StatusBar::refreshStatus() {
    const VectorizerController& document = model_.vectorizer();
    const bool failed = document.lastError().has_value();
    indicator_->setBusy(document.isProcessing());
    indicator_->setDotColor(failed ? Theme::danger() : Theme::alive());
    // A flash is drawn in the colour of its own kind; the document's texts in that of its error.
    const auto& flash = model_.flashMessage();
    const bool alarming = flash ? model_.flashKind() == FlashKind::error : failed;
    message_->setColor(alarming ? Theme::danger() : Theme::textDim());
    if (flash) {
        message_->setText(q(*flash));
    } else if (document.isProcessing()) {
        message_->setText(q(document.progressStage()));
    } else {
        message_->setText(q(document.statusMessage()));
    }
}

void StatusBar::refreshFigures() {
    const auto& result = model_.vectorizer().result();
    figures_->setVisible(result.has_value());
    if (!result) return;
    const PlotterMetrics& metrics = result->metrics;
    const std::string n = std::to_string(metrics.bezierSegmentCount);
    const std::string m = std::to_string(metrics.penLifts);
    const std::string d = Format::duration(metrics.estimatedPlotSeconds);
    figures_->setText(q(L(n + " courbes · " + m + " levées · ~" + d, n + " curves · " + m + " lifts · ~" + d)));
}

void StatusBar::refreshPort() {
    const RemoteControl* remote = model_.remoteControl();
    const std::uint16_t port = remote != nullptr ? remote->oscPort() : kDefaultOSCPort;
    oscButton_->setText(QStringLiteral("OSC :") + QString::number(port));
}

void StatusBar::refreshUpdate() {
    const auto release = model_.updater().availableRelease();
    updateButton_->setVisible(release.has_value());
    if (!release) return;
    updateButton_->setText(q(L("↑ MAJ v" + release->version, "↑ Update v" + release->version)));
    updateButton_->setToolTip(q(L("Mise à jour Ostrel v" + release->version + " disponible",
                                  "Ostrel v" + release->version + " update available")));
}

void StatusBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Theme::panel());
    painter.fillRect(QRect(0, 0, width(), 1), Theme::separator());
}

}  // namespace ostrel
