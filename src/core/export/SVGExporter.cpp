#include "core/export/SVGExporter.h"

#include "core/model/Localization.h"
#include "core/support/text/Json.h"
#include "core/support/text/NumberFormat.h"

#include <algorithm>
#include <exception>
#include <string_view>

namespace ostrel::SVGExporter {

namespace {

constexpr std::string_view kSvgNamespace = "http://www.w3.org/2000/svg";
constexpr std::string_view kInkscapeNamespace = "http://www.inkscape.org/namespaces/inkscape";

/// Joins `lines` with a single "\n" between them (none after the last).
std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    std::size_t size = 0;
    for (const auto& line : lines) size += line.size() + 1;
    out.reserve(size);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) out += '\n';
        out += lines[i];
    }
    return out;
}

VectorPoint mapped(const VectorPoint& p, const std::optional<PageTransform>& transform) noexcept {
    return transform ? transform->toPage(p) : p;
}

/// Appends "<x>,<y>" with two decimals.
void appendPoint(std::string& out, const VectorPoint& p) {
    appendFixed(out, p.x, 2);
    out += ',';
    appendFixed(out, p.y, 2);
}

/// The 1-based number of a pen layer in files and labels.
std::string layerNumber(const PenLayer& layer) { return integerText(layer.index + 1); }

/// Whether buildPathD writes anything for `path`.
bool hasPathData(const VectorPath& path) noexcept { return !path.beziers.empty() || path.points.size() >= 2; }

/// Appends the path data of buildBezierLoopD; nothing for no segments.
void appendBezierLoopD(std::string& d, const std::vector<CubicBezierSegment>& beziers, bool isClosed,
                       const std::optional<PageTransform>& transform) {
    if (beziers.empty()) return;
    d += 'M';
    appendPoint(d, mapped(beziers.front().p0, transform));
    for (const auto& s : beziers) {
        d += 'C';
        appendPoint(d, mapped(s.c1, transform));
        d += ',';
        appendPoint(d, mapped(s.c2, transform));
        d += ',';
        appendPoint(d, mapped(s.p3, transform));
    }
    if (isClosed) d += 'Z';
}

/// Appends the path data of buildPathD; nothing when hasPathData is false.
void appendPathD(std::string& d, const VectorPath& path, const std::optional<PageTransform>& transform) {
    if (!path.beziers.empty()) {
        appendBezierLoopD(d, path.beziers, path.isClosed, transform);
        return;
    }
    if (path.points.size() < 2) return;
    for (std::size_t i = 0; i < path.points.size(); ++i) {
        d += i == 0 ? 'M' : 'L';
        appendPoint(d, mapped(path.points[i], transform));
    }
    if (path.isClosed) d += 'Z';
}

/// Characters of the path data of `path`, a bound used to reserve the output: a point is at most
/// 2 × 12 characters and a comma for coordinates below 10^9 with two decimals, and a longer number
/// only costs a reallocation.
std::size_t estimatedPathChars(const VectorPath& path, bool ribbons) noexcept {
    const std::size_t segments =
        ribbons && !path.outlineBeziers.empty() ? path.outlineBeziers.size() : path.beziers.size();
    const std::size_t points = segments > 0 ? 3 * segments + 1 : path.points.size();
    return points * 16 + 120;
}

/// One group of the plotter-mode SVG: constant pen width, stroke attributes on the group.
/// Every line is appended with its closing "\n".
void writePlotterGroup(std::string& out, const PenLayer& layer, const std::string& stroke, double groupWidth,
                       const std::optional<PageTransform>& transform) {
    out += "  <g id=\"stylo-";
    out += layerNumber(layer);
    out += "\" inkscape:groupmode=\"layer\" inkscape:label=\"";
    out += layer.inkscapeLayerLabel();
    out += "\" stroke=\"";
    out += stroke;
    out += "\" stroke-width=\"";
    appendFixed(out, groupWidth, 2);
    out += "\" fill=\"none\" stroke-linecap=\"round\" stroke-linejoin=\"round\">\n";
    for (const auto& path : layer.paths) {
        if (!hasPathData(path)) continue;
        out += "    <path d=\"";
        appendPathD(out, path, transform);
        out += "\"/>\n";
    }
    out += "  </g>\n";
}

