// The interface language: one process-wide setting behind a lock, and `L`,
// which picks the French or the English text of a message.
//
// French is the fallback: anything that does not resolve to English is French.
#pragma once

#include "core/support/app/SettingsStore.h"

#include <array>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

enum class AppLanguage { system, fr, en };

inline constexpr std::array<AppLanguage, 3> kAllAppLanguages{AppLanguage::system, AppLanguage::fr, AppLanguage::en};

[[nodiscard]] std::string_view rawValue(AppLanguage language) noexcept;
[[nodiscard]] std::optional<AppLanguage> appLanguageFromRaw(std::string_view text) noexcept;
/// "Système"/"System" (by `L`), "Français", "English".
[[nodiscard]] std::string label(AppLanguage language);

/// What the system choice is resolved from; injectable for tests.
struct LanguageEnvironment {
    std::vector<std::string> arguments;           // the process's command line, program path first
    std::optional<std::string> kavrinLang;        // KAVRIN_LANG
    std::vector<std::string> preferredLanguages;  // the system's preferred languages, best first
};

/// The process's environment: its arguments, KAVRIN_LANG, and the preferred languages from
/// LANGUAGE (a colon list), LC_ALL, LC_MESSAGES and LANG in that order ("C"/"POSIX" say nothing).
[[nodiscard]] LanguageEnvironment processLanguageEnvironment();

/// The preferred-language list the given variables give (same rule as above).
[[nodiscard]] std::vector<std::string> preferredLanguagesFrom(const std::optional<std::string>& language,
                                                              const std::optional<std::string>& lcAll,
                                                              const std::optional<std::string>& lcMessages,
                                                              const std::optional<std::string>& lang);

/// "fr" or "en": fr and en as they are; system by --lang, then KAVRIN_LANG, then the first preferred language.
[[nodiscard]] std::string resolvedCode(AppLanguage language, const LanguageEnvironment& environment);

/// Holder of the interface language. The process has one (`Localization::shared()`); tests make their own.
class LanguageSettings {
public:
    using EnvironmentSource = std::function<LanguageEnvironment()>;

    /// `store` may be null: nothing is read or persisted then. It must outlive this object.
    LanguageSettings(EnvironmentSource environment, SettingsStore* store);

    /// The stored language, initialised on first use from --lang, then the saved choice.
    [[nodiscard]] AppLanguage current();
    /// Stores the language and persists its raw value under "language".
    void setCurrent(AppLanguage language);
    [[nodiscard]] bool isEnglish();
    [[nodiscard]] std::string choose(std::string_view french, std::string_view english);

private:
    AppLanguage currentLocked();

    EnvironmentSource environment_;
    SettingsStore* store_;
    std::mutex mutex_;
    std::optional<AppLanguage> current_;
};

namespace Localization {
/// The process-wide holder; reads processLanguageEnvironment() and the installed store.
LanguageSettings& shared();
/// Records the command line (call first thing in main).
void setProcessArguments(int argc, const char* const* argv);
/// The store the shared holder persists to; null (the default) keeps everything in memory.
/// Call before the first use of `L`.
void installSettingsStore(SettingsStore* store);
[[nodiscard]] AppLanguage current();
void setCurrent(AppLanguage language);
[[nodiscard]] bool isEnglish();
}  // namespace Localization

/// The English text when the interface language resolves to "en", else the French text.
[[nodiscard]] std::string L(std::string_view french, std::string_view english);

}  // namespace ostrel
