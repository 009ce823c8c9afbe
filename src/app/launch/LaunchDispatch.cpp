#include "app/launch/LaunchDispatch.h"

#include "core/support/app/AppVersion.h"
#include "core/support/system/FileWriting.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace ostrel {
namespace {

using Words = std::vector<std::string>;

bool contains(const Words& words, const char* word) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

/// The word right after the first `option`, if any.
const std::string* wordAfter(const Words& words, const char* option) {
    const auto found = std::find(words.begin(), words.end(), option);
    if (found == words.end() || found + 1 == words.end()) return nullptr;
    return &*(found + 1);
}

LaunchSnapshot snapshotArguments(const Words& rest) {
    LaunchSnapshot snapshot{"/tmp/ostrel.png", "split"};
    if (const std::string* path = wordAfter(rest, "--snapshot"); path != nullptr && path->rfind('-', 0) != 0) {
        snapshot.outputPath = *path;
    }
    if (const std::string* view = wordAfter(rest, "--view")) snapshot.view = *view;
    return snapshot;
}

}  // namespace

LaunchMode chooseLaunchMode(const std::vector<std::string>& arguments) {
    if (AppVersion::isRequested(arguments)) return LaunchVersion{};
    const Words rest(arguments.begin() + (arguments.empty() ? 0 : 1), arguments.end());
    if (contains(rest, "--help") || contains(rest, "-h")) return LaunchHelp{};
    if (contains(rest, "--self-test")) return LaunchSelfTest{};
    if (contains(rest, "--vectorize")) return LaunchVectorize{rest};
    if (contains(rest, "--snapshot")) return snapshotArguments(rest);
    return LaunchWindow{};
}

bool optionTakesValue(const std::string& word) noexcept {
    // Every option of the program that reads the next word: the interface language, the snapshot's
    // path and view, and the headless vectorizing's output and parameters.
    static constexpr std::array<std::string_view, 14> withValue{
        "--lang",      "--view",  "--snapshot", "--vectorize", "-o",          "--output",    "--format",
        "--algorithm", "--paper", "--pens",     "--threshold", "--smoothing", "--tolerance", "--continuity"};
    return std::find(withValue.begin(), withValue.end(), word) != withValue.end();
}

std::string fileArgument(const std::vector<std::string>& arguments) {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (word.rfind('-', 0) == 0) {
            if (optionTakesValue(word)) ++i;
            continue;
        }
        return word.empty() ? std::string() : expandUserPath(word);
    }
    return {};
}

}  // namespace ostrel
