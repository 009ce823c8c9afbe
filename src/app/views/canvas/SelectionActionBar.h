// The floating bar shown while strokes are selected: how many, pen chips for the result's layers,
// and the selection edits (simplify, reverse, join, split, delete, deselect). Each button calls one
// AppModel operation; the bar keeps no state and is rebuilt whenever the selection, the selected
// vertex, the pen count, the result or the language changes. Whoever places it shows it only
// while something is selected, at most as wide as the room it says: where the bar would be wider,
// the edit buttons show their symbols alone (their tooltips name them).
#pragma once

#include <QWidget>

#include <cstdint>
#include <vector>

class QHBoxLayout;

namespace ostrel {

class AppModel;
struct VectorizationResult;

class SelectionActionBar final : public QWidget {
    Q_OBJECT

public:
    explicit SelectionActionBar(AppModel& model, QWidget* parent = nullptr);

    /// "3 traits sélectionnés" / "3 strokes selected" in the interface language.
    [[nodiscard]] static QString countText(std::int64_t count);
    /// The pens offered as chips: indices below min(max(penCount, 1), 4) that are layers of the
    /// current result, in order. No result offers none. The chips are shown only when there are two
    /// or more.
    [[nodiscard]] static std::vector<std::int64_t> offeredPens(std::int64_t penCount,
                                                               const VectorizationResult* result);

    /// Shows the edit buttons' titles when the bar then fits in `room`, else their symbols alone.
    void fitWidth(int room);

signals:
    /// Emitted after the content (and so the size) was built again.
    void contentChanged();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void rebuild();

    AppModel& model_;
    QHBoxLayout* row_;
};

}  // namespace ostrel
