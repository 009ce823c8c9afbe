#include "core/support/text/Json.h"

namespace ostrel {

std::string prettyJson(const Json& value) {
    return value.dump(2, ' ', false, Json::error_handler_t::replace);
}

std::string compactJson(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace ostrel
