// The 28 parameters of a vectorization and the option enumerations with
// their raw values and French/English display texts.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ostrel {

enum class VectorOutputMode { illustration, axidraw };
enum class IllustrationStrokeStyle { variableRibbon, perStrokeWidth };
enum class VectorAlgorithm { neuralCenterline, visionContours, skeletonize, cannyEdges };
enum class PaperFormat { a4, a3, a5, a6, original };
enum class PaperOrientation { automatic, portrait, landscape };
enum class VectorExportFormat { svgAxiDraw, svgPreview, json, txt, csv };

/// Every case of an enumeration, in the order of every picker and list.
template <class E>
constexpr auto allCases();
template <>
constexpr auto allCases<VectorOutputMode>() {
    return std::array{VectorOutputMode::illustration, VectorOutputMode::axidraw};
}
template <>
constexpr auto allCases<IllustrationStrokeStyle>() {
    return std::array{IllustrationStrokeStyle::variableRibbon, IllustrationStrokeStyle::perStrokeWidth};
}
template <>
constexpr auto allCases<VectorAlgorithm>() {
    return std::array{VectorAlgorithm::neuralCenterline, VectorAlgorithm::visionContours, VectorAlgorithm::skeletonize,
                      VectorAlgorithm::cannyEdges};
}
template <>
constexpr auto allCases<PaperFormat>() {
    return std::array{PaperFormat::a4, PaperFormat::a3, PaperFormat::a5, PaperFormat::a6, PaperFormat::original};
}
template <>
constexpr auto allCases<PaperOrientation>() {
    return std::array{PaperOrientation::automatic, PaperOrientation::portrait, PaperOrientation::landscape};
}
template <>
constexpr auto allCases<VectorExportFormat>() {
    return std::array{VectorExportFormat::svgAxiDraw, VectorExportFormat::svgPreview, VectorExportFormat::json,
                      VectorExportFormat::txt, VectorExportFormat::csv};
}

[[nodiscard]] std::string_view rawValue(VectorOutputMode value) noexcept;
[[nodiscard]] std::string_view rawValue(IllustrationStrokeStyle value) noexcept;
[[nodiscard]] std::string_view rawValue(VectorAlgorithm value) noexcept;
[[nodiscard]] std::string_view rawValue(PaperFormat value) noexcept;
[[nodiscard]] std::string_view rawValue(PaperOrientation value) noexcept;
[[nodiscard]] std::string_view rawValue(VectorExportFormat value) noexcept;

/// The case whose raw value is exactly `text` (case-sensitive), if any.
template <class E>
[[nodiscard]] std::optional<E> enumFromRaw(std::string_view text) noexcept {
    for (E value : allCases<E>()) {
        if (rawValue(value) == text) return value;
    }
    return std::nullopt;
}

// Display texts: English when the interface language resolves to English, else French.
[[nodiscard]] std::string label(VectorOutputMode value);
[[nodiscard]] std::string subtitle(VectorOutputMode value);
[[nodiscard]] std::string_view icon(VectorOutputMode value) noexcept;
[[nodiscard]] std::string detail(VectorOutputMode value);

[[nodiscard]] std::string label(IllustrationStrokeStyle value);
[[nodiscard]] std::string shortBadge(IllustrationStrokeStyle value);
[[nodiscard]] std::string detail(IllustrationStrokeStyle value);

[[nodiscard]] std::string label(VectorAlgorithm value);
[[nodiscard]] std::string shortBadge(VectorAlgorithm value);
[[nodiscard]] std::string detail(VectorAlgorithm value);

[[nodiscard]] std::string label(PaperFormat value);
[[nodiscard]] std::string shortLabel(PaperFormat value);
/// Portrait (width, height) in millimetres; none for `original`.
[[nodiscard]] std::optional<std::pair<double, double>> portraitSizeMM(PaperFormat value) noexcept;

[[nodiscard]] std::string label(PaperOrientation value);

[[nodiscard]] std::string label(VectorExportFormat value);
[[nodiscard]] std::string detail(VectorExportFormat value);
[[nodiscard]] std::string_view fileExtension(VectorExportFormat value) noexcept;

struct VectorizerParams {
    VectorOutputMode outputMode = VectorOutputMode::illustration;
    IllustrationStrokeStyle illustrationStrokeStyle = IllustrationStrokeStyle::variableRibbon;
    double strokeWidthScale = 1.0;
    VectorAlgorithm algorithm = VectorAlgorithm::neuralCenterline;
    bool adaptiveThreshold = true;
    bool invert = false;
    std::int64_t threshold = 128;
    double blurRadius = 0.8;
    std::int64_t morphCleanup = 0;
    double rdpTolerance = 1.0;
    double curveSmoothing = 0.65;
    std::int64_t cornerAngleDeg = 45;
    std::int64_t minPathLengthPx = 4;
    bool stegerSubpixel = true;
    bool crossJunctions = true;
    double maxStitchGapPx = 8.0;
    double continuity = 55.0;
    bool hatchEnabled = false;
    double hatchSpacingPx = 6.0;
    double hatchAngleDeg = 45.0;
    bool crossHatch = false;
    std::int64_t penCount = 2;
    std::vector<double> penWidthsMM{0.3, 0.5, 0.8, 1.2};
    PaperFormat paperFormat = PaperFormat::a4;
    PaperOrientation paperOrientation = PaperOrientation::automatic;
    double marginMM = 12.0;
    bool optimize2Opt = true;
    bool exportBlackStrokes = false;

    /// The 16 stage-A fields joined by "|": equal keys let stage A be reused.
    [[nodiscard]] std::string extractionCacheKey() const;
    friend bool operator==(const VectorizerParams&, const VectorizerParams&) = default;
};

}  // namespace ostrel
