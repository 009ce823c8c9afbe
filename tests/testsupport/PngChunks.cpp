#include "testsupport/PngChunks.h"

namespace ostrel::test {

std::uint32_t pngCrc(const char* data, qsizetype size) {
    std::uint32_t crc = 0xFFFFFFFFU;
    for (qsizetype i = 0; i < size; ++i) {
        crc ^= static_cast<unsigned char>(data[i]);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320U & (0U - (crc & 1U)));
    }
    return ~crc;
}

QByteArray bigEndian32(std::uint32_t v) {
    QByteArray out;
    for (int shift = 24; shift >= 0; shift -= 8) out.append(static_cast<char>((v >> shift) & 0xFF));
    return out;
}

QByteArray pngChunk(const char* type, const QByteArray& data, std::optional<std::uint32_t> declaredLength) {
    const QByteArray typed = QByteArray(type, 4) + data;
    return bigEndian32(declaredLength.value_or(static_cast<std::uint32_t>(data.size()))) + typed +
           bigEndian32(pngCrc(typed));
}

}  // namespace ostrel::test
