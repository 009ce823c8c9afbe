// The sidebar's card for driving a plotter over USB serial (or the simulator): port and machine,
// jog toolbar, plot actions, pen-change prompt, heights, speeds, pause switch and status line.
//
// The card owns no data: it shows the plotter controller's fields and writes them back, and follows
// their change signals in place (a slider being dragged is never reset under the pointer). The two
// pen heights reach the board once per gesture (on release, or after a short quiet time for keys
// and the wheel) through the controller's queued link; the board's refusal puts the heights back.
#pragma once

#include <QColor>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QTimer;

namespace ostrel {

class AppModel;
class AxiDrawPlotterController;
class IconButton;
class PlotActionRow;
class PlotterJogToolbar;
class SliderRow;
class VectorizerController;

class DirectPlotterCard final : public QWidget {
    Q_OBJECT

public:
    /// How long keys and the wheel may keep moving a height slider before the heights are sent.
    static constexpr int kHeightQuietMs = 250;

    explicit DirectPlotterCard(AppModel& model, QWidget* parent = nullptr);

    // The parts, for the sidebar's tests and the snapshot.
    [[nodiscard]] IconButton* refreshButton() const noexcept { return refresh_; }
    [[nodiscard]] QComboBox* portPicker() const noexcept { return portPicker_; }
    [[nodiscard]] QComboBox* machinePicker() const noexcept { return machinePicker_; }
    [[nodiscard]] PlotterJogToolbar* jogToolbar() const noexcept { return jog_; }
    [[nodiscard]] PlotActionRow* actionRow() const noexcept { return actions_; }
    [[nodiscard]] QWidget* penChangePrompt() const noexcept;
    [[nodiscard]] QString penChangeText() const;
    [[nodiscard]] SliderRow* penUpSlider() const noexcept { return penUp_; }
    [[nodiscard]] SliderRow* penDownSlider() const noexcept { return penDown_; }
    [[nodiscard]] SliderRow* drawSpeedSlider() const noexcept { return drawSpeed_; }
    [[nodiscard]] SliderRow* travelSpeedSlider() const noexcept { return travelSpeed_; }
    [[nodiscard]] QCheckBox* pauseSwitch() const noexcept { return pauseSwitch_; }
    [[nodiscard]] QString statusText() const;
    [[nodiscard]] QColor deviceDotColor() const;
    [[nodiscard]] QWidget* deviceDot() const noexcept;
    [[nodiscard]] QColor penDotColor() const;

    /// "60 %": the stored integer and a percent sign.
    [[nodiscard]] static QString percentText(int percent);
    /// "40 % (~36 mm/s)": the stored integer and the speed it gives, rounded.
    [[nodiscard]] static QString speedText(int percent, double mmPerSec);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    class Dot;
    class StatusText;
    class Prompt;

    void syncPorts();
    void syncConfig();
    void syncRunState();
    void syncStatus();
    void syncPenCount();
    void heightMoved();
    void sendHeights();

    AxiDrawPlotterController& plotter_;
    VectorizerController& document_;
    Dot* deviceDot_;
    IconButton* refresh_;
    QComboBox* portPicker_;
    QComboBox* machinePicker_;
    PlotterJogToolbar* jog_;
    PlotActionRow* actions_;
    Prompt* prompt_;
    SliderRow* penUp_;
    SliderRow* penDown_;
    SliderRow* drawSpeed_;
    SliderRow* travelSpeed_;
    QCheckBox* pauseSwitch_;
    Dot* penDot_;
    StatusText* status_;
    QTimer* heightQuiet_;
    bool heightsEdited_ = false;  // a height move not yet sent
};

}  // namespace ostrel