/// One group of the illustration-mode SVG: filled ribbon outlines, or centre lines of measured width.
/// Every line is appended with its closing "\n".
void writeIllustrationGroup(std::string& out, const PenLayer& layer, const std::string& stroke, double scale,
                            const VectorizerParams& params, const std::optional<PageTransform>& transform) {
    out += "  <g id=\"calque-";
    out += layerNumber(layer);
    out += "\" inkscape:groupmode=\"layer\" inkscape:label=\"";
    out += layer.inkscapeLayerLabel();
    out += "\">\n";
    const bool ribbons = params.illustrationStrokeStyle == IllustrationStrokeStyle::variableRibbon;
    for (const auto& path : layer.paths) {
        if (ribbons && !path.outlineBeziers.empty()) {
            out += "    <path d=\"";
            appendBezierLoopD(out, path.outlineBeziers, true, transform);
            out += "\" fill=\"";
            out += stroke;
            out += "\" stroke=\"none\"/>\n";
            continue;
        }
        if (!hasPathData(path)) continue;
        const double width = std::max(scale * 2 * path.strokeRadiusPx * params.strokeWidthScale, scale * 0.4);
        out += "    <path d=\"";
        appendPathD(out, path, transform);
        out += "\" fill=\"none\" stroke=\"";
        out += stroke;
        out += "\" stroke-width=\"";
        appendFixed(out, width, 2);
        out += "\" stroke-linecap=\"round\" stroke-linejoin=\"round\"/>\n";
    }
    out += "  </g>\n";
}

std::string csvTable(const VectorizationResult& result) {
    std::vector<std::string> lines{
        "id,pen_index,pen_label,width_mm,points,beziers,length_mm,start_x_mm,start_y_mm,end_x_mm,end_y_mm"};
    const PageTransform& transform = result.pageTransform;
    for (const auto& layer : result.layers) {
        const std::string pen = layerNumber(layer) + ",\"" + layer.name + "\"," + fixed(layer.widthMM, 2) + ",";
        for (const auto& path : layer.paths) {
            std::string line = integerText(path.id) + "," + pen;
            line += integerText(static_cast<std::int64_t>(path.points.size())) + ",";
            line += integerText(static_cast<std::int64_t>(path.beziers.size())) + ",";
            line += fixed(path.lengthPx() * transform.scalePxToMM, 2) + ",";
            appendPoint(line, transform.toPage(path.startPoint()));
            line += ',';
            appendPoint(line, transform.toPage(path.endPoint()));
            lines.push_back(std::move(line));
        }
    }
    return joined(lines) + "\n";
}

