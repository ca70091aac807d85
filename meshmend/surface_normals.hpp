// The vertex work of the repair pass, compiled once for each instruction set
// the program can use (see instruction_set.hpp). Every copy writes the same
// bytes; the wider ones only get there sooner.
#pragma once

#include <cstdint>

#include "kernel_list.hpp"
#include "normal_choice.hpp"
#include "pack_normal.hpp"
#include "workspace.hpp"

// Rebuilds every vertex normal of every frame of `surface` from its triangles
// and widens each frame's bounds by the surface's positions in that frame.
// Under NormalMode::weld the copies of a vertex that weld (see weld.hpp, with
// the crease as a cosine) share one normal; under NormalMode::keep only the
// bounds are widened. The surface must have at most kMaxSurfaceVerts
// vertices. Works in `workspace` and allocates nothing.
#define MD3_KERNEL_DECLARE(name, runs_here)                                                \
    namespace kernel_##name {                                                              \
        void rebuild_surface_normals(std::uint8_t* model, std::uint8_t* surface,           \
                                     const PolarTables& polar, RepairWorkspace& workspace, \
                                     NormalMode mode, float creaseCosine);                 \
    }

namespace md3 {
MD3_FOR_EACH_KERNEL(MD3_KERNEL_DECLARE)
#undef MD3_KERNEL_DECLARE

}  // namespace md3
