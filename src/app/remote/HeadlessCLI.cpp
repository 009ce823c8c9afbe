#include "app/remote/HeadlessCLI.h"

#include "core/export/SVGExporter.h"
#include "core/model/Localization.h"
#include "core/model/ParameterTable.h"
#include "core/pipeline/RasterImage.h"
#include "core/pipeline/SyntheticDrawing.h"
#include "core/pipeline/VectorizationEngine.h"
#include "core/support/app/AppVersion.h"
#include "core/support/parallel/ParallelFor.h"
#include "core/support/system/Error.h"
#include "core/support/system/FileWriting.h"
#include "core/support/text/NumberFormat.h"

#include <QThreadPool>

#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <utility>

namespace ostrel::HeadlessCLI {

namespace {

constexpr const char* kEnglishUsage = R"USAGE( — Line-art vectorizer for AxiDraw plotters (cie Corvane)

Usage:
  Ostrel [options] [image_file]

Common options (Kavrin family):
  --version, -v                     Print "Ostrel x.y.z (build)" and exit
  --help, -h                        Print this help message and exit
  --self-test [--strict]            Run end-to-end self-test on synthetic drawings
  --snapshot <png> [--view <view>]  Render window or sheet offscreen to PNG (split, overlay, vector, about, help, shortcuts, settings, osc)
  --lang fr|en                      Force language for this run

Vectorization options:
  --vectorize <image|preset>        Vectorize an image file (or preset: portrait, stage, hatching, rosette) headlessly
  -o, --output <file>               Output file path (default: stdout)
  --format svg|svg-preview|json|txt|csv   Output format (default: svg)
  --algorithm <name>                neural_centerline (default), vision_contours, skeletonize, canny_edges
  --paper A4|A3|A5|A6|original      AxiDraw physical paper format (default: A4)
  --pens 1..4                       Number of pens classified by k-means stroke width (default: 2)
  --smoothing 0.0..1.0              Schneider cubic Bézier smoothing (default: 0.65)
  --tolerance 0.1..5.0              RDP simplification tolerance in pixels (default: 1.0)
  --threshold 0..255                Binary threshold or adaptive sensitivity (default: 128)
  --continuity 0..100               Multi-pass stroke stitching continuity (default: 55)
  --hatch                           Enable dark region hatching
  --black                           Export SVG strokes in black (#000000))USAGE";

constexpr const char* kFrenchUsage = R"USAGE( — Vectoriseur de dessins au trait pour traceurs AxiDraw (cie Corvane)

Usage :
  Ostrel [options] [fichier_image]

Options communes (famille Kavrin) :
  --version, -v                     Imprime « Ostrel x.y.z (build) » et quitte
  --help, -h                        Affiche cette aide et quitte
  --self-test [--strict]            Exécute l'auto-test complet sur les dessins synthétiques
  --snapshot <png> [--view <vue>]   Rend la fenêtre hors écran en PNG (split, overlay, vector, about, help, shortcuts, settings, osc)
  --lang fr|en                      Force la langue pour cette exécution

Options de vectorisation :
  --vectorize <image|preset>        Vectorise une image (ou un preset : portrait, stage, hatching, rosette) sans interface
  -o, --output <fichier>            Chemin du fichier de sortie (par défaut : stdout)
  --format svg|svg-preview|json|txt|csv   Format de sortie (défaut : svg)
  --algorithm <nom>                 neural_centerline (défaut), vision_contours, skeletonize, canny_edges
  --paper A4|A3|A5|A6|original      Format de feuille physique AxiDraw (défaut : A4)
  --pens 1..4                       Nombre de stylos classifiés par épaisseur k-means (défaut : 2)
  --smoothing 0.0..1.0              Lissage cubique de Bézier de Schneider (défaut : 0.65)
  --tolerance 0.1..5.0              Tolérance de simplification RDP en pixels (défaut : 1.0)
  --threshold 0..255                Seuil binaire ou sensibilité adaptative (défaut : 128)
  --continuity 0..100               Continuité de fusion des tracés (défaut : 55)
  --hatch                           Active le hachurage des aplats sombres
  --black                           Exporte les traits SVG en noir (#000000))USAGE";

bool isRefusedLeadingCharacter(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '\0';
}

std::int64_t clampInteger(std::int64_t value, std::int64_t lo, std::int64_t hi) noexcept {
    if (value < lo) return lo;
    if (value >= hi) return hi;
    return value;
}

/// The value of an option with a value, or none when the option is the last word.
const std::string* nextWord(const std::vector<std::string>& words, std::size_t index) {
    return index + 1 < words.size() ? &words[index + 1] : nullptr;
}

void writeAll(std::FILE* stream, const std::string& text) {
    if (!text.empty()) std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

}  // namespace

std::string helpText() {
    const AppVersion& version = AppVersion::current();
    std::string banner = "Ostrel " + version.version;
    if (version.build) banner += " (" + *version.build + ")";
    return L(banner + kFrenchUsage, banner + kEnglishUsage);
}

std::optional<std::int64_t> parseInteger(const std::string& word) {
    std::string_view digits = word;
    if (!digits.empty() && digits.front() == '+') {
        digits.remove_prefix(1);
        if (!digits.empty() && digits.front() == '-') return std::nullopt;
    }
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

std::optional<double> parseNumber(const std::string& word) {
    if (word.empty() || isRefusedLeadingCharacter(word.front())) return std::nullopt;
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    char* end = nullptr;
    const double value = strtod_l(word.c_str(), &end, cLocale);
    if (end == word.c_str() || end != word.c_str() + word.size()) return std::nullopt;
    return value;
}

double clampNumber(double value, double lo, double hi) noexcept {
    if (std::isnan(value)) return hi;
    if (value < lo) return lo;
    if (value >= hi) return hi;
    return value;
}

VectorizeRequest parseVectorizeArguments(const std::vector<std::string>& words) {
    VectorizeRequest request;
    VectorizerParams& p = request.params;
    std::size_t i = 0;
    while (i < words.size()) {
        const std::string& word = words[i];
        const std::string* value = nextWord(words, i);
        // Options whose value is always taken.
        if (word == "--vectorize" || word == "-o" || word == "--output" || word == "--format" || word == "--lang") {
            if (value == nullptr) {
                ++i;
                continue;
            }
            if (word == "--vectorize") {
                request.input = *value;
            } else if (word == "-o" || word == "--output") {
                request.outputPath = *value;
            } else if (word == "--format") {
                request.format =
                    enumFromRaw<VectorExportFormat>(asciiLower(*value)).value_or(VectorExportFormat::svgAxiDraw);
            }
            // "--lang" and its value belong to the interface language; they are only consumed here.
            i += 2;
            continue;
        }
        // Options whose value may be refused: then only the option word is consumed.
        bool accepted = false;
        if (value != nullptr) {
            if (word == "--algorithm") {
                if (auto algorithm = enumFromRaw<VectorAlgorithm>(asciiLower(*value))) {
                    p.algorithm = *algorithm;
                    accepted = true;
                }
            } else if (word == "--paper") {
                const std::string wanted = asciiLower(*value);
                for (PaperFormat format : allCases<PaperFormat>()) {
                    if (asciiLower(rawValue(format)) == wanted) {
                        p.paperFormat = format;
                        accepted = true;
                        break;
                    }
                }
            } else if (word == "--pens" || word == "--threshold") {
                if (auto n = parseInteger(*value)) {
                    const ParameterSpec& spec = word == "--pens" ? parameter::penCount : parameter::threshold;
                    p.*spec.integerField = clampInteger(*n, spec.lowerInteger(), spec.upperInteger());
                    accepted = true;
                }
            } else if (word == "--smoothing" || word == "--tolerance" || word == "--continuity") {
                if (auto x = parseNumber(*value)) {
                    const ParameterSpec& spec = word == "--smoothing"   ? parameter::curveSmoothing
                                                : word == "--tolerance" ? parameter::rdpTolerance
                                                                        : parameter::continuity;
                    p.*spec.realField = clampNumber(*x, spec.accepted->lower, spec.accepted->upper);
                    accepted = true;
                }
            }
        }
        if (accepted) {
            i += 2;
            continue;
        }
        if (word == "--hatch") {
            p.hatchEnabled = true;
        } else if (word == "--black") {
            p.exportBlackStrokes = true;
        } else if (!word.empty() && word.front() == '-') {
            // another mode's option, or a refused value's option word: skipped
        } else if (request.input.empty()) {
            request.input = word;
        }
        ++i;
    }
    return request;
}

int runHelp(std::FILE* out) {
    writeAll(out, helpText() + "\n");
    return 0;
}

int runVectorize(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err) {
    const VectorizeRequest request = parseVectorizeArguments(arguments);

    std::optional<RasterImage> image;
    const auto preset = syntheticPresetFromRaw(asciiLower(request.input));
    if (preset || request.input.empty()) {
        image = SyntheticDrawing::generate(preset.value_or(SyntheticPreset::portrait), kPresetDocumentWidth,
                                           kPresetDocumentHeight);
    } else {
        image = RasterImage::fromFile(expandUserPath(request.input), kDocumentMaxDimension);
        if (!image) {
            writeAll(err, "Ostrel error: could not read image '" + request.input + "'\n");
            return 1;
        }
    }

    // The image is handed over: the pipeline frees it once it no longer needs it.
    const VectorizationOutput output = VectorizationEngine::vectorize(std::move(*image), request.params);
    const std::string text = SVGExporter::render(request.format, output.result, request.params);

    if (!request.outputPath) {
        writeAll(out, text);
        return 0;
    }
    try {
        writeFileAtomically(expandUserPath(*request.outputPath), text);
    } catch (const Error& error) {
        writeAll(err, "Ostrel error: " + error.message() + "\n");
        return 2;
    }
    return 0;
}

// Ends the process with `status` once only this thread runs: the loops' workers and the threads Qt's
// image conversions started are ended first, so the exit handlers (a sanitizer build's leak check
// among them, which walks every live thread's storage) meet no other thread.
namespace {
[[noreturn]] void exitAlone(int status) {
    endParallelWorkers();
    QThreadPool::globalInstance()->waitForDone();
    std::exit(status);
}
}  // namespace

void printHelpAndExit() { exitAlone(runHelp(stdout)); }

void runVectorizeAndExit(const std::vector<std::string>& arguments) {
    exitAlone(runVectorize(arguments, stdout, stderr));
}

}  // namespace ostrel::HeadlessCLI
