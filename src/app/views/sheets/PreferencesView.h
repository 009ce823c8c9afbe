// The preferences window's content.
#pragma once

#include <QWidget>

#include <functional>

namespace ostrel {

class AppModel;

class PreferencesView final : public QWidget {
    Q_OBJECT

public:
    explicit PreferencesView(AppModel& model, QWidget* parent = nullptr);
};

}  // namespace ostrel
