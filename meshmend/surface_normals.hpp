// The vertex work of the repair pass, compiled once for each instruction set
// the program can use (see instruction_set.hpp). Every copy writes the same
// bytes; the wider ones only get there sooner.
#pragma once

#include <cstdint>

#include "pack_normal.hpp"
#include "repair.hpp"

// Rebuilds every vertex normal of every frame of `surface` from its triangles
// and widens each frame's bounds by the surface's positions in that frame.
// The surface must have at most kMaxSurfaceVerts vertices. Uses fixed static
// storage of about 0.4 MB: allocates nothing, and is not reentrant.
namespace kernel_baseline {
void rebuild_surface_normals(std::uint8_t* model, std::uint8_t* surface, const PolarTables& polar);
}
#if MD3_X86_KERNELS
namespace kernel_avx2 {
void rebuild_surface_normals(std::uint8_t* model, std::uint8_t* surface, const PolarTables& polar);
}
namespace kernel_avx512 {
void rebuild_surface_normals(std::uint8_t* model, std::uint8_t* surface, const PolarTables& polar);
}
#endif
