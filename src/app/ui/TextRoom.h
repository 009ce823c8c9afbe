// One line of text in the width it is given, and the account a control gives of the texts it had
// to cut. Controls that draw their own texts implement TextRoom, so a layout that cuts a word can
// be found: the tests render every view in both languages and ask each control.
#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

namespace ostrel {

/// A text fitted to one line: the font it is drawn in, the text drawn, and whether it was cut.
struct FittedLine {
    QFont font;
    QString shown;
    bool cut = false;
};

/// `text` on one line of `width`: in `font`, shrunk down to `minimumScale` of its size when it does
/// not fit (1: never shrunk), then cut at its end with "…".
[[nodiscard]] FittedLine fitOneLine(QFont font, const QString& text, double width, double minimumScale = 1.0);

class TextRoom {
public:
    virtual ~TextRoom() = default;
    /// The texts this control draws cut (shortened or clipped) at its size now; empty when every
    /// text it draws is whole.
    [[nodiscard]] virtual QStringList cutTexts() const = 0;
};

}  // namespace ostrel
