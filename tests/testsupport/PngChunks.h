// PNG files made by hand in tests: chunks with their lengths and checksums, for files no encoder
// writes (damaged, unusual or hostile ones).
#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>

namespace ostrel::test {

/// The CRC-32 a PNG chunk carries over its type and data.
[[nodiscard]] std::uint32_t pngCrc(const char* data, qsizetype size);
[[nodiscard]] inline std::uint32_t pngCrc(const QByteArray& bytes) { return pngCrc(bytes.constData(), bytes.size()); }

/// `v` as four bytes, most significant first.
[[nodiscard]] QByteArray bigEndian32(std::uint32_t v);

/// A chunk of `type` holding `data`; `declaredLength` overrides its length field.
[[nodiscard]] QByteArray pngChunk(const char* type, const QByteArray& data,
                                  std::optional<std::uint32_t> declaredLength = std::nullopt);

}  // namespace ostrel::test
