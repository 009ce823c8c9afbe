// The top bar of the main window: file, view and edit groups.
#pragma once

#include <QWidget>

#include <functional>

namespace ostrel {

class AppModel;

class TopBar final : public QWidget {
    Q_OBJECT

public:
    explicit TopBar(AppModel& model, QWidget* parent = nullptr);
};

}  // namespace ostrel
