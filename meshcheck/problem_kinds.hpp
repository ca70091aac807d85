// Every kind of problem meshcheck reports, in one table: its stable name,
// the severity it is found at, the figures it carries with their JSON keys,
// and the engine's behaviour it rests on. A new kind is one row here and the
// function that finds it; the report prints any kind from its row.
#pragma once

#include <array>
#include <cstddef>

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
    std::array<FigureKey, 3> figures{};  // in the JSON report's order
    const char* restsOn = "";            // what the engine does that makes it a problem
};

// The row of `kind`.
const KindRow& kind_row(ProblemKind kind);

// The stable name of `kind`; "" for none.
const char* kind_name(ProblemKind kind);

// Every row, in the order of the enum.
std::size_t kind_count();
