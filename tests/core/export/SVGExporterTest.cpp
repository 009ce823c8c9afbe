// Golden texts of the five writers, derived by hand from small layers.
//
// Fixture on a page transform of 0.5 mm/px with offsets (10, 20) on a 297 × 210 mm page:
//   pen 1 "Stylo 1" 0.3 mm #FFB454, visible: path 1 polyline (10,20)-(30.5,40.25), radius 1.5;
//                                            path 2 two closed cubics with a ribbon outline, radius 0.1
//   pen 2 "Stylo 2" 0.5 mm, hidden:         path 4 polyline (1,2)-(3,4)
//   pen 3 "Stylo 3" 0.8 mm, visible, empty
//   pen 4 "Stylo 4" 1.2 mm #9ECE6A, visible: path 5 closed polyline, radius 2.25; path 6 one point;
//                                            path 7 no points
#include "core/export/SVGExporter.h"
#include "core/model/PageTransform.h"
#include "core/support/text/Json.h"
#include "testsupport/LanguageScope.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <locale>
#include <string>

namespace ostrel {
namespace {

using test::LanguageScope;

VectorPath polyline(std::int64_t id, std::vector<VectorPoint> points, double radius, bool closed = false) {
    VectorPath path;
    path.id = id;
    path.points = std::move(points);
    path.strokeRadiusPx = radius;
    path.isClosed = closed;
    return path;
}

std::vector<PenLayer> fixtureLayers() {
    VectorPath curve = polyline(2, {{0, 0}, {20, 20}, {0, 40}}, 0.1, true);
    curve.beziers = {{{0, 0}, {10, 0}, {20, 10}, {20, 20}}, {{20, 20}, {20, 30}, {10, 40}, {0, 40}}};
    curve.outlineBeziers = {{{0, -2}, {22, -2}, {22, 42}, {0, 42}}, {{0, 42}, {-2, 42}, {-2, -2}, {0, -2}}};
    return {
        PenLayer::make(0, std::string("Stylo 1"), 0.3, std::string("#FFB454"), true,
                       {polyline(1, {{10, 20}, {30.5, 40.25}}, 1.5), curve}),
        PenLayer::make(1, std::string("Stylo 2"), 0.5, std::string("#5CE1E6"), false,
                       {polyline(4, {{1, 2}, {3, 4}}, 1)}),
        PenLayer::make(2, std::string("Stylo 3"), 0.8, std::string("#C792EA"), true, {}),
        PenLayer::make(
            3, std::string("Stylo 4"), 1.2, std::string("#9ECE6A"), true,
            {polyline(5, {{100, 50}, {200, 100}, {150, 0}}, 2.25, true), polyline(6, {{7, 7}}, 1), polyline(7, {}, 1)}),
    };
}

PageTransform millimetreTransform() {
    PageTransform t;
    t.imageWidth = 200;
    t.imageHeight = 100;
    t.pageWidthMM = 297;
    t.pageHeightMM = 210;
    t.scalePxToMM = 0.5;
    t.offsetXMM = 10;
    t.offsetYMM = 20;
    t.isRawPixels = false;
    return t;
}

PageTransform originalPixelsTransform() {
    VectorizerParams params;
    params.paperFormat = PaperFormat::original;
    return PageTransform::make(800, 600, params);
}

PlotterMetrics fixtureMetrics() {
    PlotterMetrics m;
    m.imageWidth = 200;
    m.imageHeight = 100;
    m.pageWidthMM = 297;
    m.pageHeightMM = 210;
    m.pathCount = 6;
    m.pointCount = 9;
    m.bezierSegmentCount = 2;
    m.drawDistancePx = 246.9;
    m.drawDistanceMM = 123.456;
    m.travelDistanceRawMM = 3000;
    m.travelDistanceOptimizedMM = 2500;
    m.travelSavingsPercent = 12.345;
    m.penLifts = 5;
    m.estimatedPlotSeconds = 62.5;
    m.computeMilliseconds = 8.25;
    m.usedNeuralEngine = false;
    m.penPathCounts = {2, 1, 0, 3};
    m.penBreakpointsPx = {1.5};
    return m;
}

VectorizationResult fixtureResult() {
    VectorizationResult result;
    result.layers = fixtureLayers();
    result.pageTransform = millimetreTransform();
    result.metrics = fixtureMetrics();
    result.svgAxiDraw = "stored plotter svg";
    result.svgPreview = "stored preview svg";
    return result;
}

VectorizerParams plotterParams() {
    VectorizerParams params;
    params.outputMode = VectorOutputMode::axidraw;
    return params;
}

VectorizerParams illustrationParams(IllustrationStrokeStyle style) {
    VectorizerParams params;
    params.outputMode = VectorOutputMode::illustration;
    params.illustrationStrokeStyle = style;
    params.strokeWidthScale = 1.5;
    return params;
}

const std::string kXmlLine = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
const std::string kMillimetreRoot =
    "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:inkscape=\"http://www.inkscape.org/namespaces/inkscape\" "
    "viewBox=\"0 0 297.00 210.00\" width=\"297.00mm\" height=\"210.00mm\">\n";
const std::string kStatsComment =
    "<!-- Algorithm: neural_centerline | Paths: 6 | Draw: 123.5 mm | Travel: 2500.0 mm (2-opt saved 12.3%) | "
    "Lifts: 5 -->\n";
const std::string kCurveMM = "M10.00,20.00C15.00,20.00,20.00,25.00,20.00,30.00C20.00,35.00,15.00,40.00,10.00,40.00Z";
const std::string kCurvePx = "M0.00,0.00C10.00,0.00,20.00,10.00,20.00,20.00C20.00,30.00,10.00,40.00,0.00,40.00Z";
const std::string kOutlineMM = "M10.00,19.00C21.00,19.00,21.00,41.00,10.00,41.00C9.00,41.00,9.00,19.00,10.00,19.00Z";
const std::string kOutlinePx = "M0.00,-2.00C22.00,-2.00,22.00,42.00,0.00,42.00C-2.00,42.00,-2.00,-2.00,0.00,-2.00Z";

const std::string kPlotterMillimetreSvg =
    kXmlLine + kMillimetreRoot + "<!-- Generated by Ostrel (cie Corvane) \u2014 Mode: axidraw -->\n" + kStatsComment +
    "  <g id=\"stylo-1\" inkscape:groupmode=\"layer\" inkscape:label=\"1 - Stylo 1 (0.3mm)\" stroke=\"#FFB454\" "
    "stroke-width=\"0.30\" fill=\"none\" stroke-linecap=\"round\" stroke-linejoin=\"round\">\n"
    "    <path d=\"M15.00,30.00L25.25,40.12\"/>\n"
    "    <path d=\"" +
    kCurveMM +
    "\"/>\n"
    "  </g>\n"
    "  <g id=\"stylo-4\" inkscape:groupmode=\"layer\" inkscape:label=\"4 - Stylo 4 (1.2mm)\" stroke=\"#9ECE6A\" "
    "stroke-width=\"1.20\" fill=\"none\" stroke-linecap=\"round\" stroke-linejoin=\"round\">\n"
    "    <path d=\"M60.00,45.00L110.00,70.00L85.00,20.00Z\"/>\n"
    "  </g>\n"
    "</svg>";

TEST(SVGExporterPlotterSvg, MillimetrePaperInPlotterMode) {
    const auto svg =
        SVGExporter::generateSVG(fixtureLayers(), millimetreTransform(), fixtureMetrics(), plotterParams(), false);
    EXPECT_EQ(svg, kPlotterMillimetreSvg);

    // Black strokes change the group colours and nothing else.
    VectorizerParams black = plotterParams();
    black.exportBlackStrokes = true;
    std::string expected = kPlotterMillimetreSvg;
    for (const std::string colour : {"#FFB454", "#9ECE6A"}) {
        expected.replace(expected.find("stroke=\"" + colour), 8 + colour.size(), "stroke=\"#000000");
    }
    EXPECT_EQ(SVGExporter::generateSVG(fixtureLayers(), millimetreTransform(), fixtureMetrics(), black, false),
              expected);
}

TEST(SVGExporterPlotterSvg, OriginalPixelsInPlotterMode) {
    // Pen widths become pixels at 96 dpi: 0.3 / 0.264583 = 1.13, 1.2 / 0.264583 = 4.54.
    const std::string expected =
        kXmlLine +
        "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:inkscape=\"http://www.inkscape.org/namespaces/inkscape\" "
        "viewBox=\"0 0 800 600\" width=\"800px\" height=\"600px\">\n"
        "<!-- Generated by Ostrel (cie Corvane) \u2014 Mode: axidraw -->\n" +
        kStatsComment +
        "  <g id=\"stylo-1\" inkscape:groupmode=\"layer\" inkscape:label=\"1 - Stylo 1 (0.3mm)\" stroke=\"#FFB454\" "
        "stroke-width=\"1.13\" fill=\"none\" stroke-linecap=\"round\" stroke-linejoin=\"round\">\n"
        "    <path d=\"M10.00,20.00L30.50,40.25\"/>\n"
        "    <path d=\"" +
        kCurvePx +
        "\"/>\n"
        "  </g>\n"
        "  <g id=\"stylo-4\" inkscape:groupmode=\"layer\" inkscape:label=\"4 - Stylo 4 (1.2mm)\" stroke=\"#9ECE6A\" "
        "stroke-width=\"4.54\" fill=\"none\" stroke-linecap=\"round\" stroke-linejoin=\"round\">\n"
        "    <path d=\"M100.00,50.00L200.00,100.00L150.00,0.00Z\"/>\n"
        "  </g>\n"
        "</svg>";
    EXPECT_EQ(
        SVGExporter::generateSVG(fixtureLayers(), originalPixelsTransform(), fixtureMetrics(), plotterParams(), false),
        expected);
}

std::string illustrationGroups(const std::string& curveLine, const std::string& line1, const std::string& line5) {
    return "  <g id=\"calque-1\" inkscape:groupmode=\"layer\" inkscape:label=\"1 - Stylo 1 (0.3mm)\">\n" + line1 +
           curveLine +
           "  </g>\n"
           "  <g id=\"calque-4\" inkscape:groupmode=\"layer\" inkscape:label=\"4 - Stylo 4 (1.2mm)\">\n" +
           line5 + "  </g>\n</svg>";
}

std::string centreLine(const std::string& d, const std::string& colour, const std::string& width) {
    return "    <path d=\"" + d + "\" fill=\"none\" stroke=\"" + colour + "\" stroke-width=\"" + width +
           "\" stroke-linecap=\"round\" stroke-linejoin=\"round\"/>\n";
}

std::string ribbon(const std::string& d, const std::string& colour) {
    return "    <path d=\"" + d + "\" fill=\"" + colour + "\" stroke=\"none\"/>\n";
}

const std::string kIllustrationHeaderMM = kXmlLine + kMillimetreRoot +
                                          "<!-- Generated by Ostrel (cie Corvane) \u2014 Mode: illustration -->\n" +
                                          kStatsComment;

TEST(SVGExporterPlotterSvg, MillimetrePaperInIllustrationMode) {
    // Widths: max(s·2·r·1.5, s·0.4) with s = 0.5: r = 1.5 → 2.25, r = 0.1 → floor 0.20, r = 2.25 → 3.375 → 3.38.
    const std::string line1 = centreLine("M15.00,30.00L25.25,40.12", "#000000", "2.25");
    const std::string line5 = centreLine("M60.00,45.00L110.00,70.00L85.00,20.00Z", "#000000", "3.38");

    const std::string ribbons = kIllustrationHeaderMM + illustrationGroups(ribbon(kOutlineMM, "#000000"), line1, line5);
    EXPECT_EQ(SVGExporter::generateSVG(fixtureLayers(), millimetreTransform(), fixtureMetrics(),
                                       illustrationParams(IllustrationStrokeStyle::variableRibbon), false),
              ribbons);

    const std::string perStroke =
        kIllustrationHeaderMM + illustrationGroups(centreLine(kCurveMM, "#000000", "0.20"), line1, line5);
    EXPECT_EQ(SVGExporter::generateSVG(fixtureLayers(), millimetreTransform(), fixtureMetrics(),
                                       illustrationParams(IllustrationStrokeStyle::perStrokeWidth), false),
              perStroke);
}

TEST(SVGExporterPlotterSvg, OriginalPixelsInIllustrationMode) {
    const std::string header =
        kXmlLine +
        "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:inkscape=\"http://www.inkscape.org/namespaces/inkscape\" "
        "viewBox=\"0 0 800 600\" width=\"800px\" height=\"600px\">\n"
        "<!-- Generated by Ostrel (cie Corvane) \u2014 Mode: illustration -->\n" +
        kStatsComment;
    // Scale 1: r = 1.5 → 4.50, r = 0.1 → floor 0.40, r = 2.25 → 6.75.
    const std::string line1 = centreLine("M10.00,20.00L30.50,40.25", "#000000", "4.50");
    const std::string line5 = centreLine("M100.00,50.00L200.00,100.00L150.00,0.00Z", "#000000", "6.75");

    EXPECT_EQ(SVGExporter::generateSVG(fixtureLayers(), originalPixelsTransform(), fixtureMetrics(),
                                       illustrationParams(IllustrationStrokeStyle::variableRibbon), false),
              header + illustrationGroups(ribbon(kOutlinePx, "#000000"), line1, line5));
    EXPECT_EQ(SVGExporter::generateSVG(fixtureLayers(), originalPixelsTransform(), fixtureMetrics(),
                                       illustrationParams(IllustrationStrokeStyle::perStrokeWidth), false),
              header + illustrationGroups(centreLine(kCurvePx, "#000000", "0.40"), line1, line5));
}

TEST(SVGExporterPreviewSvg, ImagePixelsInPenColours) {
    const std::string root =
        "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:inkscape=\"http://www.inkscape.org/namespaces/inkscape\" "
        "viewBox=\"0 0 200 100\" width=\"200px\" height=\"100px\">\n";

    // Plotter mode: pen widths in pixels by the page scale, 0.3 / 0.5 = 0.6 floored to 0.80, 1.2 / 0.5 = 2.40;
    // pen colours even when black strokes are asked for.
    VectorizerParams plotter = plotterParams();
    plotter.exportBlackStrokes = true;
    const std::string plotterPreview =
        kXmlLine + root + "<!-- Generated by Ostrel (cie Corvane) \u2014 Mode: axidraw -->\n" + kStatsComment +
        "  <g id=\"stylo-1\" inkscape:groupmode=\"layer\" inkscape:label=\"1 - Stylo 1 (0.3mm)\" stroke=\"#FFB454\" "
        "stroke-width=\"0.80\" fill=\"none\" stroke-linecap=\"round\" stroke-linejoin=\"round\">\n"
        "    <path d=\"M10.00,20.00L30.50,40.25\"/>\n"
        "    <path d=\"" +
        kCurvePx +
        "\"/>\n"
        "  </g>\n"
        "  <g id=\"stylo-4\" inkscape:groupmode=\"layer\" inkscape:label=\"4 - Stylo 4 (1.2mm)\" stroke=\"#9ECE6A\" "
        "stroke-width=\"2.40\" fill=\"none\" stroke-linecap=\"round\" stroke-linejoin=\"round\">\n"
        "    <path d=\"M100.00,50.00L200.00,100.00L150.00,0.00Z\"/>\n"
        "  </g>\n"
        "</svg>";
    EXPECT_EQ(SVGExporter::generateSVG(fixtureLayers(), millimetreTransform(), fixtureMetrics(), plotter, true),
              plotterPreview);

    // Illustration mode: pixel widths (scale 1), pen colours instead of black.
    const std::string illustrationPreview =
        kXmlLine + root + "<!-- Generated by Ostrel (cie Corvane) \u2014 Mode: illustration -->\n" + kStatsComment +
        illustrationGroups(ribbon(kOutlinePx, "#FFB454"), centreLine("M10.00,20.00L30.50,40.25", "#FFB454", "4.50"),
                           centreLine("M100.00,50.00L200.00,100.00L150.00,0.00Z", "#9ECE6A", "6.75"));
    EXPECT_EQ(SVGExporter::generateSVG(fixtureLayers(), millimetreTransform(), fixtureMetrics(),
                                       illustrationParams(IllustrationStrokeStyle::variableRibbon), true),
              illustrationPreview);
}

TEST(SVGExporterPreviewSvg, PlotterPenWidthInPixelsIsFloored) {
    struct Case {
        double scalePxToMM;
        const char* width;
    };
    // 0.3 mm / scale, never below 0.8 px; scales below 0.05 mm/px count as 0.05.
    for (const Case c : {Case{0.1, "3.00"}, Case{1.0, "0.80"}, Case{0.01, "6.00"}, Case{0.0, "6.00"}}) {
        PageTransform t = millimetreTransform();
        t.scalePxToMM = c.scalePxToMM;
        const auto layers = std::vector<PenLayer>{fixtureLayers()[0]};
        const auto svg = SVGExporter::generateSVG(layers, t, fixtureMetrics(), plotterParams(), true);
        EXPECT_NE(svg.find(std::string("stroke-width=\"") + c.width + "\""), std::string::npos)
            << "scale " << c.scalePxToMM << "\n"
            << svg;
    }
}

TEST(SVGExporterPlotterSvg, NothingDrawableGivesHeaderCommentsAndClose) {
    std::vector<PenLayer> layers = fixtureLayers();
    layers[0].visible = false;
    layers[3].paths.clear();
    const std::string expected = kXmlLine + kMillimetreRoot +
                                 "<!-- Generated by Ostrel (cie Corvane) \u2014 Mode: axidraw -->\n" + kStatsComment +
                                 "</svg>";
    EXPECT_EQ(SVGExporter::generateSVG(layers, millimetreTransform(), fixtureMetrics(), plotterParams(), false),
              expected);

    // A visible layer holding only undrawable paths still writes its (empty) group.
    layers[3].paths = {polyline(6, {{7, 7}}, 1)};
    const std::string withEmptyGroup =
        kXmlLine + kMillimetreRoot + "<!-- Generated by Ostrel (cie Corvane) \u2014 Mode: axidraw -->\n" +
        kStatsComment +
        "  <g id=\"stylo-4\" inkscape:groupmode=\"layer\" inkscape:label=\"4 - Stylo 4 (1.2mm)\" stroke=\"#9ECE6A\" "
        "stroke-width=\"1.20\" fill=\"none\" stroke-linecap=\"round\" stroke-linejoin=\"round\">\n"
        "  </g>\n"
        "</svg>";
    EXPECT_EQ(SVGExporter::generateSVG(layers, millimetreTransform(), fixtureMetrics(), plotterParams(), false),
              withEmptyGroup);
}

TEST(SVGExporterPathData, PolylinesAndCubicChains) {
    const VectorPath closed = polyline(1, {{10, 20}, {30.5, 40.25}}, 1, true);
    EXPECT_EQ(SVGExporter::buildPathD(closed), "M10.00,20.00L30.50,40.25Z");
    // A raw-pixel transform leaves points as they are; a paper transform maps them.
    EXPECT_EQ(SVGExporter::buildPathD(closed, originalPixelsTransform()), "M10.00,20.00L30.50,40.25Z");
    EXPECT_EQ(SVGExporter::buildPathD(closed, millimetreTransform()), "M15.00,30.00L25.25,40.12Z");

    EXPECT_EQ(SVGExporter::buildPathD(polyline(2, {{1, 1}}, 1)), "");
    EXPECT_EQ(SVGExporter::buildPathD(polyline(3, {}, 1, true)), "");

    // Segments win over points, and each segment's own p0 is not written.
    VectorPath curve = polyline(4, {{99, 99}}, 1);
    curve.beziers = {{{0, 0}, {1, 2}, {3, 4}, {5, 6}}, {{50, 50}, {7, 8}, {9, 10.125}, {-0.5, 12}}};
    EXPECT_EQ(SVGExporter::buildPathD(curve),
              "M0.00,0.00C1.00,2.00,3.00,4.00,5.00,6.00C7.00,8.00,9.00,10.12,-0.50,12.00");
    EXPECT_EQ(SVGExporter::buildBezierLoopD(curve.beziers, true),
              "M0.00,0.00C1.00,2.00,3.00,4.00,5.00,6.00C7.00,8.00,9.00,10.12,-0.50,12.00Z");
    EXPECT_EQ(SVGExporter::buildBezierLoopD({}, true), "");
}

const std::string kCsvHeader =
    "id,pen_index,pen_label,width_mm,points,beziers,length_mm,start_x_mm,start_y_mm,end_x_mm,end_y_mm\n";

// Lengths: path 1 √(20.5² + 20.25²)·0.5 = 14.41; path 2 eight-chord cubic lengths 61.854…·0.5 = 30.93;
// path 4 √8·0.5 = 1.41; path 5 (√12500 + √12500)·0.5 = 111.80 (no closing side).
const std::string kCsv = kCsvHeader +
                         "1,1,\"Stylo 1\",0.30,2,0,14.41,15.00,30.00,25.25,40.12\n"
                         "2,1,\"Stylo 1\",0.30,3,2,30.93,10.00,20.00,10.00,40.00\n"
                         "4,2,\"Stylo 2\",0.50,2,0,1.41,10.50,21.00,11.50,22.00\n"
                         "5,4,\"Stylo 4\",1.20,3,0,111.80,60.00,45.00,85.00,20.00\n"
                         "6,4,\"Stylo 4\",1.20,1,0,0.00,13.50,23.50,13.50,23.50\n"
                         "7,4,\"Stylo 4\",1.20,0,0,0.00,10.00,20.00,10.00,20.00\n";

TEST(SVGExporterRender, CsvCoversEveryLayerInOrder) {
    EXPECT_EQ(SVGExporter::render(VectorExportFormat::csv, fixtureResult(), VectorizerParams()), kCsv);
    EXPECT_EQ(SVGExporter::render(VectorExportFormat::csv, VectorizationResult(), VectorizerParams()), kCsvHeader);

    // Scale 0.2 mm/px, offsets (10, 20); names go in unchanged.
    VectorizationResult small;
    small.pageTransform.scalePxToMM = 0.2;
    small.pageTransform.offsetXMM = 10;
    small.pageTransform.offsetYMM = 20;
    small.layers = {PenLayer::make(0, std::string("A, \"b\""), 0.3, std::string("#000000"), true,
                                   {polyline(9, {{0, 0}, {100, 0}}, 1)})};
    EXPECT_EQ(SVGExporter::render(VectorExportFormat::csv, small, VectorizerParams()),
              kCsvHeader + "9,1,\"A, \"b\"\",0.30,2,0,20.00,10.00,20.00,30.00,20.00\n");

    // "original" paper: coordinates stay pixels, the length is pixels × 25.4/96.
    small.pageTransform = originalPixelsTransform();
    EXPECT_EQ(SVGExporter::render(VectorExportFormat::csv, small, VectorizerParams()),
              kCsvHeader + "9,1,\"A, \"b\"\",0.30,2,0,26.46,0.00,0.00,100.00,0.00\n");
}

const std::string kSheetHeadTail =
    "Image source      : 200 \u00D7 100 px\n"
    "Format papier     : A4 (297.0 \u00D7 210.0 mm, marge 12.0 mm)\n"
    "Chemins           : 6 (9 points, 2 courbes de B\u00E9zier)\n"
    "Distance dessin   : 0.12 m (123 mm / 247 px)\n"
    "Distance voyage   : 2.50 m (gain 2-opt : -12.3%)\n"
    "Lev\u00E9es de stylo   : 5\n"
    "Temps trac\u00E9 est.  : 62 s\n"
    "Temps de calcul   : 8.2 ms (Neural Engine : non)\n"
    "\n"
    "Calques stylos :\n"
    "  - 1 - Stylo 1 (0.3mm) : 2 chemins\n"
    "  - 2 - Stylo 2 (0.5mm) : 1 chemins\n"
    "  - 3 - Stylo 3 (0.8mm) : 0 chemins\n"
    "  - 4 - Stylo 4 (1.2mm) : 3 chemins\n";

const std::string kSheetTitle =
    "Ostrel \u2014 Fiche de trac\u00E9 AxiDraw\n=========================================\n";

TEST(SVGExporterRender, PlainTextSheetIsFrenchExceptTheAlgorithm) {
    {
        LanguageScope french(AppLanguage::fr);
        EXPECT_EQ(SVGExporter::render(VectorExportFormat::txt, fixtureResult(), VectorizerParams()),
                  kSheetTitle + "Algorithme        : Ligne m\u00E9diane ANE + Steger\n" + kSheetHeadTail);
    }
    LanguageScope english(AppLanguage::en);
    EXPECT_EQ(SVGExporter::render(VectorExportFormat::txt, fixtureResult(), VectorizerParams()),
              kSheetTitle + "Algorithme        : ANE Centerline + Steger\n" + kSheetHeadTail);
}

TEST(SVGExporterRender, PlainTextSheetOfAnEmptyResult) {
    LanguageScope french(AppLanguage::fr);
    VectorizerParams params;
    params.algorithm = VectorAlgorithm::cannyEdges;
    params.paperFormat = PaperFormat::original;
    params.marginMM = 7.25;
    const std::string expected = kSheetTitle +
                                 "Algorithme        : Contours Canny (double seuil)\n"
                                 "Image source      : 0 \u00D7 0 px\n"
                                 "Format papier     : original (210.0 \u00D7 297.0 mm, marge 7.2 mm)\n"
                                 "Chemins           : 0 (0 points, 0 courbes de B\u00E9zier)\n"
                                 "Distance dessin   : 0.00 m (0 mm / 0 px)\n"
                                 "Distance voyage   : 0.00 m (gain 2-opt : -0.0%)\n"
                                 "Lev\u00E9es de stylo   : 0\n"
                                 "Temps trac\u00E9 est.  : 0 s\n"
                                 "Temps de calcul   : 0.0 ms (Neural Engine : oui)\n"
                                 "\n"
                                 "Calques stylos :\n"
                                 "\n";
    EXPECT_EQ(SVGExporter::render(VectorExportFormat::txt, VectorizationResult(), params), expected);
}

const std::string kJson = R"({
  "algorithm": "neural_centerline",
  "app": "Ostrel",
  "layers": [
    {
      "colorHex": "#FFB454",
      "index": 1,
      "name": "Stylo 1",
      "pathCount": 2,
      "widthMM": 0.3
    },
    {
      "colorHex": "#5CE1E6",
      "index": 2,
      "name": "Stylo 2",
      "pathCount": 1,
      "widthMM": 0.5
    },
    {
      "colorHex": "#C792EA",
      "index": 3,
      "name": "Stylo 3",
      "pathCount": 0,
      "widthMM": 0.8
    },
    {
      "colorHex": "#9ECE6A",
      "index": 4,
      "name": "Stylo 4",
      "pathCount": 3,
      "widthMM": 1.2
    }
  ],
  "metrics": {
    "bezierSegmentCount": 2,
    "computeMilliseconds": 8.25,
    "drawDistanceMM": 123.456,
    "estimatedPlotSeconds": 62.5,
    "imageHeight": 100,
    "imageWidth": 200,
    "pageHeightMM": 210.0,
    "pageWidthMM": 297.0,
    "pathCount": 6,
    "penLifts": 5,
    "pointCount": 9,
    "travelDistanceMM": 2500.0,
    "travelSavingsPercent": 12.345,
    "usedNeuralEngine": false
  },
  "paperFormat": "A4"
}
)";

