#include "app/remote/HeadlessCLI.h"

#include "testsupport/Subprocess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace ostrel {
namespace {

using HeadlessCLI::parseVectorizeArguments;
using test::runProcess;
using test::TemporaryFolder;

TEST(HeadlessCLIScan, OptionValuesClampOrFallBack) {
    struct Case {
        std::vector<std::string> words;
        std::function<bool(const HeadlessCLI::VectorizeRequest&)> check;
        const char* what;
    };
    const std::vector<Case> cases = {
        {{"--pens", "9"}, [](auto& r) { return r.params.penCount == 4; }, "pens 9 -> 4"},
        {{"--pens", "0"}, [](auto& r) { return r.params.penCount == 1; }, "pens 0 -> 1"},
        {{"--pens", "-3"}, [](auto& r) { return r.params.penCount == 1; }, "pens -3 -> 1"},
        {{"--pens", "+3"}, [](auto& r) { return r.params.penCount == 3; }, "pens +3"},
        {{"--pens", "+-3"}, [](auto& r) { return r.params.penCount == 2; }, "pens +-3 refused"},
        {{"--pens", "99999999999999999999"}, [](auto& r) { return r.params.penCount == 2; }, "pens overflow refused"},
        {{"--threshold", "300"}, [](auto& r) { return r.params.threshold == 255; }, "threshold 300 -> 255"},
        {{"--threshold", "12.5"}, [](auto& r) { return r.params.threshold == 128; }, "threshold 12.5 refused"},
        {{"--tolerance", "0"}, [](auto& r) { return r.params.rdpTolerance == 0.1; }, "tolerance 0 -> 0.1"},
        {{"--tolerance", "5"}, [](auto& r) { return r.params.rdpTolerance == 5.0; }, "tolerance 5 -> 5"},
        {{"--smoothing", "2"}, [](auto& r) { return r.params.curveSmoothing == 1.0; }, "smoothing 2 -> 1"},
        {{"--smoothing", "nan"}, [](auto& r) { return r.params.curveSmoothing == 1.0; }, "smoothing nan -> upper"},
        {{"--smoothing", "-inf"}, [](auto& r) { return r.params.curveSmoothing == 0.0; }, "smoothing -inf -> 0"},
        {{"--smoothing", "5e-1"}, [](auto& r) { return r.params.curveSmoothing == 0.5; }, "exponent accepted"},
        {{"--smoothing", " 0.5"}, [](auto& r) { return r.params.curveSmoothing == 0.65; }, "leading blank refused"},
        {{"--smoothing", "0,5"}, [](auto& r) { return r.params.curveSmoothing == 0.65; }, "decimal comma refused"},
        {{"--smoothing", "0.5 "}, [](auto& r) { return r.params.curveSmoothing == 0.65; }, "trailing blank refused"},
        {{"--continuity", "-5"}, [](auto& r) { return r.params.continuity == 0.0; }, "continuity -5 -> 0"},
        {{"--algorithm", "Skeletonize"},
         [](auto& r) { return r.params.algorithm == VectorAlgorithm::skeletonize; },
         "algorithm lowercased"},
        {{"--paper", "a3"}, [](auto& r) { return r.params.paperFormat == PaperFormat::a3; }, "paper a3"},
        {{"--paper", "ORIGINAL"},
         [](auto& r) { return r.params.paperFormat == PaperFormat::original; },
         "paper ORIGINAL"},
        {{"--format", "SVG-Preview"},
         [](auto& r) { return r.format == VectorExportFormat::svgPreview; },
         "format lowercased"},
        {{"--format", "pdf", "x.png"},
         [](auto& r) { return r.format == VectorExportFormat::svgAxiDraw && r.input == "x.png"; },
         "unknown format gives svg and is not rescanned"},
        {{"--hatch", "--black"}, [](auto& r) { return r.params.hatchEnabled && r.params.exportBlackStrokes; }, "flags"},
        {{"--Pens", "3"},
         [](auto& r) { return r.params.penCount == 2 && r.input == "3"; },
         "option names are case-sensitive"},
        {{"--vectorize", "a.png", "--pens", "two"},
         [](auto& r) { return r.params.penCount == 2 && r.input == "a.png"; },
         "refused value scanned as a word"},
        {{"--algorithm", "foo"}, [](auto& r) { return r.input == "foo"; }, "refused algorithm becomes input"},
        {{"--lang", "en", "--vectorize", "drawing.png"},
         [](auto& r) { return r.input == "drawing.png"; },
         "--lang consumes its value"},
        {{"--lang", "en", "--vectorize"},
         [](auto& r) { return r.input.empty(); },
         "--lang value never becomes the input"},
        {{"--vectorize"}, [](auto& r) { return r.input.empty() && !r.outputPath; }, "--vectorize last"},
        {{"--vectorize", "a", "b", "-o", "out.svg"},
         [](auto& r) { return r.input == "a" && r.outputPath == "out.svg"; },
         "second bare word ignored"},
        {{"--pens"}, [](auto& r) { return r.params.penCount == 2; }, "option as last word"},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(c.check(parseVectorizeArguments(c.words))) << c.what;
    }
    // Only nine fields are ever written.
    const auto all = parseVectorizeArguments({"--pens", "3", "--paper", "A3", "--threshold", "10"});
    EXPECT_EQ(all.params.outputMode, VectorizerParams().outputMode);
    EXPECT_EQ(all.params.marginMM, VectorizerParams().marginMM);
}

TEST(HeadlessCLIHelp, EndsWithOneLineEndInBothLanguages) {
    for (const char* lang : {"en", "fr"}) {
        const auto result = runProcess(OSTREL_BINARY, {"--lang", lang, "--help"});
        EXPECT_EQ(result.exitCode, 0);
        const std::string expectedEnd = "(#000000)\n";
        ASSERT_GE(result.out.size(), expectedEnd.size());
        EXPECT_EQ(result.out.substr(result.out.size() - expectedEnd.size()), expectedEnd) << lang;
        EXPECT_EQ(result.out.rfind("Ostrel ", 0), 0u);
    }
    EXPECT_NE(runProcess(OSTREL_BINARY, {"--lang", "en", "-h"}).out.find(" — Line-art vectorizer for AxiDraw plotters"),
              std::string::npos);
    EXPECT_NE(runProcess(OSTREL_BINARY, {"--lang", "fr", "-h"}).out.find("Usage :\n  Ostrel [options] [fichier_image]"),
              std::string::npos);
}

TEST(HeadlessCLIVersion, PrintsTheVersionLine) {
    for (const char* word : {"--version", "-v"}) {
        const auto result = runProcess(OSTREL_BINARY, {word});
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.out.rfind("Ostrel ", 0), 0u);
        EXPECT_EQ(result.out.back(), '\n');
    }
}

