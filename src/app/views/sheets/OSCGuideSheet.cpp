#include "app/views/sheets/OSCGuideSheet.h"

#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"

namespace ostrel {

OSCGuideSheet::OSCGuideSheet(AppModel& model, std::function<void()> close, QWidget* parent) : QWidget(parent) {
    (void)model; (void)close;
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Theme::panel());
    setPalette(p);
    setFixedSize(760, 480);
}

}  // namespace ostrel
