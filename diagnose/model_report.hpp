// What meshcheck finds in one model: the verdict about meshmend, the
// engine's view of it (its health and problems), what a repair would change,
// and the storage reused from one model's check to the next.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "md3_layout.hpp"
#include "normal_choice.hpp"
#include "normal_grade.hpp"
#include "problem_kinds.hpp"
#include "validate_layout.hpp"
#include "workspace.hpp"

namespace md3 {

enum class Verdict {
    clean,       // meshmend would write back exactly the bytes it read
    repairable,  // meshmend would succeed and change at least one byte
    refused,     // valid, but meshmend stops at a surface of too many vertices
    invalid,     // meshmend refuses it as corrupt
    unreadable,  // it cannot be opened or read, or checking it is past the work budget
};
inline constexpr std::size_t kVerdicts = static_cast<std::size_t>(Verdict::unreadable) + 1;

// "clean", "repairable", "refused", "invalid", "unreadable".
const char* verdict_name(Verdict verdict);

// What the engine makes of a model as it is, beside the verdict about meshmend.
enum class Health {
    ok,          // no problem
    warnings,    // problems that may look wrong or surprise, none worse
    errors,      // the engine refuses it or draws it wrong
    invalid,     // as the verdict
    unreadable,  // as the verdict
};
inline constexpr std::size_t kHealths = static_cast<std::size_t>(Health::unreadable) + 1;

// "ok", "warnings", "errors", "invalid", "unreadable".
const char* health_name(Health health);

// A name meshmend would rewrite. Texts are the field's bytes up to its NUL.
struct NameChange {
    std::int32_t surface = -1;  // -1: the model name; else the surface whose first shader it is
    std::string surfaceName;
    std::string before, after;
};

// The vertex normals of one surface that would get another packed value.
struct NormalChange {
    std::int32_t surface = 0;
    std::string surfaceName;
    std::int64_t changed = 0;  // vertex-frames whose packed normal changes
    std::int64_t total = 0;    // vertex-frames of the surface
    // Angles between the stored and the rebuilt normal, both decoded from
    // their two angle bytes, over the vertex-frames that change.
    double worstDegrees = 0;
    double medianDegrees = 0;
    std::int64_t unusedVertices = 0;  // used by no triangle: they keep their normal
    // Over all vertex-frames of the surface, those that keep their normal
    // counting as 0 degrees: what grade_normals counts, and the median angle
    // (left 0 unless the far-off share reaches kBrokenShare or the inward
    // one passes kInvertedShare).
    NormalTally tally;
    double overallMedianDegrees = 0;
};

// The frames whose bounds, centre or radius would change, and the largest
// absolute difference of each kind (NaN where a stored value is NaN).
struct FrameChange {
    std::int64_t changed = 0;
    std::int64_t total = 0;
    double bounds = 0;
    double centre = 0;
    double radius = 0;
};

// What putting the model together with others needs of it (a player's
// parts, a weapon), recorded while it is checked so that it is never read
// twice.
struct PartFacts {
    std::int32_t frames = -1;       // -1: not known (invalid or unreadable)
    bool tagsKnown = false;         // the first frame's tags lie inside the file
    std::vector<std::string> tags;  // the first frame's tag names, up to their NUL
};

struct ModelReport {
    Verdict verdict = Verdict::clean;
    std::int64_t size = -1;  // bytes read, -1 when unknown
    std::string error;       // unreadable: the system's reason
    LayoutVerdict layout;    // invalid: the rule broken and where
    // refused: the surface meshmend would stop at.
    std::int32_t refusedSurface = -1;
    std::string refusedName;
    std::int64_t refusedVerts = 0;
    // The meshmend run the verdict and the changes are for.
    NormalChoice normalChoice;
    // repairable: what would change.
    std::vector<NameChange> names;
    std::vector<NormalChange> normals;
    FrameChange frames;
    std::int64_t trailingBytes = 0;  // after ofsEnd, dropped
    // Any verdict but unreadable and invalid: what the engine does with it.
    std::vector<Problem> problems;
    // What running meshmend would do to its look (repair_seams): advice
    // beside the changes, not counted in its health.
    std::vector<Problem> advice;
    // A copy the engine never loads, another copy of its name being found
    // first: its problems are shown but count neither toward a run's tally
    // nor its exit status.
    bool shadowed = false;
    PartFacts facts;
    // Asked for: the PNG of one frame; empty when none could be drawn.
    std::vector<std::uint8_t> picture;
};

// The model's health, from its verdict and its problems.
Health health_of(const ModelReport& report);

// Working arrays for comparing one surface's normals.
struct NormalScratch {
    std::vector<float> cosines;          // of the angles of its normal changes
    std::vector<std::uint32_t> buckets;  // how many cosines in each, for the median
    std::vector<std::uint32_t> low;      // within the median's bucket
    std::vector<std::uint32_t> keys;     // the cosines' order keys, for the median
};

// Storage reused from one model to the next, so that checking a whole tree
// allocates next to nothing per model.
struct CheckWorkspace {
    std::unique_ptr<RepairWorkspace> pass = std::make_unique_for_overwrite<RepairWorkspace>();
    // How meshmend is to treat the normals: the mode the model is checked
    // for. Set by whoever owns the workspace; the default rebuild unless set.
    NormalChoice normals;
    ModelBuffer copy;       // the model as meshmend would leave it
    bool repaired = false;  // whether the pass finished on the copy
    // Under a mode other than rebuild, the normal changes the default rebuild
    // would make, against which the stored normals are graded; empty else.
    std::vector<NormalChange> rebuiltNormals;
    // Normals are compared in two halves on a large model.
    NormalScratch first, second;
    // Flat triangles: the flags of every triangle of the model, then the
    // counts.
    std::vector<char> degenerate;
    std::vector<std::int64_t> flat;  // degenerate triangles per surface of the model
    // Problems: each frame's box of its vertices (in 1/64 units), the frames
    // a check flags, and one surface's vertices in the order of their places.
    std::vector<std::int32_t> boxes;
    std::vector<double> outside;
    std::vector<std::int32_t> order;
    std::vector<float> angles;
    // Each frame's farthest vertex (see measure_farthest) when it was
    // measured beside the pass; empty when it was not.
    std::vector<double> farthest;
};

// A name field's text: its bytes up to the NUL.
std::string name_of(const std::uint8_t* field);

}  // namespace md3
