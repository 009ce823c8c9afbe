#include "export/SVGExporter.h"

#include "model/Localization.h"
#include "support/Json.h"
#include "support/NumberFormat.h"

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
    out += fixed(p.x, 2);
    out += ',';
    out += fixed(p.y, 2);
}

/// The 1-based number of a pen layer in files and labels.
std::string layerNumber(const PenLayer& layer) { return integerText(layer.index + 1); }

/// One group of the plotter-mode SVG: constant pen width, stroke attributes on the group.
void writePlotterGroup(std::vector<std::string>& lines, const PenLayer& layer, const std::string& stroke,
                       double groupWidth, const std::optional<PageTransform>& transform) {
    lines.push_back("  <g id=\"stylo-" + layerNumber(layer) + "\" inkscape:groupmode=\"layer\" inkscape:label=\"" +
                    layer.inkscapeLayerLabel() + "\" stroke=\"" + stroke + "\" stroke-width=\"" +
                    fixed(groupWidth, 2) +
                    "\" fill=\"none\" stroke-linecap=\"round\" stroke-linejoin=\"round\">");
    for (const auto& path : layer.paths) {
        const std::string d = buildPathD(path, transform);
        if (!d.empty()) lines.push_back("    <path d=\"" + d + "\"/>");
    }
    lines.push_back("  </g>");
}

/// One group of the illustration-mode SVG: filled ribbon outlines, or centre lines of measured width.
void writeIllustrationGroup(std::vector<std::string>& lines, const PenLayer& layer, const std::string& stroke,
                            double scale, const VectorizerParams& params,
                            const std::optional<PageTransform>& transform) {
    lines.push_back("  <g id=\"calque-" + layerNumber(layer) + "\" inkscape:groupmode=\"layer\" inkscape:label=\"" +
                    layer.inkscapeLayerLabel() + "\">");
    const bool ribbons = params.illustrationStrokeStyle == IllustrationStrokeStyle::variableRibbon;
    for (const auto& path : layer.paths) {
        if (ribbons && !path.outlineBeziers.empty()) {
            const std::string d = buildBezierLoopD(path.outlineBeziers, true, transform);
            if (!d.empty()) lines.push_back("    <path d=\"" + d + "\" fill=\"" + stroke + "\" stroke=\"none\"/>");
            continue;
        }
        const std::string d = buildPathD(path, transform);
        if (d.empty()) continue;
        const double width = std::max(scale * 2 * path.strokeRadiusPx * params.strokeWidthScale, scale * 0.4);
        lines.push_back("    <path d=\"" + d + "\" fill=\"none\" stroke=\"" + stroke + "\" stroke-width=\"" +
                        fixed(width, 2) + "\" stroke-linecap=\"round\" stroke-linejoin=\"round\"/>");
    }
    lines.push_back("  </g>");
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
        "Distance dessin   : " + fixed(m.drawDistanceMM / 1000, 2) + " m (" + fixed(m.drawDistanceMM, 0) +
            " mm / " + fixed(m.drawDistancePx, 0) + " px)",
        "Distance voyage   : " + fixed(m.travelDistanceOptimizedMM / 1000, 2) + " m (gain 2-opt : -" +
            fixed(m.travelSavingsPercent, 1) + "%)",
        "Lev\u00E9es de stylo   : " + integerText(m.penLifts),
        "Temps trac\u00E9 est.  : " + fixed(m.estimatedPlotSeconds, 0) + " s",
        "Temps de calcul   : " + fixed(m.computeMilliseconds, 1) + " ms (Neural Engine : " +
            (m.usedNeuralEngine ? "oui" : "non") + ")",
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

    std::vector<std::string> lines;
    lines.reserve(layers.size() * 8 + 6);
    lines.emplace_back("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    std::string root = "<svg xmlns=\"" + std::string(kSvgNamespace) + "\" xmlns:inkscape=\"" +
                       std::string(kInkscapeNamespace) + "\"";
    if (millimetres) {
        const std::string w = fixed(transform.pageWidthMM, 2);
        const std::string h = fixed(transform.pageHeightMM, 2);
        root += " viewBox=\"0 0 " + w + " " + h + "\" width=\"" + w + "mm\" height=\"" + h + "mm\">";
    } else {
        const std::string w = fixed(static_cast<double>(transform.imageWidth), 0);
        const std::string h = fixed(static_cast<double>(transform.imageHeight), 0);
        root += " viewBox=\"0 0 " + w + " " + h + "\" width=\"" + w + "px\" height=\"" + h + "px\">";
    }
    lines.push_back(std::move(root));
    lines.push_back("<!-- Generated by Ostrel (cie Corvane) \u2014 Mode: " + std::string(rawValue(params.outputMode)) +
                    " -->");
    lines.push_back("<!-- Algorithm: " + std::string(rawValue(params.algorithm)) +
                    " | Paths: " + integerText(metrics.pathCount) + " | Draw: " + fixed(metrics.drawDistanceMM, 1) +
                    " mm | Travel: " + fixed(metrics.travelDistanceOptimizedMM, 1) + " mm (2-opt saved " +
                    fixed(metrics.travelSavingsPercent, 1) + "%) | Lifts: " + integerText(metrics.penLifts) + " -->");

    const bool black =
        !forPreview && (params.exportBlackStrokes || params.outputMode == VectorOutputMode::illustration);
    for (const auto& layer : layers) {
        if (!layer.visible || layer.paths.empty()) continue;
        const std::string stroke = black ? std::string("#000000") : layer.colorHex;
        if (plotterMode) {
            const double groupWidth =
                millimetres ? layer.widthMM : std::max(layer.widthMM / std::max(transform.scalePxToMM, 0.05), 0.8);
            writePlotterGroup(lines, layer, stroke, groupWidth, pathTransform);
        } else {
            writeIllustrationGroup(lines, layer, stroke, illustrationScale, params, pathTransform);
        }
    }
    lines.emplace_back("</svg>");
    return joined(lines);
}

std::string buildPathD(const VectorPath& path, const std::optional<PageTransform>& transform) {
    if (!path.beziers.empty()) return buildBezierLoopD(path.beziers, path.isClosed, transform);
    if (path.points.size() < 2) return {};
    std::string d;
    d.reserve(path.points.size() * 14 + 1);
    for (std::size_t i = 0; i < path.points.size(); ++i) {
        d += i == 0 ? 'M' : 'L';
        appendPoint(d, mapped(path.points[i], transform));
    }
    if (path.isClosed) d += 'Z';
    return d;
}

std::string buildBezierLoopD(const std::vector<CubicBezierSegment>& beziers, bool isClosed,
                             const std::optional<PageTransform>& transform) {
    if (beziers.empty()) return {};
    std::string d;
    d.reserve(beziers.size() * 42 + 16);
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
    return d;
}

std::string render(VectorExportFormat format, const VectorizationResult& result, const VectorizerParams& params) {
    switch (format) {
        case VectorExportFormat::svgAxiDraw: return result.svgAxiDraw;
        case VectorExportFormat::svgPreview: return result.svgPreview;
        case VectorExportFormat::csv: return csvTable(result);
        case VectorExportFormat::txt: return plotterSheet(result, params);
        case VectorExportFormat::json: return jsonSummary(result, params);
    }
    return {};
}

}  // namespace ostrel::SVGExporter
