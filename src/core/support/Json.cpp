#include "support/Json.h"

namespace ostrel {

std::string prettyJson(const Json& value) {
    return value.dump(2, ' ', false, Json::error_handler_t::replace);
}

std::string compactJson(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string sanitizedUtf8(const std::string& text) {
    // Dumping a JSON string with the replace handler yields a quoted, escaped,
    // valid UTF-8 text; parsing it back gives the repaired text.
    const std::string quoted = Json(text).dump(-1, ' ', false, Json::error_handler_t::replace);
    return Json::parse(quoted).get<std::string>();
}

}  // namespace ostrel
