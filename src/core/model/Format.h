// Display texts for distances, latencies and durations (French decimal comma unless English).
#pragma once

#include <optional>
#include <string>

namespace ostrel::Format {

/// "0 mm" unless finite and > 0; "1,25 m" from 1000 mm; "12 mm" below (halves away from zero).
[[nodiscard]] std::string distanceMM(double millimetres);

/// "—" when absent or not finite; "%.0f ms" from 10; "%.1f ms" with a French comma below.
[[nodiscard]] std::string latency(std::optional<double> milliseconds);

/// "—" unless finite and > 0 (or beyond any plot length); whole seconds, halves away from zero:
/// "59 s", then "12 min 05 s" (no hour unit: an hour reads "60 min 00 s").
[[nodiscard]] std::string duration(double seconds);

}  // namespace ostrel::Format
