// The wheel over a value control inside a scrolling container (a slider, a picker or a number box
// in the sidebar) scrolls the container unless the control has the keyboard focus: scrolling a
// long panel past its controls never changes a value. A control that was clicked or tabbed into
// takes the wheel as usual, and a control outside any scrolling container keeps it too. A wheel
// never gives a control the focus.
#pragma once

class QObject;
class QWidget;

namespace ostrel {

namespace WheelFocusRule {

/// Installs the rule on the application once; later calls do nothing. Needs a QApplication.
void install();

/// Whether a wheel over `control` goes to its scrolling container instead of changing it.
[[nodiscard]] bool passesWheelOn(const QWidget& control);

}  // namespace WheelFocusRule

}  // namespace ostrel
