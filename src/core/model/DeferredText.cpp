#include "core/model/DeferredText.h"

#include <ostream>

namespace ostrel {

DeferredText::DeferredText(std::string text) : text_(std::move(text)) {}

DeferredText DeferredText::later(std::function<std::string()> write) {
    return DeferredText(Deferred<std::string>::later(std::move(write)));
}

const std::string& DeferredText::text() const { return text_.value(); }

bool DeferredText::isWritten() const noexcept { return text_.isMade(); }

std::ostream& operator<<(std::ostream& out, const DeferredText& text) { return out << text.text(); }

}  // namespace ostrel
