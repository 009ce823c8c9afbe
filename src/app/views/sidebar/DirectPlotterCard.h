// The sidebar's card for driving a plotter over USB serial (or the simulator): port and machine,
// jog toolbar, plot actions, pen-change prompt, heights, speeds, pause switch and status line.
#pragma once

#include <QWidget>

namespace ostrel {

class AppModel;

class DirectPlotterCard final : public QWidget {
    Q_OBJECT

public:
    explicit DirectPlotterCard(AppModel& model, QWidget* parent = nullptr);
};

}  // namespace ostrel
