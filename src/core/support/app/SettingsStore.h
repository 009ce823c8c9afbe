// User defaults behind a small interface.
//
// Keys are the bundle identifier, a point and the setting's name. The Qt-backed
// store writes an INI file under $XDG_CONFIG_HOME; the in-memory store serves
// tests and the headless modes, which never write user defaults.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ostrel {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    [[nodiscard]] virtual std::optional<std::string> string(const std::string& name) const = 0;
    [[nodiscard]] virtual std::optional<std::vector<std::string>> stringList(const std::string& name) const = 0;
    virtual void setString(const std::string& name, const std::string& value) = 0;
    virtual void setStringList(const std::string& name, const std::vector<std::string>& value) = 0;
    virtual void remove(const std::string& name) = 0;

    /// The full key of a setting: bundle identifier + "." + name.
    [[nodiscard]] static std::string keyFor(const std::string& name);
};

class MemorySettingsStore final : public SettingsStore {
public:
    [[nodiscard]] std::optional<std::string> string(const std::string& name) const override;
    [[nodiscard]] std::optional<std::vector<std::string>> stringList(const std::string& name) const override;
    void setString(const std::string& name, const std::string& value) override;
    void setStringList(const std::string& name, const std::vector<std::string>& value) override;
    void remove(const std::string& name) override;

private:
    std::map<std::string, std::string> strings_;
    std::map<std::string, std::vector<std::string>> lists_;
};

/// QSettings in INI format at $XDG_CONFIG_HOME/Ostrel/Ostrel.conf.
class QtSettingsStore final : public SettingsStore {
public:
    QtSettingsStore();
    ~QtSettingsStore() override;
    [[nodiscard]] std::optional<std::string> string(const std::string& name) const override;
    [[nodiscard]] std::optional<std::vector<std::string>> stringList(const std::string& name) const override;
    void setString(const std::string& name, const std::string& value) override;
    void setStringList(const std::string& name, const std::vector<std::string>& value) override;
    void remove(const std::string& name) override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace ostrel
