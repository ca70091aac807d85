// The steps of the repair pass around the vertex work: names, the bounds
// reset and the frames' centres and radii. Shared by the fast pass and by the
// plain one it is tested against. Each prints its lines to `out` unless that
// is null.
#pragma once

#include <cstdint>
#include <cstdio>

namespace md3 {

// Prints the model name, turns its '\' into '/' and prints the result.
void repair_model_name(std::uint8_t* model, std::FILE* out);

// Sets every frame's bounds to an inverted box, so that the first vertex of a
// frame sets both corners.
void reset_frame_bounds(std::uint8_t* model);

// Prints the surface's name and its first shader name; turns the shader
// name's '\' into '/', cuts a three-character extension by position, and
// prints the result.
void repair_shader_name(std::uint8_t* surface, std::FILE* out);

// Prints the surface's counts; false when it has more vertices than the pass
// can take.
bool report_surface_counts(const std::uint8_t* surface, std::FILE* out);

// Prints the frame count and sets every frame's centre to the middle of its
// box and its radius to the length of the box's whole diagonal.
void finish_frame_bounds(std::uint8_t* model, std::FILE* out);

}  // namespace md3
