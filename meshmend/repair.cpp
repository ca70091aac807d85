// The repair pass, in the order its progress lines are printed.
#include "repair.hpp"

#include <memory>

#include "md3_layout.hpp"
#include "pack_normal.hpp"
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

}  // namespace

bool repair_model(std::span<std::uint8_t> bytes, std::FILE* out, RepairWorkspace& workspace,
                  InstructionSet set, const NormalChoice& normals) {
    std::uint8_t* model = bytes.data();
    const float creaseCosine = crease_cosine(normals.creaseDegrees);

    repair_model_name(model, out);
    reset_frame_bounds(model);

    const PolarTables& polar = polar_tables();
    const bool repaired = for_each_surface(model, [&](std::uint8_t* surface, std::int32_t) {
        repair_shader_name(surface, out);
        if (!report_surface_counts(surface, out)) return false;
        rebuild_surface_normals(set, model, surface, polar, workspace, normals.mode, creaseCosine);
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
