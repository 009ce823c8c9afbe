// The parameter column left of the canvas.
#pragma once

#include <QWidget>

#include <functional>

namespace ostrel {

class AppModel;

class ParameterSidebarView final : public QWidget {
    Q_OBJECT

public:
    static constexpr int sidebarWidth = 324;

    explicit ParameterSidebarView(AppModel& model, QWidget* parent = nullptr);
};

}  // namespace ostrel
