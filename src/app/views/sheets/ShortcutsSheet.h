// The keyboard shortcuts sheet.
#pragma once

#include <QWidget>

#include <functional>

namespace ostrel {

class AppModel;

class ShortcutsSheet final : public QWidget {
    Q_OBJECT

public:
    explicit ShortcutsSheet(std::function<void()> close, QWidget* parent = nullptr);
};

}  // namespace ostrel
