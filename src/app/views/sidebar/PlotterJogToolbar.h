// The plotter card's jog toolbar: Up, Down and Home on the first row, Unlock motors and Frame sheet
// on the second. Every button is disabled while a plot or framing run plays; Frame sheet also while
// there is no result or a vectorization run for newer parameters is still pending, so the framed
// outline is always the one the next plot draws. Holds no state: it follows the plotter's run
// state and the document's result.
#pragma once

#include <QWidget>

#include <array>

namespace ostrel {

class AxiDrawPlotterController;
class TextButton;
class VectorizerController;

class PlotterJogToolbar final : public QWidget {
    Q_OBJECT

public:
    enum Button { up, down, home, unlockMotors, frameSheet };

    PlotterJogToolbar(VectorizerController& document, AxiDrawPlotterController& plotter, QWidget* parent = nullptr);

    [[nodiscard]] TextButton* button(Button which) const noexcept { return buttons_[which]; }

private:
    void sync();
    void frame();

    VectorizerController& document_;
    AxiDrawPlotterController& plotter_;
    std::array<TextButton*, 5> buttons_{};
};

}  // namespace ostrel
