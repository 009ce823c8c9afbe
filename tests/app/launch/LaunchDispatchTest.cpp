#include "app/launch/LaunchDispatch.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace ostrel {
namespace {

using Words = std::vector<std::string>;

TEST(LaunchDispatch, FirstMatchingModeWinsAnywhereAfterTheProgramPath) {
    struct Case {
        Words words;
        LaunchMode mode;
    };
    const Case cases[] = {
        {{"Ostrel"}, LaunchWindow{}},
        {{"Ostrel", "-v", "--help"}, LaunchVersion{}},
        {{"Ostrel", "--vectorize", "in.png", "--help"}, LaunchHelp{}},
        {{"Ostrel", "--self-test", "--vectorize", "x"}, LaunchSelfTest{}},
        {{"Ostrel", "--self-test", "--strict"}, LaunchSelfTest{}},
        {{"Ostrel", "a.png", "--vectorize", "-o", "b.svg"}, LaunchVectorize{{"a.png", "--vectorize", "-o", "b.svg"}}},
        {{"Ostrel", "--snapshot", "out.png", "--view", "overlay"}, LaunchSnapshot{"out.png", "overlay"}},
        {{"Ostrel", "--snapshot", "--view", "overlay"}, LaunchSnapshot{"/tmp/ostrel.png", "overlay"}},
        {{"Ostrel", "--snapshot"}, LaunchSnapshot{"/tmp/ostrel.png", "split"}},
        {{"Ostrel", "--snapshot", "out.png", "--view"}, LaunchSnapshot{"out.png", "split"}},
        {{"Ostrel", "--view", "-about", "--snapshot", "~/x.png"}, LaunchSnapshot{"~/x.png", "-about"}},
        {{"Ostrel", "--view", "about"}, LaunchWindow{}},
        {{"--help"}, LaunchWindow{}},  // the program path never counts
        {{"-v"}, LaunchWindow{}},
        {{"Ostrel", "--Help"}, LaunchWindow{}},  // case-sensitive
        {{}, LaunchWindow{}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(chooseLaunchMode(c.words), c.mode) << ::testing::PrintToString(c.words);
    }
}

TEST(LaunchDispatch, FileArgumentIsTheFirstPlainWordAndSkipsOptionValues) {
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    EXPECT_EQ(fileArgument({"Ostrel", "/d/drawing.png", "/d/other.png"}), "/d/drawing.png");
    EXPECT_EQ(fileArgument({"Ostrel", "--lang", "en", "/d/drawing.png"}), "/d/drawing.png");
    EXPECT_EQ(fileArgument({"Ostrel", "/d/missing.png", "/d/drawing.png"}), "/d/missing.png");  // only the first
    EXPECT_EQ(fileArgument({"Ostrel", "~/drawing.png"}), home + "/drawing.png");
    EXPECT_EQ(fileArgument({"Ostrel", "--lang"}), "");
    EXPECT_EQ(fileArgument({"Ostrel", "-x", "--lang", "fr"}), "");
    EXPECT_EQ(fileArgument({"Ostrel", "", "/d/drawing.png"}), "");
    EXPECT_EQ(fileArgument({"/d/Ostrel"}), "");
}

TEST(LaunchDispatch, NoOptionValueIsEverTakenForTheFile) {
    const struct {
        Words words;
        std::string file;
    } cases[] = {
        {{"Ostrel", "--view", "about"}, ""},
        {{"Ostrel", "--view", "about", "/d/drawing.png"}, "/d/drawing.png"},
        {{"Ostrel", "--lang", "en", "--view", "vector", "/d/drawing.png"}, "/d/drawing.png"},
        {{"Ostrel", "-o", "/d/out.svg", "--format", "csv"}, ""},
        {{"Ostrel", "--algorithm", "skeletonize", "--paper", "A3", "--pens", "2", "/d/a.png"}, "/d/a.png"},
        {{"Ostrel", "--threshold", "128", "--smoothing", "0.5", "--tolerance", "1", "--continuity", "4"}, ""},
        {{"Ostrel", "--output", "/d/o.svg", "/d/b.png"}, "/d/b.png"},
        // Options without a value leave the next word alone.
        {{"Ostrel", "--hatch", "/d/c.png"}, "/d/c.png"},
        {{"Ostrel", "--black", "/d/c.png", "--view"}, "/d/c.png"},
    };
    for (const auto& c : cases) EXPECT_EQ(fileArgument(c.words), c.file) << ::testing::PrintToString(c.words);
}

}  // namespace
}  // namespace ostrel
