#include "core/model/VectorizerParams.h"

#include "core/model/Localization.h"
#include "core/support/text/NumberFormat.h"

namespace ostrel {

std::string_view rawValue(VectorOutputMode value) noexcept {
    return value == VectorOutputMode::axidraw ? "axidraw" : "illustration";
}

std::string_view rawValue(IllustrationStrokeStyle value) noexcept {
    return value == IllustrationStrokeStyle::perStrokeWidth ? "per_stroke_width" : "variable_ribbon";
}

std::string_view rawValue(VectorAlgorithm value) noexcept {
    switch (value) {
        case VectorAlgorithm::neuralCenterline:
            return "neural_centerline";
        case VectorAlgorithm::visionContours:
            return "vision_contours";
        case VectorAlgorithm::skeletonize:
            return "skeletonize";
        case VectorAlgorithm::cannyEdges:
            return "canny_edges";
    }
    return "neural_centerline";
}

std::string_view rawValue(PaperFormat value) noexcept {
    switch (value) {
        case PaperFormat::a4:
            return "A4";
        case PaperFormat::a3:
            return "A3";
        case PaperFormat::a5:
            return "A5";
        case PaperFormat::a6:
            return "A6";
        case PaperFormat::original:
            return "original";
    }
    return "A4";
}

std::string_view rawValue(PaperOrientation value) noexcept {
    switch (value) {
        case PaperOrientation::automatic:
            return "auto";
        case PaperOrientation::portrait:
            return "portrait";
        case PaperOrientation::landscape:
            return "landscape";
    }
    return "auto";
}

std::string_view rawValue(VectorExportFormat value) noexcept {
    switch (value) {
        case VectorExportFormat::svgAxiDraw:
            return "svg";
        case VectorExportFormat::svgPreview:
            return "svg-preview";
        case VectorExportFormat::json:
            return "json";
        case VectorExportFormat::txt:
            return "txt";
        case VectorExportFormat::csv:
            return "csv";
    }
    return "svg";
}

std::string label(VectorOutputMode value) {
    return value == VectorOutputMode::axidraw ? L("Traceur AxiDraw", "AxiDraw Plotter")
                                              : L("Illustration SVG", "SVG Illustration");
}

std::string subtitle(VectorOutputMode value) {
    return value == VectorOutputMode::axidraw ? L("Stylos & 2-opt", "Pen layers & 2-opt")
                                              : L("Pleins & déliés", "Variable width");
}

std::string_view icon(VectorOutputMode value) noexcept {
    return value == VectorOutputMode::axidraw ? "scribble.variable" : "paintbrush.pointed.fill";
}

std::string detail(VectorOutputMode value) {
    if (value == VectorOutputMode::axidraw) {
        return L(
            "Mode Traceur AxiDraw : épaisseur mécanique constante par calque de stylo (0,3 mm, 0,5 mm…), mise en "
            "page papier et optimisation 2-opt.",
            "AxiDraw Plotter mode: uniform mechanical pen width per layer (0.3 mm, 0.5 mm…), sheet layout, and "
            "2-opt travel optimization.");
    }
    return L(
        "Mode Illustration SVG : préserve les variations d'épaisseur des traits (pleins & déliés en ruban de "
        "Bézier ou épaisseur mesurée par trait).",
        "SVG Illustration mode: preserves stroke thickness variations (variable-width Bézier ribbons or "
        "per-stroke measured width).");
}

std::string label(IllustrationStrokeStyle value) {
    return value == IllustrationStrokeStyle::perStrokeWidth
               ? L("Ligne centrale (Épaisseur par trait)", "Centerline (Per-stroke width)")
               : L("Pleins & déliés (Ruban variable)", "Tapered Ribbon (Variable width)");
}

std::string shortBadge(IllustrationStrokeStyle value) {
    return value == IllustrationStrokeStyle::perStrokeWidth ? L("Par trait", "Per-stroke") : L("Ruban", "Ribbon");
}

std::string detail(IllustrationStrokeStyle value) {
    if (value == IllustrationStrokeStyle::perStrokeWidth) {
        return L(
            "Conserve un chemin central unique par trait (facile à éditer par sommets) mais attribue à chaque "
            "trait son épaisseur réelle mesurée.",
            "Keeps a single centerline path per stroke (easy to edit by vertices) while assigning each stroke "
            "its measured thickness.");
    }
    return L(
        "Construit une enveloppe de Bézier fermée autour de chaque trait en suivant les variations locales "
        "d'épaisseur (pinceau, plume, feutre).",
        "Builds a closed cubic Bézier ribbon around each stroke following local thickness variations (brush, "
        "nib, marker).");
}

std::string label(VectorAlgorithm value) {
    switch (value) {
        case VectorAlgorithm::neuralCenterline:
            return L("Ligne médiane ANE + Steger", "ANE Centerline + Steger");
        case VectorAlgorithm::visionContours:
            return L("Contours Vision ANE + Hachures", "ANE Vision Contours + Hatch");
        case VectorAlgorithm::skeletonize:
            return L("Squelettisation Guo-Hall", "Guo-Hall Skeletonization");
        case VectorAlgorithm::cannyEdges:
            return L("Contours Canny (double seuil)", "Canny Edges (dual threshold)");
    }
    return {};
}

std::string shortBadge(VectorAlgorithm value) {
    switch (value) {
        case VectorAlgorithm::neuralCenterline:
            return "ANE \u00B7 Steger";
        case VectorAlgorithm::visionContours:
            return "ANE \u00B7 Vision";
        case VectorAlgorithm::skeletonize:
            return "vDSP \u00B7 Guo-Hall";
        case VectorAlgorithm::cannyEdges:
            return "vDSP \u00B7 Canny";
    }
    return {};
}

std::string detail(VectorAlgorithm value) {
    switch (value) {
        case VectorAlgorithm::neuralCenterline:
            return L(
                "Extraction de crêtes par le Hessien sur le processeur + squelette topologique Guo-Hall + "
                "affinement sub-pixel de Steger (Hessien) + traversée continue des croisements.",
                "Hessian ridge extraction on the CPU + Guo-Hall topological skeleton + Steger Hessian "
                "sub-pixel refinement + collinear junction crossing.");
        case VectorAlgorithm::visionContours:
            return L(
                "Détection de contours hiérarchiques par suivi de bords (Suzuki–Abe) sur le processeur + "
                "remplissage optionnel par hachures croisées pour AxiDraw.",
                "Hierarchical contour detection by border following (Suzuki–Abe) on the CPU + optional "
                "cross-hatch fill for AxiDraw.");
        case VectorAlgorithm::skeletonize:
            return L(
                "Amincissement morphologique rapide Guo-Hall / Zhang-Suen avec classification multi-stylos par "
                "transformée en distance.",
                "Fast Guo-Hall / Zhang-Suen morphological thinning with multi-pen stroke width classification via "
                "distance transform.");
        case VectorAlgorithm::cannyEdges:
            return L(
                "Gradient de Sobel, suppression des non-maxima et hystérésis pour extraire les doubles contours "
                "d'un dessin ou d'une photo.",
                "Sobel gradient, non-maximum suppression, and hysteresis thresholding to extract dual edge "
                "contours.");
    }
    return {};
}

std::string label(PaperFormat value) {
    switch (value) {
        case PaperFormat::a4:
            return "A4 (210 \u00D7 297 mm)";
        case PaperFormat::a3:
            return "A3 (297 \u00D7 420 mm)";
        case PaperFormat::a5:
            return "A5 (148 \u00D7 210 mm)";
        case PaperFormat::a6:
            return "A6 (105 \u00D7 148 mm)";
        case PaperFormat::original:
            return L("Pixels d'origine", "Original pixels");
    }
    return {};
}

std::string shortLabel(PaperFormat value) {
    return value == PaperFormat::original ? std::string("Pixels") : std::string(rawValue(value));
}

std::optional<std::pair<double, double>> portraitSizeMM(PaperFormat value) noexcept {
    switch (value) {
        case PaperFormat::a4:
            return std::pair{210.0, 297.0};
        case PaperFormat::a3:
            return std::pair{297.0, 420.0};
        case PaperFormat::a5:
            return std::pair{148.0, 210.0};
        case PaperFormat::a6:
            return std::pair{105.0, 148.0};
        case PaperFormat::original:
            return std::nullopt;
    }
    return std::nullopt;
}

std::string label(PaperOrientation value) {
    switch (value) {
        case PaperOrientation::automatic:
            return L("Auto (selon image)", "Auto (match image)");
        case PaperOrientation::portrait:
            return "Portrait";
        case PaperOrientation::landscape:
            return L("Paysage", "Landscape");
    }
    return {};
}

std::string label(VectorExportFormat value) {
    switch (value) {
        case VectorExportFormat::svgAxiDraw:
            return L("SVG AxiDraw / Inkscape (mm + calques stylos)", "AxiDraw / Inkscape SVG (mm + pen layers)");
        case VectorExportFormat::svgPreview:
            return L("SVG Aperçu coloré (pixels)", "Colored Preview SVG (pixels)");
        case VectorExportFormat::json:
            return L("JSON complet (métriques + chemins + courbes)", "Full JSON (metrics + paths + curves)");
        case VectorExportFormat::txt:
            return L("Fiche technique de tracé (.txt)", "Plotter technical sheet (.txt)");
        case VectorExportFormat::csv:
            return L("Tableau des chemins par stylo (.csv)", "Paths table by pen (.csv)");
    }
    return {};
}

std::string detail(VectorExportFormat value) {
    switch (value) {
        case VectorExportFormat::svgAxiDraw:
            return L(
                "Dimensions physiques en millimètres, calques inkscape:groupmode=\"layer\" par stylo, prêt pour "
                "AxiDraw Control et axicli.",
                "Physical dimensions in millimeters, inkscape:groupmode=\"layer\" per pen, ready for AxiDraw "
                "Control and axicli.");
        case VectorExportFormat::svgPreview:
            return L("Couleurs de la palette Kavrin par épaisseur de stylo dans le repère de l'image source.",
                     "Kavrin family palette colors per pen thickness in source image coordinates.");
        case VectorExportFormat::json:
            return L(
                "Toutes les statistiques, calques, points et segments de Bézier cubiques pour intégration "
                "pipeline.",
                "All statistics, layers, points, and cubic Bézier segments for pipeline integration.");
        case VectorExportFormat::txt:
            return L(
                "Résumé lisible : dimensions papier, distances de dessin/voyage, gain 2-opt, levées de stylo et "
                "durée estimée.",
                "Readable summary: paper size, draw/travel distances, 2-opt gain, pen lifts, and estimated "
                "duration.");
        case VectorExportFormat::csv:
            return L(
                "Une ligne par chemin : identifiant, stylo, épaisseur, nombre de points, longueur en mm, départ "
                "et arrivée.",
                "One row per path: ID, pen, width, point count, length in mm, start and end coordinates.");
    }
    return {};
}

std::string_view fileExtension(VectorExportFormat value) noexcept {
    switch (value) {
        case VectorExportFormat::svgAxiDraw:
        case VectorExportFormat::svgPreview:
            return "svg";
        case VectorExportFormat::json:
            return "json";
        case VectorExportFormat::txt:
            return "txt";
        case VectorExportFormat::csv:
            return "csv";
    }
    return "svg";
}

namespace {
const char* boolText(bool value) noexcept { return value ? "true" : "false"; }
}  // namespace

std::string VectorizerParams::extractionCacheKey() const {
    std::string key;
    auto add = [&key](std::string_view field) {
        if (!key.empty()) key += '|';
        key += field;
    };
    add(rawValue(algorithm));
    add(boolText(adaptiveThreshold));
    add(boolText(invert));
    add(integerText(threshold));
    add(fixed(blurRadius, 2));
    add(integerText(morphCleanup));
    add(integerText(minPathLengthPx));
    add(boolText(stegerSubpixel));
    add(boolText(crossJunctions));
    add(fixed(maxStitchGapPx, 1));
    add(fixed(continuity, 0));
    add(boolText(hatchEnabled));
    add(fixed(hatchSpacingPx, 1));
    add(fixed(hatchAngleDeg, 0));
    add(boolText(crossHatch));
    add(integerText(penCount));
    return key;
}

}  // namespace ostrel
