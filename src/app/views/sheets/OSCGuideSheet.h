// The remote-control guide sheet: OSC, HTTP and MCP.
#pragma once

#include <QWidget>

#include <functional>

namespace ostrel {

class AppModel;

class OSCGuideSheet final : public QWidget {
    Q_OBJECT

public:
    explicit OSCGuideSheet(AppModel& model, std::function<void()> close, QWidget* parent = nullptr);
};

}  // namespace ostrel
