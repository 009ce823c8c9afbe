#include "app/launch/SelfTest.h"

#include "testsupport/QtTestApp.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace ostrel {
namespace {

std::string contents(std::FILE* file) {
    std::rewind(file);
    std::string text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
    return text;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) result.push_back(line);
    return result;
}

TEST(SelfTest, EveryCheckPassesInOrderWithAnEmptyErrorStream) {
    test::ensureQtApp();
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ASSERT_TRUE(out && err);
    EXPECT_EQ(SelfTest::run(out, err), 0);
    const std::vector<std::string> printed = lines(contents(out));
    EXPECT_EQ(contents(err), "");
    ASSERT_FALSE(printed.empty());
    EXPECT_EQ(printed.front(), "PASS: Synthetic portrait drawing generated (480x640)");
    EXPECT_EQ(printed.back(), "Ostrel self-test: ALL PASSED");
    EXPECT_EQ(printed.size(), 21u);  // twenty checks, then the summary
    EXPECT_EQ(printed[19], "PASS: Offscreen AxiDraw sheet PNG snapshot renders (> 15 KB)");
    for (std::size_t i = 0; i + 1 < printed.size(); ++i) EXPECT_EQ(printed[i].rfind("PASS: ", 0), 0u) << printed[i];
    std::fclose(out);
    std::fclose(err);
}

TEST(SelfTest, CubicCommandCountsOnlyInsideAPathsData) {
    EXPECT_TRUE(SelfTest::hasCubicPathCommand(R"(<path d="M 1 2 C 3 4 5 6 7 8"/>)"));
    EXPECT_TRUE(SelfTest::hasCubicPathCommand(R"(<path d="M 0 0 L 1 1"/><path d="M 1 2 C 3 4 5 6 7 8"/>)"));
    EXPECT_FALSE(
        SelfTest::hasCubicPathCommand(R"(<!-- Created by Ostrel: C --><path d="M 0 0 L 1 1" stroke="#C0C0C0"/>)"));
    EXPECT_FALSE(SelfTest::hasCubicPathCommand(R"(<g inkscape:label="Pen C"><path d="M 0 0 L 1 1"/></g>)"));
    EXPECT_FALSE(SelfTest::hasCubicPathCommand(R"(<path d="M 0 0 L 1 1)"));  // unterminated
    EXPECT_FALSE(SelfTest::hasCubicPathCommand(""));
}

}  // namespace
}  // namespace ostrel
