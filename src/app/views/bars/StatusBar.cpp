#include "app/views/bars/StatusBar.h"

#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"

namespace ostrel {

StatusBar::StatusBar(AppModel& model, QWidget* parent) : QWidget(parent) {
    (void)model;
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Theme::panel());
    setPalette(p);
    setFixedHeight(26);
}

}  // namespace ostrel
