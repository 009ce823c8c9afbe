#include "app/views/sheets/PreferencesView.h"

#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"

namespace ostrel {

PreferencesView::PreferencesView(AppModel& model, QWidget* parent) : QWidget(parent) {
    (void)model;
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Theme::panel());
    setPalette(p);
    setFixedSize(470, 490);
}

}  // namespace ostrel
