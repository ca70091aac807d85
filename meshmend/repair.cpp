// The repair pass, in the order its progress lines are printed.
#include "repair.hpp"

#include <memory>
#include <vector>

#include "md3_layout.hpp"
#include "normal_grade.hpp"
#include "pack_normal.hpp"
#include "packed_normal.hpp"
#include "pass_steps.hpp"
#include "surface_normals.hpp"

namespace md3 {

namespace {

void rebuild_surface_normals(InstructionSet set, std::uint8_t* model, std::uint8_t* surface,
                             const PolarTables& polar, RepairWorkspace& workspace, NormalMode mode,
                             float creaseCosine) {
    switch (set) {
#define MD3_KERNEL_CALL(name, runs_here)                                                      \
    case InstructionSet::name:                                                                \
        return kernel_##name::rebuild_surface_normals(model, surface, polar, workspace, mode, \
                                                      creaseCosine);
        MD3_FOR_EACH_KERNEL(MD3_KERNEL_CALL)
#undef MD3_KERNEL_CALL
    }
}

// Under NormalMode::broken: rebuilds the surface's normals, grades the
// stored ones against them as meshcheck does, and then either welds them
// (broken or inverted) or puts the stored ones back. `stored` holds them
// meanwhile: one allocation for the largest surface, none per frame.
void mend_broken_surface(InstructionSet set, std::uint8_t* model, std::uint8_t* surface,
                         const PolarTables& polar, RepairWorkspace& workspace, float creaseCosine,
                         std::vector<std::uint16_t>& stored) {
    // The frames' vertices lie one after the other.
    std::uint8_t* const vertices = vertex_frame(surface, 0);
    const auto vertex = [&](std::size_t i) { return vertices + i * Md3Vertex::kSize; };
    stored.resize(static_cast<std::size_t>(std::int64_t{Md3Surface::numFrames(surface)} *
                                           Md3Surface::numVerts(surface)));
    for (std::size_t i = 0; i < stored.size(); ++i) stored[i] = Md3Vertex::normal(vertex(i));

    rebuild_surface_normals(set, model, surface, polar, workspace, NormalMode::rebuild,
                            creaseCosine);
    const AngleTables& tables = angle_tables();
    NormalTally tally;
    for (std::size_t i = 0; i < stored.size(); ++i)
        tally_normal(tally, normal_cosine(tables, stored[i], Md3Vertex::normal(vertex(i))));

    if (grade_normals(tally) != NormalGrade::healthy) {
        // The same positions again: the bounds come out as they are.
        rebuild_surface_normals(set, model, surface, polar, workspace, NormalMode::weld,
                                creaseCosine);
        return;
    }
    for (std::size_t i = 0; i < stored.size(); ++i) Md3Vertex::set_normal(vertex(i), stored[i]);
}

}  // namespace

bool repair_model(std::span<std::uint8_t> bytes, std::FILE* out, RepairWorkspace& workspace,
                  InstructionSet set, const NormalChoice& normals) {
    std::uint8_t* model = bytes.data();
    const float creaseCosine = crease_cosine(normals.creaseDegrees);

    repair_model_name(model, out);
    reset_frame_bounds(model);

    const PolarTables& polar = polar_tables();
    std::vector<std::uint16_t> stored;  // for NormalMode::broken
    const bool repaired = for_each_surface(model, [&](std::uint8_t* surface, std::int32_t) {
        repair_shader_name(surface, out);
        if (!report_surface_counts(surface, out)) return false;
        if (normals.mode == NormalMode::broken)
            mend_broken_surface(set, model, surface, polar, workspace, creaseCosine, stored);
        else
            rebuild_surface_normals(set, model, surface, polar, workspace, normals.mode,
                                    creaseCosine);
        return true;
    });
    if (!repaired) return false;

    finish_frame_bounds(model, out);
    return true;
}

bool repair_model(std::span<std::uint8_t> bytes, std::FILE* out, RepairWorkspace& workspace,
                  InstructionSet set) {
    return repair_model(bytes, out, workspace, set, NormalChoice{});
}

bool repair_model(std::span<std::uint8_t> bytes, std::FILE* out, InstructionSet set,
                  const NormalChoice& normals) {
    // Left uninitialised: the pass writes every entry before it reads it.
    const auto workspace = std::make_unique_for_overwrite<RepairWorkspace>();
    return repair_model(bytes, out, *workspace, set, normals);
}

bool repair_model(std::span<std::uint8_t> bytes, std::FILE* out, InstructionSet set) {
    return repair_model(bytes, out, set, NormalChoice{});
}

bool repair_model(std::span<std::uint8_t> bytes, std::FILE* out) {
    return repair_model(bytes, out, best_instruction_set());
}

}  // namespace md3
