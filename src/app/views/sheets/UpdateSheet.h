// The update window.
#pragma once

#include <QWidget>

#include <functional>

namespace ostrel {

class AppModel;

class UpdateSheet final : public QWidget {
    Q_OBJECT

public:
    explicit UpdateSheet(AppModel& model, std::function<void()> close, QWidget* parent = nullptr);
};

}  // namespace ostrel
