#include "app/views/sidebar/ParameterSidebarView.h"

#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"

namespace ostrel {

ParameterSidebarView::ParameterSidebarView(AppModel& model, QWidget* parent) : QWidget(parent) {
    (void)model;
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Theme::panel());
    setPalette(p);
    setFixedWidth(324);
}

}  // namespace ostrel
