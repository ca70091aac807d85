// The table of problem kinds.
#include "problem_kinds.hpp"

#include <utility>

namespace md3 {

namespace {

using enum ProblemKind;
using F = Figure;

constexpr FigureKey kValue{F::value, "value"};
constexpr FigureKey kLimit{F::limit, "limit"};
constexpr FigureKey kFrames{F::frames, "frames"};
constexpr FigureKey kFirstFrame{F::firstFrame, "first_frame"};
constexpr FigureKey kMedianDegrees{F::medianDegrees, "median_degrees"};
constexpr FigureKey kAxis{F::axis, "axis"};
constexpr FigureKey kFittedDegrees{F::fittedDegrees, "fitted_degrees"};

constexpr KindRow kRows[] = {
    {.kind = none},
    {.kind = too_many_vertices,
     .name = "too_many_vertices",
     .severity = Severity::error,
     .figures = {kValue, kLimit},
     .restsOn = "the engine refuses a surface with this many vertices (or drops to the console)"},
    {.kind = too_many_triangles,
     .name = "too_many_triangles",
     .severity = Severity::error,
     .figures = {kValue, kLimit},
     .restsOn = "the engine refuses a surface with this many triangles (or drops to the console)"},
    {.kind = no_frames,
     .name = "no_frames",
     .severity = Severity::error,
     .restsOn = "ioq3 refuses a model without frames"},
    {.kind = non_finite,
     .name = "non_finite",
     .severity = Severity::error,
     .figures = {kFrames, kFirstFrame},
     .restsOn = "the engine culls, fogs and picks the detail level with the frame's bounds"},
    {.kind = garbage_frame,
     .name = "garbage_frame",
     .severity = Severity::error,
     .figures = {kFrames, kFirstFrame},
     .restsOn = "the engine culls, fogs and picks the detail level with the frame's bounds"},
    {.kind = culling_sphere,
     .name = "culling_sphere",
     .severity = Severity::error,
     .figures = {kFrames, kFirstFrame, {F::worst, "worst"}},
     .restsOn = "the engine does not draw a model whose frame sphere is out of view"},
    {.kind = culling_box,
     .name = "culling_box",
     .severity = Severity::error,
     .figures = {kFrames, kFirstFrame, {F::worst, "worst"}},
     .restsOn = "the engine does not draw a model whose frame box is out of view"},
    {.kind = normals_inverted,
     .name = "normals_inverted",
     .severity = Severity::error,
     .figures = {{{F::share, "share"}, {F::medianDegrees, "median_degrees"}}},
     .restsOn = "the engine lights each vertex by its stored normal"},
    {.kind = normals_broken,
     .name = "normals_broken",
     .severity = Severity::error,
     .figures = {{{F::share, "share"}, {F::medianDegrees, "median_degrees"}}},
     .restsOn = "the engine lights each vertex by its stored normal"},
    {.kind = normals_turned,
     .name = "normals_turned",
     .severity = Severity::error,
     .figures = {kAxis, {F::value, "degrees"}, kMedianDegrees, kFittedDegrees},
     .restsOn = "the engine lights each vertex by its stored normal"},
    {.kind = normals_mirrored,
     .name = "normals_mirrored",
     .severity = Severity::error,
     .figures = {kAxis, kMedianDegrees, kFittedDegrees},
     .restsOn = "the engine lights each vertex by its stored normal"},
    {.kind = normals_swapped,
     .name = "normals_swapped",
     .severity = Severity::error,
     .figures = {kMedianDegrees, kFittedDegrees},
     .restsOn = "the engine lights each vertex by its stored normal"},
    {.kind = not_analysed,
     .name = "not_analysed",
     .restsOn = "none: the message says what was not analysed and why"},
    {.kind = name_too_long,
     .name = "name_too_long",
     .figures = {kValue, kLimit},
     .restsOn =
         "a name must end inside its field; what the engine makes of one that fills it is not "
         "known"},
    {.kind = shader_empty,
     .name = "shader_empty",
     .restsOn = "without a skin the engine draws a surface with the shader it names"},
    {.kind = shader_backslash,
     .name = "shader_backslash",
     .restsOn = "the script lookup compares names as written, '\\' apart from '/'"},
    {.kind = degenerate_triangles,
     .name = "degenerate_triangles",
     .figures = {{{F::value, "count"}}},
     .restsOn = "a triangle without area draws nothing"},
    {.kind = shader_merged,
     .name = "shader_merged",
     .figures = {{{F::surfaces, "surfaces"}}},
     .restsOn = "the engine looks a shader name up without its extension"},
    {.kind = repair_seams,
     .name = "repair_seams",
     .figures = {{{F::count, "count"}, {F::worstDegrees, "worst_degrees"}}},
     .restsOn = "smooth shading shows where two vertices at one place get different normals"},
    {.kind = shader_missing,
     .name = "shader_missing",
     .severity = Severity::error,
     .restsOn = "a shader no script defines and no image gives is drawn with the default texture"},
    {.kind = shader_slash,
     .name = "shader_slash",
     .restsOn = "a leading '/' finds the image but misses the script's entry"},
    {.kind = shader_script,
     .name = "shader_script",
     .figures = {{{F::value, "line"}}},
     .restsOn = "the engine stops reading a script at its first fault"},
    {.kind = skin_shader,
     .name = "skin_shader",
     .severity = Severity::error,
     .restsOn = "a skin's shader is found as a surface's own shader is"},
    {.kind = skin_surface,
     .name = "skin_surface",
     .restsOn = "a skin line naming no surface of the model does nothing"},
    {.kind = skin_unnamed,
     .name = "skin_unnamed",
     .severity = Severity::error,
     .restsOn = "with a skin, a surface no line names is drawn with the default texture"},
    {.kind = lod_frames,
     .name = "lod_frames",
     .severity = Severity::error,
     .figures = {kValue, kLimit},
     .restsOn = "the engine draws a lower detail with the base model's frame numbers"},
    {.kind = shadowed,
     .name = "shadowed",
     .figures = {{{F::count, "count"}, {F::used, "used"}, {F::usedMember, "used_member"}}},
     .restsOn = "the engine loads the first copy of a name its search order finds"},
    {.kind = path_too_long,
     .name = "path_too_long",
     .severity = Severity::error,
     .figures = {kValue, kLimit},
     .restsOn = "ioq3 refuses a model path of 64 bytes or more"},
    {.kind = player_part_missing,
     .name = "player_part_missing",
     .severity = Severity::error,
     .restsOn = "a player without one of its parts falls back to the default character"},
    {.kind = player_skin_missing,
     .name = "player_skin_missing",
     .severity = Severity::error,
     .restsOn = "a skin without one of its three part skins falls back to the default character"},
    {.kind = player_team_skin,
     .name = "player_team_skin",
     .restsOn = "in team games a part without its team skin falls back to the default character"},
    {.kind = player_icon_missing,
     .name = "player_icon_missing",
     .severity = Severity::error,
     .restsOn = "a skin without icon_S.skin or icon_S.tga falls back to the default character"},
    {.kind = animation_missing,
     .name = "animation_missing",
     .severity = Severity::error,
     .restsOn = "a player without animation.cfg falls back to the default character"},
    {.kind = animation_too_long,
     .name = "animation_too_long",
     .severity = Severity::error,
     .figures = {kValue, kLimit},
     .restsOn = "the game refuses an animation.cfg of 19999 bytes or more"},
    {.kind = animation_too_few,
     .name = "animation_too_few",
     .severity = Severity::error,
     .figures = {kValue, kLimit},
     .restsOn = "the game refuses an animation.cfg with fewer than 25 animations"},
    {.kind = animation_word,
     .name = "animation_word",
     .figures = {{{F::count, "count"}}},
     .restsOn = "the game skips a word it does not know before the numbers, with a console line"},
    {.kind = animation_range,
     .name = "animation_range",
     .severity = Severity::error,
     .figures = {kFirstFrame, {F::value, "last_frame"}, {F::frames, "part_frames"}},
     .restsOn = "a frame past the end of a part is drawn as its frame 0"},
    {.kind = tag_missing,
     .name = "tag_missing",
     .severity = Severity::error,
     .restsOn = "a part hung on a missing tag is drawn at its parent's origin"},
    {.kind = weapon_hand_missing,
     .name = "weapon_hand_missing",
     .restsOn = "a weapon without a hand model is held with the shotgun's hands"},
};

constexpr bool rows_in_enum_order() {
    for (std::size_t i = 0; i < std::size(kRows); ++i)
        if (static_cast<std::size_t>(kRows[i].kind) != i) return false;
    return true;
}
static_assert(rows_in_enum_order(), "one row per kind, in the enum's order");

}  // namespace

const char* severity_name(Severity severity) {
    return severity == Severity::error ? "error" : "warning";
}

const KindRow& kind_row(ProblemKind kind) {
    const auto i = static_cast<std::size_t>(kind);
    return kRows[i < std::size(kRows) ? i : 0];
}

const char* kind_name(ProblemKind kind) { return kind_row(kind).name; }

Problem make_problem(ProblemKind kind, std::int32_t surface, std::string surfaceName,
                     std::string message) {
    Problem p;
    p.severity = kind_row(kind).severity;
    p.kind = kind;
    p.surface = surface;
    p.surfaceName = std::move(surfaceName);
    p.message = std::move(message);
    return p;
}

std::size_t kind_count() { return std::size(kRows); }

bool normals_wrong(ProblemKind kind) {
    return kind == ProblemKind::normals_broken || kind == ProblemKind::normals_turned ||
           kind == ProblemKind::normals_mirrored || kind == ProblemKind::normals_swapped ||
           kind == ProblemKind::normals_inverted;
}

}  // namespace md3
