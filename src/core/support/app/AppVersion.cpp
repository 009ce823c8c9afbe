#include "core/support/app/AppVersion.h"

#include "BuildInfo.h"

#include <algorithm>

namespace ostrel {

namespace {
std::optional<std::string> usable(const std::map<std::string, std::string>& info, const std::string& key) {
    const auto it = info.find(key);
    if (it == info.end()) return std::nullopt;
    const std::string& text = it->second;
    const auto isBlank = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    };
    const auto first = std::find_if_not(text.begin(), text.end(), isBlank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), isBlank).base();
    if (first >= last) return std::nullopt;
    std::string trimmed(first, last);
    if (trimmed.front() == '@') return std::nullopt;
    return trimmed;
}
}  // namespace

const char* AppVersion::configuredVersion() noexcept { return buildinfo::kVersion; }

AppVersion AppVersion::fromInfo(const std::optional<std::map<std::string, std::string>>& info) {
    AppVersion out;
    if (!info) return out;
    if (auto version = usable(*info, "CFBundleShortVersionString")) out.version = *version;
    out.build = usable(*info, "CFBundleVersion");
    return out;
}

const AppVersion& AppVersion::current() {
    static const AppVersion version = fromInfo(std::map<std::string, std::string>{
        {"CFBundleShortVersionString", buildinfo::kVersion}, {"CFBundleVersion", buildinfo::kBuild}});
    return version;
}

std::string AppVersion::versionLine() const {
    std::string line = "Ostrel " + version;
    if (build) line += " (" + *build + ")";
    return line;
}

bool AppVersion::isRequested(const std::vector<std::string>& arguments) {
    return std::any_of(arguments.begin() + (arguments.empty() ? 0 : 1), arguments.end(),
                       [](const std::string& a) { return a == "--version" || a == "-v"; });
}

}  // namespace ostrel
