// What is wrong with a model, as one record, and every kind of problem
// meshcheck reports in one table: its stable name,
// the severity it is found at, the figures it carries with their JSON keys,
// and the engine's behaviour it rests on. A new kind is one row here and the
// function that finds it; the report prints any kind from its row.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace md3 {

enum class Severity { error, warning };

// "error", "warning".
const char* severity_name(Severity severity);

enum class ProblemKind {
    none,  // no problem: what a check that found nothing gives back
    too_many_vertices,
    too_many_triangles,
    no_frames,
    non_finite,
    garbage_frame,
    culling_sphere,
    culling_box,
    normals_inverted,
    normals_broken,
    normals_turned,  // normals_broken's cause, when one simple map explains it
    normals_mirrored,
    normals_swapped,
    not_analysed,
    name_too_long,
    shader_empty,
    shader_backslash,
    degenerate_triangles,
    shader_merged,
    repair_seams,  // advice on a repair, not a problem of the model
    shader_missing,
    shader_slash,
    shader_script,
    skin_shader,
    skin_surface,
    skin_unnamed,
    lod_frames,
    shadowed,
    path_too_long,
    player_part_missing,
    player_skin_missing,
    player_team_skin,
    player_icon_missing,
    animation_missing,
    animation_too_long,
    animation_too_few,
    animation_word,
    animation_range,
    tag_missing,
    weapon_hand_missing,
};

// A figure a problem carries, by the field of Problem that holds it.
enum class Figure {
    value,
    limit,
    frames,
    firstFrame,
    worst,
    share,
    medianDegrees,
    count,
    worstDegrees,
    surfaces,
    used,
    usedMember,  // left out when empty
    axis,
    fittedDegrees,
};

struct FigureKey {
    Figure figure = Figure::value;
    const char* key = nullptr;  // null: no figure
};

struct KindRow {
    ProblemKind kind = ProblemKind::none;
    const char* name = "";  // stable key, in the JSON report
    // As it is found; the culling kinds are graded again by the model's
    // path, and a lower detail with more frames than its base is a warning.
    Severity severity = Severity::warning;
    std::array<FigureKey, 4> figures{};  // in the JSON report's order
    const char* restsOn = "";            // what the engine does that makes it a problem
};

// The row of `kind`.
const KindRow& kind_row(ProblemKind kind);

// The stable name of `kind`; "" for none.
const char* kind_name(ProblemKind kind);

// Every row, in the order of the enum.
std::size_t kind_count();

// Whether `kind` says a surface's stored normals are broken (with or without
// a cause) or inverted: the surfaces meshmend --normals=broken rebuilds.
bool normals_wrong(ProblemKind kind);

// One problem. Which figures are set, and under which JSON keys, is the
// kind's row of the table; shadowed's used and
// usedMember are the copy the engine uses, skin_shader's count the lines it
// stands for (when more than one), normals_turned's value its degrees.
struct Problem {
    Severity severity = Severity::warning;
    ProblemKind kind = ProblemKind::none;
    std::int32_t surface = -1;  // -1: about the model
    std::string surfaceName;
    std::string message;  // one line of text, without the surface
    std::int64_t value = 0;
    std::int64_t limit = 0;
    std::int64_t frames = 0;
    std::int64_t firstFrame = -1;
    double worst = 0;
    double share = 0;
    double medianDegrees = 0;
    std::vector<std::int32_t> surfaces;
    std::int64_t count = 0;
    double worstDegrees = 0;
    std::string used;        // a file on disk
    std::string usedMember;  // inside it, when it is an archive
    // The map that explains stored normals: its axis ("x", "y", "z"), and
    // the median angle left once it is undone.
    std::string axis;
    double fittedDegrees = 0;
};

// A problem of `kind`, at the severity of its row, about `surface` (-1: the
// model), with its message; the figures are the finder's to set.
Problem make_problem(ProblemKind kind, std::int32_t surface = -1, std::string surfaceName = {},
                     std::string message = {});

}  // namespace md3
