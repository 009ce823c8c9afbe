#include "app/views/bars/TopBar.h"

#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"

namespace ostrel {

TopBar::TopBar(AppModel& model, QWidget* parent) : QWidget(parent) {
    (void)model;
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Theme::panel());
    setPalette(p);
    setFixedHeight(52);
}

}  // namespace ostrel
