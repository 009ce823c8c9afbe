#include "app/views/sheets/ShortcutsSheet.h"

#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"

namespace ostrel {

ShortcutsSheet::ShortcutsSheet(std::function<void()> close, QWidget* parent) : QWidget(parent) {
    (void)close;
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Theme::panel());
    setPalette(p);
    setFixedSize(820, 340);
}

}  // namespace ostrel
