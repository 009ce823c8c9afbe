// The user guide: a fixed 760 × 520 sheet with a header (title, version), a sidebar of five
// sections, a scrolling pane with the selected section, and a footer with the way to the keyboard
// shortcuts and OK (Return). Static French and English content chosen by `L` at every build; the
// only state is the selected section, which starts at quickStart for every new sheet. It follows a
// change of language (QEvent::LanguageChange) while shown.
#pragma once

#include "app/views/sheets/SheetParts.h"

#include <array>
#include <functional>
#include <string>
#include <string_view>

class QScrollArea;

namespace ostrel {

class AppModel;

class HelpManualSheet final : public SheetFrame {
    Q_OBJECT

public:
    enum class SectionID { quickStart, algorithmsAndANE, bezierAndJunctions, axiDrawAndPens, oscAndMCP };
    static constexpr std::array<SectionID, 5> allSections{SectionID::quickStart, SectionID::algorithmsAndANE,
                                                          SectionID::bezierAndJunctions, SectionID::axiDrawAndPens,
                                                          SectionID::oscAndMCP};

    explicit HelpManualSheet(std::function<void()> openShortcuts, std::function<void()> close,
                             QWidget* parent = nullptr);

    static constexpr int sheetWidth = 760;
    static constexpr int sheetHeight = 520;

    [[nodiscard]] static std::string_view rawValue(SectionID section) noexcept;
    /// The sidebar label in the current language.
    [[nodiscard]] static std::string title(SectionID section);
    [[nodiscard]] static std::string_view icon(SectionID section) noexcept;

    [[nodiscard]] SectionID selectedSection() const noexcept { return selected_; }
    /// What a sidebar row does: shows `section` at once (the selected one changes nothing).
    void selectSection(SectionID section);

    /// The sidebar row of `section` and the scrolling pane, for tests and the snapshot.
    [[nodiscard]] ClickableRow* sectionRow(SectionID section) const;
    [[nodiscard]] QScrollArea* contentPane() const noexcept { return pane_; }
    [[nodiscard]] QAbstractButton* shortcutsButton() const noexcept { return shortcutsButton_; }

protected:
    [[nodiscard]] QWidget* buildContent() override;
    void changeEvent(QEvent* event) override;

private:
    void styleRows();

    std::function<void()> openShortcuts_;
    SectionID selected_ = SectionID::quickStart;
    std::array<ClickableRow*, 5> rows_{};
    QScrollArea* pane_ = nullptr;
    QAbstractButton* shortcutsButton_ = nullptr;
};

}  // namespace ostrel
