// The preferences window's content: the interface language and the launch check (with a button
// that checks at once), the ports of the OSC and HTTP servers, three display switches of the main
// window and a privacy note. It stores nothing itself: every control writes its owner at once, and
// follows changes its owners make elsewhere. The two port texts are the view's own until applied.
#pragma once

#include <QWidget>

#include <array>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace ostrel {

class AppModel;
class SectionHeader;
class FieldRow;
class TextButton;

class PreferencesView final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 470;
    static constexpr int kHeight = 490;

    explicit PreferencesView(AppModel& model, QWidget* parent = nullptr);

    [[nodiscard]] QSize sizeHint() const override { return {kWidth, kHeight}; }

    [[nodiscard]] QComboBox* languagePicker() const noexcept { return language_; }
    [[nodiscard]] QCheckBox* launchCheckToggle() const noexcept { return launchCheck_; }
    [[nodiscard]] TextButton* checkNowButton() const noexcept { return checkNow_; }
    [[nodiscard]] QLineEdit* oscPortField() const noexcept { return oscPort_; }
    [[nodiscard]] QLineEdit* httpPortField() const noexcept { return httpPort_; }
    [[nodiscard]] TextButton* applyButton() const noexcept { return apply_; }
    /// The sidebar, travel-move and control-handle switches, in that order.
    [[nodiscard]] const std::array<QCheckBox*, 3>& displayToggles() const noexcept { return display_; }
    [[nodiscard]] QLabel* privacyNote() const noexcept { return privacy_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    /// The port fields from the running servers (the defaults without servers).
    void fillPortFields();
    /// Moves the servers to the typed ports and flashes the outcome.
    void applyPorts();
    /// Every text by the current language, every switch from its owner.
    void refresh();
    void refreshDisplayToggles();

    AppModel& model_;
    std::array<SectionHeader*, 4> headers_{};
    FieldRow* languageRow_ = nullptr;
    FieldRow* oscRow_ = nullptr;
    FieldRow* httpRow_ = nullptr;
    QComboBox* language_ = nullptr;
    QCheckBox* launchCheck_ = nullptr;
    TextButton* checkNow_ = nullptr;
    QLineEdit* oscPort_ = nullptr;
    QLineEdit* httpPort_ = nullptr;
    TextButton* apply_ = nullptr;
    std::array<QCheckBox*, 3> display_{};
    QLabel* privacy_ = nullptr;
};

}  // namespace ostrel
