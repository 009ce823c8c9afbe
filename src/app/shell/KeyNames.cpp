#include "app/shell/KeyNames.h"

#include <QKeySequence>
#include <QString>

namespace ostrel {

namespace {

std::string nativeName(std::string_view portable) {
    const QString text = QString::fromUtf8(portable.data(), static_cast<qsizetype>(portable.size()));
    const QKeySequence sequence = QKeySequence::fromString(text, QKeySequence::PortableText);
    // A sequence that does not read back as written is not a key name ("2 doigts"): keep the words.
    if (sequence.isEmpty() || sequence.toString(QKeySequence::PortableText) != text) return std::string(portable);
    return sequence.toString(QKeySequence::NativeText).toStdString();
}

}  // namespace

std::string keyNames(std::string_view keys) {
    constexpr std::string_view separator = " / ";
    std::string named;
    while (true) {
        const std::size_t end = keys.find(separator);
        named += nativeName(keys.substr(0, end));
        if (end == std::string_view::npos) break;
        named += separator;
        keys.remove_prefix(end + separator.size());
    }
    return named;
}

std::string withKeys(std::string_view text, std::string_view keys) {
    return std::string(text) + " (" + keyNames(keys) + ")";
}

}  // namespace ostrel
