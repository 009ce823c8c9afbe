// The status bar along the bottom of the main window: what the document is doing (a turning arc
// while a run works, else a dot, green or red after an error) and its message (a flash first, red
// only for a failure; else the run's stage, else the status, red while an error stands; shortened
// in the middle),
// the current result's figures, then the OSC port, the user guide, the shortcuts, the version and,
// while a newer release is offered, the update badge. Each button only raises its sheet's flag.
//
// Object names for tests: "indicator", "message", "figures", "osc", "help", "shortcuts",
// "version", "update".
#pragma once

#include "core/support/app/AppVersion.h"

#include <QWidget>

#include <functional>
#include <string>

class QLabel;

namespace ostrel {

class AppModel;
class ActivityIndicator;
class MiddleElidedText;
class StatusTextButton;

class StatusBar final : public QWidget {
    Q_OBJECT

public:
    static constexpr int barHeight = 24;

    explicit StatusBar(AppModel& model, QWidget* parent = nullptr);

    /// The version and, when there is one, the build in parentheses: "1.4 (57)", "1.4".
    [[nodiscard]] static std::string versionText(const AppVersion& version = AppVersion::current());

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refreshStatus();
    void refreshFigures();
    void refreshPort();
    void refreshUpdate();

    AppModel& model_;
    ActivityIndicator* indicator_ = nullptr;
    MiddleElidedText* message_ = nullptr;
    QLabel* figures_ = nullptr;
    StatusTextButton* oscButton_ = nullptr;
    StatusTextButton* updateButton_ = nullptr;
};

}  // namespace ostrel
