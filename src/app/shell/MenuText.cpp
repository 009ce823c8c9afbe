#include "app/shell/MenuText.h"

namespace ostrel {

QString menuText(const QString& text) {
    QString escaped = text;
    escaped.replace(QLatin1Char('&'), QLatin1String("&&"));
    return escaped;
}

QString menuText(std::string_view text) {
    return menuText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

QString menuTitle(std::string_view text, QChar mnemonic) {
    QString title = menuText(text);
    for (qsizetype i = 0; i < title.size(); ++i) {
        if (title[i] == QLatin1Char('&')) {
            ++i;  // an escaped "&&" is no letter
            continue;
        }
        if (title[i].toCaseFolded() == mnemonic.toCaseFolded()) {
            title.insert(i, QLatin1Char('&'));
            break;
        }
    }
    return title;
}

}  // namespace ostrel
