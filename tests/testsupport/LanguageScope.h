// Test helper: forces the process-wide interface language for one scope. In the application's
// test programs (those that see the shell layer) the toolkit's own texts (key names, dialogs)
// follow too, as the application model makes them do when the language changes.
#pragma once

#include "core/model/Localization.h"

#if __has_include("app/shell/QtTranslations.h")
#include "app/shell/QtTranslations.h"
#define OSTREL_LANGUAGE_SCOPE_FOLLOWS_QT 1
#endif

namespace ostrel::test {

class LanguageScope {
public:
    explicit LanguageScope(AppLanguage language) : previous_(Localization::current()) {
        Localization::setCurrent(language);
        followInToolkit();
    }
    ~LanguageScope() {
        Localization::setCurrent(previous_);
        followInToolkit();
    }
    LanguageScope(const LanguageScope&) = delete;
    LanguageScope& operator=(const LanguageScope&) = delete;

private:
    static void followInToolkit() {
#ifdef OSTREL_LANGUAGE_SCOPE_FOLLOWS_QT
        QtTranslations::followInterfaceLanguage();
#endif
    }

    AppLanguage previous_;
};

}  // namespace ostrel::test
