#include "app/views/sheets/HelpManualSheet.h"

#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"

namespace ostrel {

HelpManualSheet::HelpManualSheet(std::function<void()> openShortcuts, std::function<void()> close, QWidget* parent) : QWidget(parent) {
    (void)openShortcuts; (void)close;
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Theme::panel());
    setPalette(p);
    setFixedSize(760, 520);
}

}  // namespace ostrel
