#include "core/update/ReleaseFeed.h"

#include "testsupport/LanguageScope.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ostrel {
namespace {

using ReleaseFeed::isNewer;
using ReleaseFeed::normalizeVersion;
using ReleaseFeed::parseRelease;

ReleaseInfo parse(const std::string& json, const std::string& architecture = "x86_64") {
    return parseRelease(json, "app.ostrel.Ostrel", "Ostrel", architecture);
}

int codeOf(const std::string& json) {
    try {
        (void)parse(json);
    } catch (const Error& error) {
        return error.domain() == UpdateError::domain ? error.code() : -1;
    }
    return 0;
}

TEST(ReleaseFeedTest, ReadsTheManifestWithItsFallbacks) {
    const ReleaseInfo release = parse(R"({"version": "v2.1.0", "download_url": "https://example.org/O.zip",
        "build": "42", "sha256": "  ABCDEF\n", "notes": "both", "notes_en": "english",
        "html_url": "https://example.org/r", "signature": " c2ln "})");
    EXPECT_EQ(release.version, "2.1.0");
    EXPECT_EQ(release.downloadURL, "https://example.org/O.zip");
    EXPECT_EQ(release.build, 42);
    EXPECT_EQ(release.sha256, "ABCDEF");  // trimmed, case kept
    EXPECT_EQ(release.notesFR, "both");
    EXPECT_EQ(release.notesEN, "english");
    EXPECT_EQ(release.htmlURL, "https://example.org/r");
    EXPECT_EQ(release.signature, "c2ln");
}

