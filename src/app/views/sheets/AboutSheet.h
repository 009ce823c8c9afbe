// The About sheet.
#pragma once

#include <QWidget>

#include <functional>

namespace ostrel {

class AppModel;

class AboutSheet final : public QWidget {
    Q_OBJECT

public:
    explicit AboutSheet(AppModel& model, std::function<void()> openHelp, std::function<void()> close, QWidget* parent = nullptr);
};

}  // namespace ostrel
