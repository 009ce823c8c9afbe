#include "app/shell/QtTranslations.h"

#include "core/model/Localization.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTranslator>

namespace ostrel::QtTranslations {

namespace {

struct Installed {
    QPointer<QTranslator> translator;  // owned by the application object
    std::string language;              // the interface language it was chosen for
};

Installed& installed() {
    static Installed state;
    return state;
}

}  // namespace

void followInterfaceLanguage() {
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr) return;
    Installed& state = installed();
    const std::string language = Localization::isEnglish() ? "en" : "fr";
    if (state.translator && state.language == language) return;
    if (state.translator) {
        QCoreApplication::removeTranslator(state.translator);
        delete state.translator.data();
    }
    state.language = language;
    auto* translator = new QTranslator(application);
    const QLocale locale(language == "en" ? QLocale::English : QLocale::French);
    if (!translator->load(locale, QStringLiteral("qt"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return;
    }
    state.translator = translator;
    QCoreApplication::installTranslator(translator);
}

std::string installedLanguage() {
    const Installed& state = installed();
    return state.translator ? state.language : std::string();
}

}  // namespace ostrel::QtTranslations
