// The settings window: the preferences on their own, titled in the interface language and fixed at
// the size they give themselves, both again when the language changes. Escape and Ctrl+W close it.
#pragma once

#include <QWidget>

namespace ostrel {

class AppModel;
class PreferencesView;

class SettingsWindow final : public QWidget {
    Q_OBJECT

public:
    explicit SettingsWindow(AppModel& model, QWidget* parent = nullptr);

    [[nodiscard]] PreferencesView* preferences() const noexcept { return preferences_; }

private:
    void retitle();

    PreferencesView* preferences_;
};

}  // namespace ostrel
