// The program's split: the command-line modes run without the widget, network and archive libraries,
// and a missing or damaged window module is reported, not crashed on.
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

TEST(ProgramModules, CommandLineModesLoadNoWidgetNetworkOrArchiveLibrary) {
    TemporaryFolder folder;
    const std::string image = folder.file("drawing.png");
    QImage pixels(4, 3, QImage::Format_Grayscale8);
    pixels.fill(255);
    pixels.setPixel(1, 1, qRgb(0, 0, 0));
    ASSERT_TRUE(pixels.save(QString::fromStdString(image), "PNG"));
    const std::vector<std::vector<std::string>> runs = {
        {"--version"},
        {"--vectorize", "rosette", "--format", "json", "-o", folder.file("rosette.json")},
        {"--vectorize", image, "-o", folder.file("drawing.svg")},
    };
    for (const auto& arguments : runs) {
        const std::string libraries = loadedLibraries(arguments);
        // The trace works: the core library the program does need is in it.
        EXPECT_NE(libraries.find("libQt6Core.so"), std::string::npos) << arguments[0];
        for (const char* unwanted :
             {"libQt6Widgets", "libcurl", "libarchive", "libssl", "libcrypto", "ostrel-windowed-modes"}) {
            EXPECT_EQ(libraries.find(unwanted), std::string::npos) << arguments[0] << " loads " << unwanted;
        }
    }
}

TEST(ProgramModules, MissingOrDamagedWindowModuleIsReported) {
    struct Case {
        const char* name;
        bool damagedModule;  // an empty file where the module belongs, else none at all
        std::string reason;  // what the message says after the fixed part, "" = the loader's words
    };
    for (const Case& c : {Case{"missing", false, "(not found)\n"}, Case{"damaged", true, ""}}) {
        TemporaryFolder folder;
        const std::string program = folder.file("Ostrel");
        std::filesystem::copy_file(OSTREL_BINARY, program);
        if (c.damagedModule) std::ofstream(folder.file("ostrel-windowed-modes.so")) << "";
        const auto result = runProcess(program, {"--lang", "en", "--self-test"});
        EXPECT_EQ(result.exitCode, 1) << c.name;
        const std::string start = "Ostrel error: the window module cannot be loaded ";
        EXPECT_EQ(result.err.rfind(start, 0), 0u) << c.name << ": " << result.err;
        if (!c.reason.empty()) {
            EXPECT_EQ(result.err.substr(std::min(start.size(), result.err.size())), c.reason) << c.name;
        } else {
            EXPECT_NE(result.err.find("ostrel-windowed-modes.so"), std::string::npos) << c.name << ": " << result.err;
        }
        EXPECT_TRUE(result.out.empty()) << c.name;
    }
}

}  // namespace
}  // namespace ostrel
