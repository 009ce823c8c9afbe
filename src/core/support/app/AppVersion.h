// Which version and build this application is, as configured by the build.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ostrel {

struct AppVersion {
    std::string version = configuredVersion();
    std::optional<std::string> build;

    /// The version the build was configured with (the CMake project's): the version whenever the
    /// bundle information gives none.
    static const char* configuredVersion() noexcept;

    /// From bundle-style information: "CFBundleShortVersionString" and "CFBundleVersion"; values are
    /// trimmed, and empty ones or ones beginning with "@" count as missing.
    static AppVersion fromInfo(const std::optional<std::map<std::string, std::string>>& info);

    /// This process's record, computed once from the build configuration.
    static const AppVersion& current();

    /// "Ostrel 1.2.3 (42)" or "Ostrel 1.2.3".
    [[nodiscard]] std::string versionLine() const;

    /// True when "--version" or "-v" stands anywhere after the program path.
    static bool isRequested(const std::vector<std::string>& arguments);

    friend bool operator==(const AppVersion&, const AppVersion&) = default;
};

}  // namespace ostrel
