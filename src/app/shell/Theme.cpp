#include "app/shell/Theme.h"

#include <QApplication>
#include <QStyleFactory>

#include <algorithm>

namespace ostrel::Theme {

namespace {
QColor srgb(int red, int green, int blue) { return QColor(red, green, blue); }
}  // namespace

QColor background() { return srgb(0x11, 0x13, 0x17); }
QColor panel() { return srgb(0x16, 0x19, 0x1E); }
QColor lane() { return srgb(0x18, 0x1B, 0x21); }
QColor laneSelected() { return srgb(0x1F, 0x25, 0x30); }
QColor header() { return srgb(0x14, 0x17, 0x1C); }
QColor separator() { return srgb(0x0B, 0x0C, 0x0F); }
QColor gridMinor() { return QColor::fromRgbF(1.0f, 1.0f, 1.0f, 0.035f); }
QColor text() { return srgb(0xE6, 0xE8, 0xEC); }
QColor textDim() { return srgb(0x8A, 0x91, 0x9E); }
QColor textFaint() { return srgb(0x56, 0x5D, 0x6A); }
QColor accent() { return srgb(0xFF, 0xB4, 0x54); }
QColor alive() { return srgb(0x9E, 0xCE, 0x6A); }
QColor standby() { return srgb(0x7A, 0xA2, 0xF7); }
QColor tcp() { return srgb(0x5C, 0xE1, 0xE6); }
QColor osc() { return srgb(0xC7, 0x92, 0xEA); }
QColor warning() { return srgb(0xF2, 0xD9, 0x6B); }
QColor danger() { return srgb(0xFF, 0x5C, 0x57); }

const std::array<QColor, 4>& penColors() {
    static const std::array<QColor, 4> colors{accent(), tcp(), osc(), alive()};
    return colors;
}

QColor penColor(std::int64_t index) noexcept {
    return penColors()[static_cast<std::size_t>(std::max<std::int64_t>(index, 0) % 4)];
}

QColor withOpacity(QColor color, double opacity) {
    color.setAlphaF(static_cast<float>(color.alphaF() * std::clamp(opacity, 0.0, 1.0)));
    return color;
}

QPalette darkPalette() {
    QPalette palette;
    palette.setColor(QPalette::Window, background());
    palette.setColor(QPalette::WindowText, text());
    palette.setColor(QPalette::Base, panel());
    palette.setColor(QPalette::AlternateBase, lane());
    palette.setColor(QPalette::ToolTipBase, panel());
    palette.setColor(QPalette::ToolTipText, text());
    palette.setColor(QPalette::PlaceholderText, textFaint());
    palette.setColor(QPalette::Text, text());
    palette.setColor(QPalette::Button, lane());
    palette.setColor(QPalette::ButtonText, text());
    palette.setColor(QPalette::BrightText, danger());
    palette.setColor(QPalette::Light, laneSelected());
    palette.setColor(QPalette::Midlight, lane());
    palette.setColor(QPalette::Mid, header());
    palette.setColor(QPalette::Dark, separator());
    palette.setColor(QPalette::Shadow, separator());
    palette.setColor(QPalette::Highlight, accent());
    palette.setColor(QPalette::HighlightedText, background());
    palette.setColor(QPalette::Link, tcp());
    palette.setColor(QPalette::LinkVisited, osc());
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::HighlightedText}) {
        palette.setColor(QPalette::Disabled, role, textFaint());
    }
    palette.setColor(QPalette::Disabled, QPalette::Highlight, laneSelected());
    return palette;
}

void applyDarkAppearance(QApplication& application) {
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) application.setStyle(fusion);
    application.setPalette(darkPalette());
}

}  // namespace ostrel::Theme
