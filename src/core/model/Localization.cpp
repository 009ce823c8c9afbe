#include "core/model/Localization.h"

#include "core/support/text/NumberFormat.h"

#include <cstdlib>

namespace ostrel {

namespace {
constexpr const char* kLanguageKey = "language";

bool startsWith(std::string_view text, std::string_view prefix) noexcept {
    return text.substr(0, prefix.size()) == prefix;
}

/// "en" or "fr" when the lowercased text begins with one of them.
std::optional<std::string> codePrefix(std::string_view text) {
    const std::string lower = asciiLower(text);
    if (startsWith(lower, "en")) return std::string("en");
    if (startsWith(lower, "fr")) return std::string("fr");
    return std::nullopt;
}

/// The value after the first exact "--lang", read as a code.
std::optional<std::string> codeFromArguments(const std::vector<std::string>& arguments) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] != "--lang") continue;
        if (i + 1 >= arguments.size()) return std::nullopt;
        return codePrefix(arguments[i + 1]);
    }
    return std::nullopt;
}

std::optional<std::string> envValue(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

bool saysNothing(const std::string& locale) {
    if (locale.empty()) return true;
    const std::string lower = asciiLower(locale);
    return lower == "c" || lower == "posix" || startsWith(lower, "c.");
}

std::mutex& processMutex() {
    static std::mutex mutex;
    return mutex;
}
std::vector<std::string>& processArguments() {
    static std::vector<std::string> arguments;
    return arguments;
}
SettingsStore*& processStore() {
    static SettingsStore* store = nullptr;
    return store;
}
}  // namespace

std::string_view rawValue(AppLanguage language) noexcept {
    switch (language) {
        case AppLanguage::system:
            return "system";
        case AppLanguage::fr:
            return "fr";
        case AppLanguage::en:
            return "en";
    }
    return "system";
}

std::optional<AppLanguage> appLanguageFromRaw(std::string_view text) noexcept {
    for (AppLanguage language : kAllAppLanguages) {
        if (rawValue(language) == text) return language;
    }
    return std::nullopt;
}

std::string label(AppLanguage language) {
    switch (language) {
        case AppLanguage::system:
            return L("Système", "System");
        case AppLanguage::fr:
            return "Français";
        case AppLanguage::en:
            return "English";
    }
    return {};
}

std::vector<std::string> preferredLanguagesFrom(const std::optional<std::string>& language,
                                                const std::optional<std::string>& lcAll,
                                                const std::optional<std::string>& lcMessages,
                                                const std::optional<std::string>& lang) {
    std::vector<std::string> list;
    if (language) {
        std::string_view rest = *language;
        while (!rest.empty()) {
            const auto colon = rest.find(':');
            const std::string entry(rest.substr(0, colon));
            if (!saysNothing(entry)) list.push_back(entry);
            if (colon == std::string_view::npos) break;
            rest.remove_prefix(colon + 1);
        }
    }
    for (const auto* value : {&lcAll, &lcMessages, &lang}) {
        if (*value && !saysNothing(**value)) list.push_back(**value);
    }
    return list;
}

LanguageEnvironment processLanguageEnvironment() {
    LanguageEnvironment environment;
    {
        std::lock_guard lock(processMutex());
        environment.arguments = processArguments();
    }
    environment.kavrinLang = envValue("KAVRIN_LANG");
    environment.preferredLanguages =
        preferredLanguagesFrom(envValue("LANGUAGE"), envValue("LC_ALL"), envValue("LC_MESSAGES"), envValue("LANG"));
    return environment;
}

std::string resolvedCode(AppLanguage language, const LanguageEnvironment& environment) {
    switch (language) {
        case AppLanguage::fr:
            return "fr";
        case AppLanguage::en:
            return "en";
        case AppLanguage::system:
            break;
    }
    if (auto code = codeFromArguments(environment.arguments)) return *code;
    if (environment.kavrinLang) {
        if (auto code = codePrefix(*environment.kavrinLang)) return *code;
    }
    if (environment.preferredLanguages.empty()) return "fr";
    return startsWith(asciiLower(environment.preferredLanguages.front()), "en") ? "en" : "fr";
}

LanguageSettings::LanguageSettings(EnvironmentSource environment, SettingsStore* store)
    : environment_(std::move(environment)), store_(store) {}

AppLanguage LanguageSettings::currentLocked() {
    if (!current_) {
        const LanguageEnvironment environment = environment_();
        const auto forced = codeFromArguments(environment.arguments);
        if (forced) {
            current_ = *forced == "en" ? AppLanguage::en : AppLanguage::fr;
        } else {
            const auto saved = store_ ? store_->string(kLanguageKey) : std::nullopt;
            if (saved == "fr")
                current_ = AppLanguage::fr;
            else if (saved == "en")
                current_ = AppLanguage::en;
            else
                current_ = AppLanguage::system;
        }
    }
    return *current_;
}

AppLanguage LanguageSettings::current() {
    std::lock_guard lock(mutex_);
    return currentLocked();
}

void LanguageSettings::setCurrent(AppLanguage language) {
    {
        std::lock_guard lock(mutex_);
        current_ = language;
    }
    // Only the choice itself is persisted: Qt and the toolkit take their own language from the
    // environment, so there is no per-application language list to keep in step.
    if (store_ != nullptr) store_->setString(kLanguageKey, std::string(rawValue(language)));
}

bool LanguageSettings::isEnglish() { return resolvedCode(current(), environment_()) == "en"; }

std::string LanguageSettings::choose(std::string_view french, std::string_view english) {
    const AppLanguage language = current();
    if (language == AppLanguage::fr) return std::string(french);
    if (language == AppLanguage::en) return std::string(english);
    return std::string(resolvedCode(language, environment_()) == "en" ? english : french);
}

namespace Localization {

LanguageSettings& shared() {
    static LanguageSettings settings(processLanguageEnvironment, processStore());
    return settings;
}

void setProcessArguments(int argc, const char* const* argv) {
    std::lock_guard lock(processMutex());
    processArguments().assign(argv, argv + argc);
}

void installSettingsStore(SettingsStore* store) { processStore() = store; }

AppLanguage current() { return shared().current(); }
void setCurrent(AppLanguage language) { shared().setCurrent(language); }
bool isEnglish() { return shared().isEnglish(); }

}  // namespace Localization

std::string L(std::string_view french, std::string_view english) {
    return Localization::shared().choose(french, english);
}

}  // namespace ostrel
