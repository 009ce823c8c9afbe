#include "core/support/text/Json.h"

namespace ostrel {

std::string prettyJson(const Json& value) { return value.dump(2, ' ', false, Json::error_handler_t::replace); }

std::string compactJson(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

bool jsonNestsDeeperThan(std::string_view text, std::size_t limit) noexcept {
    std::size_t depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) return true;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return false;
}

}  // namespace ostrel
