// Test helper: the user settings of one scope live in a fresh temporary folder. XDG_CONFIG_HOME
// points there, and so does the INI path of QSettings (which caches it once per process).
#pragma once

#include "testsupport/TempDir.h"

#include <QDir>
#include <QSettings>
#include <QString>

#include <cstdlib>
#include <optional>
#include <string>

namespace ostrel::test {

class ConfigHomeScope {
public:
    ConfigHomeScope() {
        if (const char* previous = std::getenv("XDG_CONFIG_HOME")) previous_ = previous;
        ::setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(dir_.path().string()));
    }
    ~ConfigHomeScope() {
        if (previous_) {
            ::setenv("XDG_CONFIG_HOME", previous_->c_str(), 1);
        } else {
            ::unsetenv("XDG_CONFIG_HOME");
        }
        const QString home =
            previous_ ? QString::fromStdString(*previous_) : QDir::homePath() + QStringLiteral("/.config");
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home);
    }
    ConfigHomeScope(const ConfigHomeScope&) = delete;
    ConfigHomeScope& operator=(const ConfigHomeScope&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const noexcept { return dir_.path(); }

private:
    TempDir dir_;
    std::optional<std::string> previous_;
};

}  // namespace ostrel::test
