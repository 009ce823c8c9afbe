#include "app/views/sidebar/PlotterJogToolbar.h"

#include "app/document/VectorizerController.h"
#include "app/plotter/AxiDrawPlotterController.h"
#include "app/plotter/PlotStart.h"
#include "app/ui/TextButton.h"
#include "core/model/Localization.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace ostrel {

namespace {

QString text(std::string_view french, std::string_view english) { return QString::fromStdString(L(french, english)); }

}  // namespace

PlotterJogToolbar::PlotterJogToolbar(VectorizerController& document, AxiDrawPlotterController& plotter, QWidget* parent)
    : QWidget(parent), document_(document), plotter_(plotter) {
    struct Spec {
        QString title;
        const char* symbol;
        QString help;
    };
    const std::array<Spec, 5> specs{{
        {text("Haut", "Up"), "arrow.up.to.line",
         text("Lever le stylo (SP,1) pour tester la hauteur haute", "Raise pen (SP,1) to test pen-up height")},
        {text("Bas", "Down"), "arrow.down.to.line",
         text("Baisser le stylo (SP,0) pour régler le contact papier", "Lower pen (SP,0) to calibrate paper contact")},
        {text("Origine", "Home"), "scope",
         text("Revenir à l'origine (0, 0 mm) stylo levé", "Return carriage to home (0, 0 mm) with pen up")},
        {text("Libérer moteurs", "Unlock motors"), "lock.open",
         text("Couper les moteurs (EM,0,0) pour placer la tête à la main au coin (0, 0)",
              "De-energize motors (EM,0,0) to move carriage by hand to (0, 0)")},
        {text("Cadrer feuille", "Frame sheet"), "viewfinder",
         text("Parcourir le cadre englobant du dessin (stylo levé) pour vérifier l'alignement papier",
              "Trace drawing bounding box (pen up) to check paper alignment")},
    }};

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    auto* first = new QHBoxLayout;
    auto* second = new QHBoxLayout;
    for (QHBoxLayout* row : {first, second}) {
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(4);
        column->addLayout(row);
    }
    for (std::size_t i = 0; i < specs.size(); ++i) {
        TextButton::Style style;
        style.symbol = specs[i].symbol;
        style.compact = true;
        style.flexibleWidth = true;
        auto* button = new TextButton(specs[i].title, style, false, this);
        button->setToolTip(specs[i].help);
        (i < 3 ? first : second)->addWidget(button, 1, Qt::AlignVCenter);
        buttons_[i] = button;
    }

    connect(buttons_[up], &TextButton::clicked, this, [this] { plotter_.raisePen(); });
    connect(buttons_[down], &TextButton::clicked, this, [this] { plotter_.lowerPen(); });
    connect(buttons_[home], &TextButton::clicked, this, [this] { plotter_.returnToHome(); });
    connect(buttons_[unlockMotors], &TextButton::clicked, this, [this] { plotter_.unlockMotorsAndZeroOrigin(); });
    connect(buttons_[frameSheet], &TextButton::clicked, this, &PlotterJogToolbar::frame);

    connect(&plotter_, &AxiDrawPlotterController::runStateChanged, this, &PlotterJogToolbar::sync);
    connect(&document_, &VectorizerController::resultChanged, this, &PlotterJogToolbar::sync);
    connect(&document_, &VectorizerController::pendingRunChanged, this, &PlotterJogToolbar::sync);
    sync();
}

void PlotterJogToolbar::sync() {
    const bool busy = plotter_.runState().isRunning();
    for (TextButton* button : buttons_) button->setEnabled(!busy);
    buttons_[frameSheet]->setEnabled(PlotStart::isAllowed(document_, plotter_));
}

void PlotterJogToolbar::frame() { PlotStart::start(PlotStart::Kind::frame, document_, plotter_); }

}  // namespace ostrel