TEST(SVGExporterRender, JsonSummary) {
    EXPECT_EQ(SVGExporter::render(VectorExportFormat::json, fixtureResult(), VectorizerParams()), kJson);

    VectorizerParams params;
    params.paperFormat = PaperFormat::original;
    params.algorithm = VectorAlgorithm::visionContours;
    const std::string empty = SVGExporter::render(VectorExportFormat::json, VectorizationResult(), params);
    EXPECT_NE(empty.find("\"algorithm\": \"vision_contours\""), std::string::npos) << empty;
    EXPECT_NE(empty.find("\"layers\": [],"), std::string::npos) << empty;
    EXPECT_NE(empty.find("\"paperFormat\": \"original\"\n}\n"), std::string::npos) << empty;
}

TEST(SVGExporterRender, JsonSurvivesBadTextAndNonFiniteMetrics) {
    VectorizationResult result = fixtureResult();
    result.layers[0].name = "Stylo \xFF\xC0\xAF/1";  // invalid bytes, as a file name can bring them
    result.layers[1].colorHex = "#12\xE2\x82";       // truncated sequence
    result.metrics.drawDistanceMM = std::numeric_limits<double>::quiet_NaN();
    result.metrics.computeMilliseconds = std::numeric_limits<double>::infinity();
    std::string text;
    ASSERT_NO_THROW(text = SVGExporter::render(VectorExportFormat::json, result, VectorizerParams()));
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    Json parsed;
    ASSERT_NO_THROW(parsed = Json::parse(text)) << text;
    const std::string name = parsed["layers"][0]["name"];
    EXPECT_EQ(name.rfind("Stylo \uFFFD", 0), 0u) << name;
    EXPECT_NE(name.find("/1"), std::string::npos);  // slash kept unescaped and the rest preserved
    EXPECT_EQ(parsed["layers"][1]["colorHex"].get<std::string>().rfind("#12\uFFFD", 0), 0u);
    EXPECT_TRUE(parsed["metrics"]["drawDistanceMM"].is_null());
    EXPECT_TRUE(parsed["metrics"]["computeMilliseconds"].is_null());
    EXPECT_EQ(parsed["metrics"]["pathCount"], 6);
}

