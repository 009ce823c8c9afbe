// The About sheet: hero tile, name and a version badge that copies the version line, tagline,
// three technology pills (two with the live OSC and HTTP ports), four feature cards, and a footer
// with credits, the update button (its check text, or the newer release when one is offered), the
// way to the user guide and OK (Return). Follows the language, the ports and the updater's state
// while shown. It owns one piece of state: whether the version has been copied.
#pragma once

#include "app/views/sheets/SheetParts.h"

#include <functional>
#include <string>
#include <vector>

namespace ostrel {

class AppModel;

class AboutSheet final : public SheetFrame {
    Q_OBJECT

public:
    struct Feature {
        std::string icon;
        QColor tint;
        std::string title;   ///< in the current language
        std::string detail;  ///< in the current language
    };

    explicit AboutSheet(AppModel& model, std::function<void()> openHelp, std::function<void()> close,
                        QWidget* parent = nullptr);

    static constexpr int sheetWidth = 650;

    /// The sheet's width, and the height its wrapped texts take at that width.
    [[nodiscard]] QSize sizeHint() const override { return {sheetWidth, heightForWidth(sheetWidth)}; }

    /// The four cards in display order, texts in the current language.
    [[nodiscard]] static std::vector<Feature> features();

    [[nodiscard]] bool copiedVersion() const noexcept { return copiedVersion_; }
    /// The badge's action: copies the version line and shows the copied word.
    void copyVersion();
    /// The update button's action: close now; on a later turn of the event loop show the update
    /// window, then start a visible check.
    void requestUpdateCheck();

    [[nodiscard]] ClickableRow* versionBadge() const noexcept { return versionBadge_; }
    [[nodiscard]] ClickableRow* updateButton() const noexcept { return updateButton_; }
    [[nodiscard]] ClickableRow* guideButton() const noexcept { return guideButton_; }

protected:
    [[nodiscard]] QWidget* buildContent() override;

private:
    void refreshPorts();
    void refreshVersionBadge();
    void refreshUpdateButton();

    AppModel& model_;
    std::function<void()> openHelp_;
    bool copiedVersion_ = false;
    ClickableRow* versionBadge_ = nullptr;
    ClickableRow* updateButton_ = nullptr;
    ClickableRow* guideButton_ = nullptr;
    QLabel* oscPill_ = nullptr;
    QLabel* httpPill_ = nullptr;
};

}  // namespace ostrel
