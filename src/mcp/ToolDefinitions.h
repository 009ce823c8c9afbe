// The six tools the bridge offers, as MCP tool definitions (name, description, inputSchema).
#pragma once

#include <nlohmann/json.hpp>

namespace ostrel::mcp {

/// The tool list in its fixed order: ostrel_state, ostrel_help, ostrel_open, ostrel_set_params,
/// ostrel_export_svg, ostrel_snapshot. Built once on first use (thread-safe), never changed.
/// Each schema is {"type":"object","properties":{...}} with no "required" member.
[[nodiscard]] const nlohmann::json& ostrelToolDefinitions();

}  // namespace ostrel::mcp