std::string plotterSheet(const VectorizationResult& result, const VectorizerParams& params) {
    const PlotterMetrics& m = result.metrics;
    const std::vector<std::string> header{
        "Ostrel \u2014 Fiche de trac\u00E9 AxiDraw",
        "=========================================",
        "Algorithme        : " + label(params.algorithm),
        "Image source      : " + integerText(m.imageWidth) + " \u00D7 " + integerText(m.imageHeight) + " px",
        "Format papier     : " + std::string(rawValue(params.paperFormat)) + " (" + fixed(m.pageWidthMM, 1) +
            " \u00D7 " + fixed(m.pageHeightMM, 1) + " mm, marge " + fixed(params.marginMM, 1) + " mm)",
        "Chemins           : " + integerText(m.pathCount) + " (" + integerText(m.pointCount) + " points, " +
            integerText(m.bezierSegmentCount) + " courbes de B\u00E9zier)",
        "Distance dessin   : " + fixed(m.drawDistanceMM / 1000, 2) + " m (" + fixed(m.drawDistanceMM, 0) + " mm / " +
            fixed(m.drawDistancePx, 0) + " px)",
        "Distance voyage   : " + fixed(m.travelDistanceOptimizedMM / 1000, 2) + " m (gain 2-opt : -" +
            fixed(m.travelSavingsPercent, 1) + "%)",
        "Lev\u00E9es de stylo   : " + integerText(m.penLifts),
        "Temps trac\u00E9 est.  : " + fixed(m.estimatedPlotSeconds, 0) + " s",
        "Temps de calcul   : " + fixed(m.computeMilliseconds, 1) +
            " ms (Neural Engine : " + (m.usedNeuralEngine ? "oui" : "non") + ")",
        "",
        "Calques stylos :",
    };
    std::vector<std::string> layerLines;
    layerLines.reserve(result.layers.size());
    for (const auto& layer : result.layers) {
        layerLines.push_back("  - " + layer.inkscapeLayerLabel() + " : " +
                             integerText(static_cast<std::int64_t>(layer.paths.size())) + " chemins");
    }
    return joined(header) + "\n" + joined(layerLines) + "\n";
}

std::string jsonSummary(const VectorizationResult& result, const VectorizerParams& params) {
    const PlotterMetrics& m = result.metrics;
    // Non-finite numbers have no JSON form; the serialiser writes them as null.
    Json metrics = Json::object();
    metrics["imageWidth"] = m.imageWidth;
    metrics["imageHeight"] = m.imageHeight;
    metrics["pageWidthMM"] = m.pageWidthMM;
    metrics["pageHeightMM"] = m.pageHeightMM;
    metrics["pathCount"] = m.pathCount;
    metrics["pointCount"] = m.pointCount;
    metrics["bezierSegmentCount"] = m.bezierSegmentCount;
    metrics["drawDistanceMM"] = m.drawDistanceMM;
    metrics["travelDistanceMM"] = m.travelDistanceOptimizedMM;
    metrics["travelSavingsPercent"] = m.travelSavingsPercent;
    metrics["penLifts"] = m.penLifts;
    metrics["estimatedPlotSeconds"] = m.estimatedPlotSeconds;
    metrics["computeMilliseconds"] = m.computeMilliseconds;
    metrics["usedNeuralEngine"] = m.usedNeuralEngine;

    Json layers = Json::array();
    for (const auto& layer : result.layers) {
        Json entry = Json::object();
        entry["index"] = layer.index + 1;
        entry["name"] = layer.name;
        entry["widthMM"] = layer.widthMM;
        entry["colorHex"] = layer.colorHex;
        entry["pathCount"] = static_cast<std::int64_t>(layer.paths.size());
        layers.push_back(std::move(entry));
    }

    Json summary = Json::object();
    summary["app"] = "Ostrel";
    summary["algorithm"] = std::string(rawValue(params.algorithm));
    summary["paperFormat"] = std::string(rawValue(params.paperFormat));
    summary["metrics"] = std::move(metrics);
    summary["layers"] = std::move(layers);
    try {
        return prettyJson(summary) + "\n";
    } catch (const std::exception&) {
        return "{}\n";
    }
}

}  // namespace

