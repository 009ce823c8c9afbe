// The user guide sheet.
#pragma once

#include <QWidget>

#include <functional>

namespace ostrel {

class AppModel;

class HelpManualSheet final : public QWidget {
    Q_OBJECT

public:
    explicit HelpManualSheet(std::function<void()> openShortcuts, std::function<void()> close, QWidget* parent = nullptr);
};

}  // namespace ostrel
