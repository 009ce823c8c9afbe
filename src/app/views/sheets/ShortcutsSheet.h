// The keyboard shortcuts sheet: two titled columns of seven rows, the keys as this build binds
// them (menus, window keys, canvas gestures) and what they do. Reference only: it binds nothing
// and its one action, Close (Return or Escape), runs `close`. It follows a change of language
// (QEvent::LanguageChange) while shown.
#pragma once

#include "app/views/sheets/SheetParts.h"

#include <functional>
#include <string>
#include <vector>

namespace ostrel {

class AppModel;

class ShortcutsSheet final : public SheetFrame {
    Q_OBJECT

public:
    struct Row {
        std::string keys;  ///< portable key names ("Ctrl+Shift+Z"), or gesture words; see keyNames
        std::string description;
    };
    struct Group {
        std::string title;
        std::vector<Row> rows;
    };

    explicit ShortcutsSheet(std::function<void()> close, QWidget* parent = nullptr);

    static constexpr int sheetWidth = 820;
    /// The two groups, titles and descriptions in the current language.
    [[nodiscard]] static std::vector<Group> groups();

protected:
    [[nodiscard]] QWidget* buildContent() override;
    void changeEvent(QEvent* event) override;
};

}  // namespace ostrel
