// Ostrel's entry. The run is chosen from the command line before any application object exists,
// so the headless modes never need a display; the snapshot and the self-test draw on Qt's
// offscreen platform unless a platform is named.
#include "app/launch/LaunchDispatch.h"
#include "app/launch/SelfTest.h"
#include "app/launch/Snapshot.h"
#include "app/launch/WindowedRun.h"
#include "app/remote/HeadlessCLI.h"
#include "app/shell/Theme.h"
#include "app/ui/UIFonts.h"
#include "core/model/Localization.h"
#include "core/pipeline/PdfPage.h"
#include "core/support/app/AppVersion.h"

#include <QApplication>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

/// Qt wants a private runtime folder and warns on standard error when the session names none (a
/// shell without a login session, CI); it then uses /tmp/runtime-<user>. Name that folder ourselves.
void ensureRuntimeDirectory() {
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) return;
    const std::string folder = "/tmp/runtime-" + std::to_string(::getuid());
    ::mkdir(folder.c_str(), 0700);
    struct stat info {};
    if (::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
        (info.st_mode & 0077) == 0) {
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(folder));
    }
}

/// The application object of a mode that draws without showing anything.
int runOffscreen(int& argc, char** argv, int (*mode)(const ostrel::LaunchMode&), const ostrel::LaunchMode& launch) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ensureRuntimeDirectory();
    QApplication application(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    ostrel::UIFonts::ensureLoaded();
    ostrel::Theme::applyDarkAppearance(application);
    return mode(launch);
}

int selfTest(const ostrel::LaunchMode&) { return ostrel::SelfTest::run(stdout, stderr); }

int snapshot(const ostrel::LaunchMode& launch) {
    const auto& request = std::get<ostrel::LaunchSnapshot>(launch);
    return ostrel::Snapshot::runCLISnapshot(request.outputPath, request.view, stdout, stderr);
}

}  // namespace

int main(int argc, char** argv) {
    // The PDF renderer child: this program started again to render one page within bounds. Its
    // output is written unbuffered; it ends at once, without running the libraries' teardown.
    if (argc == 3 && std::string_view(argv[1]) == ostrel::PdfPage::kRendererArgument) {
        std::_Exit(ostrel::PdfPage::runRenderer(argv[2]));
    }
    ostrel::PdfPage::setRendererProgram("/proc/self/exe");
    std::setlocale(LC_NUMERIC, "C");
    ostrel::Localization::setProcessArguments(argc, argv);
    const std::vector<std::string> arguments(argv, argv + argc);
    const ostrel::LaunchMode launch = ostrel::chooseLaunchMode(arguments);
    return std::visit(
        [&](const auto& mode) -> int {
            using Mode = std::decay_t<decltype(mode)>;
            if constexpr (std::is_same_v<Mode, ostrel::LaunchVersion>) {
                std::puts(ostrel::AppVersion::current().versionLine().c_str());
                return 0;
            } else if constexpr (std::is_same_v<Mode, ostrel::LaunchHelp>) {
                ostrel::HeadlessCLI::printHelpAndExit();
            } else if constexpr (std::is_same_v<Mode, ostrel::LaunchVectorize>) {
                ostrel::HeadlessCLI::runVectorizeAndExit(mode.arguments);
            } else if constexpr (std::is_same_v<Mode, ostrel::LaunchSelfTest>) {
                return runOffscreen(argc, argv, selfTest, launch);
            } else if constexpr (std::is_same_v<Mode, ostrel::LaunchSnapshot>) {
                return runOffscreen(argc, argv, snapshot, launch);
            } else {
                ensureRuntimeDirectory();
                return ostrel::runWindowed(argc, argv);
            }
        },
        launch);
}