TEST(ReleaseFeedTest, ManifestFieldRules) {
    struct Case {
        const char* json;
        std::optional<std::int64_t> build;
        std::optional<std::string> sha256;
    };
    const std::vector<Case> cases{
        {R"({"version": "1", "url": "file:///a.zip", "build": 42})", 42, std::nullopt},
        {R"({"version": "1", "url": "file:///a.zip", "build": "+7"})", 7, std::nullopt},
        {R"({"version": "1", "url": "file:///a.zip", "build": "4x"})", std::nullopt, std::nullopt},
        {R"({"version": "1", "url": "file:///a.zip", "build": 4.5})", std::nullopt, std::nullopt},
        {R"({"version": "1", "url": "file:///a.zip", "build": "99999999999999999999"})", std::nullopt, std::nullopt},
        {R"({"version": "1", "url": "file:///a.zip", "sha256": " \n "})", std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        const ReleaseInfo release = parse(c.json);
        EXPECT_EQ(release.build, c.build) << c.json;
        EXPECT_EQ(release.sha256, c.sha256) << c.json;
    }
}

TEST(ReleaseFeedTest, NestedManifestsWinInOrder) {
    const std::string flat = R"("version": "1.0", "url": "https://x/flat.zip")";
    EXPECT_EQ(parse(R"({"Ostrel": {"version": "2", "url": "https://x/app.zip"},
                        "app.ostrel.Ostrel": {"version": "3", "url": "https://x/id.zip"}, )" +
                    flat + "}")
                  .downloadURL,
              "https://x/id.zip");
    EXPECT_EQ(parse(R"({"Ostrel": {"version": "2", "url": "https://x/app.zip"}, )" + flat + "}").downloadURL,
              "https://x/app.zip");
    EXPECT_EQ(parse("{" + flat + "}").downloadURL, "https://x/flat.zip");
}

TEST(ReleaseFeedTest, ErrorCodesAndTheirTexts) {
    EXPECT_EQ(codeOf("[1, 2]"), 1);
    EXPECT_EQ(codeOf("{}"), 2);
    EXPECT_EQ(
        codeOf(R"({"tag_name": "v2", "assets": [{"name": "src.tar.gz", "browser_download_url": "https://x/s"}]})"), 2);
    EXPECT_EQ(
        codeOf(R"({"tag_name": "v2", "assets": [{"name": "O.zip", "browser_download_url": "https://x/O.zip"}, 3]})"),
        2);
    EXPECT_EQ(codeOf(R"({"tag_name": "v2", "assets": [{"name": "O.zip", "browser_download_url": "no url"}]})"), 2);
    EXPECT_EQ(codeOf(R"({"version": 2, "download_url": "https://x/O.zip"})"), 3);
    EXPECT_EQ(codeOf(R"({"version": "2", "url": "not a url", "download_url": "https://x/O.zip"})"), 3);
    EXPECT_EQ(codeOf("not json"), -1);  // the JSON reader's own error

    const test::LanguageScope english(AppLanguage::en);
    try {
        (void)parse(R"({"message": "API rate limit exceeded"})");
        FAIL() << "a service error object is no release";
    } catch (const Error& error) {
        EXPECT_EQ(error.message(), "No update .zip archive found.");
    }
    EXPECT_EQ(codeOf(R"({"version": "2"})"), 2);  // no address: read as a release object, which has no tag
}

TEST(ReleaseFeedTest, ReleaseObjectPicksTheArchiveForThisMachine) {
    const std::string release = R"({"tag_name": "V2.0.0", "body": "Notes\nSHA256 = )" + std::string(64, 'A') +
                                R"(", "html_url": "https://x/page", "assets": [
        {"name": "source.ZIP", "browser_download_url": "https://x/source.zip"},
        {"name": "Ostrel-2.0.0-macos.zip", "browser_download_url": "https://x/mac.zip"},
        {"name": "Ostrel-2.0.0-linux-aarch64.zip", "browser_download_url": "https://x/arm.zip"},
        {"name": "Ostrel-2.0.0-linux-x86_64.zip", "browser_download_url": "https://x/intel.zip"},
        {"name": "Ostrel-2.0.0-linux-x86_64.zip.sig", "browser_download_url": "https://x/intel.zip.sig"}]})";
    const ReleaseInfo intel = parse(release, "x86_64");
    EXPECT_EQ(intel.version, "2.0.0");
    EXPECT_EQ(intel.build, std::nullopt);
    EXPECT_EQ(intel.downloadURL, "https://x/intel.zip");
    EXPECT_EQ(intel.signatureURL, "https://x/intel.zip.sig");
    EXPECT_EQ(intel.sha256, std::string(64, 'a'));
    EXPECT_EQ(intel.notesFR, intel.notesEN);
    EXPECT_EQ(intel.htmlURL, "https://x/page");
    EXPECT_EQ(parse(release, "aarch64").downloadURL, "https://x/arm.zip");
    EXPECT_EQ(parse(release, "aarch64").signatureURL, std::nullopt);
    // No archive for this machine: the Part's rule, the application's name first, then any .zip.
    EXPECT_EQ(parse(release, "riscv64").downloadURL, "https://x/mac.zip");
    EXPECT_EQ(
        parse(R"({"tag_name": "vv2", "assets": [{"name": "src.ZIP", "browser_download_url": "https://x/s.zip"}]})")
            .version,
        "v2");
}

TEST(ReleaseFeedTest, DigestInReleaseNotes) {
    const std::string hex64 = "0123456789abcdef0123456789ABCDEF0123456789abcdef0123456789abcdef";
    EXPECT_EQ(ReleaseFeed::sha256InNotes("x\nSHA256 = " + hex64), ReleaseFeed::sha256InNotes("sha256:" + hex64));
    EXPECT_EQ(ReleaseFeed::sha256InNotes("sha256:" + hex64)->size(), 64u);
    EXPECT_EQ(*ReleaseFeed::sha256InNotes("Sha256:\t" + hex64),
              "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef");
    EXPECT_EQ(ReleaseFeed::sha256InNotes("sha256: " + hex64.substr(0, 63)), std::nullopt);
    EXPECT_EQ(*ReleaseFeed::sha256InNotes("sha256: " + hex64 + "f"), ReleaseFeed::sha256InNotes("sha256:" + hex64));
    EXPECT_EQ(ReleaseFeed::sha256InNotes("sha256 - " + hex64), std::nullopt);
    // A first mention without digits does not hide a later one.
    EXPECT_EQ(ReleaseFeed::sha256InNotes("sha256 below\nsha256: " + hex64),
              ReleaseFeed::sha256InNotes("sha256:" + hex64));
}

TEST(ReleaseFeedTest, NormalizeVersion) {
    using V = std::vector<std::string>;
    EXPECT_EQ(normalizeVersion("V1.3-beta"), (V{"1", "3"}));
    EXPECT_EQ(normalizeVersion("1..2"), (V{"1", "2"}));
    EXPECT_EQ(normalizeVersion("1.2b"), (V{"1", "0"}));
    EXPECT_EQ(normalizeVersion("-1.2"), (V{"1", "2"}));
    EXPECT_EQ(normalizeVersion(" v007.+3 \n"), (V{"7", "3"}));
    EXPECT_EQ(normalizeVersion(""), V{});
    EXPECT_EQ(normalizeVersion("1.123456789012345678901234567890"), (V{"1", "123456789012345678901234567890"}));
}

TEST(ReleaseFeedTest, VersionOrder) {
    struct Case {
        const char* candidate;
        std::optional<std::int64_t> candidateBuild;
        const char* current;
        std::optional<std::int64_t> currentBuild;
        bool newer;
    };
    const std::vector<Case> cases{
        {"1.10", {}, "1.9", 1, true},
        {"1.9", {}, "1.10", 1, false},
        {"2", {}, "1.9.9", 1, true},
        {"1.2", {}, "1.2.0", 1, false},
        {"1.2.0", {}, "1.2", 1, false},
        {"V1.3-beta", {}, "1.3", 1, false},
        {"1.3", 12, "1.3", 11, true},
        {"1.3", 11, "1.3", 11, false},
        {"1.3", {}, "1.3", 11, false},
        {"1.3", 12, "1.3", {}, false},
        {"1.18446744073709551616", {}, "1.18446744073709551615", 1, true},
        {"99999999999999999999999", {}, "100000000000000000000000", 1, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isNewer(c.candidate, c.candidateBuild, c.current, c.currentBuild), c.newer)
            << c.candidate << " vs " << c.current;
    }
}

TEST(ReleaseFeedTest, Sha256Hex) {
    EXPECT_EQ(ReleaseFeed::sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(ReleaseFeed::sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(ReleaseFeedTest, FeedAddressOrder) {
    EXPECT_EQ(
        ReleaseFeed::configuredFeedURL(std::string("http://127.0.0.1:1/feed"), std::string("https://stored/"), "o/r"),
        "http://127.0.0.1:1/feed");
    EXPECT_EQ(ReleaseFeed::configuredFeedURL(std::string(""), std::string("https://stored/"), "o/r"),
              "https://stored/");
    EXPECT_EQ(ReleaseFeed::configuredFeedURL(std::string("not a url"), std::nullopt, "o/r"),
              "https://api.github.com/repos/o/r/releases/latest");
    EXPECT_EQ(ReleaseFeed::configuredFeedURL(std::nullopt, std::string("https://stored/"), ""), "https://stored/");
    EXPECT_EQ(ReleaseFeed::configuredFeedURL(std::nullopt, std::nullopt, ""), "");  // a build with no default feed
}

}  // namespace
}  // namespace ostrel
