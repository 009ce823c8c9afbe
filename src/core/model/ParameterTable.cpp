#include "core/model/ParameterTable.h"

namespace ostrel {

const ParameterSpec* findParameter(std::string_view key) noexcept {
    for (const ParameterSpec* spec : kAllParameters) {
        if (spec->key == key) return spec;
    }
    return nullptr;
}

}  // namespace ostrel
