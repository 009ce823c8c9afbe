// Test helper: forces the process-wide interface language for one scope, the toolkit's own texts
// (key names, dialogs) included, as the application model does when the language changes.
#pragma once

#include "app/shell/QtTranslations.h"
#include "core/model/Localization.h"

namespace ostrel::test {

class LanguageScope {
public:
    explicit LanguageScope(AppLanguage language) : previous_(Localization::current()) {
        Localization::setCurrent(language);
        QtTranslations::followInterfaceLanguage();
    }
    ~LanguageScope() {
        Localization::setCurrent(previous_);
        QtTranslations::followInterfaceLanguage();
    }
    LanguageScope(const LanguageScope&) = delete;
    LanguageScope& operator=(const LanguageScope&) = delete;

private:
    AppLanguage previous_;
};

}  // namespace ostrel::test
