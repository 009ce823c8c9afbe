// A labelled slider: a title line with the label (11 pt, dim, truncated at its end when space is
// short) and the value text (11 pt monospaced, in the tint, never truncated), above a slider in the
// tint. The double range and step are mapped onto the integer QSlider. A value the caller sets is
// kept exactly as given: the slider shows it (clamped only on screen) and nothing is written back;
// only the user's own moves report a new value.
#pragma once

#include <QColor>
#include <QWidget>

#include <optional>

class QSlider;

namespace ostrel {

class SliderRow final : public QWidget {
    Q_OBJECT

public:
    SliderRow(const QString& label, const QString& valueText, double value, double minimum, double maximum,
              std::optional<double> step, QColor tint, QWidget* parent = nullptr);

    /// Shows `value` without reporting it.
    void setValue(double value);
    void setValueText(const QString& text);
    void setLabel(const QString& label);
    [[nodiscard]] double value() const noexcept { return value_; }
    [[nodiscard]] QString label() const;
    [[nodiscard]] QString valueText() const;
    [[nodiscard]] QSlider* slider() const noexcept { return slider_; }
    /// How many slider positions the range has (steps, or a fine continuous grid).
    [[nodiscard]] int positionCount() const noexcept { return positions_; }
    /// The value of slider position `position`.
    [[nodiscard]] double valueAt(int position) const noexcept;
    /// The slider position that shows `value` (clamped to the range).
    [[nodiscard]] int positionOf(double value) const noexcept;

signals:
    /// The user moved the slider to `value` (a step of the range).
    void valueChanged(double value);

private:
    class TitleLine;

    double minimum_;
    double maximum_;
    std::optional<double> step_;
    int positions_;
    double value_;
    TitleLine* title_;
    QSlider* slider_;
};

}  // namespace ostrel