std::string generateSVG(const std::vector<PenLayer>& layers, const PageTransform& transform,
                        const PlotterMetrics& metrics, const VectorizerParams& params, bool forPreview) {
    const bool millimetres = !forPreview && !transform.isRawPixels;
    // Pixel mode writes image points as they are: no transform reaches the path builders.
    const std::optional<PageTransform> pathTransform =
        millimetres ? std::optional<PageTransform>(transform) : std::nullopt;
    const double illustrationScale = millimetres ? transform.scalePxToMM : 1.0;
    const bool plotterMode = params.outputMode == VectorOutputMode::axidraw;
    const bool ribbons = !plotterMode && params.illustrationStrokeStyle == IllustrationStrokeStyle::variableRibbon;

    // One pass over the layers sizes the text, so the paths are appended without reallocating.
    std::size_t estimate = 1024;
    for (const auto& layer : layers) {
        if (!layer.visible) continue;
        estimate += 512;
        for (const auto& path : layer.paths) estimate += estimatedPathChars(path, ribbons);
    }
    std::string out;
    out.reserve(estimate);

    // Each line ends with "\n" except the closing "</svg>".
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"";
    out += kSvgNamespace;
    out += "\" xmlns:inkscape=\"";
    out += kInkscapeNamespace;
    out += '"';
    const std::string w =
        millimetres ? fixed(transform.pageWidthMM, 2) : fixed(static_cast<double>(transform.imageWidth), 0);
    const std::string h =
        millimetres ? fixed(transform.pageHeightMM, 2) : fixed(static_cast<double>(transform.imageHeight), 0);
    const std::string_view unit = millimetres ? "mm" : "px";
    out += " viewBox=\"0 0 ";
    out += w;
    out += ' ';
    out += h;
    out += "\" width=\"";
    out += w;
    out += unit;
    out += "\" height=\"";
    out += h;
    out += unit;
    out += "\">\n<!-- Generated by Ostrel (cie Corvane) \u2014 Mode: ";
    out += rawValue(params.outputMode);
    out += " -->\n<!-- Algorithm: ";
    out += rawValue(params.algorithm);
    out += " | Paths: ";
    appendInteger(out, metrics.pathCount);
    out += " | Draw: ";
    appendFixed(out, metrics.drawDistanceMM, 1);
    out += " mm | Travel: ";
    appendFixed(out, metrics.travelDistanceOptimizedMM, 1);
    out += " mm (2-opt saved ";
    appendFixed(out, metrics.travelSavingsPercent, 1);
    out += "%) | Lifts: ";
    appendInteger(out, metrics.penLifts);
    out += " -->\n";

    const bool black =
        !forPreview && (params.exportBlackStrokes || params.outputMode == VectorOutputMode::illustration);
    for (const auto& layer : layers) {
        if (!layer.visible || layer.paths.empty()) continue;
        const std::string stroke = black ? std::string("#000000") : layer.colorHex;
        if (plotterMode) {
            const double groupWidth =
                millimetres ? layer.widthMM : std::max(layer.widthMM / std::max(transform.scalePxToMM, 0.05), 0.8);
            writePlotterGroup(out, layer, stroke, groupWidth, pathTransform);
        } else {
            writeIllustrationGroup(out, layer, stroke, illustrationScale, params, pathTransform);
        }
    }
    out += "</svg>";
    return out;
}

std::string buildPathD(const VectorPath& path, const std::optional<PageTransform>& transform) {
    std::string d;
    if (!hasPathData(path)) return d;
    d.reserve(estimatedPathChars(path, false));
    appendPathD(d, path, transform);
    return d;
}

std::string buildBezierLoopD(const std::vector<CubicBezierSegment>& beziers, bool isClosed,
                             const std::optional<PageTransform>& transform) {
    std::string d;
    if (beziers.empty()) return d;
    d.reserve(beziers.size() * 48 + 32);
    appendBezierLoopD(d, beziers, isClosed, transform);
    return d;
}

std::string render(VectorExportFormat format, const VectorizationResult& result, const VectorizerParams& params) {
    switch (format) {
        case VectorExportFormat::svgAxiDraw:
            return result.svgAxiDraw;
        case VectorExportFormat::svgPreview:
            return result.svgPreview;
        case VectorExportFormat::csv:
            return csvTable(result);
        case VectorExportFormat::txt:
            return plotterSheet(result, params);
        case VectorExportFormat::json:
            return jsonSummary(result, params);
    }
    return {};
}

}  // namespace ostrel::SVGExporter
