// The export sheet: one row per export format (its label and detail; a click selects it, and the
// choice lives in the model), then Cancel (Escape), Copy, and Save… (Return). Copy and Save are the
// model's copyExport and saveExport, which close the sheet when they succeed. Rows and buttons
// carry object names for tests: "format.<raw value>", "cancel", "copy", "save". A change of the
// interface language builds the rows and buttons again in the new one.
#pragma once

#include <QWidget>

#include <functional>
#include <vector>

namespace ostrel {

class AppModel;

class ExportSheet final : public QWidget {
    Q_OBJECT

public:
    static constexpr int sheetWidth = 480;

    explicit ExportSheet(AppModel& model, QWidget* parent = nullptr);

    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void build();
    void refreshSelection();

    AppModel& model_;
    QWidget* body_ = nullptr;
    std::vector<QWidget*> rows_;
};

}  // namespace ostrel
