// The update window: the installed version, one block for the updater's current state and the
// buttons to check again, install an offered release, put it off or close. It keeps no state of
// its own and is rebuilt whenever the updater's state or the interface language changes. Return
// is "Update & Relaunch" while a release is offered and "Close" otherwise; Escape closes.
// "Check Again" is disabled while a download or an install runs, so a check can never interrupt
// one or bring back the offer it is installing.
#pragma once

#include <QWidget>

#include <functional>

class QAbstractButton;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace ostrel {

class AppModel;
class TextButton;
class VectorizerHeroGraphic;

class UpdateSheet final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 440;

    explicit UpdateSheet(AppModel& model, std::function<void()> close, QWidget* parent = nullptr);

    [[nodiscard]] VectorizerHeroGraphic* heroGraphic() const noexcept { return hero_; }
    [[nodiscard]] QLabel* titleLabel() const noexcept { return title_; }
    [[nodiscard]] QLabel* versionLabel() const noexcept { return version_; }
    /// The block of the current state; replaced at each change.
    [[nodiscard]] QWidget* stateBlock() const noexcept { return stateBlock_; }
    [[nodiscard]] TextButton* checkAgainButton() const noexcept { return checkAgain_; }
    /// "Later" while a release is offered, else null.
    [[nodiscard]] QPushButton* laterButton() const noexcept { return later_; }
    /// The button Return presses: "Update & Relaunch" or "Close".
    [[nodiscard]] QAbstractButton* defaultButton() const noexcept { return default_; }

    /// The fixed width by the height the content needs now.
    [[nodiscard]] QSize sizeHint() const override { return minimumSize(); }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    /// The texts, the state block and the buttons for the updater's state now.
    void rebuild();
    [[nodiscard]] QWidget* makeStateBlock();
    void makeButtons();
    /// Fits the height (and the presenting window, if any) to the content.
    void fitHeight();

    AppModel& model_;
    std::function<void()> close_;
    QVBoxLayout* column_ = nullptr;
    VectorizerHeroGraphic* hero_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* version_ = nullptr;
    QWidget* stateBlock_ = nullptr;
    QWidget* buttonRow_ = nullptr;
    TextButton* checkAgain_ = nullptr;
    QPushButton* later_ = nullptr;
    QAbstractButton* default_ = nullptr;
};

}  // namespace ostrel
