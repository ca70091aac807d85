// The repair pass, in the order its progress lines are printed.
#include "repair.hpp"

#include "md3_layout.hpp"
#include "pack_normal.hpp"
#include "pass_steps.hpp"
#include "surface_normals.hpp"

namespace {

void rebuild_surface_normals(InstructionSet set, std::uint8_t* model, std::uint8_t* surface,
                             const PolarTables& polar) {
#if MD3_X86_KERNELS
    if (set == InstructionSet::avx512) return kernel_avx512::rebuild_surface_normals(model, surface, polar);
    if (set == InstructionSet::avx2) return kernel_avx2::rebuild_surface_normals(model, surface, polar);
#endif
    (void)set;
    kernel_baseline::rebuild_surface_normals(model, surface, polar);
}

}  // namespace

bool repair_model(std::span<std::uint8_t> bytes, std::FILE* out, InstructionSet set) {
    std::uint8_t* model = bytes.data();

    repair_model_name(model, out);
    reset_frame_bounds(model);

    const PolarTables& polar = polar_tables();
    const bool repaired = for_each_surface(model, [&](std::uint8_t* surface, std::int32_t) {
        repair_shader_name(surface, out);
        if (!report_surface_counts(surface, out)) return false;
        rebuild_surface_normals(set, model, surface, polar);
        return true;
    });
    if (!repaired) return false;

    finish_frame_bounds(model, out);
    return true;
}

bool repair_model(std::span<std::uint8_t> bytes, std::FILE* out) {
    return repair_model(bytes, out, best_instruction_set());
}
