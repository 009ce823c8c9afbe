// The status bar along the bottom of the main window.
#pragma once

#include <QWidget>

#include <functional>

namespace ostrel {

class AppModel;

class StatusBar final : public QWidget {
    Q_OBJECT

public:
    explicit StatusBar(AppModel& model, QWidget* parent = nullptr);
};

}  // namespace ostrel
