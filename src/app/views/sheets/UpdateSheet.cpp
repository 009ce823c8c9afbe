#include "app/views/sheets/UpdateSheet.h"

#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"

namespace ostrel {

UpdateSheet::UpdateSheet(AppModel& model, std::function<void()> close, QWidget* parent) : QWidget(parent) {
    (void)model; (void)close;
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Theme::panel());
    setPalette(p);
    setFixedSize(520, 360);
}

}  // namespace ostrel
