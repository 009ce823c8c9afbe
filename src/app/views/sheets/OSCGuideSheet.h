// The remote-control guide: the live OSC and HTTP ports, eleven OSC addresses to copy with a
// click, three example lines (MCP bridge, command line, HTTP request) and a button that copies an
// MCP client configuration naming the bridge installed beside this program. Its only actions are
// clipboard writes with a flash, and Close (Return or Escape). Follows the language and the ports
// while shown.
#pragma once

#include "app/views/sheets/SheetParts.h"

#include <functional>
#include <string>
#include <vector>

namespace ostrel {

class AppModel;
class Chip;

class OSCGuideSheet final : public SheetFrame {
    Q_OBJECT

public:
    struct Example {
        std::string address;      ///< the same in both languages
        std::string argument;     ///< the same in both languages
        std::string description;  ///< in the current language
    };

    explicit OSCGuideSheet(AppModel& model, std::function<void()> close, QWidget* parent = nullptr);

    static constexpr int sheetWidth = 760;

    /// The eleven addresses in display order, descriptions in the current language.
    [[nodiscard]] static std::vector<Example> oscExamples();
    /// The MCP client configuration for the bridge at `bridgePath`: seven lines, two-blank indent.
    [[nodiscard]] static std::string mcpConfiguration(const std::string& bridgePath);

    /// Copies `address` and flashes it (what a row's click does).
    void copyAddress(const std::string& address);
    /// Copies the configuration and flashes it (the button's action).
    void copyMCPConfiguration();

protected:
    [[nodiscard]] QWidget* buildContent() override;

private:
    void refreshPorts();

    AppModel& model_;
    Chip* oscChip_ = nullptr;
    Chip* httpChip_ = nullptr;
    QLabel* httpLine_ = nullptr;
};

}  // namespace ostrel
