// A text that may be written only when first read: either given at once, or a recipe that runs once,
// on the first thread to read it, while every other reader waits for the same text. Copies share
// the text (and the recipe until it has run), so copying a value that holds one is cheap.
#pragma once

#include "core/model/Deferred.h"

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

namespace ostrel {

class DeferredText {
public:
    DeferredText() = default;
    DeferredText(std::string text);  // NOLINT(google-explicit-constructor): a written text
    DeferredText(const char* text) : DeferredText(std::string(text)) {}  // NOLINT(google-explicit-constructor)

    /// A text that `write` produces when it is first read; `write` must only read what it owns.
    [[nodiscard]] static DeferredText later(std::function<std::string()> write);

    /// The text, written now when it was not yet (any thread; a failing recipe throws and is tried
    /// again by the next reader).
    [[nodiscard]] const std::string& text() const;
    operator const std::string&() const { return text(); }  // NOLINT(google-explicit-constructor)
    /// True once the text exists (given, or its recipe has run).
    [[nodiscard]] bool isWritten() const noexcept;

    [[nodiscard]] bool empty() const { return text().empty(); }
    [[nodiscard]] std::size_t size() const { return text().size(); }
    [[nodiscard]] std::size_t find(std::string_view part, std::size_t from = 0) const {
        return text().find(part, from);
    }

    friend bool operator==(const DeferredText& a, const DeferredText& b) { return a.text() == b.text(); }
    friend bool operator==(const DeferredText& a, const std::string& b) { return a.text() == b; }
    friend bool operator==(const DeferredText& a, const char* b) { return a.text() == b; }
    friend std::ostream& operator<<(std::ostream& out, const DeferredText& text);

private:
    explicit DeferredText(Deferred<std::string> text) : text_(std::move(text)) {}

    Deferred<std::string> text_;
};

}  // namespace ostrel
