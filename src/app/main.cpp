// Ostrel's entry. The run is chosen from the command line before any application object exists,
// so the headless modes never need a display. The version, the help and --vectorize run here, with
// only the libraries they use; the modes that make an application object (the window, the self-test,
// the snapshot) live in a module loaded when one of them is asked for (WindowedModes.cpp), so a
// command-line run never loads the widget, network or archive libraries.
#include "app/launch/LaunchDispatch.h"
#include "app/remote/HeadlessCLI.h"
#include "core/model/Localization.h"
#include "core/pipeline/PdfPage.h"
#include "core/support/app/AppVersion.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <variant>
#include <vector>

#include <dlfcn.h>

namespace {

/// The module's file beside the program (a build tree), then in its folder of the install tree.
std::vector<std::filesystem::path> windowedModulePaths() {
    std::error_code error;
    const auto program = std::filesystem::canonical("/proc/self/exe", error);
    if (error) return {};
    const auto folder = program.parent_path();
    return {folder / OSTREL_WINDOWED_MODULE, folder / OSTREL_WINDOWED_MODULE_FROM_BIN / OSTREL_WINDOWED_MODULE};
}

/// Loads the module of the windowed modes and runs it; a program whose module is missing or damaged
/// says so and fails.
int runWindowedModes(int& argc, char** argv) {
    std::string problem = "not found";
    for (const auto& path : windowedModulePaths()) {
        std::error_code error;
        if (!std::filesystem::exists(path, error)) continue;
        // Kept loaded until the process ends: the window's objects and threads live in it.
        void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            const char* reason = ::dlerror();
            problem = reason != nullptr ? reason : path.string();
            break;
        }
        using Entry = int (*)(int*, char**);
        const auto entry = reinterpret_cast<Entry>(::dlsym(module, "ostrelRunWindowedModes"));
        if (entry == nullptr) {
            problem = path.string() + ": no entry point";
            break;
        }
        return entry(&argc, argv);
    }
    const std::string message =
        ostrel::L("le module des fenêtres ne peut pas être chargé", "the window module cannot be loaded");
    std::fprintf(stderr, "Ostrel error: %s (%s)\n", message.c_str(), problem.c_str());
    return 1;
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
    if (std::holds_alternative<ostrel::LaunchVersion>(launch)) {
        std::puts(ostrel::AppVersion::current().versionLine().c_str());
        return 0;
    }
    if (std::holds_alternative<ostrel::LaunchHelp>(launch)) ostrel::HeadlessCLI::printHelpAndExit();
    if (const auto* vectorize = std::get_if<ostrel::LaunchVectorize>(&launch)) {
        ostrel::HeadlessCLI::runVectorizeAndExit(vectorize->arguments);
    }
    return runWindowedModes(argc, argv);
}
