#include "app/views/sheets/ExportSheet.h"

#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"

namespace ostrel {

ExportSheet::ExportSheet(AppModel& model, QWidget* parent) : QWidget(parent) {
    (void)model;
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Theme::panel());
    setPalette(p);
    setFixedSize(560, 420);
}

}  // namespace ostrel
