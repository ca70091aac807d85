// What is wrong with a model in the game, graded by what the engine does
// with it as it is: refuses it or draws it wrong (errors), or is likely to
// look wrong or to surprise (warnings).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engines.hpp"
#include "normal_grade.hpp"
#include "problem_kinds.hpp"

namespace md3 {

struct CheckWorkspace;
struct ModelReport;

// normals_broken and normals_inverted: the surface's stored normals graded
// against meshmend's rebuilt ones, as grade_normals does (normal_grade.hpp).

// Stored normals of two vertices at one place agree when they are this
// close: what the two angle bytes can make of one direction.
inline constexpr double kAgreeingDegrees = 3.0;
// Rebuilt normals of two such vertices this far apart make a seam that
// shows in smooth shading.
inline constexpr double kSeamDegrees = 10.0;

// Culling: while a model's sphere (or box) is out of view the model is not
// drawn, so a vertex outside them can show only as a sliver at most as deep
// as the miss, at the screen's edge, while the rest is culled. An error is a
// miss that sliver can be seen at: over 2 pixels on a 1920-pixel-wide view
// at a 90-degree field (2 * d / 1920 units a pixel at distance d) from the
// nearest the model is usually seen. Pickups and map objects are seen from
// about 48 units (a player standing on or at them): 0.05 units a pixel, so
// 0.1 units. First-person weapon models (models/weapons*) are drawn about
// 10 units from the eye: 0.01 units a pixel, so 0.02 units. On the real
// models measured (doc/calibration.md) misses fall below 0.1 units (most
// under 0.01: a pole tip, gibs, orbs) or at 1 unit and more, nothing
// between, so the world threshold splits them where no model lies near it.
// Smaller misses are warnings.
inline constexpr double kCullingShownUnits = 0.1;
inline constexpr double kCullingShownWeaponUnits = 0.02;
// A frame's bounds, centre and radius beyond this are garbage: positions
// are stored within +-512 units, so nothing measured from them comes near.
inline constexpr double kPlausibleFrameUnits = 1e5;

// The analyses of one surface's normals against its geometry and of the seams
// a repair opens are skipped past this many triangle-frames or vertex-frames,
// as on a surface the engine refuses anyway, with a not_analysed problem.
inline constexpr std::int64_t kAnalysisBudget = std::int64_t{1} << 26;

// For each frame of the model, the squared distance in 1/64 units from its
// centre (localOrigin) to its farthest vertex over every surface: what the
// sphere check needs, measured beside the repair pass on a large model.
// Frames whose stored box lies inside their sphere get -1 instead: the
// sphere check measures them itself in the rare case that it needs to.
void measure_farthest(const std::uint8_t* model, std::vector<double>& farthest);

// What running meshmend would do to the model's look, as advice beside its
// changes rather than a problem of the model in the game: the seams the
// rebuilt normals would open (repair_seams), on the surfaces find_problems
// analyses. Empty unless workspace.repaired.
std::vector<Problem> find_advice(std::span<const std::uint8_t> file, const EngineProfile& engine,
                                 CheckWorkspace& workspace);

// The smallest culling miss that is an error for the model at `path` (its
// path in the game, or on disk, or an archive member's name): smaller for
// first-person weapon models, seen closest.
double culling_shown_units(std::string_view path);

// Grades the culling problems among `problems` for the model at `path`, as
// culling_shown_units says, errors first again.
void grade_culling(std::vector<Problem>& problems, std::string_view path);

// Every problem of a model that validate_layout accepted, errors first.
// `report` holds what check_model found (the surfaces' normal changes among
// them), and workspace.copy the model as meshmend would leave it when
// workspace.repaired.
std::vector<Problem> find_problems(std::span<const std::uint8_t> file, const EngineProfile& engine,
                                   const ModelReport& report, CheckWorkspace& workspace);

}  // namespace md3
