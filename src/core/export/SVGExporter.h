// The writers of a vectorization result: the plotter SVG (millimetres on the
// page, one Inkscape layer per pen), the coloured preview SVG (image pixels),
// and the CSV path table, the French plotter sheet and the JSON summary.
//
// Every number is written with fixed decimals, "." as separator and no
// grouping, whatever the process locale. Each writer is linear in the number
// of points and segments it writes. None of them fails.
#pragma once

#include "core/model/PageTransform.h"
#include "core/model/VectorModel.h"
#include "core/model/VectorizerParams.h"

#include <optional>
#include <string>
#include <vector>

namespace ostrel::SVGExporter {

/// The SVG text of `layers`: the plotter SVG when `forPreview` is false (millimetres on the page, or
/// pixels for the "original" paper format), the preview SVG in image pixels and pen colours otherwise.
/// Hidden and empty layers write no group. Lines are joined by "\n", with no newline after "</svg>".
[[nodiscard]] std::string generateSVG(const std::vector<PenLayer>& layers, const PageTransform& transform,
                                      const PlotterMetrics& metrics, const VectorizerParams& params, bool forPreview);

/// Path data of one stroke: its cubic segments when it has any, else its polyline
/// ("M10.00,20.00L30.50,40.25Z"); empty when there is nothing to draw (fewer than 2 points, no segments).
/// Points go through `transform->toPage` when a transform is given.
[[nodiscard]] std::string buildPathD(const VectorPath& path,
                                     const std::optional<PageTransform>& transform = std::nullopt);

/// Path data of a chain of cubic segments taken as continuous: "M" at the first p0, then one "C" per
/// segment, then "Z" when closed; empty for no segments.
[[nodiscard]] std::string buildBezierLoopD(const std::vector<CubicBezierSegment>& beziers, bool isClosed,
                                           const std::optional<PageTransform>& transform = std::nullopt);

/// The export text of `result` in `format`: the stored SVG texts unchanged for the two SVG formats; the
/// CSV table, the plain-text sheet or the JSON summary (ending with "\n") built from the result and
/// `params` for the others. Every layer counts in the last three, hidden or not.
[[nodiscard]] std::string render(VectorExportFormat format, const VectorizationResult& result,
                                 const VectorizerParams& params);

}  // namespace ostrel::SVGExporter
