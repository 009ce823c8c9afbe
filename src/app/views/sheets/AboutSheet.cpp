#include "app/views/sheets/AboutSheet.h"

#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"

namespace ostrel {

AboutSheet::AboutSheet(AppModel& model, std::function<void()> openHelp, std::function<void()> close, QWidget* parent) : QWidget(parent) {
    (void)model; (void)openHelp; (void)close;
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Theme::panel());
    setPalette(p);
    setFixedSize(650, 470);
}

}  // namespace ostrel