TEST(HeadlessCLIVectorize, StdoutEqualsFileAndFoldersAreCreated) {
    TemporaryFolder folder;
    const auto toStdout = runProcess(OSTREL_BINARY, {"--vectorize", "ROSETTE", "--format", "csv"});
    ASSERT_EQ(toStdout.exitCode, 0) << toStdout.err;
    EXPECT_TRUE(toStdout.err.empty());
    const std::string target = folder.file("a/b/drawing.csv");
    const auto toFile = runProcess(OSTREL_BINARY, {"--vectorize", "rosette", "--format", "csv", "-o", target});
    ASSERT_EQ(toFile.exitCode, 0) << toFile.err;
    EXPECT_TRUE(toFile.out.empty());
    EXPECT_EQ(test::readFile(target), toStdout.out);
    // No line end is added: the CSV's own final newline is the last byte.
    EXPECT_EQ(toStdout.out.substr(toStdout.out.size() - 2).find("\n\n"), std::string::npos);

    // "~" is the home folder.
    const auto home =
        runProcess(OSTREL_BINARY, {"-o", "~/out/x/drawing.svg", "--vectorize"}, {{"HOME", folder.path()}});
    EXPECT_EQ(home.exitCode, 0) << home.err;
    EXPECT_TRUE(std::filesystem::exists(folder.file("out/x/drawing.svg")));
}

TEST(HeadlessCLIVectorize, FailuresHaveTheirStatusAndMessage) {
    TemporaryFolder folder;
    const auto unreadable = runProcess(OSTREL_BINARY, {"--vectorize", folder.file("missing.png")});
    EXPECT_EQ(unreadable.exitCode, 1);
    EXPECT_EQ(unreadable.err, "Ostrel error: could not read image '" + folder.file("missing.png") + "'\n");
    EXPECT_TRUE(unreadable.out.empty());

    const auto foo = runProcess(OSTREL_BINARY, {"--algorithm", "foo", "--vectorize"}, {}, folder.path());
    EXPECT_EQ(foo.exitCode, 1);
    EXPECT_EQ(foo.err, "Ostrel error: could not read image 'foo'\n");

    // A file where a folder is needed cannot be written: status 2, and an existing file is untouched.
    std::ofstream(folder.file("blocker")) << "keep";
    const auto blocked = runProcess(OSTREL_BINARY, {"--vectorize", "stage", "-o", folder.file("blocker/x.svg")});
    EXPECT_EQ(blocked.exitCode, 2);
    EXPECT_EQ(blocked.err.rfind("Ostrel error: ", 0), 0u);
    EXPECT_EQ(test::readFile(folder.file("blocker")), "keep");
}

// A PDF file is read as its first page (rendered by the program's child renderer); one without a page
// is an image that cannot be read.
TEST(HeadlessCLIVectorize, PdfFilesAreReadAsTheirFirstPage) {
    const std::filesystem::path corpus = std::filesystem::path(OSTREL_SOURCE_DIR) / "tests/fuzz/corpus/pdf_file";
    const auto drawing =
        runProcess(OSTREL_BINARY, {"--vectorize", (corpus / "line-drawing.pdf").string(), "--format", "txt"});
    ASSERT_EQ(drawing.exitCode, 0) << drawing.err;
    EXPECT_NE(drawing.out.find("1696 \u00D7 2400 px"), std::string::npos) << drawing.out.substr(0, 600);
    const std::string empty = (corpus / "no-page.pdf").string();
    const auto none = runProcess(OSTREL_BINARY, {"--vectorize", empty});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.err, "Ostrel error: could not read image '" + empty + "'\n");
}

TEST(HeadlessCLIVectorize, LangValueIsNotAnImage) {
    const auto result = runProcess(OSTREL_BINARY, {"--format", "txt", "--lang", "en", "--vectorize"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_FALSE(result.out.empty());
}

}  // namespace
}  // namespace ostrel
