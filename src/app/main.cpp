// Ostrel's entry. The run is chosen from the command line before any application object exists,
// so the headless modes never need a display. The program itself links no Qt: it answers --version
// alone and loads a module for everything else, which brings the libraries that run needs and no
// others: the command line's (CommandLineModule.cpp: the help and --vectorize, with Qt's core and
// image libraries), the window's (WindowedModes.cpp: the window, the self-test, the snapshot, with
// the widget, network and archive libraries) or the PDF renderer child's (PdfRendererModule.cpp,
// with Qt's PDF module).
#include "app/launch/LaunchDispatch.h"
#include "core/model/Localization.h"
#include "core/pipeline/PdfRendererChild.h"
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

/// A module's file beside the program (a build tree), then in the modules' folder of the install tree.
std::vector<std::filesystem::path> modulePaths(const char* name) {
    std::error_code error;
    const auto program = std::filesystem::canonical("/proc/self/exe", error);
    if (error) return {};
    const auto folder = program.parent_path();
    return {folder / name, folder / OSTREL_MODULES_FROM_BIN / name};
}

/// The entry `symbol` of the module `name`, loaded and kept until the process ends (the objects and
/// threads of a run live in it); none, with `problem` saying why, when the module is missing or
/// damaged.
void* moduleEntry(const char* name, const char* symbol, std::string& problem) {
    problem = "not found";
    for (const auto& path : modulePaths(name)) {
        std::error_code error;
        if (!std::filesystem::exists(path, error)) continue;
        void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            const char* reason = ::dlerror();
            problem = reason != nullptr ? reason : path.string();
            return nullptr;
        }
        void* entry = ::dlsym(module, symbol);
        if (entry == nullptr) problem = path.string() + ": no entry point";
        return entry;
    }
    return nullptr;
}

/// Says that a module cannot be loaded, and why; the exit status of that run.
int moduleMissing(const std::string& message, const std::string& problem) {
    std::fprintf(stderr, "Ostrel error: %s (%s)\n", message.c_str(), problem.c_str());
    return 1;
}

/// Loads the module of the windowed modes and runs it; a program whose module is missing or damaged
/// says so and fails.
int runWindowedModes(int& argc, char** argv) {
    std::string problem;
    if (void* entry = moduleEntry(OSTREL_WINDOWED_MODULE, "ostrelRunWindowedModes", problem)) {
        return reinterpret_cast<int (*)(int*, char**)>(entry)(&argc, argv);
    }
    return moduleMissing(
        ostrel::L("le module des fenêtres ne peut pas être chargé", "the window module cannot be loaded"), problem);
}

/// Loads the command line's module and runs the help or --vectorize in it; the same for a missing or
/// damaged module.
int runCommandLine(int argc, char** argv) {
    std::string problem;
    if (void* entry = moduleEntry(OSTREL_COMMAND_LINE_MODULE, "ostrelRunCommandLine", problem)) {
        return reinterpret_cast<int (*)(int, char**)>(entry)(argc, argv);
    }
    return moduleMissing(ostrel::L("le module de la ligne de commande ne peut pas être chargé",
                                   "the command-line module cannot be loaded"),
                         problem);
}

/// The PDF renderer child's run, in its module; a child whose module cannot be loaded renders no
/// page (its parent reads that as a document that gives no picture).
int runPdfRenderer(const char* maxDimension) {
    std::string problem;
    if (void* entry = moduleEntry(OSTREL_PDF_RENDERER_MODULE, "ostrelRunPdfRenderer", problem)) {
        return reinterpret_cast<int (*)(const char*)>(entry)(maxDimension);
    }
    return moduleMissing(OSTREL_PDF_RENDERER_MODULE, problem);
}

}  // namespace

int main(int argc, char** argv) {
    // The PDF renderer child: this program started again to render one page within bounds. Its
    // output is written unbuffered; it ends at once, without running the libraries' teardown.
    if (argc == 3 && std::string_view(argv[1]) == ostrel::PdfPage::kRendererArgument) {
        std::_Exit(runPdfRenderer(argv[2]));
    }
    std::setlocale(LC_NUMERIC, "C");
    ostrel::Localization::setProcessArguments(argc, argv);
    const std::vector<std::string> arguments(argv, argv + argc);
    const ostrel::LaunchMode launch = ostrel::chooseLaunchMode(arguments);
    if (std::holds_alternative<ostrel::LaunchVersion>(launch)) {
        std::puts(ostrel::AppVersion::current().versionLine().c_str());
        return 0;
    }
    if (std::holds_alternative<ostrel::LaunchHelp>(launch) || std::holds_alternative<ostrel::LaunchVectorize>(launch)) {
        return runCommandLine(argc, argv);
    }
    return runWindowedModes(argc, argv);
}
