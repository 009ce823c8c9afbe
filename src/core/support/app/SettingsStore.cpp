#include "core/support/app/SettingsStore.h"

#include "BuildInfo.h"

#include <QSettings>
#include <QStringList>

namespace ostrel {

std::string SettingsStore::keyFor(const std::string& name) {
    return std::string(buildinfo::kBundleIdentifier) + "." + name;
}

std::optional<std::string> MemorySettingsStore::string(const std::string& name) const {
    const auto it = strings_.find(keyFor(name));
    if (it == strings_.end()) return std::nullopt;
    return it->second;
}

std::optional<std::vector<std::string>> MemorySettingsStore::stringList(const std::string& name) const {
    const auto it = lists_.find(keyFor(name));
    if (it == lists_.end()) return std::nullopt;
    return it->second;
}

void MemorySettingsStore::setString(const std::string& name, const std::string& value) {
    lists_.erase(keyFor(name));
    strings_[keyFor(name)] = value;
}

void MemorySettingsStore::setStringList(const std::string& name, const std::vector<std::string>& value) {
    strings_.erase(keyFor(name));
    lists_[keyFor(name)] = value;
}

void MemorySettingsStore::remove(const std::string& name) {
    strings_.erase(keyFor(name));
    lists_.erase(keyFor(name));
}

struct QtSettingsStore::Impl {
    QSettings settings{QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Ostrel"), QStringLiteral("Ostrel")};
};

QtSettingsStore::QtSettingsStore() : impl_(std::make_unique<Impl>()) {}
QtSettingsStore::~QtSettingsStore() = default;

namespace {
QString qKey(const std::string& name) { return QString::fromStdString(SettingsStore::keyFor(name)); }
}  // namespace

std::optional<std::string> QtSettingsStore::string(const std::string& name) const {
    const QVariant v = impl_->settings.value(qKey(name));
    if (!v.isValid() || v.typeId() == QMetaType::QStringList) return std::nullopt;
    return v.toString().toStdString();
}

std::optional<std::vector<std::string>> QtSettingsStore::stringList(const std::string& name) const {
    const QVariant v = impl_->settings.value(qKey(name));
    if (!v.isValid()) return std::nullopt;
    std::vector<std::string> out;
    for (const QString& s : v.toStringList()) out.push_back(s.toStdString());
    return out;
}

void QtSettingsStore::setString(const std::string& name, const std::string& value) {
    impl_->settings.setValue(qKey(name), QString::fromStdString(value));
}

void QtSettingsStore::setStringList(const std::string& name, const std::vector<std::string>& value) {
    QStringList list;
    for (const auto& s : value) list << QString::fromStdString(s);
    impl_->settings.setValue(qKey(name), list);
}

void QtSettingsStore::remove(const std::string& name) { impl_->settings.remove(qKey(name)); }

}  // namespace ostrel
