#include "app/views/sidebar/DirectPlotterCard.h"

#include "app/shell/AppModel.h"

namespace ostrel {

DirectPlotterCard::DirectPlotterCard(AppModel& model, QWidget* parent) : QWidget(parent) {
    (void)model;
    setFixedHeight(120);
}

}  // namespace ostrel
