#include "app/launch/WindowedRun.h"

#include "app/launch/LaunchDispatch.h"
#include "app/launch/RunningInstance.h"
#include "app/launch/SignalQuit.h"
#include "app/launch/Snapshot.h"
#include "app/remote/RemoteControl.h"
#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"
#include "app/ui/UIFonts.h"
#include "app/views/MainWindow.h"
#include "app/views/SettingsWindow.h"
#include "core/model/Localization.h"
#include "core/support/app/SettingsStore.h"
#include "core/support/system/PortNumber.h"

#include <QApplication>
#include <QGuiApplication>
#include <QIcon>

#include <clocale>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace ostrel {

namespace {

/// The end of every run: a plot still going is stopped with the pen raised, then the pending
/// vectorization, the OSC server and the HTTP listener stop.
void stopEverything(AppModel& model) {
    const AxiDrawRunState& plot = model.plotter().runState();
    if (plot.isRunning() || plot.isPaused()) model.plotter().stopPlot();
    if (RemoteControl* remote = model.remoteControl()) remote->stopAllServices();
}

}  // namespace

int runWindowed(int& argc, char** argv) {
    const std::vector<std::string> arguments(argv, argv + argc);
    const std::string file = fileArgument(arguments);
    // A file for an Ostrel that already runs goes to it; this process then has nothing to do.
    if (!file.empty() && handOffFileToRunningInstance(apiPortFromEnvironment(), std::filesystem::absolute(file))) {
        return 0;
    }

    QApplication application(argc, argv);
    std::setlocale(LC_NUMERIC, "C");  // the application object set it from the environment
    QApplication::setApplicationName(QStringLiteral("Ostrel"));
    QGuiApplication::setDesktopFileName(QStringLiteral("app.ostrel.Ostrel"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("app.ostrel.Ostrel")));

    // The saved interface language is read (and a new choice written) through the settings file.
    QtSettingsStore settings;
    Localization::installSettingsStore(&settings);
    UIFonts::ensureLoaded();
    Theme::applyDarkAppearance(application);

    AppModel::Options options;
    options.startServices = true;
    options.persistEnabled = true;
    AppModel model(options);
    ModelSnapshotSource snapshots;
    if (RemoteControl* remote = model.remoteControl()) remote->setSnapshotSource(&snapshots);

    MainWindow window(model);
    auto settingsWindow = std::make_unique<SettingsWindow>(model);
    QObject::connect(&window, &MainWindow::settingsRequested, settingsWindow.get(), [&settingsWindow] {
        settingsWindow->show();
        settingsWindow->raise();
        settingsWindow->activateWindow();
    });
    window.setFirstAppearance([&model, &window, file] {
        model.installKeyMonitor(&window);
        // A named file that cannot be loaded (missing or unreadable) is said in the status line.
        if (!file.empty()) model.open(std::filesystem::path(file));
    });
    // Closing the main window ends the run, also while the settings window is open.
    settingsWindow->setAttribute(Qt::WA_QuitOnClose, false);

    SignalQuit quitOnSignal([] { QCoreApplication::quit(); });
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &model, [&model] { stopEverything(model); });

    window.show();
    const int status = QApplication::exec();
    if (RemoteControl* remote = model.remoteControl()) remote->setSnapshotSource(nullptr);
    return status;
}

}  // namespace ostrel
