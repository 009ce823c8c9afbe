// The program's split: --version runs without Qt, the command line's other modes without the widget,
// network, PDF and archive libraries (a PDF page is rendered by a child that loads its own), and a
// missing or damaged module is reported, not crashed on.
#include "testsupport/Subprocess.h"

#include <gtest/gtest.h>

#include <QImage>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace ostrel {
namespace {

using test::runProcess;
using test::TemporaryFolder;

// Every shared library the dynamic loader opened during the run (LD_DEBUG=files, on standard error).
std::string loadedLibraries(const std::vector<std::string>& arguments) {
    const auto result = runProcess(OSTREL_BINARY, arguments, {{"LD_DEBUG", "files"}});
    EXPECT_EQ(result.exitCode, 0) << result.err.substr(result.err.size() > 2000 ? result.err.size() - 2000 : 0);
    std::string names;
    for (std::size_t at = result.err.find("file="); at != std::string::npos; at = result.err.find("file=", at + 5)) {
        names += result.err.substr(at + 5, result.err.find_first_of(" \t\n", at) - at - 5) + "\n";
    }
    return names;
}

TEST(ProgramModules, CommandLineModesLoadNoWidgetNetworkPdfOrArchiveLibrary) {
    TemporaryFolder folder;
    const std::string image = folder.file("drawing.png");
    QImage pixels(4, 3, QImage::Format_Grayscale8);
    pixels.fill(255);
    pixels.setPixel(1, 1, qRgb(0, 0, 0));
    ASSERT_TRUE(pixels.save(QString::fromStdString(image), "PNG"));
    struct Run {
        std::vector<std::string> arguments;
        bool readsImages;  // loads the command line's module, and with it Qt
    };
    const std::vector<Run> runs = {
        {{"--version"}, false},
        {{"--vectorize", "rosette", "--format", "json", "-o", folder.file("rosette.json")}, true},
        {{"--vectorize", image, "-o", folder.file("drawing.svg")}, true},
        {{"--vectorize", OSTREL_SOURCE_DIR "/tests/fuzz/corpus/pdf_file/line-drawing.pdf", "-o",
          folder.file("page.svg")},
         true},
    };
    for (const auto& [arguments, readsImages] : runs) {
        SCOPED_TRACE(arguments.back());
        const std::string libraries = loadedLibraries(arguments);
        // The trace works: the C library every run loads is in it.
        EXPECT_NE(libraries.find("libc.so"), std::string::npos);
        std::vector<const char*> unwanted = {
            "libQt6Widgets",      "libQt6Pdf", "libQt6Network", "libcurl",
            "libarchive",         "libssl",    "libcrypto",     "ostrel-windowed-modes",
            "ostrel-pdf-renderer"};
        if (readsImages) {
            EXPECT_NE(libraries.find("ostrel-command-line.so"), std::string::npos);
            EXPECT_NE(libraries.find("libQt6Core.so"), std::string::npos);
        } else {
            unwanted.insert(unwanted.end(), {"libQt6Core", "libQt6Gui", "ostrel-command-line"});
        }
        for (const char* library : unwanted) {
            EXPECT_EQ(libraries.find(library), std::string::npos) << "loads " << library;
        }
    }
}

// A copy of the program with no module beside it still tells its version; a run whose module is
// missing or damaged says so and fails.
TEST(ProgramModules, MissingOrDamagedModulesAreReported) {
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        const char* module;   // the module the run loads
        bool damagedModule;   // an empty file where the module belongs, else none at all
        std::string message;  // the fixed part of the message
        std::string reason;   // what the message says after it, "" = the loader's words
    };
    const std::string window = "Ostrel error: the window module cannot be loaded ";
    const std::string commandLine = "Ostrel error: the command-line module cannot be loaded ";
    const std::vector<std::string> selfTest = {"--lang", "en", "--self-test"};
    const std::vector<std::string> vectorize = {"--lang", "en", "--vectorize", "rosette"};
    const Case cases[] = {
        {"window, missing", selfTest, "ostrel-windowed-modes.so", false, window, "(not found)\n"},
        {"window, damaged", selfTest, "ostrel-windowed-modes.so", true, window, ""},
        {"command line, missing", vectorize, "ostrel-command-line.so", false, commandLine, "(not found)\n"},
        {"command line, damaged", vectorize, "ostrel-command-line.so", true, commandLine, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TemporaryFolder folder;
        const std::string program = folder.file("Ostrel");
        std::filesystem::copy_file(OSTREL_BINARY, program);
        if (c.damagedModule) std::ofstream(folder.file(c.module)) << "";
        const auto version = runProcess(program, {"--version"});
        EXPECT_EQ(version.exitCode, 0);
        EXPECT_EQ(version.out.rfind("Ostrel ", 0), 0u) << version.out;

        const auto result = runProcess(program, c.arguments);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err.rfind(c.message, 0), 0u) << result.err;
        if (!c.reason.empty()) {
            EXPECT_EQ(result.err.substr(std::min(c.message.size(), result.err.size())), c.reason);
        } else {
            EXPECT_NE(result.err.find(c.module), std::string::npos) << result.err;
        }
        EXPECT_TRUE(result.out.empty());
    }
}

}  // namespace
}  // namespace ostrel
