// The headless command-line modes: the usage text and `--vectorize`.
//
// Both run before any window, model or server exists and end the process.
// The run* functions return the exit status instead, for tests.
#pragma once

#include "core/model/VectorizerParams.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace ostrel::HeadlessCLI {

/// What the word scan of `--vectorize` collected.
struct VectorizeRequest {
    std::string input;                      // preset name or image path; empty: the portrait drawing
    std::optional<std::string> outputPath;  // absent: standard output
    VectorExportFormat format = VectorExportFormat::svgAxiDraw;
    VectorizerParams params;

    friend bool operator==(const VectorizeRequest&, const VectorizeRequest&) = default;
};

/// The banner and usage text of the interface language, without a final line end.
[[nodiscard]] std::string helpText();

/// Scans the words after the program path.
[[nodiscard]] VectorizeRequest parseVectorizeArguments(const std::vector<std::string>& arguments);

/// An optional sign and decimal digits only, within 64 bits.
[[nodiscard]] std::optional<std::int64_t> parseInteger(const std::string& word);
/// The whole word read by the C library in the C locale; a leading blank or leftovers refuse it.
[[nodiscard]] std::optional<double> parseNumber(const std::string& word);
/// Below `lo` → lo; at or above `hi` → hi; NaN → hi.
[[nodiscard]] double clampNumber(double value, double lo, double hi) noexcept;

int runHelp(std::FILE* out);
int runVectorize(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err);

[[noreturn]] void printHelpAndExit();
[[noreturn]] void runVectorizeAndExit(const std::vector<std::string>& arguments);

}  // namespace ostrel::HeadlessCLI
