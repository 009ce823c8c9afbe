// Test helper: forces the process-wide interface language for one scope.
#pragma once

#include "core/model/Localization.h"

namespace ostrel::test {

class LanguageScope {
public:
    explicit LanguageScope(AppLanguage language) : previous_(Localization::current()) {
        Localization::setCurrent(language);
    }
    ~LanguageScope() { Localization::setCurrent(previous_); }
    LanguageScope(const LanguageScope&) = delete;
    LanguageScope& operator=(const LanguageScope&) = delete;

private:
    AppLanguage previous_;
};

}  // namespace ostrel::test
