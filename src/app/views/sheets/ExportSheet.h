// The export sheet.
#pragma once

#include <QWidget>

#include <functional>

namespace ostrel {

class AppModel;

class ExportSheet final : public QWidget {
    Q_OBJECT

public:
    explicit ExportSheet(AppModel& model, QWidget* parent = nullptr);
};

}  // namespace ostrel
