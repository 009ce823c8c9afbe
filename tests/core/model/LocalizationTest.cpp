#include "core/model/Localization.h"
#include "testsupport/LanguageScope.h"
#include "core/support/app/SettingsStore.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

LanguageEnvironment environment(std::vector<std::string> arguments, std::optional<std::string> kavrinLang,
                                std::vector<std::string> preferred) {
    return {std::move(arguments), std::move(kavrinLang), std::move(preferred)};
}

TEST(Localization, SystemLanguageResolution) {
    struct Case {
        const char* name;
        LanguageEnvironment environment;
        const char* code;
    };
    const std::string program = "/usr/bin/Ostrel";
    const Case cases[] = {
        {"--lang lowercased", environment({program, "--lang", "EN-us"}, "fr", {"fr_FR"}), "en"},
        {"--lang fr beats KAVRIN_LANG", environment({program, "--lang", "fr"}, "en", {"en_GB"}), "fr"},
        {"--lang de: KAVRIN_LANG decides", environment({program, "--lang", "de"}, "en", {"fr_FR"}), "en"},
        {"--lang de: system list decides", environment({program, "--lang", "de"}, std::nullopt, {"en_GB"}), "en"},
        {"--lang last: no answer", environment({program, "x", "--lang"}, std::nullopt, {"en_US.UTF-8"}), "en"},
        {"only the first --lang counts", environment({program, "--lang", "de", "--lang", "en"}, std::nullopt, {}),
         "fr"},
        {"--LANG is not the option", environment({program, "--LANG", "en"}, std::nullopt, {}), "fr"},
        {"--lang=en is not the option", environment({program, "--lang=en"}, std::nullopt, {}), "fr"},
        {"KAVRIN_LANG lowercased", environment({program}, "FR_ca", {"en"}), "fr"},
        {"KAVRIN_LANG unknown", environment({program}, "xx", {"en-GB", "fr"}), "en"},
        {"KAVRIN_LANG empty", environment({program}, "", {"en"}), "en"},
        {"preferred de-DE", environment({program}, std::nullopt, {"de-DE", "en"}), "fr"},
        {"preferred EN upper case", environment({program}, std::nullopt, {"EN_us"}), "en"},
        {"nothing at all", environment({}, std::nullopt, {}), "fr"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(resolvedCode(AppLanguage::system, c.environment), c.code) << c.name;
        // A fixed choice ignores everything else.
        EXPECT_EQ(resolvedCode(AppLanguage::fr, c.environment), "fr") << c.name;
        EXPECT_EQ(resolvedCode(AppLanguage::en, c.environment), "en") << c.name;
    }
}

TEST(Localization, PreferredLanguagesFromTheEnvironment) {
    struct Case {
        const char* name;
        std::optional<std::string> language, lcAll, lcMessages, lang;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"LANGUAGE list first",
         "de:en_GB",
         "fr_FR.UTF-8",
         std::nullopt,
         "en_US.UTF-8",
         {"de", "en_GB", "fr_FR.UTF-8", "en_US.UTF-8"}},
        {"C and POSIX say nothing", std::nullopt, "C", "POSIX", "C.UTF-8", {}},
        {"empty entries skipped", "::en", "", std::nullopt, "fr_FR", {"en", "fr_FR"}},
        {"LC_MESSAGES before LANG", std::nullopt, std::nullopt, "en_US", "fr_FR", {"en_US", "fr_FR"}},
        {"nothing set", std::nullopt, std::nullopt, std::nullopt, std::nullopt, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(preferredLanguagesFrom(c.language, c.lcAll, c.lcMessages, c.lang), c.expected) << c.name;
    }
}

/// A language holder over a memory store and an environment the test can change.
struct Holder {
    MemorySettingsStore store;
    LanguageEnvironment env;
    LanguageSettings settings{[this] { return env; }, &store};
};

TEST(Localization, CommandLineOverridesTheSavedChoiceUntilAWrite) {
    Holder h;
    h.store.setString("language", "fr");
    h.env = environment({"Ostrel", "--lang", "en"}, std::nullopt, {});
    EXPECT_EQ(h.settings.current(), AppLanguage::en);
    EXPECT_EQ(h.settings.choose("oui", "yes"), "yes");

    h.settings.setCurrent(AppLanguage::fr);
    EXPECT_EQ(h.settings.current(), AppLanguage::fr);
    EXPECT_EQ(h.settings.choose("oui", "yes"), "oui");
    EXPECT_EQ(h.store.string("language"), "fr");
    // The stored value lives for the process: the arguments are not read again.
    EXPECT_FALSE(h.settings.isEnglish());
}

TEST(Localization, KavrinLangOnlyOverridesTheSystemList) {
    struct Case {
        std::optional<std::string> saved;
        AppLanguage initial;
        bool english;
    };
    const Case cases[] = {
        {"fr", AppLanguage::fr, false},
        {"system", AppLanguage::system, true},
        {std::nullopt, AppLanguage::system, true},
        {"EN", AppLanguage::system, true},  // not an exact raw value: system
        {"en", AppLanguage::en, true},
    };
    for (const Case& c : cases) {
        Holder h;
        if (c.saved) h.store.setString("language", *c.saved);
        h.env = environment({"Ostrel"}, "en", {"fr_FR"});
        EXPECT_EQ(h.settings.current(), c.initial) << c.saved.value_or("(none)");
        EXPECT_EQ(h.settings.isEnglish(), c.english) << c.saved.value_or("(none)");
    }
}

TEST(Localization, SystemChoiceIsResolvedAtEveryCall) {
    Holder h;
    h.env = environment({"Ostrel"}, std::nullopt, {});
    EXPECT_EQ(h.settings.current(), AppLanguage::system);
    EXPECT_EQ(h.settings.choose("Stylo", "Pen"), "Stylo");  // empty list: French
    h.env.preferredLanguages = {"en-GB"};
    EXPECT_EQ(h.settings.choose("Stylo", "Pen"), "Pen");
    h.env.kavrinLang = "fr";
    EXPECT_EQ(h.settings.choose("Stylo", "Pen"), "Stylo");
}

TEST(Localization, WritesPersistTheRawValue) {
    Holder h;
    h.env = environment({"Ostrel"}, std::nullopt, {"en"});
    for (const AppLanguage language : kAllAppLanguages) {
        h.settings.setCurrent(language);
        EXPECT_EQ(h.settings.current(), language);
        EXPECT_EQ(h.store.string("language"), std::string(rawValue(language)));
        EXPECT_EQ(appLanguageFromRaw(rawValue(language)), language);
    }
    EXPECT_FALSE(appLanguageFromRaw("EN"));

    LanguageSettings memoryOnly([] { return LanguageEnvironment{}; }, nullptr);
    memoryOnly.setCurrent(AppLanguage::en);
    EXPECT_TRUE(memoryOnly.isEnglish());
}

TEST(Localization, LabelsAndTheSharedL) {
    test::LanguageScope english(AppLanguage::en);
    EXPECT_EQ(L("Système", "System"), "System");
    EXPECT_EQ(label(AppLanguage::system), "System");
    EXPECT_EQ(label(AppLanguage::fr), "Français");
    {
        test::LanguageScope french(AppLanguage::fr);
        EXPECT_EQ(label(AppLanguage::system), "Système");
        EXPECT_EQ(label(AppLanguage::en), "English");
        EXPECT_FALSE(Localization::isEnglish());
    }
    EXPECT_TRUE(Localization::isEnglish());
}

}  // namespace
}  // namespace ostrel
