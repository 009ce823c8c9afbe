#include "app/ui/Symbols.h"

#include "app/ui/UIFonts.h"

#include <QColor>
#include <QFontMetricsF>
#include <QPainter>
#include <QRectF>

#include <array>
#include <utility>

namespace ostrel::Symbols {

namespace {

// Design symbol name → Material Icons code point (the icon's name in a comment).
constexpr std::array<std::pair<std::string_view, char16_t>, 74> kGlyphs{{
    {"antenna.radiowaves.left.and.right", 0xE8BF},                 // settings_input_antenna
    {"arrow.clockwise", 0xE5D5},                                   // refresh
    {"arrow.counterclockwise", 0xE419},                            // rotate_left
    {"arrow.down.circle", 0xE884},                                 // get_app
    {"arrow.down.circle.fill", 0xE884},                            // get_app
    {"arrow.down.to.line", 0xE258},                                // vertical_align_bottom
    {"arrow.left.arrow.right", 0xE8D4},                            // swap_horiz
    {"arrow.up.right.square", 0xE89E},                             // open_in_new
    {"arrow.up.to.line", 0xE25A},                                  // vertical_align_top
    {"arrow.uturn.backward", 0xE166},                              // undo
    {"arrow.uturn.forward", 0xE15A},                               // redo
    {"book.closed", 0xE865},                                       // book
    {"checkmark", 0xE5CA},                                         // check
    {"checkmark.seal.fill", 0xE8E8},                               // verified_user
    {"chevron.down", 0xE5CF},                                      // expand_more
    {"chevron.right", 0xE5CC},                                     // chevron_right
    {"circle", 0xE836},                                            // radio_button_unchecked
    {"circle.lefthalf.filled", 0xE1AE},                            // brightness_medium
    {"clock.arrow.circlepath", 0xE889},                            // history
    {"command", 0xE312},                                           // keyboard
    {"cpu", 0xE322},                                               // memory
    {"cpu.fill", 0xE322},                                          // memory
    {"cube.transparent", 0xE9FE},                                  // view_in_ar
    {"cursorarrow.click", 0xE569},                                 // near_me
    {"doc", 0xE873},                                               // description
    {"doc.on.clipboard", 0xE14F},                                  // content_paste
    {"doc.on.doc", 0xE14D},                                        // content_copy
    {"doc.richtext", 0xE873},                                      // description
    {"exclamationmark.triangle.fill", 0xE002},                     // warning
    {"eye.fill", 0xE8F4},                                          // visibility
    {"eye.slash", 0xE8F5},                                         // visibility_off
    {"folder", 0xE2C7},                                            // folder
    {"hand.draw", 0xE155},                                         // gesture
    {"hand.raised", 0xE925},                                       // pan_tool
    {"hurricane", 0xEBD5},                                         // cyclone
    {"largecircle.fill.circle", 0xE837},                           // radio_button_checked
    {"link", 0xE157},                                              // link
    {"lines.measurement.horizontal", 0xE41C},                      // straighten
    {"lock.open", 0xE898},                                         // lock_open
    {"minus.magnifyingglass", 0xE900},                             // zoom_out
    {"paintbrush.pointed", 0xE3AE},                                // brush
    {"paintbrush.pointed.fill", 0xE3AE},                           // brush
    {"pause.fill", 0xE034},                                        // pause
    {"pencil", 0xE3C9},                                            // edit
    {"pencil.and.outline", 0xE3C9},                                // edit
    {"pencil.tip", 0xE150},                                        // create
    {"photo", 0xE410},                                             // photo
    {"play.circle", 0xE039},                                       // play_circle_outline
    {"play.fill", 0xE037},                                         // play_arrow
    {"plus.magnifyingglass", 0xE8FF},                              // zoom_in
    {"point.topleft.down.curvedto.point.bottomright.up", 0xE922},  // timeline
    {"rectangle.split.2x1", 0xE8EC},                               // view_column
    {"scissors", 0xE14E},                                          // content_cut
    {"scribble.variable", 0xE155},                                 // gesture
    {"sidebar.left", 0xE949},                                      // vertical_split
    {"square.grid.2x2", 0xE5C3},                                   // apps
    {"skew", 0xE428},                                              // transform
    {"square.and.arrow.down", 0xE171},                             // save_alt
    {"square.on.square", 0xE3E0},                                  // filter_none
    {"stop.fill", 0xE047},                                         // stop
    {"sun.max.fill", 0xE430},                                      // wb_sunny
    {"trash", 0xE872},                                             // delete
    {"wand.and.rays", 0xE3E4},                                     // flare
    {"waveform.path", 0xE1B8},                                     // graphic_eq
    {"xmark", 0xE5CD},                                             // close
    {"arrow.up.and.down.and.arrow.left.and.right", 0xE89F},        // open_with
    {"hand.point.up.left", 0xE913},                                // touch_app
    {"gearshape", 0xE8B8},                                         // settings
    {"questionmark.circle", 0xE887},                               // help
    {"info.circle", 0xE88E},                                       // info
    {"magnifyingglass", 0xE8B6},                                   // search
    {"scope", 0xE55C},                                             // gps_fixed
    {"viewfinder", 0xE3C2},                                        // crop_free
    {"network", 0xE335},                                           // device_hub
}};

/// An eraser: a slanted block with its rubber end marked, in a unit square.
QPainterPath eraserShape() {
    QPainterPath body;
    body.moveTo(0.12, 0.62);
    body.lineTo(0.55, 0.19);
    body.lineTo(0.88, 0.52);
    body.lineTo(0.52, 0.88);
    body.lineTo(0.34, 0.88);
    body.closeSubpath();
    QPainterPath rubber;
    rubber.moveTo(0.12, 0.62);
    rubber.lineTo(0.31, 0.43);
    rubber.lineTo(0.64, 0.76);
    rubber.lineTo(0.52, 0.88);
    rubber.lineTo(0.34, 0.88);
    rubber.closeSubpath();
    QPainterPath base;
    base.addRect(0.30, 0.90, 0.58, 0.06);
    return body.subtracted(rubber).united(base);
}

}  // namespace

std::optional<QString> glyph(std::string_view name) {
    for (const auto& [symbol, code] : kGlyphs) {
        if (symbol == name) return QString(QChar(code));
    }
    return std::nullopt;
}

std::optional<QPainterPath> drawnShape(std::string_view name) {
    if (name == "eraser" || name == "eraser.fill") return eraserShape();
    return std::nullopt;
}

std::vector<std::string_view> knownNames() {
    std::vector<std::string_view> names{"eraser", "eraser.fill"};
    for (const auto& entry : kGlyphs) names.push_back(entry.first);
    return names;
}

void paint(QPainter& painter, std::string_view name, const QRectF& box, double points, const QColor& color) {
    painter.save();
    if (const auto text = glyph(name); text && !UIFonts::symbolFamily().isEmpty()) {
        painter.setFont(UIFonts::symbols(points));
        painter.setPen(color);
        painter.drawText(box, Qt::AlignCenter, *text);
    } else if (const auto shape = drawnShape(name)) {
        const double side = points * 1.2;  // a glyph's em box at this size
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.translate(box.center().x() - side / 2, box.center().y() - side / 2);
        painter.scale(side, side);
        painter.fillPath(*shape, color);
    }
    painter.restore();
}

}  // namespace ostrel::Symbols
