#include "core/support/app/AppVersion.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace ostrel {
namespace {

using Info = std::map<std::string, std::string>;

/// The project version CMake configured, handed to the tests on their own path.
const std::string kConfigured = OSTREL_VERSION;

TEST(AppVersion, FromBundleInformation) {
    ASSERT_THAT(kConfigured, testing::MatchesRegex(R"([0-9]+\.[0-9]+\.[0-9]+)"));
    struct Case {
        const char* name;
        std::optional<Info> info;
        std::string version;
        std::optional<std::string> build;
        std::string line;
    };
    const Case cases[] = {
        {"no information", std::nullopt, kConfigured, std::nullopt, "Ostrel " + kConfigured},
        {"empty information", Info{}, kConfigured, std::nullopt, "Ostrel " + kConfigured},
        {"both given", Info{{"CFBundleShortVersionString", "1.2.3"}, {"CFBundleVersion", "42"}}, "1.2.3", "42",
         "Ostrel 1.2.3 (42)"},
        {"trimmed", Info{{"CFBundleShortVersionString", " \t1.2.3\n"}, {"CFBundleVersion", "\r\n42 "}}, "1.2.3", "42",
         "Ostrel 1.2.3 (42)"},
        {"blank build", Info{{"CFBundleShortVersionString", "2.0"}, {"CFBundleVersion", " \n\t "}}, "2.0", std::nullopt,
         "Ostrel 2.0"},
        {"placeholders", Info{{"CFBundleShortVersionString", "@OSTREL_VERSION@"}, {"CFBundleVersion", " @BUILD"}},
         kConfigured, std::nullopt, "Ostrel " + kConfigured},
        {"build only", Info{{"CFBundleVersion", "7"}}, kConfigured, "7", "Ostrel " + kConfigured + " (7)"},
        {"inner @ kept", Info{{"CFBundleShortVersionString", "1.0@beta"}}, "1.0@beta", std::nullopt, "Ostrel 1.0@beta"},
    };
    for (const Case& c : cases) {
        const AppVersion v = AppVersion::fromInfo(c.info);
        EXPECT_EQ(v.version, c.version) << c.name;
        EXPECT_EQ(v.build, c.build) << c.name;
        EXPECT_EQ(v.versionLine(), c.line) << c.name;
    }
    EXPECT_EQ(AppVersion::current().version, kConfigured);
    EXPECT_EQ(&AppVersion::current(), &AppVersion::current());
}

TEST(AppVersion, VersionRequestedAfterTheProgramPath) {
    struct Case {
        std::vector<std::string> arguments;
        bool requested;
    };
    const Case cases[] = {
        {{"Ostrel", "-v"}, true},
        {{"Ostrel", "--lang", "en", "--version"}, true},
        {{"-v"}, false},  // the program path is never the option
        {{"--version"}, false},
        {{"Ostrel", "--Version"}, false},
        {{"Ostrel", "-v2"}, false},
        {{"Ostrel"}, false},
        {{}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AppVersion::isRequested(c.arguments), c.requested)
            << (c.arguments.empty() ? std::string("(none)") : c.arguments.back());
    }
}

}  // namespace
}  // namespace ostrel
