#include "app/ui/UIFonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace ostrel::UIFonts {

namespace {

struct Families {
    QString text = QStringLiteral("DejaVu Sans");
    QString mono = QStringLiteral("DejaVu Sans Mono");
    QString symbols;
};

/// Registers each file that exists; the family of the first one that loads, or none.
QString registerFiles(const QString& folder, const QStringList& files) {
    QString family;
    for (const QString& file : files) {
        const int id = QFontDatabase::addApplicationFont(folder + file);
        if (id < 0 || !family.isEmpty()) continue;
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (!families.isEmpty()) family = families.front();
    }
    return family;
}

const Families& families() {
    static const Families loaded = [] {
        Families f;
        const QString inter = registerFiles(QStringLiteral("/usr/share/fonts/opentype/inter/"),
                                            {QStringLiteral("Inter-Regular.otf"), QStringLiteral("Inter-Medium.otf"),
                                             QStringLiteral("Inter-SemiBold.otf"), QStringLiteral("Inter-Bold.otf")});
        if (!inter.isEmpty()) f.text = inter;
        const QString mono =
            registerFiles(QStringLiteral("/usr/share/fonts/truetype/jetbrains-mono/"),
                          {QStringLiteral("JetBrainsMono-Regular.ttf"), QStringLiteral("JetBrainsMono-Medium.ttf"),
                           QStringLiteral("JetBrainsMono-SemiBold.ttf"), QStringLiteral("JetBrainsMono-Bold.ttf")});
        if (!mono.isEmpty()) f.mono = mono;
        f.symbols = registerFiles(QStringLiteral("/usr/share/fonts/truetype/material-design-icons-iconfont/"),
                                  {QStringLiteral("MaterialIcons-Regular.ttf")});
        return f;
    }();
    return loaded;
}

QFont make(const QString& family, double points, QFont::Weight weight) {
    QFont font(family);
    font.setPointSizeF(points * 72.0 / 96.0);
    font.setWeight(weight);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

}  // namespace

void ensureLoaded() { (void)families(); }

QFont text(double points, QFont::Weight weight) { return make(families().text, points, weight); }

QFont mono(double points, QFont::Weight weight) {
    QFont font = make(families().mono, points, weight);
    font.setStyleHint(QFont::Monospace);
    return font;
}

QFont symbols(double points) { return make(families().symbols, points, QFont::Normal); }

QString symbolFamily() { return families().symbols; }

}  // namespace ostrel::UIFonts