TEST(SVGExporterRender, SvgFormatsReturnTheStoredTexts) {
    VectorizationResult result = fixtureResult();
    VectorizerParams other = plotterParams();
    other.paperFormat = PaperFormat::a3;
    EXPECT_EQ(SVGExporter::render(VectorExportFormat::svgAxiDraw, result, other), "stored plotter svg");
    EXPECT_EQ(SVGExporter::render(VectorExportFormat::svgPreview, result, VectorizerParams()), "stored preview svg");
}

TEST(SVGExporterPeer, RsvgRendersEveryKindOfSvg) {
    const QString rsvg = QStandardPaths::findExecutable(QStringLiteral("rsvg-convert"));
    if (rsvg.isEmpty()) GTEST_SKIP() << "rsvg-convert is not installed (./dev setup installs librsvg2-bin)";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Case {
        const char* name;
        PageTransform transform;
        VectorizerParams params;
        bool forPreview;
    };
    const Case cases[] = {
        {"plotter-mm", millimetreTransform(), plotterParams(), false},
        {"plotter-px", originalPixelsTransform(), plotterParams(), false},
        {"ribbon-mm", millimetreTransform(), illustrationParams(IllustrationStrokeStyle::variableRibbon), false},
        {"preview", millimetreTransform(), illustrationParams(IllustrationStrokeStyle::perStrokeWidth), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string svg =
            SVGExporter::generateSVG(fixtureLayers(), c.transform, fixtureMetrics(), c.params, c.forPreview);
        const QString input = dir.filePath(QString::fromUtf8(c.name) + QStringLiteral(".svg"));
        const QString output = dir.filePath(QString::fromUtf8(c.name) + QStringLiteral(".png"));
        QFile file(input);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(svg.data(), static_cast<qint64>(svg.size()));
        file.close();
        QProcess process;
        process.start(rsvg, {QStringLiteral("-o"), output, input});
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        EXPECT_GT(QFileInfo(output).size(), 0);
    }
}

/// Switches the C and C++ locales of the process to a comma-decimal locale for one scope.
class CommaLocaleScope {
public:
    CommaLocaleScope() {
        const char* previous = std::setlocale(LC_ALL, nullptr);
        previousC_ = previous ? previous : "C";
        active_ = std::setlocale(LC_ALL, "fr_FR.UTF-8") != nullptr || std::setlocale(LC_ALL, "fr_FR.utf8") != nullptr;
        if (active_) {
            try {
                std::locale::global(std::locale(std::setlocale(LC_ALL, nullptr)));
            } catch (const std::exception&) {
                // The C locale alone is what printf-style formatting follows.
            }
        }
    }
    ~CommaLocaleScope() {
        std::setlocale(LC_ALL, previousC_.c_str());
        std::locale::global(previousCxx_);
    }
    CommaLocaleScope(const CommaLocaleScope&) = delete;
    CommaLocaleScope& operator=(const CommaLocaleScope&) = delete;

    [[nodiscard]] bool active() const { return active_; }

private:
    std::string previousC_;
    std::locale previousCxx_;
    bool active_ = false;
};

TEST(SVGExporterLocale, OutputIgnoresACommaDecimalLocale) {
    LanguageScope french(AppLanguage::fr);
    CommaLocaleScope locale;
    if (!locale.active()) GTEST_SKIP() << "no fr_FR.UTF-8 locale installed (./dev setup generates it)";
    ASSERT_STREQ(std::localeconv()->decimal_point, ",") << "the fr_FR locale should use a decimal comma";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.2f", 1.5);
    ASSERT_STREQ(probe, "1,50");  // printf would now write commas

    const VectorizationResult result = fixtureResult();
    EXPECT_EQ(SVGExporter::generateSVG(result.layers, result.pageTransform, result.metrics, plotterParams(), false),
              kPlotterMillimetreSvg);
    EXPECT_EQ(SVGExporter::render(VectorExportFormat::csv, result, VectorizerParams()), kCsv);
    EXPECT_EQ(SVGExporter::render(VectorExportFormat::txt, result, VectorizerParams()),
              kSheetTitle + "Algorithme        : Ligne m\u00E9diane ANE + Steger\n" + kSheetHeadTail);
    EXPECT_EQ(SVGExporter::render(VectorExportFormat::json, result, VectorizerParams()), kJson);
    EXPECT_EQ(VectorizerParams().extractionCacheKey(),
              "neural_centerline|true|false|128|0.80|0|4|true|true|8.0|55|false|6.0|45|false|2");
}

}  // namespace
}  // namespace ostrel
