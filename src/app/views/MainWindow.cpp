#include "app/views/MainWindow.h"

#include "app/shell/AppMenuBar.h"
#include "app/shell/AppModel.h"
#include "app/ui/WheelFocusRule.h"
#include "app/views/ContentView.h"
#include "core/model/Localization.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

namespace ostrel {

MainWindow::MainWindow(AppModel& model, QWidget* parent)
    : QMainWindow(parent), model_(model), confirmClose_(askToStopPlotAndQuit) {
    setWindowTitle(QStringLiteral("Ostrel"));
    WheelFocusRule::install();
    content_ = new ContentView(model_, this);
    content_->setMinimumSize(kMinimumWidth, kMinimumHeight);
    setCentralWidget(content_);
    menus_ = std::make_unique<AppMenuBar>(model_, *menuBar());
    connect(menus_.get(), &AppMenuBar::settingsRequested, this, &MainWindow::settingsRequested);
    // Quit goes through the window's close, so a running plot is asked about first.
    if (QAction* quit = menus_->action(QStringLiteral("file.quit"))) {
        quit->disconnect();
        connect(quit, &QAction::triggered, this, &MainWindow::close);
    }
    resize(kDefaultWidth, kDefaultHeight + menuBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = geometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

MainWindow::~MainWindow() = default;

bool MainWindow::plotIsActive() const {
    const AxiDrawRunState& state = model_.plotter().runState();
    return state.isRunning() || state.isPaused();
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (appeared_) return;
    appeared_ = true;
    if (firstAppearance_) firstAppearance_();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (plotIsActive()) {
        if (!confirmClose_ || !confirmClose_(*this)) {
            event->ignore();
            return;
        }
        // The pen goes up before anything else stops.
        model_.plotter().stopPlot();
    }
    event->accept();
}

bool askToStopPlotAndQuit(QWidget& window) {
    QMessageBox box(&window);
    box.setIcon(QMessageBox::Warning);
    box.setWindowModality(Qt::WindowModal);
    box.setText(QString::fromStdString(L("Un tracé est en cours.", "A plot is in progress.")));
    box.setInformativeText(QString::fromStdString(
        L("Quitter arrête le traceur et relève la plume.", "Quitting stops the plotter and raises the pen.")));
    QPushButton* quit =
        box.addButton(QString::fromStdString(L("Arrêter et quitter", "Stop and Quit")), QMessageBox::DestructiveRole);
    QPushButton* stay = box.addButton(QString::fromStdString(L("Annuler", "Cancel")), QMessageBox::RejectRole);
    box.setDefaultButton(stay);
    box.exec();
    return box.clickedButton() == static_cast<QAbstractButton*>(quit);
}

}  // namespace ostrel
