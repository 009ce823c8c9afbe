// The job compiler: a vectorization result (strokes in image pixels, grouped
// into pen layers) becomes a flat list of plotter steps in page millimetres —
// pen-layer boundaries, pen raises and lowers, straight moves — and the
// pen-up framing tour of the drawing's bounding box.
//
// One pass over the selected paths; a Bézier segment is sampled at about one
// point per 0.45 mm of its control polygon (2 to 32 samples), so the step
// count grows linearly with the number of segments. Pure functions over
// values, no failure.
#pragma once

#include "core/model/VectorModel.h"
#include "core/plotter/AxiDrawConfig.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace ostrel {

/// One plotter step.
struct AxiDrawJobStep {
    /// A new pen layer starts; the pen is up at home. The run stops here for a pen change.
    struct BeginLayer {
        std::int64_t penIndex = 0;
        std::string penName;
        double widthMM = 0;
        friend bool operator==(const BeginLayer&, const BeginLayer&) = default;
    };
    /// Lower (`down`) or raise the pen; the board waits `delayMs` after moving it.
    struct SetPen {
        bool down = false;
        int delayMs = 0;
        friend bool operator==(const SetPen&, const SetPen&) = default;
    };
    /// Straight move to the absolute point `targetMM`; `pathID` is the stroke it serves, none for
    /// returns home and the framing tour.
    struct MoveXY {
        VectorPoint targetMM;
        bool penDown = false;
        std::optional<std::int64_t> pathID;
        friend bool operator==(const MoveXY&, const MoveXY&) = default;
    };

    std::variant<BeginLayer, SetPen, MoveXY> kind;

    [[nodiscard]] static AxiDrawJobStep beginLayer(std::int64_t penIndex, std::string penName, double widthMM);
    [[nodiscard]] static AxiDrawJobStep setPen(bool down, int delayMs);
    [[nodiscard]] static AxiDrawJobStep moveXY(VectorPoint targetMM, bool penDown, std::optional<std::int64_t> pathID);

    /// The payload when the step is of kind T, else null.
    template <class T>
    [[nodiscard]] const T* as() const noexcept {
        return std::get_if<T>(&kind);
    }

    friend bool operator==(const AxiDrawJobStep&, const AxiDrawJobStep&) = default;
};

/// Axis-aligned box in millimetres.
struct AxiDrawBoundingBox {
    VectorPoint min;
    VectorPoint max;
    friend bool operator==(const AxiDrawBoundingBox&, const AxiDrawBoundingBox&) = default;
};

/// A compiled job: the steps and what they add up to.
struct AxiDrawCompiledJob {
    std::vector<AxiDrawJobStep> steps;                // in execution order
    double totalDrawMM = 0;                           // Σ lengths of the pen-down moves
    double totalTravelMM = 0;                         // Σ lengths of the pen-up moves
    std::optional<AxiDrawBoundingBox> boundingBoxMM;  // every discretised point of every compiled path
    /// Mapped points of the compiled paths (Bézier control points included) that lay outside the
    /// travel area and were moved onto its border.
    std::int64_t clampedPointCount = 0;

    /// Compiles every visible layer holding paths (only the layer whose index is `onlyPenIndex`
    /// when given). Coordinates come from the result's page transform; raw-pixel drawings are
    /// taken at 96 dpi. Never fails: an empty selection gives no steps.
    [[nodiscard]] static AxiDrawCompiledJob compile(const VectorizationResult& result, const AxiDrawConfig& config,
                                                    std::optional<std::int64_t> onlyPenIndex = std::nullopt);

    /// Pen raise, then pen-up moves around the bounding box of all visible layers, then home.
    [[nodiscard]] static AxiDrawCompiledJob compileBoundingBoxTour(const VectorizationResult& result,
                                                                   const AxiDrawConfig& config);

    friend bool operator==(const AxiDrawCompiledJob&, const AxiDrawCompiledJob&) = default;
};

/// Debug text of a step ("moveXY((10, 10), up, 3)"); for logs and test failure messages.
[[nodiscard]] std::string describe(const AxiDrawJobStep& step);

}  // namespace ostrel
